#pragma once

#include <cstdint>
#include <vector>

class CImage;

// Size of the file header that precedes the descriptor in a BMP file.
inline constexpr uint32_t kBmpFileHeaderSize = 14;

// The whole BMP file of the image, byte for byte: the 14-byte file header ("BM", file
// size, two reserved zeros, offset of the pixel data), the descriptor as held, then the
// pixel rows as held. Empty when the image has no descriptor or no pixels.
std::vector<uint8_t> BuildBmpFile(const CImage& image);
