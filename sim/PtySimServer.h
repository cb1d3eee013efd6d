#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "sim/SimPeer.h"

// Serves a simulated peer on a pseudo-terminal in real time, on a thread of its own: the
// host opens the slave device like a serial port; its bytes reach the peer with the
// microseconds elapsed since Start, and the peer's answers are written when they are due.
// The server keeps a descriptor of the slave open itself, so the host may close and reopen
// the device as often as it likes.
class CPtySimServer {
  public:
    CPtySimServer() = default;
    CPtySimServer(const CPtySimServer&) = delete;
    CPtySimServer& operator=(const CPtySimServer&) = delete;
    ~CPtySimServer() { Stop(); }

    // When set before Start, a symbolic link of that name points to the slave device
    // (an existing link of that name is replaced); Stop removes it.
    std::string m_sLinkPath;

    // Opens the pseudo-terminal and starts serving. devicePath receives the slave's path.
    bool Start(CSimPeer& peer, std::string& devicePath, std::string* error = nullptr);
    // Stops the thread and closes everything; safe to call twice.
    void Stop();
    bool IsRunning() const { return m_bRunning; }

    // Runs f while the serving thread is kept away from the peer.
    template <class F>
    void WithPeer(F&& f) {
        std::lock_guard<std::mutex> lock(m_peerMutex);
        f();
    }

  private:
    void Run();
    uint64_t NowUs() const;

    std::mutex m_startMutex;
    std::mutex m_peerMutex;
    std::thread m_thread;
    std::atomic<bool> m_bRunning{false};
    CSimPeer* m_pPeer = nullptr;
    int m_nMaster = -1;
    int m_nSlave = -1;
    int m_nWake[2] = {-1, -1};
    uint64_t m_nStartNs = 0;
    std::deque<CTimedByte> m_pending;
    bool m_bLinked = false;
};
