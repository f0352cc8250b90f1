// ILS files: not read or written yet; as the last reader it ends the probe.
#include "formats.h"

int read_ils_header(FILE*, audio_header*) { return NOT_RECOGNISED; }
int write_ils_header(FILE*, const audio_header*) { return 0; }
