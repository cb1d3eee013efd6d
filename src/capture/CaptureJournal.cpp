#include "capture/CaptureJournal.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "capture/InputFile.h"
#include "capture/TargetFile.h"

namespace {
// Rotated copies looked for at most.
constexpr int kMaxRotations = 1000;

// Something has that name, whatever it is (a link that leads nowhere included).
bool Present(const std::string& path) {
    const QFileInfo info(QString::fromStdString(path));
    return info.exists() || info.isSymLink();
}

// ISO 8601 with the offset from UTC, "+00:00" included, so that lines from both sides of
// a clock change stay in order.
QString IsoTime(const QDateTime& t) {
    const int offset = t.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return t.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) + (offset < 0 ? u'-' : u'+') +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}
}  // namespace

QByteArray JournalLine(const CCaptureEvent& e) {
    QJsonObject o;
    o.insert(QStringLiteral("time"), IsoTime(e.m_time));
    o.insert(QStringLiteral("event"), QString::fromStdString(e.m_sEvent));
    o.insert(QStringLiteral("channel"),
             e.m_iChannel > 0 ? QJsonValue(e.m_iChannel) : QJsonValue(QJsonValue::Null));
    o.insert(QStringLiteral("width"), e.m_nWidth);
    o.insert(QStringLiteral("height"), e.m_nHeight);
    o.insert(QStringLiteral("mode"), e.m_iMode);
    o.insert(QStringLiteral("colour"), e.m_bColour);
    o.insert(QStringLiteral("bytes"), static_cast<qint64>(e.m_nBytes));
    const double seconds = std::round(e.m_dSeconds * 1000) / 1000;
    o.insert(QStringLiteral("seconds"), seconds);
    o.insert(QStringLiteral("bytes_per_second"),
             seconds > 0
                 ? static_cast<qint64>(std::llround(static_cast<double>(e.m_nBytes) / seconds))
                 : qint64{0});
    o.insert(QStringLiteral("tries"), e.m_nTries);
    o.insert(QStringLiteral("result"), QString::fromStdString(e.m_sResult));
    if (!e.m_sFile.empty())
        o.insert(QStringLiteral("file"), QString::fromStdString(e.m_sFile));
    if (!e.m_sMessage.empty())
        o.insert(QStringLiteral("message"), QString::fromStdString(e.m_sMessage));
    if (!e.m_sModem.empty())
        o.insert(QStringLiteral("modem"), QString::fromStdString(e.m_sModem));
    if (!e.m_sSite.empty())
        o.insert(QStringLiteral("site"), QString::fromStdString(e.m_sSite));
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

namespace {
double Rounded(double seconds) {
    return std::round(seconds * 1000) / 1000;
}

bool AppendLine(const std::string& path, const QByteArray& line, std::string* error) {
    if (!MakeFolders(QFileInfo(QString::fromStdString(path)).absolutePath().toStdString(), error))
        return false;
    return AppendWhole(path, std::vector<uint8_t>(line.begin(), line.end()), error);
}
}  // namespace

bool AppendJournal(const std::string& path, const CCaptureEvent& event, std::string* error) {
    return AppendLine(path, JournalLine(event), error);
}

QByteArray JournalLine(const CRoundEvent& e) {
    QJsonObject o;
    o.insert(QStringLiteral("time"), IsoTime(e.m_time));
    o.insert(QStringLiteral("event"), QStringLiteral("round"));
    o.insert(QStringLiteral("device"), QString::fromStdString(e.m_sDevice));
    if (!e.m_sSite.empty())
        o.insert(QStringLiteral("site"), QString::fromStdString(e.m_sSite));
    o.insert(QStringLiteral("dial_seconds"), Rounded(e.m_dDialSeconds));
    o.insert(QStringLiteral("offhook_seconds"), Rounded(e.m_dOffHookSeconds));
    o.insert(QStringLiteral("pictures_ok"), e.m_nPicturesOk);
    o.insert(QStringLiteral("pictures_failed"), e.m_nPicturesFailed);
    o.insert(QStringLiteral("bytes"), static_cast<qint64>(e.m_nBytes));
    o.insert(QStringLiteral("result"), QString::fromStdString(e.m_sResult));
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

bool AppendJournal(const std::string& path, const CRoundEvent& event, std::string* error) {
    return AppendLine(path, JournalLine(event), error);
}

bool ReadJournalBackwards(const std::string& path,
                          const std::function<bool(const QByteArray&)>& take, std::string* error) {
    bool more = true;
    std::string why;
    if (!ReadLinesBackwards(path, take, more, &why)) {
        *error = "Journal " + path + " " + why;
        return false;
    }
    // A rotated copy that cannot be read is named; the older ones are read all the same.
    std::string problems;
    for (int n = 1; more && n <= kMaxRotations; ++n) {
        const std::string plain = path + "." + std::to_string(n);
        const std::string packed = plain + ".gz";
        bool read = true;
        std::string copy = plain;
        if (Present(plain)) {
            read = ReadLinesBackwards(plain, take, more, &why);
        } else if (Present(packed)) {
            copy = packed;
            read = ReadGzipLinesBackwards(packed, take, more, &why);
        } else {
            break;
        }
        if (!read)
            problems +=
                (problems.empty() ? "" : "; ") + ("Journal " + copy + " " + why) + "; übersprungen";
    }
    if (!problems.empty())
        *error = problems;
    return problems.empty();
}
