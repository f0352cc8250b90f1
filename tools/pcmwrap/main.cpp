#include "pcmwrap.h"

int main(int argc, char* argv[])
{
    pcmwrap_settings settings;
    const int status = pcmwrap_options(argc, argv, settings);
    if (status >= 0)
        return status;
    return pcmwrap_run(settings);
}
