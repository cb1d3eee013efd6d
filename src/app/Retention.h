#pragma once

#include <QDateTime>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/CaptureJournal.h"

// Keeps a capture's pictures from filling the disk. Only pictures that the journal
// records as saved are ever removed, and of those only regular files inside the
// capture's folder that are not the copy of the newest picture.
class CRetention {
  public:
    int64_t m_nKeepSeconds = 0;    // pictures older than this go; 0: kept for ever
    uint64_t m_nMinFreeBytes = 0;  // the oldest go while less is free; 0: no limit
    std::string m_sFolder;         // nothing outside it is removed
    std::string m_sLatest;         // never removed (empty: none)
    // The free bytes of the file system that holds the folder; the system's unless set.
    std::function<uint64_t(const std::string& folder)> m_fnFreeBytes;

    bool Active() const { return m_nKeepSeconds > 0 || m_nMinFreeBytes > 0; }
    // The pictures the journal (with its rotated copies) records as saved and not
    // removed since; a journal that does not exist yet records none.
    void Load(const std::string& journal);
    // A picture saved since.
    void Saved(const std::string& file, const QDateTime& when);
    // Removes what the limits say, oldest first; a journal event for each removal, and
    // for each that failed.
    std::vector<CCaptureEvent> Prune(const QDateTime& now);

  private:
    struct CSaved {
        QDateTime m_time;
        std::string m_sFile;
    };
    bool MayRemove(const std::string& file) const;
    CCaptureEvent Remove(const CSaved& saved, const QDateTime& now, const char* reason);
    uint64_t FreeBytes() const;

    std::vector<CSaved> m_saved;  // oldest first
};
