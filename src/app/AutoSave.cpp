// The window's auto-save: its keeper, and the capture timer's tick. Calls into Fetch.cpp and
// PixlaneApp.cpp only.
#include "app/AppUi.h"
#include "app/PixlaneApp.h"
#include "capture/CaptureRound.h"
#include "capture/CaptureWindow.h"
#include "link/ComPort.h"

CPictureKeeper* CPixlaneApp::AutoSaveKeeper() {
    const CTarget target = Target();
    // The auto-save's own folder is a whole path (or none); a site's is found from the
    // working folder, as the sites dialog finds its journal.
    if (!m_bAutoSave || target.m_storage.m_sFolder.empty())
        return nullptr;
    m_autoKeeper.Use(target.m_storage, target.m_sSite);
    m_autoKeeper.m_limits = target.m_limits;
    CRetention& retention = m_autoKeeper.m_retention;
    retention.m_sKeepReason = "älter als die Aufbewahrungsdauer";
    retention.m_sMinFreeReason = "weniger frei als verlangt";
    // A pattern retention cannot find its pictures by removes nothing (the dialog refuses
    // one with a limit).
    if (!retention.Active() ||
        !retention.Place(target.m_storage.m_sFolder, target.m_storage.m_sPattern).empty()) {
        retention.Load({});
    } else if (retention.Journal() != m_autoKeeper.m_sJournal) {
        // What the journal records is read once; the pictures saved since are added as
        // they are saved.
        retention.Load(m_autoKeeper.m_sJournal);
    }
    return &m_autoKeeper;
}

void CPixlaneApp::OnCaptureTick() {
    if (m_pUi != nullptr)
        m_pUi->StopCaptureTimer();
    m_bTimer = false;
    // Without the line this tick captures nothing, and the next one tries again.
    const auto rearm = [this] {
        if (m_pUi != nullptr)
            m_pUi->RearmCaptureTimer();
        m_bTimer = true;
    };
    // Outside its window the tick dials nothing and says so; the next one looks again.
    const CCaptureWindow window = CaptureTimerWindow();
    if (const CWindowDecision decision = DecideWindow(window, m_autoKeeper.Now());
        !decision.m_bDue) {
        ShowStatus(OutsideWindowText(window, decision));
        rearm();
        return;
    }
    const CTarget target = Target();
    if (!EnsureLine(target.m_line)) {
        rearm();
        return;
    }
    CCapturePlan plan;
    plan.m_line = target.m_line;
    plan.m_request = target.m_request;
    plan.m_channels = {target.m_channels.front()};
    plan.m_bRegrab = true;
    plan.m_pKeeper = AutoSaveKeeper();
    const CCaptureOutcome out = CCaptureRound(*this, std::move(plan)).Run();
    if (out.m_bDialFailed) {
        if (NoticeLineLoss()) {
            ShowStatus(CComPort::kLineGoneText);
            rearm();
            return;
        }
        // Periodic capture stalls here until the timer is switched off and on again.
        m_bTimer = true;
        return;
    }
    // The hang-up's text came after it: the failure is said again, last.
    if (out.m_bSaveFailed || out.m_bRecordFailed)
        ShowStatus(kSaveFailedText);
    rearm();
    FinishLineUse();
}

CCaptureWindow CPixlaneApp::CaptureTimerWindow() const {
    if (const CTarget target = Target(); !target.m_window.Always())
        return target.m_window;
    CCaptureWindow window;
    std::string fault;
    // Checked when read and when confirmed: one that does not parse is none.
    if (!m_sAutoSaveBetween.empty() && ParseBetween(m_sAutoSaveBetween, window, fault))
        return window;
    if (!m_sAutoSaveDaylight.empty() && ParseDaylight(m_sAutoSaveDaylight, window, fault))
        return window;
    return {};
}
