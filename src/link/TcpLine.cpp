#include "link/TcpLine.h"

#include <algorithm>
#include <cstring>

#include "link/PrintableText.h"
#include "link/Trace.h"

namespace {

// Longest text of the server's quoted in a message.
constexpr size_t kMaxQuoted = 80;
// Waits that take what is there without waiting, at most this many in a row.
constexpr int kMaxDrains = 64;
// Data read beyond this are given back to the heap before the buffer grows further.
constexpr size_t kCompactAt = 64 * 1024;

uint32_t Clamped(uint64_t ms) {
    return static_cast<uint32_t>(std::min<uint64_t>(ms, INT32_MAX));
}

std::string RefusalText(const CNetAddress& address, ENetRefusal why) {
    const std::string to = "Verbindung zu " + address.HostPort();
    switch (why) {
        case ENetRefusal::kRefused:
            return to + " abgelehnt";
        case ENetRefusal::kUnknownHost:
            return to + ": Rechner " + PrintableText(address.m_sHost) + " nicht gefunden";
        case ENetRefusal::kTimedOut:
            return to + ": keine Antwort in " + std::to_string(CTcpLine::kConnectMs / 1000) + " s";
        case ENetRefusal::kUnreachable:
            return to + ": Netz nicht erreichbar";
        case ENetRefusal::kNone:
        case ENetRefusal::kOther:
            break;
    }
    return to + " nicht möglich";
}

}  // namespace

CTcpLine::CTcpLine(const CNetAddress& address, std::unique_ptr<CNetStream> stream,
                   ClockSource clock)
    : m_address(address), m_pStream(std::move(stream)), m_clock(std::move(clock)) {}

CTcpLine::~CTcpLine() = default;

std::unique_ptr<CNetStream> CTcpLine::Connect(const CNetAddress& address, CNetConnector& connector,
                                              CNetOpenResult& result) {
    ENetRefusal why = ENetRefusal::kNone;
    std::string detail;
    std::unique_ptr<CNetStream> stream = connector.Connect(address, kConnectMs, why, detail);
    if (stream == nullptr) {
        result.m_sProblem = RefusalText(address, why);
        PixTrace("connect %s: %s", address.HostPort().c_str(), detail.c_str());
    }
    return stream;
}

std::unique_ptr<CTcpLine> CTcpLine::Open(const CNetAddress& address, CNetConnector& connector,
                                         const ClockSource& clock, CNetOpenResult& result) {
    const uint32_t start = clock().GetTickCount();
    std::unique_ptr<CNetStream> stream = Connect(address, connector, result);
    if (stream == nullptr)
        return nullptr;
    std::unique_ptr<CTcpLine> line(new CTcpLine(address, std::move(stream), clock));
    if (!line->Settle(std::min(kSettleMs, line->Left(start + kConnectMs)))) {
        line->Dropped(result);
        return nullptr;
    }
    if (!line->DrainStale()) {
        line->Dropped(result);
        return nullptr;
    }
    return line;
}

uint32_t CTcpLine::Left(uint32_t deadline) {
    const auto left = static_cast<int32_t>(deadline - Now());
    return left > 0 ? static_cast<uint32_t>(left) : 0;
}

uint32_t CTcpLine::ReadLimit(size_t n) const {
    return Clamped(uint64_t{m_timeouts.m_nReadConstant} +
                   uint64_t{m_timeouts.m_nReadMultiplier} * n);
}

uint32_t CTcpLine::WriteLimit(size_t n) const {
    return Clamped(uint64_t{m_timeouts.m_nWriteConstant} +
                   uint64_t{m_timeouts.m_nWriteMultiplier} * n);
}

void CTcpLine::Lose(const char* why) {
    if (m_bGone)
        return;
    m_bGone = true;
    PixTrace("line %s gone: %s", m_address.HostPort().c_str(), why);
    // The connection's descriptor is given back at once; what was received stays readable.
    m_pStream.reset();
}

ENetWait CTcpLine::Pump(uint32_t ms) {
    if (m_bGone)
        return ENetWait::kClosed;
    std::string bytes;
    const ENetWait got = m_pStream->Receive(bytes, ms);
    if (!bytes.empty())
        Incoming(bytes);
    if (got == ENetWait::kClosed)
        Lose("closed by the far end");
    return got;
}

bool CTcpLine::SendWire(const std::string& wire, uint32_t ms) {
    if (m_bGone)
        return false;
    size_t sent = 0;
    if (!m_pStream->Send(wire.data(), wire.size(), ms, sent)) {
        Lose("send failed");
        return false;
    }
    if (sent != wire.size()) {
        Lose("send stalled");
        return false;
    }
    return true;
}

bool CTcpLine::Settle(uint32_t ms) {
    const uint32_t deadline = Now() + ms;
    while (!m_bGone) {
        const uint32_t left = Left(deadline);
        if (left == 0 || Pump(left) == ENetWait::kQuiet)
            break;
    }
    return !m_bGone;
}

void CTcpLine::Dropped(CNetOpenResult& result) const {
    result.m_bBusy = true;
    result.m_sProblem = "Verbindung zu " + m_address.HostPort() + " von der Gegenstelle getrennt";
    // Its first line, if it said anything.
    std::string said = m_sRx.substr(m_nRxPos, kMaxQuoted);
    said = said.substr(0, said.find_first_of("\r\n"));
    while (!said.empty() && static_cast<unsigned char>(said.back()) <= ' ')
        said.pop_back();
    if (!said.empty())
        result.m_sProblem += ": " + PrintableText(said);
}

bool CTcpLine::DrainStale() {
    const uint32_t deadline = Now() + kDrainMs;
    while (!m_bGone) {
        const uint32_t left = Left(deadline);
        if (left == 0 || Pump(std::min(kQuietMs, left)) == ENetWait::kQuiet)
            break;
    }
    DropEarlyData();
    return !m_bGone;
}

void CTcpLine::DropEarlyData() {
    if (Unread() > 0)
        PixTrace("%s: dropped before use: %s", m_address.HostPort().c_str(),
                 PrintableText(m_sRx.substr(m_nRxPos, kMaxQuoted)).c_str());
    m_sRx.clear();
    m_nRxPos = 0;
}

void CTcpLine::DropInput() {
    for (int i = 0; i < kMaxDrains && Pump(0) == ENetWait::kData; ++i) {
    }
    m_sRx.clear();
    m_nRxPos = 0;
}

void CTcpLine::Outgoing(const uint8_t* data, size_t n, std::string& wire) {
    wire.append(reinterpret_cast<const char*>(data), n);
}

void CTcpLine::Incoming(const std::string& bytes) {
    m_sRx += bytes;
}

bool CTcpLine::GetState(CLineState& state) {
    state = m_state;
    return true;
}

bool CTcpLine::SetState(const CLineState& state) {
    m_state = state;
    if (!m_bSettingsTraced) {
        m_bSettingsTraced = true;
        PixTrace("%s: plain connection, the line settings are the device server's own",
                 m_address.HostPort().c_str());
    }
    return true;
}

bool CTcpLine::GetTimeouts(CLineTimeouts& timeouts) {
    timeouts = m_timeouts;
    return true;
}

bool CTcpLine::SetTimeouts(const CLineTimeouts& timeouts) {
    m_timeouts = timeouts;
    return true;
}

bool CTcpLine::Write(const uint8_t* data, size_t n, size_t& written) {
    written = 0;
    if (m_bGone)
        return false;
    std::string wire;
    Outgoing(data, n, wire);
    if (!SendWire(wire, WriteLimit(n)))
        return false;
    written = n;
    return true;
}

bool CTcpLine::Read(uint8_t* buf, size_t n, size_t& received) {
    received = 0;
    const uint32_t deadline = Now() + ReadLimit(n);
    for (;;) {
        const size_t take = std::min(n - received, Unread());
        if (take > 0)
            std::memcpy(buf + received, m_sRx.data() + m_nRxPos, take);
        m_nRxPos += take;
        received += take;
        if (m_nRxPos == m_sRx.size()) {
            m_sRx.clear();
            m_nRxPos = 0;
        } else if (m_nRxPos >= kCompactAt) {
            m_sRx.erase(0, m_nRxPos);
            m_nRxPos = 0;
        }
        if (received == n)
            return true;
        if (m_bGone)
            return false;
        const uint32_t left = Left(deadline);
        // Nothing more within the time-out: the read gives up with what it has, as a
        // serial line's does.
        if (left == 0 || Pump(left) == ENetWait::kQuiet)
            return true;
    }
}

bool CTcpLine::PurgeRx() {
    if (m_bGone)
        return false;
    DropInput();
    return !m_bGone;
}

bool CTcpLine::PurgeTx() {
    // Everything written has left: nothing waits here to be dropped.
    return !m_bGone;
}

std::string CTcpLine::LossText() const {
    return "Verbindung zu " + m_address.HostPort() + " unterbrochen";
}
