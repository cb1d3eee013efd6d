// The capture window: times of day across midnight, and sunrise to sunset against an
// independent reference.
#include <gtest/gtest.h>

#include <QTimeZone>
#include <cstdlib>

#include "capture/CaptureWindow.h"

namespace {

struct CSunRow {
    double m_dLatitude, m_dLongitude;
    int m_nYear, m_nMonth, m_nDay;
    CSunDay::EKind m_eKind;
    int m_nRise, m_nSet;  // seconds after 00:00 UTC of the date
};

// Made by tests/capture/sun_reference.py 2026: the Sun's position from the low-precision
// formulas of the Astronomical Almanac (section C) with its sidereal time (section B), the
// upper limb's crossing of the horizon (centre at -0.833°) found by scanning each minute
// and halving: another method and other formulas than the program's.
const CSunRow kSunTable[] = {
    {48.14, 11.58, 2026, 1, 1, CSunDay::EKind::kRiseAndSet, 25445, 55833},
    {48.14, 11.58, 2026, 1, 15, CSunDay::EKind::kRiseAndSet, 25151, 56841},
    {48.14, 11.58, 2026, 2, 1, CSunDay::EKind::kRiseAndSet, 24112, 58390},
    {48.14, 11.58, 2026, 2, 15, CSunDay::EKind::kRiseAndSet, 22834, 59741},
    {48.14, 11.58, 2026, 3, 1, CSunDay::EKind::kRiseAndSet, 21304, 61063},
    {48.14, 11.58, 2026, 3, 15, CSunDay::EKind::kRiseAndSet, 19630, 62333},
    {48.14, 11.58, 2026, 4, 1, CSunDay::EKind::kRiseAndSet, 17535, 63827},
    {48.14, 11.58, 2026, 4, 15, CSunDay::EKind::kRiseAndSet, 15861, 65044},
    {48.14, 11.58, 2026, 5, 1, CSunDay::EKind::kRiseAndSet, 14127, 66424},
    {48.14, 11.58, 2026, 5, 15, CSunDay::EKind::kRiseAndSet, 12882, 67573},
    {48.14, 11.58, 2026, 6, 1, CSunDay::EKind::kRiseAndSet, 11877, 68740},
    {48.14, 11.58, 2026, 6, 15, CSunDay::EKind::kRiseAndSet, 11577, 69337},
    {48.14, 11.58, 2026, 7, 1, CSunDay::EKind::kRiseAndSet, 11853, 69440},
    {48.14, 11.58, 2026, 7, 15, CSunDay::EKind::kRiseAndSet, 12550, 68976},
    {48.14, 11.58, 2026, 8, 1, CSunDay::EKind::kRiseAndSet, 13755, 67799},
    {48.14, 11.58, 2026, 8, 15, CSunDay::EKind::kRiseAndSet, 14878, 66448},
    {48.14, 11.58, 2026, 9, 1, CSunDay::EKind::kRiseAndSet, 16276, 64510},
    {48.14, 11.58, 2026, 9, 15, CSunDay::EKind::kRiseAndSet, 17427, 62786},
    {48.14, 11.58, 2026, 10, 1, CSunDay::EKind::kRiseAndSet, 18761, 60789},
    {48.14, 11.58, 2026, 10, 15, CSunDay::EKind::kRiseAndSet, 19974, 59114},
    {48.14, 11.58, 2026, 11, 1, CSunDay::EKind::kRiseAndSet, 21522, 57310},
    {48.14, 11.58, 2026, 11, 15, CSunDay::EKind::kRiseAndSet, 22814, 56145},
    {48.14, 11.58, 2026, 12, 1, CSunDay::EKind::kRiseAndSet, 24164, 55339},
    {48.14, 11.58, 2026, 12, 15, CSunDay::EKind::kRiseAndSet, 25035, 55212},
    {65.01, 25.47, 2026, 1, 1, CSunDay::EKind::kRiseAndSet, 30283, 44333},
    {65.01, 25.47, 2026, 1, 15, CSunDay::EKind::kRiseAndSet, 28591, 46746},
    {65.01, 25.47, 2026, 2, 1, CSunDay::EKind::kRiseAndSet, 25545, 50313},
    {65.01, 25.47, 2026, 2, 15, CSunDay::EKind::kRiseAndSet, 22698, 53241},
    {65.01, 25.47, 2026, 3, 1, CSunDay::EKind::kRiseAndSet, 19713, 56026},
    {65.01, 25.47, 2026, 3, 15, CSunDay::EKind::kRiseAndSet, 16657, 58688},
    {65.01, 25.47, 2026, 4, 1, CSunDay::EKind::kRiseAndSet, 12898, 61858},
    {65.01, 25.47, 2026, 4, 15, CSunDay::EKind::kRiseAndSet, 9792, 64521},
    {65.01, 25.47, 2026, 5, 1, CSunDay::EKind::kRiseAndSet, 6260, 67720},
    {65.01, 25.47, 2026, 5, 15, CSunDay::EKind::kRiseAndSet, 3230, 70675},
    {65.01, 25.47, 2026, 6, 1, CSunDay::EKind::kRiseAndSet, -203, 74286},
    {65.01, 25.47, 2026, 6, 15, CSunDay::EKind::kRiseAndSet, -2247, 76566},
    {65.01, 25.47, 2026, 7, 1, CSunDay::EKind::kRiseAndSet, -1665, 76183},
    {65.01, 25.47, 2026, 7, 15, CSunDay::EKind::kRiseAndSet, 929, 73796},
    {65.01, 25.47, 2026, 8, 1, CSunDay::EKind::kRiseAndSet, 4512, 70265},
    {65.01, 25.47, 2026, 8, 15, CSunDay::EKind::kRiseAndSet, 7361, 67209},
    {65.01, 25.47, 2026, 9, 1, CSunDay::EKind::kRiseAndSet, 10608, 63444},
    {65.01, 25.47, 2026, 9, 15, CSunDay::EKind::kRiseAndSet, 13156, 60336},
    {65.01, 25.47, 2026, 10, 1, CSunDay::EKind::kRiseAndSet, 16038, 56802},
    {65.01, 25.47, 2026, 10, 15, CSunDay::EKind::kRiseAndSet, 18633, 53753},
    {65.01, 25.47, 2026, 11, 1, CSunDay::EKind::kRiseAndSet, 21972, 50165},
    {65.01, 25.47, 2026, 11, 15, CSunDay::EKind::kRiseAndSet, 24870, 47400},
    {65.01, 25.47, 2026, 12, 1, CSunDay::EKind::kRiseAndSet, 28085, 44737},
    {65.01, 25.47, 2026, 12, 15, CSunDay::EKind::kRiseAndSet, 30134, 43440},
    {78.22, 15.65, 2026, 1, 1, CSunDay::EKind::kPolarNight, 0, 0},
    {78.22, 15.65, 2026, 1, 15, CSunDay::EKind::kPolarNight, 0, 0},
    {78.22, 15.65, 2026, 2, 1, CSunDay::EKind::kPolarNight, 0, 0},
    {78.22, 15.65, 2026, 2, 15, CSunDay::EKind::kRiseAndSet, 39403, 41308},
    {78.22, 15.65, 2026, 3, 1, CSunDay::EKind::kRiseAndSet, 26813, 53720},
    {78.22, 15.65, 2026, 3, 15, CSunDay::EKind::kRiseAndSet, 19855, 60317},
    {78.22, 15.65, 2026, 4, 1, CSunDay::EKind::kRiseAndSet, 11663, 68019},
    {78.22, 15.65, 2026, 4, 15, CSunDay::EKind::kRiseAndSet, 2694, 77063},
    {78.22, 15.65, 2026, 5, 1, CSunDay::EKind::kPolarDay, 0, 0},
    {78.22, 15.65, 2026, 5, 15, CSunDay::EKind::kPolarDay, 0, 0},
    {78.22, 15.65, 2026, 6, 1, CSunDay::EKind::kPolarDay, 0, 0},
    {78.22, 15.65, 2026, 6, 15, CSunDay::EKind::kPolarDay, 0, 0},
    {78.22, 15.65, 2026, 7, 1, CSunDay::EKind::kPolarDay, 0, 0},
    {78.22, 15.65, 2026, 7, 15, CSunDay::EKind::kPolarDay, 0, 0},
    {78.22, 15.65, 2026, 8, 1, CSunDay::EKind::kPolarDay, 0, 0},
    {78.22, 15.65, 2026, 8, 15, CSunDay::EKind::kPolarDay, 0, 0},
    {78.22, 15.65, 2026, 9, 1, CSunDay::EKind::kRiseAndSet, 5690, 72688},
    {78.22, 15.65, 2026, 9, 15, CSunDay::EKind::kRiseAndSet, 12992, 65040},
    {78.22, 15.65, 2026, 10, 1, CSunDay::EKind::kRiseAndSet, 19948, 57501},
    {78.22, 15.65, 2026, 10, 15, CSunDay::EKind::kRiseAndSet, 26705, 50320},
    {78.22, 15.65, 2026, 11, 1, CSunDay::EKind::kPolarNight, 0, 0},
    {78.22, 15.65, 2026, 11, 15, CSunDay::EKind::kPolarNight, 0, 0},
    {78.22, 15.65, 2026, 12, 1, CSunDay::EKind::kPolarNight, 0, 0},
    {78.22, 15.65, 2026, 12, 15, CSunDay::EKind::kPolarNight, 0, 0},
};

QDateTime Utc(int y, int mo, int d, int h, int mi) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi), Qt::UTC);
}

CCaptureWindow Between(const std::string& text) {
    CCaptureWindow w;
    std::string error;
    EXPECT_TRUE(ParseBetween(text, w, error)) << error;
    return w;
}

CCaptureWindow Daylight(const std::string& text) {
    CCaptureWindow w;
    std::string error;
    EXPECT_TRUE(ParseDaylight(text, w, error)) << error;
    return w;
}

}  // namespace

TEST(SunDayTest, RiseAndSetOverAYearAtThreeLatitudesWithinTwoMinutes) {
    int polarDays = 0, polarNights = 0;
    for (const CSunRow& r : kSunTable) {
        const QDate date(r.m_nYear, r.m_nMonth, r.m_nDay);
        SCOPED_TRACE(testing::Message() << r.m_dLatitude << " N " << date.toString().toStdString());
        const CSunDay day = SunDay(date, r.m_dLatitude, r.m_dLongitude);
        ASSERT_EQ(day.m_eKind, r.m_eKind);
        polarDays += r.m_eKind == CSunDay::EKind::kPolarDay;
        polarNights += r.m_eKind == CSunDay::EKind::kPolarNight;
        if (r.m_eKind != CSunDay::EKind::kRiseAndSet)
            continue;
        const qint64 midnight = QDate(1970, 1, 1).daysTo(date) * 24 * 3600;
        EXPECT_LE(std::llabs(day.m_nRise - midnight - r.m_nRise), 120);
        EXPECT_LE(std::llabs(day.m_nSet - midnight - r.m_nSet), 120);
    }
    // The table reaches into both.
    EXPECT_GT(polarDays, 0);
    EXPECT_GT(polarNights, 0);
}

TEST(CaptureWindowTest, BetweenAcrossMidnight) {
    const CCaptureWindow night = Between("22:00-06:00");
    // Inside, on both sides of midnight; the end is not.
    for (const auto& [h, m, due] : {std::tuple{21, 59, false},
                                    {22, 0, true},
                                    {23, 59, true},
                                    {0, 0, true},
                                    {5, 59, true},
                                    {6, 0, false},
                                    {12, 0, false}})
        EXPECT_EQ(DecideWindow(night, Utc(2026, 12, 10, h, m)).m_bDue, due) << h << ":" << m;
    // Outside it, the next start is the same evening's.
    const CWindowDecision morning = DecideWindow(night, Utc(2026, 12, 10, 6, 0));
    EXPECT_EQ(morning.m_next, Utc(2026, 12, 10, 22, 0));

    const CCaptureWindow day = Between("06:00-20:00");
    EXPECT_EQ(DecideWindow(day, Utc(2026, 12, 10, 5, 30)).m_next, Utc(2026, 12, 10, 6, 0));
    // After the end, the next day's start: across midnight and the year's end.
    EXPECT_EQ(DecideWindow(day, Utc(2026, 12, 31, 20, 0)).m_next, Utc(2027, 1, 1, 6, 0));
    EXPECT_TRUE(DecideWindow(day, Utc(2026, 12, 31, 19, 59)).m_bDue);
    EXPECT_TRUE(DecideWindow(Between("18:00-24:00"), Utc(2026, 1, 1, 23, 59)).m_bDue);
    EXPECT_FALSE(DecideWindow(Between("18:00-24:00"), Utc(2026, 1, 1, 0, 0)).m_bDue);
}

TEST(CaptureWindowTest, BetweenIsLocalTimeAcrossAClockChange) {
    const QTimeZone berlin("Europe/Berlin");
    ASSERT_TRUE(berlin.isValid());
    const CCaptureWindow w = Between("06:00-20:00");
    // 05:30 UTC is 06:30 in winter (due) and 07:30 in summer (due); 04:30 UTC is 05:30 in
    // winter (not yet) and 06:30 in summer.
    EXPECT_FALSE(DecideWindow(w, Utc(2026, 1, 10, 4, 30).toTimeZone(berlin)).m_bDue);
    EXPECT_TRUE(DecideWindow(w, Utc(2026, 7, 10, 4, 30).toTimeZone(berlin)).m_bDue);
    // The night the clocks go forward: the next start is 06:00 summer time, 04:00 UTC.
    const CWindowDecision d = DecideWindow(w, Utc(2026, 3, 28, 20, 0).toTimeZone(berlin));
    EXPECT_FALSE(d.m_bDue);
    EXPECT_EQ(d.m_next.toUTC(), Utc(2026, 3, 29, 4, 0));
}

TEST(CaptureWindowTest, DaylightDecidesByTheSunAndFindsTheNextSunrise) {
    const CCaptureWindow munich = Daylight("48.14,11.58");
    const CSunDay jan2 = SunDay(QDate(2026, 1, 2), 48.14, 11.58);
    EXPECT_TRUE(DecideWindow(munich, Utc(2026, 1, 1, 12, 0)).m_bDue);
    // After sunset, the next morning's sunrise; before sunrise, the same morning's.
    const CWindowDecision evening = DecideWindow(munich, Utc(2026, 1, 1, 18, 0));
    EXPECT_FALSE(evening.m_bDue);
    EXPECT_EQ(evening.m_next.toSecsSinceEpoch(), jan2.m_nRise);
    EXPECT_EQ(DecideWindow(munich, Utc(2026, 1, 2, 3, 0)).m_next.toSecsSinceEpoch(), jan2.m_nRise);
    EXPECT_TRUE(DecideWindow(munich, QDateTime::fromSecsSinceEpoch(jan2.m_nRise, Qt::UTC)).m_bDue);
    EXPECT_FALSE(DecideWindow(munich, QDateTime::fromSecsSinceEpoch(jan2.m_nSet, Qt::UTC)).m_bDue);

    // Polar day: due at midnight. Polar night: the next start is the first sunrise, which
    // the reference script puts at 2027-02-16 10:20:54 UTC (the 15th has none).
    const CCaptureWindow svalbard = Daylight("78.22,15.65");
    EXPECT_TRUE(DecideWindow(svalbard, Utc(2026, 6, 21, 23, 0)).m_bDue);
    const CWindowDecision dark = DecideWindow(svalbard, Utc(2026, 12, 10, 12, 0));
    EXPECT_FALSE(dark.m_bDue);
    ASSERT_TRUE(dark.m_next.isValid());
    EXPECT_LE(
        std::llabs(dark.m_next.toSecsSinceEpoch() -
                   QDateTime(QDate(2027, 2, 16), QTime(10, 20, 54), Qt::UTC).toSecsSinceEpoch()),
        120);
    // The same on the southern side of the earth, half a year later.
    EXPECT_FALSE(DecideWindow(Daylight("-78.22,15.65"), Utc(2026, 6, 21, 12, 0)).m_bDue);
    EXPECT_TRUE(DecideWindow(Daylight("-78.22,15.65"), Utc(2026, 12, 21, 0, 0)).m_bDue);
    // At the pole itself.
    EXPECT_TRUE(DecideWindow(Daylight("90,0"), Utc(2026, 6, 21, 0, 0)).m_bDue);
    EXPECT_FALSE(DecideWindow(Daylight("90,0"), Utc(2026, 12, 21, 0, 0)).m_bDue);
}

TEST(CaptureWindowTest, ParsesAndWritesWindowsAndRefusesOthers) {
    EXPECT_EQ(CaptureWindowText(Between("06:00-20:00")), "06:00-20:00");
    EXPECT_EQ(CaptureWindowText(Between("18:30-24:00")), "18:30-24:00");
    EXPECT_EQ(CaptureWindowText(Daylight("+48.5,-11.25")), "48.5,-11.25");
    EXPECT_EQ(CaptureWindowText(CCaptureWindow{}), "");
    CCaptureWindow w;
    std::string error;
    for (const char* bad : {"", "06:00", "6:00-20:00", "06:00-20:60", "24:00-06:00", "06:00-06:00",
                            "00:00-24:00", "06:00-20:00x", "ab:cd-ef:gh"}) {
        EXPECT_FALSE(ParseBetween(bad, w, error)) << bad;
        EXPECT_FALSE(error.empty());
    }
    for (const char* bad : {"", "48", "91,0", "0,181", "48,11,3", "nan,0", "48;11", "0x1,2"}) {
        EXPECT_FALSE(ParseDaylight(bad, w, error)) << bad;
        EXPECT_NE(error.find("BREITE,LÄNGE"), std::string::npos);
    }
}
