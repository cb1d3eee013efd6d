#pragma once

#include <csignal>

// While an object lives, SIGINT and SIGTERM do not end the program: they ask it to stop,
// and Requested() tells whether one came. The handlers before are put back afterwards.
class CStopSignals {
  public:
    CStopSignals();
    ~CStopSignals();
    CStopSignals(const CStopSignals&) = delete;
    CStopSignals& operator=(const CStopSignals&) = delete;

    static bool Requested();

  private:
#ifdef _WIN32
    void (*m_pOldInt)(int) = SIG_DFL;
    void (*m_pOldTerm)(int) = SIG_DFL;
#else
    struct sigaction m_oldInt {};
    struct sigaction m_oldTerm {};
#endif
};
