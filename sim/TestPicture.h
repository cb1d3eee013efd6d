#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// An 8-bit grey picture, row-major, top row first.
struct CGreyPicture {
    int m_nWidth = 0;
    int m_nHeight = 0;
    std::vector<uint8_t> m_pixels;

    uint8_t At(int x, int y) const { return m_pixels[static_cast<size_t>(y) * m_nWidth + x]; }
};

// The built-in picture: a diagonal gradient with a frame, grey bars along the bottom, the
// channel number drawn large in the middle and the frame counter in the top left corner,
// so that every request shows a different, recognisable picture.
CGreyPicture MakeTestPicture(int width, int height, int channel, unsigned counter);

// A picture for lines that escape the byte 0xFF (Telnet doubles it): runs of 0xFF and the
// bytes that follow 0xFF in Telnet's commands throughout, and every 180 bytes of the
// picture (a block of 8-bit grey at the standard block size) adding up to 1 modulo 256, so
// that each block's check byte is 0xFF as well.
CGreyPicture MakeEscapePicture(int width, int height);

// What the camera in front of the simulated module shows.
enum class ESimScene {
    Normal,    // the picture as it is: the test picture, new on every request
    Dark,      // the same at an eighth of its brightness, without colour: night, a covered lens
    Uniform,   // one grey all over, without colour: a camera without video signal
    Repeated,  // one frame on every request: a grabber that stopped
};

// "normal", "dark", "uniform", "repeated".
const char* SimSceneName(ESimScene scene);
bool ParseSimScene(const std::string& text, ESimScene& scene);
// The names above for a help text or a message: "normal, dark, uniform or repeated".
const char* SimSceneNames();

// The grey of the uniform scene.
constexpr uint8_t kSimUniformGrey = 128;

// The picture at an eighth of its brightness, as a camera gives it at night.
CGreyPicture DarkenPicture(const CGreyPicture& pic);
// One grey level all over.
CGreyPicture UniformPicture(int width, int height, uint8_t grey);

// Nearest-neighbour scaling to the given size.
CGreyPicture ScalePicture(const CGreyPicture& src, int width, int height);

// The chroma byte the simulation sends with each pixel in colour mode: colour bars across the
// picture, the blue difference on even columns and the red difference on odd ones.
std::vector<uint8_t> MakeChroma(int width, int height);
// The chroma bytes of a picture without colour: every pixel grey.
std::vector<uint8_t> MakeNeutralChroma(int width, int height);

// The byte stream of a whole picture in a transfer mode, in the order the blocks carry it:
//  mode 3: one grey byte per pixel;
//  modes 1, 2: two pixels per byte, the left one in the high nibble; mode 1 carries the low
//  nibble of every pixel, mode 2 the high nibble;
//  mode 4: a (luma, chroma) byte pair per pixel.
// Rows follow each other from the top, every row left to right. bPlainGrey forces mode 3
// whatever the mode (the wide formats 256, 512 and 768 are always sent as 8-bit rows).
std::vector<uint8_t> EncodePicture(const CGreyPicture& pic, const std::vector<uint8_t>& chroma,
                                   int mode, bool bPlainGrey);

// Reads an uncompressed 8-bit (palette) or 24-bit BMP and converts it to grey (luma).
bool ParseBmp(const uint8_t* data, size_t n, CGreyPicture& out, std::string* error);
bool LoadBmp(const std::string& path, CGreyPicture& out, std::string* error);
