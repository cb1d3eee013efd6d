#pragma once

// Ends the whole test run, naming the case, when a case that must never wait (a FIFO, a
// device) has not finished in time: a hang shows as a failure with its name instead of
// holding the suite until its time-out. Nothing waits for it; it only fires.

#include <unistd.h>

#include <csignal>
#include <cstring>

class CWatchdog {
  public:
    CWatchdog(const char* name, unsigned seconds) {
        Case() = name;
        std::signal(SIGALRM, &Bark);
        ::alarm(seconds);
    }
    ~CWatchdog() { ::alarm(0); }
    CWatchdog(const CWatchdog&) = delete;
    CWatchdog& operator=(const CWatchdog&) = delete;

  private:
    static const char*& Case() {
        static const char* name = "";
        return name;
    }
    static void Bark(int) {
        const char text[] = "hängt: ";
        (void)!::write(2, text, sizeof text - 1);
        (void)!::write(2, Case(), std::strlen(Case()));
        (void)!::write(2, "\n", 1);
        ::_exit(3);
    }
};
