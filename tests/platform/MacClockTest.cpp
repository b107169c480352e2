#include "platform/MacClock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

using namespace fw;

namespace {

// Sets TZ for one test (POSIX rules, so no zone database is needed).
class ScopedTZ {
public:
    explicit ScopedTZ(char const* tz) {
        if (char const* old = std::getenv("TZ")) mOld = old, mHad = true;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~ScopedTZ() {
        if (mHad)
            setenv("TZ", mOld.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::string mOld;
    bool mHad = false;
};

SMacDateTime Date(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    SMacDateTime dt;
    dt.year = y, dt.month = mo, dt.day = d, dt.hour = h, dt.minute = mi, dt.second = s;
    return dt;
}

}  // namespace

TEST(MacClock, CalendarArithmetic) {
    struct { SMacDateTime date; uint32_t secs; int dayOfWeek; } cases[] = {
        {Date(1904, 1, 1), 0u, 6},                           // a Friday
        {Date(1970, 1, 1), kMacEpochOffset, 5},              // a Thursday
        {Date(2000, 2, 29, 12, 0, 0), 3034670400u, 3},       // leap day, a Tuesday
        {Date(2004, 1, 5, 7, 3, 9), 3156130989u, 2},         // a Monday
        {Date(2040, 2, 6, 6, 28, 15), 0xFFFFFFFFu, 2},       // last second the clock holds
    };
    for (auto const& c : cases) {
        EXPECT_EQ(MacSecondsFromDate(c.date), c.secs) << c.date.year;
        SMacDateTime back = MacSecondsToDate(c.secs);
        EXPECT_EQ(back.year, c.date.year);
        EXPECT_EQ(back.month, c.date.month);
        EXPECT_EQ(back.day, c.date.day);
        EXPECT_EQ(back.hour, c.date.hour);
        EXPECT_EQ(back.minute, c.date.minute);
        EXPECT_EQ(back.second, c.date.second);
        EXPECT_EQ(back.dayOfWeek, c.dayOfWeek) << c.date.year;
    }
    // Out of range clamps instead of wrapping.
    EXPECT_EQ(MacSecondsFromDate(Date(1903, 12, 31)), 0u);
    EXPECT_EQ(MacSecondsFromDate(Date(2041, 1, 1)), 0xFFFFFFFFu);
}

TEST(MacClock, UnixConversionUsesTheZoneInForceAtThatInstant) {
    ScopedTZ tz("CET-1CEST,M3.5.0,M10.5.0/3");
    // 2004-01-05 12:00 UTC is 13:00 in winter; 2004-07-05 12:00 UTC is 14:00 in summer.
    std::time_t winter = 1073304000;
    std::time_t summer = 1089028800;
    EXPECT_EQ(MacSecondsFromUnix(winter), MacSecondsFromDate(Date(2004, 1, 5, 13)));
    EXPECT_EQ(MacSecondsFromUnix(summer), MacSecondsFromDate(Date(2004, 7, 5, 14)));
    EXPECT_EQ(UnixFromMacSeconds(MacSecondsFromUnix(winter)), winter);
    EXPECT_EQ(UnixFromMacSeconds(MacSecondsFromUnix(summer)), summer);
}

TEST(MacClock, UtcEpochAndClamping) {
    ScopedTZ tz("UTC0");
    EXPECT_EQ(MacSecondsFromUnix(0), kMacEpochOffset);
    EXPECT_EQ(UnixFromMacSeconds(kMacEpochOffset), 0);
    EXPECT_EQ(MacSecondsFromUnix(-3000000000LL), 0u);           // before 1904
    EXPECT_EQ(MacSecondsFromUnix(4000000000LL), 0xFFFFFFFFu);   // after 2040
    uint32_t now = MacNow();
    EXPECT_NEAR(static_cast<double>(now), static_cast<double>(std::time(nullptr)) + kMacEpochOffset, 2.0);
}

TEST(MacClock, TicksAreSixtiethsOfASecond) {
    unsigned long t0 = TickCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    unsigned long t1 = TickCount();
    EXPECT_GE(t1 - t0, 11u);
    EXPECT_LE(t1 - t0, 30u);  // generous for a loaded machine
}
