#pragma once
// The statistics line of a conversation: bytes each way and the time spent,
// shown in the status line while the conversation runs and logged at its end.

#include <string>

// "59 seconds", "1:00 minute", "1:01 minutes", "1:01:01 hours".
std::string FormatElapsed(unsigned long seconds);

// A byte count as the statistics line shows it: counts above 8192 in whole
// kilobytes with the suffix "K", smaller ones as they are.
std::string FormatByteCount(unsigned long bytes);

struct STransferCounts {
    unsigned long sent = 0;      // outermost pipe (uncompressed)
    unsigned long received = 0;
    bool compressed = false;
    unsigned long wireSent = 0;  // the pipe under the compression
    unsigned long wireReceived = 0;
    unsigned short level = 0;    // compression level
    unsigned long elapsed = 0;   // seconds
};

// "12 bytes sent, 9K bytes received, 3 seconds elapsed", or with compression
// "12 (10) bytes sent, 9K (2K) bytes received, 3 seconds elapsed,
// compression level 6" (one line).
std::string FormatTransferStatistics(STransferCounts const& counts);
