#include "sim/TestPicture.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <iterator>

namespace {

// 5 x 7 digits, one row per byte, bit 4 is the left column.
constexpr std::array<std::array<uint8_t, 7>, 10> kDigits = {{
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E},
    {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F},
    {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02},
    {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E},
    {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E},
    {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},
}};

void Fill(CGreyPicture& pic, int x0, int y0, int w, int h, uint8_t v) {
    for (int y = std::max(0, y0); y < std::min(pic.m_nHeight, y0 + h); ++y)
        for (int x = std::max(0, x0); x < std::min(pic.m_nWidth, x0 + w); ++x)
            pic.m_pixels[static_cast<size_t>(y) * pic.m_nWidth + x] = v;
}

void DrawText(CGreyPicture& pic, const std::string& digits, int x0, int y0, int scale,
              uint8_t ink) {
    for (size_t i = 0; i < digits.size(); ++i) {
        const int d = digits[i] - '0';
        if (d < 0 || d > 9)
            continue;
        const int left = x0 + static_cast<int>(i) * 6 * scale;
        for (int row = 0; row < 7; ++row)
            for (int col = 0; col < 5; ++col)
                if (kDigits[d][row] & (0x10 >> col))
                    Fill(pic, left + col * scale, y0 + row * scale, scale, scale, ink);
    }
}

// The chroma bytes of no colour: the blue difference (even columns) and the red one (odd).
constexpr int kNeutralBlue = 139;
constexpr int kNeutralRed = 137;

uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t Le32(const uint8_t* p) {
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

uint8_t Luma(unsigned r, unsigned g, unsigned b) {
    return static_cast<uint8_t>((299 * r + 587 * g + 114 * b + 500) / 1000);
}

bool Fail(std::string* error, const char* text) {
    if (error != nullptr)
        *error = text;
    return false;
}

}  // namespace

CGreyPicture MakeEscapePicture(int width, int height) {
    constexpr size_t kBlock = 180;
    // 0xFF, the Telnet commands that follow it (SB, SE, WILL) and a CR NUL pair.
    constexpr uint8_t kPattern[] = {0xFF, 0xFF, 0xFA, 0xFF, 0xF0, 0xFF, 0xFB, 0x0D, 0x00};
    CGreyPicture pic;
    pic.m_nWidth = width;
    pic.m_nHeight = height;
    pic.m_pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    unsigned sum = 0;
    for (size_t k = 0; k < pic.m_pixels.size(); ++k) {
        uint8_t v = 0;
        if ((k + 1) % kBlock == 0 || k + 1 == pic.m_pixels.size()) {
            // The block's last byte brings its sum to 1.
            v = static_cast<uint8_t>(1 - sum);
            sum = 0;
        } else {
            v = k % 3 == 0 ? kPattern[(k / 3) % sizeof kPattern] : static_cast<uint8_t>(k * 7);
            sum += v;
        }
        pic.m_pixels[k] = v;
    }
    return pic;
}

CGreyPicture MakeTestPicture(int width, int height, int channel, unsigned counter) {
    CGreyPicture pic;
    pic.m_nWidth = std::max(0, width);
    pic.m_nHeight = std::max(0, height);
    pic.m_pixels.resize(static_cast<size_t>(pic.m_nWidth) * pic.m_nHeight);
    if (pic.m_pixels.empty())
        return pic;
    const int span = std::max(1, pic.m_nWidth + pic.m_nHeight - 2);
    for (int y = 0; y < pic.m_nHeight; ++y)
        for (int x = 0; x < pic.m_nWidth; ++x)
            pic.m_pixels[static_cast<size_t>(y) * pic.m_nWidth + x] =
                static_cast<uint8_t>(32 + (x + y) * 160 / span);
    // Frame, two pixels wide.
    Fill(pic, 0, 0, pic.m_nWidth, 2, 255);
    Fill(pic, 0, pic.m_nHeight - 2, pic.m_nWidth, 2, 255);
    Fill(pic, 0, 0, 2, pic.m_nHeight, 255);
    Fill(pic, pic.m_nWidth - 2, 0, 2, pic.m_nHeight, 255);
    // Eight grey bars along the bottom, black to white.
    const int barTop = pic.m_nHeight - 2 - pic.m_nHeight / 8;
    for (int i = 0; i < 8; ++i) {
        const int x0 = 2 + i * (pic.m_nWidth - 4) / 8;
        const int x1 = 2 + (i + 1) * (pic.m_nWidth - 4) / 8;
        Fill(pic, x0, barTop, x1 - x0, pic.m_nHeight / 8, static_cast<uint8_t>(i * 255 / 7));
    }
    // The channel number, as large as the middle of the picture allows.
    const std::string chan = std::to_string(channel);
    const int scale = std::max(
        1, std::min(pic.m_nHeight / 2 / 7, pic.m_nWidth / 2 / (6 * static_cast<int>(chan.size()))));
    const int textW = static_cast<int>(chan.size()) * 6 * scale - scale;
    const int cx = (pic.m_nWidth - textW) / 2;
    const int cy = (pic.m_nHeight - 7 * scale) / 2;
    Fill(pic, cx - scale, cy - scale, textW + 2 * scale, 9 * scale, 0);
    DrawText(pic, chan, cx, cy, scale, 255);
    // The frame counter, five digits, top left.
    std::string count = std::to_string(counter % 100000);
    count.insert(0, 5 - count.size(), '0');
    const int small = std::max(1, pic.m_nHeight / 72);
    Fill(pic, 4, 4, 30 * small + 2 * small, 9 * small, 0);
    DrawText(pic, count, 4 + small, 4 + small, small, 255);
    return pic;
}

const char* SimSceneName(ESimScene scene) {
    switch (scene) {
        case ESimScene::Dark:
            return "dark";
        case ESimScene::Uniform:
            return "uniform";
        case ESimScene::Repeated:
            return "repeated";
        case ESimScene::Normal:
            break;
    }
    return "normal";
}

bool ParseSimScene(const std::string& text, ESimScene& scene) {
    for (const ESimScene s :
         {ESimScene::Normal, ESimScene::Dark, ESimScene::Uniform, ESimScene::Repeated}) {
        if (text == SimSceneName(s)) {
            scene = s;
            return true;
        }
    }
    return false;
}

const char* SimSceneNames() {
    return "normal, dark, uniform or repeated";
}

CGreyPicture DarkenPicture(const CGreyPicture& pic) {
    CGreyPicture dark = pic;
    for (uint8_t& v : dark.m_pixels)
        v = static_cast<uint8_t>(v / 8);
    return dark;
}

CGreyPicture UniformPicture(int width, int height, uint8_t grey) {
    CGreyPicture pic;
    pic.m_nWidth = std::max(0, width);
    pic.m_nHeight = std::max(0, height);
    pic.m_pixels.assign(static_cast<size_t>(pic.m_nWidth) * pic.m_nHeight, grey);
    return pic;
}

CGreyPicture ScalePicture(const CGreyPicture& src, int width, int height) {
    CGreyPicture out;
    out.m_nWidth = std::max(0, width);
    out.m_nHeight = std::max(0, height);
    out.m_pixels.assign(static_cast<size_t>(out.m_nWidth) * out.m_nHeight, 0);
    if (src.m_nWidth <= 0 || src.m_nHeight <= 0)
        return out;
    for (int y = 0; y < out.m_nHeight; ++y) {
        const int sy = static_cast<int>(int64_t{y} * src.m_nHeight / out.m_nHeight);
        for (int x = 0; x < out.m_nWidth; ++x) {
            const int sx = static_cast<int>(int64_t{x} * src.m_nWidth / out.m_nWidth);
            out.m_pixels[static_cast<size_t>(y) * out.m_nWidth + x] = src.At(sx, sy);
        }
    }
    return out;
}

std::vector<uint8_t> MakeChroma(int width, int height) {
    // Blue and red differences of eight bars from the neutral values.
    static constexpr int kBars[8][2] = {{0, 0},     {40, -40}, {-40, 40}, {40, 40},
                                        {-40, -40}, {60, 0},   {0, 60},   {-60, 0}};
    std::vector<uint8_t> chroma(static_cast<size_t>(std::max(0, width)) * std::max(0, height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int bar = x * 8 / width;
            const int v = (x % 2 == 0) ? kNeutralBlue + kBars[bar][0] : kNeutralRed + kBars[bar][1];
            chroma[static_cast<size_t>(y) * width + x] = static_cast<uint8_t>(v);
        }
    return chroma;
}

std::vector<uint8_t> MakeNeutralChroma(int width, int height) {
    std::vector<uint8_t> chroma(static_cast<size_t>(std::max(0, width)) * std::max(0, height));
    for (size_t i = 0; i < chroma.size(); ++i)
        chroma[i] = (i % static_cast<size_t>(width)) % 2 == 0 ? kNeutralBlue : kNeutralRed;
    return chroma;
}

std::vector<uint8_t> EncodePicture(const CGreyPicture& pic, const std::vector<uint8_t>& chroma,
                                   int mode, bool bPlainGrey) {
    const std::vector<uint8_t>& px = pic.m_pixels;
    std::vector<uint8_t> out;
    if (bPlainGrey || mode == 3)
        return px;
    if (mode == 4) {
        out.reserve(px.size() * 2);
        for (size_t i = 0; i < px.size(); ++i) {
            out.push_back(px[i]);
            out.push_back(i < chroma.size() ? chroma[i] : 0);
        }
        return out;
    }
    if (mode == 1 || mode == 2) {
        auto nibble = [mode](uint8_t v) { return mode == 1 ? (v & 0x0F) : (v >> 4); };
        out.reserve((px.size() + 1) / 2);
        for (int y = 0; y < pic.m_nHeight; ++y)
            for (int x = 0; x < pic.m_nWidth; x += 2) {
                const uint8_t left = nibble(pic.At(x, y));
                const uint8_t right = (x + 1 < pic.m_nWidth) ? nibble(pic.At(x + 1, y)) : 0;
                out.push_back(static_cast<uint8_t>((left << 4) | right));
            }
        return out;
    }
    return px;
}

bool ParseBmp(const uint8_t* data, size_t n, CGreyPicture& out, std::string* error) {
    if (n < 54 || data[0] != 'B' || data[1] != 'M')
        return Fail(error, "not a BMP file");
    const uint32_t pixelOffset = Le32(data + 10);
    const uint32_t headerSize = Le32(data + 14);
    if (headerSize < 40)
        return Fail(error, "unsupported BMP header");
    const int32_t width = static_cast<int32_t>(Le32(data + 18));
    const int32_t rawHeight = static_cast<int32_t>(Le32(data + 22));
    const uint16_t bits = Le16(data + 28);
    const uint32_t compression = Le32(data + 30);
    if (compression != 0)
        return Fail(error, "compressed BMP files are not supported");
    if (bits != 8 && bits != 24)
        return Fail(error, "only 8-bit and 24-bit BMP files are supported");
    if (width <= 0 || rawHeight == 0 || width > 16384 || rawHeight > 16384 || rawHeight < -16384)
        return Fail(error, "bad BMP size");
    const bool bTopDown = rawHeight < 0;
    const int height = bTopDown ? -rawHeight : rawHeight;
    const size_t stride = ((static_cast<size_t>(width) * bits + 31) / 32) * 4;
    if (pixelOffset > n || stride * height > n - pixelOffset)
        return Fail(error, "BMP file is truncated");
    std::array<uint8_t, 256> palette{};
    if (bits == 8) {
        uint32_t colours = Le32(data + 46);
        if (colours == 0 || colours > 256)
            colours = 256;
        const size_t palStart = 14 + headerSize;
        if (palStart + size_t{colours} * 4 > pixelOffset)
            return Fail(error, "BMP palette is truncated");
        for (uint32_t i = 0; i < colours; ++i) {
            const uint8_t* e = data + palStart + i * 4;
            palette[i] = Luma(e[2], e[1], e[0]);
        }
    }
    out.m_nWidth = width;
    out.m_nHeight = height;
    out.m_pixels.assign(static_cast<size_t>(width) * height, 0);
    for (int y = 0; y < height; ++y) {
        const int fileRow = bTopDown ? y : height - 1 - y;
        const uint8_t* row = data + pixelOffset + stride * fileRow;
        for (int x = 0; x < width; ++x) {
            uint8_t v;
            if (bits == 8)
                v = palette[row[x]];
            else
                v = Luma(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
            out.m_pixels[static_cast<size_t>(y) * width + x] = v;
        }
    }
    return true;
}

bool LoadBmp(const std::string& path, CGreyPicture& out, std::string* error) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return Fail(error, "cannot open the BMP file");
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                               std::istreambuf_iterator<char>());
    return ParseBmp(bytes.data(), bytes.size(), out, error);
}
