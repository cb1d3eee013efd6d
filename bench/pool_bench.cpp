// A pool of lines against one line: pixlane-cli capture --sites all --lines ... over 1, 2
// and 4 real pseudo-terminals, each with the simulated modem (its dial time set) in front
// of the simulated module, paced like a 115200-baud line, and three times as many sites of
// one channel each as lines. Prints each run's wall time, its sites per hour, and that
// against one line's: the pool's goal is M lines serving at least 0.9 x M times the sites
// of one line. Figures only: a run that fails is reported and the others go on.
//
//   pixlane-bench-pool [--dial MS[,MS...]] [--lines N[,N...]]   (default 2000,20000 and 1,2,4)

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "sim/ModemSim.h"
#include "sim/ModuleSim.h"
#include "sim/PtySimServer.h"

namespace {

constexpr uint32_t kBaud = 115200;
constexpr int kSitesPerLine = 3;

struct CBenchLine {
    CModuleSim m_module;
    CModemSim m_modem{m_module};
    CPtySimServer m_server;
    std::string m_sDevice;
};

std::vector<int> Numbers(const char* text) {
    std::vector<int> numbers;
    for (const char* p = text; *p != '\0';) {
        char* end = nullptr;
        numbers.push_back(static_cast<int>(std::strtol(p, &end, 10)));
        p = *end == ',' ? end + 1 : end;
        if (end == p && *end != '\0')
            break;
    }
    return numbers;
}

// Seconds the run took, or a negative number when it failed.
double RunPool(int lines, int dialMs) {
    QTemporaryDir dir;
    std::vector<std::unique_ptr<CBenchLine>> pool;
    QStringList devices;
    for (int i = 0; i < lines; ++i) {
        auto line = std::make_unique<CBenchLine>();
        line->m_module.SetPacing(kBaud, 0);
        line->m_modem.m_nDialDelayMs = static_cast<uint32_t>(dialMs);
        std::string error;
        if (!line->m_server.Start(line->m_modem, line->m_sDevice, &error)) {
            std::fprintf(stderr, "pseudo-terminal: %s\n", error.c_str());
            return -1;
        }
        devices << QString::fromStdString(line->m_sDevice);
        pool.push_back(std::move(line));
    }
    const QString config = dir.filePath("config");
    QDir().mkpath(config + "/Kelvorn");
    QFile book(config + "/Kelvorn/pixlane-sites.ini");
    if (!book.open(QIODevice::WriteOnly))
        return -1;
    for (int s = 0; s < kSitesPerLine * lines; ++s)
        book.write(QStringLiteral("[s%1]\nnumber=0%1\nchannels=1\nfolder=%2/s%1\n\n")
                       .arg(s)
                       .arg(dir.path())
                       .toUtf8());
    book.close();
    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", dir.path());
    env.insert("XDG_CONFIG_HOME", config);
    cli.setProcessEnvironment(env);
    cli.setProcessChannelMode(QProcess::MergedChannels);
    const auto start = std::chrono::steady_clock::now();
    cli.start(PIXLANE_CLI_EXE,
              {"--quiet", "capture", "--sites", "all", "--lines", devices.join(',')});
    if (!cli.waitForFinished(30 * 60 * 1000) || cli.exitCode() != 0) {
        std::fprintf(stderr, "run of %d lines failed: %s\n", lines,
                     cli.readAll().toStdString().c_str());
        return -1;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (auto& line : pool)
        line->m_server.Stop();
    return seconds;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::vector<int> dials{2000, 20000}, lines{1, 2, 4};
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--dial") == 0)
            dials = Numbers(argv[i + 1]);
        else if (std::strcmp(argv[i], "--lines") == 0)
            lines = Numbers(argv[i + 1]);
    }
    std::printf("%-8s %-6s %-6s %-10s %-12s %s\n", "dial_ms", "lines", "sites", "seconds",
                "sites/hour", "vs one line");
    for (int dial : dials) {
        double one = 0;
        for (int m : lines) {
            const double seconds = RunPool(m, dial);
            if (seconds < 0) {
                std::printf("%-8d %-6d %-6d failed\n", dial, m, kSitesPerLine * m);
                continue;
            }
            const double perHour = kSitesPerLine * m * 3600.0 / seconds;
            if (m == 1)
                one = perHour;
            std::printf("%-8d %-6d %-6d %-10.1f %-12.0f %s\n", dial, m, kSitesPerLine * m, seconds,
                        perHour,
                        one > 0 ? (std::to_string(perHour / one).substr(0, 4) + " x (goal " +
                                   std::to_string(0.9 * m).substr(0, 3) + ")")
                                      .c_str()
                                : "-");
            std::fflush(stdout);
        }
    }
    return 0;
}
