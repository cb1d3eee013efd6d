#include "cli/CliOptions.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <QString>
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "capture/KeepTiers.h"
#include "capture/NamePattern.h"
#include "capture/Retention.h"
#include "capture/TargetFile.h"
#include "capture/Units.h"
#include "fleet/SiteBook.h"
#include "link/NetAddress.h"
#include "link/PrintableText.h"
#if PIXLANE_HAVE_DEMO
#include "sim/TestPicture.h"
#endif

namespace {

// ---- values ----

std::string BadValue(const std::string& option, const std::string& value,
                     const std::string& allowed) {
    return "ungültiger Wert für " + option + ": \"" + value + "\" (" + allowed + ")";
}

// The value as a whole number within min..max.
bool NumberValue(const std::string& opt, const std::string& v, int min, int max, int& value,
                 std::string& error) {
    if (!ParseWholeNumber(v, min, max, value)) {
        error = BadValue(opt, v, std::to_string(min) + ".." + std::to_string(max));
        return false;
    }
    return true;
}

// The value, which must not be empty; what names the kind of value.
bool TextValue(const std::string& opt, const std::string& v, const char* what, std::string& value,
               std::string& error) {
    if (v.empty()) {
        error = opt + " braucht " + what;
        return false;
    }
    // A name is used as it is written, and printed one a line: a control character or
    // a byte that is not UTF-8 would name something else, or split the line.
    if (const std::string fault = TextFaultText(v); !fault.empty()) {
        error = "ungültiger Wert für " + opt + ": \"" + PrintableText(v) + "\" " + fault;
        return false;
    }
    value = v;
    return true;
}

// The shortest and the longest period of a repeated capture.
constexpr int kMinEverySeconds = 10;
constexpr int kMaxEverySeconds = 30 * 24 * 3600;

// ---- what the options set ----

// What an option does with its value (empty for an option that takes none): sets it in
// the options, or says in error why it is refused. name is the spelling given.
using CSetOption = bool (*)(const std::string& name, const std::string& value, CCliOptions& o,
                            std::string& error);

template <bool CCliOptions::*Field>
bool SetFlag(const std::string&, const std::string&, CCliOptions& o, std::string&) {
    o.*Field = true;
    return true;
}

template <int CCliOptions::*Field, int Min, int Max>
bool SetNumber(const std::string& name, const std::string& value, CCliOptions& o,
               std::string& error) {
    return NumberValue(name, value, Min, Max, o.*Field, error);
}

template <std::string CCliOptions::*Field, const char* What>
bool SetText(const std::string& name, const std::string& value, CCliOptions& o,
             std::string& error) {
    return TextValue(name, value, What, o.*Field, error);
}

constexpr char kDeviceName[] = "einen Gerätenamen";
constexpr char kFileName[] = "einen Dateinamen";
constexpr char kFolderName[] = "einen Ordnernamen";
constexpr char kPattern[] = "ein Namensmuster";
constexpr char kProgram[] = "ein Programm";

// A line: a device, or a device server's port (rfc2217://HOST:PORT, tcp://HOST:PORT).
bool SetLine(const std::string& name, const std::string& value, CCliOptions& o,
             std::string& error) {
    if (!TextValue(name, value, kDeviceName, o.m_sDevice, error))
        return false;
    if (const std::string problem = NetAddressProblem(value); !problem.empty()) {
        error = name + ": " + problem;
        return false;
    }
    return true;
}

bool SetHandshake(const std::string& name, const std::string& value, CCliOptions& o,
                  std::string& error) {
    if (value != "on" && value != "off") {
        error = BadValue(name, value, "on oder off");
        return false;
    }
    o.m_bHandshake = value == "on";
    return true;
}

bool SetDemo(const std::string& name, const std::string&, CCliOptions& o, std::string& error) {
#if PIXLANE_HAVE_DEMO
    (void)error;
    o.m_bDemo = true;
    o.m_bDemoModem = o.m_bDemoModem || name == "--demo-modem";
    return true;
#else
    (void)o;
    error = name + " gibt es auf diesem System nicht: das Demo-Modul braucht Pseudo-Terminals";
    return false;
#endif
}

bool SetDemoScene(const std::string& name, const std::string& value, CCliOptions& o,
                  std::string& error) {
#if PIXLANE_HAVE_DEMO
    ESimScene scene = ESimScene::Normal;
    if (!ParseSimScene(value, scene)) {
        error = BadValue(name, value, "normal, dark, uniform oder repeated");
        return false;
    }
    o.m_sDemoScene = value;
    return true;
#else
    (void)value;
    (void)o;
    error = name + " gibt es auf diesem System nicht: das Demo-Modul braucht Pseudo-Terminals";
    return false;
#endif
}

// An image width with picture parameters and a block count: 180 or 360.
bool SetWidth(const std::string& name, const std::string& value, CCliOptions& o,
              std::string& error) {
    if (value != "180" && value != "360") {
        error = BadValue(name, value, "180 oder 360");
        return false;
    }
    o.m_iBildbreite = std::atoi(value.c_str());
    return true;
}

bool SetColour(const std::string& name, const std::string&, CCliOptions& o, std::string& error) {
    const bool colour = name != "--mono";
    if (o.m_bColour && *o.m_bColour != colour) {
        error = "--mono und --colour schließen einander aus";
        return false;
    }
    o.m_bColour = colour;
    return true;
}

bool SetExpert(const std::string& name, const std::string& v, CCliOptions& o, std::string& error) {
    if (!ParseExpertFields(v, o.m_sOffset, o.m_sBgroesse, o.m_sBanzahl)) {
        error = BadValue(name, v,
                         "OFFSET,BLOCKGRÖSSE,BLOCKANZAHL hexadezimal mit höchstens 5, 2 "
                         "und 4 Ziffern");
        return false;
    }
    o.m_bExpert = true;
    return true;
}

bool SetTelephone(const std::string& name, const std::string& value, CCliOptions& o,
                  std::string& error) {
    std::string number;
    if (!TextValue(name, value, "eine Telefonnummer", number, error))
        return false;
    o.m_sTel_nr = number;
    return true;
}

bool SetChannels(const std::string& name, const std::string& value, CCliOptions& o,
                 std::string& error) {
    if (!ParseChannelList(value, o.m_channels)) {
        error = BadValue(name, value, "Kanäle 1..8, durch Kommas getrennt, oder all");
        return false;
    }
    return true;
}

bool SetKeep(const std::string& name, const std::string& value, CCliOptions& o,
             std::string& error) {
    int64_t seconds = 0;
    if (!KeepValue(value, seconds, o.m_sKeepTiers)) {
        error = BadValue(name, value, kKeepRuleValues);
        return false;
    }
    o.m_nKeepSeconds = static_cast<int>(seconds);
    return true;
}

bool SetMinFree(const std::string& name, const std::string& value, CCliOptions& o,
                std::string& error) {
    if (!ParseFreeSize(value, o.m_nMinFreeBytes)) {
        error = BadValue(name, value, kFreeSizeValues);
        return false;
    }
    return true;
}

bool SetEvery(const std::string& name, const std::string& value, CCliOptions& o,
              std::string& error) {
    int64_t seconds = 0;
    if (!ParseDuration(value, kMaxEverySeconds, seconds)) {
        error = BadValue(name, value,
                         "eine Dauer wie 90s, 5m, 1h oder 2d bis 30 Tage; eine "
                         "Zahl allein sind Minuten");
        return false;
    }
    if (seconds < kMinEverySeconds) {
        error = name + " " + value + " ist zu kurz: mindestens 10s";
        return false;
    }
    o.m_nEverySeconds = static_cast<int>(seconds);
    return true;
}

template <std::optional<int> CCheckChanges::*Field, int Max>
bool SetCheckLimit(const std::string& name, const std::string& value, CCliOptions& o,
                   std::string& error) {
    int n = 0;
    if (!NumberValue(name, value, 0, Max, n, error))
        return false;
    o.m_check.*Field = n;
    return true;
}

bool SetWindow(const std::string& name, const std::string& value, CCliOptions& o,
               std::string& error) {
    if (o.m_check.m_window) {
        error = "--between und --daylight schließen einander aus";
        return false;
    }
    CCaptureWindow window;
    std::string fault;
    if (!(name == "--between" ? ParseBetween(value, window, fault)
                              : ParseDaylight(value, window, fault))) {
        error = BadValue(name, value, fault);
        return false;
    }
    o.m_check.m_window = window;
    return true;
}

bool SetPattern(const std::string& name, const std::string& value, CCliOptions& o,
                std::string& error) {
    o.m_bPatternGiven = true;
    return TextValue(name, value, kPattern, o.m_sPattern, error);
}

// A site's name, as the book takes it.
bool SiteName(const std::string& name, const std::string& value, std::string& site,
              std::string& error) {
    if (const std::string problem = SiteNameProblem(value); !problem.empty()) {
        error = "ungültiger Standort für " + name + ": " + problem;
        return false;
    }
    site = value;
    return true;
}

template <std::string CCliOptions::*Field>
bool SetSite(const std::string& name, const std::string& value, CCliOptions& o,
             std::string& error) {
    return SiteName(name, value, o.*Field, error);
}

bool SetSites(const std::string& name, const std::string& value, CCliOptions& o,
              std::string& error) {
    o.m_sites.clear();
    o.m_bAllSites = value == "all";
    for (size_t start = 0; !o.m_bAllSites;) {
        const size_t end = value.find(',', start);
        std::string site;
        if (!SiteName(name, value.substr(start, end - start), site, error))
            return false;
        o.m_sites.push_back(site);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return true;
}

// The lines of a pool: devices, port numbers 1..9 or device servers' ports, each once.
bool SetLines(const std::string& name, const std::string& value, CCliOptions& o,
              std::string& error) {
    o.m_lines.clear();
    for (size_t start = 0;;) {
        const size_t end = value.find(',', start);
        const std::string line = value.substr(start, end - start);
        CCliOptions one;
        if (!SetLine(name, line, one, error))
            return false;
        if (std::find(o.m_lines.begin(), o.m_lines.end(), line) != o.m_lines.end()) {
            error = name + ": Leitung " + PrintableText(line) + " doppelt genannt";
            return false;
        }
        o.m_lines.push_back(line);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return true;
}

bool SetPoolSite(const std::string& name, const std::string& value, CCliOptions& o,
                 std::string& error) {
    o.m_bPoolRound = true;
    return SiteName(name, value, o.m_sPoolSite, error);
}

bool SetPoolLine(const std::string&, const std::string& value, CCliOptions& o, std::string&) {
    o.m_sPoolLine = value;
    return true;
}

constexpr char kText[] = "einen Text";
constexpr char kDate[] = "ein Datum";
constexpr char kFolder[] = "einen Ordner";

// ---- the tables ----

// One option: how it is written, what it takes and sets, and what the help says of it.
struct CCliOption {
    const char* m_pName;              // "--output"
    const char* m_pShort = nullptr;   // a short spelling the help shows beside it ("-o")
    const char* m_pHidden = nullptr;  // another spelling the help leaves out ("--color")
    const char* m_pValue = nullptr;   // the value's name in its help line; nullptr: takes none
    CSetOption m_set = nullptr;
    // Its part of the command's usage line; nullptr: "[NAME VALUE]", "" when a
    // neighbour's part names it.
    const char* m_pUsage = nullptr;
    const char* m_pLabel = nullptr;  // how its help line begins, when not with name and value
    const char* m_pHelp = nullptr;   // its help line(s); nullptr when the command's text says it
};

// The options before the command.
const CCliOption kGlobalOptions[] = {
    {.m_pName = "--device",
     .m_pValue = "PATH",
     .m_set = SetLine,
     .m_pHelp = "use this serial device, or a device server's port:\n"
                "rfc2217://HOST:PORT (RFC 2217, which carries the line\n"
                "settings) or tcp://HOST:PORT (the bytes as they are)"},
    {.m_pName = "--com",
     .m_pValue = "N",
     .m_set = SetNumber<&CCliOptions::m_iCom, 1, 9>,
     .m_pHelp = "use port COMn (1..9), found as the window finds it: the\n"
                "variable PIXLANE_COMn, else the stored value Ports/COMn,\n"
                "else /dev/ttyS{n-1}. Without --device and --com the stored\n"
                "port is used; the two cannot be combined."},
    {.m_pName = "--baud",
     .m_pValue = "RATE",
     .m_set = SetNumber<&CCliOptions::m_iBaudrate, 50, 4000000>,
     .m_pHelp = "line speed in baud (default: the stored rate)"},
    {.m_pName = "--handshake",
     .m_pValue = "on|off",
     .m_set = SetHandshake,
     .m_pHelp = "RTS handshake (default: the stored setting)"},
    {.m_pName = "--quiet",
     .m_pHidden = "-q",
     .m_set = SetFlag<&CCliOptions::m_bQuiet>,
     .m_pHelp = "leave out the status texts; message texts, errors and\n"
                "results still appear, and a failure still shows the last\n"
                "status text, which names its cause"},
    {.m_pName = "--demo",
     .m_set = SetDemo,
     .m_pHelp = "run against the built-in simulated module (on a\n"
                "pseudo-terminal, paced like a 115200-baud line)"},
    {.m_pName = "--demo-modem",
     .m_set = SetDemo,
     .m_pHelp = "like --demo, with the simulated module behind a Hayes\n"
                "modem; fetch then dials first, as with fetch --modem"},
    {.m_pName = "--demo-scene",
     .m_pValue = "SCENE",
     .m_set = SetDemoScene,
     .m_pHelp = "with --demo or --demo-modem: what the simulated camera\n"
                "shows, normal, dark, uniform (one grey, as without video\n"
                "signal) or repeated (the same frame every time)"},
    {.m_pName = "--site",
     .m_pValue = "NAME",
     .m_set = SetSite<&CCliOptions::m_sSite>,
     .m_pHelp = "take the line and picture values of this site of the book\n"
                "(pixlane-cli sites lists it) as the defaults; options given\n"
                "win. Every command takes it after its name too."},
    {.m_pName = "--help",
     .m_pHidden = "-h",
     .m_set = SetFlag<&CCliOptions::m_bHelp>,
     .m_pHelp = "this text; COMMAND --help describes one command"},
    {.m_pName = "--version",
     .m_set = SetFlag<&CCliOptions::m_bVersion>,
     .m_pHelp = "print the version"},
};

const CCliOption kTimestampOptions[] = {
    {.m_pName = "--reset", .m_set = SetFlag<&CCliOptions::m_bResetTime>},
};
const CCliOption kParamsOptions[] = {
    {.m_pName = "--width", .m_pValue = "180|360", .m_set = SetWidth},
};
const CCliOption kDialOptions[] = {
    {.m_pName = "--number", .m_pValue = "TEL", .m_set = SetTelephone},
};

const CCliOption kFetchOutput[] = {
    {.m_pName = "--output",
     .m_pShort = "-o",
     .m_pValue = "FILE",
     .m_set = SetText<&CCliOptions::m_sOutput, kFileName>,
     .m_pHelp = "where to write the image; \"-\" writes the BMP file to\n"
                "standard output (and prints no path)"},
};
// The picture's options, for fetch and capture alike.
const CCliOption kImageOptions[] = {
    {.m_pName = "--width",
     .m_pValue = "180|360",
     .m_set = SetWidth,
     .m_pUsage = "[--width W]",
     .m_pHelp = "image width; the height then defaults to 144 or 288"},
    {.m_pName = "--height",
     .m_pValue = "H",
     .m_set = SetNumber<&CCliOptions::m_iBildhoehe, 1, 4096>,
     .m_pHelp = "image height in pixels (1..4096)"},
    {.m_pName = "--mono",
     .m_set = SetColour,
     .m_pUsage = "[--mono | --colour]",
     .m_pHelp = "8-bit grey (mode 3 unless --mode says otherwise)"},
    {.m_pName = "--colour",
     .m_pHidden = "--color",
     .m_set = SetColour,
     .m_pUsage = "",
     .m_pHelp = "colour (mode 4)"},
    {.m_pName = "--mode",
     .m_pValue = "1..4",
     .m_set = SetNumber<&CCliOptions::m_iModus, 1, 4>,
     .m_pHelp = "transfer mode: 1 and 2 the nibble halves, 3 grey, 4 colour"},
    {.m_pName = "--expert",
     .m_pValue = "O,S,C",
     .m_set = SetExpert,
     .m_pUsage = "[--expert OFFSET,BLOCKSIZE,BLOCKCOUNT]",
     .m_pHelp = "build the request from the hexadecimal offset (up to five\n"
                "digits), block size (up to two) and block count (up to four)"},
};
const CCliOption kFetchModem[] = {
    {.m_pName = "--modem",
     .m_set = SetFlag<&CCliOptions::m_bModem>,
     .m_pHelp = "dial the module through the modem first"},
};

const CCliOption kPortsOptions[] = {
    {.m_pName = "--json",
     .m_set = SetFlag<&CCliOptions::m_bJson>,
     .m_pHelp = "the same as JSON, for scripts"},
    {.m_pName = "--assign",
     .m_pValue = "N",
     .m_set = SetNumber<&CCliOptions::m_iAssign, 1, 9>,
     .m_pLabel = "--assign N DEVICE",
     .m_pHelp = "store DEVICE for port N (1..9), for the window and the\n"
                "command line; when the system has a lasting name for it\n"
                "under /dev/serial/by-id, that name is stored. DEVICE may\n"
                "be a device server's port, rfc2217://HOST:PORT or\n"
                "tcp://HOST:PORT. Prints what was stored. Nothing else in\n"
                "the settings file changes."},
    {.m_pName = "--clear",
     .m_set = SetFlag<&CCliOptions::m_bClear>,
     .m_pLabel = "--assign N --clear",
     .m_pHelp = "remove the stored device of port N (the default applies)"},
};

// What capture takes for the pictures of a site, and sites --add keeps in the book.
const CCliOption kCaptureFiles[] = {
    {.m_pName = "--folder",
     .m_pValue = "DIR",
     .m_set = SetText<&CCliOptions::m_sFolder, kFolder>,
     .m_pUsage = "",
     .m_pHelp = "the folder the names of -o and a site's journal start in\n"
                "(default: the site's folder, or a folder named like the\n"
                "site; without a site the working folder)"},
    {.m_pName = "--channels",
     .m_pValue = "LIST|all",
     .m_set = SetChannels,
     .m_pHelp = "the channels in this order, as 1,3,5; all is 1..8\n"
                "(default: the stored channel)"},
    {.m_pName = "--output",
     .m_pShort = "-o",
     .m_pValue = "PATTERN",
     .m_set = SetPattern,
     .m_pHelp = "the file names (default\n"
                "pixlane-%Y%m%d-%H%M%S-k{channel}.bmp): strftime fields in\n"
                "local time (%Y %m %d %H %M %S and the others; %% is a %),\n"
                "{channel}, {width}, {height} and {seq}, the picture's number\n"
                "in this run with four digits; \"/\" makes folders, which are\n"
                "created; a name ending in .png writes PNG, others BMP. An\n"
                "existing file is never overwritten: the new picture gets\n"
                "-1, -2, ... before the extension. A file appears under its\n"
                "name only when it is complete."},
    {.m_pName = "--journal",
     .m_pValue = "FILE",
     .m_set = SetText<&CCliOptions::m_sJournal, kFileName>,
     .m_pHelp = "append a line of JSON for each picture attempt and for each\n"
                "dial, picture-parameter write or hang-up that failed, with\n"
                "time (ISO 8601 with the offset), event (picture, dial,\n"
                "params, hangup), channel, width, height, mode, colour, bytes\n"
                "(received on the line), seconds, bytes_per_second, tries,\n"
                "result (ok; refused; broken: a check byte or length was\n"
                "wrong; stopped: broken off by SIGINT or SIGTERM; busy: the\n"
                "line stayed held by another process; failed;\n"
                "latest_failed: saved, but its --latest copy not), file (the\n"
                "saved picture's absolute path), message (the text shown),\n"
                "modem (the modem's own answer that failed a dial, such as\n"
                "BUSY) and site (the site's name, with --site or --sites);\n"
                "each round ends with a line of event round: time (its\n"
                "start), device, site, dial_seconds, offhook_seconds (from\n"
                "the dial command to the confirmed hang-up; 0 on a cable),\n"
                "pictures_ok, pictures_failed, bytes and result (ok,\n"
                "partial, failed, stopped); each line is written whole or not\n"
                "at all"},
};
const CCliOption kCaptureOptions[] = {
    {.m_pName = "--every",
     .m_pValue = "DURATION",
     .m_set = SetEvery,
     .m_pUsage = "[--every DURATION [--count N]]",
     .m_pHelp = "repeat the round on this period, measured from each\n"
                "round's start: 90s, 5m, 1h, 2d; a plain number is minutes;\n"
                "10s to 30d. A round that fails does not end the run; one that\n"
                "takes longer than the period is followed at once."},
    {.m_pName = "--count",
     .m_pValue = "N",
     .m_set = SetNumber<&CCliOptions::m_nCount, 1, 1000000>,
     .m_pUsage = "",
     .m_pHelp = "end after N rounds (with --every; default: until stopped)"},
    {.m_pName = "--exec",
     .m_pValue = "COMMAND",
     .m_set = SetText<&CCliOptions::m_sExec, kProgram>,
     .m_pHelp = "after each saved picture run the program COMMAND (no shell)\n"
                "with the picture's absolute path as its one argument, and\n"
                "wait for it; what it prints goes to standard error; when it\n"
                "fails, the journal line says so and nothing else changes"},
    {.m_pName = "--latest",
     .m_pValue = "FILE",
     .m_set = SetText<&CCliOptions::m_sLatest, kFileName>,
     .m_pHelp = "keep FILE as a copy of the newest picture, replaced\n"
                "atomically (for a web page to show); when the copy cannot\n"
                "be written, the old one stays and the picture's journal\n"
                "line says latest_failed"},
};
// How capture reaches the module, and sites --add keeps in the book.
const CCliOption kCaptureLink[] = {
    {.m_pName = "--modem",
     .m_set = SetFlag<&CCliOptions::m_bModem>,
     .m_pUsage = "[--modem | --local]",
     .m_pHelp = "dial through the modem, whatever the stored link"},
    {.m_pName = "--local",
     .m_set = SetFlag<&CCliOptions::m_bLocal>,
     .m_pUsage = "",
     .m_pHelp = "do not dial, whatever the stored link"},
    {.m_pName = "--number",
     .m_pValue = "TEL",
     .m_set = SetTelephone,
     .m_pHelp = "the module's telephone number (default: the stored one)"},
    {.m_pName = "--keep",
     .m_pValue = "DURATION",
     .m_set = SetKeep,
     .m_pHelp = "before each save remove the pictures older than DURATION\n"
                "(12h, 30d, 365d), or what tiers such as 7d:all,90d:1h,2y:1d\n"
                "say (as for retention); needs --journal. Only its own pictures\n"
                "go: recorded as saved by the newest line naming them, BMP or\n"
                "PNG files of a name the pattern gives (it ends in .bmp or\n"
                ".png), below the folder the pattern begins with (one that\n"
                "begins with a field needs --folder), reached without a link\n"
                "and not written since; never a journal, the --latest or\n"
                "--metrics file or anything below --report. Each removal gets\n"
                "a journal line (event removed)"},
    {.m_pName = "--min-free",
     .m_pValue = "SIZE",
     .m_set = SetMinFree,
     .m_pHelp = "before each save remove the oldest such pictures while the\n"
                "file system has less than SIZE free (500M, 2G; K, M, G, T\n"
                "are powers of 1024); needs --journal"},
    {.m_pName = "--report",
     .m_pValue = "DIR",
     .m_set = SetText<&CCliOptions::m_sReportOut, kFolderName>,
     .m_pHelp = "after each round write the status page of the journal into\n"
                "DIR, as the command report does (needs --journal)"},
    {.m_pName = "--metrics",
     .m_pValue = "FILE",
     .m_set = SetText<&CCliOptions::m_sMetrics, kFileName>,
     .m_pHelp = "after each round write the journal's metrics to FILE, as\n"
                "the command report does (needs --journal)"},
};

// The picture check's limits: for capture, sites --add and fetch --check.
const CCliOption kCheckLimits[] = {
    {.m_pName = "--dark-below",
     .m_pValue = "MEAN",
     .m_set = SetCheckLimit<&CCheckChanges::m_nDarkBelow, 255>,
     .m_pHelp = "a picture whose mean grey level (0..255) is below MEAN is\n"
                "dark (default 24; 0 turns this check off)"},
    {.m_pName = "--uniform-below",
     .m_pValue = "SPREAD",
     .m_set = SetCheckLimit<&CCheckChanges::m_nUniformBelow, 255>,
     .m_pHelp = "a picture whose middle nine tenths of grey levels span less\n"
                "than SPREAD is uniform: one colour, no video signal\n"
                "(default 8; 0 turns this check off)"},
    {.m_pName = "--frozen-after",
     .m_pValue = "N",
     .m_set = SetCheckLimit<&CCheckChanges::m_nFrozenAfter, CPictureLimits::kMaxFrozenCount>,
     .m_pHelp = "a picture with the same pixels as each of the camera's N\n"
                "previous good pictures in the journal is frozen (default 3;\n"
                "0 turns this check off; up to 100)"},
};
// When capture dials at all.
const CCliOption kCaptureWindowOptions[] = {
    {.m_pName = "--between",
     .m_pValue = "HH:MM-HH:MM",
     .m_set = SetWindow,
     .m_pUsage = "[--between HH:MM-HH:MM | --daylight LAT,LON]",
     .m_pHelp = "capture only from the first time of day up to the second\n"
                "(local time; 22:00-06:00 crosses midnight, 24:00 ends at\n"
                "midnight); outside it no site is dialled and the round is\n"
                "left out"},
    {.m_pName = "--daylight",
     .m_pValue = "LAT,LON",
     .m_set = SetWindow,
     .m_pUsage = "",
     .m_pHelp = "capture only from sunrise to sunset at that place (degrees,\n"
                "south and west negative), computed here: the sun's upper\n"
                "limb on the horizon with standard refraction (its centre\n"
                "0.833 degrees below); under the midnight sun always, in\n"
                "the polar night never"},
};
const CCliOption kFetchCheck[] = {
    {.m_pName = "--check",
     .m_set = SetFlag<&CCliOptions::m_bCheck>,
     .m_pHelp = "check the picture and say on standard error whether it is\n"
                "dark or uniform, with its mean and spread (the picture is\n"
                "written all the same)"},
};

const CCliOption kReportOptions[] = {
    {.m_pName = "--out",
     .m_pValue = "DIR",
     .m_set = SetText<&CCliOptions::m_sReportOut, kFolderName>,
     .m_pHelp = "write the status page: DIR/index.html with a row for each\n"
                "site and camera, and a page of each site's last pictures"},
    {.m_pName = "--metrics",
     .m_pValue = "FILE",
     .m_set = SetText<&CCliOptions::m_sMetrics, kFileName>,
     .m_pHelp = "write the metrics in the text format of the node\n"
                "exporter's textfile collector (FILE ends in .prom)"},
};

// Options of a command that sit together in its help.
struct CCliOptionGroup {
    std::span<const CCliOption> m_options;
    // Options the command shares with another: the help names them in one line with
    // this, and the program's help puts m_pOverview in their place.
    const char* m_pSameAs = nullptr;
    const char* m_pOverview = nullptr;
};

// Every command takes the site after its name as well; the program's help names it once.
const CCliOption kSiteOptions[] = {
    {.m_pName = "--site", .m_pValue = "NAME", .m_set = SetSite<&CCliOptions::m_sSite>},
};
constexpr CCliOptionGroup kSiteGroup = {kSiteOptions, "as before the command", ""};

const CCliOption kCaptureSites[] = {
    {.m_pName = "--site",
     .m_pValue = "NAME",
     .m_set = SetSite<&CCliOptions::m_sSite>,
     .m_pUsage = "[--site NAME | --sites LIST|all] [--folder DIR]",
     .m_pHelp = "the site of the book whose values are the defaults, as\n"
                "before the command; its pictures go to its folder"},
    {.m_pName = "--sites",
     .m_pValue = "LIST|all",
     .m_set = SetSites,
     .m_pUsage = "",
     .m_pHelp = "one round for each of these sites of the book (names\n"
                "separated by commas; all: every site), one after the other\n"
                "on one line; each keeps its pictures in its folder and its\n"
                "journal there, unless -o or --journal say otherwise"},
    {.m_pName = "--lines",
     .m_pValue = "LINE,...",
     .m_set = SetLines,
     .m_pUsage = "[--lines LINE,...]",
     .m_pHelp = "with --sites: run the rounds on all these lines at once\n"
                "(devices, port numbers 1..9, rfc2217:// or tcp:// addresses),\n"
                "each free line taking the site due longest; a site with a\n"
                "number goes on any of them, a site with a line of its own\n"
                "only on that one; a line that fails leaves the pool for a\n"
                "while (until the next round with --every)"},
};

// A pool's round in a process of its own: given by the pool alone, left out of the help.
const CCliOption kPoolRoundOptions[] = {
    {.m_pName = "--pool-site", .m_pValue = "NAME", .m_set = SetPoolSite},
    {.m_pName = "--pool-line", .m_pValue = "LINE", .m_set = SetPoolLine},
    {.m_pName = "--pool-hangup", .m_set = SetFlag<&CCliOptions::m_bPoolHangUp>},
};

// Films of the journal's pictures, and retention on its own.
const CCliOption kFilmSource[] = {
    {.m_pName = "--site",
     .m_pValue = "NAME",
     .m_set = SetSite<&CCliOptions::m_sSite>,
     .m_pUsage = "[--site NAME | --sites LIST|all | JOURNAL]",
     .m_pHelp = "the site of the book whose journal is read; without it the\n"
                "JOURNAL named"},
    {.m_pName = "--sites",
     .m_pValue = "LIST|all",
     .m_set = SetSites,
     .m_pUsage = "",
     .m_pHelp = "each of these sites of the book (all: every site), a film\n"
                "of each camera in the site's folder, named\n"
                "film-YYYY-MM-DD-kN.mp4 (needs --day)"},
};
const CCliOption kTimelapseOptions[] = {
    {.m_pName = "--channel",
     .m_pValue = "N",
     .m_set = SetNumber<&CCliOptions::m_iFilmChannel, 1, 8>,
     .m_pHelp = "the camera (default: the only one with pictures in the span)"},
    {.m_pName = "--day",
     .m_pValue = "DATE",
     .m_set = SetText<&CCliOptions::m_sDay, kDate>,
     .m_pUsage = "[--day DATE | --from TIME --to TIME]",
     .m_pHelp = "the day, local time: 2026-12-09, today or yesterday"},
    {.m_pName = "--from",
     .m_pValue = "TIME",
     .m_set = SetText<&CCliOptions::m_sFrom, kDate>,
     .m_pUsage = "",
     .m_pHelp = "the span's start, local time: 2026-12-09T06:00"},
    {.m_pName = "--to",
     .m_pValue = "TIME",
     .m_set = SetText<&CCliOptions::m_sTo, kDate>,
     .m_pUsage = "",
     .m_pHelp = "the span's end (not included)"},
    {.m_pName = "--fps",
     .m_pValue = "N",
     .m_set = SetNumber<&CCliOptions::m_nFps, 1, 120>,
     .m_pHelp = "pictures a second in the film (default 24)"},
    {.m_pName = "--output",
     .m_pShort = "-o",
     .m_pValue = "FILM",
     .m_set = SetText<&CCliOptions::m_sFilm, kFileName>,
     .m_pHelp = "the film (.mp4; .mkv and .mov as well); it appears under\n"
                "its name only when it is complete"},
};
const CCliOption kRetentionSource[] = {
    {.m_pName = "--site",
     .m_pValue = "NAME",
     .m_set = SetSite<&CCliOptions::m_sSite>,
     .m_pUsage = "[--site NAME | JOURNAL]",
     .m_pHelp = "the site of the book whose pictures and journal these are;\n"
                "without it the JOURNAL named"},
};
const CCliOption kRetentionOptions[] = {
    {.m_pName = "--keep",
     .m_pValue = "RULES",
     .m_set = SetKeep,
     .m_pUsage = "--keep RULES",
     .m_pHelp = "what stays: a duration (30d: everything older goes) or\n"
                "tiers, 7d:all,90d:1h,2y:1d: every picture for 7 days, the\n"
                "first of each hour until 90 days, the first of each day\n"
                "until two years, nothing older; hours and days are counted\n"
                "in UTC; with tiers each camera's newest picture stays"},
    {.m_pName = "--min-free",
     .m_pValue = "SIZE",
     .m_set = SetMinFree,
     .m_pHelp = "then the oldest go while less than SIZE is free (500M, 2G)"},
    {.m_pName = "--dry-run",
     .m_set = SetFlag<&CCliOptions::m_bDryRun>,
     .m_pHelp = "print what would go and why, remove nothing"},
    {.m_pName = "--folder",
     .m_pValue = "DIR",
     .m_set = SetText<&CCliOptions::m_sFolder, kFolder>,
     .m_pHelp = "where the pattern's names start (default: the site's\n"
                "folder, or the JOURNAL's)"},
    {.m_pName = "--output",
     .m_pShort = "-o",
     .m_pValue = "PATTERN",
     .m_set = SetPattern,
     .m_pHelp = "the pattern the pictures were named by (default: the\n"
                "site's, or capture's default)"},
};

const CCliOption kSitesOptions[] = {
    {.m_pName = "--json",
     .m_set = SetFlag<&CCliOptions::m_bJson>,
     .m_pHelp = "the list as JSON, for scripts"},
    {.m_pName = "--add",
     .m_pValue = "NAME",
     .m_set = SetSite<&CCliOptions::m_sAddSite>,
     .m_pHelp = "add the site with the values the options below give, or\n"
                "put them in place of its entry; every other line of the book\n"
                "stays as it was"},
    {.m_pName = "--remove",
     .m_pValue = "NAME",
     .m_set = SetSite<&CCliOptions::m_sRemoveSite>,
     .m_pHelp = "remove the site's entry; every other line stays"},
    {.m_pName = "--system",
     .m_set = SetFlag<&CCliOptions::m_bSystemBook>,
     .m_pHelp = "change the book for every user and for the services\n"
                "instead of the user's own"},
    {.m_pName = "--description",
     .m_pValue = "TEXT",
     .m_set = SetText<&CCliOptions::m_sDescription, kText>,
     .m_pHelp = "what the site is, in a few words"},
};
// The line of a site to add, as before the command.
const CCliOption kSitesLine[] = {
    {.m_pName = "--device",
     .m_pValue = "PATH",
     .m_set = SetLine,
     .m_pUsage = "[--device PATH | --com N]"},
    {.m_pName = "--com",
     .m_pValue = "N",
     .m_set = SetNumber<&CCliOptions::m_iCom, 1, 9>,
     .m_pUsage = ""},
    {.m_pName = "--baud",
     .m_pValue = "RATE",
     .m_set = SetNumber<&CCliOptions::m_iBaudrate, 50, 4000000>},
};

const CCliOptionGroup kStatusGroups[] = {kSiteGroup};
const CCliOptionGroup kTimestampGroups[] = {{kTimestampOptions}, kSiteGroup};
const CCliOptionGroup kParamsGroups[] = {{kParamsOptions}, kSiteGroup};
const CCliOptionGroup kDialGroups[] = {{kDialOptions}, kSiteGroup};
const CCliOptionGroup kFetchGroups[] = {{kFetchOutput},
                                        {kImageOptions},
                                        {kFetchModem},
                                        {kFetchCheck},
                                        {kCheckLimits, "as for capture", ""},
                                        kSiteGroup};
const CCliOptionGroup kPortsGroups[] = {{kPortsOptions}};
const CCliOptionGroup kReportGroups[] = {{kReportOptions}};
const CCliOptionGroup kCaptureGroups[] = {{kCaptureSites},
                                          {kCaptureFiles},
                                          {kCaptureOptions},
                                          {kCaptureLink},
                                          {kCheckLimits},
                                          {kCaptureWindowOptions},
                                          {kImageOptions, "as for fetch", "[fetch options]"}};
const CCliOptionGroup kTimelapseGroups[] = {{kFilmSource}, {kTimelapseOptions}};
const CCliOptionGroup kRetentionGroups[] = {{kRetentionSource}, {kRetentionOptions}};
const CCliOptionGroup kSitesGroups[] = {{kSitesOptions},
                                        {kSitesLine, "as before the command", "[line options]"},
                                        {kCaptureFiles, "as for capture", "[capture options]"},
                                        {kCaptureLink, "as for capture", ""},
                                        {kCheckLimits, "as for capture", ""},
                                        {kCaptureWindowOptions, "as for capture", ""},
                                        {kImageOptions, "as for fetch", "[fetch options]"}};

// ---- the checks after a command's options ----

using CCheckCommand = bool (*)(CCliOptions& o, const std::vector<std::string>& arguments,
                               std::string& error);

bool CheckStatus(CCliOptions& o, const std::vector<std::string>& arguments, std::string& error) {
    if (arguments.size() != 1) {
        error = "status braucht genau eine Abfrage: camera, input, error oder version";
        return false;
    }
    const std::string& q = arguments[0];
    if (q != "camera" && q != "input" && q != "error" && q != "version") {
        error = "unbekannte Abfrage " + q + " (camera, input, error oder version)";
        return false;
    }
    o.m_sQuery = q;
    return true;
}

bool CheckChannel(CCliOptions& o, const std::vector<std::string>& arguments, std::string& error) {
    if (arguments.size() != 1) {
        error = "channel braucht genau eine Kanalnummer (1..8)";
        return false;
    }
    if (!ParseWholeNumber(arguments[0], 1, 8, o.m_iKanal)) {
        error = "ungültiger Kanal " + arguments[0] + " (1..8)";
        return false;
    }
    return true;
}

// The colour setting and the mode must agree: colour data come in mode 4 only.
bool CheckFetch(CCliOptions& o, const std::vector<std::string>&, std::string& error) {
    if (o.m_iModus != 0 && o.m_bColour && *o.m_bColour != (o.m_iModus == 4)) {
        error = *o.m_bColour ? "--colour geht nur mit --mode 4"
                             : "--mono geht nur mit --mode 1, 2 oder 3";
        return false;
    }
    return true;
}

// fetch: the check's limits go with the check.
bool CheckFetchCommand(CCliOptions& o, const std::vector<std::string>& arguments,
                       std::string& error) {
    if (o.m_check.Any() && !o.m_bCheck) {
        error = "--dark-below, --uniform-below und --frozen-after gehören zu --check";
        return false;
    }
    return CheckFetch(o, arguments, error);
}

// What ports is asked to do: list, or store one device, or remove one.
bool CheckPorts(CCliOptions& o, const std::vector<std::string>& arguments, std::string& error) {
    if (o.m_iAssign == 0) {
        if (o.m_bClear || !arguments.empty()) {
            error = o.m_bClear ? "--clear gehört zu --assign N"
                               : "überzähliges Argument " + arguments[0] + " für ports";
            return false;
        }
        return true;
    }
    if (o.m_bJson) {
        error = "--json gilt nur für die Liste, nicht mit --assign";
        return false;
    }
    if (arguments.size() > 1 || (o.m_bClear && !arguments.empty())) {
        error = "--assign N nimmt genau ein Gerät oder --clear";
        return false;
    }
    if (!o.m_bClear && arguments.empty()) {
        error = "--assign N braucht ein Gerät (oder --clear)";
        return false;
    }
    if (!o.m_bClear) {
        const std::string& device = arguments[0];
        for (char c : device)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                error = "ungültiger Gerätename (Steuerzeichen)";
                return false;
            }
        if (device.empty()) {
            error = "--assign N braucht ein Gerät (oder --clear)";
            return false;
        }
        if (const std::string problem = NetAddressProblem(device); !problem.empty()) {
            error = problem;
            return false;
        }
        o.m_sAssignDevice = device;
    }
    return true;
}

// Standard output carries the pictures' names, so nothing else may be written there.
bool NamesStandardOutput(const std::string& path) {
    return path == "-" || TargetDescriptor(path) == 1;
}

bool IsRunnable(const std::string& program) {
    const QString name = QString::fromStdString(program);
    if (program.find('/') == std::string::npos)
        return !QStandardPaths::findExecutable(name).isEmpty();
    const QFileInfo info(name);
    return info.isFile() && info.isExecutable();
}

bool CheckCapture(CCliOptions& o, const std::vector<std::string>& arguments, std::string& error) {
    if (!CheckFetch(o, arguments, error))
        return false;
    if (!o.m_sSite.empty() && (o.m_bAllSites || !o.m_sites.empty())) {
        error = "--site und --sites schließen einander aus";
        return false;
    }
    if (o.m_nCount != 0 && o.m_nEverySeconds == 0) {
        error = "--count geht nur mit --every";
        return false;
    }
    if (!o.m_lines.empty() && !o.m_bAllSites && o.m_sites.empty()) {
        error = "--lines verteilt die Standorte von --sites auf die Leitungen und braucht --sites";
        return false;
    }
    if (!o.m_lines.empty() && (!o.m_sDevice.empty() || o.m_iCom != 0 || o.m_bDemo)) {
        error = "--lines nennt die Leitungen selbst und schließt --device, --com und --demo aus";
        return false;
    }
    if (o.m_bModem && o.m_bLocal) {
        error = "--modem und --local schließen einander aus";
        return false;
    }
    if (const std::string problem = NamePatternProblem(o.m_sPattern); !problem.empty()) {
        error = "ungültiges Namensmuster \"" + PrintableText(o.m_sPattern) + "\": " + problem;
        return false;
    }
    // A pattern without fields that names a device would put its pictures beside it.
    if (const QFileInfo fixed(QString::fromStdString(o.m_sPattern));
        o.m_sPattern.find_first_of("%{") == std::string::npos && fixed.exists() &&
        !fixed.isFile() && !fixed.isDir() && TargetDescriptor(o.m_sPattern) < 0) {
        error = "-o " + o.m_sPattern +
                " nennt keine gewöhnliche Datei (ein Gerät, eine FIFO oder einen Socket); "
                "capture schreibt jedes Bild in eine eigene Datei und braucht ein Namensmuster";
        return false;
    }
    if (NamesStandardOutput(o.m_sPattern) || TargetDescriptor(o.m_sPattern) >= 0) {
        error =
            "capture schreibt jedes Bild in eine eigene Datei; -o braucht ein "
            "Namensmuster, die Standardausgabe nennt die Dateien";
        return false;
    }
    for (const std::string* file : {&o.m_sJournal, &o.m_sLatest}) {
        if (NamesStandardOutput(*file)) {
            error =
                "die Standardausgabe nennt die Dateien; --journal und --latest brauchen "
                "eine Datei";
            return false;
        }
    }
    // A site of the book always has its journal.
    const bool journal =
        !o.m_sJournal.empty() || !o.m_sSite.empty() || !o.m_sites.empty() || o.m_bAllSites;
    if ((o.m_nKeepSeconds > 0 || o.m_nMinFreeBytes > 0) && !journal) {
        error =
            "--keep und --min-free löschen nur Bilder, die das Journal nennt, und "
            "brauchen --journal";
        return false;
    }
    // Where a site's pictures are is known once its book is read.
    const bool site = !o.m_sSite.empty() || !o.m_sites.empty() || o.m_bAllSites;
    if ((o.m_nKeepSeconds > 0 || o.m_nMinFreeBytes > 0) && !site) {
        CRetention retention;
        retention.m_sReport = o.m_sReportOut;
        if (const std::string problem = retention.Place(o.m_sFolder, o.m_sPattern);
            !problem.empty()) {
            error = KeepProblemText(problem);
            return false;
        }
    }
    if ((!o.m_sReportOut.empty() || !o.m_sMetrics.empty()) && !journal) {
        error = "--report und --metrics lesen das Journal und brauchen --journal";
        return false;
    }
    if (!o.m_sExec.empty() && !IsRunnable(o.m_sExec)) {
        error = "--exec: Programm \"" + o.m_sExec + "\" nicht gefunden oder nicht ausführbar";
        return false;
    }
    return true;
}

bool CheckReport(CCliOptions& o, const std::vector<std::string>& arguments, std::string& error) {
    if (o.m_sReportOut.empty() && o.m_sMetrics.empty()) {
        error = "report braucht --out DIR oder --metrics FILE";
        return false;
    }
    o.m_sources = arguments;
    return true;
}

bool CheckSites(CCliOptions& o, const std::vector<std::string>&, std::string& error) {
    const bool values = !o.m_sDevice.empty() || o.m_iCom != 0 || o.m_iBaudrate != 0 ||
                        o.m_sTel_nr || o.m_bModem || o.m_bLocal || !o.m_channels.empty() ||
                        o.m_bPatternGiven || !o.m_sJournal.empty() || !o.m_sFolder.empty() ||
                        !o.m_sDescription.empty() || o.m_iBildbreite != 0 || o.m_iBildhoehe != 0 ||
                        o.m_bColour || o.m_iModus != 0 || o.m_bExpert || o.m_check.Any();
    const bool change = !o.m_sAddSite.empty() || !o.m_sRemoveSite.empty();
    if (!o.m_sAddSite.empty() && !o.m_sRemoveSite.empty()) {
        error = "--add und --remove schließen einander aus";
        return false;
    }
    if (o.m_bJson && change) {
        error = "--json gilt nur für die Liste, nicht mit --add oder --remove";
        return false;
    }
    if (o.m_bSystemBook && !change) {
        error = "--system gehört zu --add oder --remove";
        return false;
    }
    if (values && o.m_sAddSite.empty()) {
        error = "die Werte eines Standorts gehören zu --add NAME";
        return false;
    }
    if (!o.m_sDevice.empty() && o.m_iCom != 0) {
        error = "--device und --com schließen einander aus";
        return false;
    }
    if (o.m_bModem && o.m_bLocal) {
        error = "--modem und --local schließen einander aus";
        return false;
    }
    if (const std::string problem = NamePatternProblem(o.m_sPattern);
        o.m_bPatternGiven && !problem.empty()) {
        error = "ungültiges Namensmuster \"" + PrintableText(o.m_sPattern) + "\": " + problem;
        return false;
    }
    return CheckFetch(o, {}, error);
}

// Where timelapse and retention read: a site (or sites) of the book, or one journal.
bool CheckJournalSource(CCliOptions& o, const std::vector<std::string>& arguments,
                        std::string& error) {
    const bool site = !o.m_sSite.empty() || !o.m_sites.empty() || o.m_bAllSites;
    if (!o.m_sSite.empty() && (o.m_bAllSites || !o.m_sites.empty())) {
        error = "--site und --sites schließen einander aus";
        return false;
    }
    if (arguments.size() > 1 || (site && !arguments.empty())) {
        error = o.m_sCommand + " liest ein Journal: --site NAME oder JOURNAL";
        return false;
    }
    if (!site && arguments.empty()) {
        error = o.m_sCommand + " braucht --site NAME oder ein JOURNAL";
        return false;
    }
    if (!arguments.empty() &&
        !TextValue("JOURNAL", arguments[0], kFileName, o.m_sJournalGiven, error))
        return false;
    return true;
}

bool CheckTimelapse(CCliOptions& o, const std::vector<std::string>& arguments, std::string& error) {
    if (!CheckJournalSource(o, arguments, error))
        return false;
    const bool span = !o.m_sFrom.empty() || !o.m_sTo.empty();
    if (o.m_sDay.empty() == !span || (span && (o.m_sFrom.empty() || o.m_sTo.empty()))) {
        error = "timelapse braucht --day DATE oder --from TIME und --to TIME";
        return false;
    }
    const bool several = o.m_bAllSites || !o.m_sites.empty();
    if (several && !o.m_sFilm.empty()) {
        error =
            "mit --sites bekommt jede Kamera ihren Film im Ordner ihres Standorts; -o "
            "nennt nur einen";
        return false;
    }
    if (several && o.m_sDay.empty()) {
        error = "--sites macht Filme eines Tages und braucht --day";
        return false;
    }
    if (!several && o.m_sFilm.empty() && (o.m_sSite.empty() || o.m_sDay.empty())) {
        error =
            "timelapse braucht -o FILM (ohne nur mit --site und --day: dann im Ordner "
            "des Standorts)";
        return false;
    }
    if (NamesStandardOutput(o.m_sFilm) || TargetDescriptor(o.m_sFilm) >= 0) {
        error =
            "-o braucht eine Datei: ein Film entsteht erst unter seinem Namen, wenn er "
            "fertig ist";
        return false;
    }
    return true;
}

bool CheckRetention(CCliOptions& o, const std::vector<std::string>& arguments, std::string& error) {
    if (!CheckJournalSource(o, arguments, error))
        return false;
    if (o.m_nKeepSeconds == 0 && o.m_nMinFreeBytes == 0) {
        error = "retention braucht --keep RULES oder --min-free SIZE";
        return false;
    }
    if (const std::string problem = NamePatternProblem(o.m_sPattern); !problem.empty()) {
        error = "ungültiges Namensmuster \"" + PrintableText(o.m_sPattern) + "\": " + problem;
        return false;
    }
    return true;
}

// One command: its options, what else it takes, and its help.
struct CCliCommand {
    const char* m_pName;
    std::span<const CCliOptionGroup> m_groups = {};
    // Its arguments in the usage line ("N"); empty when it takes none.
    const char* m_pArguments = "";
    // The arguments and whether the options go together; nullptr: nothing to check.
    CCheckCommand m_check = nullptr;
    const char* m_pSummary = "";  // its line in the program's help
    const char* m_pAbout = "";    // its help between the usage and the options
    const char* m_pMore = "";
    // For a command of several forms: its usage lines and its lines in the program's help.
    const char* m_pUsage = nullptr;
    const char* m_pOverview = nullptr;
};

const CCliCommand kCommands[] = {
    {.m_pName = "status",
     .m_groups = kStatusGroups,
     .m_pArguments = "camera|input|error|version",
     .m_check = CheckStatus,
     .m_pSummary = "print the module's status value",
     .m_pAbout =
         "Asks the module for its camera status (V#), input status (C#), error status (F#)\n"
         "or software version (S#) and prints the value as received (the version as blank,\n"
         "major, \".\", minor). When the module does not answer correctly, the error text\n"
         "(\"FehlerV \", \"FehlerC \", \"FehlerF \", \"FehlerS \") goes to standard error and\n"
         "the exit status is 1.\n"},
    {.m_pName = "timestamp",
     .m_groups = kTimestampGroups,
     .m_pSummary = "print the triggering channel and the seconds",
     .m_pAbout = "Reads the module's time stamp (T,0#) and prints the triggering channel, a blank\n"
                 "and the time in seconds. --reset reads and resets it (T,1#). On failure\n"
                 "\"FehlerT \" goes to standard error and the exit status is 1.\n"},
    {.m_pName = "channel",
     .m_groups = kStatusGroups,
     .m_pArguments = "N",
     .m_check = CheckChannel,
     .m_pSummary = "select camera channel N (1..8)",
     .m_pAbout =
         "Selects camera channel N (1..8). Exit status 1 when the module refuses it (it then\n"
         "says \"Kanal nicht vorhanden\") or does not answer.\n"},
    {.m_pName = "params",
     .m_groups = kParamsGroups,
     .m_pSummary = "send the picture parameters for the width",
     .m_pAbout =
         "Sends the picture parameters for the image width (default: the stored width).\n"
         "\"FehlerP\" and exit status 1 when the module does not accept them or the stored\n"
         "width has none.\n"},
    {.m_pName = "reset",
     .m_groups = kStatusGroups,
     .m_pSummary = "reset the module and print its text",
     .m_pAbout = "Resets the module (R,1#) and prints its text. On failure \"FehlerR \" goes to\n"
                 "standard error and the exit status is 1.\n"},
    {.m_pName = "dial",
     .m_groups = kDialGroups,
     .m_pSummary = "dial the module through the modem",
     .m_pAbout = "Initialises the modem and dials the module (default: the stored number). The\n"
                 "dialler's progress and failure texts go to standard error, and after a failure\n"
                 "the modem's own answer when it gave one (\"Modem meldet BUSY\"); exit status 1\n"
                 "when no connection was made. The connection stays up when the program ends.\n"},
    {.m_pName = "hangup",
     .m_groups = kStatusGroups,
     .m_pSummary = "end the connection",
     .m_pAbout = "Asks the module to end the connection (E,1#); exit status 1 when it does not\n"
                 "confirm.\n"},
    {.m_pName = "fetch",
     .m_groups = kFetchGroups,
     .m_check = CheckFetchCommand,
     .m_pSummary = "fetch one image and write it to FILE",
     .m_pAbout =
         "Fetches one image with the stored settings, changed by these options, and writes\n"
         "it to FILE (default pixlane.bmp): a BMP file exactly as the window saves it, or a\n"
         "PNG file when the name ends in .png. Prints the file's absolute path. A symbolic\n"
         "link is written through; a FIFO or a device is written directly.\n",
     .m_pMore = "While blocks arrive, a progress line is shown when standard error is a terminal.\n"
                "Exit status 1, and no file written (an existing FILE stays as it was), when no\n"
                "whole image arrived or the file could not be written.\n"},
    {.m_pName = "ports",
     .m_groups = kPortsGroups,
     .m_pArguments = "DEVICE",
     .m_check = CheckPorts,
     .m_pSummary = "list the serial ports and what COM1..COM9 are",
     .m_pAbout =
         "Lists the serial ports the system has (device, description, manufacturer, serial\n"
         "number, USB vendor and product id, and the name under /dev/serial/by-id that stays\n"
         "the same when the adapter is plugged in again or the machine restarts), then the\n"
         "port numbers COM1..COM9 with the device each stands for (from the variable\n"
         "PIXLANE_COMn, the stored value Ports/COMn or the default) and whether it is there;\n"
         "a device server's port stored for a number is listed as \"Netzwerk\", since it\n"
         "is not tried. Nothing is sent to any port.\n",
     .m_pUsage = "pixlane-cli ports [--json]\n"
                 "       pixlane-cli ports --assign N DEVICE\n"
                 "       pixlane-cli ports --assign N --clear\n",
     .m_pOverview =
         "  ports [--json]                      list the serial ports and what COM1..COM9 are\n"
         "  ports --assign N DEVICE | --clear   store the device of port N (the only command\n"
         "                                      that writes the settings, and only that value)\n"},
    {.m_pName = "capture",
     .m_groups = kCaptureGroups,
     .m_check = CheckCapture,
     .m_pSummary = "capture every channel, keep each picture",
     .m_pAbout =
         "Captures as the window's capture timer does, and keeps every picture. A round\n"
         "opens the port; dials the module through the modem when the stored link is\n"
         "\"Modem\" (or with --modem), two tries; sends the picture parameters (three\n"
         "tries; when the module takes none, \"FehlerP\" is said and recorded and the\n"
         "pictures are taken all the same); then selects each channel, fetches its\n"
         "picture (three tries) and saves it at once; and hangs up when it dialled (three\n"
         "tries). A channel the module refuses or does not confirm is recorded and\n"
         "skipped. When the module does not confirm the hang-up, or the dial fails, DTR\n"
         "is dropped for a second so that the modem goes on-hook, and the port is closed;\n"
         "the next round opens it again. A failed dial names the modem's own answer when\n"
         "it gave one (\"Modem meldet BUSY\"). A line that another process holds (Pixlane\n"
         "or any other program) is \"Schnittstelle belegt\": the round waits for it, until\n"
         "the next round is due (with --every), else 15 minutes at most, and journals the\n"
         "round that could not start as busy.\n",
     .m_pMore =
         "SIGINT or SIGTERM ends the run: a transfer under way is broken off as the protocol\n"
         "breaks one, a dialled line is hung up, the journal gets its line, and nothing\n"
         "half-written stays behind.\n"
         "Standard output: the absolute path of each saved picture, one a line, at once.\n"
         "Exit status: 0 when every picture of the last round was saved (after SIGINT or\n"
         "SIGTERM: every picture that was finished), 1 when any was not or its journal line,\n"
         "its --latest copy, the --report page or the --metrics file could not be written,\n"
         "2 on a usage error. A site outside its --between or --daylight window is not\n"
         "dialled; its round counts as kept, so a run outside every window ends with 0.\n"},
    {.m_pName = "report",
     .m_groups = kReportGroups,
     .m_pArguments = "[JOURNAL|FOLDER ...]",
     .m_check = CheckReport,
     .m_pSummary = "status page and metrics from journals",
     .m_pAbout =
         "Reads capture journals (files, or folders searched for *.jsonl, such as the\n"
         "journals of several machines gathered into one folder) back to seven days ago,\n"
         "with their rotated copies (JOURNAL.1, JOURNAL.2.gz, ...), and writes a status\n"
         "page (its files replaced as one set, index.html last) and a metrics file\n"
         "(replaced atomically). Lines more than a day ahead of now are passed over and\n"
         "said on standard error. A line without \"site\" belongs\n"
         "to the site that its journal's name gives, or for journal.jsonl and\n"
         "pixlane-journal.jsonl its folder's name. A camera is \"veraltet\" when its newest\n"
         "good picture is older than twice the usual gap between its pictures (a day when\n"
         "that is unknown). A picture whose path does not exist here is looked for below\n"
         "the journal's folder. Without a journal or folder named, the journals of the\n"
         "sites of the book are read.\n",
     .m_pMore = "Exit status: 0 when everything was read and written, 1 when a journal could not\n"
                "be read (the rest is shown) or a file not written, 2 on a usage error.\n"},
    {.m_pName = "sites",
     .m_groups = kSitesGroups,
     .m_check = CheckSites,
     .m_pSummary = "list the sites of the book",
     .m_pAbout = "Lists the sites of the book: name, number (or cable), line, channels and\n"
                 "description, and the file and line each comes from. The book is the user's\n"
                 "pixlane-sites.ini beside the settings, over the one for every user (under\n"
                 "/etc/xdg/Kelvorn); a name in both is the user's. Every other command takes a\n"
                 "site by its name, and its values are then the defaults. A bad entry is named\n"
                 "on standard error with its file and line and skipped; a missing book is an\n"
                 "empty one.\n",
     .m_pMore = "Exit status: 0 when the book was listed or changed, 1 when it could not be\n"
                "changed or the site to remove is not in it, 2 on a usage error.\n",
     .m_pUsage = "pixlane-cli sites [--json]\n"
                 "       pixlane-cli sites --add NAME [--system] [--description TEXT]\n"
                 "                   [line options] [capture options] [fetch options]\n"
                 "       pixlane-cli sites --remove NAME [--system]\n",
     .m_pOverview =
         "  sites [--json]                      list the sites of the book\n"
         "  sites --add NAME [options] | --remove NAME\n"
         "                                      add, change or remove a site; every other\n"
         "                                      line of the book stays as it was\n"},
    {.m_pName = "timelapse",
     .m_groups = kTimelapseGroups,
     .m_pArguments = "[JOURNAL]",
     .m_check = CheckTimelapse,
     .m_pSummary = "a film of a camera's good pictures of a day or span",
     .m_pAbout = "Makes a film of a camera's good pictures in the span, in the order the journal\n"
                 "took them, through the ffmpeg program (found on the PATH): each picture one\n"
                 "frame, all in the size of the first (made even), grey and colour, BMP or PNG (a\n"
                 "film takes the format of its first picture). A picture the journal names that\n"
                 "is gone or is no picture is passed over and named on standard error. On a\n"
                 "terminal a progress line shows; SIGINT or SIGTERM stops ffmpeg and leaves no\n"
                 "film behind. Prints the film's absolute path.\n",
     .m_pMore = "Exit status: 0 when every film was made, 1 when a span had no good picture,\n"
                "ffmpeg is missing or failed, or a journal could not be read, 2 on a usage\n"
                "error.\n",
     .m_pUsage = "pixlane-cli timelapse [--site NAME | JOURNAL] [--channel N]\n"
                 "                   [--day DATE | --from TIME --to TIME] [--fps N] -o FILM\n"
                 "       pixlane-cli timelapse --sites LIST|all --day DATE [--fps N]\n",
     .m_pOverview =
         "  timelapse [--site NAME | JOURNAL] [--channel N] [--day DATE | --from TIME\n"
         "            --to TIME] [--fps N] -o FILM\n"
         "                                      a film of a camera's good pictures\n"
         "  timelapse --sites LIST|all --day DATE\n"
         "                                      the day's film of every camera of the sites\n"},
    {.m_pName = "retention",
     .m_groups = kRetentionGroups,
     .m_pArguments = "[JOURNAL]",
     .m_check = CheckRetention,
     .m_pSummary = "remove old pictures as --keep says, or show what would go",
     .m_pAbout = "Removes what capture's --keep and --min-free would remove before its next save,\n"
                 "in the same way: only the program's own pictures that the journal records as\n"
                 "saved, each removal with a journal line that names its rule. With --dry-run\n"
                 "nothing is removed: each picture that would go is printed with why.\n",
     .m_pMore = "Standard output: a line for each picture that went (or would go): its path, a\n"
                "tab and the reason.\n"
                "Exit status: 0 when everything that should go went, 1 when a picture could not\n"
                "be removed, the journal not be written or the pictures not be found safely, 2\n"
                "on a usage error.\n",
     .m_pUsage = "pixlane-cli retention [--site NAME | JOURNAL] --keep RULES [--min-free SIZE]\n"
                 "                   [--dry-run] [--folder DIR] [-o PATTERN]\n",
     .m_pOverview = "  retention [--site NAME | JOURNAL] --keep RULES [--min-free SIZE]\n"
                    "            [--dry-run] [--folder DIR] [-o PATTERN]\n"
                    "                                      remove old pictures as --keep says,\n"
                    "                                      or show what would go\n"},
};

const char* const kProgramAbout =
    "Talks to the camera grabber module over the serial line (by cable, or through a\n"
    "Hayes modem it dials), which may also be a device server's port on the network\n"
    "(rfc2217://HOST:PORT or tcp://HOST:PORT; no encryption, no password). The settings\n"
    "of the Pixlane window are the defaults; they are read, and written only by\n"
    "ports --assign, which changes that one value.\n";

const char* const kProgramMore =
    "The status texts and message texts of the window (German) go to standard error,\n"
    "one a line; results go to standard output.\n"
    "Module values are printed with control characters as \\xNN. A stored setting that\n"
    "is not a number where one belongs is named on standard error, and its default used.\n"
    "Exit status: 0 success; 1 the module or the modem failed or refused, the port could\n"
    "not be opened, or the stored image settings give no picture; 2 a usage error.\n"
    "capture --help tells how unattended capture keeps its pictures and exits.\n";

const CCliCommand* FindCommand(const std::string& name) {
    for (const CCliCommand& c : kCommands)
        if (name == c.m_pName)
            return &c;
    return nullptr;
}

bool Spells(const CCliOption& option, const std::string& arg) {
    for (const char* name : {option.m_pName, option.m_pShort, option.m_pHidden})
        if (name != nullptr && arg == name)
            return true;
    return false;
}

const CCliOption* FindOption(std::span<const CCliOption> options, const std::string& arg) {
    for (const CCliOption& option : options)
        if (Spells(option, arg))
            return &option;
    return nullptr;
}

const CCliOption* FindOption(const CCliCommand& command, const std::string& arg) {
    for (const CCliOptionGroup& group : command.m_groups)
        if (const CCliOption* option = FindOption(group.m_options, arg))
            return option;
    return nullptr;
}

// ---- the help ----

// Lines of help text wider than this are wrapped.
constexpr size_t kHelpWidth = 80;
// Where an option's description begins, and a command's summary in the program's help.
constexpr size_t kOptionColumn = 23;
constexpr size_t kSummaryColumn = 38;

std::string Label(const CCliOption& option) {
    if (option.m_pLabel != nullptr)
        return option.m_pLabel;
    std::string label = option.m_pShort != nullptr ? std::string(option.m_pShort) + ", " : "";
    label += option.m_pName;
    if (option.m_pValue != nullptr)
        label += std::string(" ") + option.m_pValue;
    return label;
}

// The option's part of a usage line.
std::string UsagePart(const CCliOption& option) {
    if (option.m_pUsage != nullptr)
        return option.m_pUsage;
    std::string part =
        std::string("[") + (option.m_pShort != nullptr ? option.m_pShort : option.m_pName);
    if (option.m_pValue != nullptr)
        part += std::string(" ") + option.m_pValue;
    return part + "]";
}

// The command's arguments and options as they follow its name in a usage line; in the
// program's help (overview) shared options are named by their group.
std::vector<std::string> UsageParts(const CCliCommand& command, bool overview) {
    std::vector<std::string> parts;
    if (*command.m_pArguments != '\0')
        parts.emplace_back(command.m_pArguments);
    for (const CCliOptionGroup& group : command.m_groups) {
        if (overview && group.m_pOverview != nullptr) {
            if (*group.m_pOverview != '\0')
                parts.emplace_back(group.m_pOverview);
            continue;
        }
        for (const CCliOption& option : group.m_options)
            if (std::string part = UsagePart(option); !part.empty())
                parts.push_back(std::move(part));
    }
    return parts;
}

// start and the parts after it, wrapped at the help's width; wrapped lines begin at indent.
std::string Wrapped(std::string start, const std::vector<std::string>& parts, size_t indent) {
    std::string text;
    for (const std::string& part : parts) {
        if (start.size() + 1 + part.size() > kHelpWidth) {
            text += start + "\n";
            start = std::string(indent, ' ') + part;
        } else {
            start += " " + part;
        }
    }
    return text + start;
}

// A line that begins with label and goes on at column with text; text's further lines
// begin at that column too.
std::string Described(const std::string& label, const char* text, size_t column) {
    std::string line = label;
    line.append(line.size() < column ? column - line.size() : 1, ' ');
    for (const char* p = text; *p != '\0'; ++p) {
        line += *p;
        if (*p == '\n')
            line.append(column, ' ');
    }
    return line + "\n";
}

std::string OptionLines(std::span<const CCliOptionGroup> groups) {
    std::string text;
    for (const CCliOptionGroup& group : groups) {
        if (group.m_pSameAs != nullptr) {
            std::string names;
            for (const CCliOption& option : group.m_options)
                names += (names.empty() ? "" : ", ") +
                         (option.m_pShort != nullptr ? std::string(option.m_pShort) + ", " : "") +
                         option.m_pName;
            text += "  " + names + "   " + group.m_pSameAs + "\n";
            continue;
        }
        for (const CCliOption& option : group.m_options)
            if (option.m_pHelp != nullptr)
                text += Described("  " + Label(option), option.m_pHelp, kOptionColumn);
    }
    return text;
}

std::string CommandHelp(const CCliCommand& command) {
    std::string text = "Usage: ";
    if (command.m_pUsage != nullptr) {
        text += command.m_pUsage;
    } else {
        const std::string start = std::string("pixlane-cli [OPTIONS] ") + command.m_pName;
        text +=
            Wrapped(start, UsageParts(command, false), std::strlen("Usage: pixlane-cli ")) + "\n";
    }
    return text + command.m_pAbout + OptionLines(command.m_groups) + command.m_pMore;
}

// The command's lines in the program's help.
std::string Overview(const CCliCommand& command) {
    if (command.m_pOverview != nullptr)
        return command.m_pOverview;
    const std::string start = std::string("  ") + command.m_pName;
    const std::string usage = Wrapped(start, UsageParts(command, true), start.size() + 1);
    if (usage.find('\n') == std::string::npos && usage.size() + 2 <= kSummaryColumn)
        return Described(usage, command.m_pSummary, kSummaryColumn);
    return usage + "\n" + std::string(kSummaryColumn, ' ') + command.m_pSummary + "\n";
}

std::string ProgramHelp() {
    std::string text = "Usage: pixlane-cli [OPTIONS] COMMAND [ARGS]\n";
    text += kProgramAbout;
    text += "\nOptions (before the command):\n";
    const CCliOptionGroup global[] = {{kGlobalOptions}};
    text += OptionLines(global);
    text += "\nCommands:\n";
    for (const CCliCommand& command : kCommands)
        text += Overview(command);
    return text + "\n" + kProgramMore;
}

// ---- the parser ----

// Walks the arguments; an option's value may follow as the next argument or after "=".
class CArgs {
  public:
    CArgs(int argc, char** argv) {
        for (int i = 1; i < argc; ++i)
            m_args.emplace_back(argv[i]);
    }
    bool AtEnd() const { return m_nPos >= m_args.size(); }
    const std::string& Peek() const { return m_args[m_nPos]; }
    // The next argument, split at "=" when it is an option of that form.
    std::string Next() {
        m_sInline.reset();
        std::string arg = m_args[m_nPos++];
        if (arg.rfind("--", 0) == 0) {
            const size_t eq = arg.find('=');
            if (eq != std::string::npos) {
                m_sInline = arg.substr(eq + 1);
                arg.resize(eq);
            }
        }
        return arg;
    }
    bool Value(const std::string& option, std::string& value, std::string& error) {
        if (m_sInline) {
            value = *m_sInline;
            m_sInline.reset();
            return true;
        }
        if (AtEnd()) {
            error = option + " braucht einen Wert";
            return false;
        }
        value = m_args[m_nPos++];
        return true;
    }
    // An option that takes no value was given one.
    bool HasInlineValue() const { return m_sInline.has_value(); }

  private:
    std::vector<std::string> m_args;
    size_t m_nPos = 0;
    std::optional<std::string> m_sInline;
};

bool IsOption(const std::string& arg) {
    return arg.size() > 1 && arg[0] == '-';
}

// The option, spelled arg, with its value if it takes one.
bool TakeOption(CArgs& args, const CCliOption& option, const std::string& arg, CCliOptions& o,
                std::string& error) {
    std::string value;
    if (option.m_pValue == nullptr) {
        if (args.HasInlineValue()) {
            error = arg + " nimmt keinen Wert";
            return false;
        }
    } else if (!args.Value(arg, value, error)) {
        return false;
    }
    return option.m_set(arg, value, o, error);
}

bool ParseCommandArgs(CArgs& args, const CCliCommand& command, CCliOptions& o, std::string& error) {
    std::vector<std::string> arguments;
    while (!args.AtEnd()) {
        const std::string arg = args.Next();
        // Help wins over whatever else the line says.
        if (arg == "--help" || arg == "-h") {
            o.m_bHelp = true;
            return true;
        }
        if (!IsOption(arg)) {
            arguments.push_back(arg);
            continue;
        }
        const CCliOption* option = FindOption(command, arg);
        if (option == nullptr && std::string_view(command.m_pName) == "capture")
            option = FindOption(kPoolRoundOptions, arg);
        if (option == nullptr) {
            error = "unbekannte Option " + arg + " für " + command.m_pName;
            return false;
        }
        if (!TakeOption(args, *option, arg, o, error))
            return false;
    }
    if (*command.m_pArguments == '\0' && !arguments.empty()) {
        error = "überzähliges Argument " + arguments[0] + " für " + command.m_pName;
        return false;
    }
    return command.m_check == nullptr || command.m_check(o, arguments, error);
}

}  // namespace

std::string CliHelp(const std::string& command) {
    // Made once: the fuzz harness asks for every input it runs.
    static const std::map<std::string, std::string> kHelp = [] {
        std::map<std::string, std::string> help{{"", ProgramHelp()}};
        for (const CCliCommand& c : kCommands)
            help.emplace(c.m_pName, CommandHelp(c));
        return help;
    }();
    const auto found = kHelp.find(command);
    return found == kHelp.end() ? std::string() : found->second;
}

std::vector<std::string> CliOptionNames(const std::string& command) {
    std::vector<std::string> names;
    const auto add = [&names](std::span<const CCliOption> options) {
        for (const CCliOption& option : options) {
            if (option.m_pShort != nullptr)
                names.emplace_back(option.m_pShort);
            names.emplace_back(option.m_pName);
        }
    };
    if (command.empty()) {
        add(kGlobalOptions);
    } else if (const CCliCommand* c = FindCommand(command)) {
        for (const CCliOptionGroup& group : c->m_groups)
            add(group.m_options);
    }
    return names;
}

CRequestChanges PictureChanges(const CCliOptions& o) {
    return {o.m_iBildbreite, o.m_iBildhoehe, o.m_bColour,   o.m_iModus,
            o.m_bExpert,     o.m_sOffset,    o.m_sBgroesse, o.m_sBanzahl};
}

CTargetOptions TargetOptions(const CCliOptions& o) {
    CTargetOptions t;
    t.m_sDevice = o.m_sDevice;
    if (o.m_iCom != 0)
        t.m_iCom = o.m_iCom;
    if (o.m_iBaudrate != 0)
        t.m_iBaudrate = o.m_iBaudrate;
    t.m_bHandshake = o.m_bHandshake;
    t.m_sNumber = o.m_sTel_nr;
    if (o.m_bModem || o.m_bLocal)
        t.m_bModem = o.m_bModem;
    t.m_channels = o.m_channels;
    t.m_picture = PictureChanges(o);
    if (!o.m_sFolder.empty())
        t.m_sFolder = o.m_sFolder;
    if (o.m_bPatternGiven)
        t.m_sPattern = o.m_sPattern;
    if (!o.m_sJournal.empty())
        t.m_sJournal = o.m_sJournal;
    t.m_sLatest = o.m_sLatest;
    t.m_nKeepSeconds = o.m_nKeepSeconds;
    t.m_sKeepTiers = o.m_sKeepTiers;
    t.m_nMinFreeBytes = o.m_nMinFreeBytes;
    t.m_bDemoModem = o.m_bDemoModem;
    t.m_check = o.m_check;
    return t;
}

ECliParse ParseCli(int argc, char** argv, CCliOptions& o, std::string& error) {
    o = CCliOptions{};
    for (int i = 1; i < argc; ++i)
        o.m_args.emplace_back(argv[i]);
    CArgs args(argc, argv);
    while (!args.AtEnd() && IsOption(args.Peek())) {
        const std::string arg = args.Next();
        const CCliOption* option = FindOption(kGlobalOptions, arg);
        if (option == nullptr) {
            error = "unbekannte Option " + arg;
            return ECliParse::UsageError;
        }
        if (!TakeOption(args, *option, arg, o, error))
            return ECliParse::UsageError;
        if (o.m_bHelp)
            return ECliParse::Help;
        if (o.m_bVersion)
            return ECliParse::Version;
    }
    if (!o.m_sDevice.empty() && o.m_iCom != 0) {
        error = "--device und --com schließen einander aus";
        return ECliParse::UsageError;
    }
    if (o.m_bDemo && (!o.m_sDevice.empty() || o.m_iCom != 0)) {
        error = "--demo schließt --device und --com aus";
        return ECliParse::UsageError;
    }
    if (!o.m_bDemo && !o.m_sDemoScene.empty()) {
        error = "--demo-scene braucht --demo oder --demo-modem";
        return ECliParse::UsageError;
    }
    if (args.AtEnd()) {
        error = "kein Befehl angegeben";
        return ECliParse::UsageError;
    }
    o.m_sCommand = args.Next();
    const CCliCommand* command = FindCommand(o.m_sCommand);
    if (command == nullptr) {
        error = "unbekannter Befehl " + o.m_sCommand;
        return ECliParse::UsageError;
    }
    if (!ParseCommandArgs(args, *command, o, error))
        return ECliParse::UsageError;
    // ports reads what the port numbers stand for and opens no line.
    if (o.m_sCommand == "ports" && !o.m_bHelp &&
        (!o.m_sDevice.empty() || o.m_iCom != 0 || o.m_bDemo || !o.m_sSite.empty())) {
        error = "ports nimmt kein --device, --com, --demo oder --site";
        return ECliParse::UsageError;
    }
    // Films and retention read journals and pictures and open no line.
    if ((o.m_sCommand == "timelapse" || o.m_sCommand == "retention") && !o.m_bHelp &&
        (o.m_bDemo || !o.m_sDevice.empty() || o.m_iCom != 0)) {
        error = o.m_sCommand + " nimmt kein --device, --com oder --demo";
        return ECliParse::UsageError;
    }
    // sites reads and writes the book and opens no line.
    if (o.m_sCommand == "sites" && !o.m_bHelp && (o.m_bDemo || !o.m_sSite.empty())) {
        error = "sites nimmt kein --demo oder --site";
        return ECliParse::UsageError;
    }
    return o.m_bHelp ? ECliParse::Help : ECliParse::Run;
}

std::string KeepProblemText(const std::string& problem) {
    return "--keep und --min-free löschen hier nichts: " + problem;
}
