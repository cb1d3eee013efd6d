#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "link/Clock.h"
#include "link/PortUi.h"
#include "link/SerialLine.h"

// One line and everything that belongs to it while it is in use: the open back end, the
// state and time-outs Setup applied, the clock its waits run on, where it is opened, where
// its messages go, and what became of it (a loss, a refusal because another process holds
// it, the bytes it brought). CComPort objects talk to the line through the session they
// are made on; a process may hold as many sessions as it has lines.
//
// A session belongs to the thread that uses it: its back end blocks the calling thread and
// is made there.
class CLineSession {
  public:
    CLineSession();
    ~CLineSession();
    CLineSession(const CLineSession&) = delete;
    CLineSession& operator=(const CLineSession&) = delete;

    // The clock of every wait and time-out on this line; the session's own system clock
    // unless one is set (null: back to that).
    void SetClock(CClock* clock) { m_pClock = clock; }
    CClock& Clock() { return m_pClock != nullptr ? *m_pClock : m_systemClock; }
    // Where Open finds the line at an address; the system's back ends unless one is set
    // (null: back to that): the serial port, or a device server over the network.
    void SetLineFactory(CLineFactory* factory) { m_pFactory = factory; }
    CLineFactory& LineFactory() { return m_pFactory != nullptr ? *m_pFactory : *m_pOwnFactory; }
    // Where the port's messages go; without one they are only traced.
    void SetUi(CPortUi* ui) { m_pUi = ui; }
    CPortUi* Ui() const { return m_pUi; }

    bool IsOpen() const { return m_pLine != nullptr; }
    // Whether the last open failed because another process holds the line (Pixlane or
    // any other program).
    bool OpenFoundBusy() const { return m_bOpenBusy; }
    // Why the last open failed, in German and naming the line, where the back end said
    // ("Verbindung zu 10.1.2.3:4001 abgelehnt"); empty otherwise.
    const std::string& OpenProblem() const { return m_sOpenProblem; }
    // The carrier detect line of the open line, where its far end tells it.
    std::optional<bool> CarrierDetect() const {
        return m_pLine != nullptr ? m_pLine->CarrierDetect() : std::nullopt;
    }
    // True while the line is closed because it went away (an adapter unplugged, the far
    // end closed); the next successful open ends it.
    bool LineLost() const { return m_bLineLost; }
    // True once for each loss of the line: whoever looks after the port-open flag takes it.
    bool TakeLineLoss();
    // Bytes read from this line since the session began, whichever device it was on.
    uint64_t BytesReceived() const { return m_nBytesReceived; }
    // The state and time-outs last applied by Setup (null while the line is closed).
    const CLineState* State() const { return m_state ? &*m_state : nullptr; }
    const CLineTimeouts* Timeouts() const { return m_timeouts ? &*m_timeouts : nullptr; }

  private:
    // The port's operations work on the session's members.
    friend class CComPort;

    // Closes the line and forgets what was applied to it; true when it was open.
    bool Close();

    std::unique_ptr<CSerialLine> m_pLine;
    std::optional<CLineState> m_state;
    std::optional<CLineTimeouts> m_timeouts;
    CSystemClock m_systemClock;
    CClock* m_pClock = nullptr;
    std::unique_ptr<CLineFactory> m_pOwnFactory;
    CLineFactory* m_pFactory = nullptr;
    CPortUi* m_pUi = nullptr;
    bool m_bLineLost = false;
    bool m_bOpenBusy = false;
    std::string m_sOpenProblem;
    bool m_bLossPending = false;
    uint64_t m_nBytesReceived = 0;
};
