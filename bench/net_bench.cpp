// The same whole fetch three ways, side by side in one run: over the simulated module's
// pseudo-terminal directly, and through ser2net on 127.0.0.1 serving that pseudo-terminal
// in RFC 2217 mode and plainly. The module is paced at 115200 baud. Prints the median
// wall time of a fetch (the line open already), the time the module's bytes take on the
// line, each case against that line time and against the direct fetch, and whether every
// pixel arrived. ser2net runs once with its own defaults, which hold back what comes from
// the serial line for two character times (at least 1 ms) before sending it on, and once
// with that hold-back off ("chardelay: false"), as a device server set to forward at once
// would. --server-option adds a line to the options of every ser2net run (may be
// repeated). It prints figures only: a case that cannot run is reported and the run goes
// on.
//
//   pixlane-bench-net [--reps N] [--server-option TEXT]...   (N fetches per case; default 5)

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/PixlaneApp.h"
#include "bench/BenchSupport.h"
#include "link/ComPort.h"
#include "sim/ModuleSim.h"
#include "sim/PtySimServer.h"
#include "support/DeviceServer.h"

namespace {

constexpr uint32_t kBaud = 115200;
constexpr int kBlocks = 144;  // 180 x 144 grey

struct CCase {
    const char* m_pName;
    bool m_bNetwork;
    CDeviceServer::EMode m_eMode;
    const char* m_pOption;  // a further line of ser2net's options, or empty
};

struct CResult {
    std::vector<double> m_wall;
    int m_nFailed = 0;
    int m_nWrongPixels = 0;
    double m_dOpen = 0;
};

bool RunCase(const CCase& c, int reps, const std::string& options, CResult& out) {
    CModuleSim module;
    module.SetPacing(kBaud, 0);
    CPtySimServer pty;
    std::string device;
    std::string error;
    if (!pty.Start(module, device, &error)) {
        std::printf("  %-10s pseudo-terminal: %s\n", c.m_pName, error.c_str());
        return false;
    }
    CDeviceServer server;
    std::string line = device;
    if (c.m_bNetwork) {
        std::string all = options;
        if (*c.m_pOption != '\0')
            all += (all.empty() ? "" : "\n    ") + std::string(c.m_pOption);
        if (!server.Start(device, c.m_eMode, &error, all)) {
            std::printf("  %-10s %s\n", c.m_pName, error.c_str());
            return false;
        }
        line = server.Address();
    }
    CPixlaneApp app;
    app.m_iBaudrate = static_cast<int>(kBaud);
    app.m_iBildbreite = 180;
    app.m_iBildhoehe = 144;
    CTargetLine target = app.Target().m_line;
    target.m_address = CLineAddress::Device(line);
    const auto t0 = std::chrono::steady_clock::now();
    const bool opened = app.OpenPort(target);
    out.m_dOpen = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (!opened) {
        std::printf("  %-10s cannot open %s: %s\n", c.m_pName, line.c_str(),
                    app.Line().OpenProblem().c_str());
        return false;
    }
    for (int r = 0; r < reps; ++r) {
        const auto t1 = std::chrono::steady_clock::now();
        const bool ok = app.FetchImage();
        const auto t2 = std::chrono::steady_clock::now();
        if (!ok) {
            ++out.m_nFailed;
            continue;
        }
        out.m_wall.push_back(std::chrono::duration<double>(t2 - t1).count());
        pty.WithPeer(
            [&] { out.m_nWrongPixels += bench::WrongPixels(app.m_image, module.LastPicture()); });
    }
    CComPort(app.Line()).Open(0);
    server.Stop();
    pty.Stop();
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication qapp(argc, argv);
    int reps = 5;
    std::string options;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--reps") == 0 && i + 1 < argc) {
            reps = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--server-option") == 0 && i + 1 < argc) {
            if (!options.empty())
                options += "\n    ";
            options += argv[++i];
        }
    }
    const CCase cases[] = {
        {"direct", false, CDeviceServer::EMode::kRfc2217, ""},
        {"rfc2217", true, CDeviceServer::EMode::kRfc2217, ""},
        {"tcp", true, CDeviceServer::EMode::kTcp, ""},
        {"rfc2217 nd", true, CDeviceServer::EMode::kRfc2217, "chardelay: false"},
        {"tcp nd", true, CDeviceServer::EMode::kTcp, "chardelay: false"},
    };
    const double lineSeconds = double(bench::ModuleBytes(kBlocks)) * 10.0 / kBaud;
    std::printf("One 180x144 grey fetch (%d blocks), module paced at %u baud, %d fetches a case\n",
                kBlocks, kBaud, reps);
    std::printf("ser2net options: %s; \"nd\": chardelay: false as well\n",
                options.empty() ? "its defaults" : options.c_str());
    std::printf("%-10s %6s %8s %9s %9s %8s %9s %s\n", "line", "fetch", "open s", "wall s", "line s",
                "x line", "x direct", "pixels");
    double direct = 0;
    for (const CCase& c : cases) {
        CResult r;
        if (!RunCase(c, reps, options, r))
            continue;
        if (r.m_wall.empty()) {
            std::printf("%-10s  all %d fetches failed\n", c.m_pName, reps);
            continue;
        }
        const double wall = bench::Median(r.m_wall);
        if (!c.m_bNetwork)
            direct = wall;
        char versus[16] = "-";
        if (direct > 0)
            std::snprintf(versus, sizeof versus, "%.3f", wall / direct);
        std::printf("%-10s %2zu/%-3d %8.3f %9.3f %9.3f %8.3f %9s %s\n", c.m_pName, r.m_wall.size(),
                    reps, r.m_dOpen, wall, lineSeconds, wall / lineSeconds, versus,
                    r.m_nWrongPixels == 0 ? "ok" : "WRONG");
    }
    std::printf(
        "wall is the median per fetch, the line already open; line = module bytes x 10 bits /\n"
        "baud; x line = wall / line; x direct = wall / the direct fetch's wall (goal <= 1.05)\n");
    return 0;
}
