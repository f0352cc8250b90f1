#include "files.h"

#include <sys/stat.h>

bool same_regular_file(const char* a, const char* b)
{
    struct stat first {};
    struct stat second {};
    return stat(a, &first) == 0 && S_ISREG(first.st_mode) && stat(b, &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool names_open_file(const char* name, FILE* stream)
{
    struct stat named {};
    struct stat open {};
    return stat(name, &named) == 0 && S_ISREG(named.st_mode) && fstat(fileno(stream), &open) == 0 &&
           named.st_dev == open.st_dev && named.st_ino == open.st_ino;
}

bool is_regular_stream(FILE* stream)
{
    struct stat status {};
    return fstat(fileno(stream), &status) == 0 && S_ISREG(status.st_mode);
}
