#include "engine/paced/CheckState.h"
#include "engine/paced/Countdown.h"
#include "engine/paced/Estimates.h"
#include "engine/reports/TimeText.h"

#include <gtest/gtest.h>

using namespace gw;

namespace {
const TimeFormat kRussian = TimeFormat::fromPattern("%T", "", ""); // ru_RU
const TimeFormat kEnglishUs = TimeFormat::fromPattern("%r", "AM", "PM"); // en_US
const TimeFormat kNoLeadingZero = TimeFormat::fromPattern("%k:%M:%S", "", "");

int totalFor(int position, int count)
{
    CheckState s;
    Calc_Time(s, count, pumpInterval(speedFactorForPosition(position, 3107)), kRussian);
    return s.EstTotal;
}
} // namespace

TEST(Estimates, SpeedTableAndSliderEnd)
{
    const int expected[] = {1, 2, 4, 8, 16, 32, 64, 128, 256, 612, 3107};
    for (int position = 0; position <= 10; ++position)
        EXPECT_EQ(speedFactorForPosition(position, 0), expected[position]);
    EXPECT_EQ(speedFactorForPosition(11, 3107), 3107); // keeps the factor it had
    EXPECT_EQ(speedFactorForPosition(11, 612), 612); // reached directly from 9
    EXPECT_EQ(pumpInterval(3107), 77675);
}

TEST(Estimates, ExtendedPrecisionAndHalvesToEven)
{
    CheckState s;
    s.Lang = "EN";
    Calc_Time(s, 1000, 200, kRussian);
    EXPECT_EQ(s.EstAnalysis, 8); // exactly 8.5
    Calc_Time(s, 3000, 200, kRussian);
    EXPECT_EQ(s.EstAnalysis, 26); // 25.5
    Calc_Time(s, 1250, 200, kRussian);
    EXPECT_EQ(s.EstCheck, 21); // just below 21.5 in extended precision
    const QString caption = Calc_Time(s, 1, 200, kRussian);
    EXPECT_EQ(s.EstRead, 1);
    EXPECT_EQ(s.EstCheck, 0);
    EXPECT_EQ(s.EstAnalysis, 0);
    EXPECT_EQ(s.EstTotal, 1);
    EXPECT_EQ(caption, "Expected processing time : 00:00:01");
    s.Lang = "RU";
    EXPECT_EQ(Calc_Time(s, 1, 200, kNoLeadingZero), "Предполагаемое время выполнения : 0:00:01");

    EXPECT_EQ(roundHalfEven(0.5L), 0);
    EXPECT_EQ(roundHalfEven(1.5L), 2);
    EXPECT_EQ(roundHalfEven(-2.5L), -2);
    EXPECT_EQ(progressValue(12.5L), 12); // 1 missing of 8
    EXPECT_EQ(progressValue(137.0L), 100);
    EXPECT_EQ(progressValue(-3.0L), 0);
}

TEST(Estimates, A24HourEstimateIsShownNotRaised)
{
    EXPECT_EQ(totalFor(10, 1066), 86383);
    EXPECT_EQ(totalFor(10, 1067), 86464);
    EXPECT_LT(totalFor(9, 5418), 86400);
    EXPECT_GE(totalFor(9, 5419), 86400);
    EXPECT_LT(totalFor(3, 369701), 86400);
    EXPECT_GE(totalFor(3, 369702), 86400);

    CheckState s;
    s.Lang = "EN";
    EXPECT_EQ(Calc_Time(s, 1066, 77675, kEnglishUs), "Expected processing time : 11:59:43 PM");
    EXPECT_EQ(Calc_Time(s, 1067, 77675, kEnglishUs), "Expected processing time : 24:01:04");
    EXPECT_EQ(Calc_Time(s, 5419, pumpInterval(612), kEnglishUs), "Expected processing time : 24:00:14");
    EXPECT_EQ(Calc_Time(s, 369702, pumpInterval(8), kEnglishUs), "Expected processing time : 24:00:00");
    EXPECT_EQ(secondsText(86400, kEnglishUs), "24:00:00");
    EXPECT_EQ(secondsText(100000, kRussian), "27:46:40");
}

TEST(TimeText, FollowsTheLocaleTimeFormat)
{
    EXPECT_EQ(secondsText(59, kRussian), "00:00:59");
    EXPECT_EQ(secondsText(3725, kRussian), "01:02:05");
    EXPECT_EQ(secondsText(86399, kRussian), "23:59:59");
    EXPECT_EQ(secondsText(3725, kNoLeadingZero), "1:02:05");
    EXPECT_EQ(secondsText(0, kEnglishUs), "12:00:00 AM");
    EXPECT_EQ(secondsText(3725, kEnglishUs), "01:02:05 AM");
    EXPECT_EQ(secondsText(13 * 3600, kEnglishUs), "01:00:00 PM");
    EXPECT_EQ(secondsText(3725, TimeFormat::fromPattern("%p %l:%M:%S", "上午", "下午")), "上午 1:02:05");
    EXPECT_EQ(secondsText(3725, TimeFormat::fromPattern("%-H.%M.%S", "", "")), "1.02.05");
    EXPECT_EQ(secondsText(3725, TimeFormat::fromPattern("%l:%M:%S %P", "AM", "PM")), "1:02:05 am");
    // Literal text stays where the format puts it, above a day too.
    const TimeFormat japanese = TimeFormat::fromPattern("%H時%M分%S秒", "午前", "午後"); // ja_JP
    EXPECT_EQ(secondsText(2, japanese), "00時00分02秒");
    EXPECT_EQ(secondsText(100000, japanese), "27時46分40秒");
    EXPECT_EQ(secondsText(100000, kEnglishUs), "27:46:40");
    EXPECT_EQ(secondsText(3725, TimeFormat::fromPattern("%Hh%Mm%Ss 100%%", "", "")), "01h02m05s 100%");

    // Durations: to the nearest millisecond, then whole seconds.
    EXPECT_EQ(durationText(0.5 / 86400, kRussian), "00:00:00");
    EXPECT_EQ(durationText(1.9996 / 86400, kRussian), "00:00:02");
    EXPECT_EQ(durationText(90000.0 / 86400, kRussian), "25:00:00");
}

TEST(Countdown, RemainingThenUnchangedAtZeroThenOverrun)
{
    CheckState s;
    s.Lang = "RU";
    s.SecondsLeft = 2;
    EXPECT_EQ(Timer4Timer(s, kRussian), std::optional<QString>("Осталось примерно : 00:00:01"));
    EXPECT_EQ(Timer4Timer(s, kRussian), std::nullopt);
    s.Lang = "EN";
    EXPECT_EQ(Timer4Timer(s, kRussian), std::optional<QString>("Expected processing time is overrun on : 00:00:01"));
    s.SecondsLeft = 0; // an estimate of 0 overruns at the first tick
    EXPECT_EQ(Timer4Timer(s, kRussian), std::optional<QString>("Expected processing time is overrun on : 00:00:01"));
    s.SecondsLeft = 100001;
    EXPECT_EQ(Timer4Timer(s, kEnglishUs), std::optional<QString>("Remaining time : 27:46:40"));
}
