#pragma once

#include <gtest/gtest.h>

#include "image/Image.h"

// An image with a pattern that tells rows and columns apart.
inline void MakeImage(CImage& image, int w, int h, bool colour) {
    ASSERT_TRUE(image.Create(w, h, colour));
    ASSERT_TRUE(image.AllocateBits());
    for (size_t k = 0; k < image.BitsSize(); ++k) {
        image.Bits()[k] = static_cast<uint8_t>(k * 7 + k / 251);
    }
}
