// Questions about files that several programs ask before they open their
// outputs: opening an output that is also an input would empty the input
// before a byte of it was read.
#pragma once

#include <cstdio>

// Whether both names lead to one existing regular file.
bool same_regular_file(const char* a, const char* b);

// Whether two output names lead to one file, so that what is written
// through one would land in what is written through the other.  Existing
// files are compared by device and inode (a character device such as
// /dev/null or a terminal stores nothing and never counts); a name that
// does not exist yet by its canonical folder and base name, after any
// dangling link, which opening it would follow.
bool names_one_file(const char* a, const char* b);

// Whether name leads to the regular file open on stream.
bool names_open_file(const char* name, FILE* stream);

// Whether the stream is open on a regular file (one that can be repositioned
// and read back; pipes, FIFOs and devices cannot).
bool is_regular_stream(FILE* stream);
