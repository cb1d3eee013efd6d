#include "link/ComPort.h"

#include <exception>

#include "link/QtSerialLine.h"
#include "link/Trace.h"

std::unique_ptr<CSerialLine> CComPort::s_pLine;
std::unique_ptr<CLineState> CComPort::s_pDcb;
std::unique_ptr<CLineTimeouts> CComPort::s_pTimeouts;
CClock* CComPort::s_pClock = nullptr;
CLineFactory* CComPort::s_pFactory = nullptr;
CPortUi* CComPort::s_pUi = nullptr;
bool CComPort::s_bLineLost = false;
bool CComPort::s_bOpenBusy = false;
bool CComPort::s_bLossPending = false;
uint64_t CComPort::s_nBytesReceived = 0;

namespace {
CSystemClock g_systemClock;
CQtLineFactory g_qtFactory;
}  // namespace

void CComPort::SetClock(CClock* clock) {
    s_pClock = clock;
}
CClock& CComPort::Clock() {
    return s_pClock != nullptr ? *s_pClock : g_systemClock;
}
void CComPort::SetLineFactory(CLineFactory* factory) {
    s_pFactory = factory;
}
CLineFactory* CComPort::LineFactory() {
    return s_pFactory != nullptr ? s_pFactory : &g_qtFactory;
}
void CComPort::SetUi(CPortUi* ui) {
    s_pUi = ui;
}
CPortUi* CComPort::Ui() {
    return s_pUi;
}
bool CComPort::IsOpen() {
    return s_pLine != nullptr;
}
bool CComPort::OpenFoundBusy() {
    return s_bOpenBusy;
}
bool CComPort::LineLost() {
    return s_bLineLost;
}
bool CComPort::TakeLineLoss() {
    const bool pending = s_bLossPending;
    s_bLossPending = false;
    return pending;
}
const CLineState* CComPort::State() {
    return s_pDcb.get();
}
const CLineTimeouts* CComPort::Timeouts() {
    return s_pTimeouts.get();
}

void CComPort::ShowMessage(const std::string& text) {
    PixTrace("Meldung: %s", text.c_str());
    if (s_pUi != nullptr)
        s_pUi->MessageBox(text);
}

void CComPort::ShowStatus(const std::string& text) {
    if (s_pUi != nullptr)
        s_pUi->SetStatusText(text);
}

void CComPort::CheckLine() {
    if (s_pLine == nullptr || !s_pLine->IsGone())
        return;
    PixTrace("line gone, port closed");
    s_pDcb.reset();
    s_pTimeouts.reset();
    s_pLine.reset();
    s_bLineLost = true;
    s_bLossPending = true;
    ShowStatus(kLineGoneText);
}

bool CComPort::Open(uint8_t port) {
    if (port >= 1 && port <= 9)
        return Open(CLineAddress::Port(port));
    const bool wasOpen = s_pLine != nullptr;
    s_pDcb.reset();
    s_pTimeouts.reset();
    s_pLine.reset();
    return wasOpen;
}

bool CComPort::Open(const CLineAddress& address) {
    s_bOpenBusy = false;
    if (!address.CanOpen() || s_pLine != nullptr)
        return false;  // exclusive: the one port is taken
    try {
        std::unique_ptr<CSerialLine> line = LineFactory()->OpenLine(address);
        if (line == nullptr) {
            s_bOpenBusy = LineFactory()->LastOpenBusy();
            return false;
        }
        s_pLine = std::move(line);
        // A loss that nobody has taken yet is over: the port is open again.
        s_bLineLost = false;
        s_bLossPending = false;
        s_pDcb = std::make_unique<CLineState>();
        s_pTimeouts = std::make_unique<CLineTimeouts>();
        const bool state = s_pLine->GetState(*s_pDcb);
        const bool timeouts = s_pLine->GetTimeouts(*s_pTimeouts);
        return state && timeouts;
    } catch (const std::exception&) {  // memory or string failure
        return false;
    }
}

bool CComPort::Setup(uint32_t baud, uint8_t byteSize, uint8_t parity, uint8_t stopCode,
                     uint8_t rts) {
    if (s_pLine == nullptr || s_pDcb == nullptr || s_pTimeouts == nullptr)
        return false;
    CLineState dcb = *s_pDcb;
    dcb.m_nBaudRate = baud;
    dcb.m_bParityCheck = (parity & 1) != 0;
    if (byteSize > 8)
        return false;
    dcb.m_nByteSize = byteSize;
    dcb.m_nParity = parity != 0 ? CLineState::kEvenParity : CLineState::kNoParity;
    switch (stopCode) {
        case 1:
            dcb.m_nStopBits = CLineState::kOneStopBit;
            break;
        case 2:
            dcb.m_nStopBits = CLineState::kOne5StopBits;
            break;
        case 3:
            dcb.m_nStopBits = CLineState::kTwoStopBits;
            break;
        default:
            return false;
    }
    dcb.m_nRtsControl = rts & 3;

    CLineTimeouts timeouts;
    timeouts.m_nReadInterval = 0;
    timeouts.m_nReadMultiplier = 0;
    timeouts.m_nReadConstant = kReadTimeoutMs;
    timeouts.m_nWriteMultiplier = kWriteTimeoutPerByteMs;
    timeouts.m_nWriteConstant = kWriteTimeoutConstantMs;

    const bool stateOk = s_pLine->SetState(dcb);
    if (stateOk)
        *s_pDcb = dcb;
    // The time-outs go in whether or not the driver took the state: without them a read
    // would give up at once and every exchange on the line would fail.
    const bool timeoutsOk = s_pLine->SetTimeouts(timeouts);
    if (timeoutsOk)
        *s_pTimeouts = timeouts;
    if (stateOk && timeoutsOk)
        return true;
    ShowMessage("Fehler setzen !");
    return false;
}

bool CComPort::Write(const void* data, size_t n) {
    size_t written = 0;
    if (s_pLine == nullptr) {
        PixTrace("schreiben_anzahl_F2 = %d", 0);
        return false;
    }
    const bool ok = s_pLine->Write(static_cast<const uint8_t*>(data), n, written);
    CheckLine();
    if (!ok) {
        PixTrace("schreiben_anzahl_F2 = %d", static_cast<int>(written));
        return false;
    }
    if (written != n) {
        PixTrace("schreiben_anzahl_F1 = %d", static_cast<int>(written));
        return false;
    }
    PixTrace("schreiben_anzahl_OK = %d", static_cast<int>(written));
    return true;
}

bool CComPort::Read(void* buf, size_t n) {
    size_t received = 0;
    auto* bytes = static_cast<uint8_t*>(buf);
    const bool ok = s_pLine != nullptr && s_pLine->Read(bytes, n, received);
    CheckLine();
    s_nBytesReceived += received;
    if (!ok) {
        PixTrace("lesen_anzahl_F2 = %d", static_cast<int>(received));
        return false;
    }
    if (received != n) {
        PixTrace("lesen_anzahl_F1 = %d", static_cast<int>(received));
        PixTrace("lesen_inhalt = %.*s", static_cast<int>(received),
                 reinterpret_cast<const char*>(bytes));
        return false;
    }
    bytes[n] = 0;
    PixTrace("lesen_anzahl_E = %d", static_cast<int>(received));
    return true;
}

bool CComPort::PurgeRx() {
    const bool ok = s_pLine != nullptr && s_pLine->PurgeRx();
    CheckLine();
    return ok;
}

bool CComPort::PurgeTx() {
    const bool ok = s_pLine != nullptr && s_pLine->PurgeTx();
    CheckLine();
    return ok;
}

bool CComPort::Wait(uint32_t ms) {
    CClock& clock = Clock();
    const uint32_t start = clock.GetTickCount();
    while (static_cast<uint32_t>(clock.GetTickCount() - start) <= ms)
        clock.Spin();
    return true;
}

bool CComPort::WaitPurgeRx(uint32_t ms) {
    Wait(ms);
    PurgeRx();
    return true;
}

bool CComPort::PulseDtr(uint32_t ms) {
    if (s_pLine == nullptr || !s_pLine->SetDataTerminalReady(false))
        return false;
    Clock().Sleep(ms);
    return s_pLine->SetDataTerminalReady(true);
}

bool CComPort::WaitPurgeAll(uint32_t ms) {
    Wait(ms);
    if (!PurgeRx())
        return false;
    return PurgeTx();
}
