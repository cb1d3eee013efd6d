#include "ui/CaptureTimer.h"

#include <algorithm>
#include <climits>

#include "app/PixlaneApp.h"

CCaptureTimer::CCaptureTimer(CPixlaneApp& app, CPortUi& ui) : m_app(app), m_ui(ui) {
    m_timer.setTimerType(Qt::CoarseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { m_app.OnCaptureTick(); });
}

void CCaptureTimer::Set(int minutes) {
    // QTimer takes an int of milliseconds: longer intervals are cut to about 24 days
    // instead of wrapping round to a wrong one.
    const long long ms = static_cast<long long>(minutes) * 60000;
    m_nTimerInterval = static_cast<int>(std::clamp<long long>(ms, 0, INT_MAX));
    Rearm();
}

void CCaptureTimer::Start(int minutes) {
    if (m_app.m_bTimer)
        Set(minutes);
}

void CCaptureTimer::Toggle(int minutes) {
    if (m_app.m_bTimer) {
        m_timer.stop();
        m_app.m_bTimer = false;
        return;
    }
    Set(minutes);
    m_app.m_bTimer = true;
}

void CCaptureTimer::Stop() {
    m_timer.stop();
}

void CCaptureTimer::Rearm() {
    // An interval of no time at all would tick back to back: the timer stays off.
    if (m_nTimerInterval <= 0) {
        m_timer.stop();
        m_ui.SetStatusText("Timer-Intervall ungültig !");
        return;
    }
    m_timer.start(m_nTimerInterval);
}
