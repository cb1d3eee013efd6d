#include "sim/PtySimServer.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace {

uint64_t MonotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint64_t(ts.tv_sec) * 1000000000ull + uint64_t(ts.tv_nsec);
}

bool Fail(std::string* error, const std::string& what) {
    if (error != nullptr)
        *error = what + ": " + std::strerror(errno);
    return false;
}

void CloseFd(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

}  // namespace

uint64_t CPtySimServer::NowUs() const {
    return (MonotonicNs() - m_nStartNs) / 1000;
}

bool CPtySimServer::Start(CSimPeer& peer, std::string& devicePath, std::string* error) {
    std::lock_guard<std::mutex> lock(m_startMutex);
    if (m_bRunning) {
        if (error != nullptr)
            *error = "already running";
        return false;
    }
    m_nMaster = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_nMaster < 0)
        return Fail(error, "posix_openpt");
    char name[128] = {};
    if (::grantpt(m_nMaster) != 0 || ::unlockpt(m_nMaster) != 0 ||
        ::ptsname_r(m_nMaster, name, sizeof name) != 0) {
        const bool r = Fail(error, "pseudo-terminal set-up");
        CloseFd(m_nMaster);
        return r;
    }
    m_nSlave = ::open(name, O_RDWR | O_NOCTTY);
    if (m_nSlave < 0) {
        const bool r = Fail(error, std::string("open ") + name);
        CloseFd(m_nMaster);
        return r;
    }
    termios tio{};
    if (::tcgetattr(m_nSlave, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(m_nSlave, TCSANOW, &tio);
    }
    ::fcntl(m_nMaster, F_SETFL, ::fcntl(m_nMaster, F_GETFL) | O_NONBLOCK);
    if (::pipe(m_nWake) != 0) {
        const bool r = Fail(error, "pipe");
        CloseFd(m_nSlave);
        CloseFd(m_nMaster);
        return r;
    }
    m_bLinked = false;
    if (!m_sLinkPath.empty()) {
        ::unlink(m_sLinkPath.c_str());
        if (::symlink(name, m_sLinkPath.c_str()) != 0) {
            const bool r = Fail(error, "symlink " + m_sLinkPath);
            CloseFd(m_nWake[0]);
            CloseFd(m_nWake[1]);
            CloseFd(m_nSlave);
            CloseFd(m_nMaster);
            return r;
        }
        m_bLinked = true;
    }
    devicePath = name;
    m_pPeer = &peer;
    m_pending.clear();
    m_nStartNs = MonotonicNs();
    m_bRunning = true;
    m_thread = std::thread([this] { Run(); });
    return true;
}

void CPtySimServer::Stop() {
    std::lock_guard<std::mutex> lock(m_startMutex);
    if (!m_bRunning)
        return;
    m_bRunning = false;
    const char wake = 'x';
    [[maybe_unused]] ssize_t w = ::write(m_nWake[1], &wake, 1);
    if (m_thread.joinable())
        m_thread.join();
    if (m_bLinked)
        ::unlink(m_sLinkPath.c_str());
    m_bLinked = false;
    CloseFd(m_nWake[0]);
    CloseFd(m_nWake[1]);
    CloseFd(m_nSlave);
    CloseFd(m_nMaster);
    m_pPeer = nullptr;
}

void CPtySimServer::Run() {
    std::vector<CTimedByte> answer;
    std::vector<uint8_t> due;
    while (m_bRunning) {
        const uint64_t now = NowUs();
        // Write what is due, as far as the terminal takes it.
        due.clear();
        for (const auto& b : m_pending) {
            if (b.m_nAtUs > now)
                break;
            due.push_back(b.m_nByte);
        }
        if (!due.empty()) {
            const ssize_t w = ::write(m_nMaster, due.data(), due.size());
            if (w > 0)
                m_pending.erase(m_pending.begin(), m_pending.begin() + w);
        }
        pollfd fds[2] = {{m_nMaster, POLLIN, 0}, {m_nWake[0], POLLIN, 0}};
        const bool bBlocked =
            !due.empty() && !m_pending.empty() && m_pending.front().m_nAtUs <= now;
        if (bBlocked)
            fds[0].events |= POLLOUT;
        timespec wait{0, 200 * 1000000};  // look at the stop flag now and then
        if (!m_pending.empty() && !bBlocked) {
            const uint64_t dueUs = m_pending.front().m_nAtUs;
            const uint64_t delta = dueUs > now ? dueUs - now : 0;
            if (delta < 200000)
                wait = {0, static_cast<long>(delta * 1000)};
        }
        const int r = ::ppoll(fds, 2, &wait, nullptr);
        if (r < 0 && errno != EINTR)
            break;
        if (fds[1].revents & POLLIN)
            break;
        if (!(fds[0].revents & POLLIN))
            continue;
        uint8_t buf[512];
        const ssize_t n = ::read(m_nMaster, buf, sizeof buf);
        if (n <= 0) {
            // Nobody can have the slave closed while we hold it; just avoid a busy loop.
            if (n < 0 && errno != EAGAIN && errno != EINTR) {
                timespec pause{0, 10 * 1000000};
                ::nanosleep(&pause, nullptr);
            }
            continue;
        }
        answer.clear();
        {
            std::lock_guard<std::mutex> lock(m_peerMutex);
            m_pPeer->OnHostBytes(buf, static_cast<size_t>(n), NowUs(), answer);
        }
        for (const auto& b : answer) {
            auto pos =
                std::upper_bound(m_pending.begin(), m_pending.end(), b.m_nAtUs,
                                 [](uint64_t t, const CTimedByte& x) { return t < x.m_nAtUs; });
            m_pending.insert(pos, b);
        }
    }
}
