#include "cli/ImageFile.h"

#include <QImage>
#include <QImageWriter>
#include <QSaveFile>
#include <QString>
#include <cstring>

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

bool WritePngFile(const std::string& path, const CImage& image, std::string* error) {
    const QImage picture = ToQImage(image);
    if (picture.isNull()) {
        SetError(error, QStringLiteral("no memory for the picture"));
        return false;
    }
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly)) {
        SetError(error, file.errorString());
        return false;
    }
    QImageWriter writer(&file, "png");
    if (!writer.write(picture)) {
        SetError(error, writer.errorString());
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        SetError(error, file.errorString());
        return false;
    }
    return true;
}

}  // namespace

bool IsPngName(const std::string& path) {
    return QString::fromStdString(path).endsWith(QStringLiteral(".png"), Qt::CaseInsensitive);
}

bool WriteImageFile(const std::string& path, const CImage& image, std::string* error) {
    if (!image.HasBits()) {
        SetError(error, QStringLiteral("no image"));
        return false;
    }
    if (IsPngName(path))
        return WritePngFile(path, image, error);
    return WriteBmpFileAtomic(path, image, error);
}
