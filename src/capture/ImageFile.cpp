#include "capture/ImageFile.h"

#include <QByteArray>
#include <QString>
#include <array>

#include "capture/TargetFile.h"
#include "image/Bmp.h"
#include "image/Image.h"

namespace {

void SetError(std::string* error, const QString& text) {
    if (error != nullptr)
        *error = text.toStdString();
}

uint32_t Crc32(const uint8_t* data, size_t n, uint32_t crc = 0) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (size_t i = 0; i < n; ++i)
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(v >> shift));
}

// One chunk: length, type, data and the check value over type and data.
void PutChunk(std::vector<uint8_t>& out, const char* type, const uint8_t* data, size_t n) {
    PutU32(out, static_cast<uint32_t>(n));
    const size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data, data + n);
    PutU32(out, Crc32(out.data() + typeAt, n + 4));
}

// The image as a PNG file: 8-bit grey, or 8-bit red, green, blue; top row first, every
// row unfiltered, compressed with the zlib stream that qCompress makes.
std::vector<uint8_t> PngBytes(const CImage& image, std::string* error) {
    const int w = image.Width();
    const int h = image.Height();
    const bool colour = image.IsColour();
    const size_t rowBytes = image.RowBytes();
    QByteArray raw;
    raw.reserve(static_cast<qsizetype>((rowBytes + 1) * static_cast<size_t>(h)));
    for (int y = 0; y < h; ++y) {
        const uint8_t* src = image.Bits() + static_cast<size_t>(h - 1 - y) * rowBytes;
        raw.append('\0');
        if (!colour) {
            raw.append(reinterpret_cast<const char*>(src), static_cast<qsizetype>(rowBytes));
            continue;
        }
        for (int x = 0; x < w; ++x) {
            raw.append(static_cast<char>(src[3 * x + 2]));
            raw.append(static_cast<char>(src[3 * x + 1]));
            raw.append(static_cast<char>(src[3 * x]));
        }
    }
    QByteArray z = qCompress(raw, 9);
    // qCompress puts the uncompressed length in front of the zlib stream.
    if (z.size() <= 4) {
        SetError(error, QStringLiteral("Komprimieren fehlgeschlagen"));
        return {};
    }
    z.remove(0, 4);

    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    PutU32(header, static_cast<uint32_t>(w));
    PutU32(header, static_cast<uint32_t>(h));
    // Bit depth 8; colour type 2 (RGB) or 0 (grey); deflate, adaptive filters, no interlace.
    header.insert(header.end(), {8, static_cast<uint8_t>(colour ? 2 : 0), 0, 0, 0});
    PutChunk(out, "IHDR", header.data(), header.size());
    PutChunk(out, "IDAT", reinterpret_cast<const uint8_t*>(z.constData()),
             static_cast<size_t>(z.size()));
    PutChunk(out, "IEND", nullptr, 0);
    return out;
}

}  // namespace

bool IsPngName(const std::string& path) {
    return QString::fromStdString(path).endsWith(QStringLiteral(".png"), Qt::CaseInsensitive);
}

std::vector<uint8_t> ImageFileBytes(const std::string& name, const CImage& image,
                                    std::string* error) {
    if (!image.HasBits()) {
        SetError(error, QStringLiteral("kein Bild vorhanden"));
        return {};
    }
    if (IsPngName(name))
        return PngBytes(image, error);
    return BuildBmpFile(image);
}

bool WriteImageFile(const std::string& path, const CImage& image, std::string* error,
                    ETargetWrite mode, std::string* written) {
    const std::vector<uint8_t> bytes = ImageFileBytes(path, image, error);
    if (bytes.empty())
        return false;
    return WriteTargetFile(path, bytes, error, mode, written);
}
