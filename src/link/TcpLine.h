#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "link/Clock.h"
#include "link/NetAddress.h"
#include "link/NetStream.h"
#include "link/SerialLine.h"

// Why a line over the network did not open.
struct CNetOpenResult {
    // The server took the connection and dropped it at once, as a server that serves one
    // client at a time does with a second one.
    bool m_bBusy = false;
    // In German, naming the address ("Verbindung zu 10.1.2.3:4001 abgelehnt").
    std::string m_sProblem;
};

// A line over the network with the bytes as they are: the device server's TCP port passes
// them to and from its serial line, whose settings are the server's own. The time-outs are
// those of a serial line, measured on the clock of the line's session; a connection that
// ends is a line that went away.
class CTcpLine : public CSerialLine {
  public:
    // The clock of the session the line belongs to, asked at every wait.
    using ClockSource = std::function<CClock&()>;
    // Longest wait for a line to open: the name's lookup, the connection and the server's
    // first answers.
    static constexpr uint32_t kConnectMs = 10000;
    // How long a new connection is watched for the server dropping it at once.
    static constexpr uint32_t kSettleMs = 250;
    // What a server still holds from the serial line when a connection begins (the rest
    // of a picture whose client went away) comes at its start: it is taken and dropped
    // until the server has been quiet this long, or for kDrainMs at most.
    static constexpr uint32_t kQuietMs = 50;
    static constexpr uint32_t kDrainMs = 1000;

    ~CTcpLine() override;
    // Connects; null, with the reason in result, when the line cannot be had.
    static std::unique_ptr<CTcpLine> Open(const CNetAddress& address, CNetConnector& connector,
                                          const ClockSource& clock, CNetOpenResult& result);

    bool GetState(CLineState& state) override;
    // Kept as asked; the server's settings stay as they are.
    bool SetState(const CLineState& state) override;
    bool GetTimeouts(CLineTimeouts& timeouts) override;
    bool SetTimeouts(const CLineTimeouts& timeouts) override;
    bool Write(const uint8_t* data, size_t n, size_t& written) override;
    bool Read(uint8_t* buf, size_t n, size_t& received) override;
    // Drops what has arrived and not been read.
    bool PurgeRx() override;
    bool PurgeTx() override;
    bool IsGone() const override { return m_bGone; }
    std::string LossText() const override;

    const CNetAddress& Address() const { return m_address; }

  protected:
    CTcpLine(const CNetAddress& address, std::unique_ptr<CNetStream> stream, ClockSource clock);

    // Connects within kConnectMs; null, with the reason in result, when it cannot.
    static std::unique_ptr<CNetStream> Connect(const CNetAddress& address, CNetConnector& connector,
                                               CNetOpenResult& result);
    // The data as they go on the wire, appended to wire.
    virtual void Outgoing(const uint8_t* data, size_t n, std::string& wire);
    // Bytes as they came off the wire; the data among them go to m_sRx.
    virtual void Incoming(const std::string& bytes);

    // Waits up to ms for bytes and takes them in; kClosed once the connection has ended,
    // and the line is gone from then on.
    ENetWait Pump(uint32_t ms);
    // Sends bytes as they are, within ms; false, and the line gone, when the connection
    // broke or they could not all leave in time (the rest would follow later, out of turn).
    bool SendWire(const std::string& wire, uint32_t ms);
    // Watches the connection for ms for the server dropping it; false when it did.
    bool Settle(uint32_t ms);
    // The server dropped the new connection: busy, with whatever it said before.
    void Dropped(CNetOpenResult& result) const;
    // Drops the data that came before the line was ready: a banner of the server, nothing
    // of the module's.
    void DropEarlyData();
    // Drops what comes until the server has been quiet for kQuietMs; false when the
    // connection ended meanwhile.
    bool DrainStale();
    // Drops what has arrived and not been read, also what the connection holds by now.
    void DropInput();
    // The connection has ended.
    void Lose(const char* why);

    uint32_t Now() { return m_clock().GetTickCount(); }
    // Milliseconds from now to the tick; 0 once it has passed.
    uint32_t Left(uint32_t deadline);
    // The read and write time-outs of n bytes.
    uint32_t ReadLimit(size_t n) const;
    uint32_t WriteLimit(size_t n) const;
    size_t Unread() const { return m_sRx.size() - m_nRxPos; }

    CNetAddress m_address;
    std::unique_ptr<CNetStream> m_pStream;
    ClockSource m_clock;
    std::string m_sRx;  // data received, from m_nRxPos on not yet read
    size_t m_nRxPos = 0;
    bool m_bGone = false;
    CLineState m_state;
    CLineTimeouts m_timeouts;

  private:
    bool m_bSettingsTraced = false;
};
