#include "app/TargetFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QString>

#include "image/Bmp.h"
#include "image/Image.h"

namespace {

// Links followed at most before the path counts as a loop.
constexpr int kMaxLinks = 40;

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

}  // namespace

int TargetDescriptor(const std::string& path) {
    QString target;
    int descriptor = -1;
    return Follow(path, target, descriptor) ? descriptor : -1;
}

bool WriteTargetFile(const std::string& path, const std::vector<uint8_t>& bytes,
                     std::string* error) {
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
