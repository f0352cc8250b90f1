// SPW signal files: not read or written yet.
#include "formats.h"

int read_spw_header(FILE*, audio_header*) { return SPW_NOT_MINE; }
void write_spw_header(FILE*, const audio_header*) {}
