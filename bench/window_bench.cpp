// The window's fetch against pixlane-cli's fetch on the same line, side by side in one run:
// one application object on the QSerialPort back end, the simulated module served on a
// pseudo-terminal in real time and paced at the baud rate, and two user interfaces taking
// turns fetch by fetch: the real main window (shown, under the offscreen platform unless a
// display is set) and the console user interface of pixlane-cli drawing its progress line
// as on a terminal. Prints, per baud rate, the median, fastest and slowest fetch of each,
// their ratio to the line time, the median CPU time of a fetch (both threads), and the window's
// time over the console's (the ratio of the medians, of the fastest fetches, and the median and
// spread of the ratios of neighbouring fetches). Figures only: a fetch that fails is reported and
// the run goes on.
//
//   pixlane-bench-window [--reps N] [--baud B]...   (N fetch pairs per rate; default 5 at
//                                                   921600 baud, 2 at 115200)

#include <QApplication>
#include <QGuiApplication>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "app/PixlaneApp.h"
#include "bench/BenchSupport.h"
#include "cli/ConsoleUi.h"
#include "link/ComPort.h"
#include "sim/ModuleSim.h"
#include "sim/PtySimServer.h"
#include "ui/MainFrame.h"

namespace {

constexpr int kPort = 9;
constexpr const char* kPortVariable = "PIXLANE_COM9";
constexpr int kWidth = 360;
constexpr int kHeight = 288;
constexpr int kBlocks = 576;

struct CSide {
    const char* m_sName;
    CAppUi* m_pUi;
    std::vector<double> m_wall;
    std::vector<double> m_cpu;  // process CPU seconds (both threads) per fetch
    int m_nFailed = 0;
    int m_nWrongPixels = 0;
};

// Lets the window handle what is waiting (the repaint after a fetch, exposure).
void Settle(int rounds) {
    for (int i = 0; i < rounds; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

bool Fetch(CPixlaneApp& app, CPtySimServer& server, CModuleSim& module, CSide& side) {
    app.SetUi(side.m_pUi);
    const double cpu0 = bench::CpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    const bool ok = app.FetchImage();
    const auto t1 = std::chrono::steady_clock::now();
    side.m_cpu.push_back(bench::CpuSeconds() - cpu0);
    if (!ok) {
        ++side.m_nFailed;
        return false;
    }
    side.m_wall.push_back(std::chrono::duration<double>(t1 - t0).count());
    server.WithPeer(
        [&] { side.m_nWrongPixels += bench::WrongPixels(app.m_image, module.LastPicture()); });
    return true;
}

void PrintSide(const CSide& s, double line) {
    if (s.m_wall.empty()) {
        std::printf("  %-8s all fetches failed\n", s.m_sName);
        return;
    }
    const auto [lo, hi] = std::minmax_element(s.m_wall.begin(), s.m_wall.end());
    const double median = bench::Median(s.m_wall);
    std::printf(
        "  %-8s %2zu ok %2d failed  median %7.3f s (%.3f x line)  fastest %7.3f  "
        "slowest %7.3f  cpu %.3f s  pixels %s\n",
        s.m_sName, s.m_wall.size(), s.m_nFailed, median, median / line, *lo, *hi,
        bench::Median(s.m_cpu), s.m_nWrongPixels == 0 ? "ok" : "WRONG");
}

void RunRate(uint32_t baud, int reps, CPixlaneApp& app, CMainFrame& frame, CConsoleUi& console) {
    CModuleSim module;
    module.SetPacing(baud, 0);
    CPtySimServer server;
    if (!bench::ServeOnPty(server, module, kPortVariable))
        return;
    CSide window{"window", &frame, {}, {}};
    CSide cli{"cli", &console, {}, {}};
    std::vector<double> pairRatios;
    if (app.OpenConfiguredPort()) {
        for (int r = 0; r < reps; ++r) {
            // The order alternates so that neither side always runs first.
            CSide& first = r % 2 == 0 ? window : cli;
            CSide& second = r % 2 == 0 ? cli : window;
            const bool ok1 = Fetch(app, server, module, first);
            Settle(5);
            const bool ok2 = Fetch(app, server, module, second);
            console.Finish();
            Settle(5);
            if (ok1 && ok2)
                pairRatios.push_back(window.m_wall.back() / cli.m_wall.back());
        }
    } else {
        std::printf("%u baud: cannot open %s\n", baud, qgetenv(kPortVariable).constData());
    }
    app.SetUi(nullptr);
    CComPort(app.Line()).Open(0);
    server.Stop();
    qunsetenv(kPortVariable);

    const double line = double(bench::ModuleBytes(kBlocks)) * 10.0 / baud;
    std::printf("%u baud, %dx%d grey, %d blocks, line %.3f s\n", baud, kWidth, kHeight, kBlocks,
                line);
    PrintSide(window, line);
    PrintSide(cli, line);
    if (!window.m_wall.empty() && !cli.m_wall.empty()) {
        const double ratio = bench::Median(window.m_wall) / bench::Median(cli.m_wall);
        const double fastest = *std::min_element(window.m_wall.begin(), window.m_wall.end()) /
                               *std::min_element(cli.m_wall.begin(), cli.m_wall.end());
        std::printf("  window / cli = %.3f (medians), %.3f (fastest)", ratio, fastest);
        if (!pairRatios.empty()) {
            const auto [lo, hi] = std::minmax_element(pairRatios.begin(), pairRatios.end());
            std::printf(", pairs median %.3f, %.3f .. %.3f over %zu", bench::Median(pairRatios),
                        *lo, *hi, pairRatios.size());
        }
        std::printf("\n");
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);
    int reps = 0;
    std::vector<uint32_t> rates;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--reps") == 0 && i + 1 < argc)
            reps = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--baud") == 0 && i + 1 < argc)
            rates.push_back(static_cast<uint32_t>(std::max(1, std::atoi(argv[++i]))));
    }
    if (rates.empty())
        rates = {921600, 115200};

    std::printf(
        "The window's fetch against pixlane-cli's on one pseudo-terminal line "
        "(platform %s)\n",
        QGuiApplication::platformName().toLocal8Bit().constData());
    CPixlaneApp app;
    app.m_iCom = kPort;
    app.m_iBaudrate = 115200;
    app.m_iBildbreite = kWidth;
    app.m_iBildhoehe = kHeight;
    app.m_iMonochrom = 0;
    app.m_iModus = 3;
    CMainFrame frame(app);
    frame.show();
    for (int i = 0; i < 200 && !(frame.windowHandle() && frame.windowHandle()->isExposed()); ++i)
        Settle(1);
    std::ofstream null("/dev/null");
    CConsoleUi console(null, false, true);
    for (uint32_t baud : rates)
        RunRate(baud, reps > 0 ? reps : (baud >= 460800 ? 5 : 2), app, frame, console);
    std::printf(
        "line = module bytes x 10 bits / baud; the console draws its progress line as on a\n"
        "terminal (into /dev/null)\n");
    app.ExitInstance();
    return 0;
}
