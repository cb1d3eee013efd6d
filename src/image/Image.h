#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// The current image: a bitmap descriptor (the 40-byte info header, followed by a
// 256-entry grey palette when monochrome) and bottom-up pixel rows, 8-bit grey or
// 24-bit blue, green, red. The image records the width, height and colour setting it
// was made for; everything that reads the pixels or writes a file goes by those, never
// by the settings of the moment.
//
// Ownership: the image owns both blocks. Both are null (and the sizes 0) until the
// first successful Create. Create replaces the descriptor and releases the pixels of
// the image before; AllocateBits gives the new image its (black) pixel buffer.
class CImage {
  public:
    static constexpr int kMaxSide = 4096;
    static constexpr size_t kInfoHeaderSize = 40;
    static constexpr size_t kPaletteSize = 256 * 4;

    CImage() = default;
    CImage(const CImage&) = delete;
    CImage& operator=(const CImage&) = delete;

    // Builds the descriptor for W × H at the given colour setting and releases the
    // pixels of the image before. Sizes outside 1..kMaxSide leave the image empty and
    // give false.
    bool Create(int width, int height, bool colour);
    // Allocates the zeroed pixel buffer for the format Create recorded; false when
    // there is no descriptor.
    bool AllocateBits();
    void ReleaseBits();
    // Releases descriptor and pixels: the image is empty again.
    void Release();

    bool IsEmpty() const { return !m_pBMI; }
    bool HasBits() const { return m_pBMI && m_pBits; }
    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }
    bool IsColour() const { return m_bColour; }
    int BitsPerPixel() const { return m_bColour ? 24 : 8; }
    // Bytes of one pixel row: W when monochrome, 3·W when colour (always a multiple
    // of 4 for the widths the module sends, so rows carry no fill bytes).
    size_t RowBytes() const { return static_cast<size_t>(m_nWidth) * (m_bColour ? 3 : 1); }

    const uint8_t* Bmi() const { return m_pBMI.get(); }
    size_t BmiSize() const { return m_nBmiSize; }
    uint8_t* Bits() { return m_pBits.get(); }
    const uint8_t* Bits() const { return m_pBits.get(); }
    size_t BitsSize() const { return m_pBits ? m_nBitsSize : 0; }
    // Start of image row y (0 = top), which lies at memory row H − 1 − y; null when
    // there are no pixels or y is outside the image.
    uint8_t* Row(int y);

  private:
    std::unique_ptr<uint8_t[]> m_pBMI;
    std::unique_ptr<uint8_t[]> m_pBits;
    size_t m_nBmiSize = 0;
    size_t m_nBitsSize = 0;
    int m_nWidth = 0;
    int m_nHeight = 0;
    bool m_bColour = false;
};
