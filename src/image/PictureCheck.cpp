#include "image/PictureCheck.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "image/Image.h"

namespace {

constexpr uint64_t kMul1 = 0x9E3779B97F4A7C15ull;
constexpr uint64_t kMul2 = 0xC2B2AE3D27D4EB4Full;

uint64_t RotL(uint64_t v, int n) {
    return (v << n) | (v >> (64 - n));
}

// One step of the hash: a bijection of the state for a given word, so that two runs of
// words that differ in a single word never end in the same state.
uint64_t Step(uint64_t h, uint64_t word) {
    return RotL((h ^ word) * kMul1, 31) * kMul2;
}

// The final mix: every bit of the state reaches every bit of the hash.
uint64_t Finish(uint64_t h) {
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    h ^= h >> 33;
    return h;
}

// Eight bytes as a little-endian number, on every machine.
uint64_t Le64(const uint8_t* p) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

// Pixel counts per grey level. Four counters per level, used in turn, keep consecutive
// pixels of the same level from waiting for each other's count.
using CHistogram = std::array<uint32_t, 256>;

void CountGrey(const uint8_t* p, size_t n, std::array<CHistogram, 4>& lanes) {
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        ++lanes[0][p[i]];
        ++lanes[1][p[i + 1]];
        ++lanes[2][p[i + 2]];
        ++lanes[3][p[i + 3]];
    }
    for (; i < n; ++i)
        ++lanes[0][p[i]];
}

// Luma of a blue, green, red pixel with the integer weights of standard-definition
// television (0.299 red, 0.587 green, 0.114 blue, in 256ths), rounded.
inline uint8_t Luma(const uint8_t* bgr) {
    return static_cast<uint8_t>((29u * bgr[0] + 150u * bgr[1] + 77u * bgr[2] + 128u) >> 8);
}

void CountColour(const uint8_t* p, size_t pixels, std::array<CHistogram, 4>& lanes) {
    size_t i = 0;
    for (; i + 4 <= pixels; i += 4, p += 12) {
        ++lanes[0][Luma(p)];
        ++lanes[1][Luma(p + 3)];
        ++lanes[2][Luma(p + 6)];
        ++lanes[3][Luma(p + 9)];
    }
    for (; i < pixels; ++i, p += 3)
        ++lanes[0][Luma(p)];
}

// The grey level of the pixel at this rank (0 = darkest) of the picture.
int LevelAtRank(const CHistogram& counts, uint64_t rank) {
    uint64_t below = 0;
    for (int v = 0; v < 256; ++v) {
        below += counts[static_cast<size_t>(v)];
        if (below > rank)
            return v;
    }
    return 255;
}

}  // namespace

uint64_t PictureHash(const CImage& image) {
    if (!image.HasBits())
        return 0;
    const uint8_t* p = image.Bits();
    const size_t n = image.BitsSize();
    // The colour of a colour picture's top left pixel is made of the previous picture's
    // last pixel as much as of its own (the decoder's state runs on from picture to
    // picture), so its three bytes count as zeros: the same frame fetched after a
    // different one still has the same hash. The top row is the last in memory.
    const size_t skipFrom = image.IsColour() ? n - image.RowBytes() : n;
    const size_t skipTo = image.IsColour() ? skipFrom + 3 : n;
    uint64_t h = Step(0, (uint64_t{static_cast<uint32_t>(image.Width())} << 32) |
                             static_cast<uint32_t>(image.Height()));
    h = Step(h, static_cast<uint64_t>(image.BitsPerPixel()));
    for (size_t i = 0; i < n; i += 8) {
        if (i + 8 <= n && (i + 8 <= skipFrom || i >= skipTo)) {
            h = Step(h, Le64(p + i));
            continue;
        }
        // The last, short run of bytes, or the one with the top left pixel.
        uint8_t word[8] = {};
        std::memcpy(word, p + i, std::min<size_t>(8, n - i));
        for (size_t k = std::max(i, skipFrom); k < std::min(i + 8, skipTo); ++k)
            word[k - i] = 0;
        h = Step(h, Le64(word));
    }
    return Finish(h ^ static_cast<uint64_t>(n));
}

std::optional<CPictureMeasure> MeasurePicture(const CImage& image, int fullScale) {
    if (!image.HasBits() || image.BitsSize() == 0)
        return std::nullopt;
    const size_t pixels = static_cast<size_t>(image.Width()) * static_cast<size_t>(image.Height());
    std::array<CHistogram, 4> lanes{};
    if (image.IsColour())
        CountColour(image.Bits(), pixels, lanes);
    else
        CountGrey(image.Bits(), pixels, lanes);
    CHistogram counts{};
    uint64_t sum = 0;
    for (size_t v = 0; v < 256; ++v) {
        counts[v] = lanes[0][v] + lanes[1][v] + lanes[2][v] + lanes[3][v];
        sum += uint64_t{counts[v]} * v;
    }
    // The darkest and the brightest twentieth are left out of the spread.
    const uint64_t margin = pixels / 20;
    const int low = LevelAtRank(counts, margin);
    const int high = LevelAtRank(counts, pixels - 1 - margin);
    const double scale = 255.0 / std::clamp(fullScale, 1, 255);
    CPictureMeasure m;
    m.m_dMean = static_cast<double>(sum) / static_cast<double>(pixels) * scale;
    m.m_dSpread = (high - low) * scale;
    m.m_nHash = PictureHash(image);
    return m;
}

EPictureCheck ClassifyPicture(const CPictureMeasure& measure, const CPictureLimits& limits,
                              std::span<const uint64_t> previous) {
    if (measure.m_dSpread < limits.m_dUniformSpread)
        return EPictureCheck::Uniform;
    if (measure.m_dMean < limits.m_dDarkMean)
        return EPictureCheck::Dark;
    const size_t n = static_cast<size_t>(std::clamp(limits.m_nFrozenCount, 0, 1 << 30));
    if (n > 0 && previous.size() >= n &&
        std::all_of(previous.begin(), previous.begin() + static_cast<std::ptrdiff_t>(n),
                    [&](uint64_t h) { return h == measure.m_nHash; }))
        return EPictureCheck::Frozen;
    return EPictureCheck::Ok;
}

std::optional<CPictureVerdict> CheckPicture(const CImage& image, const CPictureLimits& limits,
                                            std::span<const uint64_t> previous, int fullScale) {
    const std::optional<CPictureMeasure> measure = MeasurePicture(image, fullScale);
    if (!measure)
        return std::nullopt;
    return CPictureVerdict{ClassifyPicture(*measure, limits, previous), *measure};
}

const char* PictureCheckName(EPictureCheck check) {
    switch (check) {
        case EPictureCheck::Dark:
            return "dark";
        case EPictureCheck::Uniform:
            return "uniform";
        case EPictureCheck::Frozen:
            return "frozen";
        case EPictureCheck::Ok:
            break;
    }
    return "ok";
}

bool ParsePictureCheck(const std::string& text, EPictureCheck& check) {
    for (const EPictureCheck c :
         {EPictureCheck::Ok, EPictureCheck::Dark, EPictureCheck::Uniform, EPictureCheck::Frozen}) {
        if (text == PictureCheckName(c)) {
            check = c;
            return true;
        }
    }
    return false;
}

const char* PictureCheckWord(EPictureCheck check) {
    switch (check) {
        case EPictureCheck::Dark:
            return "dunkel";
        case EPictureCheck::Uniform:
            return "einfarbig";
        case EPictureCheck::Frozen:
            return "eingefroren";
        case EPictureCheck::Ok:
            break;
    }
    return "";
}

std::string PictureHashText(uint64_t hash) {
    static const char kHex[] = "0123456789abcdef";
    std::string text(16, '0');
    for (int i = 15; i >= 0; --i, hash >>= 4)
        text[static_cast<size_t>(i)] = kHex[hash & 15];
    return text;
}

bool ParsePictureHash(const std::string& text, uint64_t& hash) {
    if (text.size() != 16)
        return false;
    uint64_t v = 0;
    for (const char c : text) {
        int d = -1;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        if (d < 0)
            return false;
        v = (v << 4) | static_cast<uint64_t>(d);
    }
    hash = v;
    return true;
}
