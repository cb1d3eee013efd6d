// The status page's cost against the length of the journals. For each number of days it
// writes one journal per site, as capture writes them over that many days (a picture line
// per camera and a round line every period, one picture in a hundred failed), ending
// now, then runs "pixlane-cli report --out DIR --metrics FILE" over the folder in a
// process of its own, several times, and prints the median wall time and the child's
// user and system time and peak memory. The page only shows seven days, so the time
// should not grow with the days: the goal is the longest run at most 1.2 times the
// shortest, and under a second. Figures only; nothing is asserted.
//
//   pixlane-bench-report [--sites N] [--cameras N] [--period SECONDS] [--days D]...
//                        [--reps N] [--dir FOLDER] [--keep] [--cli PATH] [--long-line MIB]
//   (30 sites, 8 cameras, 300 s, 30 and 365 days, 3 runs, below the system's temporary
//   folder, removed afterwards unless --keep)
//
// With --long-line MIB it times the report over one journal instead, whose lines stand
// around one line of MIB MiB without a line break: reading it should cost what reading
// the file costs (the goal: as long as "cat" of it, give or take the start of the
// program), and the memory should not grow with it.

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QTemporaryDir>
#include <QTimeZone>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "capture/Journal.h"

extern char** environ;

namespace {

// The time and the picture name of the templates below, replaced in every line.
const QDateTime kMarkTime(QDate(2000, 1, 1), QTime(0, 0, 0), QTimeZone::utc());
constexpr const char* kMarkIso = "2000-01-01T00:00:00";
constexpr const char* kMarkName = "20000101-000000";

// A journal line cut where the time and the picture's name go.
struct CTemplate {
    std::vector<std::string> m_parts;  // between the marks
    std::vector<bool> m_isoMark;       // per mark: the time (true) or the name (false)

    explicit CTemplate(const QByteArray& line) {
        std::string rest = line.toStdString();
        for (;;) {
            const size_t iso = rest.find(kMarkIso);
            const size_t name = rest.find(kMarkName);
            const size_t at = std::min(iso, name);
            if (at == std::string::npos)
                break;
            m_parts.push_back(rest.substr(0, at));
            m_isoMark.push_back(at == iso);
            rest.erase(0, at + std::strlen(at == iso ? kMarkIso : kMarkName));
        }
        m_parts.push_back(rest);
    }

    void Append(std::string& out, const char* iso, const char* name) const {
        for (size_t i = 0; i < m_isoMark.size(); ++i) {
            out += m_parts[i];
            out += m_isoMark[i] ? iso : name;
        }
        out += m_parts.back();
    }

    // The line of a picture taken at t (UTC).
    void Append(std::string& out, time_t t) const {
        tm parts{};
        ::gmtime_r(&t, &parts);
        char iso[32];
        char stamp[32];
        std::strftime(iso, sizeof iso, "%Y-%m-%dT%H:%M:%S", &parts);
        std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &parts);
        Append(out, iso, stamp);
    }
};

CCaptureEvent Picture(const std::string& site, int channel, bool good) {
    CCaptureEvent e;
    e.m_time = kMarkTime;
    e.m_sEvent = "picture";
    e.m_iChannel = channel;
    e.m_nWidth = 512;
    e.m_nHeight = 384;
    e.m_iMode = 1;
    e.m_nBytes = good ? 196608 + 1098 * 3 : 40000;
    e.m_dSeconds = good ? 20.481 : 4.2;
    e.m_nTries = good ? 1 : 3;
    e.m_sResult = good ? "ok" : "broken";
    if (good)
        e.m_sFile =
            "/var/lib/pixlane/" + site + "/" + kMarkName + "-k" + std::to_string(channel) + ".bmp";
    else
        e.m_sMessage = "Übertragungsfehler: Prüfbyte falsch";
    return e;
}

CRoundEvent Round(int cameras) {
    CRoundEvent r;
    r.m_time = kMarkTime;
    r.m_sDevice = "/dev/ttyS0";
    r.m_dDialSeconds = 18.5;
    r.m_dOffHookSeconds = 18.5 + 21.0 * cameras;
    r.m_nPicturesOk = cameras;
    r.m_nBytes = uint64_t(cameras) * 199902;
    r.m_sResult = "ok";
    return r;
}

bool WriteAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0)
            return false;
        done += size_t(n);
    }
    return true;
}

// One journal per site, folder/NAME/journal.jsonl, its last round at now; the bytes written.
uint64_t WriteJournals(const std::string& folder, int sites, int cameras, int periodSeconds,
                       int days, time_t now) {
    uint64_t total = 0;
    const int64_t rounds = int64_t(days) * 86400 / periodSeconds;
    for (int s = 0; s < sites; ++s) {
        char name[32];
        std::snprintf(name, sizeof name, "standort-%02d", s + 1);
        std::vector<CTemplate> good, failed;
        for (int c = 1; c <= cameras; ++c) {
            good.emplace_back(JournalLine(Picture(name, c, true)));
            failed.emplace_back(JournalLine(Picture(name, c, false)));
        }
        const CTemplate round(JournalLine(Round(cameras)));
        QDir().mkpath(QString::fromStdString(folder + "/" + name));
        const std::string path = folder + "/" + name + "/journal.jsonl";
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) {
            std::perror(path.c_str());
            std::exit(2);
        }
        std::string buffer;
        buffer.reserve(size_t(8) << 20);
        for (int64_t r = 0; r < rounds; ++r) {
            const time_t start = now - (rounds - 1 - r) * periodSeconds;
            for (int c = 0; c <= cameras; ++c) {
                // The cameras one after the other, the round's line at its start, after them.
                const time_t t = start + (c < cameras ? 20 + 21 * c : 0);
                if (c == cameras)
                    round.Append(buffer, t);
                else if ((r * cameras + c) % 100 == 37)
                    failed[size_t(c)].Append(buffer, t);
                else
                    good[size_t(c)].Append(buffer, t);
            }
            if (buffer.size() > (size_t(7) << 20)) {
                if (!WriteAll(fd, buffer)) {
                    std::perror(path.c_str());
                    std::exit(2);
                }
                total += buffer.size();
                buffer.clear();
            }
        }
        if (!WriteAll(fd, buffer) || ::close(fd) != 0) {
            std::perror(path.c_str());
            std::exit(2);
        }
        total += buffer.size();
    }
    return total;
}

struct CRun {
    double m_dWall = 0;
    double m_dCpu = 0;
    long m_nMaxRssKiB = 0;
    int m_iStatus = -1;
};

CRun RunReport(const std::string& cli, const std::string& journals, const std::string& out) {
    const std::string metrics = out + "/pixlane.prom";
    std::vector<std::string> args = {cli, "report", "--out", out, "--metrics", metrics, journals};
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    CRun run;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (::posix_spawn(&pid, cli.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
        std::perror(cli.c_str());
        return run;
    }
    int status = 0;
    rusage ru{};
    ::wait4(pid, &status, 0, &ru);
    run.m_dWall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.m_dCpu = double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
                 double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
    run.m_nMaxRssKiB = ru.ru_maxrss;
    run.m_iStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    return run;
}

// A folder of its own for one run of the report: its journals and its pages below it.
struct CRunFolder {
    QTemporaryDir m_dir;
    std::string m_sJournals, m_sOut;

    CRunFolder(const std::string& base, bool keep)
        : m_dir(QString::fromStdString(base + "/pixlane-bench-report-XXXXXX")),
          m_sJournals(m_dir.filePath(QStringLiteral("journals")).toStdString()),
          m_sOut(m_dir.filePath(QStringLiteral("seite")).toStdString()) {
        m_dir.setAutoRemove(!keep);
        if (!m_dir.isValid())
            std::fprintf(stderr, "no temporary folder below %s\n", base.c_str());
    }
};

// The report reps times: the median times, the highest peak and exit status.
CRun RunReports(const std::string& cli, const std::string& journals, const std::string& out,
                int reps) {
    std::vector<double> wall, cpu;
    CRun figures;
    for (int r = 0; r < reps; ++r) {
        const CRun run = RunReport(cli, journals, out);
        wall.push_back(run.m_dWall);
        cpu.push_back(run.m_dCpu);
        figures.m_nMaxRssKiB = std::max(figures.m_nMaxRssKiB, run.m_nMaxRssKiB);
        figures.m_iStatus = std::max(figures.m_iStatus, run.m_iStatus);
    }
    figures.m_dWall = bench::Median(wall);
    figures.m_dCpu = bench::Median(cpu);
    return figures;
}

// One journal of good lines with a line of mib MiB without a break between them; the
// bytes written.
uint64_t WriteLongLineJournal(const std::string& folder, int mib, time_t now) {
    QDir().mkpath(QString::fromStdString(folder + "/nord"));
    const std::string path = folder + "/nord/journal.jsonl";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        std::perror(path.c_str());
        std::exit(2);
    }
    const CTemplate good(JournalLine(Picture("nord", 1, true)));
    const auto lines = [&](time_t from) {
        std::string text;
        for (int i = 0; i < 100; ++i)
            good.Append(text, from + i * 60);
        return text;
    };
    uint64_t total = 0;
    std::string text = lines(now - 7200);
    bool ok = WriteAll(fd, text);
    total += text.size();
    const std::string block(size_t(1) << 20, 'x');
    for (int i = 0; ok && i < mib; ++i)
        ok = WriteAll(fd, block);
    total += uint64_t(mib) << 20;
    text = "\n" + lines(now - 3600);
    ok = ok && WriteAll(fd, text);
    total += text.size();
    if (!ok || ::close(fd) != 0) {
        std::perror(path.c_str());
        std::exit(2);
    }
    return total;
}

// The same figures for that journal.
int RunLongLine(const std::string& base, const std::string& cli, int mib, int reps, bool keep) {
    const CRunFolder folder(base, keep);
    if (!folder.m_dir.isValid())
        return 2;
    const uint64_t bytes = WriteLongLineJournal(folder.m_sJournals, mib, ::time(nullptr));
    const CRun run = RunReports(cli, folder.m_sJournals, folder.m_sOut, reps);
    std::printf("report over one journal of %.1f MiB with a line of %d MiB without a break\n",
                double(bytes) / (1 << 20), mib);
    std::printf("wall %.3f s, cpu %.3f s, peak %.1f MiB%s\n", run.m_dWall, run.m_dCpu,
                double(run.m_nMaxRssKiB) / 1024, run.m_iStatus == 0 ? "" : "  (report failed)");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    int sites = 30, cameras = 8, period = 300, reps = 3;
    std::vector<int> days;
    std::string base = QDir::tempPath().toStdString();
    std::string cli = PIXLANE_CLI_EXE;
    bool keep = false;
    int longLine = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool value = i + 1 < argc;
        if (a == "--sites" && value)
            sites = std::max(1, std::atoi(argv[++i]));
        else if (a == "--cameras" && value)
            cameras = std::clamp(std::atoi(argv[++i]), 1, 8);
        else if (a == "--period" && value)
            period = std::max(1, std::atoi(argv[++i]));
        else if (a == "--days" && value)
            days.push_back(std::max(1, std::atoi(argv[++i])));
        else if (a == "--reps" && value)
            reps = std::max(1, std::atoi(argv[++i]));
        else if (a == "--dir" && value)
            base = argv[++i];
        else if (a == "--cli" && value)
            cli = argv[++i];
        else if (a == "--keep")
            keep = true;
        else if (a == "--long-line" && value)
            longLine = std::max(1, std::atoi(argv[++i]));
        else {
            std::fprintf(stderr,
                         "usage: %s [--sites N] [--cameras N] [--period SECONDS] [--days D]... "
                         "[--reps N] [--dir FOLDER] [--keep] [--cli PATH] [--long-line MIB]\n",
                         argv[0]);
            return 2;
        }
    }
    if (longLine > 0)
        return RunLongLine(base, cli, longLine, reps, keep);
    if (days.empty())
        days = {30, 365};

    std::printf("report over %d sites x %d cameras, a picture every %d s; %d runs each\n", sites,
                cameras, period, reps);
    std::printf("%6s %12s %10s %9s %9s %9s %11s\n", "days", "lines", "MiB", "write s", "wall s",
                "cpu s", "peak MiB");
    std::vector<double> walls, cpus;
    std::vector<long> peaks;
    for (const int d : days) {
        const CRunFolder folder(base, keep);
        if (!folder.m_dir.isValid())
            return 2;
        const std::string& journals = folder.m_sJournals;
        const std::string& out = folder.m_sOut;
        const auto start = std::chrono::steady_clock::now();
        const uint64_t bytes = WriteJournals(journals, sites, cameras, period, d, ::time(nullptr));
        const double writing =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const CRun run = RunReports(cli, journals, out, reps);
        const int64_t lines = int64_t(d) * 86400 / period * (cameras + 1) * sites;
        std::printf("%6d %12lld %10.1f %9.2f %9.3f %9.3f %11.1f%s\n", d, (long long)lines,
                    double(bytes) / (1 << 20), writing, run.m_dWall, run.m_dCpu,
                    double(run.m_nMaxRssKiB) / 1024, run.m_iStatus == 0 ? "" : "  (report failed)");
        std::fflush(stdout);
        walls.push_back(run.m_dWall);
        cpus.push_back(run.m_dCpu);
        peaks.push_back(run.m_nMaxRssKiB);
        if (keep)
            std::printf("       kept in %s\n", folder.m_dir.path().toLocal8Bit().constData());
    }
    if (walls.size() >= 2 && walls.front() > 0 && peaks.front() > 0) {
        const double timeRatio = walls.back() / walls.front();
        const double cpuRatio = cpus.front() > 0 ? cpus.back() / cpus.front() : 0;
        const double memoryRatio = double(peaks.back()) / double(peaks.front());
        // On a shared machine the processor time is the steadier of the two.
        std::printf(
            "%d days against %d days: time x %.2f, processor time x %.2f, peak memory "
            "x %.2f (goal: time at most x 1.20)\n",
            days.back(), days.front(), timeRatio, cpuRatio, memoryRatio);
        std::printf("goal under 1 s for %d sites: %s\n", sites,
                    walls.back() < 1.0 ? "met" : "missed");
    }
    return 0;
}
