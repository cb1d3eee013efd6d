#pragma once

#include <memory>

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
    // The handlers before, as the system keeps them.
    struct CSaved;
    std::unique_ptr<CSaved> m_pSaved;
};
