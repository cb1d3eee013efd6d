#pragma once

#include <QDateTime>
#include <string>

// When a site is captured: always, between two times of day (local time; a window may
// cross midnight), or while the sun is up at a place. Outside its window a site is not
// dialled.
struct CCaptureWindow {
    enum class EKind { kAlways, kBetween, kDaylight };
    EKind m_eKind = EKind::kAlways;
    // kBetween: minutes after local midnight; the window runs from m_nFrom up to m_nTo
    // (not included), across midnight when m_nTo lies before m_nFrom.
    int m_nFrom = 0;
    int m_nTo = 0;
    // kDaylight: the place, degrees north and east (south and west negative).
    double m_dLatitude = 0;
    double m_dLongitude = 0;

    bool Always() const { return m_eKind == EKind::kAlways; }
};

// "HH:MM-HH:MM" (hours 0..23, or 24:00 as the end); false for anything else, and for a
// window that starts where it ends, with what it is not (German, to follow the value).
bool ParseBetween(const std::string& text, CCaptureWindow& window, std::string& error);
// "LAT,LON" in decimal degrees (-90..90, -180..180); false as ParseBetween.
bool ParseDaylight(const std::string& text, CCaptureWindow& window, std::string& error);
// The window as the options and the book write it ("06:00-20:00", "48.1,11.6"); empty for
// always.
std::string CaptureWindowText(const CCaptureWindow& window);

struct CWindowDecision {
    bool m_bDue = true;
    // When the window opens next, when not due: a time after now. Invalid when the window
    // never opens within a year (a pole's night is half a year long, so that is no place
    // on earth).
    QDateTime m_next;
};

// Whether a round at now lies inside the window, and when it opens next if not. Pure: the
// time in, the answer out. A between window is read in now's own time zone.
CWindowDecision DecideWindow(const CCaptureWindow& window, const QDateTime& now);

// The times the sun's upper limb crosses the horizon, with the standard refraction (the
// centre 0.833° below the mathematical horizon), on the day that is the given date at the
// place's own mean solar time.
struct CSunDay {
    enum class EKind { kRiseAndSet, kPolarDay, kPolarNight };
    EKind m_eKind = EKind::kRiseAndSet;
    qint64 m_nRise = 0;  // seconds since 1970, UTC (kRiseAndSet only)
    qint64 m_nSet = 0;
};
CSunDay SunDay(const QDate& date, double latitude, double longitude);

// What the status bar and the console say of a round left out: "Außerhalb des
// Zeitfensters 06:00-20:00, nächste Aufnahme ab 2026-12-10 06:00".
std::string OutsideWindowText(const CCaptureWindow& window, const CWindowDecision& decision);
