#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "capture/CaptureWindow.h"
#include "capture/FetchRequest.h"
#include "capture/TargetParts.h"
#include "image/PictureCheck.h"

struct CSite;

// What a site or the options change of the picture check's limits (0 turns a check off)
// and of the capture window; nullopt: left as it is.
struct CCheckChanges {
    std::optional<int> m_nDarkBelow;     // 0..255
    std::optional<int> m_nUniformBelow;  // 0..255
    std::optional<int> m_nFrozenAfter;   // 0..CPictureLimits::kMaxFrozenCount
    std::optional<CCaptureWindow> m_window;

    bool Any() const { return m_nDarkBelow || m_nUniformBelow || m_nFrozenAfter || m_window; }
};

// One target: everything a command, a fetch or a capture round needs to reach a module and
// keep its pictures, made once from the stored settings, a site of the book and the
// command line's options by ResolveTarget.

// The stored settings as a plain value, named like the stored values they are.
struct CStoredSettings {
    int m_iCom = 1;
    int m_iBaudrate = 57600;
    int8_t sHandshake = 2;
    int m_iLokal = 1;  // 1: the module is on the line itself (cable), 0: dialled first
    int m_iKanal = 1;
    std::string m_sTel_nr = "!22";
    CFetchRequest m_request;  // the image settings
    // The device stored for each port number ("Ports/COMn"), by number; empty: none.
    std::array<std::string, 10> m_portDevices;
    // Where pictures go without a site or options: the window's auto-save.
    CTargetStorage m_storage;
};

// What the command line says. What it leaves open (nullopt, 0, empty) comes from the site
// or the stored settings.
struct CTargetOptions {
    std::string m_sDevice;  // a device named in place of any port number
    std::optional<int> m_iCom;
    std::optional<int> m_iBaudrate;
    std::optional<bool> m_bHandshake;
    std::optional<std::string> m_sNumber;
    std::optional<bool> m_bModem;  // dialled (true) or on a cable (false)
    std::vector<int> m_channels;
    CRequestChanges m_picture;
    std::optional<std::string> m_sFolder;
    std::optional<std::string> m_sPattern;
    std::optional<std::string> m_sJournal;
    std::string m_sLatest;
    int64_t m_nKeepSeconds = 0;
    std::string m_sKeepTiers;  // tiers in place of the duration alone (see CTargetStorage)
    uint64_t m_nMinFreeBytes = 0;
    // The demo module, where one runs: it stands behind every port number, on a cable or
    // behind its modem.
    std::string m_sDemoDevice;
    bool m_bDemoModem = false;
    // The picture check's limits and the capture window (nullopt: the site's, else the
    // defaults and always).
    CCheckChanges m_check;
};

struct CTarget {
    std::string m_sSite;  // the site of the book; empty: none
    CTargetLine m_line;
    // Neither the site nor the options said whether the modem dials: m_line.m_bModem is
    // the stored link's.
    bool m_bLinkStored = true;
    CFetchRequest m_request;
    std::vector<int> m_channels;  // in order; the stored channel when nothing names any
    CTargetStorage m_storage;
    CPictureLimits m_limits;
    CCaptureWindow m_window;  // outside it, nothing is dialled
};

// The target of the options over the site (when given) over the stored settings:
// - the line: the demo module's device behind the port number, where one runs; else the
//   device the options name, else the options' port number, else the site's port number
//   or device, else the stored port number; each number on its stored device. The rate,
//   the handshake and the number likewise (the site has no handshake). The modem dials
//   with --modem or behind the demo's modem, not with --local or on the demo's cable,
//   else as the site's link says (a number alone means the modem), else as stored;
// - the picture: the site's and then the options' changes of the stored request;
// - the channels: the options', else the site's, else the stored one;
// - the storage: the site's folder (its own, else one named like it), pattern and journal
//   over the stored storage, and the options' folder, pattern, journal, latest copy and
//   limits over those; a journal of the site follows a folder the options give;
// - the picture check's limits and the capture window: the options' over the site's over
//   the defaults (each limit on its own).
CTarget ResolveTarget(const CStoredSettings& stored, const CSite* site,
                      const CTargetOptions& options);
