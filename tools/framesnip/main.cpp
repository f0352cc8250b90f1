#include "framesnip.h"

int main(int argc, char* argv[])
{
    framesnip_settings settings;
    int status = framesnip_options(argc, argv, settings);
    if (status >= 0)
        return status;
    open_streams streams;
    status = open_cut_streams("framesnip", settings.cut, streams);
    if (status != 0)
        return status;
    status = framesnip_cut(settings, {streams.in, streams.out, stdout, stderr});
    return close_cut_streams("framesnip", streams, status);
}
