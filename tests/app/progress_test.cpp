// The progress of a fetch: share, rate and time left, and how a fetch reports them.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/AppFixture.h"
#include "app/Progress.h"
#include "sim/SimFault.h"

namespace {

TEST(FetchProgressTest, RateAndTimeLeftFollowThePaceOfTheBlocksAfterTheFirst) {
    CFetchProgress p;
    p.Start(10, 1000);
    EXPECT_EQ(p.Percent(), 0);
    EXPECT_EQ(p.SecondsLeft(), -1);
    EXPECT_EQ(RateText(p), "");
    EXPECT_EQ(TimeLeftText(p), "");
    // The module takes five seconds to answer the request: that is no line time.
    p.AddBlock(180, 6000);
    EXPECT_EQ(p.Percent(), 10);
    EXPECT_EQ(p.BytesPerSecond(), -1);
    p.AddBlock(180, 7500);
    p.AddBlock(180, 9000);
    EXPECT_EQ(p.Percent(), 30);
    EXPECT_EQ(p.BytesPerSecond(), 120);
    // Seven blocks at 1.5 s each: 10.5 s, shown as the next whole second.
    EXPECT_EQ(p.SecondsLeft(), 11);
    EXPECT_EQ(RateText(p), "120 B/s");
    EXPECT_EQ(TimeLeftText(p), "noch 0:11");
    for (int i = 3; i < 10; ++i)
        p.AddBlock(180, 9000 + 1500 * (i - 2));
    EXPECT_EQ(p.Percent(), 100);
    EXPECT_EQ(p.SecondsLeft(), 0);
    EXPECT_EQ(TimeLeftText(p), "noch 0:00");

    // Blocks arriving in the same millisecond tell no pace yet.
    p.Start(4, 0);
    p.AddBlock(180, 5);
    p.AddBlock(180, 5);
    EXPECT_EQ(p.BytesPerSecond(), -1);
    EXPECT_EQ(p.SecondsLeft(), -1);
}

TEST(FetchProgressTest, LongFetchesLargeRatesAndAWrappingTickCounter) {
    CFetchProgress p;
    p.Start(100000, 0);
    p.AddBlock(180, 0);
    p.AddBlock(1234567, 1000);
    EXPECT_EQ(RateText(p), "1.234.567 B/s");
    EXPECT_EQ(TimeLeftText(p), "noch 27:46:38");  // 99998 s

    // The tick counter wraps between the first and the second block: 356 ms apart.
    p.Start(10, 0xFFFFF000u);
    p.AddBlock(180, 0xFFFFFF00u);
    p.AddBlock(180, 0x64u);
    EXPECT_EQ(p.BytesPerSecond(), 180 * 1000 / 356);
    EXPECT_EQ(p.SecondsLeft(), 3);  // 8 × 356 ms

    // Without an expected count there is no share and no time left; more blocks than
    // expected never show more than all of them.
    p.Start(0, 0);
    p.AddBlock(180, 10);
    p.AddBlock(180, 20);
    EXPECT_EQ(p.Percent(), 0);
    EXPECT_EQ(p.SecondsLeft(), -1);
    p.Start(1, 0);
    p.AddBlock(180, 10);
    p.AddBlock(180, 20);
    EXPECT_EQ(p.Percent(), 100);
    EXPECT_EQ(p.SecondsLeft(), 0);
}

class FetchProgressReportTest : public CAppFixture {};

// Notes how many blocks the module had seen acknowledged when each progress came.
class CAckCountingUi : public CRecordingUi {
  public:
    explicit CAckCountingUi(const CModuleSim& module) : m_module(module) {}
    void ShowProgress(const CFetchProgress& progress) override {
        CRecordingUi::ShowProgress(progress);
        int acks = 0;
        for (const std::string& f : m_module.Frames())
            acks += f == "q,i,0#";
        m_acks.push_back(acks);
    }
    const CModuleSim& m_module;
    std::vector<int> m_acks;
};

TEST_F(FetchProgressReportTest, AFetchAtModemSpeedReportsEveryBlockWithTheTimeItStillTakes) {
    m_module.SetPacing(9600, 0);
    ASSERT_TRUE(m_app.FetchImage());
    const auto& seen = m_ui.m_progress;
    ASSERT_EQ(seen.size(), 145u);  // the request and each of the 144 blocks
    for (size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].BlocksDone(), static_cast<int>(i));
        EXPECT_EQ(seen[i].BlocksExpected(), 144);
    }
    EXPECT_EQ(m_ui.m_nProgressEnds, 1);
    // 183 bytes a block at 960 bytes a second carry 180 data bytes.
    const int64_t rate = seen.back().BytesPerSecond();
    EXPECT_GE(rate, 900);
    EXPECT_LE(rate, 960);
    // Half way, the time left is the time the fetch then still took, to the second.
    const int64_t predictedMs = seen[72].SecondsLeft() * 1000;
    const int64_t tookMs = int64_t{m_ui.m_nProgressEndMs} - m_ui.m_progressAtMs[72];
    EXPECT_GT(tookMs, 10000);
    EXPECT_LE(std::llabs(predictedMs - tookMs), 1000) << predictedMs << " " << tookMs;
}

TEST_F(FetchProgressReportTest, ABlockCountsOnceTheModuleHasItsAcknowledgement) {
    // What the window paints with the progress then overlaps the next block on the line.
    CAckCountingUi ui(m_module);
    m_app.SetUi(&ui);
    ASSERT_TRUE(m_app.FetchImage());
    ASSERT_EQ(ui.m_progress.size(), 145u);
    for (size_t i = 0; i < ui.m_progress.size(); ++i)
        EXPECT_EQ(ui.m_acks[i], ui.m_progress[i].BlocksDone()) << i;
    m_app.SetUi(&m_ui);
}

TEST_F(FetchProgressReportTest, ProgressEndsWithEveryFetchThatBegan) {
    m_module.AddFault({ESimFault::BadCheck, "", 5, 0, false});
    EXPECT_FALSE(m_app.FetchImage());
    EXPECT_EQ(m_ui.m_nProgressEnds, 1);
    // Blocks count once they are acknowledged.
    EXPECT_EQ(m_ui.m_progress.back().BlocksDone(), 5);

    m_module.AddFault({ESimFault::AckDigit, "I", -1, 0, false});
    EXPECT_FALSE(m_app.FetchImage());
    EXPECT_EQ(m_ui.m_nProgressEnds, 2);
    EXPECT_EQ(m_ui.m_progress.back().BlocksDone(), 0);

    // A request that cannot be built sends nothing and shows no progress.
    const size_t shown = m_ui.m_progress.size();
    m_app.m_iBildhoehe = 0;
    EXPECT_FALSE(m_app.FetchImage());
    EXPECT_EQ(m_ui.m_progress.size(), shown);
    EXPECT_EQ(m_ui.m_nProgressEnds, 2);
}

}  // namespace
