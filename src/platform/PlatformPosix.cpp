// The system's own calls on POSIX systems (Linux first): files, signals, serial lines,
// time, the terminal and where settings live.
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <utility>
#include <vector>

#ifdef __linux__
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif

#include "platform/CloseSignals.h"
#include "platform/ErrorText.h"
#include "platform/Files.h"
#include "platform/SerialPorts.h"
#include "platform/Sockets.h"
#include "platform/StopSignals.h"
#include "platform/System.h"

namespace {

QByteArray NativeName(const QString& name) {
    return QFile::encodeName(name);
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

std::string KindText(const struct stat& st) {
    if (S_ISREG(st.st_mode))
        return {};
    if (S_ISDIR(st.st_mode))
        return "ist ein Ordner, keine Datei";
    if (S_ISFIFO(st.st_mode))
        return "ist keine Datei, sondern eine FIFO";
    if (S_ISSOCK(st.st_mode))
        return "ist keine Datei, sondern ein Socket";
    return "ist keine Datei, sondern ein Gerät";
}

CFileId IdOf(const struct stat& st) {
    return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

}  // namespace

// ---- reading ----

int OpenForReading(const std::string& path) {
    const QByteArray name = NativeName(QString::fromStdString(path));
    int fd;
    do
        fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    return fd;
}

std::string NotAFileText(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return "nicht lesbar: " + SystemErrorText(errno);
    return KindText(st);
}

std::string PathNotAFileText(const std::string& path) {
    struct stat st {};
    return ::stat(NativeName(QString::fromStdString(path)).constData(), &st) == 0 ? KindText(st)
                                                                                  : std::string();
}

// ---- writing ----

int OpenExisting(const QString& name) {
    int fd;
    do
        fd = ::open(NativeName(name).constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    return fd;
}

int CreateNew(const QString& name) {
    // The umask makes of 0666 what a new file gets.
    return ::open(NativeName(name).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC,
                  0666);
}

int OpenForAppending(const QString& name) {
    // Without waiting: a FIFO with nobody reading it would hold the open for ever.
    return ::open(NativeName(name).constData(),
                  O_WRONLY | O_APPEND | O_CREAT | O_NOCTTY | O_CLOEXEC | O_NONBLOCK, 0666);
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t done = ::write(fd, data, size);
        if (done < 0 && errno == EINTR)
            continue;
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
    if (::fsync(fd) == 0)
        return true;
    return !mustHaveDisk && (errno == EINVAL || errno == ENOTSUP || errno == EOPNOTSUPP);
}

bool CloseFile(int fd) {
    // After EINTR the descriptor is closed already on this system; the write may still have
    // failed, which the sync before has said.
    return ::close(fd) == 0 || errno == EINTR;
}

void RemoveFile(const QString& name) {
    ::unlink(NativeName(name).constData());
}

bool TakeModeOf(int fd, const QString& replaced, bool followLinks) {
    struct stat old {};
    const QByteArray name = NativeName(replaced);
    if ((followLinks ? ::stat(name.constData(), &old) : ::lstat(name.constData(), &old)) != 0)
        return errno == ENOENT;
    if (!followLinks && !S_ISREG(old.st_mode))
        return true;
    // Only root may give a file away; for anybody else the owner stays who writes it.
    if (::fchown(fd, old.st_uid, old.st_gid) != 0 && errno != EPERM)
        return false;
    return ::fchmod(fd, old.st_mode & 07777) == 0;
}

bool ReplaceName(const QString& temp, const QString& target) {
    return ::rename(NativeName(temp).constData(), NativeName(target).constData()) == 0;
}

int ClaimName(const QString& temp, const QString& name) {
    const QByteArray from = NativeName(temp);
    const QByteArray to = NativeName(name);
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 1;
    if (errno == EEXIST)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return -1;
    // A file system without that rename: a hard link claims the name just as atomically.
    if (::link(from.constData(), to.constData()) == 0) {
        ::unlink(from.constData());
        return 1;
    }
    return errno == EEXIST ? 0 : -1;
}

void SyncFolder(const QString& folder) {
    const CFd fd(::open(NativeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.Get() >= 0)
        ::fsync(fd.Get());
}

bool MakeFolder(const QString& folder) {
    return ::mkdir(NativeName(folder).constData(), 0777) == 0;
}

void LockForAppending(int fd) {
    ::flock(fd, LOCK_EX);
}

int64_t FileSize(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

bool TruncateFile(int fd, int64_t size) {
    int rc;
    do
        rc = ::ftruncate(fd, static_cast<off_t>(size));
    while (rc != 0 && errno == EINTR);
    return rc == 0;
}

// ---- removing ----

bool FileIdOf(const QString& path, CFileId& id) {
    struct stat st {};
    if (::stat(NativeName(path).constData(), &st) != 0)
        return false;
    id = IdOf(st);
    return true;
}

namespace {
// The last failure: a name that is not there, or is a link or no folder where the way goes
// on, is nothing to remove; anything else is a failure with its reason.
ERemoved NotThereOrFailed(std::string& why) {
    if (errno == ENOENT || errno == ENOTDIR || errno == ELOOP)
        return ERemoved::NotOwn;
    why = SystemErrorText(errno);
    return ERemoved::Failed;
}
}  // namespace

struct COpenFolder::CState {
    CFd m_root;
};

COpenFolder::COpenFolder(const QString& root)
    : m_pState(new CState{
          CFd(::open(NativeName(root).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))}) {}

COpenFolder::~COpenFolder() = default;

bool COpenFolder::IsOpen() const {
    return m_pState->m_root.Get() >= 0;
}

ERemoved COpenFolder::RemoveIf(const QStringList& parts,
                               const std::function<bool(const CFileId&)>& folderOk,
                               const std::function<bool(const CFileSeen&)>& fileOk,
                               std::string& why) const {
    std::vector<CFd> way;
    int at = m_pState->m_root.Get();
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
        CFd folder(::openat(at, NativeName(parts[i]).constData(),
                            O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        struct stat st {};
        if (folder.Get() < 0 || ::fstat(folder.Get(), &st) != 0)
            return NotThereOrFailed(why);
        if (!folderOk(IdOf(st)))
            return ERemoved::NotOwn;
        at = folder.Get();
        way.push_back(std::move(folder));
    }
    const QByteArray name = NativeName(parts.back());
    struct stat st {};
    if (::fstatat(at, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return NotThereOrFailed(why);
    if (!S_ISREG(st.st_mode))
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
        if (got < 0)
            return ERemoved::NotOwn;
        const CFileSeen seen{IdOf(opened), static_cast<int64_t>(opened.st_mtime),
                             QByteArray(head, static_cast<qsizetype>(got))};
        if (!fileOk(seen))
            return ERemoved::NotOwn;
    }
    if (::unlinkat(at, name.constData(), 0) != 0)
        return NotThereOrFailed(why);
    return ERemoved::Yes;
}

// ---- signals ----

struct CStopSignals::CSaved {
    struct sigaction m_int {};
    struct sigaction m_term {};
};

CStopSignals::CStopSignals() : m_pSaved(new CSaved) {
    Reset();
    struct sigaction action {};
    action.sa_handler = StopHandler();
    sigemptyset(&action.sa_mask);
    // Interrupted reads and writes go on; the run looks at the flag when they return.
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &m_pSaved->m_int);
    ::sigaction(SIGTERM, &action, &m_pSaved->m_term);
}

CStopSignals::~CStopSignals() {
    ::sigaction(SIGINT, &m_pSaved->m_int, nullptr);
    ::sigaction(SIGTERM, &m_pSaved->m_term, nullptr);
}

namespace {
const int kCloseSignals[] = {SIGTERM, SIGHUP, SIGINT};
struct sigaction g_oldClose[std::size(kCloseSignals)];
// The signal handler writes one byte into the pipe, the one thing it may safely do; the
// event loop watches the other end.
int g_nPipe[2] = {-1, -1};

extern "C" void OnCloseSignal(int) {
    const int saved = errno;
    const char byte = 1;
    // A full pipe already holds a request.
    if (::write(g_nPipe[1], &byte, 1) < 0) {
    }
    errno = saved;
}
}  // namespace

CCloseSignals::CCloseSignals(std::function<void()> onSignal, QObject* parent)
    : QObject(parent), m_fnOnSignal(std::move(onSignal)) {
    if (::pipe2(g_nPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        g_nPipe[0] = g_nPipe[1] = -1;
        return;
    }
    m_pNotifier = new QSocketNotifier(g_nPipe[0], QSocketNotifier::Read, this);
    connect(m_pNotifier, &QSocketNotifier::activated, this, [this] { Take(); });
    struct sigaction action {};
    action.sa_handler = OnCloseSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted reads and writes of the line go on.
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(kCloseSignals); ++i)
        ::sigaction(kCloseSignals[i], &action, &g_oldClose[i]);
}

CCloseSignals::~CCloseSignals() {
    if (m_pNotifier == nullptr)
        return;
    for (size_t i = 0; i < std::size(kCloseSignals); ++i)
        ::sigaction(kCloseSignals[i], &g_oldClose[i], nullptr);
    delete m_pNotifier;
    ::close(g_nPipe[0]);
    ::close(g_nPipe[1]);
    g_nPipe[0] = g_nPipe[1] = -1;
}

void CCloseSignals::Take() {
    char bytes[64];
    while (::read(g_nPipe[0], bytes, sizeof bytes) > 0) {
    }
    if (m_fnOnSignal)
        m_fnOnSignal();
}

// ---- serial lines ----

bool PortsHaveSystemNames() {
    return false;
}

CPortName ResolvePort(int port, const std::string& stored) {
    const std::string var = "PIXLANE_COM" + std::to_string(port);
    if (const char* env = std::getenv(var.c_str()); env != nullptr && *env != '\0')
        return {env, EPortSource::Environment};
    if (!stored.empty())
        return {stored, EPortSource::Stored};
    return {"/dev/ttyS" + std::to_string(port - 1), EPortSource::Default};
}

#ifdef __linux__
namespace {
class CSystemSerialDriver : public CSerialDriver {
  public:
    bool Get(int fd, serial_struct& settings) override {
        return ::ioctl(fd, TIOCGSERIAL, &settings) == 0;
    }
    bool Set(int fd, const serial_struct& settings) override {
        return ::ioctl(fd, TIOCSSERIAL, &settings) == 0;
    }
};
}  // namespace

bool RequestLowLatency(intptr_t line, CSerialDriver* driver) {
    const int fd = static_cast<int>(line);
    CSystemSerialDriver system;
    CSerialDriver& used = driver != nullptr ? *driver : system;
    serial_struct settings{};
    if (!used.Get(fd, settings))
        return false;
    if ((settings.flags & ASYNC_LOW_LATENCY) != 0)
        return true;
    settings.flags |= ASYNC_LOW_LATENCY;
    return used.Set(fd, settings);
}
#else
bool RequestLowLatency(intptr_t, CSerialDriver*) {
    return false;
}
#endif

bool LockSerialLine(intptr_t line) {
    const int fd = static_cast<int>(line);
    return fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
}

bool SerialDeviceHeld(const std::string& device, bool permissionRefused) {
    // A terminal held exclusively refuses to open (EBUSY); one that opens all the same was
    // refused for the lock file or the advisory lock another program keeps.
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == EBUSY;
    ::close(fd);
    return permissionRefused;
}

bool SerialLineGone(intptr_t line, const std::string& device, bool) {
    // The back end's error alone does not tell: a hung-up terminal reads as end of file,
    // which it reports with whatever errno was left. A terminal whose device went away is
    // hung up, and its node is usually removed as well.
    pollfd pfd{static_cast<int>(line), POLLIN, 0};
    const bool hungUp =
        ::poll(&pfd, 1, 0) > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    return hungUp || !QFileInfo::exists(QString::fromStdString(device));
}

bool OffersOneAndHalfStopBits() {
    // termios knows one or two stop bits only.
    return false;
}

// ---- time, terminal, settings ----

std::tm LocalTime(std::time_t t) {
    std::tm local{};
    localtime_r(&t, &local);
    return local;
}

bool ErrorOutputIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

bool SettingsInRegistry() {
    return false;
}

namespace {
// The settings store reads a file as soon as it is made for it, so it cannot be asked
// where its files are (a FIFO there would hold it): its folders are those of the XDG base
// directories, as it uses them.
QString UserConfigFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

std::vector<QString> SystemConfigFolders() {
    std::vector<QString> folders;
    for (const QString& folder :
         qEnvironmentVariable("XDG_CONFIG_DIRS").split(u':', Qt::SkipEmptyParts))
        if (std::find(folders.begin(), folders.end(), folder) == folders.end())
            folders.push_back(folder);
    if (folders.empty())
        folders.push_back(QLibraryInfo::path(QLibraryInfo::SettingsPath));
    return folders;
}

std::string FileIn(const QString& folder, const std::string& organisation, const std::string& name,
                   const char* extension) {
    QString path = folder + u'/';
    if (!organisation.empty())
        path += QString::fromStdString(organisation) + u'/';
    return QDir::cleanPath(path + QString::fromStdString(name) + QLatin1String(extension))
        .toStdString();
}
}  // namespace

std::string UserIniFile(const std::string& organisation, const std::string& name) {
    return FileIn(UserConfigFolder(), organisation, name, ".ini");
}

std::vector<std::string> SystemIniFiles(const std::string& organisation, const std::string& name) {
    std::vector<std::string> files;
    for (const QString& folder : SystemConfigFolders())
        if (const std::string file = FileIn(folder, organisation, name, ".ini");
            std::find(files.begin(), files.end(), file) == files.end())
            files.push_back(file);
    return files;
}

std::vector<std::string> NativeSettingsFiles(const std::string& organisation,
                                             const std::string& application) {
    std::vector<std::string> files{FileIn(UserConfigFolder(), organisation, application, ".conf"),
                                   FileIn(UserConfigFolder(), {}, organisation, ".conf")};
    for (const QString& folder : SystemConfigFolders()) {
        files.push_back(FileIn(folder, organisation, application, ".conf"));
        files.push_back(FileIn(folder, {}, organisation, ".conf"));
    }
    return files;
}

// ---- sockets ----

void RequestQuickAck(intptr_t descriptor) {
#ifdef TCP_QUICKACK
    const int on = 1;
    (void)::setsockopt(static_cast<int>(descriptor), IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
#else
    (void)descriptor;
#endif
}

// ---- searching ----

const char* LastByteOf(const char* data, size_t size, char byte) {
    return size == 0 ? nullptr : static_cast<const char*>(::memrchr(data, byte, size));
}
