#include "sonomorph.h"

int main(int argc, char* argv[])
{
    sonomorph_settings settings;
    const int status = sonomorph_options(argc, argv, settings);
    if (status >= 0)
        return status;
    return sonomorph_run(settings);
}
