// Lines over the network in virtual time: the addresses, the Telnet layer on its own, and
// the RFC 2217 and plain lines through the port, against a scripted device server.

#include <gtest/gtest.h>

#include <initializer_list>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "image/Image.h"
#include "link/ComPort.h"
#include "link/LineDispatch.h"
#include "link/NetAddress.h"
#include "link/Telnet.h"
#include "sim/ModuleSim.h"
#include "support/FakeNet.h"
#include "support/VirtualClock.h"

namespace {

using namespace telnet;

std::string Bytes(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes)
        s += static_cast<char>(b);
    return s;
}

std::string Sub(uint8_t command, const std::string& value) {
    return Bytes({kIac, kSb, kComPort, command}) + value + Bytes({kIac, kSe});
}

// ---- addresses ----

TEST(NetAddressTest, TakesNamesIPv4AndBracketedIPv6) {
    const auto a = ParseNetAddress("rfc2217://10.1.2.3:4001");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->m_eKind, CNetAddress::EKind::kRfc2217);
    EXPECT_EQ(a->m_sHost, "10.1.2.3");
    EXPECT_EQ(a->m_nPort, 4001);
    EXPECT_EQ(a->HostPort(), "10.1.2.3:4001");

    const auto b = ParseNetAddress("TCP://[fd00::7]:65535");
    ASSERT_TRUE(b);
    EXPECT_EQ(b->m_eKind, CNetAddress::EKind::kTcp);
    EXPECT_EQ(b->m_sHost, "fd00::7");
    EXPECT_EQ(b->HostPort(), "[fd00::7]:65535");

    const auto c = ParseNetAddress("tcp://modul-7.werk_a.example:1");
    ASSERT_TRUE(c);
    EXPECT_EQ(c->m_sHost, "modul-7.werk_a.example");

    // A device is no network address and nothing is said about it.
    EXPECT_FALSE(IsNetAddressText("/dev/ttyUSB0"));
    EXPECT_EQ(NetAddressProblem("/dev/ttyUSB0"), "");
    EXPECT_EQ(NetAddressProblem("rfc2217://localhost:7000"), "");
}

TEST(NetAddressTest, SaysWhatIsWrongWithAnAddress) {
    const std::pair<const char*, const char*> cases[] = {
        {"rfc2217://10.1.2.3", "Port fehlt (rfc2217://RECHNER:PORT)"},
        {"tcp://10.1.2.3:", "Port fehlt (tcp://RECHNER:PORT)"},
        {"tcp://:4001", "Rechner fehlt (tcp://RECHNER:PORT)"},
        {"tcp://host:0", "Port \"0\" ist keine Zahl von 1 bis 65535"},
        {"tcp://host:65536", "Port \"65536\" ist keine Zahl von 1 bis 65535"},
        {"tcp://host:99999999999999999999", "ist keine Zahl von 1 bis 65535"},
        {"tcp://host:40a1", "Port \"40a1\" ist keine Zahl von 1 bis 65535"},
        {"tcp://host:4001/x", "ist keine Zahl von 1 bis 65535"},
        {"tcp://fd00::7:4001", "eine IPv6-Adresse steht in eckigen Klammern"},
        {"tcp://[fd00::7:4001", "wird nicht geschlossen"},
        {"tcp://[10.1.2.3]:4001", "[10.1.2.3] ist keine IPv6-Adresse"},
        {"tcp://[fd00::7]4001", "Port fehlt"},
        {"tcp://ho st:4001", "\"ho st\" ist kein Rechnername und keine IP-Adresse"},
        {"tcp://-host:4001", "ist kein Rechnername"},
        {"tcp://a..b:4001", "ist kein Rechnername"},
        {"tcp://user@host:4001", "ist kein Rechnername"},
        {"tcp://h\x1b:4001", "\"h\\x1B\" ist kein Rechnername"},
    };
    for (const auto& [text, reason] : cases) {
        std::string problem;
        EXPECT_FALSE(ParseNetAddress(text, &problem)) << text;
        EXPECT_NE(problem.find(reason), std::string::npos) << text << ": " << problem;
        EXPECT_EQ(problem.rfind("Netzadresse ", 0), 0u) << problem;
        EXPECT_EQ(NetAddressProblem(text), problem);
    }
}

// ---- the Telnet layer on its own ----

class TelnetCodecTest : public ::testing::Test {
  protected:
    std::string Decode(const std::string& wire) {
        std::string payload;
        m_codec.Decode(reinterpret_cast<const uint8_t*>(wire.data()), wire.size(), payload,
                       [this](uint8_t c, const std::string& v) { m_subs.emplace_back(c, v); });
        return payload;
    }
    std::string Encode(const std::string& data) {
        std::string wire;
        m_codec.Encode(reinterpret_cast<const uint8_t*>(data.data()), data.size(), wire);
        return wire;
    }
    // The server agrees to everything the client opened with.
    void Agree() {
        m_codec.Start();
        Decode(Bytes({kIac, kDo, kBinary, kIac, kWill, kBinary, kIac, kDo, kSuppressGoAhead, kIac,
                      kWill, kSuppressGoAhead, kIac, kDo, kComPort}));
        ASSERT_TRUE(m_codec.Settled());
        ASSERT_EQ(m_codec.TakeReplies(), "");
    }

    CTelnetCodec m_codec;
    std::vector<std::pair<uint8_t, std::string>> m_subs;
};

TEST_F(TelnetCodecTest, DataByte0xFFIsDoubledOnTheWireAndSingleOffIt) {
    Agree();
    EXPECT_EQ(Encode(Bytes({0x01, 0xFF, 0xFF, 0x0D, 0x00, 0x0D, 0x0A})),
              Bytes({0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0x0D, 0x00, 0x0D, 0x0A}));
    EXPECT_EQ(Decode(Bytes({0x41, 0xFF, 0xFF, 0x0D, 0x00, 0xFF, 0xFF, 0xFF, 0xFF})),
              Bytes({0x41, 0xFF, 0x0D, 0x00, 0xFF, 0xFF}));
    // Split anywhere, also between the two halves of a doubled byte.
    EXPECT_EQ(Decode(Bytes({0x10, 0xFF})), Bytes({0x10}));
    EXPECT_EQ(Decode(Bytes({0xFF, 0x20})), Bytes({0xFF, 0x20}));
    // A com port value with 0xFF in it is doubled inside the sub-negotiation too.
    EXPECT_EQ(m_codec.ComPortCommand(kSetBaudRate, Bytes({0x00, 0x00, 0xFF, 0x00})),
              Bytes({kIac, kSb, kComPort, kSetBaudRate, 0x00, 0x00, 0xFF, 0xFF, 0x00, kIac, kSe}));
    Decode(Bytes({kIac, kSb, kComPort, 101, 0x00, 0x01, 0xFF}));
    Decode(Bytes({0xFF, 0xFF, 0xFF, kIac, kSe, 0x42}));
    ASSERT_EQ(m_subs.size(), 1u);
    EXPECT_EQ(m_subs[0], std::make_pair(uint8_t{101}, Bytes({0x00, 0x01, 0xFF, 0xFF})));
}

TEST_F(TelnetCodecTest, CarriageReturnsGetTheirNulWhereBinaryWasRefused) {
    m_codec.Start();
    Decode(Bytes({kIac, kDont, kBinary, kIac, kWont, kBinary}));
    EXPECT_FALSE(m_codec.SendsBinary());
    EXPECT_FALSE(m_codec.ReceivesBinary());
    EXPECT_EQ(m_codec.TakeReplies(), "") << "a refusal of our own request is not answered";
    EXPECT_EQ(Encode("a\rb\r\n"), std::string("a\r\0b\r\0\n", 7));
    EXPECT_EQ(Decode(std::string("x\r\0y\r\n", 6)), "x\ry\r\n");
    EXPECT_EQ(Decode(std::string("\r", 1)), "\r");
    EXPECT_EQ(Decode(std::string("\0z", 2)), "z");
}

TEST_F(TelnetCodecTest, NegotiatesWhatALineNeedsAndRefusesTheRest) {
    EXPECT_EQ(m_codec.Start(),
              Bytes({kIac, kWill, kBinary, kIac, kDo, kBinary, kIac, kWill, kSuppressGoAhead, kIac,
                     kDo, kSuppressGoAhead, kIac, kWill, kComPort}));
    EXPECT_FALSE(m_codec.Settled());
    EXPECT_FALSE(m_codec.Heard());
    // A server that opens with requests of its own, as one does: echo is refused, the
    // com port option and binary are what was asked for already.
    Decode(Bytes({kIac, kWill, kSuppressGoAhead,
                  kIac, kDo,   kSuppressGoAhead,
                  kIac, kWill, kEcho,
                  kIac, kDo,   kBinary,
                  kIac, kWill, kBinary,
                  kIac, kDo,   kComPort,
                  kIac, kDo,   24}));
    EXPECT_TRUE(m_codec.Heard());
    EXPECT_TRUE(m_codec.Settled());
    EXPECT_TRUE(m_codec.ComPortAgreed());
    EXPECT_TRUE(m_codec.SendsBinary());
    EXPECT_TRUE(m_codec.ReceivesBinary());
    EXPECT_EQ(m_codec.TakeReplies(), Bytes({kIac, kDont, kEcho, kIac, kWont, 24}));
    // Requests for the state in force get no answer: nothing bounces back and forth.
    Decode(Bytes({kIac, kDo, kBinary, kIac, kWill, kBinary, kIac, kDo, kComPort}));
    EXPECT_EQ(m_codec.TakeReplies(), "");
    // A server that takes binary back is told so once, and data get their NULs again.
    Decode(Bytes({kIac, kDont, kBinary}));
    EXPECT_EQ(m_codec.TakeReplies(), Bytes({kIac, kWont, kBinary}));
    EXPECT_FALSE(m_codec.SendsBinary());
    // The com port option refused: no settings are sent.
    CTelnetCodec refused;
    refused.Start();
    std::string payload;
    const std::string no = Bytes({kIac, kDont, kComPort});
    refused.Decode(reinterpret_cast<const uint8_t*>(no.data()), no.size(), payload, {});
    EXPECT_FALSE(refused.ComPortAgreed());
    EXPECT_EQ(refused.TakeReplies(), "");
}

TEST_F(TelnetCodecTest, OddSubNegotiationsAreDroppedWithoutLosingData) {
    Agree();
    // Too long to be a com port answer: dropped whole, the data after it kept.
    std::string longSub = Bytes({kIac, kSb, kComPort, 100});
    longSub += std::string(CTelnetCodec::kMaxSubOption + 10, 'x');
    longSub += Bytes({kIac, kSe});
    EXPECT_EQ(Decode(longSub + "ok"), "ok");
    // Another option's sub-negotiation, and one cut short by a command.
    EXPECT_EQ(Decode(Bytes({kIac, kSb, 24, 1, kIac, kSe, 'a', kIac, kSb, kComPort, 101, 7, kIac,
                            kNop, 'b', kIac, 0xF9, 'c'})),
              "abc");
    EXPECT_TRUE(m_subs.empty());
}

// ---- the lines through the port ----

// A device server on the far end of the fake connection: it agrees to binary, no
// go-aheads and the com port option (unless told not to), answers com port commands with
// the value it set, and passes the data to the module and the module's answers back, with
// 0xFF doubled both ways. Plain, it passes the bytes as they are.
class CScriptedDeviceServer {
  public:
    CScriptedDeviceServer(CFakeNetServer& server, CVirtualClock& clock, CSimPeer* module,
                          bool telnet)
        : m_server(server), m_clock(clock), m_pModule(module), m_bTelnet(telnet) {
        server.m_onHost = [this](const std::string& bytes) { OnHost(bytes); };
        if (telnet && m_bOpensWithRequests)
            server.Say(Bytes({kIac, kDo, kComPort}));
    }

    // Settings of the server.
    bool m_bComPort = true;
    bool m_bOpensWithRequests = true;
    std::set<uint8_t> m_unanswered;                // SET-CONTROL values it does not answer
    std::map<uint8_t, std::string> m_setsInstead;  // command: the value it sets instead
    uint32_t m_nBaud = 9600;

    // What the host did.
    std::string m_sData;
    std::vector<std::pair<uint8_t, std::string>> m_commands;
    std::vector<std::pair<int, int>> m_verbs;

    // Sends data as the serial line gave them (doubled on the wire when Telnet).
    void Send(const std::string& data, uint32_t delayMs = 0) { m_server.Say(Wire(data), delayMs); }
    std::string Wire(const std::string& data) const {
        std::string wire;
        for (char c : data) {
            wire += c;
            if (m_bTelnet && static_cast<uint8_t>(c) == kIac)
                wire += c;
        }
        return wire;
    }

  private:
    void OnHost(const std::string& bytes) {
        std::string data;
        for (char ch : bytes) {
            const auto b = static_cast<uint8_t>(ch);
            if (!m_bTelnet) {
                data += ch;
                continue;
            }
            switch (m_eState) {
                case 0:
                    if (b == kIac)
                        m_eState = 1;
                    else
                        data += ch;
                    break;
                case 1:
                    if (b == kIac) {
                        data += ch;
                        m_eState = 0;
                    } else if (b >= kWill) {
                        m_nVerb = b;
                        m_eState = 2;
                    } else if (b == kSb) {
                        m_sSub.clear();
                        m_eState = 3;
                    } else {
                        m_eState = 0;
                    }
                    break;
                case 2:
                    Verb(m_nVerb, b);
                    m_eState = 0;
                    break;
                case 3:
                    if (b == kIac)
                        m_eState = 4;
                    else
                        m_sSub += ch;
                    break;
                case 4:
                    if (b == kIac) {
                        m_sSub += ch;
                        m_eState = 3;
                    } else {
                        Command();
                        m_eState = 0;
                    }
                    break;
            }
        }
        m_sData += data;
        if (m_pModule != nullptr && !data.empty()) {
            std::vector<CTimedByte> out;
            m_pModule->OnHostBytes(reinterpret_cast<const uint8_t*>(data.data()), data.size(),
                                   m_clock.NowUs(), out);
            for (const CTimedByte& t : out)
                m_server.SayAtUs(Wire(std::string(1, static_cast<char>(t.m_nByte))), t.m_nAtUs);
        }
    }
    void Verb(uint8_t verb, uint8_t option) {
        m_verbs.emplace_back(verb, option);
        const bool agree = option == kBinary || option == kSuppressGoAhead ||
                           (option == kComPort && m_bComPort && verb == kWill);
        if (verb == kWill)
            m_server.Say(Bytes({kIac, agree ? kDo : kDont, option}));
        else if (verb == kDo)
            m_server.Say(Bytes({kIac, agree ? kWill : kWont, option}));
    }
    void Command() {
        if (m_sSub.size() < 2 || static_cast<uint8_t>(m_sSub[0]) != kComPort)
            return;
        const auto command = static_cast<uint8_t>(m_sSub[1]);
        std::string value = m_sSub.substr(2);
        m_commands.emplace_back(command, value);
        if (command == kSetControl && value.size() == 1 &&
            m_unanswered.count(static_cast<uint8_t>(value[0])) != 0)
            return;
        if (command == kSetModemStateMask)
            return;
        if (const auto it = m_setsInstead.find(command); it != m_setsInstead.end())
            value = it->second;
        else if (command == kSetBaudRate && value == std::string(4, '\0'))
            value = Bytes({0, 0, static_cast<int>(m_nBaud >> 8), static_cast<int>(m_nBaud & 0xFF)});
        else if (command == kSetDataSize && value == std::string(1, '\0'))
            value = Bytes({8});
        else if ((command == kSetParity || command == kSetStopSize) &&
                 value == std::string(1, '\0'))
            value = Bytes({1});
        std::string wire;
        for (char c : value) {
            wire += c;
            if (static_cast<uint8_t>(c) == kIac)
                wire += c;
        }
        m_server.Say(Bytes({kIac, kSb, kComPort, command + kServerOffset}) + wire +
                     Bytes({kIac, kSe}));
    }

    CFakeNetServer& m_server;
    CVirtualClock& m_clock;
    CSimPeer* m_pModule;
    bool m_bTelnet;
    int m_eState = 0;
    uint8_t m_nVerb = 0;
    std::string m_sSub;
};

class CRecordingUi : public CPortUi {
  public:
    void SetStatusText(const std::string& text) override { m_status.push_back(text); }
    void MessageBox(const std::string& text) override { m_messages.push_back(text); }
    std::vector<std::string> m_status;
    std::vector<std::string> m_messages;
};

constexpr const char* kRfc2217 = "rfc2217://10.1.2.3:4001";
constexpr const char* kTcp = "tcp://10.1.2.3:4001";

class NetLineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_clock.AdvanceUs(5000000);
        m_session.SetClock(&m_clock);
        m_session.SetLineFactory(&m_dispatch);
        m_session.SetUi(&m_ui);
        m_connector.m_setUpServer = [this](CFakeNetServer& server) {
            m_pDevice =
                std::make_unique<CScriptedDeviceServer>(server, m_clock, m_pModule, m_bTelnet);
            if (m_configure)
                m_configure(*m_pDevice);
        };
    }
    void TearDown() override { m_port.Open(0); }

    bool Open(const char* address) {
        m_bTelnet = std::string(address).rfind("rfc2217", 0) == 0;
        return m_port.Open(CLineAddress::Device(address));
    }
    bool OpenAndSetUp(const char* address) {
        return Open(address) && m_port.Setup(115200, 8, 0, 1, 2);
    }
    uint64_t NowMs() const { return m_clock.NowMs(); }

    CVirtualClock m_clock;
    CFakeNetConnector m_connector{m_clock};
    CLineDispatch m_dispatch{[this]() -> CClock& { return m_clock; }, &m_connector};
    CLineSession m_session;
    CComPort m_port{m_session};
    CRecordingUi m_ui;
    CSimPeer* m_pModule = nullptr;
    bool m_bTelnet = true;
    std::function<void(CScriptedDeviceServer&)> m_configure;
    std::unique_ptr<CScriptedDeviceServer> m_pDevice;
};

TEST_F(NetLineTest, Rfc2217SetsTheLineUpAsAsked) {
    m_configure = [](CScriptedDeviceServer& d) { d.m_nBaud = 57600; };
    ASSERT_TRUE(Open(kRfc2217));
    EXPECT_EQ(m_connector.m_sLastHost, "10.1.2.3");
    EXPECT_EQ(m_connector.m_nLastPort, 4001);
    // The line as the server had it.
    ASSERT_NE(m_session.State(), nullptr);
    EXPECT_EQ(m_session.State()->m_nBaudRate, 57600u);
    ASSERT_TRUE(m_port.Setup(115200, 8, 0, 1, 0));
    const std::vector<std::pair<uint8_t, std::string>> setUp(m_pDevice->m_commands.end() - 6,
                                                             m_pDevice->m_commands.end());
    EXPECT_EQ(setUp, (std::vector<std::pair<uint8_t, std::string>>{
                         {kSetControl, Bytes({kRtsOff})},
                         {kSetBaudRate, Bytes({0x00, 0x01, 0xC2, 0x00})},
                         {kSetDataSize, Bytes({8})},
                         {kSetParity, Bytes({kParityNone})},
                         {kSetStopSize, Bytes({kStopOne})},
                         {kSetControl, Bytes({kNoFlowControl})}}));
    EXPECT_EQ(m_session.State()->m_nBaudRate, 115200u);
    // Even parity, two stop bits and RTS on, as the port's codes ask them.
    ASSERT_TRUE(m_port.Setup(9600, 8, 1, 3, 2));
    const std::vector<std::pair<uint8_t, std::string>> again(m_pDevice->m_commands.end() - 6,
                                                             m_pDevice->m_commands.end());
    EXPECT_EQ(again[0].second, Bytes({kRtsOn}));
    EXPECT_EQ(again[3].second, Bytes({kParityEven}));
    EXPECT_EQ(again[4].second, Bytes({kStopTwo}));
    EXPECT_TRUE(m_ui.m_messages.empty());
}

TEST_F(NetLineTest, ARefusedControlSettingLeavesTheLineAsItIs) {
    // As a server on a pseudo-terminal: DTR and RTS are not answered; and one that keeps
    // its own baud rate.
    m_configure = [](CScriptedDeviceServer& d) {
        d.m_unanswered = {kDtrOn, kDtrOff, kRtsOn, kRtsOff};
        d.m_setsInstead[kSetBaudRate] = Bytes({0x00, 0x00, 0x25, 0x80});
    };
    ASSERT_TRUE(Open(kRfc2217));
    const uint64_t before = NowMs();
    EXPECT_TRUE(m_port.Setup(115200, 8, 0, 1, 2));
    // The answers that came show that RTS was passed over: nothing waits for it.
    EXPECT_EQ(NowMs(), before);
    EXPECT_TRUE(m_ui.m_messages.empty()) << "no \"Fehler setzen !\"";
    // Data flow all the same.
    m_pDevice->Send("q,V,0#");
    char reply[7] = {};
    EXPECT_TRUE(m_port.Write("V#", 2));
    EXPECT_TRUE(m_port.Read(reply, 6));
    EXPECT_STREQ(reply, "q,V,0#");
    // DTR is not there to drop: the port says so, after the answer that followed it.
    EXPECT_FALSE(m_port.PulseDtr(1000));
    EXPECT_LT(NowMs() - before, 1000u);
    EXPECT_TRUE(m_session.IsOpen());
}

TEST_F(NetLineTest, DtrAndPurgesTravelAsComPortCommands) {
    ASSERT_TRUE(OpenAndSetUp(kRfc2217));
    const uint64_t before = NowMs();
    EXPECT_TRUE(m_port.PulseDtr(1000));
    EXPECT_EQ(NowMs() - before, 1000u);
    std::vector<std::string> dtr;
    for (const auto& [command, value] : m_pDevice->m_commands)
        if (command == kSetControl && (value == Bytes({kDtrOn}) || value == Bytes({kDtrOff})))
            dtr.push_back(value);
    EXPECT_EQ(dtr, (std::vector<std::string>{Bytes({kDtrOff}), Bytes({kDtrOn})}));

    // What the server had before its purge is dropped; what it sent after it is kept.
    m_pDevice->Send("stale");
    const auto purges = [this] {
        std::vector<std::string> p;
        for (const auto& [command, value] : m_pDevice->m_commands)
            if (command == kPurgeData)
                p.push_back(value);
        return p;
    };
    // The line was purged as it opened.
    EXPECT_EQ(purges(), std::vector<std::string>{Bytes({kPurgeReceived})});
    ASSERT_TRUE(m_port.PurgeRx());
    EXPECT_EQ(purges(),
              (std::vector<std::string>{Bytes({kPurgeReceived}), Bytes({kPurgeReceived})}));
    m_pDevice->Send("fresh");
    char buf[6] = {};
    EXPECT_TRUE(m_port.Read(buf, 5));
    EXPECT_STREQ(buf, "fresh");
    EXPECT_TRUE(m_port.PurgeTx());
    EXPECT_EQ(purges(), (std::vector<std::string>{Bytes({kPurgeReceived}), Bytes({kPurgeReceived}),
                                                  Bytes({kPurgeToSend})}));
}

TEST_F(NetLineTest, APurgeKeepsWhatCameAfterTheServersAnswer) {
    ASSERT_TRUE(OpenAndSetUp(kRfc2217));
    // Stale data, then the answer to the purge the host is about to ask for, then fresh
    // data, all in one piece.
    m_connector.Server()->Say("old" + Sub(kPurgeData + kServerOffset, Bytes({kPurgeReceived})) +
                              "new");
    // The scripted server answers the purge itself too; that second answer comes later
    // and changes nothing.
    ASSERT_TRUE(m_port.PurgeRx());
    char buf[4] = {};
    EXPECT_TRUE(m_port.Read(buf, 3));
    EXPECT_STREQ(buf, "new");
}

TEST_F(NetLineTest, ACarrierThatDropsIsSeen) {
    ASSERT_TRUE(OpenAndSetUp(kRfc2217));
    // The modem lines are asked for: carrier detect and its changes.
    bool masked = false;
    for (const auto& [command, value] : m_pDevice->m_commands)
        masked = masked || (command == kSetModemStateMask &&
                            value == Bytes({kCarrierDetect | kCarrierDetectChanged}));
    EXPECT_TRUE(masked);
    EXPECT_FALSE(m_session.CarrierDetect().has_value());
    CFakeNetServer& server = *m_connector.Server();
    server.Say(Sub(kNotifyModemState + kServerOffset, Bytes({0xB0})) + "ab");
    char buf[3] = {};
    ASSERT_TRUE(m_port.Read(buf, 2));
    EXPECT_EQ(m_session.CarrierDetect(), std::optional<bool>(true));
    server.Say("c" + Sub(kNotifyModemState + kServerOffset, Bytes({0x38})));
    ASSERT_TRUE(m_port.Read(buf, 1));
    char more[2] = {};
    EXPECT_FALSE(m_port.Read(more, 1)) << "nothing but the notice came";
    EXPECT_EQ(m_session.CarrierDetect(), std::optional<bool>(false));
    EXPECT_TRUE(m_session.IsOpen()) << "a dropped carrier is no lost line";
}

TEST_F(NetLineTest, APictureWithByte0xFFArrivesWholeOverRfc2217) {
    const CGreyPicture picture = MakeEscapePicture(180, 144);
    CModuleSim module;
    module.SetPicture(picture);
    m_pModule = &module;
    ASSERT_TRUE(OpenAndSetUp(kRfc2217));
    std::vector<uint8_t> buffer(2 * 180 * 144 + 1);
    std::vector<uint8_t> got;
    int checks = 0;
    const int result = m_port.ReceiveImage(
        "I,00000,B4,0090,3#", buffer.data(), 144,
        [&](int, int len) { got.insert(got.end(), buffer.begin(), buffer.begin() + len); });
    ASSERT_EQ(result, kTransferComplete);
    for (int y = 0; y < 144; ++y) {
        unsigned sum = 0;
        int ff = 0;
        for (int x = 0; x < 180; ++x) {
            sum += picture.m_pixels[y * 180 + x];
            ff += picture.m_pixels[y * 180 + x] == 0xFF;
        }
        checks += (sum & 0xFF) == 1 && ff > 10;
    }
    EXPECT_EQ(checks, 144) << "every check byte is 0xFF";
    EXPECT_EQ(got, picture.m_pixels);
    EXPECT_EQ(module.Frames().back(), "q,i,0#");
}

TEST_F(NetLineTest, PlainTcpPassesTheBytesAsTheyAre) {
    ASSERT_TRUE(OpenAndSetUp(kTcp));
    CFakeNetServer& server = *m_connector.Server();
    EXPECT_EQ(server.Received(), "") << "no Telnet, no settings";
    ASSERT_TRUE(m_port.Write(Bytes({'G', 0xFF, 0x0D, 0x00}).data(), 4));
    EXPECT_EQ(server.Received(), Bytes({'G', 0xFF, 0x0D, 0x00}));
    server.Say(Bytes({0xFF, 0xFF, 0xFB}));
    uint8_t buf[4] = {};
    ASSERT_TRUE(m_port.Read(buf, 3));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 3), Bytes({0xFF, 0xFF, 0xFB}));
    EXPECT_FALSE(m_port.PulseDtr(1000)) << "no DTR to set";
    EXPECT_TRUE(m_port.PurgeRx());
    EXPECT_TRUE(m_port.PurgeTx());
}

TEST_F(NetLineTest, WhatComesBeforeTheLineIsReadyIsNotTheModules) {
    // A banner, and the rest of a block the server still held from a client before.
    m_configure = [](CScriptedDeviceServer& d) {
        d.Send("Willkommen\r\n");
        d.Send("hhii", 10);
        d.Send("jj", 40);
    };
    ASSERT_TRUE(OpenAndSetUp(kTcp));
    m_pDevice->Send("q,V,0#");
    char reply[7] = {};
    ASSERT_TRUE(m_port.Read(reply, 6));
    EXPECT_STREQ(reply, "q,V,0#");
    m_port.Open(0);
    ASSERT_TRUE(OpenAndSetUp(kRfc2217));
    m_pDevice->Send("q,S,0#");
    ASSERT_TRUE(m_port.Read(reply, 6));
    EXPECT_STREQ(reply, "q,S,0#");
}

TEST_F(NetLineTest, AServerWithoutTheComPortOptionIsUsedAsItIs) {
    m_configure = [](CScriptedDeviceServer& d) { d.m_bComPort = false; };
    // It offers the option itself all the same; the client's own request decides.
    ASSERT_TRUE(OpenAndSetUp(kRfc2217));
    EXPECT_TRUE(m_pDevice->m_commands.empty()) << "no settings sent to a server that refused";
    EXPECT_FALSE(m_port.PulseDtr(1000));
    m_pDevice->Send(Bytes({'x', 0xFF}));
    char buf[3] = {};
    ASSERT_TRUE(m_port.Read(buf, 2));
    EXPECT_EQ(std::string(buf, 2), Bytes({'x', 0xFF}));
}

// ---- what goes wrong, and how long it takes ----

TEST_F(NetLineTest, ARefusedConnectionSaysSoAtOnce) {
    m_connector.m_eMode = CFakeNetConnector::EMode::kRefuse;
    const uint64_t before = NowMs();
    EXPECT_FALSE(Open(kRfc2217));
    EXPECT_EQ(NowMs(), before);
    EXPECT_EQ(m_session.OpenProblem(), "Verbindung zu 10.1.2.3:4001 abgelehnt");
    EXPECT_FALSE(m_session.OpenFoundBusy());
    m_connector.m_eMode = CFakeNetConnector::EMode::kUnknownHost;
    EXPECT_FALSE(m_port.Open(CLineAddress::Device("tcp://modul.example:4001")));
    EXPECT_EQ(m_session.OpenProblem(),
              "Verbindung zu modul.example:4001: Rechner modul.example nicht gefunden");
    // A malformed address goes nowhere.
    EXPECT_FALSE(m_port.Open(CLineAddress::Device("tcp://modul.example")));
    EXPECT_EQ(m_session.OpenProblem(),
              "Netzadresse tcp://modul.example: Port fehlt (tcp://RECHNER:PORT)");
}

TEST_F(NetLineTest, AnAddressThatNeverAnswersTakesTenSeconds) {
    m_connector.m_eMode = CFakeNetConnector::EMode::kSilent;
    const uint64_t before = NowMs();
    EXPECT_FALSE(Open(kTcp));
    EXPECT_EQ(NowMs() - before, 10000u);
    EXPECT_EQ(m_session.OpenProblem(), "Verbindung zu 10.1.2.3:4001: keine Antwort in 10 s");
}

TEST_F(NetLineTest, AServerThatAcceptsButNeverAnswersIsGivenUpOnInTime) {
    // It takes the connection and never says a word.
    m_connector.m_setUpServer = [](CFakeNetServer&) {};
    const uint64_t before = NowMs();
    EXPECT_FALSE(Open(kRfc2217));
    EXPECT_EQ(NowMs() - before, 10000u);
    EXPECT_EQ(m_session.OpenProblem(), "Verbindung zu 10.1.2.3:4001: keine Antwort");
    EXPECT_TRUE(m_connector.Server()->HostClosed());

    // Plain, there is nothing to answer: the line opens, and a read gives up after 3 s.
    const uint64_t start = NowMs();
    ASSERT_TRUE(OpenAndSetUp(kTcp));
    EXPECT_EQ(NowMs() - start, CTcpLine::kSettleMs + CTcpLine::kQuietMs);
    char buf[7] = {};
    const uint64_t read = NowMs();
    EXPECT_FALSE(m_port.Read(buf, 6));
    EXPECT_EQ(NowMs() - read, 3000u);
    EXPECT_TRUE(m_session.IsOpen());
}

TEST_F(NetLineTest, AServerThatDropsASecondClientIsBusy) {
    for (const char* address : {kRfc2217, kTcp}) {
        m_connector.m_setUpServer = [this](CFakeNetServer& server) {
            // As one that serves one client at a time: its own requests and a few words
            // for the second one, and the end, without a look at what it is sent.
            if (m_bTelnet)
                server.Say(
                    Bytes({kIac, kWill, kSuppressGoAhead, kIac, kDo, kSuppressGoAhead, kIac, kWill,
                           kEcho, kIac, kDo, kBinary, kIac, kWill, kBinary, kIac, kDo, kComPort}));
            server.Say("Port already in use\r\n");
            server.CloseIn(1);
        };
        EXPECT_FALSE(Open(address)) << address;
        EXPECT_TRUE(m_session.OpenFoundBusy()) << address;
        EXPECT_EQ(m_session.OpenProblem(),
                  "Verbindung zu 10.1.2.3:4001 von der Gegenstelle getrennt: Port already in use")
            << address;
        EXPECT_FALSE(m_session.IsOpen());
    }
}

TEST_F(NetLineTest, AConnectionThatBreaksIsALostLineUntilItIsOpenedAgain) {
    for (const char* address : {kRfc2217, kTcp}) {
        m_ui.m_status.clear();
        ASSERT_TRUE(OpenAndSetUp(address)) << address;
        m_pDevice->Send("q,");
        m_connector.Server()->CloseIn(500);
        char buf[7] = {};
        const uint64_t before = NowMs();
        EXPECT_FALSE(m_port.Read(buf, 6)) << address;
        EXPECT_EQ(NowMs() - before, 500u) << "the end is seen when it comes";
        EXPECT_EQ(m_ui.m_status,
                  (std::vector<std::string>{"Verbindung zu 10.1.2.3:4001 unterbrochen",
                                            "Schnittstelle getrennt"}))
            << address;
        EXPECT_TRUE(m_session.LineLost());
        EXPECT_FALSE(m_session.IsOpen());
        EXPECT_TRUE(m_connector.Server()->HostClosed());
        EXPECT_FALSE(m_port.Write("V#", 2));

        // The server is back: the next open connects again.
        ASSERT_TRUE(OpenAndSetUp(address)) << address;
        EXPECT_FALSE(m_session.LineLost());
        m_pDevice->Send("q,V,0#");
        EXPECT_TRUE(m_port.Read(buf, 6));
        m_port.Open(0);
    }
    EXPECT_EQ(m_connector.Connections(), 4);
}

}  // namespace
