#include "cli/ImageFile.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageWriter>
#include <QString>
#include <cstring>

#include "app/TargetFile.h"
#include "image/Bmp.h"
#include "image/Image.h"

namespace {

void SetError(std::string* error, const QString& text) {
    if (error != nullptr)
        *error = text.toStdString();
}

// The image as a QImage, top row first: grey as 8-bit grey (the BMP's palette is the grey
// ramp), colour from the stored blue, green, red.
QImage ToQImage(const CImage& image) {
    const int w = image.Width();
    const int h = image.Height();
    QImage out(w, h, image.IsColour() ? QImage::Format_RGB888 : QImage::Format_Grayscale8);
    if (out.isNull())
        return out;
    const size_t rowBytes = image.RowBytes();
    for (int y = 0; y < h; ++y) {
        const uint8_t* src = image.Bits() + static_cast<size_t>(h - 1 - y) * rowBytes;
        uint8_t* dst = out.scanLine(y);
        if (!image.IsColour()) {
            std::memcpy(dst, src, rowBytes);
            continue;
        }
        for (int x = 0; x < w; ++x) {
            dst[3 * x] = src[3 * x + 2];
            dst[3 * x + 1] = src[3 * x + 1];
            dst[3 * x + 2] = src[3 * x];
        }
    }
    return out;
}

std::vector<uint8_t> PngBytes(const CImage& image, std::string* error) {
    const QImage picture = ToQImage(image);
    if (picture.isNull()) {
        SetError(error, QStringLiteral("no memory for the picture"));
        return {};
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(picture)) {
        SetError(error, writer.errorString());
        return {};
    }
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

}  // namespace

bool IsPngName(const std::string& path) {
    return QString::fromStdString(path).endsWith(QStringLiteral(".png"), Qt::CaseInsensitive);
}

std::vector<uint8_t> ImageFileBytes(const std::string& name, const CImage& image,
                                    std::string* error) {
    if (!image.HasBits()) {
        SetError(error, QStringLiteral("no image"));
        return {};
    }
    if (IsPngName(name))
        return PngBytes(image, error);
    return BuildBmpFile(image);
}

bool WriteImageFile(const std::string& path, const CImage& image, std::string* error) {
    const std::vector<uint8_t> bytes = ImageFileBytes(path, image, error);
    if (bytes.empty())
        return false;
    return WriteTargetFile(path, bytes, error);
}
