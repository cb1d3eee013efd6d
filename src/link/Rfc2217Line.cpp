#include "link/Rfc2217Line.h"

#include <algorithm>

#include "link/PrintableText.h"
#include "link/Trace.h"

using namespace telnet;

namespace {

// How long the server's answers to com port commands are awaited when the line has no
// read time-out yet (before its set-up): that of a set-up line.
constexpr uint32_t kDefaultAnswerMs = 3000;

// Which of the lines or functions a SET-CONTROL value is about: answers are matched to the
// commands by it.
int ControlGroup(uint8_t value) {
    if (value <= 3 || (value >= 17 && value <= 19))
        return 1;  // outbound flow control
    if (value <= 6)
        return 2;  // break
    if (value <= 9)
        return 3;  // DTR
    if (value <= 12)
        return 4;  // RTS
    if (value <= 16)
        return 5;  // inbound flow control
    return 0;
}

std::string Byte(uint8_t b) {
    return std::string(1, static_cast<char>(b));
}

std::string BigEndian32(uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
            static_cast<char>(v)};
}

uint32_t FromBigEndian(const std::string& value) {
    uint32_t v = 0;
    for (char c : value)
        v = (v << 8) | static_cast<uint8_t>(c);
    return v;
}

std::string ValueText(uint8_t command, const std::string& value) {
    if (command == kSetBaudRate && value.size() == 4)
        return std::to_string(FromBigEndian(value));
    std::string text;
    for (char c : value)
        text += (text.empty() ? "" : " ") + std::to_string(static_cast<uint8_t>(c));
    return text;
}

}  // namespace

std::unique_ptr<CRfc2217Line> CRfc2217Line::Open(const CNetAddress& address,
                                                 CNetConnector& connector, const ClockSource& clock,
                                                 CNetOpenResult& result) {
    const uint32_t start = clock().GetTickCount();
    std::unique_ptr<CNetStream> stream = Connect(address, connector, result);
    if (stream == nullptr)
        return nullptr;
    std::unique_ptr<CRfc2217Line> line(new CRfc2217Line(address, std::move(stream), clock));
    if (!line->Negotiate(start + kConnectMs, result))
        return nullptr;
    if (!line->DrainStale()) {
        line->Dropped(result);
        return nullptr;
    }
    return line;
}

uint32_t CRfc2217Line::AnswerWaitMs() const {
    return m_timeouts.m_nReadConstant != 0 ? m_timeouts.m_nReadConstant : kDefaultAnswerMs;
}

bool CRfc2217Line::Negotiate(uint32_t deadline, CNetOpenResult& result) {
    if (!SendWire(m_codec.Start(), Left(deadline))) {
        Dropped(result);
        return false;
    }
    while (!m_codec.Settled() && !m_bGone) {
        const uint32_t left = Left(deadline);
        if (left == 0 || Pump(left) == ENetWait::kQuiet)
            break;
    }
    if (m_bGone) {
        Dropped(result);
        return false;
    }
    if (!m_codec.Heard()) {
        result.m_sProblem = "Verbindung zu " + m_address.HostPort() + ": keine Antwort";
        PixTrace("%s: no answer to the Telnet requests", m_address.HostPort().c_str());
        return false;
    }
    if (!m_codec.Settled())
        PixTrace("%s: not every Telnet request answered", m_address.HostPort().c_str());
    if (!m_codec.ComPortAgreed()) {
        PixTrace("%s: no com port option, the line settings are the device server's own",
                 m_address.HostPort().c_str());
        if (!Settle(std::min(kSettleMs, Left(deadline)))) {
            Dropped(result);
            return false;
        }
        return true;
    }
    // A dropped carrier is told as it happens.
    if (!SendWire(m_codec.ComPortCommand(kSetModemStateMask,
                                         Byte(kCarrierDetect | kCarrierDetectChanged)),
                  Left(deadline))) {
        Dropped(result);
        return false;
    }
    // The line's settings as the server has them now; a server that drops a second client
    // has done so before it answers.
    std::vector<CAsk> asks = {{kSetBaudRate, BigEndian32(0), "Baudrate"},
                              {kSetDataSize, Byte(0), "Datenbits"},
                              {kSetParity, Byte(0), "Parität"},
                              {kSetStopSize, Byte(0), "Stoppbits"}};
    if (!Ask(asks, std::min(AnswerWaitMs(), Left(deadline)))) {
        Dropped(result);
        return false;
    }
    if (asks[0].m_bAnswered && asks[0].m_sAnswer.size() == 4)
        m_state.m_nBaudRate = FromBigEndian(asks[0].m_sAnswer);
    if (asks[1].m_bAnswered && asks[1].m_sAnswer.size() == 1)
        m_state.m_nByteSize = static_cast<uint8_t>(asks[1].m_sAnswer[0]);
    if (asks[2].m_bAnswered && asks[2].m_sAnswer.size() == 1)
        m_state.m_nParity = static_cast<uint8_t>(asks[2].m_sAnswer[0]) == kParityEven
                                ? CLineState::kEvenParity
                                : CLineState::kNoParity;
    if (asks[3].m_bAnswered && asks[3].m_sAnswer.size() == 1) {
        const auto stop = static_cast<uint8_t>(asks[3].m_sAnswer[0]);
        m_state.m_nStopBits = stop == kStopTwo          ? CLineState::kTwoStopBits
                              : stop == kStopOneAndHalf ? CLineState::kOne5StopBits
                                                        : CLineState::kOneStopBit;
    }
    // What the server still holds from the serial line came before this connection (the
    // rest of a picture whose client went away): it belongs to nobody.
    if (!PurgeRx()) {
        Dropped(result);
        return false;
    }
    return true;
}

void CRfc2217Line::Outgoing(const uint8_t* data, size_t n, std::string& wire) {
    m_codec.Encode(data, n, wire);
}

void CRfc2217Line::Incoming(const std::string& bytes) {
    m_codec.Decode(
        reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), m_sRx,
        [this](uint8_t command, const std::string& value) { OnComPort(command, value); });
    const std::string replies = m_codec.TakeReplies();
    if (!replies.empty())
        SendWire(replies, WriteLimit(replies.size()) + kDefaultAnswerMs);
}

void CRfc2217Line::OnComPort(uint8_t command, const std::string& value) {
    if (command == kNotifyModemState + kServerOffset) {
        if (value.size() != 1)
            return;
        const bool carrier = (static_cast<uint8_t>(value[0]) & kCarrierDetect) != 0;
        if (m_carrier.value_or(false) && !carrier)
            PixTrace("%s: carrier lost", m_address.HostPort().c_str());
        m_carrier = carrier;
        return;
    }
    if (command == kNotifyLineState + kServerOffset) {
        PixTrace("%s: line state %s", m_address.HostPort().c_str(),
                 ValueText(kNotifyLineState, value).c_str());
        return;
    }
    if (command < kServerOffset || m_pAsking == nullptr)
        return;
    const uint8_t asked = command - kServerOffset;
    std::vector<CAsk>& asks = *m_pAsking;
    for (size_t i = 0; i < asks.size(); ++i) {
        CAsk& a = asks[i];
        if (a.m_bDone || a.m_nCommand != asked)
            continue;
        if (asked == kSetControl && (value.size() != 1 || a.m_sValue.size() != 1 ||
                                     ControlGroup(static_cast<uint8_t>(value[0])) !=
                                         ControlGroup(static_cast<uint8_t>(a.m_sValue[0]))))
            continue;
        a.m_bDone = true;
        a.m_bAnswered = true;
        a.m_sAnswer = value;
        a.m_nRxAt = m_sRx.size();
        for (size_t k = 0; k < i; ++k)
            asks[k].m_bDone = true;
        return;
    }
}

bool CRfc2217Line::Ask(std::vector<CAsk>& asks, uint32_t ms) {
    std::string wire;
    for (const CAsk& a : asks)
        wire += m_codec.ComPortCommand(a.m_nCommand, a.m_sValue);
    if (!SendWire(wire, std::max(WriteLimit(wire.size()), kDefaultAnswerMs)))
        return false;
    m_pAsking = &asks;
    const uint32_t deadline = Now() + ms;
    while (!asks.back().m_bDone && !m_bGone) {
        const uint32_t left = Left(deadline);
        if (left == 0 || Pump(left) == ENetWait::kQuiet)
            break;
    }
    m_pAsking = nullptr;
    TraceAnswers(asks);
    return !m_bGone;
}

void CRfc2217Line::TraceAnswers(const std::vector<CAsk>& asks) const {
    for (const CAsk& a : asks) {
        const bool request = a.m_sValue.find_first_not_of('\0') == std::string::npos;
        if (!a.m_bAnswered)
            PixTrace("%s: %s %s not answered, the line is used as it is",
                     m_address.HostPort().c_str(), a.m_pWhat,
                     ValueText(a.m_nCommand, a.m_sValue).c_str());
        else if (!request && a.m_sAnswer != a.m_sValue)
            PixTrace("%s: %s %s asked, the server set %s", m_address.HostPort().c_str(), a.m_pWhat,
                     ValueText(a.m_nCommand, a.m_sValue).c_str(),
                     ValueText(a.m_nCommand, a.m_sAnswer).c_str());
    }
}

bool CRfc2217Line::SetState(const CLineState& state) {
    if (m_bGone)
        return false;
    m_state = state;
    if (!m_codec.ComPortAgreed()) {
        if (!m_bPlainTraced) {
            m_bPlainTraced = true;
            PixTrace("%s: no com port option, the line settings are the device server's own",
                     m_address.HostPort().c_str());
        }
        return true;
    }
    // As on a serial line: RTS is set and output never waits for CTS; toggling RTS around
    // writes is not offered, so that mode keeps it on.
    if (state.m_nRtsControl == CLineState::kRtsToggle)
        PixTrace("RTS toggle not offered by the device server, using RTS on");
    const uint8_t stop = state.m_nStopBits == CLineState::kTwoStopBits    ? kStopTwo
                         : state.m_nStopBits == CLineState::kOne5StopBits ? kStopOneAndHalf
                                                                          : kStopOne;
    std::vector<CAsk> asks = {
        {kSetControl, Byte(state.m_nRtsControl == CLineState::kRtsDisable ? kRtsOff : kRtsOn),
         "RTS"},
        {kSetBaudRate, BigEndian32(state.m_nBaudRate), "Baudrate"},
        {kSetDataSize, Byte(state.m_nByteSize), "Datenbits"},
        {kSetParity, Byte(state.m_nParity == CLineState::kEvenParity ? kParityEven : kParityNone),
         "Parität"},
        {kSetStopSize, Byte(stop), "Stoppbits"},
        {kSetControl, Byte(kNoFlowControl), "Flusssteuerung"},
    };
    return Ask(asks, AnswerWaitMs());
}

bool CRfc2217Line::SetDataTerminalReady(bool on) {
    if (m_bGone || !m_codec.ComPortAgreed())
        return false;
    // The data size asked after it shows where the server's answers stand.
    std::vector<CAsk> asks = {{kSetControl, Byte(on ? kDtrOn : kDtrOff), "DTR"},
                              {kSetDataSize, Byte(0), "Datenbits"}};
    if (!Ask(asks, AnswerWaitMs()))
        return false;
    return asks[0].m_bAnswered && asks[0].m_sAnswer == asks[0].m_sValue;
}

bool CRfc2217Line::PurgeRx() {
    if (m_bGone)
        return false;
    if (!m_codec.ComPortAgreed())
        return CTcpLine::PurgeRx();
    std::vector<CAsk> asks = {{kPurgeData, Byte(kPurgeReceived), "Eingang leeren"}};
    if (!Ask(asks, AnswerWaitMs()))
        return false;
    if (!asks[0].m_bAnswered) {
        DropInput();
        return !m_bGone;
    }
    // What came after the answer left the server after its purge.
    m_nRxPos = std::max(m_nRxPos, std::min(asks[0].m_nRxAt, m_sRx.size()));
    m_sRx.erase(0, m_nRxPos);
    m_nRxPos = 0;
    return true;
}

bool CRfc2217Line::PurgeTx() {
    if (m_bGone)
        return false;
    if (!m_codec.ComPortAgreed())
        return true;
    std::vector<CAsk> asks = {{kPurgeData, Byte(kPurgeToSend), "Ausgang leeren"}};
    return Ask(asks, AnswerWaitMs());
}
