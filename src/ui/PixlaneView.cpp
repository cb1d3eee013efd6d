#include "ui/PixlaneView.h"

#include <QPaintEvent>
#include <QPainter>
#include <algorithm>

#include "image/Image.h"
#include "ui/PixlaneDoc.h"

namespace {
constexpr size_t kInfoHeaderSize = 40;

// The image buffer as a picture: bottom-up rows turned top-down, 8-bit pixels through
// the descriptor's colour table, 24-bit pixels as blue, green, red.
QImage BufferPicture(const CImage& image, int width, int height) {
    if (!image.HasBits())
        return {};
    width = std::min(width, image.Width());
    height = std::min(height, image.Height());
    if (width <= 0 || height <= 0)
        return {};
    QImage out(width, height, QImage::Format_RGB32);
    const uint8_t* palette = image.Bmi() + kInfoHeaderSize;
    const bool colour = image.IsColour();
    const bool hasPalette = !colour && image.BmiSize() >= kInfoHeaderSize + 256 * 4;
    const size_t rowBytes = image.RowBytes();
    const uint8_t* bits = image.Bits();
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = bits + static_cast<size_t>(image.Height() - 1 - y) * rowBytes;
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < width; ++x) {
            if (colour) {
                const uint8_t* p = row + 3 * static_cast<size_t>(x);
                line[x] = qRgb(p[2], p[1], p[0]);
            } else if (hasPalette) {
                const uint8_t* e = palette + 4 * static_cast<size_t>(row[x]);
                line[x] = qRgb(e[2], e[1], e[0]);
            } else {
                line[x] = qRgb(row[x], row[x], row[x]);
            }
        }
    }
    return out;
}
}  // namespace

CPixlaneView::CPixlaneView(const CImage& image, CPixlaneDoc& doc, QWidget* parent)
    : QWidget(parent), m_image(image), m_doc(doc) {
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setAutoFillBackground(true);
}

void CPixlaneView::SetImageSize(int height, int width) {
    m_nImageHeight = height;
    m_nImageWidth = width;
}

CScreenImage* CPixlaneView::BeginDrawing(int width, int height) {
    if (width <= 0 || height <= 0)
        return nullptr;
    if (m_screenImage.width() != width || m_screenImage.height() != height) {
        m_screenImage = QImage(width, height, QImage::Format_RGB32);
        if (m_screenImage.isNull())
            return nullptr;
        m_screenImage.fill(Qt::black);
    }
    m_bDrawing = true;
    // The decoder writes 0xFFRRGGBB, which is this format's pixel layout.
    m_screen.m_pPixels = reinterpret_cast<uint32_t*>(m_screenImage.bits());
    m_screen.m_nWidth = width;
    m_screen.m_nHeight = height;
    m_screen.m_nStride = static_cast<int>(m_screenImage.bytesPerLine() / 4);
    return &m_screen;
}

void CPixlaneView::RepaintRows(int first, int last) {
    const QRect rows = RowsRect(first, last);
    // Paint at once: no events are processed while a fetch runs.
    if (!rows.isEmpty())
        repaint(rows);
}

QRect CPixlaneView::RowsRect(int first, int last) const {
    if (!m_bDrawing || last < first)
        return {};
    return QRect(0, first, m_screen.m_nWidth, last - first + 1);
}

void CPixlaneView::EndDrawing() {
    m_bDrawing = false;
    update();
}

QImage CPixlaneView::Picture() const {
    if (m_bDrawing)
        return m_screenImage;
    return BufferPicture(m_image, m_nImageWidth, m_nImageHeight);
}

void CPixlaneView::paintEvent(QPaintEvent* event) {
    m_doc.SetTitle(QStringLiteral(" "));
    const QImage picture = Picture();
    if (picture.isNull())
        return;
    QPainter painter(this);
    painter.setClipRegion(event->region());
    painter.drawImage(QPoint(0, 0), picture);
}
