#include <gtest/gtest.h>

#include "sim/ModemSim.h"
#include "sim/SimHost.h"

namespace {

class ModemSimTest : public ::testing::Test {
  protected:
    CVirtualClock m_clock;
    CModuleSim m_module;
    CModemSim m_modem{m_module};
    CSimHost m_host{m_clock, m_modem};

    void Connect() {
        m_host.Exchange("ATE0M1\r");
        m_host.Exchange("ATD!22\r");
        ASSERT_TRUE(m_modem.IsOffHook());
    }
};

TEST_F(ModemSimTest, EchoesUntilE0AndAnswersWithFramedResults) {
    EXPECT_TRUE(m_modem.EchoOn());
    EXPECT_EQ(m_host.Exchange("AT\r"), "AT\r\r\nOK\r\n");
    EXPECT_EQ(m_host.Exchange("ATE0M1\r"), "ATE0M1\r\r\nOK\r\n");
    EXPECT_FALSE(m_modem.EchoOn());
    EXPECT_EQ(m_host.Exchange("ATX3\r"), "\r\nOK\r\n");
    EXPECT_EQ(m_host.Exchange("hello\r"), "\r\nERROR\r\n");
    EXPECT_EQ(m_host.Exchange("ATE1\r"), "\r\nOK\r\n");
    EXPECT_EQ(m_host.Exchange("at\r"), "at\r\r\nOK\r\n");
    EXPECT_EQ(m_modem.Commands(),
              (std::vector<std::string>{"AT", "ATE0M1", "ATX3", "hello", "ATE1", "at"}));
    // Module frames do not reach the module in command mode.
    EXPECT_TRUE(m_module.HostBytes().empty());
}

TEST_F(ModemSimTest, DialConnectsAfterTheDelayAndPassesDataToTheModule) {
    m_modem.m_nDialDelayMs = 2500;
    m_host.Exchange("ATE0M1\r");
    const uint64_t dialled = m_clock.NowUs();
    m_host.Send("ATD!22\r");
    EXPECT_EQ(m_host.Read(16), "\r\nCONNECT 9600\r\n");
    EXPECT_EQ(m_clock.NowUs(), dialled + 2'500'000);
    EXPECT_TRUE(m_modem.IsOnline() || m_modem.IsDialling());
    EXPECT_EQ(m_modem.Dialled(), (std::vector<std::string>{"!22"}));
    EXPECT_EQ(m_host.Exchange("V#"), "q,V,0#v,03#");
    EXPECT_TRUE(m_modem.IsOnline());
    // AT commands are data now.
    EXPECT_EQ(m_host.Exchange("ATH\r"), "");
    EXPECT_TRUE(m_modem.IsOnline());
    EXPECT_EQ(m_module.Frames(), (std::vector<std::string>{"V#"}));
}

TEST_F(ModemSimTest, EndConnectionDropsTheCarrierBackToCommandMode) {
    Connect();
    EXPECT_EQ(m_host.Exchange("E,1#"), "q,E,0#\r\nNO CARRIER\r\n");
    EXPECT_FALSE(m_modem.IsOffHook());
    EXPECT_EQ(m_modem.Hangups(), 1);
    EXPECT_EQ(m_host.Exchange("AT\r"), "\r\nOK\r\n");
    EXPECT_EQ(m_host.Exchange("V#"), "");
}

TEST_F(ModemSimTest, BusyNoCarrierAndSilentDials) {
    m_modem.m_nDialDelayMs = 1000;
    m_modem.m_eDialResult = EDialResult::Busy;
    EXPECT_EQ(m_host.Exchange("ATD1\r"), "ATD1\r\r\nBUSY\r\n");
    EXPECT_FALSE(m_modem.IsOffHook());
    m_modem.m_eDialResult = EDialResult::NoCarrier;
    EXPECT_EQ(m_host.Exchange("ATD2\r"), "ATD2\r\r\nNO CARRIER\r\n");
    m_modem.m_eDialResult = EDialResult::Never;
    EXPECT_EQ(m_host.Exchange("ATD3\r"), "ATD3\r");
    m_clock.AdvanceUs(60'000'000);
    EXPECT_EQ(m_host.ReadAll(), "");
    EXPECT_TRUE(m_modem.IsDialling());
    // Any byte abandons the call; the rest of that line is swallowed.
    EXPECT_EQ(m_host.Exchange("ATH\r"), "\r\nNO CARRIER\r\n");
    EXPECT_FALSE(m_modem.IsOffHook());
    EXPECT_EQ(m_host.Exchange("AT\r"), "AT\r\r\nOK\r\n");
    EXPECT_EQ(m_modem.Dialled(), (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_EQ(m_modem.Commands().back(), "AT");
}

TEST_F(ModemSimTest, ErrorAndSilentDialFaultsApplyOnce) {
    CSimFault err;
    err.m_eKind = ESimFault::ModemError;
    err.m_sTarget = "ATX3";
    m_modem.AddFault(err);
    CSimFault never;
    never.m_eKind = ESimFault::DialNever;
    m_modem.AddFault(never);
    m_host.Exchange("ATE0\r");
    EXPECT_EQ(m_host.Exchange("AT\r"), "\r\nOK\r\n");
    EXPECT_EQ(m_host.Exchange("ATX3\r"), "\r\nERROR\r\n");
    EXPECT_EQ(m_host.Exchange("ATX3\r"), "\r\nOK\r\n");
    EXPECT_EQ(m_host.Exchange("ATD22\r"), "");
    EXPECT_EQ(m_host.Exchange("ATH\r"), "\r\nNO CARRIER\r\n");
    EXPECT_EQ(m_host.Exchange("ATD22\r"), "\r\nCONNECT 9600\r\n");
}

TEST_F(ModemSimTest, HangUpInCommandModeIsAcknowledged) {
    EXPECT_EQ(m_host.Exchange("ATE0\r"), "ATE0\r\r\nOK\r\n");
    EXPECT_EQ(m_host.Exchange("ATH\r"), "\r\nOK\r\n");
    EXPECT_EQ(m_modem.Hangups(), 1);
    EXPECT_FALSE(m_modem.IsOffHook());
}

// A line served for weeks: dial after dial, queries and whole pictures. The records keep
// the newest entries up to their limits, and the module still answers as before.
TEST_F(ModemSimTest, ALongSessionKeepsOnlyTheNewestRecords) {
    m_host.Exchange("ATE0\r");
    const int calls = static_cast<int>(CModemSim::kRecordLimit) + 100;
    int pictures = 0;
    for (int call = 0; call < calls; ++call) {
        ASSERT_EQ(m_host.Exchange("ATD!22\r"), "\r\nCONNECT 9600\r\n") << "call " << call;
        ASSERT_EQ(m_host.Exchange("V#"), "q,V,0#v,03#");
        if (call % 40 == 0) {
            std::vector<std::string> blocks;
            ASSERT_EQ(m_host.Fetch("I,00000,B4,0090,3#", 144, blocks), 0) << "call " << call;
            ++pictures;
        }
        ASSERT_EQ(m_host.Exchange("E,1#"), "q,E,0#\r\nNO CARRIER\r\n");
    }
    const auto& frames = m_module.HostFrames();
    ASSERT_GT(frames.Total(), CModuleSim::kFrameLimit);
    EXPECT_EQ(frames.size(), CModuleSim::kFrameLimit);
    EXPECT_EQ(frames.Total(), static_cast<size_t>(2 * calls + pictures * 145));
    EXPECT_EQ(frames.back().m_sText, "E,1#");
    EXPECT_EQ(frames[frames.size() - 2].m_sText, "V#");
    const auto& bytes = m_module.HostBytes();
    ASSERT_GT(bytes.Total(), CModuleSim::kHostByteLimit);
    EXPECT_EQ(bytes.size(), CModuleSim::kHostByteLimit);
    EXPECT_EQ(bytes.back().m_nByte, '#');
    EXPECT_EQ(m_modem.Commands().size(), CModemSim::kRecordLimit);
    EXPECT_EQ(m_modem.Commands().back(), "ATD!22");
    EXPECT_EQ(m_modem.Dialled().size(), CModemSim::kRecordLimit);
    EXPECT_EQ(m_module.FrameCounter(), static_cast<unsigned>(pictures));
}

}  // namespace
