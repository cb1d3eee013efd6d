// Channel selection on a scripted module, in virtual time.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "protocol/PortFixture.h"
#include "protocol/ScriptedPeer.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Wait(1000) ends at the first tick beyond start + 1000.
constexpr uint64_t kFailWaitMs = 1001;

class SelectChannelTest : public CPortFixture {
  protected:
    CFakeLine& Line() { return *m_pLine; }
    void SetUp() override { m_pLine = &OpenLine(&m_module); }
    CScriptedPeer m_module;
    CFakeLine* m_pLine = nullptr;
};

TEST_F(SelectChannelTest, AcceptedChannelReturnsAtOnceWithoutPurge) {
    m_module.Answer("q,G,0#");
    EXPECT_TRUE(m_port.SelectChannel("5"));
    EXPECT_THAT(m_module.Received(), ElementsAre("G,05#"));
    EXPECT_EQ(ElapsedMs(), 0u);
    EXPECT_EQ(Line().RxPurges(), 0);
    EXPECT_EQ(Line().TxPurges(), 0);
    EXPECT_THAT(m_ui.m_messages, IsEmpty());
}

TEST_F(SelectChannelTest, RefusedChannelShowsMessageAndPurgesAfterOneSecond) {
    m_module.Answer("q,G,1#");
    EXPECT_FALSE(m_port.SelectChannel("3"));
    EXPECT_THAT(m_module.Received(), ElementsAre("G,03#"));
    EXPECT_THAT(m_ui.m_messages, ElementsAre("Kanal nicht vorhanden"));
    EXPECT_THAT(RxPurgesMs(Line()), ElementsAre(kFailWaitMs));
    EXPECT_EQ(ElapsedMs(), kFailWaitMs);
}

TEST_F(SelectChannelTest, LateStatusIsPickedUpByTheRepeatedRead) {
    // "q,G," at once, the status 4 s later: the first status read gives up at 3 s, the
    // repeat gets it.
    m_module.Answer({{"q,G,", 0}, {"0#", 4000}});
    EXPECT_TRUE(m_port.SelectChannel("2"));
    EXPECT_EQ(ElapsedMs(), 4000u);
    EXPECT_EQ(Line().RxPurges(), 0);
    EXPECT_THAT(m_ui.m_messages, IsEmpty());
}

TEST_F(SelectChannelTest, LateRefusalReturnsFalseWithoutMessage) {
    m_module.Answer({{"q,G,", 0}, {"1#", 4000}});
    EXPECT_FALSE(m_port.SelectChannel("2"));
    EXPECT_THAT(m_ui.m_messages, IsEmpty());
    EXPECT_THAT(RxPurgesMs(Line()), ElementsAre(4000 + kFailWaitMs));
}

TEST_F(SelectChannelTest, StatusMissingFromBothReadsFails) {
    m_module.Answer({{"q,G,", 0}, {"0#", 6500}});
    EXPECT_FALSE(m_port.SelectChannel("2"));
    EXPECT_THAT(RxPurgesMs(Line()), ElementsAre(6000 + kFailWaitMs));
    EXPECT_THAT(m_ui.m_messages, IsEmpty());
}

TEST_F(SelectChannelTest, SilentModuleFailsAfterReadTimeoutAndWait) {
    m_module.Silence();
    EXPECT_FALSE(m_port.SelectChannel("1"));
    EXPECT_EQ(ElapsedMs(), 3000 + kFailWaitMs);
    EXPECT_THAT(RxPurgesMs(Line()), ElementsAre(3000 + kFailWaitMs));
    EXPECT_THAT(m_ui.m_messages, IsEmpty());
}

TEST_F(SelectChannelTest, WrongReplyHeaderFailsWithoutMessage) {
    // An acknowledgement of another command: the status is never looked at.
    m_module.Answer("q,V,0#");
    EXPECT_FALSE(m_port.SelectChannel("1"));
    EXPECT_THAT(RxPurgesMs(Line()), ElementsAre(kFailWaitMs));
    EXPECT_THAT(m_ui.m_messages, IsEmpty());
}

TEST_F(SelectChannelTest, OnlyARefusalInTimeCountsAsTheModulesRefusal) {
    // What a capture round goes by: a refusal is not asked again, anything else is.
    using CAnswer = std::vector<CScriptedPeer::CPiece>;
    const std::pair<CAnswer, ChannelResult> cases[] = {
        {{{"q,G,0#", 0}}, kChannelSelected},
        {{{"q,G,1#", 0}}, kChannelRefused},
        {{{"q,G,", 0}, {"1#", 4000}}, kChannelNoAnswer},
        {{{"q,V,0#", 0}}, kChannelNoAnswer},
        {{}, kChannelNoAnswer},
    };
    for (const auto& [answer, result] : cases) {
        m_module.Answer(answer);
        EXPECT_EQ(m_port.SelectChannelResult("3"), result)
            << (answer.empty() ? "silence" : answer[0].m_sBytes);
    }
}

TEST_F(SelectChannelTest, FailedWritePurgesOutputAfterOneSecond) {
    Line().m_bFailWrite = true;
    EXPECT_FALSE(m_port.SelectChannel("4"));
    EXPECT_EQ(ElapsedMs(), kFailWaitMs);
    EXPECT_EQ(Line().TxPurges(), 1);
    EXPECT_EQ(Line().RxPurges(), 0);
}

TEST_F(SelectChannelTest, ShortWriteCountsAsFailedWrite) {
    Line().m_nWriteLimit = 3;
    EXPECT_FALSE(m_port.SelectChannel("4"));
    EXPECT_EQ(Line().TxPurges(), 1);
    EXPECT_EQ(ElapsedMs(), kFailWaitMs);
}

}  // namespace
