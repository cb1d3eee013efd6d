#include "support/FakeNet.h"

#include <algorithm>

void CFakeNetServer::SayAtUs(const std::string& bytes, uint64_t atUs) {
    if (!m_pieces.empty())
        atUs = std::max(atUs, m_pieces.back().m_nAtUs);
    m_pieces.push_back({atUs, bytes});
}

void CFakeNetServer::Say(const std::string& bytes, uint32_t delayMs) {
    SayAtUs(bytes, m_clock.NowUs() + uint64_t{delayMs} * 1000);
}

void CFakeNetServer::CloseIn(uint32_t delayMs) {
    m_closeAtUs = m_clock.NowUs() + uint64_t{delayMs} * 1000;
}

// One connection to a fake server, in virtual time: a wait that nothing ends moves the
// clock on by its whole length.
class CFakeNetStream : public CNetStream {
  public:
    CFakeNetStream(CVirtualClock& clock, std::shared_ptr<CFakeNetServer> server)
        : m_clock(clock), m_pServer(std::move(server)) {}
    ~CFakeNetStream() override { m_pServer->m_bHostClosed = true; }

    bool Send(const char* data, size_t n, uint32_t, size_t& sent) override {
        sent = 0;
        if (m_pServer->Closed())
            return false;
        const std::string bytes(data, n);
        m_pServer->m_sReceived += bytes;
        sent = n;
        if (m_pServer->m_onHost)
            m_pServer->m_onHost(bytes);
        return true;
    }

    ENetWait Receive(std::string& into, uint32_t ms) override {
        const uint64_t limit = m_clock.NowUs() + uint64_t{ms} * 1000;
        std::deque<CFakeNetServer::CPiece>& pieces = m_pServer->m_pieces;
        const std::optional<uint64_t>& closeAt = m_pServer->m_closeAtUs;
        uint64_t next = limit;
        if (!pieces.empty())
            next = std::min(next, pieces.front().m_nAtUs);
        if (closeAt)
            next = std::min(next, *closeAt);
        m_clock.AdvanceToUs(next);
        const uint64_t now = m_clock.NowUs();
        bool got = false;
        while (!pieces.empty() && pieces.front().m_nAtUs <= now &&
               (!closeAt || pieces.front().m_nAtUs <= *closeAt)) {
            into += pieces.front().m_sBytes;
            pieces.pop_front();
            got = true;
        }
        if (got)
            return ENetWait::kData;
        if (closeAt && *closeAt <= now)
            return ENetWait::kClosed;
        return ENetWait::kQuiet;
    }

  private:
    CVirtualClock& m_clock;
    std::shared_ptr<CFakeNetServer> m_pServer;
};

std::unique_ptr<CNetStream> CFakeNetConnector::Connect(const CNetAddress& address, uint32_t ms,
                                                       ENetRefusal& why, std::string& detail) {
    m_sLastHost = address.m_sHost;
    m_nLastPort = address.m_nPort;
    detail = "fake";
    switch (m_eMode) {
        case EMode::kRefuse:
            why = ENetRefusal::kRefused;
            return nullptr;
        case EMode::kUnknownHost:
            why = ENetRefusal::kUnknownHost;
            return nullptr;
        case EMode::kSilent:
            m_clock.AdvanceUs(uint64_t{ms} * 1000);
            why = ENetRefusal::kTimedOut;
            return nullptr;
        case EMode::kAccept:
            break;
    }
    why = ENetRefusal::kNone;
    ++m_nConnections;
    m_pServer = std::make_shared<CFakeNetServer>(m_clock);
    if (m_setUpServer)
        m_setUpServer(*m_pServer);
    return std::make_unique<CFakeNetStream>(m_clock, m_pServer);
}
