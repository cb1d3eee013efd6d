#include <gtest/gtest.h>

#include "image/Bmp.h"
#include "image/Image.h"
#include "support/PatternImage.h"

namespace {

uint32_t Le32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint32_t Le16(const uint8_t* p) {
    return p[0] | (p[1] << 8);
}

// "BM", the file size, two reserved zeros and the offset of the pixel data.
void ExpectFileHeader(const std::vector<uint8_t>& file, uint32_t size, uint32_t dataOffset) {
    ASSERT_EQ(file.size(), size);
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(Le32(&file[2]), size);
    EXPECT_EQ(Le32(&file[6]), 0u);
    EXPECT_EQ(Le32(&file[10]), dataOffset);
}

}  // namespace

TEST(ImageCreate, GreyDescriptorHasHeaderAndRampPalette) {
    CImage image;
    EXPECT_TRUE(image.IsEmpty());
    EXPECT_EQ(image.Bmi(), nullptr);
    EXPECT_EQ(image.Bits(), nullptr);

    ASSERT_TRUE(image.Create(180, 144, false));
    ASSERT_EQ(image.BmiSize(), 1064u);
    const uint8_t* h = image.Bmi();
    EXPECT_EQ(Le32(h + 0), 40u);
    EXPECT_EQ(Le32(h + 4), 180u);
    EXPECT_EQ(Le32(h + 8), 144u);
    EXPECT_EQ(Le16(h + 12), 1u);
    EXPECT_EQ(Le16(h + 14), 8u);
    for (int off = 16; off < 40; off += 4) {
        EXPECT_EQ(Le32(h + off), 0u) << "field at " << off;
    }
    for (int i = 0; i < 256; ++i) {
        const uint8_t* q = h + 40 + 4 * i;
        ASSERT_EQ(q[0], i);
        ASSERT_EQ(q[1], i);
        ASSERT_EQ(q[2], i);
        ASSERT_EQ(q[3], 0);
    }
    EXPECT_FALSE(image.HasBits());
    ASSERT_TRUE(image.AllocateBits());
    ASSERT_EQ(image.BitsSize(), 180u * 144u);
    EXPECT_EQ(image.RowBytes(), 180u);
    for (size_t k = 0; k < image.BitsSize(); ++k) {
        ASSERT_EQ(image.Bits()[k], 0) << "new pixels are black";
    }
}

TEST(ImageCreate, ColourDescriptorIsHeaderAlone) {
    CImage image;
    ASSERT_TRUE(image.Create(360, 288, true));
    ASSERT_EQ(image.BmiSize(), 40u);
    EXPECT_EQ(Le32(image.Bmi() + 4), 360u);
    EXPECT_EQ(Le32(image.Bmi() + 8), 288u);
    EXPECT_EQ(Le16(image.Bmi() + 14), 24u);
    ASSERT_TRUE(image.AllocateBits());
    EXPECT_EQ(image.BitsSize(), 3u * 360u * 288u);
    EXPECT_EQ(image.RowBytes(), 3u * 360u);
}

TEST(ImageCreate, RowsRunBottomUp) {
    CImage image;
    ASSERT_TRUE(image.Create(180, 144, true));
    EXPECT_EQ(image.Row(0), nullptr) << "no pixels yet";
    ASSERT_TRUE(image.AllocateBits());
    EXPECT_EQ(image.Row(0), image.Bits() + 143 * 540);
    EXPECT_EQ(image.Row(143), image.Bits());
    EXPECT_EQ(image.Row(144), nullptr);
    EXPECT_EQ(image.Row(-1), nullptr);
}

TEST(ImageCreate, RefusesSizesOutsideTheRangeAndDropsTheOldImage) {
    CImage image;
    MakeImage(image, 180, 144, false);
    for (auto [w, h] : {std::pair{0, 144}, {180, 0}, {4097, 1}, {1, 4097}, {-180, 144}}) {
        EXPECT_FALSE(image.Create(w, h, false)) << w << "x" << h;
        EXPECT_TRUE(image.IsEmpty());
        EXPECT_EQ(image.Bits(), nullptr);
        EXPECT_FALSE(image.AllocateBits());
        MakeImage(image, 180, 144, false);
    }
    EXPECT_TRUE(image.Create(4096, 4096, true));
    EXPECT_EQ(image.Width(), 4096);
}

TEST(ImageCreate, NewFormatReleasesPixelsOfTheOldOne) {
    CImage image;
    MakeImage(image, 360, 288, true);
    ASSERT_TRUE(image.Create(180, 144, false));
    EXPECT_FALSE(image.HasBits());
    EXPECT_EQ(image.Width(), 180);
    EXPECT_EQ(image.Height(), 144);
    EXPECT_FALSE(image.IsColour());
    EXPECT_EQ(image.BitsSize(), 0u);
}

TEST(BmpFile, GreyFileByteForByte) {
    CImage image;
    MakeImage(image, 180, 144, false);
    const std::vector<uint8_t> file = BuildBmpFile(image);
    ExpectFileHeader(file, 26998, 1078);
    EXPECT_TRUE(std::equal(image.Bmi(), image.Bmi() + 1064, file.begin() + 14));
    const uint8_t* entry128 = &file[14 + 40 + 4 * 128];
    EXPECT_EQ(std::vector<uint8_t>(entry128, entry128 + 4),
              (std::vector<uint8_t>{128, 128, 128, 0}));
    EXPECT_TRUE(std::equal(image.Bits(), image.Bits() + 25920, file.begin() + 1078));
    // The top image row is the last row of the file.
    EXPECT_TRUE(std::equal(image.Row(0), image.Row(0) + 180, file.end() - 180));
}

TEST(BmpFile, ColourFileByteForByte) {
    CImage image;
    MakeImage(image, 360, 288, true);
    const std::vector<uint8_t> file = BuildBmpFile(image);
    ExpectFileHeader(file, 311094, 54);
    EXPECT_EQ(Le32(&file[14]), 40u);
    EXPECT_EQ(Le16(&file[14 + 14]), 24u);
    EXPECT_TRUE(std::equal(image.Bits(), image.Bits() + image.BitsSize(), file.begin() + 54));
}

TEST(BmpFile, NothingWithoutPixels) {
    CImage image;
    EXPECT_TRUE(BuildBmpFile(image).empty());
    ASSERT_TRUE(image.Create(180, 144, false));
    EXPECT_TRUE(BuildBmpFile(image).empty()) << "descriptor without pixels";
}
