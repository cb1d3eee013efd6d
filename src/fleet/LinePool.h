#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The schedule of a pool of lines: which site's round runs next, and on which line. A plain
// value: every operation takes the time (milliseconds on the caller's clock), so that the
// whole schedule runs in virtual time.
//
// Each free line takes the site that has been due longest of those it may serve: a site
// with a line of its own only that line, any other site any line of the pool. A site never
// runs on two lines at once. With a period, a site is due again one period after its last
// round started; without one, each site runs once.

// How a round on a line ended.
enum class EPoolEnd {
    kDone,        // the round ran (whatever the far end answered): the site waits for its turn
    kLineFailed,  // the line failed at its set-up: out of the pool for a while, the site again
    kLineHeld,    // another program holds the line: skipped until free, the site again
    kStopped,     // ended on request
};

struct CPoolLine {
    std::string m_sName;    // as the user gave it
    bool m_bShared = true;  // a line of the pool; false: only the site whose own it is
    bool m_bBusy = false;   // a round runs on it
    bool m_bOut = false;    // out of the pool (failed) until m_nBackAt
    bool m_bHeld = false;   // held by another program, looked at again at m_nBackAt
    int64_t m_nBackAt = 0;  // with m_bOut or m_bHeld
    std::string m_sWhy;     // why it is out (German), while it is
};

struct CPoolSite {
    std::string m_sName;
    int m_iLine = -1;  // its own line; -1: any shared line
    int64_t m_nDue = 0;
    bool m_bRunning = false;
    bool m_bFinished = false;  // without a period: its round has run
    bool m_bStarted = false;   // a round of it started at m_nLastStart
    int64_t m_nLastStart = 0;
    int64_t m_nLastLag = 0;  // how long after it was due its latest round started
    int m_nRounds = 0;       // rounds that ran
};

// A round to start now.
struct CPoolStart {
    int m_iSite = -1;
    int m_iLine = -1;
    int64_t m_nLag = 0;  // ms after the site was due
};

class CLinePool {
  public:
    // period: from one round's start to the site's next; 0: one round each. rest: how long a
    // failed line stays out (0: for the rest of the run); held: how soon a held line is
    // looked at again. count: rounds of each site at most (with a period; 0: no limit).
    CLinePool(int64_t period, int64_t rest, int64_t held, int count = 0)
        : m_nPeriod(period), m_nRest(rest), m_nHeld(held), m_nCount(count) {}

    int AddLine(const std::string& name, bool shared);
    // The site, due at the time; line: its own line, or -1.
    int AddSite(const std::string& name, int line, int64_t due);

    // The next round to start at the time, the line and the site marked busy; none when no
    // free line can serve any site that is due.
    std::optional<CPoolStart> Next(int64_t now);
    void Finished(const CPoolStart& start, EPoolEnd end, int64_t now, const std::string& why = {});

    // Lines come back into the pool (or are looked at again) once their time is up.
    void Refresh(int64_t now);
    // Nothing runs and nothing will: every site has run (without a period), or no line that
    // is left can ever serve a site that still waits.
    bool Over() const;
    // Sites that wait and that no line left can serve (their lines failed for good).
    std::vector<int> Stranded() const;
    // Every line is out of the pool (failed), none held or busy.
    bool AllLinesOut() const;
    // When something may change without a round ending: the next site due or line back;
    // nullopt when nothing waits.
    std::optional<int64_t> NextWake(int64_t now) const;
    bool AnyRunning() const;

    const std::vector<CPoolLine>& Lines() const { return m_lines; }
    const std::vector<CPoolSite>& Sites() const { return m_sites; }

  private:
    bool Serves(const CPoolLine& line, int iLine, const CPoolSite& site) const;
    bool Usable(const CPoolLine& line) const {
        return !line.m_bBusy && !line.m_bOut && !line.m_bHeld;
    }
    // The line may serve again some day.
    bool Alive(const CPoolLine& line) const { return !line.m_bOut || m_nRest > 0; }

    int64_t m_nPeriod, m_nRest, m_nHeld;
    int m_nCount;
    std::vector<CPoolLine> m_lines;
    std::vector<CPoolSite> m_sites;
};
