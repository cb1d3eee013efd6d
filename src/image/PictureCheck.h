#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

class CImage;

// What the check of a received picture says about it. It tells; it never throws a picture
// away.
enum class EPictureCheck {
    Ok,
    Dark,     // too little light: night, a covered or sprayed lens
    Uniform,  // one colour all over: no video signal, a lens iced or painted over
    Frozen,   // the same pixels as the camera's previous pictures: a grabber that stopped
};

// The measured values of one picture, from its grey levels (the luma of colour pixels).
struct CPictureMeasure {
    // Mean grey level, 0..255.
    double m_dMean = 0;
    // The span of grey levels that holds the middle nine tenths of the pixels: the level
    // below which the darkest twentieth lies up to the level above which the brightest
    // twentieth lies. A time stamp or caption drawn into an otherwise empty picture stays
    // outside it.
    double m_dSpread = 0;
    // Hash of the pixel values with the width, height and format (see PictureHash).
    uint64_t m_nHash = 0;
};

// When a picture counts as dark, uniform or frozen. The defaults suit the module's
// pictures (180 × 144 and 360 × 288, grey and colour); docs/DECISIONS.md says how they
// were chosen.
struct CPictureLimits {
    static constexpr double kDarkMean = 24;
    static constexpr double kUniformSpread = 8;
    static constexpr int kFrozenCount = 3;
    // The most previous pictures a frozen check compares with.
    static constexpr int kMaxFrozenCount = 100;

    // Dark: mean below this grey level (0 turns the check off).
    double m_dDarkMean = kDarkMean;
    // Uniform: spread below this many grey levels (0 turns the check off).
    double m_dUniformSpread = kUniformSpread;
    // Frozen: the same pixels as each of the camera's previous this many good pictures
    // (0 turns the check off).
    int m_nFrozenCount = kFrozenCount;
};

struct CPictureVerdict {
    EPictureCheck m_eCheck = EPictureCheck::Ok;
    CPictureMeasure m_measure;
};

// Mean, spread and hash of the image's pixels; nothing when it has none. fullScale is the
// brightest grey level the picture's transfer mode carries (15 for pictures made of low
// nibbles alone, otherwise 255): mean and spread are given on the 0..255 scale all the same,
// so that one set of limits fits every mode.
std::optional<CPictureMeasure> MeasurePicture(const CImage& image, int fullScale = 255);

// The verdict on measured values. previous holds the hashes of the camera's previous good
// pictures, newest first. A picture that is uniform is said to be uniform even when it is
// also dark; a frozen picture is one that is neither but has the same hash as each of the
// m_nFrozenCount newest previous ones (fewer than that: not frozen).
EPictureCheck ClassifyPicture(const CPictureMeasure& measure, const CPictureLimits& limits,
                              std::span<const uint64_t> previous);

// Measure and verdict in one; nothing when the image has no pixels.
std::optional<CPictureVerdict> CheckPicture(const CImage& image, const CPictureLimits& limits,
                                            std::span<const uint64_t> previous,
                                            int fullScale = 255);

// The hash of a picture's pixels: the same for the same pixel values at the same width,
// height and format, whatever file or transfer they came from, and different whenever the
// pixels differ within any single run of eight bytes. The top left pixel of a colour
// picture is left out: the decoder makes its colour partly from the picture before. The
// journal keeps the hash, so its definition does not change between versions (see
// docs/DECISIONS.md). 0 when the image has no pixels.
uint64_t PictureHash(const CImage& image);

// "ok", "dark", "uniform", "frozen": the check's word in the journal and the metrics.
const char* PictureCheckName(EPictureCheck check);
// The word back; false for any other text.
bool ParsePictureCheck(const std::string& text, EPictureCheck& check);
// The word a person reads beside a picture: "dunkel", "einfarbig", "eingefroren"; empty
// for a picture that is in order.
const char* PictureCheckWord(EPictureCheck check);

// A hash as the journal writes it: sixteen lower-case hexadecimal digits.
std::string PictureHashText(uint64_t hash);
// Exactly sixteen hexadecimal digits (either case) back into the hash.
bool ParsePictureHash(const std::string& text, uint64_t& hash);
