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
#ifdef _WIN32
    m_pOldInt = std::signal(SIGINT, OnStopSignal);
    m_pOldTerm = std::signal(SIGTERM, OnStopSignal);
#else
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted reads and writes go on; the run looks at the flag when they return.
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &m_oldInt);
    ::sigaction(SIGTERM, &action, &m_oldTerm);
#endif
}

CStopSignals::~CStopSignals() {
#ifdef _WIN32
    std::signal(SIGINT, m_pOldInt);
    std::signal(SIGTERM, m_pOldTerm);
#else
    ::sigaction(SIGINT, &m_oldInt, nullptr);
    ::sigaction(SIGTERM, &m_oldTerm, nullptr);
#endif
}

bool CStopSignals::Requested() {
    return g_nStop != 0;
}
