#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// The bytes of the Telnet protocol a device server speaks (commands, options and the com
// port option's sub-negotiation).
namespace telnet {
constexpr uint8_t kSe = 240;
constexpr uint8_t kNop = 241;
constexpr uint8_t kSb = 250;
constexpr uint8_t kWill = 251;
constexpr uint8_t kWont = 252;
constexpr uint8_t kDo = 253;
constexpr uint8_t kDont = 254;
constexpr uint8_t kIac = 255;

constexpr uint8_t kBinary = 0;
constexpr uint8_t kEcho = 1;
constexpr uint8_t kSuppressGoAhead = 3;
constexpr uint8_t kComPort = 44;

// Com port commands the client sends; the server answers each with the same number plus
// kServerOffset and the value it set.
constexpr uint8_t kSignature = 0;
constexpr uint8_t kSetBaudRate = 1;
constexpr uint8_t kSetDataSize = 2;
constexpr uint8_t kSetParity = 3;
constexpr uint8_t kSetStopSize = 4;
constexpr uint8_t kSetControl = 5;
constexpr uint8_t kNotifyLineState = 6;
constexpr uint8_t kNotifyModemState = 7;
constexpr uint8_t kSetModemStateMask = 11;
constexpr uint8_t kPurgeData = 12;
constexpr uint8_t kServerOffset = 100;

constexpr uint8_t kParityNone = 1;
constexpr uint8_t kParityEven = 3;
constexpr uint8_t kStopOne = 1;
constexpr uint8_t kStopTwo = 2;
constexpr uint8_t kStopOneAndHalf = 3;
// SET-CONTROL values.
constexpr uint8_t kNoFlowControl = 1;
constexpr uint8_t kDtrOn = 8;
constexpr uint8_t kDtrOff = 9;
constexpr uint8_t kRtsOn = 11;
constexpr uint8_t kRtsOff = 12;
// PURGE-DATA values: what the server received from the serial line, what it has yet to
// send there.
constexpr uint8_t kPurgeReceived = 1;
constexpr uint8_t kPurgeToSend = 2;
// Modem state bits.
constexpr uint8_t kCarrierDetect = 0x80;
constexpr uint8_t kCarrierDetectChanged = 0x08;
}  // namespace telnet

// The Telnet layer of a client, without any I/O: what goes on the wire for data and com
// port commands, and what comes off it. The client asks for binary transmission both
// ways, for no go-aheads both ways and offers the com port option; it answers every other
// request of the server with a refusal, and never answers a request for a state it is in.
class CTelnetCodec {
  public:
    // A com port answer or notification of the server: its command number (kServerOffset
    // and up) and value.
    using ComPortHandler = std::function<void(uint8_t command, const std::string& value)>;

    // The requests a client opens with.
    std::string Start();
    // The data as they go on the wire: every 0xFF doubled, and a carriage return followed
    // by a NUL where the server did not agree to take binary data.
    void Encode(const uint8_t* data, size_t n, std::string& wire) const;
    // A com port command with its value (0xFF doubled).
    std::string ComPortCommand(uint8_t command, const std::string& value) const;
    // Takes bytes as they came off the wire, in any pieces: the data are appended to
    // payload; com port sub-negotiations go to onComPort the moment they end, so that
    // payload then holds exactly the data that came before them; answers to the
    // server's requests wait in Replies().
    void Decode(const uint8_t* data, size_t n, std::string& payload,
                const ComPortHandler& onComPort);
    // Answers to send now; taking them empties the list.
    std::string TakeReplies();

    // Every request of Start answered (or met by the server's own request).
    bool Settled() const;
    // Whether the server has sent any Telnet command at all.
    bool Heard() const { return m_bHeard; }
    // Whether the server agreed to the com port option.
    bool ComPortAgreed() const { return m_options[kComPortIndex].m_bOurs; }
    bool SendsBinary() const { return m_options[kBinaryIndex].m_bOurs; }
    bool ReceivesBinary() const { return m_options[kBinaryIndex].m_bTheirs; }

    // Longest sub-negotiation kept; longer ones are dropped whole.
    static constexpr size_t kMaxSubOption = 256;

  private:
    struct COption {
        uint8_t m_nCode = 0;
        bool m_bWantOurs = false;    // we want to do it (WILL)
        bool m_bWantTheirs = false;  // we want the server to do it (DO)
        bool m_bOurs = false;
        bool m_bTheirs = false;
        bool m_bOursAsked = false;  // our WILL awaits its answer
        bool m_bTheirsAsked = false;
    };
    static constexpr size_t kBinaryIndex = 0;
    static constexpr size_t kComPortIndex = 2;

    enum class EState { kData, kCr, kIac, kVerb, kSb, kSbIac };

    COption* Find(uint8_t code);
    void Negotiate(uint8_t verb, uint8_t code);
    void Reply(uint8_t verb, uint8_t code);
    void EndSubOption(const ComPortHandler& onComPort);
    // The byte after an IAC outside a sub-negotiation.
    void AfterIac(uint8_t b, std::string& payload);

    COption m_options[3] = {{telnet::kBinary, true, true},
                            {telnet::kSuppressGoAhead, true, true},
                            {telnet::kComPort, true, false}};
    EState m_eState = EState::kData;
    uint8_t m_nVerb = 0;
    std::string m_sSub;
    bool m_bSubTooLong = false;
    bool m_bHeard = false;
    std::string m_sReplies;
};
