#include "tonesmith.h"

int main(int argc, char* argv[])
{
    tonesmith_settings settings;
    const int status = tonesmith_options(argc, argv, settings);
    if (status >= 0)
        return status;
    return tonesmith_run(settings);
}
