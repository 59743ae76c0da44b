#include <gtest/gtest.h>

#include <boost/date_time/posix_time/posix_time.hpp>

#include "base/TimeFormat.h"

namespace kesti {
namespace {

using boost::posix_time::microseconds;
using boost::posix_time::ptime;
using boost::posix_time::time_from_string;

TEST(FormatTimePoint, WholeSecondHasNoFraction) {
    EXPECT_EQ(FormatTimePoint(time_from_string("2013-11-26 10:55:12.000")), "2013-11-26 10:55:12");
}

TEST(FormatTimePoint, MillisecondsWithLeadingZeros) {
    EXPECT_EQ(FormatTimePoint(time_from_string("2013-11-26 10:55:12.001")), "2013-11-26 10:55:12.001");
    EXPECT_EQ(FormatTimePoint(time_from_string("2013-11-26 10:55:12.045")), "2013-11-26 10:55:12.045");
}

TEST(FormatTimePoint, MicrosecondsBelowAMillisecondAreDropped) {
    EXPECT_EQ(FormatTimePoint(time_from_string("2013-11-26 10:55:12") + microseconds(999)), "2013-11-26 10:55:12");
    EXPECT_EQ(FormatTimePoint(time_from_string("2013-11-26 10:55:12") + microseconds(1999)),
              "2013-11-26 10:55:12.001");
}

TEST(FormatTimePoint, NotADateTimeIsEmpty) {
    EXPECT_EQ(FormatTimePoint(ptime(boost::posix_time::not_a_date_time)), "");
}

TEST(FormatTimePoint, PatternTokensAndLiterals) {
    const ptime t = time_from_string("2004-02-09 08:07:06.5");
    EXPECT_EQ(FormatTimePoint(t, "dd/MM/yyyy HH.mm.ss eee"), "09/02/2004 08.07.06 .500");
    EXPECT_EQ(FormatTimePoint(t, "[yyyy]"), "[2004]");
}

} // namespace
} // namespace kesti
