#include "ui/CloseSignals.h"

#include <utility>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <iterator>

namespace {
const int kSignals[] = {SIGTERM, SIGHUP, SIGINT};
struct sigaction g_old[std::size(kSignals)];
// The signal handler writes one byte into the pipe, the one thing it may safely do; the
// event loop watches the other end.
int g_nPipe[2] = {-1, -1};

extern "C" void OnCloseSignal(int) {
    const int saved = errno;
    const char byte = 1;
    // A full pipe already holds a request.
    if (::write(g_nPipe[1], &byte, 1) < 0) {
    }
    errno = saved;
}
}  // namespace

CCloseSignals::CCloseSignals(std::function<void()> onSignal, QObject* parent)
    : QObject(parent), m_fnOnSignal(std::move(onSignal)) {
    if (::pipe2(g_nPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        g_nPipe[0] = g_nPipe[1] = -1;
        return;
    }
    m_pNotifier = new QSocketNotifier(g_nPipe[0], QSocketNotifier::Read, this);
    connect(m_pNotifier, &QSocketNotifier::activated, this, [this] { Take(); });
    struct sigaction action {};
    action.sa_handler = OnCloseSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted reads and writes of the line go on.
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &action, &g_old[i]);
}

CCloseSignals::~CCloseSignals() {
    if (m_pNotifier == nullptr)
        return;
    for (size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &g_old[i], nullptr);
    delete m_pNotifier;
    ::close(g_nPipe[0]);
    ::close(g_nPipe[1]);
    g_nPipe[0] = g_nPipe[1] = -1;
}

void CCloseSignals::Take() {
    char bytes[64];
    while (::read(g_nPipe[0], bytes, sizeof bytes) > 0) {
    }
    if (m_fnOnSignal)
        m_fnOnSignal();
}

#else

// Windows ends a session with a close message to the window, which closes it as
// "Beenden" does.
CCloseSignals::CCloseSignals(std::function<void()> onSignal, QObject* parent)
    : QObject(parent), m_fnOnSignal(std::move(onSignal)) {}

CCloseSignals::~CCloseSignals() = default;

void CCloseSignals::Take() {}

#endif
