// The capture window: times of day, or sunrise to sunset at a place.
#include "capture/CaptureWindow.h"

#include <QTimeZone>
#include <charconv>
#include <cmath>
#include <numbers>

namespace {

constexpr qint64 kDaySeconds = 24 * 3600;
// A year and a bit: the longest night anywhere is about half of it.
constexpr int kSearchDays = 370;
// The centre of the sun when its upper limb touches the horizon: half its diameter
// (16') and the refraction at the horizon (34') below it.
constexpr double kHorizonAltitude = -0.833;

double Rad(double degrees) {
    return degrees * std::numbers::pi / 180;
}
double Deg(double radians) {
    return radians * 180 / std::numbers::pi;
}

// "HH:MM" into minutes after midnight; 24:00 only when end.
bool ParseClock(std::string_view text, bool end, int& minutes) {
    if (text.size() != 5 || text[2] != ':')
        return false;
    int h = 0, m = 0;
    for (const size_t i : {size_t{0}, size_t{1}, size_t{3}, size_t{4}})
        if (text[i] < '0' || text[i] > '9')
            return false;
    h = (text[0] - '0') * 10 + (text[1] - '0');
    m = (text[3] - '0') * 10 + (text[4] - '0');
    if (m > 59 || h > 24 || (h == 24 && (m != 0 || !end)))
        return false;
    minutes = h * 60 + m;
    return true;
}

std::string ClockText(int minutes) {
    const auto two = [](int n) {
        return std::string{static_cast<char>('0' + n / 10), static_cast<char>('0' + n % 10)};
    };
    return two(minutes / 60 % 100) + ":" + two(minutes % 60);
}

bool ParseDegrees(std::string_view text, double limit, double& value) {
    // from_chars takes no "+": a sign of the north or east is taken here.
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    if (text.empty())
        return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && std::isfinite(value) &&
           std::abs(value) <= limit;
}

// The same time zone as t, at the date and time given.
QDateTime AtTime(const QDateTime& t, const QDate& date, const QTime& time) {
    if (t.timeSpec() == Qt::TimeZone)
        return QDateTime(date, time, t.timeZone());
    if (t.timeSpec() == Qt::OffsetFromUTC)
        return QDateTime(date, time, Qt::OffsetFromUTC, t.offsetFromUtc());
    return QDateTime(date, time, t.timeSpec());
}

CWindowDecision DecideBetween(const CCaptureWindow& w, const QDateTime& now) {
    const QTime time = now.time();
    const int minute = time.hour() * 60 + time.minute();
    const bool due = w.m_nFrom < w.m_nTo ? minute >= w.m_nFrom && minute < w.m_nTo
                                         : minute >= w.m_nFrom || minute < w.m_nTo;
    if (due)
        return {};
    // The next start: today's when it is still ahead, else tomorrow's. A start that a
    // clock change skips comes as the first time after the gap.
    const QTime start(w.m_nFrom / 60, w.m_nFrom % 60);
    QDateTime next = AtTime(now, now.date(), start);
    if (next <= now)
        next = AtTime(now, now.date().addDays(1), start);
    return {false, next};
}

// The sun's apparent declination (degrees) and the equation of time (minutes) at the
// Julian day, after the solar formulas of the usual almanacs (Meeus, "Astronomical
// Algorithms", chapters 25 and 28).
void SunAt(double julianDay, double& declination, double& equationOfTime) {
    const double t = (julianDay - 2451545.0) / 36525;
    const double l0 = std::fmod(280.46646 + t * (36000.76983 + t * 0.0003032), 360);
    const double m = 357.52911 + t * (35999.05029 - 0.0001537 * t);
    const double e = 0.016708634 - t * (0.000042037 + 0.0000001267 * t);
    const double centre = std::sin(Rad(m)) * (1.914602 - t * (0.004817 + 0.000014 * t)) +
                          std::sin(Rad(2 * m)) * (0.019993 - 0.000101 * t) +
                          std::sin(Rad(3 * m)) * 0.000289;
    const double omega = 125.04 - 1934.136 * t;
    const double lambda = l0 + centre - 0.00569 - 0.00478 * std::sin(Rad(omega));
    const double epsilon0 =
        23 + (26 + (21.448 - t * (46.815 + t * (0.00059 - t * 0.001813))) / 60) / 60;
    const double epsilon = epsilon0 + 0.00256 * std::cos(Rad(omega));
    declination = Deg(std::asin(std::sin(Rad(epsilon)) * std::sin(Rad(lambda))));
    const double y = std::pow(std::tan(Rad(epsilon / 2)), 2);
    equationOfTime =
        4 * Deg(y * std::sin(2 * Rad(l0)) - 2 * e * std::sin(Rad(m)) +
                4 * e * y * std::sin(Rad(m)) * std::cos(2 * Rad(l0)) -
                0.5 * y * y * std::sin(4 * Rad(l0)) - 1.25 * e * e * std::sin(2 * Rad(m)));
}

double JulianDay(double epochSeconds) {
    return epochSeconds / kDaySeconds + 2440587.5;
}

// The cosine of the hour angle at which the sun's centre stands at the horizon altitude;
// beyond ±1 it never does that day (above 1: it stays below, below -1: above).
double HorizonCosine(double latitude, double declination) {
    const double below = std::cos(Rad(latitude)) * std::cos(Rad(declination));
    const double above =
        std::sin(Rad(kHorizonAltitude)) - std::sin(Rad(latitude)) * std::sin(Rad(declination));
    if (std::abs(below) < 1e-12)
        return above > 0 ? 2 : -2;  // at a pole the sun's height is its declination
    return above / below;
}

// The UTC time (seconds since 1970) of the sunrise (sign -1) or sunset (+1) of the day
// that begins at dayStart (UTC midnight of the date), refined at its own time: at high
// latitudes the sun's path changes within the day enough to matter. False when the sun
// does not cross the horizon.
bool SunEvent(qint64 dayStart, double latitude, double longitude, int sign, qint64& when) {
    // Noon at the place as the first guess.
    double minutes = 720 - 4 * longitude;
    bool found = false;
    for (int pass = 0; pass < 5; ++pass) {
        double declination = 0, equation = 0;
        SunAt(JulianDay(static_cast<double>(dayStart) + minutes * 60), declination, equation);
        const double cosine = HorizonCosine(latitude, declination);
        if (cosine < -1 || cosine > 1)
            break;  // keeps the last crossing found, if any
        const double hourAngle = Deg(std::acos(cosine));
        minutes = 720 - 4 * (longitude + sign * -hourAngle) - equation;
        found = true;
    }
    when = dayStart + std::llround(minutes * 60);
    return found;
}

}  // namespace

bool ParseBetween(const std::string& text, CCaptureWindow& window, std::string& error) {
    const size_t dash = text.find('-');
    int from = 0, to = 0;
    if (dash == std::string::npos ||
        !ParseClock(std::string_view(text).substr(0, dash), false, from) ||
        !ParseClock(std::string_view(text).substr(dash + 1), true, to)) {
        error = "kein Zeitfenster VON-BIS wie 06:00-20:00";
        return false;
    }
    if (from == to % (24 * 60)) {
        error = "ein Zeitfenster, das beginnt, wo es endet";
        return false;
    }
    window = {};
    window.m_eKind = CCaptureWindow::EKind::kBetween;
    window.m_nFrom = from;
    window.m_nTo = to % (24 * 60);
    return true;
}

bool ParseDaylight(const std::string& text, CCaptureWindow& window, std::string& error) {
    const size_t comma = text.find(',');
    double latitude = 0, longitude = 0;
    if (comma == std::string::npos ||
        !ParseDegrees(std::string_view(text).substr(0, comma), 90, latitude) ||
        !ParseDegrees(std::string_view(text).substr(comma + 1), 180, longitude)) {
        error = "kein Ort BREITE,LÄNGE in Grad wie 48.14,11.58 (Süden und Westen negativ)";
        return false;
    }
    window = {};
    window.m_eKind = CCaptureWindow::EKind::kDaylight;
    window.m_dLatitude = latitude;
    window.m_dLongitude = longitude;
    return true;
}

std::string CaptureWindowText(const CCaptureWindow& w) {
    switch (w.m_eKind) {
        case CCaptureWindow::EKind::kBetween:
            return ClockText(w.m_nFrom) + "-" + ClockText(w.m_nTo == 0 ? 24 * 60 : w.m_nTo);
        case CCaptureWindow::EKind::kDaylight: {
            const auto degrees = [](double d) {
                std::string text = QString::number(d, 'f', 6).toStdString();
                while (text.back() == '0')
                    text.pop_back();
                if (text.back() == '.')
                    text.pop_back();
                return text;
            };
            return degrees(w.m_dLatitude) + "," + degrees(w.m_dLongitude);
        }
        case CCaptureWindow::EKind::kAlways:
            break;
    }
    return {};
}

CSunDay SunDay(const QDate& date, double latitude, double longitude) {
    const qint64 dayStart = QDate(1970, 1, 1).daysTo(date) * kDaySeconds;
    CSunDay day;
    double declination = 0, equation = 0;
    SunAt(JulianDay(static_cast<double>(dayStart) + (720 - 4 * longitude) * 60), declination,
          equation);
    const double cosine = HorizonCosine(latitude, declination);
    const bool rise = SunEvent(dayStart, latitude, longitude, -1, day.m_nRise);
    const bool set = SunEvent(dayStart, latitude, longitude, 1, day.m_nSet);
    // Found at noon already when the sun crosses the horizon that day at all.
    if (!rise || !set)
        day.m_eKind = cosine < -1 ? CSunDay::EKind::kPolarDay : CSunDay::EKind::kPolarNight;
    return day;
}

namespace {

// Sunrise to sunset: the light of each mean solar day at the place as an interval, from
// the day before now's on, until one holds now (due) or begins after it (the next start).
CWindowDecision DecideDaylight(const CCaptureWindow& w, const QDateTime& now) {
    const qint64 t = now.toSecsSinceEpoch();
    // The place's mean solar time runs ahead of UTC by 4 minutes a degree east.
    const qint64 shift = std::llround(w.m_dLongitude * 240);
    const QDate today = QDateTime::fromSecsSinceEpoch(t + shift, Qt::UTC).date();
    for (int k = -1; k <= kSearchDays; ++k) {
        const QDate date = today.addDays(k);
        const CSunDay day = SunDay(date, w.m_dLatitude, w.m_dLongitude);
        qint64 from = 0, to = 0;
        if (day.m_eKind == CSunDay::EKind::kPolarNight)
            continue;
        if (day.m_eKind == CSunDay::EKind::kPolarDay) {
            from = QDate(1970, 1, 1).daysTo(date) * kDaySeconds - shift;
            to = from + kDaySeconds;
        } else {
            from = day.m_nRise;
            to = day.m_nSet;
        }
        if (t >= from && t < to)
            return {};
        if (from > t) {
            // Said in now's own time zone.
            const QDateTime next = QDateTime::fromSecsSinceEpoch(from, Qt::UTC);
            switch (now.timeSpec()) {
                case Qt::TimeZone:
                    return {false, next.toTimeZone(now.timeZone())};
                case Qt::OffsetFromUTC:
                    return {false, next.toOffsetFromUtc(now.offsetFromUtc())};
                default:
                    return {false, next.toTimeSpec(now.timeSpec())};
            }
        }
    }
    return {false, {}};
}

}  // namespace

CWindowDecision DecideWindow(const CCaptureWindow& window, const QDateTime& now) {
    switch (window.m_eKind) {
        case CCaptureWindow::EKind::kBetween:
            return DecideBetween(window, now);
        case CCaptureWindow::EKind::kDaylight:
            return DecideDaylight(window, now);
        case CCaptureWindow::EKind::kAlways:
            break;
    }
    return {};
}

std::string OutsideWindowText(const CCaptureWindow& window, const CWindowDecision& decision) {
    const std::string what = window.m_eKind == CCaptureWindow::EKind::kDaylight
                                 ? "Außerhalb des Tageslichts bei " + CaptureWindowText(window)
                                 : "Außerhalb des Zeitfensters " + CaptureWindowText(window);
    if (!decision.m_next.isValid())
        return what + ", keine Aufnahme innerhalb eines Jahres";
    return what + ", nächste Aufnahme ab " +
           decision.m_next.toString(QStringLiteral("yyyy-MM-dd HH:mm")).toStdString();
}
