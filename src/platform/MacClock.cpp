#include "platform/MacClock.h"

#include <chrono>

namespace {

// Days from 1970-01-01 to y-m-d in the proleptic Gregorian calendar
// (H. Hinnant's days_from_civil).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, int& y, int& m, int& d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long yy = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yy + (m <= 2));
}

constexpr long long kDays1904 = -24107;  // DaysFromCivil(1904, 1, 1)

uint32_t Clamp(long long secs) {
    if (secs < 0) return 0;
    if (secs > 0xFFFFFFFFLL) return 0xFFFFFFFFu;
    return static_cast<uint32_t>(secs);
}

}  // namespace

namespace fw {

uint32_t MacSecondsFromDate(SMacDateTime const& dt) {
    // Normalise the month so that callers may pass 0 or 13 like mktime.
    long long y = dt.year;
    long long mon = static_cast<long long>(dt.month) - 1;
    y += mon >= 0 ? mon / 12 : (mon - 11) / 12;
    mon = ((mon % 12) + 12) % 12;
    long long days = DaysFromCivil(y, static_cast<unsigned>(mon + 1), 1) + (static_cast<long long>(dt.day) - 1) - kDays1904;
    long long secs = days * 86400LL + dt.hour * 3600LL + dt.minute * 60LL + dt.second;
    return Clamp(secs);
}

SMacDateTime MacSecondsToDate(uint32_t secs) {
    SMacDateTime dt;
    long long days = secs / 86400u;
    unsigned rem = secs % 86400u;
    CivilFromDays(days + kDays1904, dt.year, dt.month, dt.day);
    dt.hour = static_cast<int>(rem / 3600);
    dt.minute = static_cast<int>(rem / 60 % 60);
    dt.second = static_cast<int>(rem % 60);
    dt.dayOfWeek = static_cast<int>((days + 5) % 7) + 1;  // 1904-01-01 was a Friday
    return dt;
}

uint32_t MacSecondsFromUnix(std::time_t t) {
    std::tm tm{};
    if (!localtime_r(&t, &tm)) return 0;
    long long days = DaysFromCivil(tm.tm_year + 1900LL, static_cast<unsigned>(tm.tm_mon + 1),
                                   static_cast<unsigned>(tm.tm_mday)) - kDays1904;
    return Clamp(days * 86400LL + tm.tm_hour * 3600LL + tm.tm_min * 60LL + tm.tm_sec);
}

std::time_t UnixFromMacSeconds(uint32_t secs) {
    SMacDateTime dt = MacSecondsToDate(secs);
    std::tm tm{};
    tm.tm_year = dt.year - 1900;
    tm.tm_mon = dt.month - 1;
    tm.tm_mday = dt.day;
    tm.tm_hour = dt.hour;
    tm.tm_min = dt.minute;
    tm.tm_sec = dt.second;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

uint32_t MacNow() {
    return MacSecondsFromUnix(std::time(nullptr));
}

}  // namespace fw

unsigned long TickCount() {
    using namespace std::chrono;
    static const auto start = steady_clock::now();
    auto elapsed = duration_cast<microseconds>(steady_clock::now() - start).count();
    return static_cast<unsigned long>(elapsed * 60 / 1000000) + 1;
}
