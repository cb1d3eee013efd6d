#pragma once

#include <optional>
#include <string>

#include "link/ComPort.h"
#include "link/ModemDialler.h"

// Why a request cannot give a picture.
enum class ERequestProblem {
    kNone,        // the frame goes out and the decoder makes a picture of its blocks
    kWidth,       // a width without a request frame: nothing is sent and nothing said
    kInvalid,     // a height, mode or expert field that no frame can carry
    kNoDecoding,  // the frame goes out, but the decoder draws nothing of its blocks
};

// What the window shows for an invalid request, and pixlane-cli for every problem.
inline constexpr const char* kBadRequestText = "Ungültige Bildanforderung !";

// What one fetch asks the module for: the picture's size, transfer mode and colour, and
// in expert mode the fields of its request frame as the user wrote them.
struct CFetchRequest {
    int m_nWidth = 180;
    int m_nHeight = 144;
    int m_iMode = 3;  // transfer mode: 1, 2 the nibble halves, 3 grey, 4 colour
    bool m_bColour = false;
    bool m_bExpert = false;
    std::string m_sOffset = "00000";  // hexadecimal, up to five digits
    std::string m_sBgroesse = "FF";   // block size, hexadecimal, up to two digits
    std::string m_sBanzahl = "90";    // block count, hexadecimal, up to four digits

    // Whether a picture can come of the request, and why not. The frame it sends
    // ("I,00000,B4,0090,3#") goes to *frame, empty for kWidth and kInvalid.
    ERequestProblem Problem(std::string* frame = nullptr) const;
    std::string Frame() const;
    // The blocks the frame asks for, and so the blocks a fetch reads; 0 without a frame.
    int BlockCount() const;
    // What pixlane-cli says about a problem after kBadRequestText (German); empty where
    // there is nothing to add.
    std::string ProblemText(ERequestProblem problem) const;
};

// What a site of the book or pixlane-cli's options change of a request; 0, nullopt and
// false leave a value as it is.
struct CRequestChanges {
    int m_nWidth = 0;  // with the standard height of the width, unless a height is given
    int m_nHeight = 0;
    std::optional<bool> m_bColour;  // with its mode (4 or 3), unless a mode is given
    int m_iMode = 0;                // with its colour
    bool m_bExpert = false;         // with the three fields
    std::string m_sOffset;
    std::string m_sBgroesse;
    std::string m_sBanzahl;
};
CFetchRequest ChangedRequest(CFetchRequest request, const CRequestChanges& changes);

// What a fetch gave.
struct CFetchOutcome {
    CFetchRequest m_request;  // what it asked for
    int m_nTransfer = -1;     // TransferResult; -1 when no request went out
    bool m_bDialled = false;  // the modem was dialled first
    CDialResult m_dial;       // what that dial gave
    bool Whole() const { return m_nTransfer == kTransferComplete; }
};
