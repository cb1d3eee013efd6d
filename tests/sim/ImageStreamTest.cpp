// The image blocks checked against the decoder's block layout, written out here block by
// block from the layout table rather than from the simulation's own encoder.
#include <gtest/gtest.h>

#include "sim/ModuleSim.h"
#include "sim/SimHost.h"

namespace {

struct CDecoded {
    std::vector<int> m_primary;  // grey, nibble or luma per pixel; -1 where nothing came
    std::vector<int> m_chroma;   // colour only
};

uint8_t B(const std::string& block, size_t k) {
    return static_cast<uint8_t>(block[k]);
}

// Puts every block where the layout table says it belongs.
CDecoded Decode(const std::vector<std::string>& blocks, int mode, int w, int h) {
    CDecoded d;
    d.m_primary.assign(static_cast<size_t>(w) * h, -1);
    d.m_chroma.assign(static_cast<size_t>(w) * h, -1);
    auto put = [&](std::vector<int>& plane, int x, int y, int v) {
        ASSERT_TRUE(x >= 0 && x < w && y >= 0 && y < h) << x << "," << y;
        plane[static_cast<size_t>(y) * w + x] = v;
    };
    for (size_t bi = 0; bi < blocks.size(); ++bi) {
        const int i = static_cast<int>(bi);
        const std::string& b = blocks[bi];
        const size_t n = b.size();
        if (mode == 3 && w == 180) {
            for (size_t k = 0; k < n; ++k)
                put(d.m_primary, static_cast<int>(k), i, B(b, k));
        } else if (mode == 3 && w == 360) {
            const int o = (i % 2) * 180;
            for (size_t k = 0; k < n; ++k)
                put(d.m_primary, o + static_cast<int>(k), i / 2, B(b, k));
        } else if ((mode == 1 || mode == 2) && w == 180) {
            for (size_t k = 0; k < n; ++k) {
                const int kk = static_cast<int>(k);
                if (kk < 90) {
                    put(d.m_primary, 2 * kk, 2 * i, B(b, k) >> 4);
                    put(d.m_primary, 2 * kk + 1, 2 * i, B(b, k) & 15);
                } else {
                    put(d.m_primary, 2 * kk - 180, 2 * i + 1, B(b, k) >> 4);
                    put(d.m_primary, 2 * kk - 179, 2 * i + 1, B(b, k) & 15);
                }
            }
        } else if ((mode == 1 || mode == 2) && w == 360) {
            for (size_t k = 0; k < n; ++k) {
                put(d.m_primary, 2 * static_cast<int>(k), i, B(b, k) >> 4);
                put(d.m_primary, 2 * static_cast<int>(k) + 1, i, B(b, k) & 15);
            }
        } else if (mode == 4) {
            const int per = w == 180 ? 2 : 4;
            const int o = 90 * (i % per);
            for (size_t k = 0; k < n / 2; ++k) {
                put(d.m_primary, o + static_cast<int>(k), i / per, B(b, 2 * k));
                put(d.m_chroma, o + static_cast<int>(k), i / per, B(b, 2 * k + 1));
            }
        }
    }
    return d;
}

struct CStandard {
    const char* m_pFrame;
    int m_nMode, m_nWidth, m_nHeight, m_nCount;
};

constexpr CStandard kStandard[] = {
    {"I,00000,B4,0048,1#", 1, 180, 144, 72},  {"I,00000,B4,0048,2#", 2, 180, 144, 72},
    {"I,00000,B4,0090,3#", 3, 180, 144, 144}, {"I,00000,B4,0120,4#", 4, 180, 144, 288},
    {"I,00000,B4,0120,1#", 1, 360, 288, 288}, {"I,00000,B4,0120,2#", 2, 360, 288, 288},
    {"I,00000,B4,0240,3#", 3, 360, 288, 576}, {"I,00000,B4,0480,4#", 4, 360, 288, 1152},
};

class ImageStreamTest : public ::testing::Test {
  protected:
    CVirtualClock m_clock;
    CModuleSim m_module;
    CSimHost m_host{m_clock, m_module};
};

TEST_F(ImageStreamTest, EveryStandardFrameDecodesToTheSimulatorsPicture) {
    for (const auto& s : kStandard) {
        SCOPED_TRACE(s.m_pFrame);
        std::vector<std::string> blocks;
        ASSERT_EQ(m_host.Fetch(s.m_pFrame, s.m_nCount, blocks), 0);
        ASSERT_EQ(blocks.size(), static_cast<size_t>(s.m_nCount));
        for (const auto& b : blocks)
            ASSERT_EQ(b.size(), 180u);
        // Transfer over after the last acknowledgement: nothing more comes.
        EXPECT_EQ(m_host.ReadAll(), "");
        EXPECT_FALSE(m_module.InTransfer());

        const CGreyPicture& pic = m_module.LastPicture();
        ASSERT_EQ(pic.m_nWidth, s.m_nWidth);
        ASSERT_EQ(pic.m_nHeight, s.m_nHeight);
        const CDecoded d = Decode(blocks, s.m_nMode, s.m_nWidth, s.m_nHeight);
        for (size_t p = 0; p < pic.m_pixels.size(); ++p) {
            const int v = pic.m_pixels[p];
            const int expected = s.m_nMode == 1 ? (v & 15) : s.m_nMode == 2 ? (v >> 4) : v;
            ASSERT_EQ(d.m_primary[p], expected) << "pixel " << p;
            if (s.m_nMode == 4) {
                ASSERT_EQ(d.m_chroma[p], m_module.LastChroma()[p]) << "pixel " << p;
            }
        }
    }
}

TEST_F(ImageStreamTest, WideFormatsArePlainRowsPaddedWithZeros) {
    struct CWide {
        const char* m_pFrame;
        int m_nWidth, m_nHeight, m_nCount;
    };
    for (const CWide& s :
         {CWide{"I,00000,FF,00C9,3#", 256, 200, 0xC9}, CWide{"I,00000,FF,0405,1#", 512, 512, 0x405},
          CWide{"I,00000,FF,06C7,4#", 768, 576, 0x6C7}}) {
        SCOPED_TRACE(s.m_pFrame);
        std::vector<std::string> blocks;
        ASSERT_EQ(m_host.Fetch(s.m_pFrame, s.m_nCount, blocks), 0);
        std::string all;
        for (const auto& b : blocks) {
            ASSERT_EQ(b.size(), 255u);
            all += b;
        }
        const CGreyPicture& pic = m_module.LastPicture();
        ASSERT_EQ(pic.m_nWidth, s.m_nWidth);
        ASSERT_EQ(pic.m_nHeight, s.m_nHeight);
        const size_t size = pic.m_pixels.size();
        ASSERT_GE(all.size(), size);
        EXPECT_EQ(all.substr(0, size), std::string(pic.m_pixels.begin(), pic.m_pixels.end()));
        EXPECT_EQ(all.substr(size), std::string(all.size() - size, '\0'));
    }
}

TEST_F(ImageStreamTest, LengthFieldIsUpperCaseHexOfTheRequestedBlockSize) {
    m_host.Send("I,00000,B4,0002,3#");
    std::string got = m_host.Read(8 + 2);
    EXPECT_EQ(got, "q,I,0#i,B4");
    m_host.ReadAll();
    m_host.Send("I,00000,0a,0001,3#");
    got = m_host.Read(8 + 2 + 10 + 1);
    EXPECT_EQ(got.substr(8, 2), "0A");
    m_host.Send("I,00000,00,0002,3#");
    EXPECT_EQ(m_host.ReadAll(), std::string("q,I,0#i,00\0", 11));  // check byte of nothing is 0
    m_host.Send("q,i,0#");
    EXPECT_EQ(m_host.ReadAll(), std::string("00\0", 3));
    EXPECT_TRUE(m_module.InTransfer());  // waits for the last block's acknowledgement
    m_host.Send("q,i,0#");
    EXPECT_FALSE(m_module.InTransfer());
    m_host.Send("I,00000,B4,0000,3#");
    EXPECT_EQ(m_host.ReadAll(), "q,I,0#i,");
    EXPECT_FALSE(m_module.InTransfer());
}

TEST_F(ImageStreamTest, CounterChangesThePictureOfEveryRequest) {
    std::vector<std::string> first;
    std::vector<std::string> second;
    const CGreyPicture next = m_module.NextPicture(180, 144);
    ASSERT_EQ(m_host.Fetch("I,00000,B4,0090,3#", 144, first), 0);
    EXPECT_EQ(m_module.FrameCounter(), 1u);
    EXPECT_EQ(m_module.LastPicture().m_pixels, next.m_pixels);
    ASSERT_EQ(m_host.Fetch("I,00000,B4,0090,3#", 144, second), 0);
    EXPECT_EQ(m_module.FrameCounter(), 2u);
    EXPECT_NE(first, second);
    // The channel number is part of the picture too.
    const CGreyPicture onTwo = m_module.NextPicture(180, 144);
    EXPECT_EQ(m_host.Exchange("G,02#"), "q,G,0#");
    EXPECT_NE(m_module.NextPicture(180, 144).m_pixels, onTwo.m_pixels);
}

TEST_F(ImageStreamTest, SizeComesFromParametersThenConfigurationThenTheRequest) {
    int w = 0;
    int h = 0;
    m_module.RequestSize(0xB4, 0x90, 3, w, h);
    EXPECT_EQ(w, 180);
    EXPECT_EQ(h, 144);
    m_module.RequestSize(0xB4, 0x480, 4, w, h);
    EXPECT_EQ(w, 360);
    EXPECT_EQ(h, 288);
    m_module.m_nWidth = 256;
    m_module.m_nHeight = 10;
    m_module.RequestSize(0xB4, 0x90, 3, w, h);
    EXPECT_EQ(w, 256);
    EXPECT_EQ(h, 10);
    EXPECT_EQ(m_host.Exchange("P,008,000,168,240,180,240,1,0#"), "q,P,0#");
    m_module.RequestSize(0xB4, 0x90, 3, w, h);
    EXPECT_EQ(w, 360);
    EXPECT_EQ(h, 288);
    // A 180-wide request then carries the first rows of the 360-wide picture.
    std::vector<std::string> blocks;
    ASSERT_EQ(m_host.Fetch("I,00000,B4,0002,3#", 2, blocks), 0);
    const auto& px = m_module.LastPicture().m_pixels;
    EXPECT_EQ(blocks[0] + blocks[1], std::string(px.begin(), px.begin() + 360));
}

TEST_F(ImageStreamTest, OffsetSkipsIntoTheStream) {
    std::vector<std::string> blocks;
    ASSERT_EQ(m_host.Fetch("I,0000A,B4,0090,3#", 1, blocks), 0);
    const auto& px = m_module.LastPicture().m_pixels;
    ASSERT_EQ(px.size(), 180u * 144);
    EXPECT_EQ(blocks[0], std::string(px.begin() + 10, px.begin() + 190));
}

TEST_F(ImageStreamTest, LoadedPictureIsScaledToTheRequest) {
    CGreyPicture src;
    src.m_nWidth = 2;
    src.m_nHeight = 2;
    src.m_pixels = {10, 20, 30, 40};
    m_module.SetPicture(src);
    std::vector<std::string> blocks;
    ASSERT_EQ(m_host.Fetch("I,00000,B4,0090,3#", 144, blocks), 0);
    EXPECT_EQ(B(blocks[0], 0), 10);
    EXPECT_EQ(B(blocks[0], 179), 20);
    EXPECT_EQ(B(blocks[143], 0), 30);
    EXPECT_EQ(B(blocks[143], 179), 40);
    EXPECT_EQ(B(blocks[71], 89), 10);
    EXPECT_EQ(B(blocks[72], 90), 40);
}

}  // namespace
