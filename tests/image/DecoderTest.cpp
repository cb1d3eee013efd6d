#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "image/Decoder.h"
#include "image/Image.h"

namespace {

constexpr uint32_t kUntouchedScreen = 0x12345678u;
constexpr uint8_t kUntouchedByte = 0xEE;

uint32_t Grey(uint32_t v) {
    return 0xFF000000u | v << 16 | v << 8 | v;
}
uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) {
    return 0xFF000000u | r << 16 | g << 8 | b;
}

// One fetch's worth of targets, every buffer exactly as large as it must be, so that a
// write outside shows under the address sanitizer; untouched pixels keep a marker.
struct CPicture {
    CPicture(int w, int h, bool colour) : m_nWidth(w), m_nHeight(h), m_bColour(colour) {
        EXPECT_TRUE(m_image.Create(w, h, colour));
        EXPECT_TRUE(m_image.AllocateBits());
        std::fill(m_image.Bits(), m_image.Bits() + m_image.BitsSize(), kUntouchedByte);
        m_screenPixels.assign(static_cast<size_t>(w) * h, kUntouchedScreen);
        m_screen = {m_screenPixels.data(), w, h, w};
        m_keep.assign(2 * static_cast<size_t>(w) * h, 0);
    }

    CRowSpan Decode(int block, const std::vector<uint8_t>& bytes, int mode) {
        CBlockJob job;
        job.m_iBlock = block;
        job.m_pData = bytes.data();
        job.m_nLen = static_cast<int>(bytes.size());
        job.m_nWidth = m_nWidth;
        job.m_nHeight = m_nHeight;
        job.m_bColour = m_bColour;
        job.m_iMode = mode;
        job.m_pImage = &m_image;
        job.m_pKeep = m_keep.data();
        job.m_nKeepSize = m_keep.size();
        job.m_pScreen = &m_screen;
        return m_decoder.DecodeBlock(job, m_nibb2);
    }

    uint32_t Screen(int x, int y) const {
        return m_screenPixels[static_cast<size_t>(y) * m_nWidth + x];
    }
    // Grey byte of image pixel (x, y), or its blue, green, red bytes when colour.
    uint8_t Stored(int x, int y) { return m_image.Row(y)[x]; }
    std::vector<uint8_t> StoredBgr(int x, int y) {
        const uint8_t* p = m_image.Row(y) + 3 * x;
        return {p[0], p[1], p[2]};
    }
    // Pixels of image row y, or of the whole picture, that a block wrote.
    int DrawnIn(int y) const {
        int count = 0;
        for (int x = 0; x < m_nWidth; ++x) {
            count += Screen(x, y) != kUntouchedScreen;
        }
        return count;
    }
    int DrawnPixels() const {
        return static_cast<int>(std::count_if(m_screenPixels.begin(), m_screenPixels.end(),
                                              [](uint32_t p) { return p != kUntouchedScreen; }));
    }
    int StoredBytes() {
        return static_cast<int>(std::count_if(m_image.Bits(), m_image.Bits() + m_image.BitsSize(),
                                              [](uint8_t b) { return b != kUntouchedByte; }));
    }

    int m_nWidth;
    int m_nHeight;
    bool m_bColour;
    CImage m_image;
    std::vector<uint32_t> m_screenPixels;
    CScreenImage m_screen;
    std::vector<uint8_t> m_keep;
    CYuvDecoder m_decoder;
    bool m_nibb2 = false;
};

std::vector<uint8_t> Ramp(int n, int start = 0) {
    std::vector<uint8_t> bytes(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k) {
        bytes[k] = static_cast<uint8_t>(start + k);
    }
    return bytes;
}

void ExpectSpan(const CRowSpan& span, int first, int last) {
    EXPECT_EQ(span.m_nFirst, first);
    EXPECT_EQ(span.m_nLast, last);
}

}  // namespace

// ---- colour tables and conversion ----

TEST(YuvTables, EntriesTruncateTowardZero) {
    CYuvDecoder d;
    EXPECT_EQ(d.m_yuvTab1[3][0], -1);
    EXPECT_EQ(d.m_yuvTab2[250][0], 433);
    EXPECT_EQ(d.m_yuvTab1[255][0], -86);
    EXPECT_EQ(d.m_yuvTab1[255][1], 349);
    EXPECT_EQ(d.m_yuvTab2[255][0], 441);
    EXPECT_EQ(d.m_yuvTab2[255][1], -177);
    EXPECT_EQ(d.m_yuvTab1[128][1], 175);
    EXPECT_EQ(d.m_yuvTab2[128][1], -89);
    EXPECT_EQ(d.m_yuvTab1[0][0], 0);
    EXPECT_DOUBLE_EQ(d.m_dYuvCoef[0], -0.338);
    EXPECT_DOUBLE_EQ(d.m_dYuvCoef[3], -0.698);
    EXPECT_EQ(d.m_cPhase, 1);
    EXPECT_EQ(d.s_prevLuma, 0);
}

TEST(YuvTables, RebuildResetsTermsAndPhaseButNotTheLuma) {
    CYuvDecoder d;
    uint8_t b, g, r;
    d.YuvToRgb(77, 200, b, g, r);
    ASSERT_EQ(d.m_cPhase, 0);
    d.BuildYuvTables();
    EXPECT_EQ(d.m_cPhase, 1);
    for (int t : d.m_chroma) {
        EXPECT_EQ(t, 0);
    }
    EXPECT_EQ(d.s_prevLuma, 77);
}

TEST(YuvToRgb, ExamplesWithPhaseCarriedTermsAndPreviousLuma) {
    CYuvDecoder d;
    uint8_t b = 1, g = 1, r = 1;
    // First pixel: phase 1, terms 0, previous luma 0; the pixel's own luma is not used.
    d.YuvToRgb(100, 128, b, g, r);
    EXPECT_EQ(b, 0);  // -16
    EXPECT_EQ(g, 28);
    EXPECT_EQ(r, 0);  // -237
    EXPECT_EQ(d.m_cPhase, 0);
    EXPECT_EQ(d.s_prevLuma, 100);
    // Phase 0 refreshes t0, t2; t1 = 175 and t3 = -89 carry over.
    d.YuvToRgb(9, 128, b, g, r);
    EXPECT_EQ(b, 84);
    EXPECT_EQ(g, 85);
    EXPECT_EQ(r, 84);
    EXPECT_EQ(d.m_chroma[0], -43);
    EXPECT_EQ(d.m_chroma[2], 221);
    EXPECT_EQ(d.m_cPhase, 1);
    // Phase 1 with a new chroma leaves t0 and t2 as they were.
    d.s_prevLuma = 255;
    d.YuvToRgb(0, 255, b, g, r);
    EXPECT_EQ(b, 255);                   // 255 + 349 - 191 = 413
    EXPECT_EQ(g, 255 - 43 - 177 + 117);  // 152
    EXPECT_EQ(r, 239);                   // 255 + 221 - 237
    // A zero sum is black, not a wrap-around.
    d.s_prevLuma = 0;
    d.YuvToRgb(0, 0, b, g, r);  // phase 0: t0 = t2 = 0, t1 = 349, t3 = -177
    EXPECT_EQ(b, 158);
    EXPECT_EQ(g, 0);
    EXPECT_EQ(r, 0);
}

// ---- 8-bit grey ----

TEST(DecodeGrey, Width180BlockIsOneRowStoredBottomUp) {
    CPicture pic(180, 144, false);
    ExpectSpan(pic.Decode(0, Ramp(180), 3), 0, 0);
    for (int x = 0; x < 180; ++x) {
        ASSERT_EQ(pic.Screen(x, 0), Grey(x)) << x;
    }
    EXPECT_TRUE(std::equal(pic.m_image.Bits() + 143 * 180, pic.m_image.Bits() + 144 * 180,
                           Ramp(180).begin()));
    EXPECT_EQ(pic.DrawnPixels(), 180);
    EXPECT_EQ(pic.StoredBytes(), 180);

    ExpectSpan(pic.Decode(143, Ramp(180, 7), 3), 143, 143);
    EXPECT_EQ(pic.Screen(0, 143), Grey(7));
    EXPECT_EQ(pic.m_image.Bits()[0], 7) << "the last row is the first in memory";
}

TEST(DecodeGrey, Width360TwoBlocksPerRow) {
    CPicture pic(360, 288, false);
    ExpectSpan(pic.Decode(3, Ramp(180, 1), 3), 1, 1);
    for (int x = 0; x < 180; ++x) {
        ASSERT_EQ(pic.Screen(x, 1), kUntouchedScreen);
        ASSERT_EQ(pic.Screen(180 + x, 1), Grey(x + 1)) << x;
    }
    const uint8_t* row = pic.m_image.Bits() + (288 - 2) * 360;
    EXPECT_EQ(row[179], kUntouchedByte);
    EXPECT_TRUE(std::equal(row + 180, row + 360, Ramp(180, 1).begin()));
    EXPECT_EQ(pic.DrawnPixels(), 180);
    EXPECT_EQ(pic.StoredBytes(), 180);

    ExpectSpan(pic.Decode(2, Ramp(180, 50), 3), 1, 1);
    EXPECT_EQ(pic.Screen(0, 1), Grey(50));
    EXPECT_EQ(pic.Stored(179, 1), 50 + 179);
}

TEST(DecodeGrey, ShortBlockWritesOnlyItsBytes) {
    CPicture pic(180, 144, false);
    pic.Decode(4, Ramp(10, 30), 3);
    EXPECT_EQ(pic.DrawnIn(4), 10);
    EXPECT_EQ(pic.Stored(9, 4), 39);
    EXPECT_EQ(pic.Stored(10, 4), kUntouchedByte);
    ExpectSpan(pic.Decode(5, {}, 3), -1, -1);
    EXPECT_EQ(pic.DrawnIn(5), 0);
}

// ---- nibbles ----

TEST(DecodeNibble, Width180BlockIsTwoRowsOfNibbles) {
    for (int mode : {1, 2}) {
        SCOPED_TRACE(mode);
        CPicture pic(180, 144, false);
        std::vector<uint8_t> block(180, 0);
        block[0] = 0x3C;
        block[89] = 0x71;
        block[90] = 0xA5;
        block[179] = 0x0F;
        const int s = mode == 1 ? 1 : 16;
        ExpectSpan(pic.Decode(0, block, mode), 0, 1);
        const std::vector<std::tuple<int, int, int>> expected = {
            {0, 0, 3},  {1, 0, 12}, {178, 0, 7}, {179, 0, 1},
            {0, 1, 10}, {1, 1, 5},  {178, 1, 0}, {179, 1, 15}};
        for (auto [x, y, v] : expected) {
            EXPECT_EQ(pic.Screen(x, y), Grey(s * v)) << x << "," << y;
            EXPECT_EQ(pic.Stored(x, y), s * v) << x << "," << y;
        }
        EXPECT_EQ(pic.DrawnPixels(), 360);
        EXPECT_EQ(pic.StoredBytes(), 360);
        EXPECT_EQ(pic.m_nibb2, mode == 2);

        ExpectSpan(pic.Decode(3, block, mode), 6, 7);
        EXPECT_EQ(pic.Screen(1, 7), Grey(s * 5));
    }
}

TEST(DecodeNibble, Width360BlockIsOneRow) {
    for (int mode : {1, 2}) {
        SCOPED_TRACE(mode);
        CPicture pic(360, 288, false);
        std::vector<uint8_t> block(180, 0x12);
        block[179] = 0xA5;
        const int s = mode == 1 ? 1 : 16;
        ExpectSpan(pic.Decode(5, block, mode), 5, 5);
        EXPECT_EQ(pic.Screen(0, 5), Grey(s * 1));
        EXPECT_EQ(pic.Screen(1, 5), Grey(s * 2));
        EXPECT_EQ(pic.Screen(358, 5), Grey(s * 10));
        EXPECT_EQ(pic.Screen(359, 5), Grey(s * 5));
        EXPECT_EQ(pic.Stored(358, 5), s * 10);
        EXPECT_EQ(pic.DrawnPixels(), 360);
    }
}

TEST(DecodeNibble, Nibble2BlocksAreKeptBottomUpAndMarkTheFlag) {
    CPicture pic(180, 144, false);
    const std::vector<uint8_t> block = Ramp(180, 9);
    pic.Decode(0, block, 2);
    EXPECT_TRUE(pic.m_nibb2);
    EXPECT_TRUE(std::equal(block.begin(), block.end(), pic.m_keep.begin() + 143 * 180));
    pic.Decode(71, block, 2);
    EXPECT_TRUE(std::equal(block.begin(), block.end(), pic.m_keep.begin() + 72 * 180));

    CPicture wide(360, 288, false);
    wide.Decode(10, block, 2);
    EXPECT_TRUE(std::equal(block.begin(), block.end(), wide.m_keep.begin() + 277 * 360));
    // An empty Nibble-2 block still marks the flag; nothing clears it.
    CPicture empty(180, 144, false);
    empty.Decode(0, {}, 2);
    EXPECT_TRUE(empty.m_nibb2);
    empty.Decode(1, Ramp(180), 3);
    empty.Decode(2, Ramp(180), 1);
    EXPECT_TRUE(empty.m_nibb2);
}

TEST(DecodeNibble, Nibble1AfterNibble2MergesToEightBits) {
    CPicture pic(180, 144, false);
    std::vector<uint8_t> high(180, 0), low(180, 0);
    high[0] = 0xAB;
    high[90] = 0xCD;
    low[0] = 0x12;
    low[90] = 0x34;
    pic.Decode(0, high, 2);
    ASSERT_TRUE(pic.m_nibb2);
    ExpectSpan(pic.Decode(0, low, 1), 0, 1);
    const std::vector<std::tuple<int, int, int>> expected = {
        {0, 0, 0xA1}, {1, 0, 0xB2}, {0, 1, 0xC3}, {1, 1, 0xD4}};
    for (auto [x, y, v] : expected) {
        EXPECT_EQ(pic.Screen(x, y), Grey(v)) << x << "," << y;
        EXPECT_EQ(pic.Stored(x, y), v) << x << "," << y;
    }
    // Without kept data for a block the merge leaves the Nibble-1 values as they are.
    pic.Decode(5, low, 1);
    EXPECT_EQ(pic.Stored(0, 10), 1);
    EXPECT_EQ(pic.Stored(1, 11), 4);
}

// A module's Nibble-2 then Nibble-1 fetch of an 8-bit picture gives the picture back.
TEST(DecodeNibble, WholeNibblePairRebuildsThePicture) {
    for (auto [w, h] : {std::pair{180, 144}, std::pair{360, 288}}) {
        SCOPED_TRACE(w);
        std::mt19937 rng(w);
        std::vector<uint8_t> picture(static_cast<size_t>(w) * h);
        for (auto& v : picture) {
            v = static_cast<uint8_t>(rng());
        }
        // Pixels in order, two per byte, 360 pixels (180 bytes) per block.
        const int blocks = w * h / 360;
        auto blockOf = [&](int i, bool highHalf) {
            std::vector<uint8_t> bytes(180);
            for (int k = 0; k < 180; ++k) {
                const uint8_t a = picture[static_cast<size_t>(i) * 360 + 2 * k];
                const uint8_t c = picture[static_cast<size_t>(i) * 360 + 2 * k + 1];
                bytes[k] = highHalf ? static_cast<uint8_t>((a & 0xF0) | c >> 4)
                                    : static_cast<uint8_t>((a & 0x0F) << 4 | (c & 0x0F));
            }
            return bytes;
        };
        CPicture pic(w, h, false);
        for (int i = 0; i < blocks; ++i) {
            pic.Decode(i, blockOf(i, true), 2);
        }
        for (int i = 0; i < blocks; ++i) {
            pic.Decode(i, blockOf(i, false), 1);
        }
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const uint8_t v = picture[static_cast<size_t>(y) * w + x];
                ASSERT_EQ(pic.Stored(x, y), v) << x << "," << y;
                ASSERT_EQ(pic.Screen(x, y), Grey(v)) << x << "," << y;
            }
        }
    }
}

// ---- colour ----

TEST(DecodeColour, BlocksFillQuartersAndHalvesOfRows) {
    for (auto [w, h, block, row, x0] :
         {std::tuple{180, 144, 1, 0, 90}, std::tuple{180, 144, 4, 2, 0},
          std::tuple{360, 288, 6, 1, 180}, std::tuple{360, 288, 7, 1, 270}}) {
        SCOPED_TRACE(block);
        CPicture pic(w, h, true);
        std::vector<uint8_t> bytes(180);
        for (int k = 0; k < 90; ++k) {
            bytes[2 * k] = static_cast<uint8_t>(3 * k);
            bytes[2 * k + 1] = static_cast<uint8_t>(255 - 2 * k);
        }
        CYuvDecoder reference;
        ExpectSpan(pic.Decode(block, bytes, 4), row, row);
        for (int k = 0; k < 90; ++k) {
            uint8_t b, g, r;
            reference.YuvToRgb(bytes[2 * k], bytes[2 * k + 1], b, g, r);
            ASSERT_EQ(pic.Screen(x0 + k, row), Rgb(r, g, b)) << k;
            ASSERT_EQ(pic.StoredBgr(x0 + k, row), (std::vector<uint8_t>{b, g, r})) << k;
        }
        EXPECT_EQ(pic.DrawnPixels(), 90);
        EXPECT_EQ(pic.StoredBytes(), 270);
        EXPECT_EQ(pic.m_decoder.s_prevLuma, reference.s_prevLuma);
        EXPECT_EQ(pic.m_decoder.m_cPhase, reference.m_cPhase);
    }
}

TEST(DecodeColour, FirstPixelExampleOnScreenAndInBuffer) {
    CPicture pic(180, 144, true);
    pic.Decode(0, {100, 128, 0, 128}, 4);
    EXPECT_EQ(pic.Screen(0, 0), Rgb(0, 28, 0));
    EXPECT_EQ(pic.StoredBgr(0, 0), (std::vector<uint8_t>{0, 28, 0}));
    EXPECT_EQ(pic.Screen(1, 0), Rgb(84, 85, 84));
    EXPECT_EQ(pic.StoredBgr(1, 0), (std::vector<uint8_t>{84, 85, 84}));
    EXPECT_EQ(pic.DrawnPixels(), 2);
}

TEST(DecodeColour, PhaseRunsOnAcrossBlocks) {
    CPicture pic(180, 144, true);
    CYuvDecoder reference;
    uint8_t b, g, r;
    pic.Decode(0, {100, 128, 7}, 4);  // one pixel; the odd byte is no pixel
    reference.YuvToRgb(100, 128, b, g, r);
    EXPECT_EQ(pic.m_decoder.m_cPhase, 0);
    pic.Decode(1, {40, 200}, 4);
    reference.YuvToRgb(40, 200, b, g, r);
    EXPECT_EQ(pic.Screen(90, 0), Rgb(r, g, b));
    EXPECT_EQ(pic.Screen(1, 0), kUntouchedScreen);
}

// ---- no decoding ----

TEST(DecodeNothing, CombinationsWithoutADecodingLeaveEverythingAlone) {
    struct Case {
        int w;
        bool colour;
        int mode;
    };
    for (auto c : {Case{180, true, 3}, Case{360, true, 3}, Case{180, false, 4}, Case{360, false, 4},
                   Case{180, true, 1}, Case{360, true, 2}, Case{200, false, 3}, Case{180, false, 0},
                   Case{180, false, 5}}) {
        SCOPED_TRACE(testing::Message() << c.w << " colour " << c.colour << " mode " << c.mode);
        CPicture pic(c.w, 144, c.colour);
        pic.m_decoder.s_prevLuma = 33;
        const CRowSpan span = pic.Decode(0, Ramp(180, 1), c.mode);
        EXPECT_TRUE(span.IsEmpty());
        EXPECT_EQ(pic.DrawnPixels(), 0);
        EXPECT_EQ(pic.StoredBytes(), 0);
        EXPECT_TRUE(
            std::all_of(pic.m_keep.begin(), pic.m_keep.end(), [](uint8_t v) { return v == 0; }));
        EXPECT_FALSE(pic.m_nibb2);
        EXPECT_EQ(pic.m_decoder.s_prevLuma, 33);
        EXPECT_EQ(pic.m_decoder.m_cPhase, 1);
    }
}

// ---- wide grey formats ----

TEST(DecodeWide, BytesFillConsecutiveRows) {
    for (int w : {256, 512, 768}) {
        for (bool colour : {false, true}) {
            SCOPED_TRACE(testing::Message() << w << " colour " << colour);
            const int h = 3;
            CPicture pic(w, h, colour);
            auto value = [](int pos) { return static_cast<uint8_t>(pos * 13 + pos / 256); };
            int pos = 0;
            int rowsSeen = -1;
            for (int i = 0; pos < w * h + 600; ++i) {
                std::vector<uint8_t> block(255);
                for (int k = 0; k < 255; ++k) {
                    block[k] = value(pos + k);
                }
                const CRowSpan span = pic.Decode(i, block, 1 + i % 4);
                if (pos < w * h) {
                    EXPECT_EQ(span.m_nFirst, pos / w);
                    EXPECT_EQ(span.m_nLast, std::min(pos + 254, w * h - 1) / w);
                    rowsSeen = span.m_nLast;
                } else {
                    EXPECT_TRUE(span.IsEmpty()) << "bytes beyond the image are dropped";
                }
                pos += 255;
            }
            EXPECT_EQ(rowsSeen, h - 1);
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    const uint8_t v = value(y * w + x);
                    ASSERT_EQ(pic.Screen(x, y), Grey(v)) << x << "," << y;
                    if (colour) {
                        ASSERT_EQ(pic.StoredBgr(x, y), (std::vector<uint8_t>{v, v, v}));
                    } else {
                        ASSERT_EQ(pic.Stored(x, y), v) << x << "," << y;
                    }
                }
            }
            EXPECT_FALSE(pic.m_nibb2);
            // Block 0 of the next fetch starts at the top left again.
            ExpectSpan(pic.Decode(0, {1, 2, 3}, 3), 0, 0);
            EXPECT_EQ(pic.Screen(2, 0), Grey(3));
        }
    }
}

// ---- blocks that do not fit ----

TEST(DecodeBounds, LongBlocksDropTheirExcess) {
    const std::vector<uint8_t> longBlock = Ramp(255, 1);
    {
        CPicture pic(180, 144, false);
        ExpectSpan(pic.Decode(143, longBlock, 3), 143, 143);
        EXPECT_EQ(pic.DrawnPixels(), 180);
        EXPECT_EQ(pic.StoredBytes(), 180);
    }
    {
        CPicture pic(360, 288, false);
        ExpectSpan(pic.Decode(4, longBlock, 3), 2, 2);
        EXPECT_EQ(pic.Screen(180, 2), kUntouchedScreen) << "the other block's half";
        EXPECT_EQ(pic.DrawnPixels(), 180);
        pic.Decode(575, longBlock, 3);
        EXPECT_EQ(pic.DrawnIn(287), 180);
    }
    for (int mode : {1, 2}) {
        CPicture pic(180, 144, false);
        ExpectSpan(pic.Decode(71, longBlock, mode), 142, 143);
        EXPECT_EQ(pic.DrawnPixels(), 360);
        EXPECT_EQ(pic.m_keep[72 * 180 + 179], mode == 2 ? longBlock[179] : 0);
        EXPECT_EQ(pic.m_keep[72 * 180 + 180], 0) << "the excess is not kept";
        CPicture wide(360, 288, false);
        ExpectSpan(wide.Decode(287, longBlock, mode), 287, 287);
        EXPECT_EQ(wide.DrawnPixels(), 360);
    }
    {
        CPicture pic(180, 144, true);
        CYuvDecoder reference;
        uint8_t b, g, r;
        for (int k = 0; k < 127; ++k) {
            reference.YuvToRgb(longBlock[2 * k], longBlock[2 * k + 1], b, g, r);
        }
        ExpectSpan(pic.Decode(0, longBlock, 4), 0, 0);
        EXPECT_EQ(pic.DrawnPixels(), 90);
        EXPECT_EQ(pic.Screen(90, 0), kUntouchedScreen);
        EXPECT_EQ(pic.m_decoder.s_prevLuma, reference.s_prevLuma) << "every pixel is converted";
        EXPECT_EQ(pic.m_decoder.m_cPhase, reference.m_cPhase);
        pic.Decode(287, longBlock, 4);
        EXPECT_EQ(pic.DrawnIn(143), 90);
    }
}

TEST(DecodeBounds, BlocksBeyondTheLastRowDrawNothing) {
    CPicture grey(180, 144, false);
    EXPECT_TRUE(grey.Decode(144, Ramp(180), 3).IsEmpty());
    EXPECT_TRUE(grey.Decode(100000, Ramp(180), 3).IsEmpty());
    EXPECT_TRUE(grey.Decode(-1, Ramp(180), 3).IsEmpty());
    EXPECT_TRUE(grey.Decode(72, Ramp(180), 1).IsEmpty());
    EXPECT_TRUE(grey.Decode(144, Ramp(180), 2).IsEmpty());
    EXPECT_EQ(grey.DrawnPixels(), 0);
    EXPECT_EQ(grey.StoredBytes(), 0);

    // An odd height: the last nibble block has one row inside the image.
    CPicture odd(180, 143, false);
    ExpectSpan(odd.Decode(71, Ramp(180), 1), 142, 142);
    EXPECT_EQ(odd.DrawnPixels(), 180);

    CPicture colour(360, 288, true);
    EXPECT_TRUE(colour.Decode(4 * 288, Ramp(180), 4).IsEmpty());
    EXPECT_EQ(colour.DrawnPixels(), 0);
    EXPECT_EQ(colour.m_decoder.m_cPhase, 1) << "90 pixels converted";
}

TEST(DecodeBounds, TargetsThatDoNotFitAreClippedOrLeftOut) {
    // A screen image smaller than the picture gets only what fits.
    CPicture pic(180, 144, false);
    std::vector<uint32_t> small(100 * 10, kUntouchedScreen);
    pic.m_screen = {small.data(), 100, 10, 100};
    ExpectSpan(pic.Decode(9, Ramp(180), 3), 9, 9);
    EXPECT_EQ(small[9 * 100 + 99], Grey(99));
    pic.Decode(10, Ramp(180), 3);
    EXPECT_EQ(pic.Stored(179, 10), 179) << "the buffer still gets the row";

    // An image buffer made for another picture is not written.
    CPicture other(360, 288, true);
    CBlockJob job;
    const std::vector<uint8_t> bytes = Ramp(180);
    job.m_pData = bytes.data();
    job.m_nLen = 180;
    job.m_nWidth = 180;
    job.m_nHeight = 144;
    job.m_iMode = 3;
    job.m_pImage = &other.m_image;
    std::vector<uint32_t> screen(180 * 144, kUntouchedScreen);
    CScreenImage target{screen.data(), 180, 144, 180};
    job.m_pScreen = &target;
    bool nibb2 = false;
    ExpectSpan(other.m_decoder.DecodeBlock(job, nibb2), 0, 0);
    EXPECT_EQ(screen[5], Grey(5));
    EXPECT_EQ(other.StoredBytes(), 0);

    // No targets at all: the rows are still reported, and a short keep buffer is not used.
    job.m_pImage = nullptr;
    job.m_pScreen = nullptr;
    job.m_iMode = 2;
    std::vector<uint8_t> keep(100, 0);
    job.m_pKeep = keep.data();
    job.m_nKeepSize = keep.size();
    ExpectSpan(other.m_decoder.DecodeBlock(job, nibb2), 0, 1);
    EXPECT_TRUE(nibb2);
    EXPECT_TRUE(std::all_of(keep.begin(), keep.end(), [](uint8_t v) { return v == 0; }));
}
