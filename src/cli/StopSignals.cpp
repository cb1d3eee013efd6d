#include "cli/StopSignals.h"

namespace {
volatile std::sig_atomic_t g_nStop = 0;

// Only what is safe in a signal handler: one flag, read by the run between its steps.
extern "C" void OnStopSignal(int) {
    g_nStop = 1;
}
}  // namespace

CStopSignals::CStopSignals() {
    g_nStop = 0;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted reads and writes go on; the run looks at the flag when they return.
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &m_oldInt);
    ::sigaction(SIGTERM, &action, &m_oldTerm);
}

CStopSignals::~CStopSignals() {
    ::sigaction(SIGINT, &m_oldInt, nullptr);
    ::sigaction(SIGTERM, &m_oldTerm, nullptr);
}

bool CStopSignals::Requested() {
    return g_nStop != 0;
}
