#pragma once

#include <cstdint>
#include <string>

#include "link/LineAddress.h"

// The parts of a target that capture works with: the line it is reached on. The whole
// target, made from the settings, a site and the options, is fleet/Target.h.

// Where the line opens, at what rate and RTS mode, and whether the modem dials and what.
struct CTargetLine {
    CLineAddress m_address;
    int m_iBaudrate = 57600;
    uint8_t m_nRtsControl = 2;  // as the setting sHandshake: 2 RTS handshake, 0 off
    bool m_bModem = false;      // dialled through the modem at m_sNumber, else on a cable
    std::string m_sNumber;
};

// "ComPort COMn (device) kann nicht geöffnet werden !" for a port number that failed to
// open; the device only for the numbers 1..9, which stand for one. A device named in
// place of a number is named alone: "Gerät DEVICE kann nicht geöffnet werden !".
std::string PortOpenFailedText(const CLineAddress& address);
