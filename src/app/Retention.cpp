#include "app/Retention.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStorageInfo>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <set>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "app/ErrorText.h"
#include "app/NamePattern.h"
#include "app/Report.h"
#include "link/PrintableText.h"

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// The digits a value begins with (at most max of them) and the unit after them.
bool SplitUnit(const std::string& text, size_t max, unsigned long long& number, std::string& unit) {
    size_t digits = 0;
    while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits])))
        ++digits;
    if (digits == 0 || digits > max)
        return false;
    number = std::strtoull(text.substr(0, digits).c_str(), nullptr, 10);
    unit = text.substr(digits);
    return number > 0;
}

// A picture is on the disk a little after its journal line's time and its transfer: the
// save, and the removals before it, take their time too.
constexpr int64_t kWriteMarginSeconds = 5 * 60;
// No transfer takes longer than this, whatever a line says.
constexpr double kMaxTransferSeconds = 6 * 3600;
// Rotated copies of a journal looked for at most, as the journal reader does.
constexpr int kMaxRotatedCopies = 1000;

// Whether the path is the folder or below it; both clean and absolute.
bool Below(const QString& path, const QString& folder) {
    return path == folder || path.startsWith(folder.endsWith(u'/') ? folder : folder + u'/');
}

QString AbsoluteClean(const std::string& path) {
    return QDir::cleanPath(QFileInfo(Q(path)).absoluteFilePath());
}

// Whether the first bytes of a file are those of a BMP or a PNG file.
bool IsPictureStart(const char* head, size_t size) {
    static const char kPng[] = "\x89PNG\r\n\x1a\n";
    return (size >= 2 && head[0] == 'B' && head[1] == 'M') ||
           (size >= 8 && std::equal(head, head + 8, kPng));
}

// What a file or folder is, whatever name it has.
struct CFileId {
    uint64_t m_nDevice = 0;
    uint64_t m_nFile = 0;
    bool operator==(const CFileId&) const = default;
};

// What is never removed, whatever its name: the journal and its rotated copies, the
// latest copy, the metrics file; and nothing below the status page's folder.
struct CNotPictures {
    std::vector<QString> m_paths;
    std::vector<CFileId> m_files;
    QString m_sReport;
    std::optional<CFileId> m_report;

    bool Holds(const CFileId& id) const {
        return std::find(m_files.begin(), m_files.end(), id) != m_files.end();
    }
};

enum class ERemoved { Yes, NotOwn, Failed };

// ---- the file system, as each platform offers it ----

#ifdef _WIN32

std::wstring Wide(const QString& path) {
    return QDir::toNativeSeparators(path).toStdWString();
}

class CHandle {
  public:
    explicit CHandle(HANDLE handle) : m_h(handle) {}
    CHandle(CHandle&& other) noexcept : m_h(std::exchange(other.m_h, INVALID_HANDLE_VALUE)) {}
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;
    ~CHandle() {
        if (Valid())
            ::CloseHandle(m_h);
    }
    bool Valid() const { return m_h != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return m_h; }

  private:
    HANDLE m_h;
};

CFileId IdOf(const BY_HANDLE_FILE_INFORMATION& info) {
    return {info.dwVolumeSerialNumber,
            (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

int64_t UnixSeconds(const FILETIME& time) {
    const uint64_t ticks = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return (static_cast<int64_t>(ticks) - 116444736000000000LL) / 10000000;
}

bool FileIdOf(const QString& path, CFileId& id) {
    const CHandle h(::CreateFileW(Wide(path).c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!h.Valid() || !::GetFileInformationByHandle(h.Get(), &info))
        return false;
    id = IdOf(info);
    return true;
}

// The last failure: a name that is not there is no picture of ours; anything else is a
// failure with its reason.
ERemoved NotThereOrFailed(std::string& why) {
    const DWORD code = ::GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
        return ERemoved::NotOwn;
    why = SystemErrorText(ErrnoOfWindowsError(code));
    return ERemoved::Failed;
}

// The folder, held open without letting anybody rename or remove it; each folder on the
// way down is held the same way and must be no link or junction, so that the way cannot
// change while a file is looked at and removed.
class CPictureFolder {
  public:
    explicit CPictureFolder(const QString& root)
        : m_root(::CreateFileW(Wide(root).c_str(), FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS, nullptr)) {
        wchar_t final[MAX_PATH * 4];
        const DWORD size = m_root.Valid()
                               ? ::GetFinalPathNameByHandleW(m_root.Get(), final, MAX_PATH * 4,
                                                             FILE_NAME_NORMALIZED)
                               : 0;
        if (size > 0 && size < MAX_PATH * 4)
            m_sBase.assign(final, size);
    }
    bool IsOpen() const { return !m_sBase.empty(); }

    ERemoved RemoveIfOwn(const QStringList& parts, int64_t writtenBy, const CNotPictures& others,
                         std::string& why) const {
        std::vector<CHandle> held;
        std::wstring path = m_sBase;
        for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
            path += L'\\' + parts[i].toStdWString();
            CHandle folder(::CreateFileW(
                path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
            BY_HANDLE_FILE_INFORMATION info{};
            if (!folder.Valid() || !::GetFileInformationByHandle(folder.Get(), &info))
                return NotThereOrFailed(why);
            if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
                (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
                others.m_report == IdOf(info))
                return ERemoved::NotOwn;
            held.push_back(std::move(folder));
        }
        path += L'\\' + parts.back().toStdWString();
        const CHandle file(::CreateFileW(path.c_str(), GENERIC_READ | DELETE, FILE_SHARE_READ,
                                         nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT,
                                         nullptr));
        BY_HANDLE_FILE_INFORMATION info{};
        if (!file.Valid() || !::GetFileInformationByHandle(file.Get(), &info))
            return NotThereOrFailed(why);
        char head[8];
        DWORD got = 0;
        if ((info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
            ::GetFileType(file.Get()) != FILE_TYPE_DISK ||
            UnixSeconds(info.ftLastWriteTime) > writtenBy || others.Holds(IdOf(info)) ||
            !::ReadFile(file.Get(), head, sizeof head, &got, nullptr) || !IsPictureStart(head, got))
            return ERemoved::NotOwn;
        // Removed as the handle closes: the very file that was looked at.
        FILE_DISPOSITION_INFO dispose{TRUE};
        if (!::SetFileInformationByHandle(file.Get(), FileDispositionInfo, &dispose,
                                          sizeof dispose))
            return NotThereOrFailed(why);
        return ERemoved::Yes;
    }

  private:
    CHandle m_root;
    std::wstring m_sBase;
};

#else

CFileId IdOf(const struct stat& st) {
    return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

bool FileIdOf(const QString& path, CFileId& id) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    id = IdOf(st);
    return true;
}

// A descriptor closed when it goes.
class CFd {
  public:
    explicit CFd(int fd) : m_nFd(fd) {}
    CFd(CFd&& other) noexcept : m_nFd(std::exchange(other.m_nFd, -1)) {}
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;
    ~CFd() {
        if (m_nFd >= 0)
            ::close(m_nFd);
    }
    int Get() const { return m_nFd; }

  private:
    int m_nFd;
};

// The last failure: a name that is not there, or is a link or no folder where the way goes
// on, is no picture of ours; anything else is a failure with its reason.
ERemoved NotThereOrFailed(std::string& why) {
    if (errno == ENOENT || errno == ENOTDIR || errno == ELOOP)
        return ERemoved::NotOwn;
    why = SystemErrorText(errno);
    return ERemoved::Failed;
}

// The folder, opened once; every way down from it is taken without following a link, so
// that a folder swapped for a link meanwhile leads nowhere.
class CPictureFolder {
  public:
    explicit CPictureFolder(const QString& root)
        : m_root(::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}
    bool IsOpen() const { return m_root.Get() >= 0; }

    ERemoved RemoveIfOwn(const QStringList& parts, int64_t writtenBy, const CNotPictures& others,
                         std::string& why) const {
        std::vector<CFd> way;
        int at = m_root.Get();
        for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
            CFd folder(::openat(at, QFile::encodeName(parts[i]).constData(),
                                O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            struct stat st {};
            if (folder.Get() < 0 || ::fstat(folder.Get(), &st) != 0)
                return NotThereOrFailed(why);
            if (others.m_report == IdOf(st))
                return ERemoved::NotOwn;
            at = folder.Get();
            way.push_back(std::move(folder));
        }
        const QByteArray name = QFile::encodeName(parts.back());
        struct stat st {};
        if (::fstatat(at, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return NotThereOrFailed(why);
        if (!S_ISREG(st.st_mode) || st.st_mtime > writtenBy || others.Holds(IdOf(st)))
            return ERemoved::NotOwn;
        {
            // Not blocking: what is no regular file any more is not waited for.
            const CFd file(::openat(at, name.constData(),
                                    O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
            struct stat opened {};
            if (file.Get() < 0 || ::fstat(file.Get(), &opened) != 0)
                return NotThereOrFailed(why);
            if (!S_ISREG(opened.st_mode) || !(IdOf(opened) == IdOf(st)))
                return ERemoved::NotOwn;
            char head[8];
            ssize_t got;
            do
                got = ::read(file.Get(), head, sizeof head);
            while (got < 0 && errno == EINTR);
            if (got < 0 || !IsPictureStart(head, static_cast<size_t>(got)))
                return ERemoved::NotOwn;
        }
        if (::unlinkat(at, name.constData(), 0) != 0)
            return NotThereOrFailed(why);
        return ERemoved::Yes;
    }

  private:
    CFd m_root;
};

#endif

}  // namespace

bool ParseKeepDuration(const std::string& text, int64_t& seconds) {
    unsigned long long number = 0;
    std::string unit;
    if (!SplitUnit(text, 9, number, unit))
        return false;
    const unsigned long long factor = unit.empty() || unit == "m" ? 60
                                      : unit == "s"               ? 1
                                      : unit == "h"               ? 3600
                                      : unit == "d"               ? 24 * 3600
                                                                  : 0;
    if (factor == 0 || number * factor > static_cast<unsigned long long>(kMaxKeepSeconds))
        return false;
    seconds = static_cast<int64_t>(number * factor);
    return true;
}

bool ParseFreeSize(const std::string& text, uint64_t& bytes) {
    unsigned long long number = 0;
    std::string unit;
    if (!SplitUnit(text, 6, number, unit))
        return false;
    const int shift = unit.empty()  ? 0
                      : unit == "K" ? 10
                      : unit == "M" ? 20
                      : unit == "G" ? 30
                      : unit == "T" ? 40
                                    : -1;
    if (shift < 0)
        return false;
    bytes = number << shift;
    return true;
}

std::string CRetention::Place(const std::string& folder, const std::string& pattern) {
    m_sFolder.clear();
    m_pNames.reset();
    const std::string shown = "Das Namensmuster \"" + PrintableText(pattern) + "\"";
    const QString given = Q(pattern);
    if (!given.endsWith(QStringLiteral(".bmp"), Qt::CaseInsensitive) &&
        !given.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive))
        return shown + " gibt keine Namen auf .bmp oder .png; gelöscht werden nur solche Bilder.";
    QString full = given;
    if (QDir::isRelativePath(full)) {
        QString start = full;
        while (start.startsWith(QStringLiteral("./")))
            start.remove(0, 2);
        // Its first folder would be any folder the working folder holds.
        const bool fieldFirst = start.startsWith(u'{') ||
                                (start.startsWith(u'%') && !start.startsWith(QStringLiteral("%%")));
        if (folder.empty() && fieldFirst)
            return shown +
                   " beginnt mit einem Feld und nennt keinen Ordner; gelöscht wird nur unter "
                   "einem genannten Ordner (--folder DIR, oder ein fester erster Ordner wie in "
                   "bilder/%Y/...).";
        full = QDir(folder.empty() ? QDir::currentPath() : Q(folder)).absoluteFilePath(full);
    }
    // The fixed folders before the first field, and below them the names.
    const qsizetype field = full.indexOf(QRegularExpression(QStringLiteral("[%{]")));
    const qsizetype slash = full.lastIndexOf(u'/', field < 0 ? -1 : field);
    const QString root = QDir::cleanPath(full.left(slash + 1));
    if (QDir(root).isRoot())
        return shown + " beginnt im Wurzelordner " + root.toStdString() +
               "; dort wird nichts gelöscht.";
    QStringList names;
    for (const QString& part : full.mid(slash + 1).split(u'/')) {
        if (part == QStringLiteral(".."))
            return shown +
                   " enthält nach seinem ersten Feld \"..\"; seine Bilder sind nicht "
                   "sicher zu finden.";
        if (!part.isEmpty() && part != QStringLiteral("."))
            names.push_back(part);
    }
    if (!m_sReport.empty()) {
        const QString report = AbsoluteClean(m_sReport);
        if (Below(root, report))
            return "Die Bilder (" + root.toStdString() + ") liegen im Ordner der Statusseite (" +
                   report.toStdString() +
                   "), unter dem nichts gelöscht wird; die Seite gehört in einen eigenen Ordner.";
    }
    auto regex = std::make_shared<QRegularExpression>(
        QRegularExpression::anchoredPattern(Q(NamePatternRegex(names.join(u'/').toStdString()))));
    if (!regex->isValid())
        return shown + " lässt sich nicht in Namen übersetzen.";
    m_sFolder = root.toStdString();
    m_pNames = std::move(regex);
    return {};
}

void CRetention::Load(const std::string& journal) {
    m_saved.clear();
    m_sJournal = journal;
    if (!QFileInfo(Q(journal)).isFile())
        return;
    // Newest first: a name's newest line decides. A removal line stands after the save it
    // undoes, and a save under a name used before stands after the older save.
    std::set<std::string> decided;
    std::string error;
    ReadJournalBackwards(
        journal,
        [&](const QByteArray& line) {
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            const QString named = o.value(u"file").toString();
            const QString event = o.value(u"event").toString();
            const QString result = o.value(u"result").toString();
            if (named.isEmpty())
                return true;
            // One name, however a line spells it.
            const std::string file = QDir::cleanPath(named).toStdString();
            if (event == u"removed" && result == u"ok") {
                decided.insert(file);
            } else if (event == u"picture" && (result == u"ok" || result == u"latest_failed")) {
                const QDateTime time =
                    QDateTime::fromString(o.value(u"time").toString(), Qt::ISODate);
                const double seconds = o.value(u"seconds").toDouble();
                if (!time.isValid() || !decided.insert(file).second)
                    return true;
                const double transfer =
                    std::isfinite(seconds) ? std::clamp(seconds, 0.0, kMaxTransferSeconds) : 0.0;
                m_saved.push_back({time,
                                   time.toSecsSinceEpoch() +
                                       static_cast<int64_t>(std::ceil(transfer)) +
                                       kWriteMarginSeconds,
                                   file});
            }
            return true;
        },
        &error);
    std::reverse(m_saved.begin(), m_saved.end());
    std::stable_sort(m_saved.begin(), m_saved.end(),
                     [](const CSaved& a, const CSaved& b) { return a.m_time < b.m_time; });
}

void CRetention::Saved(const std::string& file, const QDateTime& when) {
    // A name used again: the picture there now is this one.
    std::erase_if(m_saved, [&](const CSaved& s) { return s.m_sFile == file; });
    const QDateTime written = QFileInfo(Q(file)).lastModified();
    if (when.isValid() && written.isValid())
        m_saved.push_back({when, written.toSecsSinceEpoch(), file});
}

uint64_t CRetention::FreeBytes() const {
    if (m_fnFreeBytes)
        return m_fnFreeBytes(m_sFolder);
    const QStorageInfo storage(Q(m_sFolder));
    return storage.isValid() ? static_cast<uint64_t>(storage.bytesAvailable()) : UINT64_MAX;
}

std::vector<CCaptureEvent> CRetention::Prune(const QDateTime& now) {
    std::vector<CCaptureEvent> events;
    if (!m_pNames || m_saved.empty() ||
        !((m_nKeepSeconds > 0 && m_saved.front().m_time.secsTo(now) > m_nKeepSeconds) ||
          (m_nMinFreeBytes > 0 && FreeBytes() < m_nMinFreeBytes)))
        return events;
    const QString root = Q(m_sFolder);
    // Looked at anew each time: the journal may have been rotated, the latest copy made.
    CNotPictures others;
    const auto add = [&others](const std::string& path) {
        if (path.empty())
            return;
        others.m_paths.push_back(AbsoluteClean(path));
        CFileId id;
        if (FileIdOf(others.m_paths.back(), id))
            others.m_files.push_back(id);
    };
    for (const std::string& path : {m_sJournal, m_sLatest, m_sMetrics})
        add(path);
    for (int n = 1; !m_sJournal.empty() && n <= kMaxRotatedCopies; ++n) {
        const std::string copy = m_sJournal + "." + std::to_string(n);
        if (QFileInfo::exists(Q(copy)))
            add(copy);
        else if (QFileInfo::exists(Q(copy + ".gz")))
            add(copy + ".gz");
        else
            break;
    }
    if (!m_sReport.empty()) {
        others.m_sReport = AbsoluteClean(m_sReport);
        CFileId id;
        if (FileIdOf(others.m_sReport, id))
            others.m_report = id;
    }
    // A folder that is not there holds no picture to remove.
    const CPictureFolder folder(root);
    if (!folder.IsOpen())
        return events;

    const auto remove = [&](const CSaved& saved, const std::string& reason) {
        const QString file = QDir::cleanPath(Q(saved.m_sFile));
        const bool inside = QDir::isAbsolutePath(file) && file != root && Below(file, root);
        const QString name =
            inside ? file.mid(root.size() + (root.endsWith(u'/') ? 0 : 1)) : QString();
        if (!inside || !m_pNames->match(name).hasMatch() ||
            std::find(others.m_paths.begin(), others.m_paths.end(), file) != others.m_paths.end() ||
            (!others.m_sReport.isEmpty() && Below(file, others.m_sReport)))
            return;
        std::string why;
        const ERemoved removed =
            folder.RemoveIfOwn(name.split(u'/'), saved.m_nWrittenBy, others, why);
        if (removed == ERemoved::NotOwn)
            return;
        CCaptureEvent e;
        e.m_time = now;
        e.m_sEvent = "removed";
        e.m_sFile = saved.m_sFile;
        e.m_sResult = removed == ERemoved::Yes ? "ok" : "failed";
        e.m_sMessage =
            removed == ERemoved::Yes ? "Bild gelöscht: " + reason : "Bild nicht gelöscht: " + why;
        events.push_back(e);
    };
    size_t gone = 0;
    if (m_nKeepSeconds > 0)
        while (gone < m_saved.size() && m_saved[gone].m_time.secsTo(now) > m_nKeepSeconds)
            remove(m_saved[gone++], m_sKeepReason);
    if (m_nMinFreeBytes > 0)
        while (gone < m_saved.size() && FreeBytes() < m_nMinFreeBytes)
            remove(m_saved[gone++], m_sMinFreeReason);
    // Removed, failed or not ours: none of them is tried again.
    m_saved.erase(m_saved.begin(), m_saved.begin() + static_cast<std::ptrdiff_t>(gone));
    return events;
}
