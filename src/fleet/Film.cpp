#include "fleet/Film.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <algorithm>

#include "capture/InputFile.h"
#include "capture/Journal.h"
#include "capture/TargetFile.h"
#include "link/PrintableText.h"

namespace {

// A picture larger than this is none of a camera's.
constexpr qint64 kMaxPictureBytes = qint64{64} << 20;
constexpr int kMaxSide = 8192;
// Lines older than the span read in a row before the reading ends: a single line from
// long ago (a clock set wrong for a while) does not end it.
constexpr int kOlderLinesToEnd = 1000;
// How often ffmpeg is looked at while it works.
constexpr int kPollMs = 100;
// The end of what ffmpeg says on its error channel that a failure names.
constexpr qsizetype kMaxErrorBytes = 4096;

uint32_t Little32(const QByteArray& b, int at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(b[at])) |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
}

uint32_t Big32(const QByteArray& b, int at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(b[at])) << 24 |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 1])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 2])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3]));
}

bool SideOk(int64_t side) {
    return side > 0 && side <= kMaxSide;
}

// The muxer for the film's name; ffmpeg cannot tell it from the temporary name.
const char* Muxer(const std::string& output) {
    const QString name = QString::fromStdString(output);
    if (name.endsWith(QStringLiteral(".mkv"), Qt::CaseInsensitive))
        return "matroska";
    if (name.endsWith(QStringLiteral(".mov"), Qt::CaseInsensitive))
        return "mov";
    return "mp4";
}

}  // namespace

bool ReadFilmFrame(const std::string& file, CFilmFrame& frame, std::string& why) {
    CInputFile input;
    if (!input.Open(file, &why)) {
        if (input.Missing())
            why = "fehlt";
        return false;
    }
    if (input.Size() > kMaxPictureBytes) {
        why = "ist zu groß für ein Bild";
        return false;
    }
    QByteArray head;
    if (input.Size() < 30 || !input.ReadAt(0, 30, head, &why)) {
        why = "ist kein BMP- oder PNG-Bild";
        return false;
    }
    static const QByteArray kPng("\x89PNG\r\n\x1a\n", 8);
    if (head.startsWith("BM")) {
        const int64_t width = static_cast<int32_t>(Little32(head, 18));
        const int64_t height = static_cast<int32_t>(Little32(head, 22));
        const int bits = static_cast<uint8_t>(head[28]) | static_cast<uint8_t>(head[29]) << 8;
        if (SideOk(width) && SideOk(height < 0 ? -height : height) && (bits == 8 || bits == 24)) {
            frame.m_nWidth = static_cast<int>(width);
            frame.m_nHeight = static_cast<int>(height < 0 ? -height : height);
            frame.m_bPng = false;
            return true;
        }
    } else if (head.startsWith(kPng) && head.mid(12, 4) == "IHDR") {
        const int64_t width = Big32(head, 16);
        const int64_t height = Big32(head, 20);
        if (SideOk(width) && SideOk(height)) {
            frame.m_nWidth = static_cast<int>(width);
            frame.m_nHeight = static_cast<int>(height);
            frame.m_bPng = true;
            return true;
        }
    }
    why = "ist kein BMP- oder PNG-Bild";
    return false;
}

CFilmPictures FilmPictures(const std::string& journal, int channel, qint64 from, qint64 to) {
    CFilmPictures result;
    const QDir folder = QFileInfo(QString::fromStdString(journal)).absoluteDir();
    int older = 0;
    std::string error;
    const bool read = ReadJournal(
        journal,
        [&](const CJournalEntry* entry) {
            qint64 time = 0;
            if (entry == nullptr || entry->m_event != "picture" || !entry->Epoch(time))
                return true;
            if (time < from) {
                // Lines stand in the order they were written; their times may jump back.
                return ++older < kOlderLinesToEnd;
            }
            older = 0;
            const bool good = entry->m_result == "ok" || entry->m_result == "latest_failed";
            if (time >= to || !good || entry->m_file.empty())
                return true;
            if (std::find(result.m_channels.begin(), result.m_channels.end(), entry->m_iChannel) ==
                result.m_channels.end())
                result.m_channels.push_back(entry->m_iChannel);
            if (channel != 0 && entry->m_iChannel != channel)
                return true;
            CFilmFrame frame;
            frame.m_sFile =
                folder
                    .absoluteFilePath(QString::fromUtf8(
                        entry->m_file.data(), static_cast<qsizetype>(entry->m_file.size())))
                    .toStdString();
            frame.m_nTime = time;
            frame.m_iChannel = entry->m_iChannel;
            result.m_frames.push_back(std::move(frame));
            return true;
        },
        &error);
    if (!read)
        result.m_sError = error;
    std::sort(result.m_channels.begin(), result.m_channels.end());
    std::reverse(result.m_frames.begin(), result.m_frames.end());
    // Each file looked at: what is gone or no picture is passed over.
    std::vector<CFilmFrame> frames;
    for (CFilmFrame& frame : result.m_frames) {
        std::string why;
        if (!ReadFilmFrame(frame.m_sFile, frame, why)) {
            result.m_notes.push_back("Bild " + PrintableText(frame.m_sFile) + " " + why +
                                     "; übersprungen");
        } else if (!frames.empty() && frame.m_bPng != frames.front().m_bPng) {
            result.m_notes.push_back("Bild " + PrintableText(frame.m_sFile) + " ist ein " +
                                     (frame.m_bPng ? "PNG" : "BMP") + ", der Film beginnt mit " +
                                     (frame.m_bPng ? "BMP" : "PNG") + "; übersprungen");
        } else {
            frames.push_back(std::move(frame));
        }
    }
    result.m_frames = std::move(frames);
    return result;
}

std::string ConcatQuoted(const std::string& path) {
    // "file:" keeps a name beginning with a protocol's name, or read from standard input,
    // a name of the file system.
    std::string quoted = "'file:";
    for (char c : path) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

QByteArray ConcatList(const std::vector<CFilmFrame>& frames, int fps) {
    QByteArray list = "ffconcat version 1.0\n";
    const QByteArray duration =
        "duration " + QByteArray::number(1.0 / std::max(fps, 1), 'f', 9) + "\n";
    for (const CFilmFrame& frame : frames) {
        list += "file " + QByteArray::fromStdString(ConcatQuoted(frame.m_sFile)) + "\n";
        list += duration;
    }
    return list;
}

void FilmSize(const CFilmFrame& first, int& width, int& height) {
    width = std::max(2, first.m_nWidth & ~1);
    height = std::max(2, first.m_nHeight & ~1);
}

bool MakeFilm(const std::vector<CFilmFrame>& frames, const std::string& output, const CFilmRun& run,
              std::string& error) {
    if (frames.empty()) {
        error = "kein Bild für den Film";
        return false;
    }
    const QString program = QString::fromStdString(run.m_sFfmpeg);
    const QString found = run.m_sFfmpeg.find('/') == std::string::npos
                              ? QStandardPaths::findExecutable(program)
                              : (QFileInfo(program).isExecutable() ? program : QString());
    if (found.isEmpty()) {
        error = "Das Programm " + run.m_sFfmpeg +
                " wurde nicht gefunden (Debian-Paket ffmpeg); ohne es entsteht kein Film";
        return false;
    }
    int width = 0, height = 0;
    FilmSize(frames.front(), width, height);
    const int total = static_cast<int>(frames.size());
    const auto fill = [&](const std::string& temp, std::string& why) {
        QProcess ffmpeg;
        ffmpeg.setProgram(found);
        ffmpeg.setArguments({
            QStringLiteral("-hide_banner"),
            QStringLiteral("-loglevel"),
            QStringLiteral("error"),
            QStringLiteral("-nostats"),
            QStringLiteral("-y"),
            QStringLiteral("-f"),
            QStringLiteral("concat"),
            QStringLiteral("-safe"),
            QStringLiteral("0"),
            QStringLiteral("-protocol_whitelist"),
            QStringLiteral("file,pipe"),
            QStringLiteral("-i"),
            QStringLiteral("pipe:0"),
            QStringLiteral("-vf"),
            QStringLiteral("scale=%1:%2,format=yuv420p").arg(width).arg(height),
            QStringLiteral("-r"),
            QString::number(run.m_nFps),
            QStringLiteral("-c:v"),
            QStringLiteral("libx264"),
            QStringLiteral("-pix_fmt"),
            QStringLiteral("yuv420p"),
            QStringLiteral("-progress"),
            QStringLiteral("pipe:1"),
            QStringLiteral("-f"),
            QString::fromLatin1(Muxer(output)),
            QString::fromStdString(temp),
        });
        ffmpeg.start();
        if (!ffmpeg.waitForStarted(-1)) {
            why = "Das Programm " + found.toStdString() + " ließ sich nicht starten";
            return false;
        }
        // The list goes in while ffmpeg reads it; a list of any length fits the pipe so.
        const QByteArray list = ConcatList(frames, run.m_nFps);
        ffmpeg.write(list);
        ffmpeg.closeWriteChannel();
        QByteArray progress, errors;
        bool stopped = false;
        while (ffmpeg.state() != QProcess::NotRunning) {
            ffmpeg.waitForFinished(kPollMs);
            progress += ffmpeg.readAllStandardOutput();
            errors += ffmpeg.readAllStandardError();
            if (errors.size() > kMaxErrorBytes)
                errors = errors.right(kMaxErrorBytes);
            qsizetype end = 0;
            while ((end = progress.indexOf('\n')) >= 0) {
                const QByteArray line = progress.left(end).trimmed();
                progress.remove(0, end + 1);
                if (line.startsWith("frame=") && run.m_fnProgress)
                    run.m_fnProgress(std::min(line.mid(6).toInt(), total), total);
            }
            if (!stopped && run.m_fnStop && run.m_fnStop()) {
                stopped = true;
                ffmpeg.kill();
            }
        }
        errors += ffmpeg.readAllStandardError();
        // A stop asked for also reaches ffmpeg on a terminal, which then ends its film
        // early and well: it is not the whole film all the same.
        if (stopped || (run.m_fnStop && run.m_fnStop())) {
            why = "abgebrochen";
            return false;
        }
        if (ffmpeg.exitStatus() != QProcess::NormalExit || ffmpeg.exitCode() != 0) {
            const QList<QByteArray> lines = errors.trimmed().split('\n');
            why = "ffmpeg endete mit einem Fehler";
            if (!lines.isEmpty() && !lines.back().trimmed().isEmpty())
                why += ": " + PrintableText(lines.back().trimmed().toStdString());
            return false;
        }
        return true;
    };
    std::string reason;
    if (!WriteTargetFileBy(output, fill, &reason)) {
        error = "Film " + PrintableText(output) + " nicht geschrieben: " + reason;
        return false;
    }
    return true;
}

std::string DayFilmName(const std::string& day, int channel) {
    return "film-" + day + "-k" + std::to_string(channel) + ".mp4";
}

bool IsDayFilmName(const std::string& name, int* channel) {
    // film-YYYY-MM-DD-kN.mp4
    static const std::string kStart = "film-";
    if (name.size() < 22 || name.compare(0, kStart.size(), kStart) != 0 ||
        name.compare(name.size() - 4, 4, ".mp4") != 0 || name.compare(15, 2, "-k") != 0)
        return false;
    for (size_t i : {5, 6, 7, 8, 10, 11, 13, 14})
        if (name[i] < '0' || name[i] > '9')
            return false;
    if (name[9] != '-' || name[12] != '-')
        return false;
    int n = 0;
    for (size_t i = 17; i + 4 < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9' || n > 1000)
            return false;
        n = n * 10 + (name[i] - '0');
    }
    if (n < 1 || n > 8)
        return false;
    if (channel != nullptr)
        *channel = n;
    return true;
}
