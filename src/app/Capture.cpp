// What keeps the pictures of a capture, the tap on the texts shown meanwhile, and the
// window's auto-save of ticks and loops.
#include "app/Capture.h"

#include <QDir>
#include <QFileInfo>
#include <ctime>

#include "app/AppUi.h"
#include "app/CaptureRound.h"
#include "app/ImageFile.h"
#include "app/PixlaneApp.h"
#include "app/TargetFile.h"
#include "link/ComPort.h"
#include "platform/System.h"

// ---- texts shown ----

void CTextTap::SetStatusText(const std::string& text) {
    m_sStatus = text;
    m_bStatusSinceMark = true;
    if (m_pInner != nullptr)
        m_pInner->SetStatusText(text);
}

void CTextTap::SetProgressText(const std::string& text) {
    m_sStatus = text;
    m_bStatusSinceMark = true;
    if (m_pInner != nullptr)
        m_pInner->SetProgressText(text);
}

void CTextTap::MessageBox(const std::string& text) {
    m_messages.push_back(text);
    if (m_pInner != nullptr)
        m_pInner->MessageBox(text);
}

void CTextTap::Mark() {
    m_nMark = m_messages.size();
    m_bStatusSinceMark = false;
}

std::string CTextTap::Shown(bool failed) const {
    if (m_messages.size() > m_nMark)
        return m_messages.back();
    return failed && m_bStatusSinceMark ? m_sStatus : std::string();
}

// ---- the keeper ----

QDateTime CPictureKeeper::Now() const {
    return m_fnNow ? m_fnNow() : QDateTime::currentDateTime();
}

bool CPictureKeeper::Save(const CImage& image, int channel, const QDateTime& when,
                          std::string& path, std::string& error) {
    m_lastFile.clear();
    const CNameFields fields{channel, image.Width(), image.Height(), ++m_nSeq};
    const std::tm local = LocalTime(static_cast<std::time_t>(when.toSecsSinceEpoch()));
    const std::string name = ExpandNamePattern(m_sPattern, local, fields);
    if (error = ExpandedNameProblem(name, m_bInsideFolder); !error.empty())
        return false;
    QString full = QString::fromStdString(name);
    if (QFileInfo(full).isRelative() && !m_sFolder.empty())
        full = QDir(QString::fromStdString(m_sFolder)).filePath(full);
    full = QDir::cleanPath(QFileInfo(full).absoluteFilePath());
    if (!MakeFolders(QFileInfo(full).absolutePath().toStdString(), &error))
        return false;
    if (m_retention.Active()) {
        // The picture's own line tells when the journal cannot be written.
        std::string unrecorded;
        for (const CCaptureEvent& removal : m_retention.Prune(Now()))
            Record(removal, unrecorded);
    }
    std::string reason;
    std::vector<uint8_t> bytes = ImageFileBytes(name, image, &reason);
    if (bytes.empty() ||
        !WriteTargetFile(full.toStdString(), bytes, &reason, ETargetWrite::KeepExisting, &path)) {
        error = full.toStdString() + ": " + reason;
        return false;
    }
    m_lastFile.swap(bytes);
    m_retention.Saved(path, when);
    return true;
}

bool CPictureKeeper::RefreshLatest(std::string& error) {
    if (m_sLatest.empty() || m_lastFile.empty())
        return true;
    std::string reason;
    if (WriteTargetFile(m_sLatest, m_lastFile, &reason))
        return true;
    error = m_sLatest + ": " + reason;
    return false;
}

namespace {
template <typename TEvent>
bool RecordIn(const std::string& journal, const TEvent& event, std::string& error) {
    if (journal.empty())
        return true;
    std::string reason;
    if (AppendJournal(journal, event, &reason))
        return true;
    error = journal + ": " + reason;
    return false;
}
}  // namespace

bool CPictureKeeper::Record(const CCaptureEvent& event, std::string& error) {
    CCaptureEvent line = event;
    if (!m_sSite.empty())
        line.m_sSite = m_sSite;
    return RecordIn(m_sJournal, line, error);
}

bool CPictureKeeper::Record(const CRoundEvent& event, std::string& error) {
    CRoundEvent line = event;
    if (!m_sSite.empty())
        line.m_sSite = m_sSite;
    return RecordIn(m_sJournal, line, error);
}

// ---- the window's auto-save ----

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
    plan.m_request = StoredRequest();
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

void CPixlaneApp::LoopFetch(int id) {
    CCapturePlan plan;
    plan.m_pKeeper = AutoSaveKeeper();
    if (plan.m_pKeeper == nullptr) {
        CycleFetch(id);
        return;
    }
    // The re-grab before the cycle selected the stored channel.
    CCaptureRound(*this, std::move(plan)).KeepFetch(m_iKanal, [this, id] {
        return CycleFetch(id);
    });
}
