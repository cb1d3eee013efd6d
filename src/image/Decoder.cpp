#include "image/Decoder.h"

#include <algorithm>
#include <cstring>

#include "image/Image.h"

namespace {

// Bytes of a block that belong to the picture in the nibble and grey modes, and colour
// pixels of a block in mode 4; anything beyond is dropped.
constexpr int kBlockShare = 180;
constexpr int kColourShare = 90;

constexpr uint32_t Opaque(uint32_t r, uint32_t g, uint32_t b) {
    return 0xFF000000u | (r << 16) | (g << 8) | b;
}

constexpr uint32_t GreyPixel(uint32_t v) {
    return 0xFF000000u | (v * 0x010101u);
}

constexpr int Clamp(int v) {
    if (v > 255) {
        v = 255;
    }
    if (v <= 0) {
        v = 0;
    }
    return v;
}

bool IsWideWidth(int w) {
    return w == 256 || w == 512 || w == 768;
}

// Where one block's pixels go: the screen image clipped to its size and the image
// buffer when it was made for this picture.
class CTarget {
  public:
    CTarget(const CBlockJob& job)
        : m_nWidth(job.m_nWidth), m_nHeight(job.m_nHeight), m_pScreen(job.m_pScreen) {
        CImage* image = job.m_pImage;
        if (image && image->HasBits() && image->Width() == job.m_nWidth &&
            image->Height() == job.m_nHeight && image->IsColour() == job.m_bColour) {
            m_pImage = image;
            m_bColour = job.m_bColour;
        }
        if (m_pScreen && (!m_pScreen->m_pPixels || m_pScreen->m_nStride < m_pScreen->m_nWidth)) {
            m_pScreen = nullptr;
        }
    }

    // Pixels [x0, x0 + count) of image row y: clipped to the image, and reported.
    bool Clip(int y, int x0, int& count) {
        if (y < 0 || y >= m_nHeight || x0 < 0 || x0 >= m_nWidth || count <= 0) {
            return false;
        }
        count = std::min(count, m_nWidth - x0);
        m_span.Add(y);
        return true;
    }

    // Screen pixels for row y from column x0, and how many of count fit.
    uint32_t* Screen(int y, int x0, int count, int& fit) const {
        fit = 0;
        if (!m_pScreen || y >= m_pScreen->m_nHeight || x0 >= m_pScreen->m_nWidth) {
            return nullptr;
        }
        fit = std::min(count, m_pScreen->m_nWidth - x0);
        return m_pScreen->m_pPixels + static_cast<ptrdiff_t>(y) * m_pScreen->m_nStride + x0;
    }

    uint8_t* ImageRow(int y) const { return m_pImage ? m_pImage->Row(y) : nullptr; }
    bool IsColour() const { return m_bColour; }
    CRowSpan Span() const { return m_span; }

    // count grey pixels value(0..count-1) at (x0.., y).
    template <class F>
    void Grey(int y, int x0, int count, F value) {
        if (!Clip(y, x0, count)) {
            return;
        }
        int fit = 0;
        if (uint32_t* s = Screen(y, x0, count, fit)) {
            for (int k = 0; k < fit; ++k) {
                s[k] = GreyPixel(value(k));
            }
        }
        uint8_t* row = ImageRow(y);
        if (!row) {
            return;
        }
        if (m_bColour) {
            uint8_t* p = row + 3 * static_cast<size_t>(x0);
            for (int k = 0; k < count; ++k, p += 3) {
                p[0] = p[1] = p[2] = static_cast<uint8_t>(value(k));
            }
        } else {
            uint8_t* p = row + x0;
            for (int k = 0; k < count; ++k) {
                p[k] = static_cast<uint8_t>(value(k));
            }
        }
    }

  private:
    int m_nWidth;
    int m_nHeight;
    CScreenImage* m_pScreen;
    CImage* m_pImage = nullptr;
    bool m_bColour = false;
    CRowSpan m_span;
};

// Nibble j of a run of bytes: the high half for even j, the low half for odd j.
inline uint32_t Nibble(const uint8_t* p, int j) {
    const uint32_t v = p[j >> 1];
    return (j & 1) ? (v & 15u) : (v >> 4);
}

// The colour conversion's running state, held in locals while a block is converted
// and written back after it.
class CYuvRun {
  public:
    explicit CYuvRun(const CYuvDecoder& d)
        : m_pTab1(d.m_yuvTab1),
          m_pTab2(d.m_yuvTab2),
          m_t0(d.m_chroma[0]),
          m_t1(d.m_chroma[1]),
          m_t2(d.m_chroma[2]),
          m_t3(d.m_chroma[3]),
          m_bPhase(d.m_cPhase != 0),
          m_iPrev(d.s_prevLuma) {}

    void Store(CYuvDecoder& d) const {
        d.m_chroma[0] = m_t0;
        d.m_chroma[1] = m_t1;
        d.m_chroma[2] = m_t2;
        d.m_chroma[3] = m_t3;
        d.m_cPhase = m_bPhase ? 1 : 0;
        d.s_prevLuma = m_iPrev;
    }

    void Convert(uint8_t Y, uint8_t K, uint8_t& b, uint8_t& g, uint8_t& r) {
        // Each phase refreshes two of the four chroma terms; the other two carry over.
        if (m_bPhase) {
            m_t1 = m_pTab1[K][1];
            m_t3 = m_pTab2[K][1];
        } else {
            m_t0 = m_pTab1[K][0];
            m_t2 = m_pTab2[K][0];
        }
        const int L = m_iPrev;  // the previous pixel's luma, not this one's
        b = static_cast<uint8_t>(Clamp(L + m_t1 - 191));
        g = static_cast<uint8_t>(Clamp(L + m_t0 + m_t3 + 117));
        r = static_cast<uint8_t>(Clamp(L + m_t2 - 237));
        m_iPrev = Y;
        m_bPhase = !m_bPhase;
    }

  private:
    const int (*m_pTab1)[2];
    const int (*m_pTab2)[2];
    int m_t0, m_t1, m_t2, m_t3;
    bool m_bPhase;
    int m_iPrev;
};

}  // namespace

CYuvDecoder::CYuvDecoder() {
    BuildYuvTables();
}

void CYuvDecoder::BuildYuvTables() {
    std::fill(std::begin(m_chroma), std::end(m_chroma), 0);
    static constexpr double kCoef[4] = {-0.338, 1.371, 1.732, -0.698};
    std::copy(std::begin(kCoef), std::end(kCoef), m_dYuvCoef);
    for (int c = 0; c < 2; ++c) {
        for (int j = 0; j < 256; ++j) {
            // a double-to-int conversion truncates toward zero
            m_yuvTab1[j][c] = static_cast<int>(j * m_dYuvCoef[c]);
            m_yuvTab2[j][c] = static_cast<int>(j * m_dYuvCoef[c + 2]);
        }
    }
    m_cPhase = 1;
}

void CYuvDecoder::YuvToRgb(uint8_t Y, uint8_t K, uint8_t& b, uint8_t& g, uint8_t& r) {
    CYuvRun run(*this);
    run.Convert(Y, K, b, g, r);
    run.Store(*this);
}

bool HasDecoding(int width, bool colour, int mode) {
    if (IsWideWidth(width))
        return true;
    if (width != 180 && width != 360)
        return false;
    return colour ? mode == 4 : mode >= 1 && mode <= 3;
}

CRowSpan CYuvDecoder::DecodeBlock(const CBlockJob& job, bool& nibb2) {
    const int W = job.m_nWidth;
    const int H = job.m_nHeight;
    const int i = job.m_iBlock;
    const int n = job.m_pData ? std::max(job.m_nLen, 0) : 0;
    const uint8_t* b = job.m_pData;
    if (H < 1 || H > CImage::kMaxSide || i < 0) {
        return {};
    }
    CTarget target(job);

    if (IsWideWidth(W)) {
        // Consecutive 8-bit grey rows, filled left to right and top to bottom.
        if (i == 0) {
            m_nStreamBytes = 0;
        }
        const uint64_t total = static_cast<uint64_t>(W) * static_cast<uint64_t>(H);
        uint64_t pos = m_nStreamBytes;
        int k = 0;
        while (k < n && pos < total) {
            const int y = static_cast<int>(pos / W);
            const int x = static_cast<int>(pos % W);
            const int count = std::min(n - k, W - x);
            const uint8_t* p = b + k;
            target.Grey(y, x, count, [p](int j) { return static_cast<uint32_t>(p[j]); });
            k += count;
            pos += static_cast<uint64_t>(count);
        }
        m_nStreamBytes += static_cast<uint64_t>(n);
        return target.Span();
    }
    if (W != 180 && W != 360) {
        return {};
    }
    const int share = std::min(n, kBlockShare);

    if (!job.m_bColour && (job.m_iMode == 1 || job.m_iMode == 2)) {
        // Two pixels per byte. At width 180 a block covers rows 2i (bytes 0..89) and
        // 2i + 1 (bytes 90..179); at width 360 it covers row i.
        const bool nibble2 = job.m_iMode == 2;
        const bool merge = !nibble2 && nibb2;
        const uint8_t* kept = nullptr;
        if (i < H) {
            const size_t at = static_cast<size_t>(H - 1 - i) * static_cast<size_t>(W);
            if (share > 0 && job.m_pKeep && at + static_cast<size_t>(share) <= job.m_nKeepSize) {
                if (nibble2) {
                    std::memcpy(job.m_pKeep + at, b, static_cast<size_t>(share));
                } else {
                    kept = job.m_pKeep + at;
                }
            }
        }
        if (nibble2) {
            nibb2 = true;
        }
        const int perRow = W == 180 ? 90 : 180;
        for (int part = 0; part * perRow < share; ++part) {
            const int y = W == 180 ? 2 * i + part : i;
            const int first = part * perRow;
            const int bytes = std::min(share - first, perRow);
            const uint8_t* p = b + first;
            if (nibble2) {
                target.Grey(y, 0, 2 * bytes, [p](int j) { return Nibble(p, j) << 4; });
            } else if (merge && kept) {
                // high half from the kept Nibble-2 value, low half from this block
                const uint8_t* q = kept + first;
                target.Grey(y, 0, 2 * bytes,
                            [p, q](int j) { return (Nibble(q, j) << 4) | Nibble(p, j); });
            } else {
                target.Grey(y, 0, 2 * bytes, [p](int j) { return Nibble(p, j); });
            }
        }
        return target.Span();
    }

    if (!job.m_bColour && job.m_iMode == 3) {
        const int y = W == 180 ? i : i / 2;
        const int o = W == 180 ? 0 : kBlockShare * (i % 2);
        target.Grey(y, o, share, [b](int j) { return static_cast<uint32_t>(b[j]); });
        return target.Span();
    }

    if (job.m_bColour && job.m_iMode == 4) {
        const int perRow = W == 180 ? 2 : 4;
        const int y = i / perRow;
        const int o = kColourShare * (i % perRow);
        const int pixels = n / 2;
        // Every pixel of the block runs through the conversion, so the colour state
        // advances as the module sent it; only the block's share is drawn and stored.
        int count = std::min(pixels, kColourShare);
        int onScreen = 0;
        uint32_t* s = nullptr;
        uint8_t* row = nullptr;
        if (target.Clip(y, o, count)) {
            s = target.Screen(y, o, count, onScreen);
            row = target.ImageRow(y);
        } else {
            count = 0;
        }
        uint8_t* px = row ? row + 3 * static_cast<size_t>(o) : nullptr;
        CYuvRun run(*this);
        uint8_t bl = 0;
        uint8_t gr = 0;
        uint8_t rd = 0;
        int k = 0;
        for (; k < count; ++k) {
            run.Convert(b[2 * k], b[2 * k + 1], bl, gr, rd);
            if (k < onScreen) {
                s[k] = Opaque(rd, gr, bl);
            }
            if (px) {
                px[3 * k] = bl;
                px[3 * k + 1] = gr;
                px[3 * k + 2] = rd;
            }
        }
        for (; k < pixels; ++k) {
            run.Convert(b[2 * k], b[2 * k + 1], bl, gr, rd);
        }
        run.Store(*this);
        return target.Span();
    }
    return {};
}
