#!/usr/bin/env python3
"""Reference sunrise and sunset times for window_test.cpp, made independently of the
program's own computation.

Method: the Sun's apparent position from the low-precision formulas of the Astronomical
Almanac (section C, "Sun, low precision": mean longitude, mean anomaly, ecliptic
longitude, obliquity; precision about 0.01 degree between 1950 and 2050), the Greenwich
mean sidereal time of the same almanac (section B), and from them the altitude of the
Sun's centre at the place. Sunrise and sunset are where that altitude crosses -0.833
degree (upper limb on the horizon with standard refraction), found by scanning each
minute of the day and halving the step down to a tenth of a second. The program instead
solves the hour angle of the horizon directly from the declination and the equation of
time at the event. A day is the place's mean solar day: from 00:00 UTC minus four
minutes for each degree east.

Prints one C++ table row per place and date: {lat, lon, year, month, day, kind, rise, set}
with rise and set in seconds after 00:00 UTC of the date (negative: the day before).
"""
import math
import sys

H0 = -0.833


def altitude(jd, lat, lon):
    n = jd - 2451545.0
    L = (280.460 + 0.9856474 * n) % 360
    g = math.radians((357.528 + 0.9856003 * n) % 360)
    lam = math.radians(L + 1.915 * math.sin(g) + 0.020 * math.sin(2 * g))
    eps = math.radians(23.439 - 0.0000004 * n)
    ra = math.atan2(math.cos(eps) * math.sin(lam), math.cos(lam))
    dec = math.asin(math.sin(eps) * math.sin(lam))
    gmst = (18.697374558 + 24.06570982441908 * n) % 24
    ha = math.radians(gmst * 15 + lon) - ra
    phi = math.radians(lat)
    return math.degrees(
        math.asin(math.sin(phi) * math.sin(dec) + math.cos(phi) * math.cos(dec) * math.cos(ha))
    )


def days_from_epoch(y, m, d):
    # days from 1970-01-01 (proleptic Gregorian)
    import datetime

    return (datetime.date(y, m, d) - datetime.date(1970, 1, 1)).days


def events(lat, lon, y, m, d):
    start = days_from_epoch(y, m, d) * 86400 - round(lon * 240)
    f = lambda s: altitude((start + s) / 86400 + 2440587.5, lat, lon) - H0
    rise = sett = None
    prev = f(0)
    alts = [prev]
    for minute in range(1, 24 * 60 + 1):
        s = minute * 60
        cur = f(s)
        alts.append(cur)
        if (prev < 0) != (cur < 0):
            a, b = s - 60, s
            fa = prev
            while b - a > 0.1:
                mid = (a + b) / 2
                fm = f(mid)
                if (fa < 0) == (fm < 0):
                    a, fa = mid, fm
                else:
                    b = mid
            t = round((a + b) / 2) + start - days_from_epoch(y, m, d) * 86400
            if prev < 0:
                rise = t
            else:
                sett = t
        prev = cur
    if rise is None and sett is None:
        return ("kPolarDay" if alts[0] > 0 else "kPolarNight"), 0, 0
    if rise is None or sett is None:
        return None  # one crossing only: a day at the edge of the polar day or night
    return "kRiseAndSet", rise, sett


PLACES = [(48.14, 11.58), (65.01, 25.47), (78.22, 15.65)]


def main():
    year = int(sys.argv[1]) if len(sys.argv) > 1 else 2026
    for lat, lon in PLACES:
        for month in range(1, 13):
            for day in (1, 15):
                e = events(lat, lon, year, month, day)
                if e is None:
                    continue
                kind, rise, sett = e
                print(
                    "    {%g, %g, %d, %d, %d, CSunDay::EKind::%s, %d, %d},"
                    % (lat, lon, year, month, day, kind, rise, sett)
                )


if __name__ == "__main__":
    main()
