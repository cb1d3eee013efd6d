#pragma once

#include <cstddef>
#include <cstdint>

#include "image/ScreenImage.h"

class CImage;

// Image rows (0 = top) that one block has drawn; empty when it drew nothing.
struct CRowSpan {
    int m_nFirst = -1;
    int m_nLast = -1;

    bool IsEmpty() const { return m_nFirst < 0; }
    void Add(int y) {
        if (m_nFirst < 0 || y < m_nFirst) {
            m_nFirst = y;
        }
        if (y > m_nLast) {
            m_nLast = y;
        }
    }
};

// One received block and where its pixels go.
struct CBlockJob {
    int m_iBlock = 0;  // block index, 0 for the first block of a fetch
    const uint8_t* m_pData = nullptr;
    int m_nLen = 0;  // bytes in the block
    int m_nWidth = 0;
    int m_nHeight = 0;
    bool m_bColour = false;  // the colour setting (m_iMonochrom != 0)
    int m_iMode = 3;         // transfer mode 1..4
    // Image buffer; pixels are stored only when it has pixels and was made for this
    // width, height and colour setting. May be null.
    CImage* m_pImage = nullptr;
    // Keep buffer for Nibble-2 data, rows of W bytes: Nibble-2 block i is kept at
    // offset (H − 1 − i) · W, its first 180 bytes (the block's share of the picture).
    // A Nibble-1 block i merged with it pairs its byte k with kept byte k. May be null.
    uint8_t* m_pKeep = nullptr;
    size_t m_nKeepSize = 0;
    CScreenImage* m_pScreen = nullptr;  // may be null
};

// Whether blocks of this width, colour setting and mode become a picture: the wide grey
// widths always, 180 and 360 in grey with modes 1 to 3 and in colour with mode 4.
bool HasDecoding(int width, bool colour, int mode);

// Decoder state for the blocks of image transfers: the colour tables, the chroma
// phase and terms, the luma of the colour pixel decoded last, and the running byte
// count of the wide grey formats. The state runs on across blocks and fetches.
class CYuvDecoder {
  public:
    // Builds the tables; the previous luma starts at 0.
    CYuvDecoder();

    // Coefficients, both tables, chroma terms 0 and phase 1.
    void BuildYuvTables();
    // One colour pixel from its luma and chroma byte, in block order; advances the
    // phase, the chroma terms and the previous luma.
    void YuvToRgb(uint8_t Y, uint8_t K, uint8_t& b, uint8_t& g, uint8_t& r);
    // Draws the block into the screen image and stores it in the image buffer as the
    // colour setting, mode and width require; sets nibb2 on every Nibble-2 block.
    // Every pixel written lies inside the image and inside the block's share of its
    // row: the excess of long blocks and blocks beyond the last row are dropped.
    // Combinations without a decoding draw and store nothing.
    CRowSpan DecodeBlock(const CBlockJob& job, bool& nibb2);

    double m_dYuvCoef[4] = {};
    int m_yuvTab1[256][2] = {};
    int m_yuvTab2[256][2] = {};
    int m_chroma[4] = {};  // t0..t3
    signed char m_cPhase = 1;
    int s_prevLuma = 0;
    // Bytes of the current wide-format fetch decoded so far (reset by block 0).
    uint64_t m_nStreamBytes = 0;
};
