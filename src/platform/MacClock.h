// The Mac clock: unsigned 32-bit seconds since 1 January 1904, local time,
// and ticks of 1/60 second.
#pragma once

#include <cstdint>
#include <ctime>

namespace fw {

// Seconds between 1904-01-01 and 1970-01-01 (both at 00:00 of the same zone).
inline constexpr uint32_t kMacEpochOffset = 2082844800u;

// A broken-down calendar time without any time zone.
struct SMacDateTime {
    int year = 1904;    // e.g. 2004
    int month = 1;      // 1..12
    int day = 1;        // 1..31
    int hour = 0;       // 0..23
    int minute = 0;     // 0..59
    int second = 0;     // 0..59
    int dayOfWeek = 0;  // 1 = Sunday .. 7 = Saturday; filled in by MacSecondsToDate
};

// Pure calendar arithmetic (proleptic Gregorian), no time zone involved.
// Dates before 1904 give 0, dates past 2040-02-06 06:28:15 give 0xFFFFFFFF.
uint32_t MacSecondsFromDate(SMacDateTime const& date);
SMacDateTime MacSecondsToDate(uint32_t secs);

// Conversions at the boundary with the system clock: the Mac seconds are the
// local wall-clock time of the zone in force at that instant.
uint32_t MacSecondsFromUnix(std::time_t t);  // clamped to 0..0xFFFFFFFF
std::time_t UnixFromMacSeconds(uint32_t secs);

// The current time in Mac seconds (the toolbox's GetDateTime).
uint32_t MacNow();

}  // namespace fw

// Ticks of 1/60 s since an arbitrary start (monotonic; never goes back).
unsigned long TickCount();
