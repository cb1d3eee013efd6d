#include <gtest/gtest.h>

#include "sim/ModuleSim.h"
#include "sim/SimHost.h"

namespace {

class ModuleSimTest : public ::testing::Test {
  protected:
    CVirtualClock m_clock;
    CModuleSim m_module;
    CSimHost m_host{m_clock, m_module};

    void Fault(ESimFault kind, const std::string& target, int block = -1, bool persistent = false,
               uint32_t ms = 0) {
        CSimFault f;
        f.m_eKind = kind;
        f.m_sTarget = target;
        f.m_nBlock = block;
        f.m_bPersistent = persistent;
        f.m_nDelayMs = ms;
        m_module.AddFault(f);
    }
};

TEST_F(ModuleSimTest, StatusQueriesAnswerAckAndRecordWithConfiguredValues) {
    m_module.m_status.m_sCamera = "07";
    m_module.m_status.m_sInput = "A1";
    m_module.m_status.m_sError = "E2";
    m_module.m_status.m_sVersion = "12345";
    EXPECT_EQ(m_host.Exchange("V#"), "q,V,0#v,07#");
    EXPECT_EQ(m_host.Exchange("C#"), "q,C,0#c,A1#");
    EXPECT_EQ(m_host.Exchange("F#"), "q,F,0#f,E2#");
    EXPECT_EQ(m_host.Exchange("S#"), "q,S,0#s,12345#");
    EXPECT_EQ(m_host.Exchange("R,1#"), "q,R,0#");
    EXPECT_EQ(m_module.Rejected().size(), 0u);
}

TEST_F(ModuleSimTest, TimeStampCountsSecondsSinceResetAndShowsSelectedChannel) {
    EXPECT_EQ(m_host.Exchange("G,04#"), "q,G,0#");  // costs one 3 s read time-out
    m_clock.AdvanceToUs(125'000'000);
    EXPECT_EQ(m_host.Exchange("T,1#"), "q,T,0#t,04,00125#");
    m_clock.AdvanceUs(7'000'000);  // plus the 3 s the last ReadAll waited
    EXPECT_EQ(m_host.Exchange("T,0#"), "q,T,0#t,04,00010#");
    m_clock.AdvanceUs(1'000'000);
    EXPECT_EQ(m_host.Exchange("T,0#"), "q,T,0#t,04,00014#");
}

TEST_F(ModuleSimTest, ChannelSelectionAcceptsOnlyPresentChannelsAndKeepsTheLastGoodOne) {
    m_module.m_channels = {1, 2, 5};
    EXPECT_EQ(m_host.Exchange("G,05#"), "q,G,0#");
    EXPECT_EQ(m_module.SelectedChannel(), 5);
    EXPECT_EQ(m_host.Exchange("G,03#"), "q,G,1#");
    EXPECT_EQ(m_host.Exchange("G,09#"), "q,G,1#");
    EXPECT_EQ(m_module.SelectedChannel(), 5);
    EXPECT_EQ(m_host.Exchange("G,02#"), "q,G,0#");
    EXPECT_EQ(m_module.SelectedChannel(), 2);
}

TEST_F(ModuleSimTest, ParameterFrameIsAcknowledgedAndStored) {
    EXPECT_FALSE(m_module.HasParameters());
    EXPECT_EQ(m_host.Exchange("P,008,000,0b4,120,0c0,120,1,0#"), "q,P,0#");
    ASSERT_TRUE(m_module.HasParameters());
    EXPECT_EQ(m_module.Parameters(), (std::array<unsigned, 8>{8, 0, 180, 288, 192, 288, 1, 0}));
    EXPECT_EQ(m_host.Exchange("P,008,000,168,240,180,240,1,0#"), "q,P,0#");
    EXPECT_EQ(m_module.Parameters()[2], 360u);
    // A field that is not hexadecimal, or a frame of the wrong length, is no P frame.
    EXPECT_EQ(m_host.Exchange("P,008,000,0g4,120,0c0,120,1,0#"), "");
    EXPECT_EQ(m_host.Exchange("P,008,000,0b4,120,0c0,120,1,00#"), "");
    EXPECT_EQ(m_module.Parameters()[2], 360u);
}

TEST_F(ModuleSimTest, EndConnectionIsAcknowledgedAndReportedOnce) {
    EXPECT_FALSE(m_module.TakeEndConnection());
    EXPECT_EQ(m_host.Exchange("E,1#"), "q,E,0#");
    EXPECT_TRUE(m_module.TakeEndConnection());
    EXPECT_FALSE(m_module.TakeEndConnection());
}

TEST_F(ModuleSimTest, MalformedUnknownAndUnexpectedFramesGetNoAnswerAndAreRecorded) {
    const std::vector<std::string> bad = {"X#",
                                          "V,1#",
                                          "T,2#",
                                          "G,0a#",
                                          "R,0#",
                                          "q,i,0#",  // no transfer running
                                          "I,00000,B4,0090,5#",
                                          "I,0000G,B4,0090,3#",
                                          "I,00000,B4,0090,3,#"};
    for (const auto& f : bad)
        EXPECT_EQ(m_host.Exchange(f), "") << f;
    EXPECT_EQ(m_module.Rejected(), bad);
    EXPECT_EQ(m_module.Frames(), bad);
}

TEST_F(ModuleSimTest, ResynchronisesAfterLineNoise) {
    EXPECT_EQ(m_host.Exchange(std::string("\x01zz\xFF", 4) + "V#"), "q,V,0#v,03#");
    EXPECT_EQ(m_module.SkippedBytes(), 4u);
    // Noise that looks like the start of a frame runs into the next one.
    EXPECT_EQ(m_host.Exchange("I,00S#"), "q,S,0#s,02031#");
    EXPECT_EQ(m_module.Frames(), (std::vector<std::string>{"V#", "I,00", "S#"}));
    EXPECT_EQ(m_module.Rejected(), (std::vector<std::string>{"I,00"}));
}

TEST_F(ModuleSimTest, RecordsEveryHostByteWithItsTime) {
    m_host.Send("V#");
    m_clock.AdvanceToUs(5'000'000);
    m_host.Send("C#");
    const auto& bytes = m_module.HostBytes();
    ASSERT_EQ(bytes.size(), 4u);
    EXPECT_EQ(bytes[0].m_nByte, 'V');
    EXPECT_EQ(bytes[0].m_nAtUs, 0u);
    EXPECT_EQ(bytes[3].m_nByte, '#');
    EXPECT_EQ(bytes[3].m_nAtUs, 5'000'000u);
}

TEST_F(ModuleSimTest, FaultsOnCommandsApplyOnceToTheirCommandOnly) {
    Fault(ESimFault::AckDigit, "V");
    Fault(ESimFault::DataLetter, "C");
    Fault(ESimFault::NoHash, "S");
    Fault(ESimFault::Garbage, "F");
    Fault(ESimFault::Silent, "T");
    Fault(ESimFault::NoHash, "R");
    Fault(ESimFault::AckDigit, "G");
    EXPECT_EQ(m_host.Exchange("S#"), "q,S,0#s,02031");
    EXPECT_EQ(m_host.Exchange("V#"), "q,V,1#");
    EXPECT_EQ(m_host.Exchange("C#"), "q,C,0#d,00#");
    EXPECT_EQ(m_host.Exchange("F#"), std::string("\xFF\x00~?", 4) + "q,F,0#f,00#");
    EXPECT_EQ(m_host.Exchange("T,0#"), "");
    EXPECT_EQ(m_host.Exchange("R,1#"), "q,R,0");
    EXPECT_EQ(m_host.Exchange("G,03#"), "q,G,1#");
    // Used up: every command answers normally again.
    EXPECT_EQ(m_host.Exchange("V#"), "q,V,0#v,03#");
    EXPECT_EQ(m_host.Exchange("C#"), "q,C,0#c,00#");
    EXPECT_EQ(m_host.Exchange("S#"), "q,S,0#s,02031#");
    EXPECT_EQ(m_host.Exchange("F#"), "q,F,0#f,00#");
    EXPECT_EQ(m_host.Exchange("T,0#").substr(0, 8), "q,T,0#t,");
    EXPECT_EQ(m_host.Exchange("R,1#"), "q,R,0#");
    EXPECT_EQ(m_host.Exchange("G,03#"), "q,G,0#");
}

TEST_F(ModuleSimTest, PersistentFaultStaysAndDelayShiftsTheAnswer) {
    Fault(ESimFault::AckDigit, "V", -1, true);
    EXPECT_EQ(m_host.Exchange("V#"), "q,V,1#");
    EXPECT_EQ(m_host.Exchange("V#"), "q,V,1#");
    Fault(ESimFault::Delay, "F", -1, false, 4500);
    const uint64_t sent = m_clock.NowUs();
    m_host.Send("F#");
    EXPECT_EQ(m_host.Read(6), "");  // nothing within the 3 s read time-out
    EXPECT_EQ(m_host.Read(11), "q,F,0#f,00#");
    EXPECT_EQ(m_clock.NowUs(), sent + 4'500'000);
}

TEST_F(ModuleSimTest, ImageRequestFaultsBreakTheStartOfTheTransfer) {
    std::vector<std::string> blocks;
    Fault(ESimFault::AckDigit, "I");
    EXPECT_EQ(m_host.Exchange("I,00000,B4,0090,3#"), "q,I,1#");
    EXPECT_FALSE(m_module.InTransfer());
    Fault(ESimFault::DataLetter, "I");
    EXPECT_EQ(m_host.Fetch("I,00000,B4,0090,3#", 144, blocks), 2);
    EXPECT_EQ(m_module.Frames().back(), "q,i,1#");
    EXPECT_FALSE(m_module.InTransfer());
    EXPECT_EQ(m_host.ReadAll().size(), 183u);  // block 0 came with the "j,"
    Fault(ESimFault::Silent, "I");
    EXPECT_EQ(m_host.Exchange("I,00000,B4,0090,3#"), "");
    EXPECT_EQ(m_host.Fetch("I,00000,B4,0090,3#", 144, blocks), 0);
}

TEST_F(ModuleSimTest, BadCheckByteInBlockFiveBreaksOffAfterFiveAcks) {
    Fault(ESimFault::BadCheck, "", 5);
    std::vector<std::string> blocks;
    EXPECT_EQ(m_host.Fetch("I,00000,B4,0090,3#", 144, blocks), 2);
    EXPECT_EQ(blocks.size(), 6u);
    std::vector<std::string> expected = {"I,00000,B4,0090,3#"};
    expected.insert(expected.end(), 5, "q,i,0#");
    expected.push_back("q,i,1#");
    EXPECT_EQ(m_module.Frames(), expected);
    EXPECT_FALSE(m_module.InTransfer());
    // One shot: the next transfer is whole.
    EXPECT_EQ(m_host.Fetch("I,00000,B4,0090,3#", 144, blocks), 0);
}

TEST_F(ModuleSimTest, BlockFaultsHitOnlyTheirBlock) {
    struct CCase {
        ESimFault m_eKind;
        int m_nBlock;
    };
    for (const CCase c : {CCase{ESimFault::HexLength, 3}, CCase{ESimFault::ShortBlock, 7},
                          CCase{ESimFault::SilentBlock, 2}, CCase{ESimFault::BadCheck, 0},
                          CCase{ESimFault::BadCheck, 143}}) {
        Fault(c.m_eKind, "", c.m_nBlock);
        std::vector<std::string> blocks;
        EXPECT_EQ(m_host.Fetch("I,00000,B4,0090,3#", 144, blocks), 2) << c.m_nBlock;
        // Every block before the faulty one arrived whole.
        EXPECT_GE(blocks.size(), static_cast<size_t>(c.m_nBlock));
        for (int i = 0; i < c.m_nBlock; ++i)
            EXPECT_EQ(blocks[i].size(), 180u);
        m_host.ReadAll();
    }
    std::vector<std::string> blocks;
    EXPECT_EQ(m_host.Fetch("I,00000,B4,0090,3#", 144, blocks), 0);
}

TEST_F(ModuleSimTest, ShortBlockAndBadLengthLookAsAnnounced) {
    Fault(ESimFault::ShortBlock, "", 0);
    m_host.Send("I,00000,B4,0048,1#");
    std::string got = m_host.ReadAll();
    ASSERT_EQ(got.size(), 8u + 2 + 90 + 1);
    EXPECT_EQ(got.substr(8, 2), "B4");
    Fault(ESimFault::HexLength, "", 0);
    m_host.Send("I,00000,B4,0048,1#");
    got = m_host.ReadAll();
    ASSERT_EQ(got.size(), 8u + 2 + 180 + 1);
    EXPECT_EQ(got.substr(8, 2), "G4");
}

TEST_F(ModuleSimTest, DelayedBlockArrivesLate) {
    CSimFault f;
    f.m_eKind = ESimFault::DelayBlock;
    f.m_nBlock = 1;
    f.m_nDelayMs = 2500;
    m_module.AddFault(f);
    m_host.Send("I,00000,B4,0002,3#");
    EXPECT_EQ(m_host.Read(8 + 183).size(), 191u);
    const uint64_t acked = m_clock.NowUs();
    m_host.Send("q,i,0#");
    EXPECT_EQ(m_host.Read(183).size(), 183u);
    EXPECT_EQ(m_clock.NowUs(), acked + 2'500'000);
}

TEST_F(ModuleSimTest, AnotherCommandEndsARunningTransfer) {
    m_host.Send("I,00000,B4,0090,3#");
    EXPECT_EQ(m_host.Read(8 + 183).size(), 191u);
    EXPECT_TRUE(m_module.InTransfer());
    EXPECT_EQ(m_host.Exchange("V#"), "q,V,0#v,03#");
    EXPECT_FALSE(m_module.InTransfer());
    EXPECT_EQ(m_host.Exchange("q,i,0#"), "");
}

}  // namespace
