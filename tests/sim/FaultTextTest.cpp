#include <gtest/gtest.h>

#include "sim/SimFault.h"

namespace {

TEST(FaultTextTest, ParsesEveryKind) {
    struct CCase {
        const char* m_pText;
        ESimFault m_eKind;
        const char* m_pTarget;
        int m_nBlock;
        uint32_t m_nMs;
        bool m_bPersistent;
    };
    const CCase cases[] = {
        {"silent:V", ESimFault::Silent, "V", -1, 0, false},
        {"delay:I:4000", ESimFault::Delay, "I", -1, 4000, false},
        {"ack:I+", ESimFault::AckDigit, "I", -1, 0, true},
        {"letter:S", ESimFault::DataLetter, "S", -1, 0, false},
        {"nohash:T", ESimFault::NoHash, "T", -1, 0, false},
        {"garbage:G", ESimFault::Garbage, "G", -1, 0, false},
        {"checksum:5", ESimFault::BadCheck, "", 5, 0, false},
        {"hexlen:3+", ESimFault::HexLength, "", 3, 0, true},
        {"short:7", ESimFault::ShortBlock, "", 7, 0, false},
        {"silent-block:0", ESimFault::SilentBlock, "", 0, 0, false},
        {"delay-block:2:3500", ESimFault::DelayBlock, "", 2, 3500, false},
        {"modem-error:atx3", ESimFault::ModemError, "ATX3", -1, 0, false},
        {"dial-never", ESimFault::DialNever, "", -1, 0, false},
        {"dial-answer:NO ANSWER+", ESimFault::DialAnswer, "NO ANSWER", -1, 0, true},
        {"dial-ring", ESimFault::DialRing, "", -1, 0, false},
    };
    for (const auto& c : cases) {
        CSimFault f;
        std::string error;
        ASSERT_TRUE(ParseSimFault(c.m_pText, f, &error)) << c.m_pText << ": " << error;
        EXPECT_EQ(f.m_eKind, c.m_eKind) << c.m_pText;
        EXPECT_EQ(f.m_sTarget, c.m_pTarget) << c.m_pText;
        EXPECT_EQ(f.m_nBlock, c.m_nBlock) << c.m_pText;
        EXPECT_EQ(f.m_nDelayMs, c.m_nMs) << c.m_pText;
        EXPECT_EQ(f.m_bPersistent, c.m_bPersistent) << c.m_pText;
    }
}

TEST(FaultTextTest, RejectsMalformedSpecs) {
    for (const char* text :
         {"", "silent", "silent:X", "silent:VV", "delay:V", "delay:V:x", "checksum", "checksum:-1",
          "checksum:a", "delay-block:3", "modem-error", "dial-never:1", "dial-answer",
          "dial-answer:", "dial-answer:A:B", "dial-answer:OK\r\nCONNECT", "dial-ring:1",
          "bogus:V"}) {
        CSimFault f;
        std::string error;
        EXPECT_FALSE(ParseSimFault(text, f, &error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

TEST(FaultTextTest, OneShotFaultsAreUsedUpPersistentOnesStay) {
    CSimFaultList list;
    CSimFault once;
    ParseSimFault("checksum:5", once, nullptr);
    CSimFault always;
    ParseSimFault("ack:V+", always, nullptr);
    list.Add(once);
    list.Add(always);
    EXPECT_FALSE(list.Take(ESimFault::BadCheck, "", 4));
    EXPECT_FALSE(list.Take(ESimFault::AckDigit, "S", -1));
    EXPECT_TRUE(list.Take(ESimFault::BadCheck, "", 5));
    EXPECT_FALSE(list.Take(ESimFault::BadCheck, "", 5));
    EXPECT_TRUE(list.Take(ESimFault::AckDigit, "V", -1));
    EXPECT_TRUE(list.Take(ESimFault::AckDigit, "V", -1));
    EXPECT_EQ(list.All().size(), 1u);
}

}  // namespace
