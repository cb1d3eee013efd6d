#include "app/Retention.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStorageInfo>
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <set>

#include "app/Report.h"

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

void CRetention::Load(const std::string& journal) {
    m_saved.clear();
    if (!QFileInfo(Q(journal)).isFile())
        return;
    // Newest first: a removal line stands after the save it undoes (a name may be used
    // again once its picture is gone).
    std::set<std::string> removed;
    std::string error;
    ReadJournalBackwards(
        journal,
        [&](const QByteArray& line) {
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            const std::string file = o.value(u"file").toString().toStdString();
            const QString event = o.value(u"event").toString();
            const QString result = o.value(u"result").toString();
            if (file.empty())
                return true;
            if (event == u"removed" && result == u"ok") {
                removed.insert(file);
            } else if (event == u"picture" && (result == u"ok" || result == u"latest_failed")) {
                if (removed.erase(file) == 0)
                    m_saved.push_back(
                        {QDateTime::fromString(o.value(u"time").toString(), Qt::ISODate), file});
            }
            return true;
        },
        &error);
    std::reverse(m_saved.begin(), m_saved.end());
    std::stable_sort(m_saved.begin(), m_saved.end(),
                     [](const CSaved& a, const CSaved& b) { return a.m_time < b.m_time; });
}

void CRetention::Saved(const std::string& file, const QDateTime& when) {
    m_saved.push_back({when, file});
}

bool CRetention::MayRemove(const std::string& file) const {
    const QFileInfo info(Q(file));
    // A link may lead anywhere, and only what the capture wrote is its own.
    if (info.isSymLink() || !info.isFile())
        return false;
    const QString canonical = info.canonicalFilePath();
    const QString folder = QFileInfo(Q(m_sFolder)).canonicalFilePath();
    if (folder.isEmpty() || !canonical.startsWith(folder + u'/'))
        return false;
    return m_sLatest.empty() || QFileInfo(Q(m_sLatest)).canonicalFilePath() != canonical;
}

CCaptureEvent CRetention::Remove(const CSaved& saved, const QDateTime& now,
                                 const std::string& reason) {
    CCaptureEvent e;
    e.m_time = now;
    e.m_sEvent = "removed";
    e.m_sFile = saved.m_sFile;
    QFile file(Q(saved.m_sFile));
    if (file.remove()) {
        e.m_sResult = "ok";
        e.m_sMessage = "Bild gelöscht: " + reason;
    } else {
        e.m_sResult = "failed";
        e.m_sMessage = "Bild nicht gelöscht: " + file.errorString().toStdString();
    }
    return e;
}

uint64_t CRetention::FreeBytes() const {
    if (m_fnFreeBytes)
        return m_fnFreeBytes(m_sFolder);
    const QStorageInfo storage(Q(m_sFolder));
    return storage.isValid() ? static_cast<uint64_t>(storage.bytesAvailable()) : UINT64_MAX;
}

std::vector<CCaptureEvent> CRetention::Prune(const QDateTime& now) {
    std::vector<CCaptureEvent> events;
    // What may not be removed is forgotten, so that the free space does not wait for it.
    std::erase_if(m_saved, [this](const CSaved& s) { return !MayRemove(s.m_sFile); });
    size_t gone = 0;
    if (m_nKeepSeconds > 0)
        while (gone < m_saved.size() && m_saved[gone].m_time.secsTo(now) > m_nKeepSeconds)
            events.push_back(Remove(m_saved[gone++], now, m_sKeepReason));
    if (m_nMinFreeBytes > 0)
        while (gone < m_saved.size() && FreeBytes() < m_nMinFreeBytes)
            events.push_back(Remove(m_saved[gone++], now, m_sMinFreeReason));
    m_saved.erase(m_saved.begin(), m_saved.begin() + static_cast<std::ptrdiff_t>(gone));
    return events;
}
