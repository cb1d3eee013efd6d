#pragma once

#include <QTimer>

class CPixlaneApp;
class CPortUi;

// The main window's periodic capture: a timer armed for a number of minutes whose tick runs
// the application's capture tick. Whether periodic capture is on is the application's
// m_bTimer, which arming at start-up reads and the switch reads and writes. The tick stops
// the timer before anything else and sets it again when it is done, so ticks never overlap;
// a tick can run inside a loop command, which lets the timer's events through between its
// cycles.
class CCaptureTimer {
  public:
    // Ticks go to the application; ui shows why an interval does not arm the timer.
    CCaptureTimer(CPixlaneApp& app, CPortUi& ui);

    // Arms the timer for this many minutes when m_bTimer is on (start-up).
    void Start(int minutes);
    // Off when m_bTimer is on, else armed for this many minutes (the settings dialog).
    void Toggle(int minutes);
    // Stops it; m_bTimer stays as it is.
    void Stop();
    // Sets it again with the interval it was last armed with.
    void Rearm();

    const QTimer& Timer() const { return m_timer; }
    int Interval() const { return m_nTimerInterval; }  // milliseconds

  private:
    void Set(int minutes);

    CPixlaneApp& m_app;
    CPortUi& m_ui;
    QTimer m_timer;
    int m_nTimerInterval = 0;  // milliseconds
};
