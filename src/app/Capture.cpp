// The capture round that the capture timer's tick and pixlane-cli capture share, what
// keeps its pictures, and the window's auto-save of ticks and loops.
#include "app/Capture.h"

#include <QDir>
#include <QFileInfo>
#include <ctime>

#include "app/AppUi.h"
#include "app/Commands.h"
#include "app/ImageFile.h"
#include "app/PixlaneApp.h"
#include "app/PortSettings.h"
#include "app/TargetFile.h"
#include "link/ComPort.h"
#include "link/ModemDialler.h"
#include "link/QtSerialLine.h"

namespace {
constexpr uint32_t kStepWaitMs = 1000;
// Long enough for any modem's DTR guard time.
constexpr uint32_t kDtrDropMs = 1000;
const char* const kSaveFailed = "Fehler beim Speichern !";
const char* const kBrokenOff = "Übertragung abgebrochen !";
}  // namespace

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

namespace {
// What the journal gives as the cause of a failed attempt: the loss of the line when the
// line went away meanwhile (what follows then fails only because of it), else the text
// the user saw.
std::string FailureText(const CTextTap* tap) {
    if (CComPort::LineLost())
        return CComPort::kLineGoneText;
    return tap != nullptr ? tap->Shown(true) : std::string();
}
}  // namespace

// Puts a tap between the application (and the port) and whatever shows their texts, for
// as long as it lives; taps nest.
class CTextTapGuard {
  public:
    explicit CTextTapGuard(CPixlaneApp& app)
        : m_app(app), m_tap(app.TextUi()), m_pPrev(app.m_pTextTap), m_pPortUi(CComPort::Ui()) {
        app.m_pTextTap = &m_tap;
        CComPort::SetUi(&m_tap);
    }
    ~CTextTapGuard() {
        m_app.m_pTextTap = m_pPrev;
        CComPort::SetUi(m_pPortUi);
    }
    CTextTapGuard(const CTextTapGuard&) = delete;
    CTextTapGuard& operator=(const CTextTapGuard&) = delete;
    CTextTap& Tap() { return m_tap; }

  private:
    CPixlaneApp& m_app;
    CTextTap m_tap;
    CTextTap* m_pPrev;
    CPortUi* m_pPortUi;
};

// ---- the keeper ----

QDateTime CPictureKeeper::Now() const {
    return m_fnNow ? m_fnNow() : QDateTime::currentDateTime();
}

bool CPictureKeeper::Save(const CImage& image, int channel, const QDateTime& when,
                          std::string& path, std::string& error) {
    m_lastFile.clear();
    const CNameFields fields{channel, image.Width(), image.Height(), ++m_nSeq};
    const std::time_t t = static_cast<std::time_t>(when.toSecsSinceEpoch());
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &t);
#else
    localtime_r(&t, &local);
#endif
    const std::string name = ExpandNamePattern(m_sPattern, local, fields);
    if (error = ExpandedNameProblem(name, m_bInsideFolder); !error.empty())
        return false;
    QString full = QString::fromStdString(name);
    if (QFileInfo(full).isRelative() && !m_sFolder.empty())
        full = QDir(QString::fromStdString(m_sFolder)).filePath(full);
    full = QDir::cleanPath(QFileInfo(full).absoluteFilePath());
    if (!MakeFolders(QFileInfo(full).absolutePath().toStdString(), &error))
        return false;
    std::string reason;
    std::vector<uint8_t> bytes = ImageFileBytes(name, image, &reason);
    if (bytes.empty() ||
        !WriteTargetFile(full.toStdString(), bytes, &reason, ETargetWrite::KeepExisting, &path)) {
        error = full.toStdString() + ": " + reason;
        return false;
    }
    m_lastFile.swap(bytes);
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

bool CPictureKeeper::Record(const CCaptureEvent& event, std::string& error) {
    if (m_sJournal.empty())
        return true;
    std::string reason;
    if (AppendJournal(m_sJournal, event, &reason))
        return true;
    error = m_sJournal + ": " + reason;
    return false;
}

// ---- the round ----

CPortUi* CPixlaneApp::TextUi() const {
    return m_pTextTap != nullptr ? static_cast<CPortUi*>(m_pTextTap) : m_pUi;
}

bool CPixlaneApp::OpenCaptureLine() {
    // A line that went away is picked up again as every command picks it up; one that the
    // round closed itself (the hang-up by DTR) is opened again.
    if (!EnsureLine())
        return false;
    return CComPort::IsOpen() || OpenConfiguredPort();
}

std::string CPixlaneApp::HangUpByLine() {
    CComPort port;
    const bool dtr = port.PulseDtr(kDtrDropMs);
    // Closing drops DTR as well, where the driver hangs up on close.
    port.Open(0);
    m_bPortOpen = false;
    const std::string text = dtr ? "Modem über DTR aufgelegt, Schnittstelle geschlossen !"
                                 : "Schnittstelle geschlossen !";
    ShowStatus(text);
    return text;
}

CCaptureEvent CPixlaneApp::StartEvent(const char* kind, int channel,
                                      const CCapturePlan& plan) const {
    CCaptureEvent e;
    e.m_time = plan.m_pKeeper != nullptr ? plan.m_pKeeper->Now() : QDateTime::currentDateTime();
    e.m_sEvent = kind;
    e.m_iChannel = channel;
    e.m_nWidth = plan.m_request.m_nWidth;
    e.m_nHeight = plan.m_request.m_nHeight;
    e.m_iMode = plan.m_request.m_iMode;
    e.m_bColour = plan.m_request.m_bColour;
    return e;
}

void CPixlaneApp::EndEvent(CCaptureEvent& event, uint32_t startTick, uint64_t startBytes) const {
    event.m_nBytes = CComPort::BytesReceived() - startBytes;
    event.m_dSeconds = static_cast<uint32_t>(CComPort::Clock().GetTickCount() - startTick) / 1000.0;
}

void CPixlaneApp::RecordEvent(const CCaptureEvent& event, const CCapturePlan& plan,
                              CCaptureOutcome& out) {
    std::string error;
    if (plan.m_pKeeper == nullptr || plan.m_pKeeper->Record(event, error))
        return;
    out.m_bRecordFailed = true;
    if (plan.m_bUnattended)
        ShowMessage("Journal nicht geschrieben ! " + error);
    else
        ShowStatus(kSaveFailed);
}

void CPixlaneApp::KeepPicture(CCaptureEvent& e, int transfer, const CCapturePlan& plan,
                              CCaptureOutcome& out) {
    if (transfer != kTransferComplete) {
        ++out.m_nFailed;
        e.m_sResult = transfer == kTransferBroken ? "broken" : "failed";
        if (plan.m_bUnattended)
            ShowMessage("Kanal " + std::to_string(e.m_iChannel) +
                        ": kein vollständiges Bild empfangen !");
        e.m_sMessage = FailureText(m_pTextTap);
        RecordEvent(e, plan, out);
        return;
    }
    e.m_sResult = "ok";
    std::string path, error;
    if (plan.m_pKeeper == nullptr) {
        // Nothing keeps pictures: the image stays in the window until the next fetch.
    } else if (!plan.m_pKeeper->Save(m_image, e.m_iChannel, e.m_time, path, error)) {
        ++out.m_nFailed;
        out.m_bSaveFailed = true;
        e.m_sResult = "failed";
        e.m_sMessage = std::string(kSaveFailed) + " " + error;
        // A message box would wait for somebody; an unattended window goes on.
        if (plan.m_bUnattended)
            ShowMessage(e.m_sMessage);
        else
            ShowStatus(kSaveFailed);
    } else {
        ++out.m_nSaved;
        e.m_sFile = path;
        if (!plan.m_pKeeper->RefreshLatest(error)) {
            e.m_sMessage = std::string(kSaveFailed) + " " + error;
            // The picture is kept; what shows it as the newest is not.
            out.m_bSaveFailed = true;
            e.m_sResult = "latest_failed";
            ShowMessage(e.m_sMessage);
        }
        if (plan.m_fnSaved) {
            const std::string said = plan.m_fnSaved(path);
            if (!said.empty())
                e.m_sMessage = e.m_sMessage.empty() ? said : e.m_sMessage + " " + said;
        }
    }
    RecordEvent(e, plan, out);
}

void CPixlaneApp::CapturePicture(int channel, const CCapturePlan& plan, CTextTap& tap,
                                 CCaptureOutcome& out) {
    CClock& clock = CComPort::Clock();
    tap.Mark();
    const uint32_t tick = clock.GetTickCount();
    const uint64_t bytes = CComPort::BytesReceived();
    CCaptureEvent e = StartEvent("picture", channel, plan);
    if (plan.m_channels.empty()) {
        // The timer's way: the stored channel through the re-grab, fetched whatever it gave.
        for (int pass = 0; pass < 3 && !RegrabImage(); ++pass) {
        }
    } else {
        m_iKanal = channel;
        int result = kChannelNoAnswer;
        int tries = 0;
        // A refusal is the module's answer: asking again would not change it.
        while (tries < 3 && result == kChannelNoAnswer && !StopRequested()) {
            ++tries;
            result = CComPort().SelectChannelResult(std::to_string(channel));
        }
        const bool selected = result == kChannelSelected;
        const bool refused = result == kChannelRefused;
        if (!selected && !refused && StopRequested())
            return;
        if (!selected && plan.m_bUnattended) {
            // A picture of a channel the module did not confirm could show another camera.
            if (!refused)
                ShowMessage("Kanal " + std::to_string(channel) + " nicht gewählt !");
            e.m_nTries = tries;
            EndEvent(e, tick, bytes);
            e.m_sResult = refused ? "refused" : "failed";
            e.m_sMessage = FailureText(&tap);
            ++out.m_nFailed;
            RecordEvent(e, plan, out);
            return;
        }
    }
    if (StopRequested())
        return;
    int transfer = -1;
    while (e.m_nTries < 3) {
        ++e.m_nTries;
        transfer = FetchImage(plan.m_request).m_nTransfer;
        if (transfer == kTransferComplete || StopRequested())
            break;
        clock.Sleep(kStepWaitMs);
    }
    EndEvent(e, tick, bytes);
    if (transfer != kTransferComplete && StopRequested()) {
        // Broken off on request: recorded, but no failure of the module's.
        ShowStatus(kBrokenOff);
        e.m_sResult = "stopped";
        e.m_sMessage = kBrokenOff;
        RecordEvent(e, plan, out);
        return;
    }
    KeepPicture(e, transfer, plan, out);
}

void CPixlaneApp::CaptureParameters(const CCapturePlan& plan, CTextTap& tap, CCaptureOutcome& out) {
    CClock& clock = CComPort::Clock();
    tap.Mark();
    const uint32_t tick = clock.GetTickCount();
    const uint64_t bytes = CComPort::BytesReceived();
    CCaptureEvent e = StartEvent("params", 0, plan);
    const int width = plan.m_request.m_nWidth;
    const bool hasSet = width == 180 || width == 360;
    bool ok = false;
    while (e.m_nTries < 3 && !ok && !StopRequested()) {
        ++e.m_nTries;
        if (hasSet)
            ok = CComPort().SetParametersForWidth(width);
        else
            ShowMessage("FehlerP");
        clock.Sleep(kStepWaitMs);
    }
    if (ok || StopRequested())
        return;
    // The pictures go on, taken with whatever window the module had before: said and
    // journalled where nobody watches (the window's tick keeps its own texts).
    EndEvent(e, tick, bytes);
    if (plan.m_bUnattended && hasSet)
        ShowMessage("FehlerP");
    e.m_sResult = "failed";
    e.m_sMessage = CComPort::LineLost() ? CComPort::kLineGoneText : "FehlerP";
    RecordEvent(e, plan, out);
}

void CPixlaneApp::CaptureHangUp(const CCapturePlan& plan, CTextTap& tap, CCaptureOutcome& out) {
    CClock& clock = CComPort::Clock();
    tap.Mark();
    const uint32_t tick = clock.GetTickCount();
    const uint64_t bytes = CComPort::BytesReceived();
    CCaptureEvent e = StartEvent("hangup", 0, plan);
    for (int pass = 0; pass < 3; ++pass) {
        ++e.m_nTries;
        if (CComPort().EndConnection() == kHangUpConfirmed) {
            ShowStatus("Verbindung getrennt !");
            return;
        }
        ShowStatus("Auflegen nicht möglich !");
        clock.Sleep(kStepWaitMs);
    }
    EndEvent(e, tick, bytes);
    out.m_bHangupFailed = true;
    e.m_sResult = "failed";
    e.m_sMessage = FailureText(&tap);
    // Without the line there is nothing left to hang up by.
    if (plan.m_bUnattended && !CComPort::LineLost())
        e.m_sMessage += " " + HangUpByLine();
    RecordEvent(e, plan, out);
}

CCaptureOutcome CPixlaneApp::RunCaptureRound(const CCapturePlan& plan) {
    CCaptureOutcome out;
    CTextTapGuard guard(*this);
    CTextTap& tap = guard.Tap();
    CClock& clock = CComPort::Clock();
    const std::vector<int> channels =
        plan.m_channels.empty() ? std::vector<int>{m_iKanal} : plan.m_channels;
    const int pictures = static_cast<int>(channels.size());

    if (plan.m_bUnattended && !OpenCaptureLine()) {
        const std::string text = PortOpenFailedText(m_iCom, plan.m_sDevice);
        ShowMessage(text);
        for (int channel : channels) {
            CCaptureEvent e = StartEvent("picture", channel, plan);
            e.m_sResult = "failed";
            e.m_sMessage = text;
            RecordEvent(e, plan, out);
        }
        out.m_bLineFailed = true;
        out.m_nFailed = pictures;
        return out;
    }

    if (plan.m_bDial) {
        tap.Mark();
        const uint32_t tick = clock.GetTickCount();
        const uint64_t bytes = CComPort::BytesReceived();
        CCaptureEvent e = StartEvent("dial", 0, plan);
        e.m_nTries = 1;
        CDialResult dial = Dial();
        if (!dial.Connected() && !StopRequested()) {
            clock.Sleep(kStepWaitMs);
            e.m_nTries = 2;
            dial = Dial();
        }
        if (!dial.Connected()) {
            EndEvent(e, tick, bytes);
            e.m_sResult = "failed";
            e.m_sMessage = FailureText(&tap);
            e.m_sModem = dial.m_sModem;
            if (plan.m_bUnattended && !dial.m_sModem.empty())
                ShowMessage(ModemResultText(dial.m_sModem));
            // The dial may have failed after the call was made.
            if (plan.m_bUnattended)
                HangUpByLine();
            RecordEvent(e, plan, out);
            out.m_bDialFailed = true;
            out.m_bStopped = StopRequested();
            out.m_nFailed = pictures;
            return out;
        }
    }

    CaptureParameters(plan, tap, out);
    for (int channel : channels) {
        if (StopRequested())
            break;
        CapturePicture(channel, plan, tap, out);
    }
    if (plan.m_bDial)
        CaptureHangUp(plan, tap, out);
    out.m_bStopped = StopRequested();
    return out;
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
    const CCaptureOutcome out = RunCaptureRound(plan);
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
        ShowStatus(kSaveFailed);
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
    CTextTapGuard guard(*this);
    guard.Tap().Mark();
    const uint32_t tick = CComPort::Clock().GetTickCount();
    const uint64_t bytes = CComPort::BytesReceived();
    const QDateTime when = plan.m_pKeeper->Now();
    const CFetchOutcome fetched = CycleFetch(id);
    // The journal tells what the cycle's last fetch asked for.
    plan.m_request = fetched.m_request;
    CCaptureEvent e = StartEvent("picture", m_iKanal, plan);
    e.m_time = when;
    e.m_nTries = 1;
    EndEvent(e, tick, bytes);
    CCaptureOutcome out;
    KeepPicture(e, fetched.m_nTransfer, plan, out);
}
