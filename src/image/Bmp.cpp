#include "image/Bmp.h"

#include <cstring>

#include "image/Image.h"

namespace {

void PutLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

}  // namespace

std::vector<uint8_t> BuildBmpFile(const CImage& image) {
    if (!image.HasBits()) {
        return {};
    }
    const size_t dataOffset = kBmpFileHeaderSize + image.BmiSize();
    const size_t fileSize = dataOffset + image.BitsSize();
    std::vector<uint8_t> file(fileSize);
    uint8_t* p = file.data();
    p[0] = 'B';
    p[1] = 'M';
    PutLe32(p + 2, static_cast<uint32_t>(fileSize));
    // bytes 6..9: two reserved 16-bit zeros
    PutLe32(p + 10, static_cast<uint32_t>(dataOffset));
    std::memcpy(p + kBmpFileHeaderSize, image.Bmi(), image.BmiSize());
    std::memcpy(p + dataOffset, image.Bits(), image.BitsSize());
    return file;
}
