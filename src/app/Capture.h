#pragma once

#include <QDateTime>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/CaptureJournal.h"
#include "app/FetchRequest.h"
#include "app/NamePattern.h"
#include "link/PortUi.h"

class CImage;

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
    // The wall clock for names and journal lines; the system's unless set.
    std::function<QDateTime()> m_fnNow;
    int m_nSeq = 0;  // pictures numbered so far ({seq})

    QDateTime Now() const;
    // Writes the picture under the first free name the pattern gives for the channel and
    // the time (folders are made as needed). True with the file's absolute path; false
    // with the reason (German) when the name given cannot be used or the file not written.
    bool Save(const CImage& image, int channel, const QDateTime& when, std::string& path,
              std::string& error);
    // The copy of the picture saved last, replaced atomically; true when there is none.
    bool RefreshLatest(std::string& error);
    // Appends the event to the journal; true when there is none.
    bool Record(const CCaptureEvent& event, std::string& error);

  private:
    std::vector<uint8_t> m_lastFile;
};

// What a capture round does beyond the capture timer's tick.
struct CCapturePlan {
    // What each picture asks for.
    CFetchRequest m_request;
    // Dial through the modem first (two tries) and hang up at the end.
    bool m_bDial = true;
    // The channels to fetch, in order; empty: the stored channel, selected by the re-grab
    // as the timer's tick does.
    std::vector<int> m_channels;
    // Nobody watches: the round opens the line when it is closed; a channel the module
    // refuses or does not confirm is recorded and skipped (a refusal is not tried again);
    // failures are said as message texts, which the console prints; a line that could
    // not be hung up, or whose dial failed, is hung up by dropping DTR and closed.
    // Otherwise the round is the timer's tick exactly, and save failures go to the
    // status bar.
    bool m_bUnattended = false;
    // The device named directly for the port number, named alone when it cannot be
    // opened; empty: the port number's.
    std::string m_sDevice;
    // Keeps the good pictures and records the journal; null: nothing is kept.
    CPictureKeeper* m_pKeeper = nullptr;
    // After each saved picture, with its absolute path: a text when something it did
    // failed (recorded in the picture's journal line), else empty.
    std::function<std::string(const std::string& path)> m_fnSaved;
};

struct CCaptureOutcome {
    bool m_bLineFailed = false;  // the line could not be opened
    bool m_bDialFailed = false;
    bool m_bSaveFailed = false;  // a good picture, or its latest copy, could not be written
    bool m_bHangupFailed = false;
    bool m_bStopped = false;       // the stop check ended the round early
    bool m_bRecordFailed = false;  // a journal line could not be written
    int m_nSaved = 0;
    // Pictures that were not kept (refused, failed, broken, not saved, or not fetched
    // because the line or the dial failed); the one a stop broke off does not count.
    int m_nFailed = 0;
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
