// Retention over years of journal and a film of many pictures, measured.
//
//   pixlane-bench-film retention [YEARS [--keep]]   (default 2)
//     Writes the journal of eight cameras at five minutes over YEARS years (the journal and
//     two rotated copies), as it stands when retention with --keep 7d:all,90d:1h,2y:1d has
//     run every day: a removal line for each picture it removed, and on the disk only the
//     pictures it kept, plus the newest day. Then, in a process of its own each, the
//     decision alone over all pictures, and the whole retention (reading the journal,
//     deciding, removing what the newest day asks for): time and peak memory. With --keep
//     the folder stays (its name is printed), for "pixlane-bench-film run read|dry-run
//     FOLDER NOW" under a profiler.
//   pixlane-bench-film film [N]   (default 2000)
//     N pictures (grey and colour, 360 x 288) and their journal; the film through
//     MakeFilm, against ffmpeg run by hand on the same list.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimeZone>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "capture/ImageFile.h"
#include "capture/Journal.h"
#include "capture/KeepTiers.h"
#include "capture/Retention.h"
#include "fleet/Film.h"
#include "image/Image.h"

namespace {

constexpr int64_t kStep = 300;
constexpr int64_t kDay = 24 * 3600;
constexpr uint32_t kCameras = 8;
const char* const kRules = "7d:all,90d:1h,2y:1d";

// The peak resident memory of this program's own memory (VmHWM): unlike the rusage
// figure, it does not carry over what the parent held before the exec.
long PeakKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').front().toLong();
    return -1;
}

std::string PictureName(const QString& folder, int64_t time, uint32_t camera) {
    // Unique in UTC; the pattern's fields only need digits where they stand.
    return QStringLiteral("%1/bilder/k%2-%3.bmp")
        .arg(folder)
        .arg(camera)
        .arg(QDateTime::fromSecsSinceEpoch(time, Qt::UTC)
                 .toString(QStringLiteral("yyyyMMdd-HHmmss")))
        .toStdString();
}

std::string g_sSelf;  // this program, run again for each measurement

// Runs this program again with the arguments, so that the peak memory it prints is the
// measurement's own.
void Measured(const std::vector<std::string>& args) {
    std::fflush(stdout);
    const pid_t child = ::fork();
    if (child == 0) {
        std::vector<char*> argv{g_sSelf.data()};
        std::vector<std::string> copy = args;
        for (std::string& a : copy)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(g_sSelf.c_str(), argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
}

void Said(const char* what, double seconds, const std::string& said) {
    std::printf("%-44s %8.3f s  peak %7.1f MiB  %s\n", what, seconds,
                static_cast<double>(PeakKiB()) / 1024, said.c_str());
}

// One measurement over the journal in folder, as of now (seconds since 1970).
int RetentionRun(const std::string& what, const QString& root, int64_t now) {
    const std::string journal = (root + "/journal.jsonl").toStdString();
    QElapsedTimer timer;
    timer.start();
    if (what == "read") {
        size_t n = 0;
        std::string error;
        ReadJournal(
            journal,
            [&n](const CJournalEntry* entry) {
                n += entry != nullptr;
                return true;
            },
            &error);
        Said("journal read alone", timer.nsecsElapsed() / 1e9, std::to_string(n) + " lines");
        return 0;
    }
    const bool dryRun = what == "dry-run";
    CRetention retention;
    ParseKeepRules(kRules, retention.m_keep);
    retention.m_nKeepSeconds = retention.m_keep.LastAge();
    retention.Place(root.toStdString(), "bilder/k{channel}-%Y%m%d-%H%M%S.bmp");
    retention.Load(journal);
    const size_t known = retention.SavedCount();
    const double loaded = timer.nsecsElapsed() / 1e9;
    const std::vector<CCaptureEvent> events =
        retention.Prune(QDateTime::fromSecsSinceEpoch(now), dryRun);
    Said(dryRun ? "retention --dry-run (read, decide, look)" : "retention (read, decide, remove)",
         timer.nsecsElapsed() / 1e9,
         std::to_string(known) + " known (read in " + std::to_string(loaded).substr(0, 5) +
             " s), " + std::to_string(events.size()) + (dryRun ? " would go" : " removed"));
    return 0;
}

int RetentionBench(double years, bool keep) {
    QTemporaryDir dir;
    dir.setAutoRemove(!keep);
    const QString root = dir.path();
    QDir().mkpath(root + "/bilder");
    const int64_t now = (QDateTime::currentSecsSinceEpoch() / kStep) * kStep;
    const int64_t start = now - static_cast<int64_t>(years * 365 * kDay);
    const int64_t yesterday = now - kDay;
    std::vector<CAgedPicture> pictures;
    for (int64_t t = start; t <= now; t += kStep)
        for (uint32_t c = 1; c <= kCameras; ++c)
            pictures.push_back({t, c});
    CKeepRules rules;
    ParseKeepRules(kRules, rules);
    // What the daily runs up to yesterday kept.
    std::vector<CAgedPicture> before;
    for (const CAgedPicture& p : pictures)
        if (p.m_nTime <= yesterday)
            before.push_back(p);
    const std::vector<CKeepVerdict> kept = DecideKeep(before, rules, yesterday);

    // The journal, oldest line first, in three files: .2, .1 and the journal itself.
    const std::string journal = (root + "/journal.jsonl").toStdString();
    const size_t lines = pictures.size() + before.size();
    std::vector<QFile*> files;
    for (const char* suffix : {".2", ".1", ""}) {
        files.push_back(new QFile(QString::fromStdString(journal + suffix)));
        files.back()->open(QIODevice::WriteOnly);
    }
    size_t written = 0, onDisk = 0;
    const auto put = [&](const QByteArray& line) {
        files[std::min<size_t>(2, written++ * 3 / lines)]->write(line);
    };
    CCaptureEvent e;
    e.m_sEvent = "picture";
    e.m_sResult = "ok";
    e.m_nWidth = 360;
    e.m_nHeight = 288;
    e.m_dSeconds = 20;
    size_t removedIndex = 0;
    for (size_t i = 0; i < pictures.size(); ++i) {
        const CAgedPicture& p = pictures[i];
        e.m_sEvent = "picture";
        e.m_time = QDateTime::fromSecsSinceEpoch(p.m_nTime);
        e.m_iChannel = static_cast<int>(p.m_nCamera);
        e.m_sFile = PictureName(root, p.m_nTime, p.m_nCamera);
        e.m_sMessage.clear();
        put(JournalLine(e));
        const bool stays = i >= before.size() || kept[i].m_bKeep;
        if (stays) {
            QFile f(QString::fromStdString(e.m_sFile));
            f.open(QIODevice::WriteOnly);
            f.write("BM\x36\0\0\0", 6);
            f.close();
            // Written when it was taken, as retention checks.
            const timespec at{static_cast<time_t>(p.m_nTime), 0};
            const timespec times[2] = {at, at};
            ::utimensat(AT_FDCWD, e.m_sFile.c_str(), times, 0);
            ++onDisk;
        }
        // The removals of the picture's day come a week later, about when they happened.
        while (removedIndex < before.size() &&
               before[removedIndex].m_nTime + 8 * kDay <= p.m_nTime) {
            if (!kept[removedIndex].m_bKeep) {
                e.m_sEvent = "removed";
                e.m_time = QDateTime::fromSecsSinceEpoch(p.m_nTime);
                e.m_sFile =
                    PictureName(root, before[removedIndex].m_nTime, before[removedIndex].m_nCamera);
                e.m_sMessage = "Bild gelöscht";
                put(JournalLine(e));
            }
            ++removedIndex;
        }
    }
    for (QFile* f : files) {
        f->close();
        delete f;
    }
    const size_t removedLines = written - pictures.size();
    std::printf(
        "journal: %zu lines (%zu pictures of %u cameras over %.1f years, %zu removals), "
        "%zu pictures on the disk\n",
        written, pictures.size(), kCameras, years, removedLines, onDisk);
    pictures.shrink_to_fit();
    before.clear();
    before.shrink_to_fit();

    {
        QElapsedTimer timer;
        timer.start();
        const std::vector<CKeepVerdict> v = DecideKeep(pictures, rules, now);
        size_t go = 0;
        for (const CKeepVerdict& k : v)
            go += !k.m_bKeep;
        std::printf("%-44s %8.3f s  %zu of %zu to go\n", "decision alone, over all pictures",
                    timer.nsecsElapsed() / 1e9, go, v.size());
    }
    const std::string folder = root.toStdString();
    const std::string at = std::to_string(now);
    if (keep)
        std::printf("kept: %s %s\n", folder.c_str(), at.c_str());
    Measured({"run", "read", folder, at});
    Measured({"run", "dry-run", folder, at});
    Measured({"run", "remove", folder, at});
    return 0;
}

int FilmBench(int count) {
    QTemporaryDir dir;
    const QString root = dir.path();
    const std::string journal = (root + "/journal.jsonl").toStdString();
    QByteArray lines;
    const int64_t start = QDateTime::currentSecsSinceEpoch() - count * kStep;
    for (int i = 0; i < count; ++i) {
        CImage image;
        const bool colour = i % 3 == 0;
        image.Create(360, 288, colour);
        image.AllocateBits();
        for (int y = 0; y < 288; ++y)
            for (int x = 0; x < (colour ? 3 : 1) * 360; ++x)
                image.Row(y)[x] = static_cast<uint8_t>(x + y + i);
        const std::string file = QStringLiteral("%1/k1-%2.bmp").arg(root).arg(i).toStdString();
        std::string error;
        WriteImageFile(file, image, &error);
        CCaptureEvent e;
        e.m_time = QDateTime::fromSecsSinceEpoch(start + i * kStep);
        e.m_sEvent = "picture";
        e.m_iChannel = 1;
        e.m_sResult = "ok";
        e.m_sFile = file;
        lines += JournalLine(e);
    }
    QFile j(QString::fromStdString(journal));
    j.open(QIODevice::WriteOnly);
    j.write(lines);
    j.close();

    QElapsedTimer timer;
    timer.start();
    const CFilmPictures found = FilmPictures(journal, 1, start, start + count * kStep + 1);
    const double listed = timer.nsecsElapsed() / 1e9;
    std::string error;
    CFilmRun run;
    const bool made = MakeFilm(found.m_frames, (root + "/film.mp4").toStdString(), run, error);
    const double ours = timer.nsecsElapsed() / 1e9;
    if (!made) {
        std::printf("film failed: %s\n", error.c_str());
        return 1;
    }
    // ffmpeg alone on the same list, from a file.
    QFile list(root + "/list.txt");
    list.open(QIODevice::WriteOnly);
    list.write(ConcatList(found.m_frames, run.m_nFps));
    list.close();
    int width = 0, height = 0;
    FilmSize(found.m_frames.front(), width, height);
    timer.restart();
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-hide_banner", "-loglevel", "error", "-y", "-f", "concat", "-safe",
                            "0", "-i", list.fileName(), "-vf",
                            QStringLiteral("scale=%1:%2,format=yuv420p").arg(width).arg(height),
                            "-r", QString::number(run.m_nFps), "-c:v", "libx264", "-pix_fmt",
                            "yuv420p", root + "/direct.mp4"});
    ffmpeg.waitForFinished(-1);
    const double direct = timer.nsecsElapsed() / 1e9;
    std::printf("film of %d pictures: %.3f s (journal and files %.3f s), ffmpeg alone %.3f s\n",
                count, ours, listed, direct);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const std::string what = argc > 1 ? argv[1] : "";
    g_sSelf = QCoreApplication::applicationFilePath().toStdString();
    if (what == "run" && argc == 5)
        return RetentionRun(argv[2], QString::fromLocal8Bit(argv[3]), std::atoll(argv[4]));
    if (what == "retention")
        return RetentionBench(argc > 2 ? std::atof(argv[2]) : 2.0,
                              argc > 3 && std::string(argv[3]) == "--keep");
    if (what == "film")
        return FilmBench(argc > 2 ? std::atoi(argv[2]) : 2000);
    std::fprintf(stderr, "usage: pixlane-bench-film retention [YEARS [--keep]] | film [N]\n");
    return 2;
}
