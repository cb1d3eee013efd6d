#pragma once

#include <cstdint>

// The picture on the screen that blocks are drawn into while they arrive: 0xFFRRGGBB
// pixels, owned by the user interface. Image pixel (x, y) (y = 0 at the top) goes to
// m_pPixels[y · m_nStride + x]; where the picture sits in the window is the user
// interface's business. Pixels outside m_nWidth × m_nHeight are not drawn.
struct CScreenImage {
    uint32_t* m_pPixels = nullptr;
    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nStride = 0;  // in pixels
};
