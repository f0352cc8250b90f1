#include "files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

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

namespace {

// What a name leads to: an existing file, or the path of one that opening
// the name for writing would create.
struct file_key {
    bool exists = false;
    bool stores = true;  // not a character device
    dev_t device = 0;
    ino_t inode = 0;
    std::string path;
};

// The target of a symbolic link, as it is written; false when path is none.
bool link_target(const std::string& path, std::string& target)
{
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode))
        return false;
    target.assign(static_cast<size_t>(status.st_size) + 1, '\0');
    const ssize_t length = readlink(path.c_str(), target.data(), target.size());
    if (length < 0 || static_cast<size_t>(length) >= target.size())
        return false;  // changed under us: taken as no link
    target.resize(static_cast<size_t>(length));
    return true;
}

file_key key_of(const char* name)
{
    file_key key;
    std::string path = name;
    // As many links as the system follows before it gives up (ELOOP).
    for (int links = 0; links < 40; ++links) {
        struct stat status {};
        if (stat(path.c_str(), &status) == 0) {
            key.exists = true;
            key.stores = !S_ISCHR(status.st_mode);
            key.device = status.st_dev;
            key.inode = status.st_ino;
            return key;
        }
        std::string target;
        if (!link_target(path, target))
            break;
        const size_t slash = path.rfind('/');
        path = target.rfind('/', 0) == 0 || slash == std::string::npos ? target : path.substr(0, slash + 1) + target;
    }
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    char* real = realpath(folder.c_str(), nullptr);
    key.path = (real != nullptr ? std::string(real) : folder) + "/" +
               (slash == std::string::npos ? path : path.substr(slash + 1));
    std::free(real);
    return key;
}

}  // namespace

bool names_one_file(const char* a, const char* b)
{
    const file_key first = key_of(a);
    const file_key second = key_of(b);
    if (first.exists != second.exists)
        return false;
    if (first.exists)
        return first.device == second.device && first.inode == second.inode && first.stores;
    return first.path == second.path;
}
