// pixlane-sim: the simulated grabber module (and modem) on a pseudo-terminal.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>

#include "PixlaneVersion.h"
#include "sim/ModemSim.h"
#include "sim/ModuleSim.h"
#include "sim/PtySimServer.h"
#include "sim/SimFault.h"
#include "sim/TestPicture.h"

namespace {

volatile sig_atomic_t g_bStop = 0;

void OnSignal(int) {
    g_bStop = 1;
}

void Usage(FILE* to) {
    std::fprintf(
        to,
        "usage: pixlane-sim [options]\n"
        "Serves a simulated camera grabber module on a pseudo-terminal, prints the device\n"
        "path on standard output and logs the frames it receives on standard error. Runs\n"
        "until interrupted (SIGINT or SIGTERM).\n\n"
        "  --link PATH          also make PATH a symbolic link to the device\n"
        "  --baud N             pace the answers at N baud, 10 bits a byte (default 115200;\n"
        "                       0 sends every answer at once)\n"
        "  --latency MS         delay before every answer (default 0)\n"
        "  --modem              put a Hayes modem in front of the module\n"
        "  --dial-delay MS      time from the dial command to its result (default 2000)\n"
        "  --dial-result R      connect, busy, nocarrier, nodialtone, noanswer or never\n"
        "                       (default connect)\n"
        "  --camera XX          camera status, two characters (default 03)\n"
        "  --input XX           input status, two characters (default 00)\n"
        "  --error XX           error status, two characters (default 00)\n"
        "  --module-version VVVVV\n"
        "                       the module's software version, five characters (default\n"
        "                       02031); --version VVVVV says the same\n"
        "  --channels LIST      channels with a camera, e.g. 1,2,5 (default 1-8)\n"
        "  --size WxH           picture size when no P frame set it (default: from request)\n"
        "  --escape-picture     serve a 180x144 picture full of 0xFF bytes whose every\n"
        "                       check byte is 0xFF too, for lines that escape 0xFF\n"
        "  --picture FILE.bmp   serve this 8-bit or 24-bit BMP (scaled) instead of the\n"
        "                       built-in test picture\n"
        "  --scene SCENE        what the camera shows: normal (the test picture, new on\n"
        "                       every request), dark (the same at an eighth of its\n"
        "                       brightness, without colour), uniform (one grey, as without\n"
        "                       video signal) or repeated (the same frame on every request)\n"
        "                       (default normal)\n"
        "  --fault FAULT        inject a fault; may be repeated. FAULT is one of\n"
        "%s"
        "  --quiet              do not log frames\n"
        "  --help               show this text\n"
        "  --version            print the version\n",
        SimFaultHelp());
}

bool ParseUnsigned(const char* s, unsigned long max, unsigned long& v) {
    if (s == nullptr || *s == '\0')
        return false;
    char* end = nullptr;
    errno = 0;
    v = std::strtoul(s, &end, 10);
    return errno == 0 && *end == '\0' && v <= max && s[0] != '-';
}

bool ParseChannels(const std::string& text, std::set<int>& channels) {
    channels.clear();
    std::stringstream ss(text);
    std::string item;
    while (std::getline(ss, item, ',')) {
        unsigned long v = 0;
        if (!ParseUnsigned(item.c_str(), 9, v))
            return false;
        channels.insert(static_cast<int>(v));
    }
    return !channels.empty();
}

std::string Printable(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    CModuleSim module;
    CModemSim modem(module);
    bool bModem = false;
    bool bQuiet = false;
    unsigned long baud = 115200;
    unsigned long latency = 0;
    std::string linkPath;

    auto need = [&](int& i) -> const char* {
        if (i + 1 >= argc) {
            std::fprintf(stderr, "pixlane-sim: %s needs a value\n", argv[i]);
            std::exit(2);
        }
        return argv[++i];
    };
    auto bad = [](const char* opt, const char* value) {
        std::fprintf(stderr, "pixlane-sim: bad value for %s: %s\n", opt, value);
        std::exit(2);
    };
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            Usage(stdout);
            return 0;
        } else if (a == "--version" && (i + 1 >= argc || argv[i + 1][0] == '-')) {
            // Without a value: this program's version; with one: the module's, as before.
            std::printf("pixlane-sim %s\n", kPixlaneVersion);
            return 0;
        } else if (a == "--link") {
            linkPath = need(i);
        } else if (a == "--baud") {
            const char* v = need(i);
            if (!ParseUnsigned(v, 4000000, baud))
                bad("--baud", v);
        } else if (a == "--latency") {
            const char* v = need(i);
            if (!ParseUnsigned(v, 600000, latency))
                bad("--latency", v);
        } else if (a == "--modem") {
            bModem = true;
        } else if (a == "--dial-delay") {
            const char* v = need(i);
            unsigned long ms = 0;
            if (!ParseUnsigned(v, 3600000, ms))
                bad("--dial-delay", v);
            modem.m_nDialDelayMs = static_cast<uint32_t>(ms);
        } else if (a == "--dial-result") {
            const std::string v = need(i);
            if (v == "connect")
                modem.m_eDialResult = EDialResult::Connect;
            else if (v == "busy")
                modem.m_eDialResult = EDialResult::Busy;
            else if (v == "nocarrier")
                modem.m_eDialResult = EDialResult::NoCarrier;
            else if (v == "nodialtone")
                modem.m_eDialResult = EDialResult::NoDialtone;
            else if (v == "noanswer")
                modem.m_eDialResult = EDialResult::NoAnswer;
            else if (v == "never")
                modem.m_eDialResult = EDialResult::Never;
            else
                bad("--dial-result", v.c_str());
        } else if (a == "--camera" || a == "--input" || a == "--error" || a == "--version" ||
                   a == "--module-version") {
            const std::string v = need(i);
            const size_t len = a == "--camera" || a == "--input" || a == "--error" ? 2 : 5;
            if (v.size() != len)
                bad(a.c_str(), v.c_str());
            if (a == "--camera")
                module.m_status.m_sCamera = v;
            else if (a == "--input")
                module.m_status.m_sInput = v;
            else if (a == "--error")
                module.m_status.m_sError = v;
            else
                module.m_status.m_sVersion = v;
        } else if (a == "--channels") {
            const char* v = need(i);
            if (!ParseChannels(v, module.m_channels))
                bad("--channels", v);
        } else if (a == "--size") {
            const char* v = need(i);
            int w = 0;
            int h = 0;
            char x = 0;
            std::stringstream ss(v);
            if (!(ss >> w >> x >> h) || x != 'x' || w <= 0 || h <= 0 || w > 4096 || h > 4096)
                bad("--size", v);
            module.m_nWidth = w;
            module.m_nHeight = h;
        } else if (a == "--escape-picture") {
            module.SetPicture(MakeEscapePicture(180, 144));
        } else if (a == "--picture") {
            const char* v = need(i);
            CGreyPicture pic;
            std::string error;
            if (!LoadBmp(v, pic, &error)) {
                std::fprintf(stderr, "pixlane-sim: %s: %s\n", v, error.c_str());
                return 2;
            }
            module.SetPicture(pic);
        } else if (a == "--scene") {
            const char* v = need(i);
            ESimScene scene = ESimScene::Normal;
            if (!ParseSimScene(v, scene))
                bad("--scene", v);
            module.SetScene(scene);
        } else if (a == "--fault") {
            const char* v = need(i);
            CSimFault fault;
            std::string error;
            if (!ParseSimFault(v, fault, &error)) {
                std::fprintf(stderr, "pixlane-sim: %s\n", error.c_str());
                return 2;
            }
            if (IsModemFault(fault.m_eKind))
                modem.AddFault(fault);
            else
                module.AddFault(fault);
        } else if (a == "--quiet") {
            bQuiet = true;
        } else {
            std::fprintf(stderr, "pixlane-sim: unknown option %s (try --help)\n", a.c_str());
            return 2;
        }
    }
    module.SetPacing(static_cast<uint32_t>(baud), static_cast<uint32_t>(latency));
    if (!bQuiet) {
        module.m_onFrame = [](const std::string& frame, bool answered) {
            std::fprintf(stderr, "frame %s%s\n", Printable(frame).c_str(),
                         answered ? "" : "  (ignored)");
        };
        modem.m_onLog = [](const std::string& text) {
            std::fprintf(stderr, "modem %s\n", Printable(text).c_str());
        };
    }

    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    CPtySimServer server;
    server.m_sLinkPath = linkPath;
    std::string device;
    std::string error;
    CSimPeer& peer = bModem ? static_cast<CSimPeer&>(modem) : static_cast<CSimPeer&>(module);
    if (!server.Start(peer, device, &error)) {
        std::fprintf(stderr, "pixlane-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", device.c_str());
    std::fflush(stdout);
    if (!bQuiet)
        std::fprintf(stderr, "pixlane-sim: serving on %s%s%s\n", device.c_str(),
                     linkPath.empty() ? "" : ", link ", linkPath.c_str());
    while (!g_bStop)
        ::pause();
    server.Stop();
    return 0;
}
