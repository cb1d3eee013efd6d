#pragma once

#include <memory>
#include <string>
#include <vector>

class QSettings;
class QTemporaryDir;

// The program's own settings store (organisation "Kelvorn", application "Pixlane_Orbex"),
// opened only once the files it reads have been looked at: the user's file and the
// organisation's, and those for every user. Any of them may be a FIFO, a device or a
// folder, which the store would wait on for ever, or huge, which it would read whole.
struct CSettingsStore {
    CSettingsStore();
    ~CSettingsStore();
    CSettingsStore(CSettingsStore&&) noexcept;
    CSettingsStore& operator=(CSettingsStore&&) noexcept;

    std::unique_ptr<QSettings> m_pStore;
    // Why a file is not read, in German, one text each.
    std::vector<std::string> m_problems;
    // False when the user's own file is not read: the settings are the defaults, and
    // nothing may be written over it (the store is a scratch one).
    bool m_bWritable = true;

  private:
    std::unique_ptr<QTemporaryDir> m_pScratch;
    friend CSettingsStore OpenSettingsStore();
};

// With every file a regular one of at most kMaxTextFileBytes (or missing), the store reads
// them all as it does. Otherwise those are not read: the user's file alone is, when it is
// fine; when it is not, none is, and the store is a scratch one in a temporary folder.
CSettingsStore OpenSettingsStore();
