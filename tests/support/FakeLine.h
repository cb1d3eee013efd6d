#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "link/SerialLine.h"
#include "sim/SimPeer.h"
#include "support/VirtualClock.h"

// A serial line in virtual time. What the host writes goes to the peer at once; what the
// peer answers arrives at its scheduled virtual time. A read that cannot be completed
// moves the clock to the end of its time-out and returns what had arrived by then.
class CFakeLine : public CSerialLine {
  public:
    struct CWrite {
        uint64_t m_nAtUs;
        std::string m_sBytes;
    };

    CFakeLine(CVirtualClock& clock, CSimPeer* peer) : m_clock(clock), m_pPeer(peer) {}

    bool GetState(CLineState& state) override;
    bool SetState(const CLineState& state) override;
    bool GetTimeouts(CLineTimeouts& timeouts) override;
    bool SetTimeouts(const CLineTimeouts& timeouts) override;
    bool Write(const uint8_t* data, size_t n, size_t& written) override;
    bool Read(uint8_t* buf, size_t n, size_t& received) override;
    bool PurgeRx() override;
    bool PurgeTx() override;
    bool IsGone() const override { return m_bGone; }
    // Tells the peer; every change is recorded in m_dtr.
    bool SetDataTerminalReady(bool on) override;

    // Bytes that arrive from the far end at a given virtual time (in addition to the peer).
    void Inject(const std::string& bytes, uint64_t atUs);
    void InjectNow(const std::string& bytes) { Inject(bytes, m_clock.NowUs()); }

    // Everything the host wrote, one entry per write.
    const std::vector<CWrite>& Writes() const { return m_writes; }
    // Everything the host wrote, concatenated.
    std::string Written() const;
    size_t PendingInput() const { return m_rx.size(); }
    int RxPurges() const { return m_nRxPurges; }
    int TxPurges() const { return m_nTxPurges; }
    std::vector<uint64_t> RxPurgeTimesUs() const { return m_rxPurgeTimes; }

    // Faults of the line itself.
    bool m_bFailGetState = false;
    bool m_bFailSetState = false;
    bool m_bFailSetTimeouts = false;
    bool m_bFailWrite = false;
    size_t m_nWriteLimit = SIZE_MAX;  // a write sends at most this many bytes
    bool m_bGone = false;             // the device went away: every call fails at once

    CLineState m_state;
    CLineTimeouts m_timeouts;
    std::vector<bool> m_dtr;

  private:
    void Schedule(const std::vector<CTimedByte>& bytes);

    CVirtualClock& m_clock;
    CSimPeer* m_pPeer;
    std::deque<CTimedByte> m_rx;  // kept in time order
    std::vector<CWrite> m_writes;
    int m_nRxPurges = 0;
    int m_nTxPurges = 0;
    std::vector<uint64_t> m_rxPurgeTimes;
};

// Hands out fake lines by port number; a port can be open only once at a time. A device
// given for a port, or in place of one, is none of them unless it was attached by name.
class CFakeLineFactory : public CLineFactory {
  public:
    explicit CFakeLineFactory(CVirtualClock& clock) : m_clock(clock) {}
    // Makes port n available, answered by peer (which may be null: a silent line).
    void Attach(int port, CSimPeer* peer) { m_peers[port] = peer; }
    // Makes the device of that name available, given for a port or in place of one.
    void AttachDevice(const std::string& device, CSimPeer* peer);
    // The device of port n goes away: its open line is gone, and it cannot be opened
    // until it is attached again.
    void Unplug(int port);
    std::unique_ptr<CSerialLine> OpenLine(const CLineAddress& address) override;
    // The line most recently opened (valid while the port keeps it open).
    CFakeLine* Last() const { return m_pLast; }
    // How many of its lines are open now.
    size_t OpenLines() const { return m_open.size(); }
    std::vector<int> m_opened;  // port numbers in order of successful opens
    bool m_bFailNextGetState = false;
    bool m_bFailNextSetState = false;  // the next line opened refuses every line state

  private:
    class COwnedLine;
    CVirtualClock& m_clock;
    std::map<int, CSimPeer*> m_peers;  // by port number; a named device below 0
    std::map<std::string, int> m_devices;
    std::map<int, CFakeLine*> m_open;  // the open line of each port
    CFakeLine* m_pLast = nullptr;
};
