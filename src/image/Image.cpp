#include "image/Image.h"

namespace {

void PutLe16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void PutLe32(uint8_t* p, uint32_t v) {
    PutLe16(p, v);
    PutLe16(p + 2, v >> 16);
}

}  // namespace

bool CImage::Create(int width, int height, bool colour) {
    Release();
    if (width < 1 || width > kMaxSide || height < 1 || height > kMaxSide) {
        return false;
    }
    const size_t bmiSize = kInfoHeaderSize + (colour ? 0 : kPaletteSize);
    auto bmi = std::make_unique<uint8_t[]>(bmiSize);  // zeroed: every field not set is 0
    uint8_t* h = bmi.get();
    PutLe32(h + 0, kInfoHeaderSize);                // biSize
    PutLe32(h + 4, static_cast<uint32_t>(width));   // biWidth
    PutLe32(h + 8, static_cast<uint32_t>(height));  // biHeight > 0: rows run bottom-up
    PutLe16(h + 12, 1);                             // biPlanes
    PutLe16(h + 14, colour ? 24 : 8);               // biBitCount
    // biCompression (BI_RGB), biSizeImage, resolutions and colour counts stay 0.
    if (!colour) {
        uint8_t* quad = h + kInfoHeaderSize;
        for (uint32_t i = 0; i < 256; ++i, quad += 4) {
            quad[0] = quad[1] = quad[2] = static_cast<uint8_t>(i);
            quad[3] = 0;
        }
    }
    m_pBMI = std::move(bmi);
    m_nBmiSize = bmiSize;
    m_nWidth = width;
    m_nHeight = height;
    m_bColour = colour;
    m_nBitsSize = static_cast<size_t>(width) * static_cast<size_t>(height) * (colour ? 3 : 1);
    return true;
}

bool CImage::AllocateBits() {
    if (!m_pBMI) {
        return false;
    }
    m_pBits = std::make_unique<uint8_t[]>(m_nBitsSize);
    return true;
}

void CImage::ReleaseBits() {
    m_pBits.reset();
}

void CImage::Release() {
    m_pBits.reset();
    m_pBMI.reset();
    m_nBmiSize = 0;
    m_nBitsSize = 0;
    m_nWidth = 0;
    m_nHeight = 0;
    m_bColour = false;
}

uint8_t* CImage::Row(int y) {
    if (!HasBits() || y < 0 || y >= m_nHeight) {
        return nullptr;
    }
    return m_pBits.get() + static_cast<size_t>(m_nHeight - 1 - y) * RowBytes();
}
