#include "link/ComPort.h"

#include <exception>

#include "link/Trace.h"

void CComPort::ShowMessage(const std::string& text) {
    PixTrace("Meldung: %s", text.c_str());
    if (CPortUi* ui = m_line.Ui(); ui != nullptr)
        ui->MessageBox(text);
}

void CComPort::ShowStatus(const std::string& text) {
    if (CPortUi* ui = m_line.Ui(); ui != nullptr)
        ui->SetStatusText(text);
}

void CComPort::CheckLine() {
    if (m_line.m_pLine == nullptr || !m_line.m_pLine->IsGone())
        return;
    PixTrace("line gone, port closed");
    const std::string why = m_line.m_pLine->LossText();
    m_line.Close();
    m_line.m_bLineLost = true;
    m_line.m_bLossPending = true;
    if (!why.empty())
        ShowStatus(why);
    ShowStatus(kLineGoneText);
}

bool CComPort::Open(uint8_t port) {
    if (port >= 1 && port <= 9)
        return Open(CLineAddress::Port(port));
    return m_line.Close();
}

bool CComPort::Open(const CLineAddress& address) {
    m_line.m_bOpenBusy = false;
    m_line.m_sOpenProblem.clear();
    if (!address.CanOpen() || m_line.m_pLine != nullptr)
        return false;  // exclusive: the session's line is taken
    try {
        CLineFactory& factory = m_line.LineFactory();
        std::unique_ptr<CSerialLine> line = factory.OpenLine(address);
        if (line == nullptr) {
            m_line.m_bOpenBusy = factory.LastOpenBusy();
            m_line.m_sOpenProblem = factory.LastOpenProblem();
            return false;
        }
        m_line.m_pLine = std::move(line);
        // A loss that nobody has taken yet is over: the port is open again.
        m_line.m_bLineLost = false;
        m_line.m_bLossPending = false;
        const bool state = m_line.m_pLine->GetState(m_line.m_state.emplace());
        const bool timeouts = m_line.m_pLine->GetTimeouts(m_line.m_timeouts.emplace());
        return state && timeouts;
    } catch (const std::exception&) {  // memory or string failure
        return false;
    }
}

bool CComPort::Setup(uint32_t baud, uint8_t byteSize, uint8_t parity, uint8_t stopCode,
                     uint8_t rts) {
    if (m_line.m_pLine == nullptr || !m_line.m_state || !m_line.m_timeouts)
        return false;
    CLineState dcb = *m_line.m_state;
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

    CSerialLine& line = *m_line.m_pLine;
    const bool stateOk = line.SetState(dcb);
    if (stateOk)
        *m_line.m_state = dcb;
    // The time-outs go in whether or not the driver took the state: without them a read
    // would give up at once and every exchange on the line would fail.
    const bool timeoutsOk = line.SetTimeouts(timeouts);
    if (timeoutsOk)
        *m_line.m_timeouts = timeouts;
    if (stateOk && timeoutsOk)
        return true;
    ShowMessage("Fehler setzen !");
    return false;
}

bool CComPort::Write(const void* data, size_t n) {
    size_t written = 0;
    if (m_line.m_pLine == nullptr) {
        PixTrace("schreiben_anzahl_F2 = %d", 0);
        return false;
    }
    const bool ok = m_line.m_pLine->Write(static_cast<const uint8_t*>(data), n, written);
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
    const bool ok = m_line.m_pLine != nullptr && m_line.m_pLine->Read(bytes, n, received);
    CheckLine();
    m_line.m_nBytesReceived += received;
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
    const bool ok = m_line.m_pLine != nullptr && m_line.m_pLine->PurgeRx();
    CheckLine();
    return ok;
}

bool CComPort::PurgeTx() {
    const bool ok = m_line.m_pLine != nullptr && m_line.m_pLine->PurgeTx();
    CheckLine();
    return ok;
}

bool CComPort::Wait(uint32_t ms) {
    CClock& clock = m_line.Clock();
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
    if (m_line.m_pLine == nullptr || !m_line.m_pLine->SetDataTerminalReady(false))
        return false;
    m_line.Clock().Sleep(ms);
    return m_line.m_pLine->SetDataTerminalReady(true);
}

bool CComPort::WaitPurgeAll(uint32_t ms) {
    Wait(ms);
    if (!PurgeRx())
        return false;
    return PurgeTx();
}
