// Books, journals and rotated copies that are no files, or files made to hurt: a FIFO
// nobody writes, /dev/zero behind a link, a folder, 128 MiB without a line break, a gzip
// bomb, a damaged or cut gzip. Every reader finishes (a watchdog ends the run if one
// hangs), names what it refused, and keeps its memory within the bound; the journal's
// append refuses what is no file at once.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "capture/InputFile.h"
#include "capture/Journal.h"
#include "fleet/Report.h"
#include "fleet/SiteBook.h"
#include "support/Watchdog.h"

#if PIXLANE_HAVE_ZLIB
#include <zlib.h>
#endif

namespace {

long PeakKiB() {
    rusage ru{};
    ::getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;
}

void Write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

#if PIXLANE_HAVE_ZLIB
QByteArray Gzip(const QTemporaryDir& dir, const QByteArray& text) {
    const QByteArray name = QFile::encodeName(dir.filePath(QStringLiteral("member.gz")));
    gzFile out = gzopen(name.constData(), "wb");
    gzwrite(out, text.constData(), static_cast<unsigned>(text.size()));
    gzclose(out);
    QFile in(QString::fromLocal8Bit(name));
    EXPECT_TRUE(in.open(QIODevice::ReadOnly));
    return in.readAll();
}
#endif

const QByteArray kLine = R"({"time":"2026-12-09T11:00:00+01:00","event":"picture","result":"ok"})";

enum class EKind { kFifo, kZeroLink, kFolder, kHuge, kBomb, kDamaged, kCut };
enum class ERole { kBook, kBookEdit, kJournal, kRotated, kAppend };

struct CCase {
    const char* m_pName;
    EKind m_eKind;
    ERole m_eRole;
    const char* m_pNamed;  // what the message says of it; null: read without a message
};

// Makes the hostile thing under that name; false when this build cannot.
bool Make(const QTemporaryDir& dir, EKind kind, const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    switch (kind) {
        case EKind::kFifo:
            return ::mkfifo(name.constData(), 0600) == 0;
        case EKind::kZeroLink:
            return QFile::link(QStringLiteral("/dev/zero"), path);
        case EKind::kFolder:
            return QDir().mkpath(path);
        case EKind::kHuge: {
            // 128 MiB without a line break, sparse so that it costs no disk.
            const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const bool made = fd >= 0 && ::ftruncate(fd, off_t{128} << 20) == 0;
            ::close(fd);
            return made;
        }
        case EKind::kBomb:
        case EKind::kDamaged:
        case EKind::kCut: {
#if PIXLANE_HAVE_ZLIB
            QByteArray bytes;
            if (kind == EKind::kBomb) {
                // 1 GiB of zeros: one member of 1 MiB, 1024 times over.
                const QByteArray member = Gzip(dir, QByteArray(1 << 20, '\0'));
                for (int i = 0; i < 1024; ++i)
                    bytes += member;
            } else {
                QByteArray text;
                for (int i = 0; i < 2000; ++i)
                    text += kLine + "\n";
                bytes = Gzip(dir, text);
                if (kind == EKind::kDamaged)  // its check sum
                    bytes[bytes.size() - 8] = static_cast<char>(bytes[bytes.size() - 8] ^ 0x5A);
                else
                    bytes.truncate(bytes.size() / 2);
            }
            Write(path, bytes);
            return true;
#else
            (void)dir;
            return false;
#endif
        }
    }
    return false;
}

const CCase kCases[] = {
    {"FIFO als Buch", EKind::kFifo, ERole::kBook, "ist keine Datei, sondern eine FIFO"},
    {"FIFO als Buch beim Ändern", EKind::kFifo, ERole::kBookEdit, "sondern eine FIFO"},
    {"FIFO als Journal", EKind::kFifo, ERole::kJournal, "sondern eine FIFO"},
    {"FIFO als Kopie", EKind::kFifo, ERole::kRotated, "sondern eine FIFO"},
    {"FIFO beim Anhängen", EKind::kFifo, ERole::kAppend, "sondern eine FIFO"},
    {"/dev/zero als Buch", EKind::kZeroLink, ERole::kBook, "ist keine Datei, sondern ein Gerät"},
    {"/dev/zero als Buch beim Ändern", EKind::kZeroLink, ERole::kBookEdit, "sondern ein Gerät"},
    {"/dev/zero als Journal", EKind::kZeroLink, ERole::kJournal, "sondern ein Gerät"},
    {"/dev/zero als Kopie", EKind::kZeroLink, ERole::kRotated, "sondern ein Gerät"},
    {"/dev/zero beim Anhängen", EKind::kZeroLink, ERole::kAppend, "sondern ein Gerät"},
    {"Ordner als Buch", EKind::kFolder, ERole::kBook, "ist ein Ordner"},
    {"Ordner als Journal", EKind::kFolder, ERole::kJournal, "ist ein Ordner"},
    {"Ordner beim Anhängen", EKind::kFolder, ERole::kAppend, "ist ein Ordner"},
    {"128 MiB als Buch", EKind::kHuge, ERole::kBook, "ist größer als 4 MiB"},
    {"128 MiB als Buch beim Ändern", EKind::kHuge, ERole::kBookEdit, "ist größer als 4 MiB"},
    {"128 MiB ohne Zeilenende als Journal", EKind::kHuge, ERole::kJournal, nullptr},
    {"128 MiB ohne Zeilenende als Kopie", EKind::kHuge, ERole::kRotated, nullptr},
    {"gzip-Bombe als Buch", EKind::kBomb, ERole::kBook, nullptr},
    {"gzip-Bombe als Journal", EKind::kBomb, ERole::kJournal, nullptr},
    {"gzip-Bombe als Kopie", EKind::kBomb, ERole::kRotated, "wird entpackt größer als 128 MiB"},
    {"beschädigtes gzip als Kopie", EKind::kDamaged, ERole::kRotated, "ist beschädigt"},
    {"abgeschnittenes gzip als Kopie", EKind::kCut, ERole::kRotated, "ist unvollständig"},
};

TEST(HostileFiles, EveryReaderFinishesNamesWhatItRefusedAndStaysBounded) {
    for (const CCase& c : kCases) {
        SCOPED_TRACE(c.m_pName);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const bool packed =
            c.m_eKind == EKind::kBomb || c.m_eKind == EKind::kDamaged || c.m_eKind == EKind::kCut;
        const QString journal = dir.filePath(QStringLiteral("journal.jsonl"));
        QString path = dir.filePath(QStringLiteral("ding"));
        if (c.m_eRole == ERole::kRotated) {
            Write(journal, kLine + "\n");
            path = journal + (packed ? QStringLiteral(".1.gz") : QStringLiteral(".1"));
        }
        if (!Make(dir, c.m_eKind, path)) {
            ADD_FAILURE() << "nicht herzustellen";
            continue;
        }
        const std::string target = path.toStdString();
        const long peakBefore = PeakKiB();
        std::string message;
        std::vector<QByteArray> lines;
        const auto take = [&lines](QByteArrayView line) {
            lines.push_back(line.toByteArray());
            return true;
        };
        {
            const CWatchdog watchdog(c.m_pName, 60);
            switch (c.m_eRole) {
                case ERole::kBook: {
                    const CSiteBook book = ReadSiteBooks({target});
                    EXPECT_TRUE(book.m_sites.empty());
                    for (const std::string& p : book.m_problems)
                        message += p + "\n";
                    break;
                }
                case ERole::kBookEdit: {
                    CSite site;
                    site.m_sName = "nord";
                    site.m_sNumber = "0815";
                    EXPECT_FALSE(StoreSite(target, site, &message));
                    break;
                }
                case ERole::kJournal: {
                    if (!ReadJournalBackwards(target, take, &message)) {
                        EXPECT_NE(c.m_pNamed, nullptr) << message;
                    }
                    // Compressed bytes read as text may hold line breaks; nothing else does.
                    if (c.m_eKind != EKind::kBomb) {
                        EXPECT_TRUE(lines.empty());
                    }
                    CSite site;
                    site.m_sName = "nord";
                    site.m_sJournal = target;
                    const CLastCapture last = LastCapture(site);
                    EXPECT_EQ(last.m_sTime, "");
                    break;
                }
                case ERole::kRotated:
                    ReadJournalBackwards(journal.toStdString(), take, &message);
                    // The journal's own line, and nothing of the copy.
                    EXPECT_EQ(lines, std::vector<QByteArray>{kLine});
                    break;
                case ERole::kAppend: {
                    CCaptureEvent event;
                    event.m_time = QDateTime::currentDateTime();
                    event.m_sEvent = "picture";
                    event.m_sResult = "ok";
                    EXPECT_FALSE(AppendJournal(target, event, &message));
                    break;
                }
            }
        }
        if (c.m_pNamed != nullptr) {
            EXPECT_NE(message.find(c.m_pNamed), std::string::npos) << message;
            // The file is named too (the journal's append leaves that to its caller).
            if (c.m_eRole != ERole::kAppend) {
                EXPECT_NE(message.find(target), std::string::npos) << message;
            }
        }
        // Far less than the gigabyte a bomb expands to, or than /dev/zero has.
        EXPECT_LT(PeakKiB() - peakBefore, 400 * 1024);
        // What was there is still there, untouched.
        EXPECT_TRUE(QFileInfo(path).exists() || QFileInfo(path).isSymLink());
    }
}

TEST(HostileFiles, LinesLongerThan64KiBAreSkippedAndTheirNeighboursKept) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray longest(kMaxLineBytes, 'x');
    const QByteArray text = "erste\n" + longest + "\n" + QByteArray(kMaxLineBytes + 1, 'y') +
                            "\nmitte\n" + QByteArray(300 * 1024, 'z') + "\nletzte\n";
    const std::vector<QByteArray> expected = {"letzte", "mitte", longest, "erste"};
    const auto read = [](const std::string& path, bool gz) {
        std::vector<QByteArray> lines;
        bool more = true;
        std::string why;
        const auto take = [&lines](QByteArrayView line) {
            lines.push_back(line.toByteArray());
            return true;
        };
        EXPECT_TRUE(gz ? ReadGzipLinesBackwards(path, take, more, &why)
                       : ReadLinesBackwards(path, take, more, &why))
            << why;
        EXPECT_TRUE(more);
        return lines;
    };
    const QString plain = dir.filePath(QStringLiteral("j.jsonl"));
    Write(plain, text);
    EXPECT_EQ(read(plain.toStdString(), false), expected);
    // A long last line without its line break is skipped as a whole, not as its last block.
    Write(plain, text + QByteArray(200 * 1024, 'w'));
    EXPECT_EQ(read(plain.toStdString(), false), expected);
#if PIXLANE_HAVE_ZLIB
    const QString packed = dir.filePath(QStringLiteral("j.jsonl.1.gz"));
    Write(packed, Gzip(dir, text) + Gzip(dir, "angehängt\n"));
    std::vector<QByteArray> both = expected;
    both.insert(both.begin(), "angehängt");
    EXPECT_EQ(read(packed.toStdString(), true), both);
#endif
}

}  // namespace
