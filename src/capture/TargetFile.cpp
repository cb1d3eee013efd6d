#include "capture/TargetFile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QString>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <deque>
#include <limits>
#include <map>
#include <mutex>

#include "image/Bmp.h"
#include "image/Image.h"
#include "platform/ErrorText.h"
#include "platform/Files.h"

namespace {

// Links followed at most before the path counts as a loop.
constexpr int kMaxLinks = 40;
// Numbered names tried after the name itself before a picture counts as unsaveable.
constexpr int kMaxNumbered = 9999;
// Names tried for a temporary file before the folder counts as unusable.
constexpr int kMaxTempNames = 100;

bool Fail(std::string* error, const std::string& text) {
    if (error != nullptr)
        *error = text;
    return false;
}

// The reason of the system call that failed last.
bool FailSystem(std::string* error) {
    return Fail(error, SystemErrorText(errno));
}

// The descriptor that an absolute path names by itself; -1 when it names none.
int DescriptorName(const QString& path) {
    static const struct {
        const char* m_pName;
        int m_nFd;
    } kStandard[] = {{"/dev/stdin", 0}, {"/dev/stdout", 1}, {"/dev/stderr", 2}};
    for (const auto& s : kStandard)
        if (path == QLatin1String(s.m_pName))
            return s.m_nFd;
    static const QRegularExpression fd(QStringLiteral("^/(?:dev|proc/(self|\\d+))/fd/(\\d{1,9})$"));
    const QRegularExpressionMatch m = fd.match(path);
    if (!m.hasMatch())
        return -1;
    // Another process's descriptor is a link like any other.
    const QString pid = m.captured(1);
    if (!pid.isEmpty() && pid != QLatin1String("self") &&
        pid.toLongLong() != QCoreApplication::applicationPid())
        return -1;
    return m.captured(2).toInt();
}

// What the path stands for after its symbolic links: the final path, or the descriptor
// that one of them names. False on a loop.
bool Follow(const std::string& path, QString& target, int& descriptor) {
    target = QFileInfo(QString::fromStdString(path)).absoluteFilePath();
    for (int hop = 0; hop <= kMaxLinks; ++hop) {
        descriptor = DescriptorName(target);
        if (descriptor >= 0)
            return true;
        const QFileInfo info(target);
        if (!info.isSymLink())
            return true;
        target = info.symLinkTarget();
    }
    return false;
}

// Something that exists under the name and is neither a file, a folder nor a link: a
// device, a FIFO or a socket.
bool IsSpecial(const QFileInfo& info) {
    return info.exists() && !info.isSymLink() && !info.isFile() && !info.isDir();
}

bool WriteAll(int fd, const std::vector<uint8_t>& bytes) {
    return ::WriteAll(fd, bytes.data(), bytes.size());
}

// ---- the writes ----

// Straight into what is there: a descriptor, a FIFO, a terminal or a device.
bool WriteDirect(int fd, bool ownDescriptor, const std::vector<uint8_t>& bytes,
                 std::string* error) {
    bool ok = WriteAll(fd, bytes) && SyncFile(fd, false);
    int reason = errno;
    if (ownDescriptor && !CloseFile(fd) && ok) {
        ok = false;
        reason = errno;
    }
    errno = reason;
    return ok || FailSystem(error);
}

// How old a temporary file must be before it counts as left behind: no run writes one
// for so long.
constexpr qint64 kLeftoverMs = 60 * 1000;

// Removes the temporary files that a run killed while writing left in the folder: regular
// files, no links, of the name form CTempFile gives, older than kLeftoverMs. A folder is
// looked through once, and again only once the younger ones it held are old enough.
void SweepLeftovers(const QString& folder) {
    static std::mutex s_mutex;
    static std::map<QString, qint64> s_nextSweep;  // ms since 1970
    static const QRegularExpression kForm(QStringLiteral("^\\.pixlane-[0-9a-z]{6}\\.part$"));
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const std::lock_guard lock(s_mutex);
    if (const auto next = s_nextSweep.find(folder); next != s_nextSweep.end() && now < next->second)
        return;
    qint64 again = std::numeric_limits<qint64>::max();
    QDirIterator it(folder, {QStringLiteral(".pixlane-*.part")},
                    QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info(path);
        if (!kForm.match(info.fileName()).hasMatch() || info.isSymLink() || !info.isFile())
            continue;
        const qint64 written = info.lastModified().toMSecsSinceEpoch();
        if (now - written > kLeftoverMs)
            RemoveFile(path);
        else
            again = std::min(again, written + kLeftoverMs + 1);
    }
    s_nextSweep[folder] = again;
}

// A hidden file in the folder, removed on every way out that did not give it a name.
class CTempFile {
  public:
    ~CTempFile() {
        if (m_nFd >= 0)
            CloseFile(m_nFd);
        if (!m_sName.isEmpty())
            RemoveFile(m_sName);
    }
    bool Create(const QString& folder) {
        SweepLeftovers(folder);
        for (int attempt = 0; attempt < kMaxTempNames; ++attempt) {
            const QString name =
                folder + QStringLiteral("/.pixlane-%1.part")
                             .arg(QRandomGenerator::global()->generate() & 0xFFFFFF, 6, 36,
                                  QLatin1Char('0'));
            m_nFd = CreateNew(name);
            if (m_nFd >= 0) {
                m_sName = name;
                return true;
            }
            if (errno != EEXIST)
                return false;
        }
        return false;
    }
    // Every byte written, on the disk and the file closed; false with errno set.
    bool Fill(const std::vector<uint8_t>& bytes) {
        const bool ok = WriteAll(m_nFd, bytes) && SyncFile(m_nFd, true);
        const int reason = errno;
        const bool closed = CloseFile(m_nFd);
        m_nFd = -1;
        if (ok)
            return closed;
        errno = reason;
        return false;
    }
    int Fd() const { return m_nFd; }
    const QString& Name() const { return m_sName; }
    // It has its final name now: nothing to remove.
    void Named() { m_sName.clear(); }
    // The descriptor was closed elsewhere.
    void Forget() { m_nFd = -1; }

  private:
    int m_nFd = -1;
    QString m_sName;
};

// A regular file replaced, or a new one made, by a complete temporary file.
bool WriteReplacing(const QString& target, const std::vector<uint8_t>& bytes, std::string* error) {
    const QFileInfo info(target);
    if (info.exists()) {
        // Root may write any file; a file nobody may write is not written by this program
        // either.
        if (IsReadOnlyFile(target.toStdString()))
            return Fail(error, "Datei ist schreibgeschützt");
        if (!info.isWritable())
            return Fail(error, "keine Berechtigung zum Schreiben");
    }
    CTempFile temp;
    if (!temp.Create(info.absolutePath()) || !TakeModeOf(temp.Fd(), target, true) ||
        !temp.Fill(bytes) || !ReplaceName(temp.Name(), target))
        return FailSystem(error);
    temp.Named();
    SyncFolder(info.absolutePath());
    return true;
}

bool WriteKeepingExisting(const std::string& path, const std::vector<uint8_t>& bytes,
                          std::string* error, std::string* written) {
    const QFileInfo info(QString::fromStdString(path));
    if (info.fileName().isEmpty())
        return Fail(error, "kein Dateiname");
    if (IsSpecial(info))
        return Fail(error, "ist keine Datei, sondern ein Gerät, eine FIFO oder ein Socket");
    CTempFile temp;
    if (!temp.Create(info.absolutePath()) || !temp.Fill(bytes))
        return FailSystem(error);
    const std::string target = info.absoluteFilePath().toStdString();
    for (int n = 0; n <= kMaxNumbered; ++n) {
        const std::string name = NumberedName(target, n);
        const int claimed = ClaimName(temp.Name(), QString::fromStdString(name));
        if (claimed < 0)
            return FailSystem(error);
        if (claimed > 0) {
            temp.Named();
            SyncFolder(info.absolutePath());
            if (written != nullptr)
                *written = name;
            return true;
        }
    }
    return Fail(error, "kein freier Name bis -" + std::to_string(kMaxNumbered));
}

// Why a name of a set cannot be replaced, or empty when it can: a link under the name is
// replaced itself, anything that is not a regular file is left alone.
std::string SetMemberRefusal(const QString& target) {
    const QFileInfo info(target);
    if (info.isSymLink() || !info.exists())
        return {};
    if (info.isDir())
        return SystemErrorText(EISDIR);
    if (!info.isFile())
        return "ist keine Datei, sondern ein Gerät, eine FIFO oder ein Socket";
    if (IsReadOnlyFile(target.toStdString()))
        return "Datei ist schreibgeschützt";
    if (!info.isWritable())
        return "keine Berechtigung zum Schreiben";
    return {};
}

}  // namespace

bool WriteFileSet(const std::string& folder, const std::vector<CFileOfSet>& files,
                  std::string* error) {
    const QString dir = QFileInfo(QString::fromStdString(folder)).absoluteFilePath();
    std::vector<QString> targets;
    for (const CFileOfSet& file : files) {
        targets.push_back(dir + u'/' + QString::fromStdString(file.m_sName));
        const std::string refusal = SetMemberRefusal(targets.back());
        if (!refusal.empty())
            return Fail(error, file.m_sName + ": " + refusal);
    }
    // A deque keeps its elements in place: each removes its file when it is not named.
    std::deque<CTempFile> temps;
    for (size_t i = 0; i < files.size(); ++i) {
        CTempFile& temp = temps.emplace_back();
        if (!temp.Create(dir) || !TakeModeOf(temp.Fd(), targets[i], false) ||
            !temp.Fill(files[i].m_bytes))
            return Fail(error, files[i].m_sName + ": " + SystemErrorText(errno));
    }
    for (size_t i = 0; i < files.size(); ++i) {
        if (!ReplaceName(temps[i].Name(), targets[i]))
            return Fail(error, files[i].m_sName + ": " + SystemErrorText(errno));
        temps[i].Named();
    }
    SyncFolder(dir);
    return true;
}

std::string NumberedName(const std::string& path, int n) {
    if (n <= 0)
        return path;
    const size_t slash = path.rfind('/');
    const size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = path.rfind('.');
    // A leading dot starts a hidden name, not an extension.
    if (dot == std::string::npos || dot <= nameAt)
        dot = path.size();
    return path.substr(0, dot) + "-" + std::to_string(n) + path.substr(dot);
}

int TargetDescriptor(const std::string& path) {
    QString target;
    int descriptor = -1;
    return Follow(path, target, descriptor) ? descriptor : -1;
}

bool IsReadOnlyFile(const std::string& path) {
    const QFileInfo info(QString::fromStdString(path));
    return info.isFile() &&
           (info.permissions() & (QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther)) == 0;
}

bool MakeFolders(const std::string& folder, std::string* error) {
    const QString clean =
        QDir::cleanPath(QFileInfo(QString::fromStdString(folder)).absoluteFilePath());
    // From the root down, so that the reason names the folder that could not be made.
    QStringList missing;
    for (QString f = clean; !QFileInfo(f).isDir(); f = QFileInfo(f).absolutePath()) {
        if (QFileInfo(f).exists() || QFileInfo(f).isSymLink())
            return Fail(error, f.toStdString() + " ist kein Ordner");
        missing.prepend(f);
        if (QFileInfo(f).absolutePath() == f)
            break;
    }
    for (const QString& f : missing) {
        const bool made = MakeFolder(f);
        // Another program may make it meanwhile.
        if (!made && !(errno == EEXIST && QFileInfo(f).isDir()))
            return Fail(error, "Ordner " + f.toStdString() +
                                   " kann nicht angelegt werden: " + SystemErrorText(errno));
    }
    return true;
}

bool WriteTargetFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error,
                     ETargetWrite mode, std::string* written) {
    if (mode == ETargetWrite::KeepExisting)
        return WriteKeepingExisting(path, bytes, error, written);
    if (written != nullptr)
        *written = path;
    QString target;
    int descriptor = -1;
    if (!Follow(path, target, descriptor))
        return Fail(error, SystemErrorText(ELOOP));
    if (descriptor >= 0)
        return WriteDirect(descriptor, false, bytes, error);
    const QFileInfo info(target);
    if (info.isDir())
        return Fail(error, SystemErrorText(EISDIR));
    if (IsSpecial(info)) {
        // Truncating means nothing to a FIFO or a terminal, and seeking fails on them.
        const int fd = OpenExisting(target);
        if (fd < 0)
            return FailSystem(error);
        return WriteDirect(fd, true, bytes, error);
    }
    return WriteReplacing(target, bytes, error);
}

bool AppendWhole(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error) {
    const int fd = OpenForAppending(QString::fromStdString(path));
    if (fd < 0) {
        const int reason = errno;
        if (const std::string kind = PathNotAFileText(path); !kind.empty())
            return Fail(error, kind);
        errno = reason;
        return FailSystem(error);
    }
    if (const std::string kind = NotAFileText(fd); !kind.empty()) {
        CloseFile(fd);
        return Fail(error, kind);
    }
    // Runs that append to the same file take turns, so that what is cut off below is
    // this run's own.
    LockForAppending(fd);
    const int64_t before = FileSize(fd);
    bool ok = WriteAll(fd, bytes) && SyncFile(fd, true);
    int reason = errno;
    if (!ok && before >= 0)
        TruncateFile(fd, before);
    if (!CloseFile(fd) && ok) {
        ok = false;
        reason = errno;
    }
    errno = reason;
    return ok || FailSystem(error);
}

bool WriteBmpFile(const std::string& path, const CImage& image, std::string* error) {
    const std::vector<uint8_t> file = BuildBmpFile(image);
    if (file.empty())
        return Fail(error, "kein Bild zum Speichern");
    return WriteTargetFile(path, file, error);
}

bool WriteTargetFileBy(const std::string& path, const CFillTemporary& fill, std::string* error) {
    QString target;
    int descriptor = -1;
    if (!Follow(path, target, descriptor))
        return Fail(error, SystemErrorText(ELOOP));
    const QFileInfo info(target);
    if (descriptor >= 0 || info.isDir() || IsSpecial(info))
        return Fail(error, "ist keine gewöhnliche Datei; hier wird nur eine Datei geschrieben");
    if (info.exists()) {
        if (IsReadOnlyFile(target.toStdString()))
            return Fail(error, "Datei ist schreibgeschützt");
        if (!info.isWritable())
            return Fail(error, "keine Berechtigung zum Schreiben");
    }
    CTempFile temp;
    if (!temp.Create(info.absolutePath()) || !TakeModeOf(temp.Fd(), target, true))
        return FailSystem(error);
    // The producer writes the file by its name; this descriptor only holds the name.
    const bool closed = CloseFile(temp.Fd());
    temp.Forget();
    std::string why;
    if (!closed)
        return FailSystem(error);
    if (!fill(temp.Name().toStdString(), why))
        return Fail(error, why);
    // What the producer wrote is on the disk before it takes the name.
    const int fd = OpenExisting(temp.Name());
    const bool synced = fd >= 0 && SyncFile(fd, true);
    const int reason = errno;
    if (fd >= 0 && !CloseFile(fd))
        return FailSystem(error);
    errno = reason;
    if (!synced || !ReplaceName(temp.Name(), target))
        return FailSystem(error);
    temp.Named();
    SyncFolder(info.absolutePath());
    return true;
}
