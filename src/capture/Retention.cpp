#include "capture/Retention.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <utility>

#include "capture/HashStates.h"
#include "capture/NamePattern.h"
#include "link/PrintableText.h"
#include "platform/Files.h"

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
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

// Whether the name is absolute and written as QDir::cleanPath writes it.
bool IsCleanName(std::string_view file) {
    if (file.empty() || file.front() != '/' || (file.size() > 1 && file.back() == '/'))
        return false;
    for (size_t i = 0; i + 1 < file.size(); ++i) {
        if (file[i] != '/')
            continue;
        const std::string_view rest = file.substr(i + 1);
        if (rest.front() == '/' || rest == "." || rest == ".." || rest.starts_with("./") ||
            rest.starts_with("../"))
            return false;
    }
    return true;
}

// One name, however a line spells it.
std::string CleanName(std::string_view file) {
    return QDir::cleanPath(QString::fromUtf8(file.data(), static_cast<qsizetype>(file.size())))
        .toStdString();
}

// The size of a picture that a dry run counts as freed; 0 when it cannot be told.
uint64_t FileBytes(const std::string& file) {
    const QFileInfo info(Q(file));
    return info.isFile() ? static_cast<uint64_t>(info.size()) : 0;
}

}  // namespace

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
    // Names are held as hashes: two names of one hash only make a picture stay that could
    // have gone, never the other way. A removal waits only until its save is read, so
    // what is held follows the pictures kept and the removals not yet matched (bounded
    // by how long the rules keep pictures), not the journal's length.
    enum : uint8_t { kRemovalFirst = 1, kSaved = 2 };  // what was read of a name so far
    CHashStates names;
    std::string error;
    std::string cleaned;
    ReadJournal(
        journal,
        [&](const CJournalEntry* entry) {
            if (entry == nullptr || entry->m_file.empty())
                return true;
            const bool good = entry->m_result == "ok" || entry->m_result == "latest_failed";
            const bool removal = entry->m_event == "removed" && entry->m_result == "ok";
            if (!removal && !(entry->m_event == "picture" && good))
                return true;
            // One name, however a line spells it.
            const std::string_view file =
                IsCleanName(entry->m_file) ? entry->m_file
                                           : std::string_view(cleaned = CleanName(entry->m_file));
            const uint64_t hash = std::hash<std::string_view>()(file);
            const uint8_t seen = names.Get(hash);
            if (removal) {
                if (seen == 0)
                    names.Set(hash, kRemovalFirst);
                return true;
            }
            // The save a removal undid.
            if (seen == kRemovalFirst) {
                names.Set(hash, 0);
                return true;
            }
            qint64 time = 0;
            if (seen == kSaved || !entry->Epoch(time))
                return true;
            names.Set(hash, kSaved);
            const double seconds = entry->m_dSeconds;
            const double transfer =
                std::isfinite(seconds) ? std::clamp(seconds, 0.0, kMaxTransferSeconds) : 0.0;
            m_saved.push_back(
                {time, time + static_cast<int64_t>(std::ceil(transfer)) + kWriteMarginSeconds,
                 CameraOf(entry->m_site, entry->m_iChannel), std::string(file)});
            return true;
        },
        &error);
    std::reverse(m_saved.begin(), m_saved.end());
    std::stable_sort(m_saved.begin(), m_saved.end(),
                     [](const CSaved& a, const CSaved& b) { return a.m_nTime < b.m_nTime; });
}

uint32_t CRetention::CameraOf(std::string_view site, int channel) {
    const std::string key = std::string(site) + '\n' + std::to_string(channel);
    const auto found = std::find(m_cameras.begin(), m_cameras.end(), key);
    if (found != m_cameras.end())
        return static_cast<uint32_t>(found - m_cameras.begin());
    m_cameras.push_back(key);
    return static_cast<uint32_t>(m_cameras.size() - 1);
}

void CRetention::Saved(const std::string& file, const QDateTime& when, int channel,
                       const std::string& site) {
    // A name used again: the picture there now is this one.
    std::erase_if(m_saved, [&](const CSaved& s) { return s.m_sFile == file; });
    const QDateTime written = QFileInfo(Q(file)).lastModified();
    if (when.isValid() && written.isValid())
        m_saved.push_back(
            {when.toSecsSinceEpoch(), written.toSecsSinceEpoch(), CameraOf(site, channel), file});
}

uint64_t CRetention::FreeBytes() const {
    if (m_fnFreeBytes)
        return m_fnFreeBytes(m_sFolder);
    const QStorageInfo storage(Q(m_sFolder));
    return storage.isValid() ? static_cast<uint64_t>(storage.bytesAvailable()) : UINT64_MAX;
}

CKeepRules CRetention::Rules() const {
    if (m_keep.Active())
        return m_keep;
    CKeepRules rules;
    if (m_nKeepSeconds > 0)
        rules.m_tiers.push_back({m_nKeepSeconds, 0, {}});
    return rules;
}

std::vector<CCaptureEvent> CRetention::Prune(const QDateTime& now, bool dryRun) {
    std::vector<CCaptureEvent> events;
    m_nOutsidePattern = 0;
    if (!m_pNames || m_saved.empty())
        return events;
    // What the rules remove, oldest first, and why.
    const CKeepRules rules = Rules();
    std::vector<std::pair<size_t, std::string>> planned;
    if (rules.Active()) {
        std::vector<CAgedPicture> aged;
        aged.reserve(m_saved.size());
        for (const CSaved& saved : m_saved)
            aged.push_back({saved.m_nTime, saved.m_nCamera});
        const std::vector<CKeepVerdict> verdicts = DecideKeep(aged, rules, now.toSecsSinceEpoch());
        for (size_t i = 0; i < verdicts.size(); ++i)
            if (!verdicts[i].m_bKeep)
                planned.emplace_back(i, KeepReasonText(rules, verdicts[i], m_sKeepReason));
    }
    uint64_t freeBytes = m_nMinFreeBytes > 0 ? FreeBytes() : UINT64_MAX;
    if (planned.empty() && (m_nMinFreeBytes == 0 || freeBytes >= m_nMinFreeBytes))
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
    const COpenFolder folder(root);
    if (!folder.IsOpen())
        return events;

    // Whether the picture went (or, in a dry run, would go).
    const auto remove = [&](const CSaved& saved, const std::string& reason) {
        const QString file = QDir::cleanPath(Q(saved.m_sFile));
        const bool inside = QDir::isAbsolutePath(file) && file != root && Below(file, root);
        const QString name =
            inside ? file.mid(root.size() + (root.endsWith(u'/') ? 0 : 1)) : QString();
        if (!inside || !m_pNames->match(name).hasMatch()) {
            ++m_nOutsidePattern;
            return false;
        }
        if (std::find(others.m_paths.begin(), others.m_paths.end(), file) != others.m_paths.end() ||
            (!others.m_sReport.isEmpty() && Below(file, others.m_sReport)))
            return false;
        std::string why;
        bool own = false;
        // Not below the status page's folder, written no later than its line says, none of
        // the files that are never removed, and a picture by its first bytes.
        const ERemoved removed = folder.RemoveIf(
            name.split(u'/'), [&others](const CFileId& id) { return others.m_report != id; },
            [&saved, &others, &own, dryRun](const CFileSeen& seen) {
                own = seen.m_nWritten <= saved.m_nWrittenBy && !others.Holds(seen.m_id) &&
                      IsPictureStart(seen.m_head.constData(),
                                     static_cast<size_t>(seen.m_head.size()));
                return own && !dryRun;
            },
            why);
        if (dryRun ? !own : removed == ERemoved::NotOwn)
            return false;
        CCaptureEvent e;
        e.m_time = now;
        e.m_sEvent = "removed";
        e.m_sFile = saved.m_sFile;
        e.m_sResult = dryRun ? "planned" : removed == ERemoved::Yes ? "ok" : "failed";
        e.m_sMessage = dryRun                     ? "Bild würde gelöscht: " + reason
                       : removed == ERemoved::Yes ? "Bild gelöscht: " + reason
                                                  : "Bild nicht gelöscht: " + why;
        events.push_back(e);
        return removed == ERemoved::Yes || dryRun;
    };
    // Removed, failed or not ours: none of them is tried again.
    std::vector<bool> tried(m_saved.size(), false);
    for (const auto& [index, reason] : planned) {
        tried[index] = true;
        if (remove(m_saved[index], reason) && dryRun && m_nMinFreeBytes > 0)
            freeBytes += FileBytes(m_saved[index].m_sFile);
    }
    if (m_nMinFreeBytes > 0) {
        if (!dryRun)
            freeBytes = FreeBytes();
        for (size_t i = 0; i < m_saved.size() && freeBytes < m_nMinFreeBytes; ++i) {
            if (tried[i])
                continue;
            tried[i] = true;
            const uint64_t bytes = dryRun ? FileBytes(m_saved[i].m_sFile) : 0;
            if (remove(m_saved[i], m_sMinFreeReason))
                freeBytes = dryRun ? freeBytes + bytes : FreeBytes();
        }
    }
    if (!dryRun) {
        size_t kept = 0;
        for (size_t i = 0; i < m_saved.size(); ++i)
            if (!tried[i])
                m_saved[kept++] = std::move(m_saved[i]);
        m_saved.resize(kept);
    }
    return events;
}
