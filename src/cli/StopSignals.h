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
    struct sigaction m_oldInt {};
    struct sigaction m_oldTerm {};
};
