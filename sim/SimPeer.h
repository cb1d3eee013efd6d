#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// One byte that the simulated peer puts on the line, with the time (microseconds on the
// peer's time line) at which it has fully arrived at the host.
struct CTimedByte {
    uint64_t m_nAtUs;
    uint8_t m_nByte;
};

// The far end of a serial line as the simulation sees it: it is told of every byte the
// host writes and answers with bytes due at given times. The same peer serves the
// in-process fake line (virtual time) and a pseudo-terminal (real time).
class CSimPeer {
  public:
    virtual ~CSimPeer() = default;
    // The host wrote these bytes; they reached the peer at nowUs. Any answer is
    // appended to out in time order; its times are never earlier than nowUs.
    virtual void OnHostBytes(const uint8_t* data, size_t n, uint64_t nowUs,
                             std::vector<CTimedByte>& out) = 0;
    // The host set its DTR line (only lines that have one tell).
    virtual void OnDataTerminalReady(bool on, uint64_t nowUs, std::vector<CTimedByte>& out) {
        (void)on;
        (void)nowUs;
        (void)out;
    }
};
