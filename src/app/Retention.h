#pragma once

#include <QDateTime>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/CaptureJournal.h"

// How long pictures are kept at most: ten years.
inline constexpr int64_t kMaxKeepSeconds = 3650LL * 24 * 3600;
// What a keep duration and a free size may be, for the texts that refuse one (German).
inline constexpr const char* kKeepValues =
    "eine Dauer wie 12h, 30d oder 365d bis 3650 Tage; eine Zahl allein sind Minuten";
inline constexpr const char* kFreeSizeValues =
    "eine Größe wie 500M oder 2G, 1 bis 999999 mit K, M, G oder T";

// A keep duration: a whole number with s, m, h or d after it (a plain number is minutes),
// more than nothing and at most kMaxKeepSeconds; false when the text is none.
bool ParseKeepDuration(const std::string& text, int64_t& seconds);
// A free size: 1 to 999999 with K, M, G or T after it (powers of 1024); a plain number
// is bytes. False when the text is none.
bool ParseFreeSize(const std::string& text, uint64_t& bytes);

// Keeps a capture's pictures from filling the disk. Only pictures that the journal
// records as saved are ever removed, and of those only regular files inside the
// capture's folder that are not the copy of the newest picture.
class CRetention {
  public:
    int64_t m_nKeepSeconds = 0;    // pictures older than this go; 0: kept for ever
    uint64_t m_nMinFreeBytes = 0;  // the oldest go while less is free; 0: no limit
    std::string m_sFolder;         // nothing outside it is removed
    std::string m_sLatest;         // never removed (empty: none)
    // Why a picture went, in its journal line, in the words of the limits' setting.
    std::string m_sKeepReason = "älter als --keep";
    std::string m_sMinFreeReason = "weniger frei als --min-free";
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
    CCaptureEvent Remove(const CSaved& saved, const QDateTime& now, const std::string& reason);
    uint64_t FreeBytes() const;

    std::vector<CSaved> m_saved;  // oldest first
};
