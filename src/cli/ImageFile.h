#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CImage;

// The image as the bytes of a file: PNG when the name ends in ".png" (any case), otherwise
// the BMP file exactly as the window saves it. Empty, with the reason in *error, when the
// image cannot be encoded.
std::vector<uint8_t> ImageFileBytes(const std::string& name, const CImage& image,
                                    std::string* error);

// Writes the image to path as ImageFileBytes encodes it, following the target as the
// window's save does (WriteTargetFile); on failure the reason goes to *error.
bool WriteImageFile(const std::string& path, const CImage& image, std::string* error);

bool IsPngName(const std::string& path);
