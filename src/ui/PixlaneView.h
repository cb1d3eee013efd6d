#pragma once

#include <QImage>
#include <QWidget>

#include "image/ScreenImage.h"

class CImage;
class CPixlaneDoc;

// The client area: paints the current image 1:1 at its top-left corner. While a fetch
// draws, it shows the screen image the decoder writes into instead.
class CPixlaneView : public QWidget {
    Q_OBJECT
  public:
    CPixlaneView(const CImage& image, CPixlaneDoc& doc, QWidget* parent = nullptr);

    // How much of the image buffer to paint.
    void SetImageSize(int height, int width);
    int ImageHeight() const { return m_nImageHeight; }
    int ImageWidth() const { return m_nImageWidth; }

    // The screen image for a fetch of W × H; from now on the view shows it.
    CScreenImage* BeginDrawing(int width, int height);
    // Paints rows first..last of the screen image now.
    void RepaintRows(int first, int last);
    // Where rows first..last of the screen image show in the view; empty while not drawing.
    QRect RowsRect(int first, int last) const;
    // The fetch is over: paint from the image buffer again.
    void EndDrawing();
    bool IsDrawing() const { return m_bDrawing; }

    // What the view paints: the screen image while drawing, else the image buffer
    // clipped to the image size; null image when there is nothing to paint.
    QImage Picture() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int m_nImageHeight = 0;
    int m_nImageWidth = 0;
    const CImage& m_image;
    CPixlaneDoc& m_doc;
    QImage m_screenImage;
    CScreenImage m_screen;
    bool m_bDrawing = false;
};
