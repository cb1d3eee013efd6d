#pragma once

#include <QDateTime>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "capture/Journal.h"
#include "capture/NamePattern.h"
#include "capture/Retention.h"
#include "capture/TargetParts.h"
#include "link/PortUi.h"

class CImage;

// What the status bar says when a picture or its journal line could not be written.
inline constexpr const char* kSaveFailedText = "Fehler beim Speichern !";

// Where the pictures of a capture go: a file for each good one, named from a pattern and
// never written over an existing file, an optional copy of the newest picture, and a
// journal line for every attempt.
class CPictureKeeper {
  public:
    std::string m_sPattern = kDefaultNamePattern;
    std::string m_sFolder;         // relative names start here (empty: the working folder)
    bool m_bInsideFolder = false;  // names stay inside m_sFolder (no "/" first, no "..")
    std::string m_sJournal;        // the journal file (empty: none)
    std::string m_sLatest;         // kept as a copy of the newest picture (empty: none)
    std::string m_sSite;           // the site each journal line names (empty: none)
    // The wall clock for names and journal lines; the system's unless set.
    std::function<QDateTime()> m_fnNow;
    int m_nSeq = 0;  // pictures numbered so far ({seq})
    // Old pictures removed before each save (loaded from the journal by the caller).
    CRetention m_retention;
    // Each picture kept is checked against these limits (Check); off: none is.
    bool m_bCheck = true;
    CPictureLimits m_limits;

    // From now on its pictures go where the storage says (a journal as a whole path), with
    // its limits, each journal line naming the site (empty: none).
    void Use(const CTargetStorage& storage, const std::string& site);

    QDateTime Now() const;
    // Writes the picture under the first free name the pattern gives for the channel and
    // the time (folders are made as needed). True with the file's absolute path; false
    // with the reason (German) when the name given cannot be used or the file not written.
    bool Save(const CImage& image, int channel, const QDateTime& when, std::string& path,
              std::string& error);
    // The copy of the picture saved last, replaced atomically; true when there is none.
    bool RefreshLatest(std::string& error);
    // Appends the event, with the site, to the journal; true when there is none.
    bool Record(const CCaptureEvent& event, std::string& error);
    bool Record(const CRoundEvent& event, std::string& error);
    // The check of a picture about to be kept for the channel, fetched in the transfer mode
    // given: frozen against the channel's previous good pictures in the journal. Nothing
    // when checks are off or the picture has no pixels. When the journal could not be
    // read, the check is made without those and error says why (German).
    std::optional<CPictureVerdict> Check(const CImage& image, int channel, int mode,
                                         std::string& error) const;

  private:
    std::vector<uint8_t> m_lastFile;
};

// Passes the texts shown to the user on and remembers them, so that a journal line can
// say what the user saw.
class CTextTap : public CPortUi {
  public:
    explicit CTextTap(CPortUi* inner) : m_pInner(inner) {}
    void SetStatusText(const std::string& text) override;
    void SetProgressText(const std::string& text) override;
    void MessageBox(const std::string& text) override;
    // From here on, the texts that count.
    void Mark();
    // The last message text since the mark, else (when failed) the last status text.
    std::string Shown(bool failed) const;

  private:
    CPortUi* m_pInner;
    std::vector<std::string> m_messages;
    std::string m_sStatus;
    size_t m_nMark = 0;
    bool m_bStatusSinceMark = false;
};
