#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "link/NetAddress.h"
#include "link/NetStream.h"
#include "support/VirtualClock.h"

// The far end of one connection in virtual time. What the host sends reaches it at once
// (OnHost is told); what it says arrives at the host at its virtual time; it may end the
// connection at a given time.
class CFakeNetServer {
  public:
    explicit CFakeNetServer(CVirtualClock& clock) : m_clock(clock) {}

    // Called with every piece the host sends, as it was sent.
    std::function<void(const std::string& bytes)> m_onHost;

    // Bytes that arrive at the host delayMs from now (after everything said before).
    void Say(const std::string& bytes, uint32_t delayMs = 0);
    void SayAtUs(const std::string& bytes, uint64_t atUs);
    // The connection ends delayMs from now, after what was said before that time.
    void CloseIn(uint32_t delayMs = 0);

    // Everything the host sent, as it went on the wire.
    const std::string& Received() const { return m_sReceived; }
    bool Closed() const { return m_closeAtUs && *m_closeAtUs <= m_clock.NowUs(); }
    // Whether the host closed its end.
    bool HostClosed() const { return m_bHostClosed; }

  private:
    friend class CFakeNetStream;
    struct CPiece {
        uint64_t m_nAtUs;
        std::string m_sBytes;
    };
    CVirtualClock& m_clock;
    std::deque<CPiece> m_pieces;  // in time order
    std::optional<uint64_t> m_closeAtUs;
    std::string m_sReceived;
    bool m_bHostClosed = false;
};

// Hands out connections to one server at a time, in virtual time: accepted by the server
// set for the next connection, or refused, unanswered, or not found as set.
class CFakeNetConnector : public CNetConnector {
  public:
    explicit CFakeNetConnector(CVirtualClock& clock) : m_clock(clock) {}

    // How the next connections go: to a fresh server made by m_makeServer (accepted), or
    // refused at once, or a name that is not found, or no answer until the time given.
    enum class EMode { kAccept, kRefuse, kUnknownHost, kSilent };
    EMode m_eMode = EMode::kAccept;
    // Makes the server of each accepted connection; it lives until the next one.
    std::function<void(CFakeNetServer&)> m_setUpServer;

    std::unique_ptr<CNetStream> Connect(const CNetAddress& address, uint32_t ms, ENetRefusal& why,
                                        std::string& detail) override;

    // The server of the last accepted connection (null before one).
    CFakeNetServer* Server() const { return m_pServer.get(); }
    int Connections() const { return m_nConnections; }
    std::string m_sLastHost;
    uint16_t m_nLastPort = 0;

  private:
    CVirtualClock& m_clock;
    std::shared_ptr<CFakeNetServer> m_pServer;
    int m_nConnections = 0;
};
