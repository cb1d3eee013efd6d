// The dial sequence on a scripted and on the simulated modem, in virtual time.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/ModemDialler.h"
#include "protocol/PortFixture.h"
#include "protocol/ScriptedPeer.h"
#include "sim/ModemSim.h"
#include "sim/ModuleSim.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const char* const kBuilding = "Verbindung wird aufgebaut..";
const char* const kDialling = "wählen läuft..";

class ModemDiallerTest : public CPortFixture {
  protected:
    // Writes as text, and their times in ms since the port was opened.
    std::vector<std::string> Written() const {
        std::vector<std::string> all;
        for (const auto& w : m_pLine->Writes())
            all.push_back(w.m_sBytes);
        return all;
    }
    std::vector<uint64_t> WrittenAtMs() const {
        std::vector<uint64_t> all;
        for (const auto& w : m_pLine->Writes())
            all.push_back(w.m_nAtUs / 1000 - kStartMs);
        return all;
    }
    std::vector<uint64_t> StatusAtMs() const {
        std::vector<uint64_t> all;
        for (uint64_t ms : m_ui.m_statusAtMs)
            all.push_back(ms - kStartMs);
        return all;
    }

    // A modem with echo on that answers the three set-up commands with OK (it stops echoing
    // after "ATE0M1") and the dial with CONNECT two seconds later.
    void ScriptSetUp() {
        m_modem.Answer("AT\r\r\nOK\r\n");
        m_modem.Answer("ATE0M1\r\r\nOK\r\n");
        m_modem.Answer("\r\nOK\r\n");
    }
    void ScriptConnect() { m_modem.Answer({{"\r\nCONNECT 9600\r\n", 2000}}); }

    CScriptedPeer m_modem;
    CFakeLine* m_pLine = nullptr;
};

TEST_F(ModemDiallerTest, HappyPathShowsEveryStatusInOrder) {
    m_pLine = &OpenLine(&m_modem);
    ScriptSetUp();
    ScriptConnect();
    EXPECT_EQ(DialModem(m_line, "!22", &m_ui), kModemConnected);
    EXPECT_THAT(Written(), ElementsAre("AT\r", "ATE0M1\r", "ATX3\r", "ATD!22\r"));
    // One character per 250 ms poll: the echo and line breaks are skipped up to the "K",
    // the line feed after OK ends each step.
    EXPECT_THAT(WrittenAtMs(), ElementsAre(0, 2250, 5500, 7000));
    EXPECT_THAT(m_ui.m_status, ElementsAre(kBuilding, kDialling, "CONNECT", "Test bitte warten..",
                                           "Verbindung ist OK.."));
    // CONNECT's "T" at 11000, the rest of its line by 12750, then the 2-second test pause.
    EXPECT_THAT(StatusAtMs(), ElementsAre(0, 7000, 11000, 12750, 14750));
    EXPECT_EQ(m_pLine->RxPurges(), 0);
    EXPECT_EQ(m_pLine->TxPurges(), 0);
}

TEST_F(ModemDiallerTest, ErrorToExtensionCommandGivesCodeThreeAfterPurge) {
    m_pLine = &OpenLine(&m_modem);
    m_modem.Answer("AT\r\r\nOK\r\n");
    m_modem.Answer("ATE0M1\r\r\nOK\r\n");
    m_modem.Answer("\r\nERROR\r\n");
    EXPECT_EQ(DialModem(m_line, "!22", &m_ui), kModemExtension);
    EXPECT_THAT(Written(), ElementsAre("AT\r", "ATE0M1\r", "ATX3\r"));
    // "ATX3" at 5500; the line break and "ERROR" take seven polls, and the wait ends with
    // the word's last letter at 7250. The purge follows the 1-second wait.
    EXPECT_THAT(RxPurgesMs(*m_pLine), ElementsAre(8251u));
    EXPECT_EQ(m_pLine->TxPurges(), 1);
    EXPECT_THAT(m_ui.m_status, ElementsAre(kBuilding, "Modem Fehler Nebenstelle"));
    EXPECT_THAT(StatusAtMs(), ElementsAre(0, 8251));
}

TEST_F(ModemDiallerTest, UnansweredDialHangsUpAfterTheLimit) {
    m_pLine = &OpenLine(&m_modem);
    ScriptSetUp();
    m_modem.Silence();
    std::string word = "BUSY";  // from a dial before: a silent modem has said nothing
    EXPECT_EQ(DialModem(m_line, "!22", &m_ui, &word), kModemNoCarrier);
    EXPECT_EQ(word, "");
    EXPECT_THAT(Written(), ElementsAre("AT\r", "ATE0M1\r", "ATX3\r", "ATD!22\r", "ATH\r"));
    // Each silent try costs 250 ms plus the 3-second read; the tenth ends beyond 30 s.
    const std::vector<uint64_t> at = WrittenAtMs();
    EXPECT_EQ(at[4] - at[3], 32500u);
    EXPECT_THAT(m_ui.m_status, ElementsAre(kBuilding, kDialling, "Gegenstelle antwortet nicht"));
    EXPECT_THAT(RxPurgesMs(*m_pLine), ElementsAre(at[4] + 1001));
}

TEST_F(ModemDiallerTest, ClosedPortGivesCodeSeven) {
    m_pLine = &OpenLine(&m_modem);
    m_port.Open(0);
    EXPECT_EQ(DialModem(m_line, "!22", &m_ui), kModemPortClosed);
    EXPECT_THAT(m_modem.Received(), IsEmpty());
    EXPECT_THAT(m_ui.m_status,
                ElementsAre(kBuilding, "!!Puffer nicht gelöscht=>Com geschlossen??"));
    EXPECT_EQ(ElapsedMs(), 1001u);
}

// A modem whose line goes away when the dial command reaches it.
class CVanishingModem : public CScriptedPeer {
  public:
    explicit CVanishingModem(CFakeLineFactory& factory) : m_factory(factory) {}
    void OnHostBytes(const uint8_t* data, size_t n, uint64_t nowUs,
                     std::vector<CTimedByte>& out) override {
        CScriptedPeer::OnHostBytes(data, n, nowUs, out);
        if (std::string(reinterpret_cast<const char*>(data), n).rfind("ATD", 0) == 0)
            m_factory.Unplug(1);
    }

  private:
    CFakeLineFactory& m_factory;
};

TEST_F(ModemDiallerTest, ALineThatGoesAwayEndsTheWaitsAtOnce) {
    CVanishingModem modem(m_factory);
    m_pLine = &OpenLine(&modem);
    modem.Answer("AT\r\r\nOK\r\n");
    modem.Answer("ATE0M1\r\r\nOK\r\n");
    modem.Answer("\r\nOK\r\n");
    // The dial goes out at 7000 ms; the first poll finds the line gone, instead of polling
    // out the 30-second dial limit; the purges then fail on the closed port.
    EXPECT_EQ(DialModem(m_line, "!22", &m_ui), kModemPortClosed);
    EXPECT_EQ(ElapsedMs(), 7000u + 250 + 1001);
    EXPECT_THAT(m_ui.m_status, ElementsAre(kBuilding, kDialling, "Schnittstelle getrennt",
                                           "!!Puffer nicht gelöscht=>Com geschlossen??"));

    // Waiting for an answer line on a lost line ends at the first poll too.
    const uint64_t before = ElapsedMs();
    EXPECT_FALSE(m_port.Expect("\n"));
    EXPECT_EQ(ElapsedMs() - before, 250u);
}

TEST_F(ModemDiallerTest, LongNumberIsDialledWhole) {
    m_pLine = &OpenLine(&m_modem);
    ScriptSetUp();
    ScriptConnect();
    const std::string number = "004989123456789";
    EXPECT_EQ(DialModem(m_line, number, &m_ui), kModemConnected);
    ASSERT_EQ(m_modem.Received().size(), 4u);
    EXPECT_EQ(m_modem.Received()[3], "ATD" + number + "\r");
}

TEST_F(ModemDiallerTest, UnsafeNumbersAreRefusedBeforeAnythingIsSent) {
    m_pLine = &OpenLine(&m_modem);
    const char* const bad = "Ungültige Telefonnummer! Zeichen ";
    const std::vector<std::pair<std::string, std::string>> numbers = {
        {"12\rATH", std::string(bad) + "\"\\x0D\" ist nicht erlaubt."},
        {"0,0815;H", std::string(bad) + "\";\" ist nicht erlaubt."},
        {"12x", std::string(bad) + "\"x\" ist nicht erlaubt."},
        {"089ä1", std::string(bad) + "\"ä\" ist nicht erlaubt."},
        {"12\n", std::string(bad) + "\"\\x0A\" ist nicht erlaubt."},
        {std::string("1\0", 2), std::string(bad) + "\"\\x00\" ist nicht erlaubt."},
        {"", "Ungültige Telefonnummer! Die Nummer ist leer."},
    };
    for (const auto& [number, text] : numbers) {
        SCOPED_TRACE(number);
        m_ui.m_status.clear();
        EXPECT_EQ(DialModem(m_line, number, &m_ui), kModemBadNumber);
        EXPECT_THAT(m_ui.m_status, ElementsAre(kBuilding, text));
    }
    EXPECT_THAT(m_pLine->Writes(), IsEmpty());
    EXPECT_EQ(ElapsedMs(), 0u);
    EXPECT_EQ(m_pLine->RxPurges(), 0);
}

TEST(DialableNumberTest, HayesDialCharactersAndWhatPeopleWriteInNumbers) {
    for (const char* ok : {"!22", "0123456789", "*31#", "0,,123", "W12P3T4", "w1p2t3", "ABCD abcd",
                           "@5", "+49 (89) 123-45/6", "S=2", "L", "R0815"})
        EXPECT_TRUE(IsDialableNumber(ok)) << ok;
    for (const char* bad : {"", "12\r", "ATH", "1;2", "12x", "1\t2", "ä", "12\x1b[2J"})
        EXPECT_FALSE(IsDialableNumber(bad)) << bad;
}

TEST_F(ModemDiallerTest, AFailureResultEndsTheStepItAnswersAtOnce) {
    m_pLine = &OpenLine(&m_modem);
    m_modem.Answer("AT\r\r\nOK\r\n");
    m_modem.Answer("ATE0M1\r\r\nERROR\r\n");
    std::string word;
    EXPECT_EQ(DialModem(m_line, "!22", &m_ui, &word), kModemSetupFailed);
    EXPECT_EQ(word, "ERROR");
    EXPECT_THAT(Written(), ElementsAre("AT\r", "ATE0M1\r"));
    // "ATE0M1" at 2250: its echo, the line break and "ERROR" take 14 polls of 250 ms.
    EXPECT_THAT(RxPurgesMs(*m_pLine), ElementsAre(2250u + 14 * 250 + 1001));
    EXPECT_THAT(m_ui.m_status, ElementsAre(kBuilding, "Modem Einstellungen fehlgeschlagen!"));
}

TEST_F(ModemDiallerTest, TheCallBeforesNoCarrierDoesNotFailTheNextDial) {
    m_pLine = &OpenLine(&m_modem);
    // The module hung up the last call; the modem's word for it still waits in the input.
    m_pLine->InjectNow("\r\nNO CARRIER\r\n");
    ScriptSetUp();
    ScriptConnect();
    EXPECT_EQ(DialModem(m_line, "!22", &m_ui), kModemConnected);
    EXPECT_EQ(m_pLine->RxPurges(), 0);
}

TEST_F(ModemDiallerTest, AFailureResultToTheDialEndsItAtOnceWithoutHangingUp) {
    // "NO DIALTONE" holds a "T", as CONNECT does; it is no connection all the same.
    for (const char* result :
         {"NO DIALTONE", "NO DIAL TONE", "BUSY", "NO CARRIER", "NO ANSWER", "ERROR"}) {
        SCOPED_TRACE(result);
        CScriptedPeer modem;
        m_port.Open(0);
        OpenLine(&modem);
        modem.Answer("AT\r\r\nOK\r\n");
        modem.Answer("ATE0M1\r\r\nOK\r\n");
        modem.Answer("\r\nOK\r\n");
        modem.Answer({{std::string("\r\n") + result + "\r\n", 5000}});
        m_ui.m_status.clear();
        const uint64_t start = m_clock.NowMs();
        std::string word;
        EXPECT_EQ(DialModem(m_line, "!22", &m_ui, &word), kModemNoCarrier);
        // The step's text stays; the modem's own word comes beside it.
        EXPECT_THAT(m_ui.m_status,
                    ElementsAre(kBuilding, kDialling, "Gegenstelle antwortet nicht"));
        EXPECT_EQ(word, result);
        EXPECT_EQ(modem.Received().back(), "ATD!22\r") << "the modem hung up itself";
        // The result arrives 5 s after the dial, one character per poll, then the purge.
        EXPECT_LT(m_clock.NowMs() - start, 7000u + 5000u + 14 * 250u + 1001u);
    }
}

// Only a line reading CONNECT is a connection. A word the dialler does not know, or one
// that holds a "T" as CONNECT does, is none: a final one ends the dial at once, anything
// else is waited out to the limit and hung up; either way the modem's word is kept.
TEST_F(ModemDiallerTest, OnlyConnectIsAConnectionWhateverElseTheModemSays) {
    struct CCase {
        const char* m_pAnswer;  // after the dial, 2 s later
        int m_nCode;
        const char* m_pWord;
        bool m_bFinal;  // ends the dial before its limit, without ATH
    };
    const CCase cases[] = {
        {"\r\nBLACKLISTED\r\n", kModemNoCarrier, "BLACKLISTED", true},
        {"\r\nDelayed\r\n", kModemNoCarrier, "DELAYED", true},
        {"\r\nNO ANSWER\r\n", kModemNoCarrier, "NO ANSWER", true},
        // Ringing, then nothing; a modem that kept echoing says no word with its echo.
        {"ATD!22\r\r\nRING\r\n", kModemNoCarrier, "RING", false},
        {"ATD!22\r", kModemNoCarrier, "", false},
        {"\r\nPROTOCOL: LAP-M\r\n", kModemNoCarrier, "PROTOCOL: LAP-M", false},
        {"\r\nSTATUS\x01\xFF\r\n", kModemNoCarrier, "STATUS", false},
        // What a modem reports on the way to the carrier is passed over.
        {"\r\nCARRIER 9600\r\nPROTOCOL: LAP-M\r\nRING\r\nCONNECT 9600\r\n", kModemConnected, "",
         false},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.m_pAnswer);
        CScriptedPeer modem;
        m_port.Open(0);
        CFakeLine& line = OpenLine(&modem);
        modem.Answer("AT\r\r\nOK\r\n");
        modem.Answer("ATE0M1\r\r\nOK\r\n");
        modem.Answer("\r\nOK\r\n");
        modem.Answer({{c.m_pAnswer, 2000}});
        const uint64_t start = m_clock.NowMs();
        const CDialResult dial = DialNumber(m_line, "!22", &m_ui, EModemPace::kAsArrived);
        EXPECT_EQ(dial.m_nCode, c.m_nCode);
        EXPECT_EQ(dial.m_sModem, c.m_pWord);
        if (c.m_nCode == kModemConnected)
            continue;
        const uint64_t tookMs = m_clock.NowMs() - start;
        EXPECT_EQ(line.Writes().back().m_sBytes, c.m_bFinal ? "ATD!22\r" : "ATH\r");
        if (c.m_bFinal)
            EXPECT_EQ(tookMs, 2000u + 1001u);
        else
            EXPECT_GT(tookMs, 30000u);
    }
}

// ---- against the simulated modem in front of the simulated module ----

class ModemSimDiallerTest : public ModemDiallerTest {
  protected:
    void SetUp() override { m_pLine = &OpenLine(&m_sim); }
    CModuleSim m_module;
    CModemSim m_sim{m_module};
};

TEST_F(ModemSimDiallerTest, ConnectsAndReachesTheModule) {
    EXPECT_EQ(DialModem(m_line, "0891234567", &m_ui), kModemConnected);
    EXPECT_THAT(m_sim.Dialled(), ElementsAre("0891234567"));
    EXPECT_EQ(m_ui.m_status.back(), "Verbindung ist OK..");
    // Data mode: a module command now goes through the modem.
    EXPECT_EQ(m_port.GetCameraStatus(), "03");
    EXPECT_TRUE(m_sim.IsOnline());
}

TEST_F(ModemSimDiallerTest, ModemErrorToExtensionCommand) {
    m_sim.AddFault({ESimFault::ModemError, "ATX3"});
    EXPECT_EQ(DialModem(m_line, "!22", &m_ui), kModemExtension);
    EXPECT_FALSE(m_sim.IsOffHook());
    EXPECT_EQ(m_ui.m_status.back(), "Modem Fehler Nebenstelle");
}

TEST_F(ModemSimDiallerTest, NoDialToneEndsTheDialAtOnce) {
    m_sim.m_eDialResult = EDialResult::NoDialtone;
    const uint64_t start = m_clock.NowMs();
    EXPECT_EQ(DialModem(m_line, "!22", &m_ui), kModemNoCarrier);
    EXPECT_LT(m_clock.NowMs() - start, 20000u) << "not the 30-second limit";
    EXPECT_FALSE(m_sim.IsOffHook());
    EXPECT_EQ(m_ui.m_status.back(), "Gegenstelle antwortet nicht");
}

TEST_F(ModemSimDiallerTest, DialNeverAnsweredIsAbandoned) {
    m_sim.AddFault({ESimFault::DialNever, ""});
    EXPECT_EQ(DialModem(m_line, "!22", &m_ui), kModemNoCarrier);
    EXPECT_FALSE(m_sim.IsOffHook());
    EXPECT_GE(m_sim.Hangups(), 1);
    EXPECT_EQ(m_pLine->Writes().back().m_sBytes, "ATH\r");
    EXPECT_EQ(m_ui.m_status.back(), "Gegenstelle antwortet nicht");
}

}  // namespace

// ---- the pace of the waits: the window's polls, or each character as it arrives ----

class ModemPaceTest : public ModemDiallerTest, public ::testing::WithParamInterface<EModemPace> {};

TEST_P(ModemPaceTest, APaceChangesTheTimesNeverTheResult) {
    const std::string ok = "\r\nOK\r\n";
    const std::vector<std::string> setUp = {"AT\r" + ok, "ATE0M1\r" + ok, ok};
    // The dial's answer after the modem's 2 s ("" none; "-" an ERROR to "ATX3", "--" a
    // modem that says nothing at all), the code and word, and the time to the end, polled
    // and as arrived; a failure ends with the purge after 1 s.
    const std::tuple<std::string, int, std::string, uint64_t, uint64_t> cases[] = {
        {"\r\nCONNECT 9600\r\n", kModemConnected, "", 14750, 4000},
        {"-", kModemExtension, "ERROR", 8251, 1001},
        {"\r\nBUSY\r\n", kModemNoCarrier, "BUSY", 11251, 3001},
        {"\r\nNO CARRIER\r\n", kModemNoCarrier, "NO CARRIER", 12751, 3001},
        {"--", kModemNoAnswer, "", 4251, 4001},
        // The 30 s limit after the dial command, overrun by less than one try.
        {"", kModemNoCarrier, "", 7000 + 32500 + 1001, 33000 + 1001},
    };
    for (const auto& [dialAnswer, code, word, polledMs, arrivedMs] : cases) {
        SCOPED_TRACE(dialAnswer);
        CScriptedPeer modem;
        m_port.Open(0);
        OpenLine(&modem);
        for (size_t i = 0; i < setUp.size() && dialAnswer != "--"; ++i)
            modem.Answer(i == 2 && dialAnswer == "-" ? "\r\nERROR\r\n" : setUp[i]);
        modem.Answer({{dialAnswer.substr(0, dialAnswer[0] == '-' ? 0 : std::string::npos), 2000}});
        const uint64_t start = m_clock.NowMs();
        const CDialResult dial = DialNumber(m_line, "!22", &m_ui, GetParam());
        EXPECT_EQ(dial.m_nCode, code);
        EXPECT_EQ(dial.m_sModem, word);
        EXPECT_EQ(m_clock.NowMs() - start,
                  GetParam() == EModemPace::kPolled ? polledMs : arrivedMs);
    }
}

INSTANTIATE_TEST_SUITE_P(BothPaces, ModemPaceTest,
                         ::testing::Values(EModemPace::kPolled, EModemPace::kAsArrived),
                         [](const auto& info) {
                             return info.param == EModemPace::kPolled ? "Polled" : "AsArrived";
                         });
