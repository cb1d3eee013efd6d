#include "capture/FetchRequest.h"

#include <cctype>
#include <cstdio>

#include "image/Decoder.h"
#include "image/Image.h"
#include "protocol/Hex.h"

namespace {
bool IsHexText(const std::string& s) {
    for (char c : s)
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
    return true;
}

// Pads a field on the left with "0" to its width; false when it is too long or not hex.
bool PadField(const std::string& value, size_t width, std::string& out) {
    if (value.size() > width || !IsHexText(value))
        return false;
    out = std::string(width - value.size(), '0') + value;
    return true;
}

// The frames of the wide grey formats, each with a block count of its own.
const char* WideFrame(int width) {
    switch (width) {
        case 256:
            return "I,00000,FF,00C9,3#";
        case 512:
            return "I,00000,FF,0405,3#";
        case 768:
            return "I,00000,FF,06C7,3#";
        default:
            return nullptr;
    }
}

// Blocks of 180 bytes that a picture of width 180 or 360 takes in a mode 1..4.
int BlockCountFor(int width, int height, int mode) {
    const int perRow = width == 180 ? 1 : 2;
    if (mode == 1 || mode == 2)
        return width == 180 ? height / 2 : height;
    return mode == 3 ? perRow * height : 2 * perRow * height;
}

// Where the block count stands in a request frame: "I,ooooo,bb,cccc,m#".
constexpr size_t kCountAt = 11;
constexpr size_t kCountDigits = 4;

bool IsSupportedWidth(int w) {
    return w == 180 || w == 256 || w == 360 || w == 512 || w == 768;
}

// The frame of the request; kNone, kWidth or kInvalid.
ERequestProblem BuildFrame(const CFetchRequest& r, std::string& frame) {
    frame.clear();
    const int W = r.m_nWidth;
    if (!IsSupportedWidth(W))
        return ERequestProblem::kWidth;
    if (r.m_nHeight < 1 || r.m_nHeight > CImage::kMaxSide)
        return ERequestProblem::kInvalid;
    const bool narrow = W == 180 || W == 360;
    if (narrow && (r.m_iMode < 1 || r.m_iMode > 4))
        return ERequestProblem::kInvalid;
    if (!r.m_bExpert) {
        if (!narrow) {
            frame = WideFrame(W);
            return ERequestProblem::kNone;
        }
        // The request asks for the blocks of the configured height, so that the module
        // sends exactly what the fetch reads; the standard heights give the usual frames.
        char text[32];
        std::snprintf(text, sizeof text, "I,00000,B4,%04X,%d#",
                      static_cast<unsigned>(BlockCountFor(W, r.m_nHeight, r.m_iMode)), r.m_iMode);
        frame = text;
        return ERequestProblem::kNone;
    }
    std::string offset, size, count;
    if (r.m_iMode < 1 || r.m_iMode > 9 || !PadField(r.m_sOffset, 5, offset) ||
        !PadField(r.m_sBgroesse, 2, size) || !PadField(r.m_sBanzahl, 4, count))
        return ERequestProblem::kInvalid;
    frame = "I," + offset + "," + size + "," + count + "," + std::to_string(r.m_iMode) + "#";
    return ERequestProblem::kNone;
}
}  // namespace

ERequestProblem CFetchRequest::Problem(std::string* frame) const {
    std::string built;
    ERequestProblem problem = BuildFrame(*this, built);
    if (problem == ERequestProblem::kNone && !HasDecoding(m_nWidth, m_bColour, m_iMode))
        problem = ERequestProblem::kNoDecoding;
    if (frame != nullptr)
        frame->swap(built);
    return problem;
}

std::string CFetchRequest::Frame() const {
    std::string frame;
    Problem(&frame);
    return frame;
}

int CFetchRequest::BlockCount() const {
    const std::string frame = Frame();
    return frame.empty() ? 0 : HexToInt(frame.substr(kCountAt, kCountDigits));
}

std::string CFetchRequest::ProblemText(ERequestProblem problem) const {
    switch (problem) {
        case ERequestProblem::kWidth:
            return "Bildbreite " + std::to_string(m_nWidth) +
                   " wird nicht unterstützt (180, 256, 360, 512 oder 768)";
        case ERequestProblem::kNoDecoding:
            return std::string(m_bColour ? "Farbe" : "Grau") + " mit Modus " +
                   std::to_string(m_iMode) + " ergibt kein Bild (" +
                   (m_bColour ? "Farbe geht nur mit Modus 4"
                              : "Grau geht nur mit Modus 1, 2 oder 3") +
                   ")";
        case ERequestProblem::kNone:
        case ERequestProblem::kInvalid:
            break;
    }
    return {};
}

CFetchRequest ChangedRequest(CFetchRequest r, const CRequestChanges& c) {
    if (c.m_nWidth != 0) {
        r.m_nWidth = c.m_nWidth;
        r.m_nHeight = c.m_nWidth * 4 / 5;
    }
    if (c.m_nHeight != 0)
        r.m_nHeight = c.m_nHeight;
    if (c.m_bColour) {
        r.m_bColour = *c.m_bColour;
        r.m_iMode = *c.m_bColour ? 4 : 3;
    }
    if (c.m_iMode != 0) {
        r.m_iMode = c.m_iMode;
        r.m_bColour = c.m_iMode == 4;
    }
    if (c.m_bExpert) {
        r.m_bExpert = true;
        r.m_sOffset = c.m_sOffset;
        r.m_sBgroesse = c.m_sBgroesse;
        r.m_sBanzahl = c.m_sBanzahl;
    }
    return r;
}
