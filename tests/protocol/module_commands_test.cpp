// Status and control commands on a scripted module, in virtual time.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>

#include "protocol/Parameters.h"
#include "protocol/PortFixture.h"
#include "protocol/ScriptedPeer.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class ModuleCommandTest : public CPortFixture {
  protected:
    void SetUp() override { m_pLine = &OpenLine(&m_module); }
    CFakeLine& Line() { return *m_pLine; }
    CScriptedPeer m_module;
    CFakeLine* m_pLine = nullptr;
};

// ---- the four status queries share one shape ----

struct CQueryCase {
    const char* m_sName;
    std::function<std::string(CComPort&)> m_call;
    const char* m_sFrame;
    const char* m_sAnswer;  // a good answer
    const char* m_sValue;   // what the query returns for it
    const char* m_sError;
};

const CQueryCase kQueries[] = {
    {"Camera", [](CComPort& p) { return p.GetCameraStatus(); }, "V#", "q,V,0#v,03#", "03",
     "FehlerV "},
    {"Error", [](CComPort& p) { return p.GetErrorStatus(); }, "F#", "q,F,0#f,1A#", "1A",
     "FehlerF "},
    {"Input", [](CComPort& p) { return p.GetInputStatus(); }, "C#", "q,C,0#c,80#", "80",
     "FehlerC "},
    {"Version", [](CComPort& p) { return p.GetSoftwareVersion(); }, "S#", "q,S,0#s,02031#", " 2.31",
     "FehlerS "},
};

class StatusQueryTest : public ModuleCommandTest, public ::testing::WithParamInterface<CQueryCase> {
  protected:
    std::string Run(const std::string& answer) {
        m_module.Answer(answer);
        return GetParam().m_call(m_port);
    }
    // The good answer with one character changed.
    std::string Changed(size_t pos, char c) {
        std::string s = GetParam().m_sAnswer;
        s[pos] = c;
        return s;
    }
};

TEST_P(StatusQueryTest, GoodAnswerGivesTheValue) {
    EXPECT_EQ(Run(GetParam().m_sAnswer), GetParam().m_sValue);
    EXPECT_THAT(m_module.Received(), ElementsAre(GetParam().m_sFrame));
    EXPECT_EQ(ElapsedMs(), 0u);
}

TEST_P(StatusQueryTest, EveryFailurePointGivesTheErrorTextWithoutPurge) {
    const std::string good = GetParam().m_sAnswer;
    const struct {
        const char* m_sWhat;
        std::string m_sAnswer;
        uint64_t m_nMs;
    } cases[] = {
        {"ack digit", Changed(4, '1'), 0},
        {"ack letter", Changed(2, 'X'), 0},
        {"data letter", Changed(6, 'x'), 0},
        {"final char", Changed(good.size() - 1, '$'), 0},
        {"final # missing", good.substr(0, good.size() - 1), 3000},
        {"value cut short", good.substr(0, 9), 3000},
        {"silence", "", 3000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.m_sWhat);
        const uint64_t before = ElapsedMs();
        EXPECT_EQ(Run(c.m_sAnswer), GetParam().m_sError);
        EXPECT_EQ(ElapsedMs() - before, c.m_nMs);
        Line().PurgeRx();  // what a failed query leaves is not its business; clear for the next
    }
    // The purges above are the test's own; the queries never purged or waited.
    EXPECT_EQ(Line().RxPurges(), static_cast<int>(std::size(cases)));
    EXPECT_EQ(Line().TxPurges(), 0);
}

TEST_P(StatusQueryTest, FailedQueryLeavesTheRestOfTheAnswerUnread) {
    // A wrong acknowledgement ends the exchange: the data record stays in the input.
    EXPECT_EQ(Run(Changed(4, '1')), GetParam().m_sError);
    EXPECT_EQ(Line().PendingInput(), std::string(GetParam().m_sAnswer).size() - 6);
}

INSTANTIATE_TEST_SUITE_P(Queries, StatusQueryTest, ::testing::ValuesIn(kQueries),
                         [](const auto& info) { return std::string(info.param.m_sName); });

TEST_F(ModuleCommandTest, SoftwareVersionBlanksFirstAndDotsThirdCharacter) {
    m_module.Answer("q,S,0#s,98765#");
    const std::string version = m_port.GetSoftwareVersion();
    ASSERT_EQ(version.size(), 5u);
    EXPECT_EQ(version, " 8.65");
}

// ---- time stamp ----

TEST_F(ModuleCommandTest, TimeStampGivesChannelAndSeconds) {
    m_module.Answer("q,T,0#t,04,00125#");
    EXPECT_EQ(m_port.GetTimeStamp("1"), "0400125");
    m_module.Answer("q,T,0#t,07,99999#");
    EXPECT_EQ(m_port.GetTimeStamp("0"), "0799999");
    EXPECT_THAT(m_module.Received(), ElementsAre("T,1#", "T,0#"));
}

TEST_F(ModuleCommandTest, TimeStampIgnoresTheSeparator) {
    m_module.Answer("q,T,0#t,04X00125#");
    EXPECT_EQ(m_port.GetTimeStamp("1"), "0400125");
}

TEST_F(ModuleCommandTest, TimeStampGoesOnAfterMissingSeparator) {
    // The separator read gives up at 3 s; seconds and "#" follow later and still count.
    m_module.Answer({{"q,T,0#t,04", 0}, {"00125#", 3500}});
    EXPECT_EQ(m_port.GetTimeStamp("0"), "0400125");
    EXPECT_EQ(ElapsedMs(), 3500u);
}

TEST_F(ModuleCommandTest, TimeStampWithSecondsCutShortHasAnEmptySecondsPart) {
    // Three of five digits, then the "#" after the seconds read gave up: the partial
    // digits are not passed on.
    m_module.Answer({{"q,T,0#t,04,001", 0}, {"#", 4000}});
    EXPECT_EQ(m_port.GetTimeStamp("0"), "04");
    EXPECT_EQ(ElapsedMs(), 4000u);
}

TEST_F(ModuleCommandTest, TimeStampFailurePoints) {
    const struct {
        const char* m_sWhat;
        std::string m_sAnswer;
        uint64_t m_nMs;
    } cases[] = {
        {"ack digit", "q,T,1#t,04,00125#", 0},         {"data letter", "q,T,0#T,04,00125#", 0},
        {"channel missing", "q,T,0#t,", 3000},         {"final char", "q,T,0#t,04,00125$", 0},
        {"final # missing", "q,T,0#t,04,00125", 3000}, {"silence", "", 3000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.m_sWhat);
        const uint64_t before = ElapsedMs();
        m_module.Answer(c.m_sAnswer);
        EXPECT_EQ(m_port.GetTimeStamp("1"), "FehlerT ");
        EXPECT_EQ(ElapsedMs() - before, c.m_nMs);
        Line().PurgeRx();
    }
}

// ---- reset and end of connection ----

TEST_F(ModuleCommandTest, ResetModule) {
    m_module.Answer("q,R,0#");
    EXPECT_EQ(m_port.ResetModule(), " Vebindung getrennt !");
    m_module.Answer("q,R,1#");
    EXPECT_EQ(m_port.ResetModule(), "FehlerR ");
    m_module.Silence();
    const uint64_t before = ElapsedMs();
    EXPECT_EQ(m_port.ResetModule(), "FehlerR ");
    EXPECT_EQ(ElapsedMs() - before, 3000u);
    EXPECT_THAT(m_module.Received(), ElementsAre("R,1#", "R,1#", "R,1#"));
    EXPECT_EQ(Line().RxPurges(), 0);
}

TEST_F(ModuleCommandTest, EndConnection) {
    m_module.Answer("q,E,0#");
    EXPECT_EQ(m_port.EndConnection(), 0);
    m_module.Answer("q,E,1#");
    EXPECT_EQ(m_port.EndConnection(), 1);
    m_module.Silence();
    const uint64_t before = ElapsedMs();
    EXPECT_EQ(m_port.EndConnection(), 1);
    EXPECT_EQ(ElapsedMs() - before, 3000u);
    EXPECT_THAT(m_module.Received(), ElementsAre("E,1#", "E,1#", "E,1#"));
    EXPECT_EQ(Line().RxPurges(), 0);
}

// ---- parameter write ----

bool SendForWidth(CComPort& port, int width) {
    std::array<uint16_t, 8> p{};
    if (!ParametersForWidth(width, p))
        return false;
    return port.SetParameters(p[0], p[1], p[2], p[3], p[4], p[5], static_cast<uint8_t>(p[6]),
                              static_cast<uint8_t>(p[7]));
}

TEST_F(ModuleCommandTest, ParameterFramesForBothWidthsAreWrittenWhole) {
    m_module.Answer("q,P,0#");
    m_module.Answer("q,P,0#");
    EXPECT_TRUE(SendForWidth(m_port, 180));
    EXPECT_TRUE(SendForWidth(m_port, 360));
    EXPECT_THAT(m_module.Received(),
                ElementsAre("P,008,000,0b4,120,0c0,120,1,0#", "P,008,000,168,240,180,240,1,0#"));
    for (const auto& w : Line().Writes())
        EXPECT_EQ(w.m_sBytes.size(), 30u);
    EXPECT_EQ(Line().RxPurges(), 0);
}

TEST_F(ModuleCommandTest, NoParameterSetForOtherWidths) {
    std::array<uint16_t, 8> p{};
    for (int width : {0, 179, 181, 288, 720, -180})
        EXPECT_FALSE(ParametersForWidth(width, p)) << width;
    ASSERT_TRUE(ParametersForWidth(360, p));
    EXPECT_EQ(p, (std::array<uint16_t, 8>{8, 0, 360, 576, 384, 576, 1, 0}));
}

TEST_F(ModuleCommandTest, RefusedParametersWaitAndPurge) {
    // The refusal comes with trailing bytes; the purge one second later removes them.
    m_module.Answer("q,P,1#junk");
    EXPECT_FALSE(m_port.SetParameters(8, 0, 180, 288, 192, 288, 1, 0));
    EXPECT_THAT(RxPurgesMs(Line()), ElementsAre(1001u));
    EXPECT_EQ(ElapsedMs(), 1001u);
    EXPECT_EQ(Line().PendingInput(), 0u);
}

TEST_F(ModuleCommandTest, UnansweredParametersWaitAndPurgeAfterTimeout) {
    m_module.Silence();
    EXPECT_FALSE(m_port.SetParameters(8, 0, 180, 288, 192, 288, 1, 0));
    EXPECT_THAT(RxPurgesMs(Line()), ElementsAre(3000u + 1001u));
}

TEST_F(ModuleCommandTest, ParametersAtTheLimitOfTheirFields) {
    m_module.Answer("q,P,0#");
    EXPECT_TRUE(m_port.SetParameters(0xfff, 0, 0xabc, 1, 0x10, 0x100, 0xf, 0));
    EXPECT_THAT(m_module.Received(), ElementsAre("P,fff,000,abc,001,010,100,f,0#"));
}

TEST_F(ModuleCommandTest, ParametersThatDoNotFitAreRefusedUnsent) {
    EXPECT_FALSE(m_port.SetParameters(0x1000, 0, 180, 288, 192, 288, 1, 0));
    EXPECT_FALSE(m_port.SetParameters(8, 0, 180, 288, 192, 0xffff, 1, 0));
    EXPECT_FALSE(m_port.SetParameters(8, 0, 180, 288, 192, 288, 0x10, 0));
    EXPECT_FALSE(m_port.SetParameters(8, 0, 180, 288, 192, 288, 1, 0xff));
    EXPECT_THAT(Line().Writes(), IsEmpty());
    EXPECT_EQ(ElapsedMs(), 0u);
    EXPECT_EQ(Line().RxPurges(), 0);
}

}  // namespace
