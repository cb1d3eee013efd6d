#include "app/TargetFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QString>
#include <QTemporaryFile>
#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "image/Bmp.h"
#include "image/Image.h"

namespace {

// Links followed at most before the path counts as a loop.
constexpr int kMaxLinks = 40;
// Numbered names tried after the name itself before a picture counts as unsaveable.
constexpr int kMaxNumbered = 9999;

bool Fail(std::string* error, const QString& text) {
    if (error != nullptr)
        *error = text.toStdString();
    return false;
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

bool WriteAll(QIODevice& device, const std::vector<uint8_t>& bytes) {
    const char* data = reinterpret_cast<const char*>(bytes.data());
    qint64 left = static_cast<qint64>(bytes.size());
    while (left > 0) {
        const qint64 done = device.write(data, left);
        if (done <= 0)
            return false;
        data += done;
        left -= done;
    }
    return true;
}

// Straight into what is there: a descriptor, a FIFO, a terminal or a device.
bool WriteDirect(QFile& file, const std::vector<uint8_t>& bytes, std::string* error) {
    if (!WriteAll(file, bytes) || !file.flush())
        return Fail(error, file.errorString());
    return true;
}

// ---- the steps of a write that keeps what exists, as each platform offers them ----

QString LastSystemError() {
#ifdef _WIN32
    return QStringLiteral("system error %1").arg(::GetLastError());
#else
    return QString::fromLocal8Bit(std::strerror(errno));
#endif
}

// Gives a file made private by its temporary creation the mode a newly created file gets.
bool SetNewFileMode(int fd) {
#ifdef _WIN32
    (void)fd;  // access follows the folder's permissions
    return true;
#else
    // What the umask leaves of read and write for everybody.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return ::fchmod(fd, 0666 & ~mask) == 0;
#endif
}

// Puts the file's bytes on the disk.
bool SyncFile(int fd) {
#ifdef _WIN32
    return ::FlushFileBuffers(reinterpret_cast<HANDLE>(::_get_osfhandle(fd))) != 0;
#else
    return ::fsync(fd) == 0;
#endif
}

// Gives the complete temporary file the name unless something of that name exists:
// 1 done, 0 the name is taken, -1 failed (LastSystemError says why). Either way nothing
// that exists is touched.
int ClaimName(const QString& temp, const QString& name) {
#ifdef _WIN32
    // Without MOVEFILE_REPLACE_EXISTING the move fails on a name that exists.
    if (::MoveFileExW(reinterpret_cast<LPCWSTR>(temp.utf16()),
                      reinterpret_cast<LPCWSTR>(name.utf16()), MOVEFILE_WRITE_THROUGH))
        return 1;
    const DWORD e = ::GetLastError();
    return e == ERROR_ALREADY_EXISTS || e == ERROR_FILE_EXISTS ? 0 : -1;
#else
    const QByteArray from = QFile::encodeName(temp);
    const QByteArray to = QFile::encodeName(name);
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 1;
    if (errno == EEXIST)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return -1;
    // A filesystem without that rename: a hard link claims the name just as atomically.
    if (::link(from.constData(), to.constData()) == 0) {
        ::unlink(from.constData());
        return 1;
    }
    return errno == EEXIST ? 0 : -1;
#endif
}

bool WriteKeepingExisting(const std::string& path, const std::vector<uint8_t>& bytes,
                          std::string* error, std::string* written) {
    const QFileInfo info(QString::fromStdString(path));
    if (info.fileName().isEmpty())
        return Fail(error, QStringLiteral("no file name"));
    // Hidden, in the target's folder so that the final step is a rename; removed by its
    // destructor on every way out that did not give it its name.
    QTemporaryFile temp(info.absolutePath() + QStringLiteral("/.pixlane-XXXXXX.part"));
    if (!temp.open())
        return Fail(error, temp.errorString());
    if (!SetNewFileMode(temp.handle()))
        return Fail(error, LastSystemError());
    if (!WriteAll(temp, bytes) || !temp.flush())
        return Fail(error, temp.errorString());
    if (!SyncFile(temp.handle()))
        return Fail(error, LastSystemError());
    temp.close();
    const std::string target = info.absoluteFilePath().toStdString();
    for (int n = 0; n <= kMaxNumbered; ++n) {
        const std::string name = NumberedName(target, n);
        const int claimed = ClaimName(temp.fileName(), QString::fromStdString(name));
        if (claimed < 0)
            return Fail(error, LastSystemError());
        if (claimed > 0) {
            temp.setAutoRemove(false);
            if (written != nullptr)
                *written = name;
            return true;
        }
    }
    return Fail(error, QStringLiteral("no free name up to -%1").arg(kMaxNumbered));
}

}  // namespace

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

bool WriteTargetFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error,
                     ETargetWrite mode, std::string* written) {
    if (mode == ETargetWrite::KeepExisting)
        return WriteKeepingExisting(path, bytes, error, written);
    if (written != nullptr)
        *written = path;
    QString target;
    int descriptor = -1;
    if (!Follow(path, target, descriptor))
        return Fail(error, QStringLiteral("too many levels of symbolic links"));
    if (descriptor >= 0) {
        QFile file;
        if (!file.open(descriptor, QIODevice::WriteOnly, QFileDevice::DontCloseHandle))
            return Fail(error, file.errorString());
        return WriteDirect(file, bytes, error);
    }
    const QFileInfo info(target);
    if (info.isDir())
        return Fail(error, QStringLiteral("is a directory"));
    if (info.exists() && !info.isFile()) {
        // Truncating means nothing to a FIFO or a terminal, and seeking fails on them.
        QFile file(target);
        if (!file.open(QIODevice::WriteOnly | QIODevice::ExistingOnly))
            return Fail(error, file.errorString());
        return WriteDirect(file, bytes, error);
    }
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly))
        return Fail(error, file.errorString());
    if (!WriteAll(file, bytes)) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return Fail(error, reason);
    }
    if (!file.commit())
        return Fail(error, file.errorString());
    return true;
}

bool WriteBmpFile(const std::string& path, const CImage& image, std::string* error) {
    const std::vector<uint8_t> file = BuildBmpFile(image);
    if (file.empty())
        return Fail(error, QStringLiteral("no image to write"));
    return WriteTargetFile(path, file, error);
}
