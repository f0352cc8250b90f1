#include "chunksnip.h"

int main(int argc, char* argv[])
{
    chunksnip_settings settings;
    int status = chunksnip_options(argc, argv, settings);
    if (status >= 0)
        return status;
    open_streams streams;
    status = open_cut_streams("chunksnip", settings.cut, streams);
    if (status != 0)
        return status;
    status = chunksnip_cut(settings, {streams.in, streams.out, stdout, stderr});
    return close_cut_streams("chunksnip", streams, status);
}
