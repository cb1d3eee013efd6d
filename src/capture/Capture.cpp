// What keeps the pictures of a capture, and the tap on the texts shown meanwhile.
#include "capture/Capture.h"

#include <QDir>
#include <QFileInfo>
#include <ctime>

#include "capture/ImageFile.h"
#include "capture/TargetFile.h"
#include "image/Image.h"
#include "platform/System.h"

// ---- texts shown ----

void CTextTap::SetStatusText(const std::string& text) {
    m_sStatus = text;
    m_bStatusSinceMark = true;
    if (m_pInner != nullptr)
        m_pInner->SetStatusText(text);
}

void CTextTap::SetProgressText(const std::string& text) {
    m_sStatus = text;
    m_bStatusSinceMark = true;
    if (m_pInner != nullptr)
        m_pInner->SetProgressText(text);
}

void CTextTap::MessageBox(const std::string& text) {
    m_messages.push_back(text);
    if (m_pInner != nullptr)
        m_pInner->MessageBox(text);
}

void CTextTap::Mark() {
    m_nMark = m_messages.size();
    m_bStatusSinceMark = false;
}

std::string CTextTap::Shown(bool failed) const {
    if (m_messages.size() > m_nMark)
        return m_messages.back();
    return failed && m_bStatusSinceMark ? m_sStatus : std::string();
}

// ---- the keeper ----

void CPictureKeeper::Use(const CTargetStorage& storage, const std::string& site) {
    m_sPattern = storage.m_sPattern;
    m_sFolder = storage.m_sFolder;
    m_bInsideFolder = storage.m_bInsideFolder;
    m_sJournal = storage.m_sJournal.empty() ? std::string()
                                            : QFileInfo(QString::fromStdString(storage.m_sJournal))
                                                  .absoluteFilePath()
                                                  .toStdString();
    m_sLatest = storage.m_sLatest;
    m_sSite = site;
    m_retention.m_nKeepSeconds = storage.m_nKeepSeconds;
    // Checked where they were given: what does not read as tiers leaves the duration.
    m_retention.m_keep = {};
    if (!storage.m_sKeepTiers.empty())
        ParseKeepRules(storage.m_sKeepTiers, m_retention.m_keep);
    m_retention.m_nMinFreeBytes = storage.m_nMinFreeBytes;
    m_retention.m_sLatest = storage.m_sLatest;
}

QDateTime CPictureKeeper::Now() const {
    return m_fnNow ? m_fnNow() : QDateTime::currentDateTime();
}

bool CPictureKeeper::Save(const CImage& image, int channel, const QDateTime& when,
                          std::string& path, std::string& error) {
    m_lastFile.clear();
    const CNameFields fields{channel, image.Width(), image.Height(), ++m_nSeq};
    const std::tm local = LocalTime(static_cast<std::time_t>(when.toSecsSinceEpoch()));
    const std::string name = ExpandNamePattern(m_sPattern, local, fields);
    if (error = ExpandedNameProblem(name, m_bInsideFolder); !error.empty())
        return false;
    QString full = QString::fromStdString(name);
    if (QFileInfo(full).isRelative() && !m_sFolder.empty())
        full = QDir(QString::fromStdString(m_sFolder)).filePath(full);
    full = QDir::cleanPath(QFileInfo(full).absoluteFilePath());
    if (!MakeFolders(QFileInfo(full).absolutePath().toStdString(), &error))
        return false;
    if (m_retention.Active()) {
        // The picture's own line tells when the journal cannot be written.
        std::string unrecorded;
        for (const CCaptureEvent& removal : m_retention.Prune(Now()))
            Record(removal, unrecorded);
    }
    std::string reason;
    std::vector<uint8_t> bytes = ImageFileBytes(name, image, &reason);
    if (bytes.empty() ||
        !WriteTargetFile(full.toStdString(), bytes, &reason, ETargetWrite::KeepExisting, &path)) {
        error = full.toStdString() + ": " + reason;
        return false;
    }
    m_lastFile.swap(bytes);
    m_retention.Saved(path, when, channel, m_sSite);
    return true;
}

bool CPictureKeeper::RefreshLatest(std::string& error) {
    if (m_sLatest.empty() || m_lastFile.empty())
        return true;
    std::string reason;
    if (WriteTargetFile(m_sLatest, m_lastFile, &reason))
        return true;
    error = m_sLatest + ": " + reason;
    return false;
}

namespace {
template <typename TEvent>
bool RecordIn(const std::string& journal, const TEvent& event, std::string& error) {
    if (journal.empty())
        return true;
    std::string reason;
    if (AppendJournal(journal, event, &reason))
        return true;
    error = journal + ": " + reason;
    return false;
}
}  // namespace

bool CPictureKeeper::Record(const CCaptureEvent& event, std::string& error) {
    CCaptureEvent line = event;
    if (!m_sSite.empty())
        line.m_sSite = m_sSite;
    return RecordIn(m_sJournal, line, error);
}

bool CPictureKeeper::Record(const CRoundEvent& event, std::string& error) {
    CRoundEvent line = event;
    if (!m_sSite.empty())
        line.m_sSite = m_sSite;
    return RecordIn(m_sJournal, line, error);
}

std::optional<CPictureVerdict> CPictureKeeper::Check(const CImage& image, int channel, int mode,
                                                     std::string& error) const {
    error.clear();
    if (!m_bCheck)
        return std::nullopt;
    std::vector<uint64_t> previous;
    if (!m_sJournal.empty() && !RecentPictureHashes(m_sJournal, m_sSite, channel,
                                                    m_limits.m_nFrozenCount, previous, &error))
        previous.clear();
    // A picture of low nibbles alone carries no more than 16 levels.
    return CheckPicture(image, m_limits, previous, mode == 1 ? 15 : 255);
}
