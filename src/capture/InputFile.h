#pragma once

// Reading the files that other people and programs write, or put something else in the
// place of: the site books, the journals and their rotated copies, the settings text that
// is edited in place. Only a regular file is read (a symbolic link is followed to it); a
// FIFO, a device, a folder or a socket is refused with its kind named, and opening one
// never waits. What is read is bounded: no file, however long or however it expands, makes
// memory grow beyond the limits below.

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QtGlobal>
#include <functional>
#include <string>

// The longest line handed on; a longer one is skipped.
inline constexpr qint64 kMaxLineBytes = 64 * 1024;
// The most a compressed file may expand to; a larger one is refused.
inline constexpr qint64 kMaxExpandedBytes = qint64{128} << 20;
// The largest text file read whole (a site book, a settings file).
inline constexpr qint64 kMaxTextFileBytes = qint64{4} << 20;

// One regular file open for reading. The reasons it gives follow the file's name ("ist
// keine Datei, sondern eine FIFO"), in German.
class CInputFile {
  public:
    // Opens it when the path names a regular file; false, with the reason, otherwise.
    bool Open(const std::string& path, std::string* why);
    // After a failed Open: nothing has that name (a link that leads nowhere included).
    bool Missing() const { return m_bMissing; }
    qint64 Size() const { return m_file.size(); }
    // Exactly n bytes from pos; false, with the reason, when they cannot all be read.
    bool ReadAt(qint64 pos, qint64 n, QByteArray& bytes, std::string* why);
    // Up to n bytes from where the last read ended; empty at the end.
    bool ReadOn(qint64 n, QByteArray& bytes, std::string* why);

  private:
    QFile m_file;
    bool m_bMissing = false;
};

// The whole file, when it is a regular file of at most limit bytes.
enum class EInput { kRead, kMissing, kRefused };
EInput ReadInputFile(const std::string& path, qint64 limit, QByteArray& bytes, std::string* why);

// Hands the lines of the file to take, the last first (also one without its line break),
// until take returns false (more is false then). Empty lines and lines longer than
// kMaxLineBytes are skipped. The work grows with the file's length only; memory stays
// within a line and a block. A line is handed where it lies in the block read, without a
// copy of its own: it is valid until take returns. False, with the reason, when the file
// cannot be read.
using CLineTake = std::function<bool(QByteArrayView)>;
bool ReadLinesBackwards(const std::string& path, const CLineTake& take, bool& more,
                        std::string* why);
// The same for a gzip file, read as a stream: one that expands to more than
// kMaxExpandedBytes, is damaged or ends early is refused before a line is handed on.
bool ReadGzipLinesBackwards(const std::string& path, const CLineTake& take, bool& more,
                            std::string* why);
