// AIFF and AIFC: not read or written yet.
#include "formats.h"

int read_aiff_header(FILE*, audio_header*) { return AIFF_NOT_MINE; }
int write_aiff_header(FILE*, const audio_header*) { return 0; }
