#include <gtest/gtest.h>

#include "sim/ModuleSim.h"
#include "sim/SimHost.h"

namespace {

// 8 bytes of acceptance and "i,", then 144 blocks of 2 + 180 + 1 bytes, 10 bits a byte.
constexpr uint64_t kPictureBytes = 6 + 2 + 144 * (2 + 180 + 1);

uint64_t LineTimeUs(uint64_t bytes, uint64_t baud) {
    return (bytes * 10 * 1'000'000 + baud - 1) / baud;  // rounded up to the microsecond
}

TEST(PacingTest, Picture180x144Mode3At115200TakesItsLineTime) {
    CVirtualClock clock;
    CModuleSim module;
    module.SetPacing(115200, 0);
    CSimHost host(clock, module);
    clock.AdvanceToUs(1'000'000);
    std::vector<std::string> blocks;
    ASSERT_EQ(host.Fetch("I,00000,B4,0090,3#", 144, blocks), 0);
    // The host acknowledges every block the moment its check byte is in, so the line
    // never rests: the last byte arrives after exactly the line time of all bytes.
    EXPECT_EQ(clock.NowUs() - 1'000'000, LineTimeUs(kPictureBytes, 115200));
    EXPECT_EQ(LineTimeUs(kPictureBytes, 115200), 2'288'195u);
}

TEST(PacingTest, LatencyComesBeforeEveryAnswer) {
    CVirtualClock clock;
    CModuleSim module;
    module.SetPacing(115200, 5);
    CSimHost host(clock, module);
    std::vector<std::string> blocks;
    ASSERT_EQ(host.Fetch("I,00000,B4,0090,3#", 144, blocks), 0);
    // One answer to the request (acceptance, "i," and block 0), one per further block.
    const uint64_t expected = 144 * 5000 + (kPictureBytes * 10 * 1'000'000) / 115200;
    EXPECT_NEAR(static_cast<double>(clock.NowUs()), static_cast<double>(expected), 144.0);
}

TEST(PacingTest, BytesFollowEachOtherAtTheByteTime) {
    CVirtualClock clock;
    CModuleSim module;
    module.SetPacing(9600, 0);
    std::vector<CTimedByte> out;
    const uint8_t v[] = {'V', '#'};
    module.OnHostBytes(v, 2, 10'000, out);
    ASSERT_EQ(out.size(), 11u);
    for (size_t j = 0; j < out.size(); ++j)
        EXPECT_EQ(out[j].m_nAtUs, 10'000 + LineTimeUs(j + 1, 9600)) << j;
    // A second question while the first answer is still on the line queues behind it.
    out.clear();
    module.OnHostBytes(v, 2, 10'000, out);
    EXPECT_EQ(out.front().m_nAtUs, 10'000 + LineTimeUs(12, 9600));
}

TEST(PacingTest, UnpacedAnswersArriveAtOnceAfterTheLatency) {
    CModuleSim module;
    module.SetPacing(0, 40);
    std::vector<CTimedByte> out;
    const uint8_t v[] = {'S', '#'};
    module.OnHostBytes(v, 2, 1'000, out);
    ASSERT_EQ(out.size(), 14u);
    for (const auto& b : out)
        EXPECT_EQ(b.m_nAtUs, 41'000u);
}

}  // namespace
