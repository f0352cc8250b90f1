#include "burstpick.h"

int main(int argc, char* argv[])
{
    burstpick_settings settings;
    const int status = burstpick_options(argc, argv, settings);
    if (status >= 0)
        return status;
    return burstpick_run(settings);
}
