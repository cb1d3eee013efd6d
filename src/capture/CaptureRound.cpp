// The capture round that the capture timer's tick, the window's loops and pixlane-cli
// capture share.
#include "capture/CaptureRound.h"

#include "link/ComPort.h"
#include "link/ModemDialler.h"

namespace {
constexpr uint32_t kStepWaitMs = 1000;
const char* const kBrokenOff = "Übertragung abgebrochen !";

// Puts a tap between the host (and the port) and whatever shows their texts, for as long
// as it lives; taps nest.
class CTapRoute {
  public:
    CTapRoute(CRoundHost& host, CTextTap& tap)
        : m_host(host), m_pPrev(host.RouteTexts(&tap)), m_pPortUi(host.Line().Ui()) {
        host.Line().SetUi(&tap);
    }
    ~CTapRoute() {
        m_host.RouteTexts(m_pPrev);
        m_host.Line().SetUi(m_pPortUi);
    }
    CTapRoute(const CTapRoute&) = delete;
    CTapRoute& operator=(const CTapRoute&) = delete;

  private:
    CRoundHost& m_host;
    CPortUi* m_pPrev;
    CPortUi* m_pPortUi;
};
}  // namespace

CCaptureRound::CCaptureRound(CRoundHost& host, CCapturePlan plan)
    : m_host(host), m_plan(std::move(plan)) {}

CCaptureOutcome CCaptureRound::Tapped(const std::function<void()>& steps) {
    CTextTap tap(m_host.TextUi());
    const CTapRoute route(m_host, tap);
    m_pTap = &tap;
    m_out = {};
    steps();
    m_pTap = nullptr;
    return m_out;
}

CCaptureOutcome CCaptureRound::Run() {
    return Tapped([this] {
        m_round = {};
        m_round.m_time =
            m_plan.m_pKeeper != nullptr ? m_plan.m_pKeeper->Now() : QDateTime::currentDateTime();
        m_round.m_sDevice = m_plan.m_line.m_address.DeviceName();
        m_nRoundBytes = m_host.Line().BytesReceived();
        m_bOffHook = false;
        RunSteps();
        EndRound();
    });
}

CCaptureOutcome CCaptureRound::KeepFetch(int channel, const std::function<CFetchOutcome()>& fetch) {
    return Tapped([&] {
        BeginStep();
        const QDateTime when = StartEvent("picture", channel, m_plan.m_request).m_time;
        const CFetchOutcome fetched = fetch();
        // The journal tells what the fetch asked for.
        CCaptureEvent e = StartEvent("picture", channel, fetched.m_request);
        e.m_time = when;
        e.m_nTries = 1;
        EndEvent(e);
        Keep(e, fetched.m_nTransfer);
    });
}

void CCaptureRound::RunSteps() {
    const std::vector<int>& channels = m_plan.m_channels;
    const int pictures = static_cast<int>(channels.size());
    if (m_plan.m_bUnattended && !OpenLine()) {
        // A line another process holds is not a fault of the line: the round could not start.
        // Asked to stop while it waited for that line, the round was stopped, not failed.
        const bool busy = m_host.Line().OpenFoundBusy();
        const bool stopped = busy && Stop();
        const std::string text =
            busy ? CComPort::kPortBusyText
                 : PortOpenFailedText(m_plan.m_line.m_address, m_host.Line().OpenProblem());
        ShowMessage(text);
        for (int channel : channels) {
            CCaptureEvent e = StartEvent("picture", channel, m_plan.m_request);
            e.m_sResult = stopped ? "stopped" : busy ? "busy" : "failed";
            e.m_sMessage = text;
            Record(e);
        }
        m_out.m_bLineFailed = true;
        m_out.m_bStopped = Stop();
        m_out.m_nFailed = stopped ? 0 : pictures;
        return;
    }
    if (m_plan.m_bDial && !DialModem(pictures))
        return;
    Parameters();
    for (int channel : channels) {
        if (Stop())
            break;
        Picture(channel);
    }
    if (m_plan.m_bDial)
        HangUp();
    m_out.m_bStopped = Stop();
}

bool CCaptureRound::OpenLine() {
    // One that the round closed itself (the hang-up by DTR) is opened again.
    return m_host.OpenLine(m_plan.m_line);
}

bool CCaptureRound::DialModem(int pictures) {
    BeginStep();
    CCaptureEvent e = StartEvent("dial", 0, m_plan.m_request);
    e.m_nTries = 1;
    CDialResult dial = m_host.Dial(m_plan.m_line.m_sNumber);
    if (dial.m_bDialSent)
        OffHookFrom(dial.m_nDialSentTick);
    if (!dial.Connected() && !Stop()) {
        m_host.Line().Clock().Sleep(kStepWaitMs);
        e.m_nTries = 2;
        dial = m_host.Dial(m_plan.m_line.m_sNumber);
        if (dial.m_bDialSent)
            OffHookFrom(dial.m_nDialSentTick);
    }
    EndEvent(e);
    m_round.m_dDialSeconds = e.m_dSeconds;
    if (dial.Connected())
        return true;
    e.m_sResult = "failed";
    e.m_sMessage = FailureText();
    e.m_sModem = dial.m_sModem;
    if (m_plan.m_bUnattended && !dial.m_sModem.empty())
        ShowMessage(ModemResultText(dial.m_sModem));
    // The dial may have failed after the call was made.
    if (m_plan.m_bUnattended)
        HangUpByLine();
    OnHook();
    Record(e);
    m_out.m_bDialFailed = true;
    m_out.m_nDialCode = dial.m_nCode;
    m_out.m_sModem = dial.m_sModem;
    m_out.m_bStopped = Stop();
    m_out.m_nFailed = pictures;
    return false;
}

void CCaptureRound::Parameters() {
    BeginStep();
    CCaptureEvent e = StartEvent("params", 0, m_plan.m_request);
    const int width = m_plan.m_request.m_nWidth;
    const bool hasSet = width == 180 || width == 360;
    bool ok = false;
    while (e.m_nTries < 3 && !ok && !Stop()) {
        ++e.m_nTries;
        if (hasSet)
            ok = CComPort(m_host.Line()).SetParametersForWidth(width);
        else
            ShowMessage("FehlerP");
        // The module has taken the parameters once it acknowledged them: where nobody
        // watches, the call is not held open for the timer's wait after that.
        if (!ok || !m_plan.m_bUnattended)
            m_host.Line().Clock().Sleep(kStepWaitMs);
    }
    if (ok || Stop())
        return;
    // The pictures go on, taken with whatever window the module had before: said and
    // journalled where nobody watches (the window's tick keeps its own texts).
    EndEvent(e);
    if (m_plan.m_bUnattended && hasSet)
        ShowMessage("FehlerP");
    e.m_sResult = "failed";
    e.m_sMessage = m_host.Line().LineLost() ? CComPort::kLineGoneText : "FehlerP";
    Record(e);
}

void CCaptureRound::Picture(int channel) {
    BeginStep();
    CCaptureEvent e = StartEvent("picture", channel, m_plan.m_request);
    if (m_plan.m_bRegrab) {
        // The timer's way: the channel through the re-grab, fetched whatever it gave.
        for (int pass = 0; pass < 3 && !m_host.RegrabImage(channel, m_plan.m_request.m_nWidth);
             ++pass) {
        }
    } else {
        int result = kChannelNoAnswer;
        int tries = 0;
        // A refusal is the module's answer: asking again would not change it.
        while (tries < m_plan.m_nTries && result == kChannelNoAnswer && !Stop()) {
            ++tries;
            result = CComPort(m_host.Line()).SelectChannelResult(std::to_string(channel));
        }
        if (result == kChannelNoAnswer && Stop())
            return;
        if (result != kChannelSelected && m_plan.m_bUnattended) {
            // A picture of a channel the module did not confirm could show another camera.
            if (result == kChannelNoAnswer)
                ShowMessage("Kanal " + std::to_string(channel) + " nicht gewählt !");
            e.m_nTries = tries;
            EndEvent(e);
            e.m_sResult = result == kChannelRefused ? "refused" : "failed";
            e.m_sMessage = FailureText();
            ++m_out.m_nFailed;
            Record(e);
            return;
        }
    }
    if (Stop())
        return;
    int transfer = -1;
    while (e.m_nTries < m_plan.m_nTries) {
        ++e.m_nTries;
        transfer = m_host.FetchImage(m_plan.m_request).m_nTransfer;
        if (transfer == kTransferComplete || Stop())
            break;
        m_host.Line().Clock().Sleep(kStepWaitMs);
    }
    EndEvent(e);
    if (transfer != kTransferComplete && Stop()) {
        // Broken off on request: recorded, but no failure of the module's.
        ShowStatus(kBrokenOff);
        e.m_sResult = "stopped";
        e.m_sMessage = kBrokenOff;
        Record(e);
        return;
    }
    Keep(e, transfer);
}

void CCaptureRound::HangUp() {
    BeginStep();
    CCaptureEvent e = StartEvent("hangup", 0, m_plan.m_request);
    for (int pass = 0; pass < 3; ++pass) {
        ++e.m_nTries;
        if (CComPort(m_host.Line()).EndConnection() == kHangUpConfirmed) {
            OnHook();
            ShowStatus("Verbindung getrennt !");
            return;
        }
        ShowStatus("Auflegen nicht möglich !");
        m_host.Line().Clock().Sleep(kStepWaitMs);
    }
    EndEvent(e);
    m_out.m_bHangupFailed = true;
    e.m_sResult = "failed";
    e.m_sMessage = FailureText();
    // Without the line there is nothing left to hang up by.
    if (m_plan.m_bUnattended && !m_host.Line().LineLost())
        e.m_sMessage += " " + HangUpByLine();
    // Unconfirmed, the call may go on: counted up to here all the same.
    OnHook();
    Record(e);
}

void CCaptureRound::OffHookFrom(uint32_t tick) {
    if (m_bOffHook)
        return;
    m_bOffHook = true;
    m_nOffHookTick = tick;
}

void CCaptureRound::OnHook() {
    if (!m_bOffHook)
        return;
    m_bOffHook = false;
    m_round.m_dOffHookSeconds =
        static_cast<uint32_t>(m_host.Line().Clock().GetTickCount() - m_nOffHookTick) / 1000.0;
}

void CCaptureRound::EndRound() {
    OnHook();
    m_round.m_nPicturesOk = m_out.m_nSaved;
    m_round.m_nPicturesFailed = m_out.m_nFailed;
    m_round.m_nBytes = m_host.Line().BytesReceived() - m_nRoundBytes;
    if (m_out.m_bStopped)
        m_round.m_sResult = "stopped";
    else if (m_out.m_nSaved == 0)
        m_round.m_sResult = "failed";
    else if (m_out.m_nFailed > 0 || m_out.m_bSaveFailed || m_out.m_bHangupFailed)
        m_round.m_sResult = "partial";
    else
        m_round.m_sResult = "ok";
    if (m_plan.m_bUnattended && m_round.m_dOffHookSeconds > 0) {
        const QString seconds = QString::number(m_round.m_dOffHookSeconds, 'f', 1);
        ShowStatus("Verbindungsdauer " + QString(seconds).replace(u'.', u',').toStdString() + " s");
    }
    Record(m_round);
}

std::string CCaptureRound::HangUpByLine() {
    CComPort port(m_host.Line());
    const bool dtr = port.PulseDtr(kDtrDropMs);
    // Closing drops DTR as well, where the driver hangs up on close.
    m_host.CloseLine();
    const std::string text = dtr ? "Modem über DTR aufgelegt, Schnittstelle geschlossen !"
                                 : "Schnittstelle geschlossen !";
    ShowStatus(text);
    return text;
}

void CCaptureRound::Keep(CCaptureEvent& e, int transfer) {
    if (transfer != kTransferComplete) {
        ++m_out.m_nFailed;
        e.m_sResult = transfer == kTransferBroken ? "broken" : "failed";
        if (m_plan.m_bUnattended)
            ShowMessage("Kanal " + std::to_string(e.m_iChannel) +
                        ": kein vollständiges Bild empfangen !");
        e.m_sMessage = FailureText();
        Record(e);
        return;
    }
    e.m_sResult = "ok";
    std::string path, error;
    if (m_plan.m_pKeeper != nullptr) {
        // The check tells; the picture is kept and counted whatever it says.
        std::string unread;
        e.m_check = m_plan.m_pKeeper->Check(m_host.Image(), e.m_iChannel, e.m_iMode, unread);
        if (!unread.empty())
            e.m_sMessage = "Vergleich mit früheren Bildern nicht möglich: " + unread;
    }
    if (m_plan.m_pKeeper == nullptr) {
        // Nothing keeps pictures: the image stays in the window until the next fetch.
    } else if (!m_plan.m_pKeeper->Save(m_host.Image(), e.m_iChannel, e.m_time, path, error)) {
        ++m_out.m_nFailed;
        m_out.m_bSaveFailed = true;
        e.m_sResult = "failed";
        e.m_check.reset();  // nothing was kept
        e.m_sMessage = std::string(kSaveFailedText) + " " + error;
        // A message box would wait for somebody; an unattended window goes on.
        if (m_plan.m_bUnattended)
            ShowMessage(e.m_sMessage);
        else
            ShowStatus(kSaveFailedText);
    } else {
        ++m_out.m_nSaved;
        e.m_sFile = path;
        if (!m_plan.m_pKeeper->RefreshLatest(error)) {
            e.m_sMessage = std::string(kSaveFailedText) + " " + error;
            // The picture is kept; what shows it as the newest is not.
            m_out.m_bSaveFailed = true;
            e.m_sResult = "latest_failed";
            ShowMessage(e.m_sMessage);
        }
        if (e.m_check && e.m_check->m_eCheck != EPictureCheck::Ok)
            ShowStatus("Kanal " + std::to_string(e.m_iChannel) + ": Bild " +
                       PictureCheckWord(e.m_check->m_eCheck));
        if (m_plan.m_fnSaved) {
            const std::string said = m_plan.m_fnSaved(path);
            if (!said.empty())
                e.m_sMessage = e.m_sMessage.empty() ? said : e.m_sMessage + " " + said;
        }
    }
    Record(e);
}

template <typename TEvent>
void CCaptureRound::Record(const TEvent& event) {
    std::string error;
    if (m_plan.m_pKeeper == nullptr || m_plan.m_pKeeper->Record(event, error))
        return;
    m_out.m_bRecordFailed = true;
    if (m_plan.m_bUnattended)
        ShowMessage("Journal nicht geschrieben ! " + error);
    else
        ShowStatus(kSaveFailedText);
}

void CCaptureRound::BeginStep() {
    m_pTap->Mark();
    m_nStepTick = m_host.Line().Clock().GetTickCount();
    m_nStepBytes = m_host.Line().BytesReceived();
}

CCaptureEvent CCaptureRound::StartEvent(const char* kind, int channel,
                                        const CFetchRequest& request) const {
    CCaptureEvent e;
    e.m_time = m_plan.m_pKeeper != nullptr ? m_plan.m_pKeeper->Now() : QDateTime::currentDateTime();
    e.m_sEvent = kind;
    e.m_iChannel = channel;
    e.m_nWidth = request.m_nWidth;
    e.m_nHeight = request.m_nHeight;
    e.m_iMode = request.m_iMode;
    e.m_bColour = request.m_bColour;
    return e;
}

void CCaptureRound::EndEvent(CCaptureEvent& event) const {
    event.m_nBytes = m_host.Line().BytesReceived() - m_nStepBytes;
    event.m_dSeconds =
        static_cast<uint32_t>(m_host.Line().Clock().GetTickCount() - m_nStepTick) / 1000.0;
}

std::string CCaptureRound::FailureText() const {
    // The loss of the line when the line went away meanwhile (what follows then fails
    // only because of it), else the text the user saw.
    if (m_host.Line().LineLost())
        return CComPort::kLineGoneText;
    return m_pTap->Shown(true);
}

bool CCaptureRound::Stop() const {
    return m_host.StopRequested();
}

void CCaptureRound::ShowStatus(const std::string& text) {
    m_pTap->SetStatusText(text);
}

void CCaptureRound::ShowMessage(const std::string& text) {
    m_pTap->MessageBox(text);
}
