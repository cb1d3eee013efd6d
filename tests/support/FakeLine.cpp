#include "support/FakeLine.h"

#include <algorithm>

bool CFakeLine::GetState(CLineState& state) {
    if (m_bFailGetState)
        return false;
    state = m_state;
    return true;
}

bool CFakeLine::SetState(const CLineState& state) {
    if (m_bFailSetState)
        return false;
    m_state = state;
    return true;
}

bool CFakeLine::GetTimeouts(CLineTimeouts& timeouts) {
    timeouts = m_timeouts;
    return true;
}

bool CFakeLine::SetTimeouts(const CLineTimeouts& timeouts) {
    if (m_bFailSetTimeouts)
        return false;
    m_timeouts = timeouts;
    return true;
}

bool CFakeLine::Write(const uint8_t* data, size_t n, size_t& written) {
    written = 0;
    if (m_bFailWrite || m_bGone)
        return false;
    written = std::min(n, m_nWriteLimit);
    m_writes.push_back(
        {m_clock.NowUs(), std::string(reinterpret_cast<const char*>(data), written)});
    if (m_pPeer != nullptr && written > 0) {
        std::vector<CTimedByte> out;
        m_pPeer->OnHostBytes(data, written, m_clock.NowUs(), out);
        Schedule(out);
    }
    return true;
}

bool CFakeLine::Read(uint8_t* buf, size_t n, size_t& received) {
    received = 0;
    if (m_bGone)
        return false;
    const uint64_t timeoutMs =
        uint64_t{m_timeouts.m_nReadConstant} + uint64_t{m_timeouts.m_nReadMultiplier} * n;
    const uint64_t deadline = m_clock.NowUs() + timeoutMs * 1000;
    while (received < n) {
        if (m_rx.empty() || m_rx.front().m_nAtUs > deadline) {
            m_clock.AdvanceToUs(deadline);
            return true;
        }
        m_clock.AdvanceToUs(m_rx.front().m_nAtUs);
        buf[received++] = m_rx.front().m_nByte;
        m_rx.pop_front();
    }
    return true;
}

bool CFakeLine::PurgeRx() {
    if (m_bGone)
        return false;
    const uint64_t now = m_clock.NowUs();
    while (!m_rx.empty() && m_rx.front().m_nAtUs <= now)
        m_rx.pop_front();
    ++m_nRxPurges;
    m_rxPurgeTimes.push_back(now);
    return true;
}

bool CFakeLine::PurgeTx() {
    if (m_bGone)
        return false;
    ++m_nTxPurges;
    return true;
}

bool CFakeLine::SetDataTerminalReady(bool on) {
    m_dtr.push_back(on);
    if (m_pPeer != nullptr) {
        std::vector<CTimedByte> out;
        m_pPeer->OnDataTerminalReady(on, m_clock.NowUs(), out);
        Schedule(out);
    }
    return true;
}

void CFakeLine::Inject(const std::string& bytes, uint64_t atUs) {
    std::vector<CTimedByte> timed;
    for (char c : bytes)
        timed.push_back({atUs, static_cast<uint8_t>(c)});
    Schedule(timed);
}

std::string CFakeLine::Written() const {
    std::string all;
    for (const auto& w : m_writes)
        all += w.m_sBytes;
    return all;
}

void CFakeLine::Schedule(const std::vector<CTimedByte>& bytes) {
    for (const auto& b : bytes) {
        // Keep the queue in time order; bytes with equal times keep their order. Most come
        // after everything queued.
        if (m_rx.empty() || m_rx.back().m_nAtUs <= b.m_nAtUs) {
            m_rx.push_back(b);
            continue;
        }
        auto pos = std::upper_bound(m_rx.begin(), m_rx.end(), b.m_nAtUs,
                                    [](uint64_t t, const CTimedByte& x) { return t < x.m_nAtUs; });
        m_rx.insert(pos, b);
    }
}

// A fake line that frees its port number when the port closes it.
class CFakeLineFactory::COwnedLine : public CFakeLine {
  public:
    COwnedLine(CVirtualClock& clock, CSimPeer* peer, std::map<int, CFakeLine*>& open, int port,
               CFakeLine*& last)
        : CFakeLine(clock, peer), m_open(open), m_nPort(port), m_pLast(last) {}
    ~COwnedLine() override {
        m_open.erase(m_nPort);
        if (m_pLast == this)
            m_pLast = nullptr;
    }

  private:
    std::map<int, CFakeLine*>& m_open;
    int m_nPort;
    CFakeLine*& m_pLast;
};

void CFakeLineFactory::Unplug(int port) {
    m_peers.erase(port);
    if (auto it = m_open.find(port); it != m_open.end())
        it->second->m_bGone = true;
}

void CFakeLineFactory::AttachDevice(const std::string& device, CSimPeer* peer) {
    const auto [it, added] = m_devices.emplace(device, -static_cast<int>(m_devices.size()) - 1);
    m_peers[it->second] = peer;
}

std::unique_ptr<CSerialLine> CFakeLineFactory::OpenLine(const CLineAddress& address) {
    int port = address.PortNumber();
    if (!address.GivenDevice().empty()) {
        const auto device = m_devices.find(address.GivenDevice());
        if (device == m_devices.end())
            return nullptr;
        port = device->second;
    }
    auto it = m_peers.find(port);
    if (it == m_peers.end() || m_open.count(port) != 0)
        return nullptr;
    auto line = std::make_unique<COwnedLine>(m_clock, it->second, m_open, port, m_pLast);
    m_open[port] = line.get();
    line->m_bFailGetState = m_bFailNextGetState;
    line->m_bFailSetState = m_bFailNextSetState;
    m_bFailNextGetState = false;
    m_bFailNextSetState = false;
    m_pLast = line.get();
    m_opened.push_back(port);
    return line;
}
