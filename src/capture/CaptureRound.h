#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "capture/Capture.h"
#include "capture/FetchRequest.h"
#include "capture/Journal.h"
#include "capture/RoundHost.h"
#include "capture/TargetParts.h"

// What a capture round does beyond the capture timer's tick.
// How long DTR is dropped to hang a modem up: long enough for any modem's guard time.
constexpr uint32_t kDtrDropMs = 1000;

struct CCapturePlan {
    // The line: opened by an unattended round, dialled at its number, named in the journal.
    CTargetLine m_line;
    // What each picture asks for.
    CFetchRequest m_request;
    // The channels to fetch, in order.
    std::vector<int> m_channels;
    // The timer's way: each channel selected by the re-grab (the picture parameters once per
    // run, then the channel), and fetched whatever the re-grab gave.
    bool m_bRegrab = false;
    // Tries of each channel: selections of it, and fetches of its picture (1000 ms after
    // a failed one).
    int m_nTries = 3;
    // Dial through the modem first (two tries) and hang up at the end.
    bool m_bDial = true;
    // Nobody watches: the round opens the line when it is closed; a channel the module
    // refuses or does not confirm is recorded and skipped (a refusal is not tried again);
    // failures are said as message texts, which the console prints; a line that could
    // not be hung up, or whose dial failed, is hung up by dropping DTR and closed; the
    // picture parameters the module took are not followed by the 1000 ms wait.
    // Otherwise the round is the timer's tick exactly, and save failures go to the
    // status bar.
    bool m_bUnattended = false;
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
    // The failed dial's step (a ModemResult) and the modem's own word for it, if any.
    int m_nDialCode = 0;
    std::string m_sModem;
    // Pictures that were not kept (refused, failed, broken, not saved, or not fetched
    // because the line or the dial failed); the one a stop broke off does not count, nor
    // those a stop left untaken while another process held the line.
    int m_nFailed = 0;
};

// One capture round on the host's line, as its plan says. The journal lines tell
// what the round itself asked for and selected; the texts the user saw meanwhile are
// taken from a tap between the application and its user interface.
class CCaptureRound {
  public:
    CCaptureRound(CRoundHost& host, CCapturePlan plan);
    CCaptureRound(const CCaptureRound&) = delete;
    CCaptureRound& operator=(const CCaptureRound&) = delete;

    // The line (when unattended), the dial (two tries, 1000 ms apart), the picture
    // parameters (three passes), each channel selected and fetched and its picture kept
    // at once, the hang-up (three passes); then the round's own journal line. Where
    // nobody watches, the last status text says how long the modem was off-hook.
    CCaptureOutcome Run();
    // A loop cycle's fetch, run as given after the channel was selected: its picture is
    // kept (or its failure recorded) with what the fetch asked for.
    CCaptureOutcome KeepFetch(int channel, const std::function<CFetchOutcome()>& fetch);

  private:
    CCaptureOutcome Tapped(const std::function<void()>& steps);
    void RunSteps();
    // The line of an unattended round: opened when it is not.
    bool OpenLine();
    bool DialModem(int pictures);
    // The modem went off-hook at the tick (the first time counts) or is on-hook again.
    void OffHookFrom(uint32_t tick);
    void OnHook();
    // The round's journal line, and its last status text.
    void EndRound();
    void Parameters();
    void Picture(int channel);
    void HangUp();
    // For a modem that may still be off-hook: DTR dropped, the port closed; the text shown.
    std::string HangUpByLine();
    // Keeps a fetched picture (whole or not) and records the attempt.
    void Keep(CCaptureEvent& event, int transfer);
    // A CCaptureEvent or the CRoundEvent.
    template <typename TEvent>
    void Record(const TEvent& event);
    // A step begins: its texts, time and bytes count from here.
    void BeginStep();
    CCaptureEvent StartEvent(const char* kind, int channel, const CFetchRequest& request) const;
    void EndEvent(CCaptureEvent& event) const;
    // What the journal gives as the cause of a failed attempt.
    std::string FailureText() const;
    bool Stop() const;
    void ShowStatus(const std::string& text);
    void ShowMessage(const std::string& text);

    CRoundHost& m_host;
    const CCapturePlan m_plan;
    CTextTap* m_pTap = nullptr;  // while the round runs
    CCaptureOutcome m_out;
    uint32_t m_nStepTick = 0;  // the clock and the line's byte count when the step began
    uint64_t m_nStepBytes = 0;
    CRoundEvent m_round;  // of the round under way
    uint64_t m_nRoundBytes = 0;
    bool m_bOffHook = false;  // since m_nOffHookTick
    uint32_t m_nOffHookTick = 0;
};
