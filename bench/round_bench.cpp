// Whole capture rounds over a real pseudo-terminal: the application object on the
// QSerialPort back end dials the simulated modem in front of the simulated module, both
// served in real time and paced like a 115200-baud line, sends the picture parameters,
// fetches each channel's 180x144 grey picture, keeps it and hangs up. Each round runs with
// one channel and with four, at pixlane-cli's pace (unattended, the modem's answers taken
// as they arrive) and at the window's (its capture timer: one character per 250 ms).
//
// Prints each round's wall time against its floor: the modem's dial delay, the pause
// after CONNECT, the line time (10 bits a byte) of every byte either side wrote (commands,
// frames, answers, blocks, the hang-up) and nothing else. Figures only: a round that fails
// is reported and the run goes on.
//
//   pixlane-bench-round [--reps N]   (N rounds per case, default 1)

#include <QCoreApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/PixlaneApp.h"
#include "bench/BenchSupport.h"
#include "capture/Capture.h"
#include "capture/CaptureRound.h"
#include "link/ComPort.h"
#include "sim/ModemSim.h"
#include "sim/ModuleSim.h"
#include "sim/PtySimServer.h"

namespace {

constexpr int kPort = 9;
constexpr const char* kPortVariable = "PIXLANE_COM9";
constexpr uint32_t kBaud = 115200;
constexpr double kSettleSeconds = 2.0;  // the dialler's pause after CONNECT

// The modem, with a count of every byte the host wrote to it (and through it).
class CCountingModem : public CSimPeer {
  public:
    explicit CCountingModem(CModemSim& modem) : m_modem(modem) {}
    void OnHostBytes(const uint8_t* data, size_t n, uint64_t nowUs,
                     std::vector<CTimedByte>& out) override {
        m_nHostBytes += n;
        m_modem.OnHostBytes(data, n, nowUs, out);
    }
    void OnDataTerminalReady(bool on, uint64_t nowUs, std::vector<CTimedByte>& out) override {
        m_modem.OnDataTerminalReady(on, nowUs, out);
    }
    uint64_t m_nHostBytes = 0;

  private:
    CModemSim& m_modem;
};

struct CRoundFigures {
    double m_dWall = 0;
    double m_dFloor = 0;
    double m_dDial = 0;
    double m_dOffHook = 0;
    int m_nOk = 0;
    int m_nFailed = 0;
};

// The journal's round line: the dial and off-hook seconds it gives.
void ReadRoundLine(const QString& journal, CRoundFigures& f) {
    QFile file(journal);
    if (!file.open(QIODevice::ReadOnly))
        return;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (!line.contains("\"event\":\"round\""))
            continue;
        const auto number = [&line](const char* key) {
            const QByteArray k = QByteArray("\"") + key + "\":";
            const qsizetype at = line.indexOf(k);
            return at < 0 ? 0.0 : std::atof(line.constData() + at + k.size());
        };
        f.m_dDial = number("dial_seconds");
        f.m_dOffHook = number("offhook_seconds");
    }
}

bool RunRound(bool cliPace, int channels, CRoundFigures& f) {
    CModuleSim module;
    module.SetPacing(kBaud, 0);
    CModemSim modem(module);
    CCountingModem counting(modem);
    CPtySimServer server;
    if (!bench::ServeOnPty(server, counting, kPortVariable))
        return false;
    QTemporaryDir dir;
    CPictureKeeper keeper;
    keeper.m_sPattern = dir.filePath("k{channel}-{seq}.bmp").toStdString();
    keeper.m_sJournal = dir.filePath("journal.jsonl").toStdString();
    bool ran = false;
    {
        CPixlaneApp app;
        app.m_iCom = kPort;
        app.m_iBaudrate = static_cast<int>(kBaud);
        app.m_iBildbreite = 180;
        app.m_iBildhoehe = 144;
        app.m_eModemPace = cliPace ? EModemPace::kAsArrived : EModemPace::kPolled;
        if (app.OpenConfiguredPort()) {
            CCapturePlan plan;
            plan.m_line = app.Target().m_line;
            plan.m_request = app.Target().m_request;
            for (int c = 1; c <= channels; ++c)
                plan.m_channels.push_back(c);
            plan.m_bUnattended = cliPace;
            plan.m_pKeeper = &keeper;
            const uint64_t received = app.Line().BytesReceived();
            const auto t0 = std::chrono::steady_clock::now();
            const CCaptureOutcome out = CCaptureRound(app, plan).Run();
            const auto t1 = std::chrono::steady_clock::now();
            f.m_dWall = std::chrono::duration<double>(t1 - t0).count();
            f.m_nOk = out.m_nSaved;
            f.m_nFailed = out.m_nFailed;
            uint64_t sent = 0;
            server.WithPeer([&] { sent = counting.m_nHostBytes; });
            const uint64_t bytes = sent + app.Line().BytesReceived() - received;
            f.m_dFloor = modem.m_nDialDelayMs / 1000.0 + kSettleSeconds +
                         static_cast<double>(bytes) * 10.0 / kBaud;
            ReadRoundLine(dir.filePath("journal.jsonl"), f);
            ran = true;
        } else {
            std::printf("  cannot open %s\n", qgetenv(kPortVariable).constData());
        }
        app.ExitInstance();
    }
    server.Stop();
    qunsetenv(kPortVariable);
    return ran;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication qapp(argc, argv);
    int reps = 1;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--reps") == 0 && i + 1 < argc)
            reps = std::max(1, std::atoi(argv[++i]));

    std::printf(
        "Capture rounds through the simulated modem over a pseudo-terminal, %u baud,\n"
        "180x144 grey pictures\n",
        kBaud);
    std::printf("%-12s %8s %4s %9s %9s %7s %9s %9s %s\n", "pace", "channels", "rep", "wall s",
                "floor s", "ratio", "dial s", "offhook s", "pictures");
    for (const bool cliPace : {true, false}) {
        for (const int channels : {1, 4}) {
            for (int r = 1; r <= reps; ++r) {
                CRoundFigures f;
                if (!RunRound(cliPace, channels, f))
                    continue;
                std::printf("%-12s %8d %4d %9.3f %9.3f %7.3f %9.3f %9.3f %d ok, %d failed\n",
                            cliPace ? "pixlane-cli" : "window", channels, r, f.m_dWall, f.m_dFloor,
                            f.m_dWall / f.m_dFloor, f.m_dDial, f.m_dOffHook, f.m_nOk, f.m_nFailed);
                std::fflush(stdout);
            }
        }
    }
    std::printf(
        "floor = the modem's dial delay + the %.0f s pause after CONNECT + (bytes written by\n"
        "either side) x 10 bits / baud; ratio = wall / floor; dial and offhook from the\n"
        "round's journal line\n",
        kSettleSeconds);
    return 0;
}
