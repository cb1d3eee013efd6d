#include <gtest/gtest.h>

#include "sim/TestPicture.h"

namespace {

void Put16(std::vector<uint8_t>& v, size_t at, unsigned x) {
    v[at] = x & 0xFF;
    v[at + 1] = (x >> 8) & 0xFF;
}
void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    for (int i = 0; i < 4; ++i)
        v[at + i] = (x >> (8 * i)) & 0xFF;
}

// A bottom-up BMP with the given bits per pixel; rows are given top row first.
std::vector<uint8_t> MakeBmp(int w, int h, int bits, const std::vector<std::vector<uint8_t>>& rows,
                             const std::vector<uint32_t>& palette = {}) {
    const size_t stride = ((static_cast<size_t>(w) * bits + 31) / 32) * 4;
    const size_t pal = palette.size() * 4;
    const size_t offset = 54 + pal;
    std::vector<uint8_t> f(offset + stride * h, 0);
    f[0] = 'B';
    f[1] = 'M';
    Put32(f, 2, static_cast<uint32_t>(f.size()));
    Put32(f, 10, static_cast<uint32_t>(offset));
    Put32(f, 14, 40);
    Put32(f, 18, static_cast<uint32_t>(w));
    Put32(f, 22, static_cast<uint32_t>(h));
    Put16(f, 26, 1);
    Put16(f, 28, static_cast<unsigned>(bits));
    Put32(f, 46, static_cast<uint32_t>(palette.size()));
    for (size_t i = 0; i < palette.size(); ++i)
        Put32(f, 54 + 4 * i, palette[i]);
    for (int y = 0; y < h; ++y)
        std::copy(rows[y].begin(), rows[y].end(), f.begin() + offset + stride * (h - 1 - y));
    return f;
}

TEST(PictureTest, ReadsPaletteAndTrueColourBmpsTopRowFirst) {
    // 8 bit, 3 x 2 (rows padded to 4 bytes), palette of greys and one red.
    const auto eight = MakeBmp(3, 2, 8, {{0, 1, 2}, {2, 1, 0}}, {0x000000, 0x808080, 0x00FF0000});
    CGreyPicture pic;
    std::string error;
    ASSERT_TRUE(ParseBmp(eight.data(), eight.size(), pic, &error)) << error;
    EXPECT_EQ(pic.m_nWidth, 3);
    EXPECT_EQ(pic.m_nHeight, 2);
    EXPECT_EQ(pic.m_pixels, (std::vector<uint8_t>{0, 128, 76, 76, 128, 0}));
    // 24 bit, 2 x 2, stored blue, green, red.
    const auto rgb = MakeBmp(2, 2, 24, {{255, 255, 255, 0, 0, 0}, {0, 255, 0, 255, 0, 0}});
    ASSERT_TRUE(ParseBmp(rgb.data(), rgb.size(), pic, &error)) << error;
    EXPECT_EQ(pic.m_pixels, (std::vector<uint8_t>{255, 0, 150, 29}));
}

TEST(PictureTest, RejectsWhatItCannotRead) {
    auto rgb = MakeBmp(2, 2, 24, {{0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0}});
    CGreyPicture pic;
    std::string error;
    EXPECT_FALSE(ParseBmp(rgb.data(), rgb.size() - 1, pic, &error));
    auto packed = rgb;
    packed[30] = 1;  // run-length compressed
    EXPECT_FALSE(ParseBmp(packed.data(), packed.size(), pic, &error));
    auto four = rgb;
    four[28] = 4;
    EXPECT_FALSE(ParseBmp(four.data(), four.size(), pic, &error));
    rgb[0] = 'X';
    EXPECT_FALSE(ParseBmp(rgb.data(), rgb.size(), pic, &error));
    EXPECT_FALSE(LoadBmp("/nonexistent/picture.bmp", pic, &error));
}

TEST(PictureTest, TestPictureIsDeterministicAndShowsChannelAndCounter) {
    const CGreyPicture a = MakeTestPicture(180, 144, 3, 7);
    EXPECT_EQ(a.m_pixels, MakeTestPicture(180, 144, 3, 7).m_pixels);
    EXPECT_NE(a.m_pixels, MakeTestPicture(180, 144, 4, 7).m_pixels);
    EXPECT_NE(a.m_pixels, MakeTestPicture(180, 144, 3, 8).m_pixels);
    EXPECT_EQ(a.At(0, 0), 255);  // frame
    EXPECT_EQ(a.At(179, 143), 255);
    // Both nibble halves vary, so neither nibble picture is blank.
    std::set<int> lows;
    std::set<int> highs;
    for (uint8_t v : a.m_pixels) {
        lows.insert(v & 15);
        highs.insert(v >> 4);
    }
    EXPECT_EQ(lows.size(), 16u);
    EXPECT_GE(highs.size(), 12u);
}

TEST(PictureTest, ScalingPicksNearestSourcePixels) {
    CGreyPicture src;
    src.m_nWidth = 3;
    src.m_nHeight = 1;
    src.m_pixels = {1, 2, 3};
    const CGreyPicture up = ScalePicture(src, 6, 2);
    EXPECT_EQ(up.m_pixels, (std::vector<uint8_t>{1, 1, 2, 2, 3, 3, 1, 1, 2, 2, 3, 3}));
    const CGreyPicture down = ScalePicture(src, 2, 1);
    EXPECT_EQ(down.m_pixels, (std::vector<uint8_t>{1, 2}));
}

TEST(PictureTest, NibbleStreamsPackTwoPixelsLeftOneHigh) {
    CGreyPicture pic;
    pic.m_nWidth = 4;
    pic.m_nHeight = 1;
    pic.m_pixels = {0x12, 0x34, 0xAB, 0xCD};
    EXPECT_EQ(EncodePicture(pic, {}, 1, false), (std::vector<uint8_t>{0x24, 0xBD}));
    EXPECT_EQ(EncodePicture(pic, {}, 2, false), (std::vector<uint8_t>{0x13, 0xAC}));
    EXPECT_EQ(EncodePicture(pic, {9, 8, 7, 6}, 4, false),
              (std::vector<uint8_t>{0x12, 9, 0x34, 8, 0xAB, 7, 0xCD, 6}));
    EXPECT_EQ(EncodePicture(pic, {}, 1, true), pic.m_pixels);
}

}  // namespace
