// SUN audio (.snd): not read or written yet.
#include "formats.h"

int read_sun_header(FILE* stream, audio_header*)
{
    unsigned char magic[4];
    probe_read(stream, magic, sizeof magic);  // the next readers look at these bytes
    return SUN_NOT_MINE;
}

int write_sun_header(FILE*, const audio_header*) { return 0; }
