// The system's own calls on Windows: files, signals, serial lines, time, the console and
// where settings live.
#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <utility>
#include <vector>

#include "platform/CloseSignals.h"
#include "platform/ErrorText.h"
#include "platform/Files.h"
#include "platform/SerialPorts.h"
#include "platform/Sockets.h"
#include "platform/StopSignals.h"
#include "platform/System.h"

namespace {

// The error number closest to a Windows error code (GetLastError), so that the same texts
// serve both systems.
int ErrnoOfWindowsError(unsigned long code) {
    switch (code) {
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_ACCESS_DENIED:
            return EACCES;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return ENOENT;
        case ERROR_ALREADY_EXISTS:
        case ERROR_FILE_EXISTS:
            return EEXIST;
        case ERROR_WRITE_PROTECT:
            return EROFS;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return EBUSY;
        case ERROR_FILENAME_EXCED_RANGE:
            return ENAMETOOLONG;
        case ERROR_NOT_SAME_DEVICE:
            return EXDEV;
        default:
            return EIO;
    }
}

void SetErrnoFromWindows() {
    errno = ErrnoOfWindowsError(::GetLastError());
}

const wchar_t* WideName(const QString& name) {
    return reinterpret_cast<const wchar_t*>(name.utf16());
}

std::wstring Wide(const QString& path) {
    return QDir::toNativeSeparators(path).toStdWString();
}

using CStat = struct _stat64;

std::string KindText(const CStat& st) {
    switch (st.st_mode & _S_IFMT) {
        case _S_IFREG:
            return {};
        case _S_IFDIR:
            return "ist ein Ordner, keine Datei";
        case _S_IFIFO:
            return "ist keine Datei, sondern eine FIFO";
        default:
            return "ist keine Datei, sondern ein Gerät";
    }
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

// The last failure: a name that is not there is nothing to remove; anything else is a
// failure with its reason.
ERemoved NotThereOrFailed(std::string& why) {
    const DWORD code = ::GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
        return ERemoved::NotOwn;
    why = SystemErrorText(ErrnoOfWindowsError(code));
    return ERemoved::Failed;
}

}  // namespace

// ---- reading ----

int OpenForReading(const std::string& path) {
    const QString name = QString::fromStdString(path);
    int fd = -1;
    return ::_wsopen_s(&fd, WideName(name), _O_RDONLY | _O_BINARY, _SH_DENYNO, 0) == 0 ? fd : -1;
}

std::string NotAFileText(int fd) {
    CStat st{};
    if (::_fstat64(fd, &st) != 0)
        return "nicht lesbar: " + SystemErrorText(errno);
    return KindText(st);
}

std::string PathNotAFileText(const std::string& path) {
    const QString name = QString::fromStdString(path);
    CStat st{};
    return ::_wstat64(WideName(name), &st) == 0 ? KindText(st) : std::string();
}

// ---- writing ----

int OpenExisting(const QString& name) {
    int fd = -1;
    return ::_wsopen_s(&fd, WideName(name), _O_WRONLY | _O_BINARY, _SH_DENYNO, 0) == 0 ? fd : -1;
}

int CreateNew(const QString& name) {
    int fd = -1;
    return ::_wsopen_s(&fd, WideName(name), _O_WRONLY | _O_BINARY | _O_CREAT | _O_EXCL, _SH_DENYNO,
                       _S_IREAD | _S_IWRITE) == 0
               ? fd
               : -1;
}

int OpenForAppending(const QString& name) {
    int fd = -1;
    return ::_wsopen_s(&fd, WideName(name), _O_WRONLY | _O_APPEND | _O_CREAT | _O_BINARY,
                       _SH_DENYNO, _S_IREAD | _S_IWRITE) == 0
               ? fd
               : -1;
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const int chunk = static_cast<int>(std::min<size_t>(size, 1u << 30));
        const int done = ::_write(fd, data, static_cast<unsigned>(chunk));
        if (done < 0)
            return false;
        if (done == 0) {
            errno = EIO;
            return false;
        }
        data += done;
        size -= static_cast<size_t>(done);
    }
    return true;
}

bool SyncFile(int fd, bool mustHaveDisk) {
    if (::_commit(fd) == 0)
        return true;
    return !mustHaveDisk && errno == EBADF;
}

bool CloseFile(int fd) {
    return ::_close(fd) == 0;
}

void RemoveFile(const QString& name) {
    ::_wunlink(WideName(name));
}

bool TakeModeOf(int, const QString&, bool) {
    // Access follows the folder's permissions.
    return true;
}

bool ReplaceName(const QString& temp, const QString& target) {
    if (::MoveFileExW(WideName(temp), WideName(target),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    SetErrnoFromWindows();
    return false;
}

int ClaimName(const QString& temp, const QString& name) {
    // Without MOVEFILE_REPLACE_EXISTING the move fails on a name that exists.
    if (::MoveFileExW(WideName(temp), WideName(name), MOVEFILE_WRITE_THROUGH))
        return 1;
    const DWORD e = ::GetLastError();
    if (e == ERROR_ALREADY_EXISTS || e == ERROR_FILE_EXISTS)
        return 0;
    SetErrnoFromWindows();
    return -1;
}

void SyncFolder(const QString&) {
    // Every move was made with MOVEFILE_WRITE_THROUGH.
}

bool MakeFolder(const QString& folder) {
    return ::_wmkdir(WideName(folder)) == 0;
}

void LockForAppending(int) {
    // Other runs that append to the same file are not held off here.
}

int64_t FileSize(int fd) {
    return ::_filelengthi64(fd);
}

bool TruncateFile(int fd, int64_t size) {
    return ::_chsize_s(fd, size) == 0;
}

// ---- removing ----

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

// The folder is held open without letting anybody rename or remove it; each folder on the
// way down is held the same way and must be no link or junction, so that the way cannot
// change while a file is looked at and removed.
struct COpenFolder::CState {
    explicit CState(HANDLE root) : m_root(root) {}
    CHandle m_root;
    std::wstring m_sBase;
};

COpenFolder::COpenFolder(const QString& root)
    : m_pState(new CState(::CreateFileW(Wide(root).c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr))) {
    wchar_t final[MAX_PATH * 4];
    const DWORD size = m_pState->m_root.Valid()
                           ? ::GetFinalPathNameByHandleW(m_pState->m_root.Get(), final,
                                                         MAX_PATH * 4, FILE_NAME_NORMALIZED)
                           : 0;
    if (size > 0 && size < MAX_PATH * 4)
        m_pState->m_sBase.assign(final, size);
}

COpenFolder::~COpenFolder() = default;

bool COpenFolder::IsOpen() const {
    return !m_pState->m_sBase.empty();
}

ERemoved COpenFolder::RemoveIf(const QStringList& parts,
                               const std::function<bool(const CFileId&)>& folderOk,
                               const std::function<bool(const CFileSeen&)>& fileOk,
                               std::string& why) const {
    std::vector<CHandle> held;
    std::wstring path = m_pState->m_sBase;
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
        path += L'\\' + parts[i].toStdWString();
        CHandle folder(::CreateFileW(
            path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        BY_HANDLE_FILE_INFORMATION info{};
        if (!folder.Valid() || !::GetFileInformationByHandle(folder.Get(), &info))
            return NotThereOrFailed(why);
        if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
            (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || !folderOk(IdOf(info)))
            return ERemoved::NotOwn;
        held.push_back(std::move(folder));
    }
    path += L'\\' + parts.back().toStdWString();
    const CHandle file(::CreateFileW(path.c_str(), GENERIC_READ | DELETE, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file.Valid() || !::GetFileInformationByHandle(file.Get(), &info))
        return NotThereOrFailed(why);
    char head[8];
    DWORD got = 0;
    if ((info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
        ::GetFileType(file.Get()) != FILE_TYPE_DISK ||
        !::ReadFile(file.Get(), head, sizeof head, &got, nullptr))
        return ERemoved::NotOwn;
    const CFileSeen seen{IdOf(info), UnixSeconds(info.ftLastWriteTime),
                         QByteArray(head, static_cast<qsizetype>(got))};
    if (!fileOk(seen))
        return ERemoved::NotOwn;
    // Removed as the handle closes: the very file that was looked at.
    FILE_DISPOSITION_INFO dispose{TRUE};
    if (!::SetFileInformationByHandle(file.Get(), FileDispositionInfo, &dispose, sizeof dispose))
        return NotThereOrFailed(why);
    return ERemoved::Yes;
}

// ---- signals ----

struct CStopSignals::CSaved {
    void (*m_pInt)(int) = SIG_DFL;
    void (*m_pTerm)(int) = SIG_DFL;
};

CStopSignals::CStopSignals() : m_pSaved(new CSaved) {
    Reset();
    m_pSaved->m_pInt = std::signal(SIGINT, StopHandler());
    m_pSaved->m_pTerm = std::signal(SIGTERM, StopHandler());
}

CStopSignals::~CStopSignals() {
    std::signal(SIGINT, m_pSaved->m_pInt);
    std::signal(SIGTERM, m_pSaved->m_pTerm);
}

// Windows ends a session with a close message to the window, which closes it as
// "Beenden" does.
CCloseSignals::CCloseSignals(std::function<void()> onSignal, QObject* parent)
    : QObject(parent), m_fnOnSignal(std::move(onSignal)) {}

CCloseSignals::~CCloseSignals() = default;

void CCloseSignals::Take() {}

// ---- serial lines ----

bool PortsHaveSystemNames() {
    return true;
}

CPortName ResolvePort(int port, const std::string&) {
    return {"COM" + std::to_string(port), EPortSource::System};
}

bool RequestLowLatency(intptr_t, CSerialDriver*) {
    return false;
}

bool LockSerialLine(intptr_t) {
    // The port is opened for this process alone.
    return true;
}

bool SerialDeviceHeld(const std::string&, bool permissionRefused) {
    // A port that is there but refused is held.
    return permissionRefused;
}

bool SerialLineGone(intptr_t, const std::string&, bool resourceFailed) {
    return resourceFailed;
}

bool OffersOneAndHalfStopBits() {
    return true;
}

// ---- time, console, settings ----

std::tm LocalTime(std::time_t t) {
    std::tm local{};
    localtime_s(&local, &t);
    return local;
}

bool ErrorOutputIsTerminal() {
    return ::_isatty(2) != 0;
}

bool SettingsInRegistry() {
    return true;
}

// Nothing blocks the settings store's reading here: it is asked where its files are.
std::string UserIniFile(const std::string& organisation, const std::string& name) {
    return QSettings(QSettings::IniFormat, QSettings::UserScope,
                     QString::fromStdString(organisation), QString::fromStdString(name))
        .fileName()
        .toStdString();
}

std::vector<std::string> SystemIniFiles(const std::string& organisation, const std::string& name) {
    return {QSettings(QSettings::IniFormat, QSettings::SystemScope,
                      QString::fromStdString(organisation), QString::fromStdString(name))
                .fileName()
                .toStdString()};
}

std::vector<std::string> NativeSettingsFiles(const std::string&, const std::string&) {
    return {};
}

// ---- sockets ----

// Windows has no per-read request for a quick acknowledgement.
void RequestQuickAck(intptr_t) {}

// ---- searching ----

const char* LastByteOf(const char* data, size_t size, char byte) {
    for (size_t i = size; i > 0; --i)
        if (data[i - 1] == byte)
            return data + i - 1;
    return nullptr;
}
