#include "platform/StopSignals.h"

#include <csignal>

namespace {
volatile std::sig_atomic_t g_nStop = 0;

// Only what is safe in a signal handler: one flag, read by the run between its steps.
extern "C" void OnStopSignal(int) {
    g_nStop = 1;
}
}  // namespace

CStopSignals::Handler CStopSignals::StopHandler() {
    return OnStopSignal;
}

void CStopSignals::Reset() {
    g_nStop = 0;
}

bool CStopSignals::Requested() {
    return g_nStop != 0;
}
