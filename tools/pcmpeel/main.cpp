#include "pcmpeel.h"

int main(int argc, char* argv[])
{
    pcmpeel_settings settings;
    const int status = pcmpeel_options(argc, argv, settings);
    if (status >= 0)
        return status;
    return pcmpeel_run(settings);
}
