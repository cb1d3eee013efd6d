// Long runs: how memory and descriptors behave over many pictures. Three programs, each
// measured in a process of its own against one pixlane-sim (unpaced, started for the
// part and stopped after it):
//   window  the real main window (offscreen platform unless one is set) running its
//           "Bild Loop (F7)" for N pictures, ended with Escape as a user would;
//   cli     pixlane-cli's capture command in process, "--channels all --every 10s" for
//           N pictures, each written, named on standard output and then removed, with
//           the journal and "--exec /bin/true"; the waits between the rounds are not
//           waited for (the clock moves on instead), so the rounds follow each other;
//   sim     pixlane-sim itself, over N plain fetches of the application object.
// Each prints the resident memory (VmRSS) and open descriptors of the measured process
// at the start, after the first picture, after 1,000 and after N, and the growth per
// picture. Figures only: a failed picture is counted, never a reason to stop.
//
//   pixlane-bench-soak [--pictures N] [--part window|cli|sim]... [--sim PATH]
//                      (N = 10000 by default; every part unless named)

#include <dirent.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "app/Commands.h"
#include "app/PixlaneApp.h"
#include "cli/CliMain.h"
#include "link/Clock.h"
#include "link/ComPort.h"
#include "ui/MainFrame.h"

extern char** environ;

namespace {

constexpr int kPort = 9;
constexpr const char* kPortVariable = "PIXLANE_COM9";
constexpr int kSteadyFrom = 1000;

// The arguments as a program's argv, ending in a null pointer; they must outlive it.
std::vector<char*> Argv(std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    return argv;
}

// ---- what is measured ----

struct CSample {
    long m_nRssKb = -1;
    int m_nFds = -1;
    int m_nThreads = -1;
};

CSample Sample(const std::string& pid) {
    CSample s;
    std::ifstream status("/proc/" + pid + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            s.m_nRssKb = std::atol(line.c_str() + 6);
        else if (line.rfind("Threads:", 0) == 0)
            s.m_nThreads = std::atoi(line.c_str() + 8);
    if (DIR* dir = ::opendir(("/proc/" + pid + "/fd").c_str())) {
        s.m_nFds = 0;
        while (const dirent* e = ::readdir(dir))
            s.m_nFds += e->d_name[0] != '.';
        ::closedir(dir);
        if (pid == "self")
            --s.m_nFds;  // the directory being read
    }
    return s;
}

// The samples of one part, taken as its pictures go by.
class CSoakRecord {
  public:
    CSoakRecord(std::string pid, int pictures) : m_sPid(std::move(pid)), m_nPictures(pictures) {}
    void Start() {
        m_start = Sample(m_sPid);
        m_t0 = std::chrono::steady_clock::now();
    }
    // After each picture; ok says whether it arrived whole.
    void Picture(bool ok) {
        ++m_nDone;
        m_nFailed += !ok;
        if (m_nDone == 1)
            m_first = Sample(m_sPid);
        if (m_nDone == kSteadyFrom)
            m_steady = Sample(m_sPid);
        if (m_nDone == m_nPictures) {
            m_end = Sample(m_sPid);
            m_seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - m_t0).count();
        }
    }
    bool Done() const { return m_nDone >= m_nPictures; }
    void Print(const char* name) const {
        std::printf("%s: %d pictures (%d failed) in %.1f s\n", name, m_nDone, m_nFailed, m_seconds);
        const auto row = [](const char* when, const CSample& s) {
            if (s.m_nRssKb >= 0)
                std::printf("  %-18s RSS %8ld kB  descriptors %4d  threads %2d\n", when, s.m_nRssKb,
                            s.m_nFds, s.m_nThreads);
        };
        row("start", m_start);
        row("after 1", m_first);
        row("after 1000", m_steady);
        row(("after " + std::to_string(m_nPictures)).c_str(), m_end);
        if (m_end.m_nRssKb < 0 || m_first.m_nRssKb < 0)
            return;
        const auto growth = [this](const char* from, const CSample& s, int pictures) {
            if (s.m_nRssKb >= 0 && pictures > 0)
                std::printf("  growth %-6s..%d: %6ld kB, %.3f kB a picture\n", from, m_nPictures,
                            m_end.m_nRssKb - s.m_nRssKb,
                            double(m_end.m_nRssKb - s.m_nRssKb) / pictures);
        };
        growth("start", m_start, m_nPictures);
        growth("1", m_first, m_nPictures - 1);
        growth("1000", m_steady, m_nPictures - kSteadyFrom);
        const int more = m_end.m_nFds - m_first.m_nFds;
        if (more > 0)
            std::printf("  descriptors: %d more than after the first picture\n", more);
        else if (more < 0 && m_end.m_nThreads < m_first.m_nThreads)
            std::printf(
                "  descriptors: %d fewer than after the first picture (%d threads "
                "fewer: idle workers ended)\n",
                -more, m_first.m_nThreads - m_end.m_nThreads);
        else
            std::printf("  descriptors: %d %s than after the first picture\n", -more,
                        more == 0 ? "more" : "fewer");
    }

  private:
    std::string m_sPid;
    int m_nPictures;
    int m_nDone = 0;
    int m_nFailed = 0;
    CSample m_start, m_first, m_steady, m_end;
    std::chrono::steady_clock::time_point m_t0;
    double m_seconds = 0;
};

// The application object on the simulator's line, as the part's settings.
bool OpenPort(CPixlaneApp& app, const char* part) {
    app.m_iCom = kPort;
    app.m_iBaudrate = 115200;
    if (app.OpenConfiguredPort())
        return true;
    std::printf("%s: cannot open %s\n", part, qgetenv(kPortVariable).constData());
    return false;
}

// ---- the window ----

// The real frame; after every cycle of the loop the picture is counted, and after the
// last one Escape is pressed, which ends the loop as it ends a user's.
class CSoakFrame : public CMainFrame {
  public:
    CSoakFrame(CPixlaneApp& app, CSoakRecord& record)
        : CMainFrame(app), m_app(app), m_record(record) {}
    bool PumpEvents() override {
        m_record.Picture(m_app.m_nLastTransfer == kTransferComplete);
        if (m_record.Done()) {
            QCoreApplication::postEvent(
                this, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
            QCoreApplication::postEvent(
                this, new QKeyEvent(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier));
        }
        return CMainFrame::PumpEvents();
    }

  private:
    CPixlaneApp& m_app;
    CSoakRecord& m_record;
};

int RunWindow(int argc, char** argv, int pictures) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);
    CSoakRecord record("self", pictures);
    CPixlaneApp app;
    if (!OpenPort(app, "window"))
        return 1;
    CSoakFrame frame(app, record);
    app.SetUi(&frame);
    frame.show();
    for (int i = 0; i < 200 && !(frame.windowHandle() && frame.windowHandle()->isExposed()); ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    record.Start();
    frame.AccelAction(ID_LOOP_BILD)->trigger();
    app.SetUi(nullptr);
    app.ExitInstance();
    std::printf("(platform %s, %dx%d, mode %d)\n",
                QGuiApplication::platformName().toLocal8Bit().constData(), app.m_iBildbreite,
                app.m_iBildhoehe, app.m_iModus);
    record.Print("window, Bild Loop (F7)");
    return 0;
}

// ---- pixlane-cli capture ----

// The waits between capture rounds pass at once: the clock moves on by what a Sleep
// asks for instead of sleeping. Everything else runs in real time.
class CSkipSleepClock : public CClock {
  public:
    uint32_t GetTickCount() override { return m_system.GetTickCount() + m_nSkippedMs; }
    void Sleep(uint32_t ms) override { m_nSkippedMs += ms; }
    void Spin() override { m_system.Spin(); }

  private:
    CSystemClock m_system;
    uint32_t m_nSkippedMs = 0;
};

// Standard output of the capture: one path a line. Each picture is counted and its file
// removed, so that the run leaves no thousands of files behind.
class CPathSink : public std::streambuf {
  public:
    explicit CPathSink(CSoakRecord& record) : m_record(record) {}

  protected:
    int overflow(int c) override {
        if (c == '\n') {
            std::remove(m_sLine.c_str());
            m_record.Picture(true);
            m_sLine.clear();
        } else if (c != EOF) {
            m_sLine += static_cast<char>(c);
        }
        return c == EOF ? 0 : c;
    }

  private:
    CSoakRecord& m_record;
    std::string m_sLine;
};

int RunCapture(int argc, char** argv, const std::string& device, int pictures) {
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    // The settings are read from an empty folder of the run's own.
    qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toLocal8Bit());
    // Made before the start, as the other parts make theirs; pixlane-cli takes it.
    QCoreApplication qapp(argc, argv);
    CSoakRecord record("self", pictures);
    CSkipSleepClock clock;
    CPathSink sink(record);
    std::ostream out(&sink);
    std::ostringstream err;
    const int rounds = (pictures + 7) / 8;
    const std::string pattern = dir.filePath(QStringLiteral("k{channel}-{seq}.bmp")).toStdString();
    const std::string journal = dir.filePath(QStringLiteral("journal.jsonl")).toStdString();
    const std::string count = std::to_string(rounds);
    std::vector<std::string> args = {
        "pixlane-cli", "--device", device,      "--quiet", "capture", "--local",
        "--channels",  "all",      "--every",   "10s",     "--count", count,
        "-o",          pattern,    "--journal", journal,   "--exec",  "/bin/true"};
    std::vector<char*> cliArgv = Argv(args);
    record.Start();
    const int rc = RunCli(static_cast<int>(args.size()), cliArgv.data(), out, err, false,
                          {&clock, nullptr, {}});
    std::printf("(%d rounds of 8 channels, exit status %d)\n", rounds, rc);
    record.Print("pixlane-cli capture");
    return 0;
}

// ---- pixlane-sim ----

int RunSimFetches(int argc, char** argv, const std::string& simPid, int pictures) {
    QCoreApplication qapp(argc, argv);
    CSoakRecord record(simPid, pictures);
    CPixlaneApp app;
    if (!OpenPort(app, "sim"))
        return 1;
    record.Start();
    while (!record.Done())
        record.Picture(app.FetchImage());
    app.ExitInstance();
    record.Print("pixlane-sim, plain fetches");
    return 0;
}

// ---- the parts, each in a process of its own ----

// Starts pixlane-sim unpaced; its pid, and the device it serves on, or false.
bool StartSim(const std::string& sim, pid_t& pid, std::string& device) {
    int out[2];
    if (::pipe(out) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, out[1]);
    std::vector<std::string> args = {sim, "--baud", "0", "--quiet"};
    std::vector<char*> argv = Argv(args);
    const int rc = ::posix_spawn(&pid, sim.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (rc != 0) {
        ::close(out[0]);
        std::printf("cannot start %s: %s\n", sim.c_str(), std::strerror(rc));
        return false;
    }
    device.clear();
    char c = 0;
    while (::read(out[0], &c, 1) == 1 && c != '\n')
        device += c;
    ::close(out[0]);
    return !device.empty();
}

void StopSim(pid_t pid) {
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
}

void RunPart(const char* self, const std::string& sim, const std::string& part, int pictures) {
    pid_t simPid = 0;
    std::string device;
    if (!StartSim(sim, simPid, device)) {
        std::printf("%s: no simulator\n", part.c_str());
        return;
    }
    ::setenv(kPortVariable, device.c_str(), 1);
    std::vector<std::string> args = {self,
                                     "--run",
                                     part,
                                     "--device",
                                     device,
                                     "--sim-pid",
                                     std::to_string(simPid),
                                     "--pictures",
                                     std::to_string(pictures)};
    std::vector<char*> argv = Argv(args);
    std::fflush(stdout);
    pid_t child = 0;
    if (::posix_spawn(&child, self, nullptr, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        ::waitpid(child, &status, 0);
    }
    StopSim(simPid);
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    int pictures = 10000;
    std::vector<std::string> parts;
    std::string run;
    std::string device;
    std::string simPid;
    std::string sim = PIXLANE_SIM_EXE;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool value = i + 1 < argc;
        if (a == "--pictures" && value)
            pictures = std::max(1, std::atoi(argv[++i]));
        else if (a == "--part" && value)
            parts.push_back(argv[++i]);
        else if (a == "--sim" && value)
            sim = argv[++i];
        else if (a == "--run" && value)
            run = argv[++i];
        else if (a == "--device" && value)
            device = argv[++i];
        else if (a == "--sim-pid" && value)
            simPid = argv[++i];
    }
    if (run == "window")
        return RunWindow(1, argv, pictures);
    if (run == "cli")
        return RunCapture(1, argv, device, pictures);
    if (run == "sim")
        return RunSimFetches(1, argv, simPid, pictures);

    if (parts.empty())
        parts = {"window", "cli", "sim"};
    std::printf("Long runs: %d pictures each, against %s --baud 0\n\n", pictures, sim.c_str());
    for (const std::string& part : parts)
        RunPart("/proc/self/exe", sim, part, pictures);
    return 0;
}
