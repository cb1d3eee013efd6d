#pragma once

#include <cstdint>
#include <string>

#include "capture/NamePattern.h"
#include "link/LineAddress.h"

// The parts of a target that capture works with: the line it is reached on and where its
// pictures go. The whole target, made from the settings, a site and the options, is
// fleet/Target.h.

// Where the line opens, at what rate and RTS mode, and whether the modem dials and what.
struct CTargetLine {
    CLineAddress m_address;
    int m_iBaudrate = 57600;
    uint8_t m_nRtsControl = 2;  // as the setting sHandshake: 2 RTS handshake, 0 off
    bool m_bModem = false;      // dialled through the modem at m_sNumber, else on a cable
    std::string m_sNumber;
};

// Where the pictures of a target go, and how many of them stay.
struct CTargetStorage {
    std::string m_sFolder;  // relative names start here (empty: the working folder)
    std::string m_sPattern = kDefaultNamePattern;
    bool m_bInsideFolder = false;  // the pattern's names stay inside the folder
    std::string m_sJournal;        // empty: none
    std::string m_sLatest;         // the copy of the newest picture; empty: none
    int64_t m_nKeepSeconds = 0;    // pictures older than this go; 0: kept for ever
    // Tiers of what stays as pictures age ("7d:all,90d:1h"), in place of the duration
    // alone, which is then the age of the last tier; empty: none.
    std::string m_sKeepTiers;
    uint64_t m_nMinFreeBytes = 0;  // the oldest go while less is free; 0: no limit
};

// "ComPort COMn (device) kann nicht geöffnet werden !" for a port number that failed to
// open; the device only for the numbers 1..9, which stand for one. A device named in
// place of a number is named alone: "Gerät DEVICE kann nicht geöffnet werden !". Where the
// line said why (problem, as CLineSession::OpenProblem gives it), that stands in place of
// "kann nicht geöffnet werden !": "Verbindung zu 10.1.2.3:4001 abgelehnt", after
// "ComPort COMn (device): " for a port number.
std::string PortOpenFailedText(const CLineAddress& address, const std::string& problem = {});
