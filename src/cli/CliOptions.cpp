#include "cli/CliOptions.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <QString>
#include <cctype>
#include <cstdlib>
#include <vector>

#include "app/TargetFile.h"
#include "link/PrintableText.h"

namespace {

const char* const kProgramHelp =
    "Usage: pixlane-cli [OPTIONS] COMMAND [ARGS]\n"
    "Talks to the camera grabber module over the serial line (by cable, or through a\n"
    "Hayes modem it dials). The settings of the Pixlane window are the defaults; they\n"
    "are read, and written only by ports --assign, which changes that one value.\n"
    "\n"
    "Options (before the command):\n"
    "  --device PATH        use this serial device\n"
    "  --com N              use port COMn (1..9), found as the window finds it: the\n"
    "                       variable PIXLANE_COMn, else the stored value Ports/COMn,\n"
    "                       else /dev/ttyS{n-1}. Without --device and --com the stored\n"
    "                       port is used; the two cannot be combined.\n"
    "  --baud RATE          line speed in baud (default: the stored rate)\n"
    "  --handshake on|off   RTS handshake (default: the stored setting)\n"
    "  --quiet              leave out the status texts; message texts, errors and\n"
    "                       results still appear, and a failure still shows the last\n"
    "                       status text, which names its cause\n"
    "  --demo               run against the built-in simulated module (on a\n"
    "                       pseudo-terminal, paced like a 115200-baud line)\n"
    "  --demo-modem         like --demo, with the simulated module behind a Hayes\n"
    "                       modem; fetch then dials first, as with fetch --modem\n"
    "  --help               this text; COMMAND --help describes one command\n"
    "  --version            print the version\n"
    "\n"
    "Commands:\n"
    "  status camera|input|error|version   print the module's status value\n"
    "  timestamp [--reset]                 print the triggering channel and the seconds\n"
    "  channel N                           select camera channel N (1..8)\n"
    "  params [--width 180|360]            send the picture parameters for the width\n"
    "  reset                               reset the module and print its text\n"
    "  dial [--number TEL]                 dial the module through the modem\n"
    "  hangup                              end the connection\n"
    "  fetch [-o FILE] [--width W] [--height H] [--mono | --colour] [--mode 1..4]\n"
    "        [--expert OFFSET,BLOCKSIZE,BLOCKCOUNT] [--modem]\n"
    "                                      fetch one image and write it to FILE\n"
    "  ports [--json]                      list the serial ports and what COM1..COM9 are\n"
    "  ports --assign N DEVICE | --clear   store the device of port N (the only command\n"
    "                                      that writes the settings, and only that value)\n"
    "  capture [--channels LIST|all] [-o PATTERN] [--journal FILE]\n"
    "          [--every DURATION [--count N]] [--exec COMMAND] [--latest FILE]\n"
    "          [--modem | --local] [--number TEL] [fetch options]\n"
    "                                      capture every channel, keep each picture\n"
    "\n"
    "The status texts and message texts of the window (German) go to standard error,\n"
    "one a line; results go to standard output.\n"
    "Module values are printed with control characters as \\xNN. A stored setting that\n"
    "is not a number where one belongs is named on standard error, and its default used.\n"
    "Exit status: 0 success; 1 the module or the modem failed or refused, the port could\n"
    "not be opened, or the stored image settings give no picture; 2 a usage error.\n"
    "capture --help tells how unattended capture keeps its pictures and exits.\n";

struct CCommandHelp {
    const char* m_pName;
    const char* m_pText;
};

const CCommandHelp kCommandHelp[] = {
    {"status",
     "Usage: pixlane-cli [OPTIONS] status camera|input|error|version\n"
     "Asks the module for its camera status (V#), input status (C#), error status (F#)\n"
     "or software version (S#) and prints the value as received (the version as blank,\n"
     "major, \".\", minor). When the module does not answer correctly, the error text\n"
     "(\"FehlerV \", \"FehlerC \", \"FehlerF \", \"FehlerS \") goes to standard error and\n"
     "the exit status is 1.\n"},
    {"timestamp",
     "Usage: pixlane-cli [OPTIONS] timestamp [--reset]\n"
     "Reads the module's time stamp (T,0#) and prints the triggering channel, a blank\n"
     "and the time in seconds. --reset reads and resets it (T,1#). On failure\n"
     "\"FehlerT \" goes to standard error and the exit status is 1.\n"},
    {"channel",
     "Usage: pixlane-cli [OPTIONS] channel N\n"
     "Selects camera channel N (1..8). Exit status 1 when the module refuses it (it then\n"
     "says \"Kanal nicht vorhanden\") or does not answer.\n"},
    {"params",
     "Usage: pixlane-cli [OPTIONS] params [--width 180|360]\n"
     "Sends the picture parameters for the image width (default: the stored width).\n"
     "\"FehlerP\" and exit status 1 when the module does not accept them or the stored\n"
     "width has none.\n"},
    {"reset",
     "Usage: pixlane-cli [OPTIONS] reset\n"
     "Resets the module (R,1#) and prints its text. On failure \"FehlerR \" goes to\n"
     "standard error and the exit status is 1.\n"},
    {"dial",
     "Usage: pixlane-cli [OPTIONS] dial [--number TEL]\n"
     "Initialises the modem and dials the module (default: the stored number). The\n"
     "dialler's progress and failure texts go to standard error, and after a failure\n"
     "the modem's own answer when it gave one (\"Modem meldet BUSY\"); exit status 1\n"
     "when no connection was made. The connection stays up when the program ends.\n"},
    {"hangup",
     "Usage: pixlane-cli [OPTIONS] hangup\n"
     "Asks the module to end the connection (E,1#); exit status 1 when it does not\n"
     "confirm.\n"},
    {"fetch",
     "Usage: pixlane-cli [OPTIONS] fetch [-o FILE] [--width W] [--height H]\n"
     "                   [--mono | --colour] [--mode 1..4]\n"
     "                   [--expert OFFSET,BLOCKSIZE,BLOCKCOUNT] [--modem]\n"
     "Fetches one image with the stored settings, changed by these options, and writes\n"
     "it to FILE (default pixlane.bmp): a BMP file exactly as the window saves it, or a\n"
     "PNG file when the name ends in .png. Prints the file's absolute path. A symbolic\n"
     "link is written through; a FIFO or a device is written directly.\n"
     "  -o, --output FILE    where to write the image; \"-\" writes the BMP file to\n"
     "                       standard output (and prints no path)\n"
     "  --width 180|360      image width; the height then defaults to 144 or 288\n"
     "  --height H           image height in pixels (1..4096)\n"
     "  --mono               8-bit grey (mode 3 unless --mode says otherwise)\n"
     "  --colour             colour (mode 4)\n"
     "  --mode 1..4          transfer mode: 1 and 2 the nibble halves, 3 grey, 4 colour\n"
     "  --expert O,S,C       build the request from the hexadecimal offset (up to five\n"
     "                       digits), block size (up to two) and block count (up to four)\n"
     "  --modem              dial the module through the modem first\n"
     "While blocks arrive, a progress line is shown when standard error is a terminal.\n"
     "Exit status 1, and no file written (an existing FILE stays as it was), when no\n"
     "whole image arrived or the file could not be written.\n"},
    {"ports",
     "Usage: pixlane-cli ports [--json]\n"
     "       pixlane-cli ports --assign N DEVICE\n"
     "       pixlane-cli ports --assign N --clear\n"
     "Lists the serial ports the system has (device, description, manufacturer, serial\n"
     "number, USB vendor and product id, and the name under /dev/serial/by-id that stays\n"
     "the same when the adapter is plugged in again or the machine restarts), then the\n"
     "port numbers COM1..COM9 with the device each stands for (from the variable\n"
     "PIXLANE_COMn, the stored value Ports/COMn or the default) and whether it is there.\n"
     "Nothing is sent to any port.\n"
     "  --json               the same as JSON, for scripts\n"
     "  --assign N DEVICE    store DEVICE for port N (1..9), for the window and the\n"
     "                       command line; when the system has a lasting name for it\n"
     "                       under /dev/serial/by-id, that name is stored. Prints what\n"
     "                       was stored. Nothing else in the settings file changes.\n"
     "  --assign N --clear   remove the stored device of port N (the default applies)\n"},
    {"capture",
     "Usage: pixlane-cli [OPTIONS] capture [--channels LIST|all] [-o PATTERN]\n"
     "                   [--journal FILE] [--every DURATION [--count N]]\n"
     "                   [--exec COMMAND] [--latest FILE] [--modem | --local]\n"
     "                   [--number TEL] [--width W] [--height H] [--mono | --colour]\n"
     "                   [--mode 1..4] [--expert OFFSET,BLOCKSIZE,BLOCKCOUNT]\n"
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
     "it gave one (\"Modem meldet BUSY\").\n"
     "  --channels LIST|all  the channels in this order, as 1,3,5; all is 1..8\n"
     "                       (default: the stored channel)\n"
     "  -o, --output PATTERN the file names (default\n"
     "                       pixlane-%Y%m%d-%H%M%S-k{channel}.bmp): strftime fields in\n"
     "                       local time (%Y %m %d %H %M %S and the others; %% is a %),\n"
     "                       {channel}, {width}, {height} and {seq}, the picture's number\n"
     "                       in this run with four digits; \"/\" makes folders, which are\n"
     "                       created; a name ending in .png writes PNG, others BMP. An\n"
     "                       existing file is never overwritten: the new picture gets\n"
     "                       -1, -2, ... before the extension. A file appears under its\n"
     "                       name only when it is complete.\n"
     "  --journal FILE       append a line of JSON for each picture attempt and for each\n"
     "                       dial, picture-parameter write or hang-up that failed, with\n"
     "                       time (ISO 8601 with the offset), event (picture, dial,\n"
     "                       params, hangup), channel, width, height, mode, colour, bytes\n"
     "                       (received on the line), seconds, bytes_per_second, tries,\n"
     "                       result (ok; refused; broken: a check byte or length was\n"
     "                       wrong; stopped: broken off by SIGINT or SIGTERM; failed;\n"
     "                       latest_failed: saved, but its --latest copy not), file (the\n"
     "                       saved picture's absolute path), message (the text shown)\n"
     "                       and modem (the modem's own answer that failed a dial, such\n"
     "                       as BUSY); each line is written whole or not at all\n"
     "  --every DURATION     repeat the round on this period, measured from each\n"
     "                       round's start: 90s, 5m, 1h, 2d; a plain number is minutes;\n"
     "                       10s to 30d. A round that fails does not end the run; one that\n"
     "                       takes longer than the period is followed at once.\n"
     "  --count N            end after N rounds (with --every; default: until stopped)\n"
     "  --exec COMMAND       after each saved picture run the program COMMAND (no shell)\n"
     "                       with the picture's absolute path as its one argument, and\n"
     "                       wait for it; what it prints goes to standard error; when it\n"
     "                       fails, the journal line says so and nothing else changes\n"
     "  --latest FILE        keep FILE as a copy of the newest picture, replaced\n"
     "                       atomically (for a web page to show); when the copy cannot\n"
     "                       be written, the old one stays and the picture's journal\n"
     "                       line says latest_failed\n"
     "  --modem              dial through the modem, whatever the stored link\n"
     "  --local              do not dial, whatever the stored link\n"
     "  --number TEL         the module's telephone number (default: the stored one)\n"
     "  --width, --height, --mono, --colour, --mode, --expert   as for fetch\n"
     "SIGINT or SIGTERM ends the run: a transfer under way is broken off as the protocol\n"
     "breaks one, a dialled line is hung up, the journal gets its line, and nothing\n"
     "half-written stays behind.\n"
     "Standard output: the absolute path of each saved picture, one a line, at once.\n"
     "Exit status: 0 when every picture of the last round was saved (after SIGINT or\n"
     "SIGTERM: every picture that was finished), 1 when any was not or its journal line\n"
     "or its --latest copy could not be written, 2 on a usage error.\n"},
};

// A whole decimal number within min..max.
bool ParseNumber(const std::string& text, int min, int max, int& value) {
    if (text.empty() || text.size() > 9)
        return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    const long v = std::strtol(text.c_str(), nullptr, 10);
    if (v < min || v > max)
        return false;
    value = static_cast<int>(v);
    return true;
}

bool IsHexField(const std::string& text, size_t maxDigits) {
    if (text.empty() || text.size() > maxDigits)
        return false;
    for (char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
    return true;
}

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

std::string BadValue(const std::string& option, const std::string& value,
                     const std::string& allowed) {
    return "ungültiger Wert für " + option + ": \"" + value + "\" (" + allowed + ")";
}

// The option's value as a whole number within min..max.
bool NumberValue(CArgs& args, const std::string& opt, int min, int max, int& value,
                 std::string& error) {
    std::string v;
    if (!args.Value(opt, v, error))
        return false;
    if (!ParseNumber(v, min, max, value)) {
        error = BadValue(opt, v, std::to_string(min) + ".." + std::to_string(max));
        return false;
    }
    return true;
}

// The option's value, which must not be empty; what names the kind of value.
bool TextValue(CArgs& args, const std::string& opt, const char* what, std::string& value,
               std::string& error) {
    if (!args.Value(opt, value, error))
        return false;
    if (value.empty()) {
        error = opt + " braucht " + what;
        return false;
    }
    // A name is used as it is written, and printed one a line: a control character or
    // a byte that is not UTF-8 would name something else, or split the line.
    if (const std::string fault = TextFaultText(value); !fault.empty()) {
        error = "ungültiger Wert für " + opt + ": \"" + PrintableText(value) + "\" " + fault;
        return false;
    }
    return true;
}

// An image width with picture parameters and a block count: 180 or 360.
bool WidthValue(CArgs& args, const std::string& opt, int& width, std::string& error) {
    std::string v;
    if (!args.Value(opt, v, error))
        return false;
    if (v != "180" && v != "360") {
        error = BadValue(opt, v, "180 oder 360");
        return false;
    }
    width = std::atoi(v.c_str());
    return true;
}

bool ParseGlobal(CArgs& args, const std::string& opt, CCliOptions& o, std::string& error) {
    std::string v;
    if (opt == "--device") {
        return TextValue(args, opt, "einen Gerätenamen", o.m_sDevice, error);
    } else if (opt == "--com") {
        return NumberValue(args, opt, 1, 9, o.m_iCom, error);
    } else if (opt == "--baud") {
        return NumberValue(args, opt, 50, 4000000, o.m_iBaudrate, error);
    } else if (opt == "--handshake") {
        if (!args.Value(opt, v, error))
            return false;
        if (v != "on" && v != "off") {
            error = BadValue(opt, v, "on oder off");
            return false;
        }
        o.m_bHandshake = v == "on";
    } else if (opt == "--quiet" || opt == "-q") {
        o.m_bQuiet = true;
    } else if (opt == "--demo" || opt == "--demo-modem") {
#if PIXLANE_HAVE_DEMO
        o.m_bDemo = true;
        o.m_bDemoModem = o.m_bDemoModem || opt == "--demo-modem";
#else
        error = opt + " gibt es auf diesem System nicht: das Demo-Modul braucht Pseudo-Terminals";
        return false;
#endif
    } else {
        error = "unbekannte Option " + opt;
        return false;
    }
    return true;
}

bool ParseFetchOption(CArgs& args, const std::string& opt, CCliOptions& o, std::string& error,
                      const char* command = "fetch") {
    std::string v;
    if (opt == "-o" || opt == "--output") {
        return TextValue(args, opt, "einen Dateinamen", o.m_sOutput, error);
    } else if (opt == "--width") {
        return WidthValue(args, opt, o.m_iBildbreite, error);
    } else if (opt == "--height") {
        return NumberValue(args, opt, 1, 4096, o.m_iBildhoehe, error);
    } else if (opt == "--mono" || opt == "--colour" || opt == "--color") {
        const bool colour = opt != "--mono";
        if (o.m_bColour && *o.m_bColour != colour) {
            error = "--mono und --colour schließen einander aus";
            return false;
        }
        o.m_bColour = colour;
    } else if (opt == "--mode") {
        return NumberValue(args, opt, 1, 4, o.m_iModus, error);
    } else if (opt == "--expert") {
        if (!args.Value(opt, v, error))
            return false;
        const size_t a = v.find(',');
        const size_t b = a == std::string::npos ? a : v.find(',', a + 1);
        if (b == std::string::npos || v.find(',', b + 1) != std::string::npos ||
            !IsHexField(v.substr(0, a), 5) || !IsHexField(v.substr(a + 1, b - a - 1), 2) ||
            !IsHexField(v.substr(b + 1), 4)) {
            error = BadValue(opt, v,
                             "OFFSET,BLOCKGRÖSSE,BLOCKANZAHL hexadezimal mit höchstens 5, 2 "
                             "und 4 Ziffern");
            return false;
        }
        o.m_bExpert = true;
        o.m_sOffset = v.substr(0, a);
        o.m_sBgroesse = v.substr(a + 1, b - a - 1);
        o.m_sBanzahl = v.substr(b + 1);
    } else if (opt == "--modem") {
        o.m_bModem = true;
    } else {
        error = "unbekannte Option " + opt + " für " + command;
        return false;
    }
    return true;
}

// The shortest and the longest period of a repeated capture.
constexpr int kMinEverySeconds = 10;
constexpr int kMaxEverySeconds = 30 * 24 * 3600;

// A period: a whole number with s, m, h or d after it; a plain number is minutes.
bool ParseDuration(const std::string& text, int& seconds) {
    size_t digits = 0;
    while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits])))
        ++digits;
    if (digits == 0 || digits > 9)
        return false;
    const std::string unit = text.substr(digits);
    const long long factor = unit.empty() || unit == "m" ? 60
                             : unit == "s"               ? 1
                             : unit == "h"               ? 3600
                             : unit == "d"               ? 24 * 3600
                                                         : 0;
    const long long value = std::atoll(text.substr(0, digits).c_str()) * factor;
    if (factor == 0 || value > kMaxEverySeconds)
        return false;
    seconds = static_cast<int>(value);
    return true;
}

// "all", or channels 1..8 separated by commas.
bool ParseChannels(const std::string& text, std::vector<int>& channels) {
    channels.clear();
    if (text == "all") {
        for (int c = 1; c <= 8; ++c)
            channels.push_back(c);
        return true;
    }
    for (size_t start = 0;;) {
        const size_t end = text.find(',', start);
        int channel = 0;
        if (!ParseNumber(text.substr(start, end - start), 1, 8, channel))
            return false;
        channels.push_back(channel);
        if (end == std::string::npos)
            return true;
        start = end + 1;
    }
}

bool ParseCaptureOption(CArgs& args, const std::string& opt, CCliOptions& o, std::string& error) {
    std::string v;
    if (opt == "--channels") {
        if (!args.Value(opt, v, error))
            return false;
        if (!ParseChannels(v, o.m_channels)) {
            error = BadValue(opt, v, "Kanäle 1..8, durch Kommas getrennt, oder all");
            return false;
        }
    } else if (opt == "-o" || opt == "--output") {
        return TextValue(args, opt, "ein Namensmuster", o.m_sPattern, error);
    } else if (opt == "--journal") {
        return TextValue(args, opt, "einen Dateinamen", o.m_sJournal, error);
    } else if (opt == "--every") {
        if (!args.Value(opt, v, error))
            return false;
        if (!ParseDuration(v, o.m_nEverySeconds)) {
            error = BadValue(opt, v,
                             "eine Dauer wie 90s, 5m, 1h oder 2d bis 30 Tage; eine "
                             "Zahl allein sind Minuten");
            return false;
        }
        if (o.m_nEverySeconds < kMinEverySeconds) {
            error = "--every " + v + " ist zu kurz: mindestens 10s";
            return false;
        }
    } else if (opt == "--count") {
        return NumberValue(args, opt, 1, 1000000, o.m_nCount, error);
    } else if (opt == "--exec") {
        return TextValue(args, opt, "ein Programm", o.m_sExec, error);
    } else if (opt == "--latest") {
        return TextValue(args, opt, "einen Dateinamen", o.m_sLatest, error);
    } else if (opt == "--number") {
        std::string number;
        if (!TextValue(args, opt, "eine Telefonnummer", number, error))
            return false;
        o.m_sTel_nr = number;
    } else if (opt == "--local") {
        o.m_bLocal = true;
    } else {
        return ParseFetchOption(args, opt, o, error, "capture");
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

// The colour setting and the mode must agree: colour data come in mode 4 only.
bool CheckFetch(CCliOptions& o, std::string& error) {
    if (o.m_iModus != 0 && o.m_bColour && *o.m_bColour != (o.m_iModus == 4)) {
        error = *o.m_bColour ? "--colour geht nur mit --mode 4"
                             : "--mono geht nur mit --mode 1, 2 oder 3";
        return false;
    }
    return true;
}

// What ports is asked to do: list, or store one device, or remove one.
bool CheckPorts(CCliOptions& o, const std::vector<std::string>& positional, std::string& error) {
    if (o.m_iAssign == 0) {
        if (o.m_bClear || !positional.empty()) {
            error = o.m_bClear ? "--clear gehört zu --assign N"
                               : "überzähliges Argument " + positional[0] + " für ports";
            return false;
        }
        return true;
    }
    if (o.m_bJson) {
        error = "--json gilt nur für die Liste, nicht mit --assign";
        return false;
    }
    if (positional.size() > 1 || (o.m_bClear && !positional.empty())) {
        error = "--assign N nimmt genau ein Gerät oder --clear";
        return false;
    }
    if (!o.m_bClear && positional.empty()) {
        error = "--assign N braucht ein Gerät (oder --clear)";
        return false;
    }
    if (!o.m_bClear) {
        const std::string& device = positional[0];
        for (char c : device)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                error = "ungültiger Gerätename (Steuerzeichen)";
                return false;
            }
        if (device.empty()) {
            error = "--assign N braucht ein Gerät (oder --clear)";
            return false;
        }
        o.m_sAssignDevice = device;
    }
    return true;
}

bool CheckCapture(CCliOptions& o, std::string& error) {
    if (!CheckFetch(o, error))
        return false;
    if (o.m_nCount != 0 && o.m_nEverySeconds == 0) {
        error = "--count geht nur mit --every";
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
    if (!o.m_sExec.empty() && !IsRunnable(o.m_sExec)) {
        error = "--exec: Programm \"" + o.m_sExec + "\" nicht gefunden oder nicht ausführbar";
        return false;
    }
    return true;
}

bool ParseCommandArgs(CArgs& args, CCliOptions& o, std::string& error) {
    const std::string& cmd = o.m_sCommand;
    std::vector<std::string> positional;
    while (!args.AtEnd()) {
        const std::string arg = args.Next();
        const bool isOption = arg.size() > 1 && arg[0] == '-';
        if (arg == "--help" || arg == "-h") {
            o.m_bHelp = true;
            return true;
        }
        if (!isOption) {
            positional.push_back(arg);
            continue;
        }
        bool flag = false;  // an option that takes no value
        if (cmd == "timestamp" && arg == "--reset") {
            o.m_bResetTime = flag = true;
        } else if (cmd == "params" && arg == "--width") {
            if (!WidthValue(args, arg, o.m_iBildbreite, error))
                return false;
        } else if (cmd == "dial" && arg == "--number") {
            std::string number;
            if (!TextValue(args, arg, "eine Telefonnummer", number, error))
                return false;
            o.m_sTel_nr = number;
        } else if (cmd == "ports" && (arg == "--json" || arg == "--clear")) {
            flag = true;
            (arg == "--json" ? o.m_bJson : o.m_bClear) = true;
        } else if (cmd == "ports" && arg == "--assign") {
            if (!NumberValue(args, arg, 1, 9, o.m_iAssign, error))
                return false;
        } else if (cmd == "fetch") {
            flag = arg == "--mono" || arg == "--colour" || arg == "--color" || arg == "--modem";
            if (!ParseFetchOption(args, arg, o, error))
                return false;
        } else if (cmd == "capture") {
            flag = arg == "--mono" || arg == "--colour" || arg == "--color" || arg == "--modem" ||
                   arg == "--local";
            if (!ParseCaptureOption(args, arg, o, error))
                return false;
        } else {
            error = "unbekannte Option " + arg + " für " + cmd;
            return false;
        }
        if (flag && args.HasInlineValue()) {
            error = arg + " nimmt keinen Wert";
            return false;
        }
    }

    if (cmd == "status") {
        if (positional.size() != 1) {
            error = "status braucht genau eine Abfrage: camera, input, error oder version";
            return false;
        }
        const std::string& q = positional[0];
        if (q != "camera" && q != "input" && q != "error" && q != "version") {
            error = "unbekannte Abfrage " + q + " (camera, input, error oder version)";
            return false;
        }
        o.m_sQuery = q;
        return true;
    }
    if (cmd == "channel") {
        if (positional.size() != 1) {
            error = "channel braucht genau eine Kanalnummer (1..8)";
            return false;
        }
        if (!ParseNumber(positional[0], 1, 8, o.m_iKanal)) {
            error = "ungültiger Kanal " + positional[0] + " (1..8)";
            return false;
        }
        return true;
    }
    if (cmd == "ports")
        return CheckPorts(o, positional, error);
    if (!positional.empty()) {
        error = "überzähliges Argument " + positional[0] + " für " + cmd;
        return false;
    }
    if (cmd == "capture")
        return CheckCapture(o, error);
    return cmd != "fetch" || CheckFetch(o, error);
}

}  // namespace

std::string CliHelp(const std::string& command) {
    if (command.empty())
        return kProgramHelp;
    for (const CCommandHelp& h : kCommandHelp)
        if (command == h.m_pName)
            return h.m_pText;
    return {};
}

ECliParse ParseCli(int argc, char** argv, CCliOptions& o, std::string& error) {
    o = CCliOptions{};
    CArgs args(argc, argv);
    while (!args.AtEnd() && args.Peek().size() > 1 && args.Peek()[0] == '-') {
        const std::string opt = args.Next();
        if (opt == "--help" || opt == "-h") {
            o.m_bHelp = true;
            return ECliParse::Help;
        }
        if (opt == "--version") {
            if (!args.HasInlineValue())
                return ECliParse::Version;
            error = opt + " nimmt keinen Wert";
            return ECliParse::UsageError;
        }
        if (!ParseGlobal(args, opt, o, error))
            return ECliParse::UsageError;
        const bool takesValue =
            opt == "--device" || opt == "--com" || opt == "--baud" || opt == "--handshake";
        if (!takesValue && args.HasInlineValue()) {
            error = opt + " nimmt keinen Wert";
            return ECliParse::UsageError;
        }
    }
    if (!o.m_sDevice.empty() && o.m_iCom != 0) {
        error = "--device und --com schließen einander aus";
        return ECliParse::UsageError;
    }
    if (o.m_bDemo && (!o.m_sDevice.empty() || o.m_iCom != 0)) {
        error = "--demo schließt --device und --com aus";
        return ECliParse::UsageError;
    }
    if (args.AtEnd()) {
        error = "kein Befehl angegeben";
        return ECliParse::UsageError;
    }
    o.m_sCommand = args.Next();
    if (CliHelp(o.m_sCommand).empty()) {
        error = "unbekannter Befehl " + o.m_sCommand;
        return ECliParse::UsageError;
    }
    if (!ParseCommandArgs(args, o, error))
        return ECliParse::UsageError;
    // ports reads what the port numbers stand for and opens no line.
    if (o.m_sCommand == "ports" && !o.m_bHelp &&
        (!o.m_sDevice.empty() || o.m_iCom != 0 || o.m_bDemo)) {
        error = "ports nimmt kein --device, --com oder --demo";
        return ECliParse::UsageError;
    }
    return o.m_bHelp ? ECliParse::Help : ECliParse::Run;
}
