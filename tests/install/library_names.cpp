// library_names types WORD...: the words get_audio_type takes as type names.
// library_names data: the IEC 61937 data types burstpick writes out (those
// its kernel naming gives an extension).
// One a line: what the shell completion offers is checked against them.
#include "audiofile.h"
#include "burstpick.h"

#include <cstdio>
#include <cstring>

int main(int argc, char* argv[])
{
    if (argc >= 2 && std::strcmp(argv[1], "types") == 0) {
        for (int i = 2; i < argc; ++i)
            if (get_audio_type(argv[i], -1) != -1)
                std::printf("%s\n", argv[i]);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "data") == 0) {
        for (int type = 0; type < 32; ++type)  // Pc holds the data type in five bits
            if (kernel_extension(type) != nullptr)
                std::printf("%d\n", type);
        return 0;
    }
    std::fprintf(stderr, "usage: library_names types WORD... | library_names data\n");
    return 2;
}
