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
    // What the handler of both signals is, and a new start without a stop asked for; the
    // system's file installs it.
    using Handler = void (*)(int);
    static Handler StopHandler();
    static void Reset();
    // The handlers before, as the system keeps them.
    struct CSaved;
    std::unique_ptr<CSaved> m_pSaved;
};
