#include "engine/TransferStatistics.h"

#include <cstdio>

std::string FormatElapsed(unsigned long s)
{
    char buf[64];
    if (s < 60)
        std::snprintf(buf, sizeof buf, "%lu second%s", s, s == 1 ? "" : "s");
    else if (s < 3600)
        std::snprintf(buf, sizeof buf, "%lu:%02lu minute%s", s / 60, s % 60, s == 60 ? "" : "s");
    else
        std::snprintf(buf, sizeof buf, "%lu:%02lu:%02lu hour%s", s / 3600, (s / 60) % 60, s % 60,
                      s == 3600 ? "" : "s");
    return buf;
}

std::string FormatByteCount(unsigned long bytes)
{
    char buf[32];
    if (bytes > 8192)
        std::snprintf(buf, sizeof buf, "%luK", bytes / 1024);
    else
        std::snprintf(buf, sizeof buf, "%lu", bytes);
    return buf;
}

std::string FormatTransferStatistics(STransferCounts const& c)
{
    std::string line;
    if (!c.compressed) {
        line = FormatByteCount(c.sent) + " bytes sent, " + FormatByteCount(c.received) + " bytes received, " +
               FormatElapsed(c.elapsed) + " elapsed";
    } else {
        line = FormatByteCount(c.sent) + " (" + FormatByteCount(c.wireSent) + ") bytes sent, " +
               FormatByteCount(c.received) + " (" + FormatByteCount(c.wireReceived) + ") bytes received, " +
               FormatElapsed(c.elapsed) + " elapsed, compression level " + std::to_string(c.level);
    }
    return line;
}
