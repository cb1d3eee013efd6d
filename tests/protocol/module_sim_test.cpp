// The commands against the simulated module, in virtual time.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "protocol/Parameters.h"
#include "protocol/PortFixture.h"
#include "sim/ModuleSim.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class ModuleSimCommandTest : public CPortFixture {
  protected:
    void SetUp() override { m_pLine = &OpenLine(&m_module); }
    CModuleSim m_module;
    CFakeLine* m_pLine = nullptr;
};

TEST_F(ModuleSimCommandTest, QueriesReportTheModuleValues) {
    m_module.m_status.m_sCamera = "07";
    m_module.m_status.m_sInput = "5A";
    m_module.m_status.m_sError = "02";
    m_module.m_status.m_sVersion = "13579";
    EXPECT_EQ(m_port.GetCameraStatus(), "07");
    EXPECT_EQ(m_port.GetInputStatus(), "5A");
    EXPECT_EQ(m_port.GetErrorStatus(), "02");
    EXPECT_EQ(m_port.GetSoftwareVersion(), " 3.79");
    EXPECT_THAT(m_module.Frames(), ElementsAre("V#", "C#", "F#", "S#"));
    EXPECT_THAT(m_module.Rejected(), IsEmpty());
}

TEST_F(ModuleSimCommandTest, QueryFaultsGiveTheErrorText) {
    m_module.AddFault({ESimFault::AckDigit, "V"});
    EXPECT_EQ(m_port.GetCameraStatus(), "FehlerV ");
    m_module.AddFault({ESimFault::DataLetter, "C"});
    EXPECT_EQ(m_port.GetInputStatus(), "FehlerC ");
    // The value and "#" after the wrong letter stay unread; nothing but a purge clears them.
    EXPECT_EQ(m_pLine->PendingInput(), 3u);
    m_pLine->PurgeRx();
    m_module.AddFault({ESimFault::NoHash, "F"});
    const uint64_t before = ElapsedMs();
    EXPECT_EQ(m_port.GetErrorStatus(), "FehlerF ");
    EXPECT_EQ(ElapsedMs() - before, 3000u);
    m_module.AddFault({ESimFault::Silent, "S"});
    EXPECT_EQ(m_port.GetSoftwareVersion(), "FehlerS ");
}

TEST_F(ModuleSimCommandTest, ChannelSelection) {
    m_module.m_channels = {1, 2, 5};
    EXPECT_TRUE(m_port.SelectChannel("5"));
    EXPECT_EQ(m_module.SelectedChannel(), 5);
    EXPECT_THAT(m_ui.m_messages, IsEmpty());
    EXPECT_FALSE(m_port.SelectChannel("3"));
    EXPECT_EQ(m_module.SelectedChannel(), 5);
    EXPECT_THAT(m_ui.m_messages, ElementsAre("Kanal nicht vorhanden"));
}

TEST_F(ModuleSimCommandTest, ChannelAnswerLaterThanTheReadTimeoutFails) {
    // Only the status read is repeated: an answer that is late as a whole is lost, and the
    // purge a second later removes it.
    m_module.AddFault({ESimFault::Delay, "G", -1, 4000});
    EXPECT_FALSE(m_port.SelectChannel("2"));
    EXPECT_EQ(ElapsedMs(), 3000u + 1001u);
    EXPECT_THAT(m_ui.m_messages, IsEmpty());
    EXPECT_EQ(m_pLine->PendingInput(), 0u);
}

TEST_F(ModuleSimCommandTest, TimeStampAndReset) {
    EXPECT_EQ(m_port.ResetModule(), " Vebindung getrennt !");
    m_clock.AdvanceUs(125'000'000);  // 125 s after the reset
    EXPECT_EQ(m_port.GetTimeStamp("1"), "0100125");
    EXPECT_EQ(m_port.GetTimeStamp("0"), "0100000");
    EXPECT_THAT(m_module.Frames(), ElementsAre("R,1#", "T,1#", "T,0#"));
}

TEST_F(ModuleSimCommandTest, ParametersReachTheModule) {
    std::array<uint16_t, 8> p{};
    ASSERT_TRUE(ParametersForWidth(360, p));
    EXPECT_TRUE(m_port.SetParameters(p[0], p[1], p[2], p[3], p[4], p[5], static_cast<uint8_t>(p[6]),
                                     static_cast<uint8_t>(p[7])));
    ASSERT_TRUE(m_module.HasParameters());
    EXPECT_THAT(m_module.Parameters(), ElementsAre(8, 0, 360, 576, 384, 576, 1, 0));
    m_module.AddFault({ESimFault::AckDigit, "P"});
    EXPECT_FALSE(m_port.SetParameters(p[0], p[1], p[2], p[3], p[4], p[5],
                                      static_cast<uint8_t>(p[6]), static_cast<uint8_t>(p[7])));
    EXPECT_EQ(m_pLine->RxPurges(), 1);
}

TEST_F(ModuleSimCommandTest, EndConnection) {
    EXPECT_EQ(m_port.EndConnection(), 0);
    EXPECT_TRUE(m_module.TakeEndConnection());
    m_module.AddFault({ESimFault::Silent, "E"});
    EXPECT_EQ(m_port.EndConnection(), 1);
}

}  // namespace
