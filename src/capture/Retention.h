#pragma once

#include <QDateTime>
#include <QRegularExpression>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "capture/Journal.h"
#include "capture/KeepTiers.h"

// Keeps a capture's pictures from filling the disk, removing only what is provably a
// picture of its own: one that the journal records as saved (judged by the newest line
// that names it), a regular file below the folder whose name the capture's pattern can
// give and whose first bytes are a BMP's or a PNG's, written no later than its line
// says, and neither a journal, its rotated copies, the latest copy, the metrics file nor
// anything below the status page's folder. The folder is opened once and the way down
// to each file is taken without following links.
class CRetention {
  public:
    int64_t m_nKeepSeconds = 0;    // pictures older than this go; 0: kept for ever
    CKeepRules m_keep;             // when active, in place of m_nKeepSeconds
    uint64_t m_nMinFreeBytes = 0;  // the oldest go while less is free; 0: no limit
    std::string m_sLatest;         // never removed (empty: none)
    std::string m_sMetrics;        // never removed (empty: none)
    std::string m_sReport;         // nothing below it is removed (empty: none)
    // Why a picture went, in its journal line, in the words of the limits' setting.
    std::string m_sKeepReason = "älter als --keep";
    std::string m_sMinFreeReason = "weniger frei als --min-free";
    // The free bytes of the file system that holds the folder; the system's unless set.
    std::function<uint64_t(const std::string& folder)> m_fnFreeBytes;

    bool Active() const { return m_nKeepSeconds > 0 || m_keep.Active() || m_nMinFreeBytes > 0; }
    // Where the pictures are: named by the pattern, relative names starting in the folder
    // (empty: the working folder, which the user did not name). Removal then stays below
    // the pattern's fixed folders. Why no picture could be removed safely there (German):
    // a pattern that begins with a field in a folder nobody named, the root folder, a name
    // that is no BMP or PNG, pictures below m_sReport; empty when they can.
    std::string Place(const std::string& folder, const std::string& pattern);
    // The folder nothing outside of which is removed (after Place).
    const std::string& Folder() const { return m_sFolder; }
    // The pictures the journal (with its rotated copies) records as saved and not
    // removed since; a journal that does not exist yet records none.
    void Load(const std::string& journal);
    // The journal it was loaded from last; empty: none.
    const std::string& Journal() const { return m_sJournal; }
    // A picture saved since, just written, by the camera of that site and channel.
    void Saved(const std::string& file, const QDateTime& when, int channel = 0,
               const std::string& site = {});
    // Removes what the limits say, oldest first; a journal event for each removal, and
    // for each that failed. With dryRun nothing is removed: the events say what would go
    // (result "planned"), each file looked at as a removal would.
    std::vector<CCaptureEvent> Prune(const QDateTime& now, bool dryRun = false);
    // The pictures known, for what is measured of them.
    size_t SavedCount() const { return m_saved.size(); }
    // How many pictures the last Prune would have removed but left because their names are
    // not the name pattern's below the folder (another pattern, another folder).
    size_t OutsidePattern() const { return m_nOutsidePattern; }

  private:
    struct CSaved {
        int64_t m_nTime = 0;       // its journal line's (seconds since 1970): its age
        int64_t m_nWrittenBy = 0;  // a file written later (seconds since 1970) is another
        uint32_t m_nCamera = 0;    // see CameraOf
        std::string m_sFile;
    };
    uint64_t FreeBytes() const;
    // The rules in force: the tiers, else the duration alone.
    CKeepRules Rules() const;
    // A number for the camera of a site and channel, the same over the run.
    uint32_t CameraOf(std::string_view site, int channel);

    std::string m_sFolder;
    std::string m_sJournal;
    std::shared_ptr<const QRegularExpression> m_pNames;  // relative to m_sFolder; none: nothing
    std::vector<CSaved> m_saved;                         // oldest first
    size_t m_nOutsidePattern = 0;
    std::vector<std::string> m_cameras;  // by CameraOf's number
};
