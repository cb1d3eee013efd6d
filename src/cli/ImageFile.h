#pragma once

#include <string>

class CImage;

// Writes the image to path: a PNG file when the name ends in ".png" (any case), otherwise
// the BMP file exactly as the window saves it. Either way the target is replaced only
// when the whole file was written; on failure the reason goes to *error.
bool WriteImageFile(const std::string& path, const CImage& image, std::string* error);

bool IsPngName(const std::string& path);
