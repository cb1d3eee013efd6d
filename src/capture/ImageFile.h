#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "capture/TargetFile.h"

class CImage;

// The image as the bytes of a file: PNG when the name ends in ".png" (any case), otherwise
// the BMP file exactly as the window saves it. Empty, with the reason in *error, when the
// image cannot be encoded.
std::vector<uint8_t> ImageFileBytes(const std::string& name, const CImage& image,
                                    std::string* error);

// Writes the image to path as ImageFileBytes encodes it, the way WriteTargetFile writes
// (following the target, or keeping what exists); on failure the reason goes to *error.
bool WriteImageFile(const std::string& path, const CImage& image, std::string* error,
                    ETargetWrite mode = ETargetWrite::Replace, std::string* written = nullptr);

bool IsPngName(const std::string& path);
