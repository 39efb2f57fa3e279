// The stamp is formatted from a given clock reading, so its arithmetic and
// format are pinned with fixed values; the clock reading itself is checked
// by bracketing it between two reads of the clock.
#include "date_stamp.hpp"

#include <gtest/gtest.h>

#include <ctime>
#include <string>

namespace {

TEST(FormatDateStamp, AddsThirtyDaysAndWritesMilliseconds) {
    const struct {
        std::int64_t seconds;
        const char *stamp;
    } cases[] = {
        {0, "2592000000"},
        {1765411200, "1768003200000"},
        // Past the signed 32-bit range of the seconds count and of the sum.
        {2145000000, "2147592000000"},
        {2147483647, "2150075647000"},
        {2147483648, "2150075648000"},
        {4102444800, "4105036800000"},
        // Before 1970 the number is signed, as a C "%ld" prints it.
        {-2592000, "0000"},
        {-2592001, "-1000"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.seconds);
        EXPECT_EQ(corvane::formatDateStamp(c.seconds), c.stamp);
    }
}

TEST(FormatDateStamp, OneSecondLaterIsOneThousandMore) {
    EXPECT_EQ(std::stoll(corvane::formatDateStamp(1765411201)) -
                  std::stoll(corvane::formatDateStamp(1765411200)),
              1000);
}

TEST(MakeDateStamp, StampsTheClockReadingThirtyDaysAhead) {
    const auto before = static_cast<std::int64_t>(std::time(nullptr));
    const std::string stamp = corvane::makeDateStamp();
    const auto after = static_cast<std::int64_t>(std::time(nullptr));

    ASSERT_GE(stamp.size(), 4u);
    EXPECT_EQ(stamp.find_first_not_of("0123456789"), std::string::npos) << stamp;
    EXPECT_EQ(stamp.substr(stamp.size() - 3), "000");
    const auto stampedSeconds = std::stoll(stamp.substr(0, stamp.size() - 3));
    EXPECT_GE(stampedSeconds, before + 2592000);
    EXPECT_LE(stampedSeconds, after + 2592000);
}

} // namespace
