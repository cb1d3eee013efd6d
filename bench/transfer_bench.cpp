// Whole image fetches over a real pseudo-terminal: the application object on the
// QSerialPort back end against the simulated module served in real time, paced at a baud
// rate or unpaced. Prints the wall time of each fetch, the time the module's bytes take on
// the line at that rate, their ratio (what the host side, the pseudo-terminal and the
// block-by-block handshake add), the throughput of unpaced fetches and the peak memory.
// It prints figures only: a fetch that fails is reported and the run goes on.
//
//   pixlane-bench-transfer [--reps N]   (N fetches per case; default 1 at 115200 baud, 3
//                                        otherwise)

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

namespace {

constexpr int kPort = 9;
constexpr const char* kPortVariable = "PIXLANE_COM9";

struct CFormat {
    const char* m_sName;
    int m_nWidth;
    int m_nHeight;
    int m_nBlocks;
};

constexpr CFormat kFormats[] = {{"180x144 grey", 180, 144, 144}, {"360x288 grey", 360, 288, 576}};

uint64_t ModuleBytes(const CFormat& f) {
    return bench::ModuleBytes(f.m_nBlocks);
}

using bench::CpuSeconds;
using bench::Median;
using bench::WrongPixels;

struct CResult {
    std::vector<double> m_wall;  // seconds per successful fetch
    double m_dCpu = 0;           // process CPU seconds per fetch (both threads)
    int m_nFailed = 0;
    int m_nWrongPixels = 0;
};

bool RunCase(uint32_t baud, const CFormat& f, int reps, CResult& out) {
    CModuleSim module;
    module.SetPacing(baud, 0);
    CPtySimServer server;
    if (!bench::ServeOnPty(server, module, kPortVariable))
        return false;
    bool opened = false;
    {
        CPixlaneApp app;
        app.m_iCom = kPort;
        app.m_iBaudrate = 115200;
        app.m_iBildbreite = f.m_nWidth;
        app.m_iBildhoehe = f.m_nHeight;
        opened = app.OpenConfiguredPort();
        if (opened) {
            const double cpu0 = CpuSeconds();
            for (int r = 0; r < reps; ++r) {
                const auto t0 = std::chrono::steady_clock::now();
                const bool ok = app.FetchImage();
                const auto t1 = std::chrono::steady_clock::now();
                if (!ok) {
                    ++out.m_nFailed;
                    continue;
                }
                out.m_wall.push_back(std::chrono::duration<double>(t1 - t0).count());
                server.WithPeer(
                    [&] { out.m_nWrongPixels += WrongPixels(app.m_image, module.LastPicture()); });
            }
            out.m_dCpu = (CpuSeconds() - cpu0) / reps;
        } else {
            std::printf("  cannot open %s\n", qgetenv(kPortVariable).constData());
        }
        app.ExitInstance();
    }
    server.Stop();
    qunsetenv(kPortVariable);
    return opened;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication qapp(argc, argv);
    int reps = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--reps") == 0 && i + 1 < argc)
            reps = std::max(1, std::atoi(argv[++i]));
    }

    std::printf("Whole fetches over a pseudo-terminal, QSerialPort back end, 180-byte blocks\n");
    std::printf("%-8s %-13s %5s %7s %9s %9s %9s %8s %8s %s\n", "baud", "format", "fetch", "blocks",
                "bytes", "wall s", "line s", "ratio", "cpu s", "pixels");
    for (uint32_t baud : {115200u, 921600u, 0u}) {
        const int n = reps > 0 ? reps : (baud == 115200 ? 1 : 3);
        for (const CFormat& f : kFormats) {
            CResult r;
            if (!RunCase(baud, f, n, r))
                continue;
            const uint64_t bytes = ModuleBytes(f);
            const double wall = r.m_wall.empty() ? 0 : Median(r.m_wall);
            const char* check = r.m_nWrongPixels == 0 ? "ok" : "WRONG";
            char baudText[16];
            std::snprintf(baudText, sizeof baudText, "%u", baud);
            if (baud == 0)
                std::snprintf(baudText, sizeof baudText, "unpaced");
            if (r.m_wall.empty()) {
                std::printf("%-8s %-13s  all %d fetches failed\n", baudText, f.m_sName, n);
                continue;
            }
            if (baud != 0) {
                const double line = double(bytes) * 10.0 / baud;
                std::printf("%-8s %-13s %2zu/%-2d %7d %9llu %9.3f %9.3f %8.2f %8.3f %s\n", baudText,
                            f.m_sName, r.m_wall.size(), n, f.m_nBlocks,
                            static_cast<unsigned long long>(bytes), wall, line, wall / line,
                            r.m_dCpu, check);
            } else {
                std::printf("%-8s %-13s %2zu/%-2d %7d %9llu %9.3f %9s %8s %8.3f %s\n", baudText,
                            f.m_sName, r.m_wall.size(), n, f.m_nBlocks,
                            static_cast<unsigned long long>(bytes), wall, "-", "-", r.m_dCpu,
                            check);
                const double pixels = double(f.m_nWidth) * f.m_nHeight;
                std::printf("%-8s %-13s   throughput %.0f bytes/s, %.0f pixels/s, %.0f blocks/s\n",
                            "", f.m_sName, double(bytes) / wall, pixels / wall, f.m_nBlocks / wall);
            }
        }
    }
    rusage ru{};
    ::getrusage(RUSAGE_SELF, &ru);
    std::printf("peak RSS %ld KiB\n", ru.ru_maxrss);
    std::printf(
        "wall is the median and cpu the mean per fetch; line = module bytes x 10 bits / baud;\n"
        "ratio = wall / line (1.00 = the line is the only cost)\n");
    return 0;
}
