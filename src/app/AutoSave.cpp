// The window's auto-save: its keeper, and the capture timer's tick. Calls into Fetch.cpp and
// PixlaneApp.cpp only.
#include <QDir>

#include "app/AppUi.h"
#include "app/PixlaneApp.h"
#include "capture/CaptureRound.h"
#include "capture/Units.h"
#include "link/ComPort.h"

CPictureKeeper* CPixlaneApp::AutoSaveKeeper() {
    // A relative folder would depend on where the window was started.
    if (!m_bAutoSave || !IsAutoSaveFolder(m_sAutoSaveFolder))
        return nullptr;
    m_autoKeeper.m_sFolder = m_sAutoSaveFolder;
    m_autoKeeper.m_bInsideFolder = true;
    m_autoKeeper.m_sPattern = NamePatternProblem(m_sAutoSavePattern, true).empty()
                                  ? m_sAutoSavePattern
                                  : kDefaultNamePattern;
    m_autoKeeper.m_sJournal =
        QDir(QString::fromStdString(m_sAutoSaveFolder)).filePath(kAutoSaveJournal).toStdString();
    // The settings were checked when read or confirmed; one that is none limits nothing.
    CRetention& retention = m_autoKeeper.m_retention;
    retention.m_nKeepSeconds = 0;
    retention.m_nMinFreeBytes = 0;
    ParseKeepDuration(m_sAutoSaveKeep, retention.m_nKeepSeconds);
    ParseFreeSize(m_sAutoSaveMinFree, retention.m_nMinFreeBytes);
    retention.m_sKeepReason = "älter als die Aufbewahrungsdauer";
    retention.m_sMinFreeReason = "weniger frei als verlangt";
    // A pattern retention cannot find its pictures by removes nothing (the dialog refuses
    // one with a limit).
    if (!retention.Active() ||
        !retention.Place(m_sAutoSaveFolder, m_autoKeeper.m_sPattern).empty()) {
        m_sRetentionJournal.clear();
    } else if (m_sRetentionJournal != m_autoKeeper.m_sJournal) {
        // What the journal records is read once; the pictures saved since are added as
        // they are saved.
        retention.Load(m_autoKeeper.m_sJournal);
        m_sRetentionJournal = m_autoKeeper.m_sJournal;
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
    if (!EnsureLine()) {
        rearm();
        return;
    }
    CCapturePlan plan;
    plan.m_line = CurrentLine();
    plan.m_request = StoredRequest();
    plan.m_channels = {m_iKanal};
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
