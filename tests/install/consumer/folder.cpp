// The header by its folder, as a program that keeps its includes apart
// names it.
#include <sonosuite/audiofile.h>

int type_code(const char* name)
{
    return get_audio_type(name, -1);
}
