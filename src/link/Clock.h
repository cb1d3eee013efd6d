#pragma once

#include <cstdint>

// The one source of time for everything that waits on the line. Production uses the
// system clock; tests install a virtual clock so that time-outs cost no real time.
class CClock {
  public:
    virtual ~CClock() = default;
    // Milliseconds since an arbitrary start, wrapping like a 32-bit tick counter.
    virtual uint32_t GetTickCount() = 0;
    // Gives up the processor for the given time.
    virtual void Sleep(uint32_t ms) = 0;
    // One turn of a busy-wait loop. The system clock does nothing here; a virtual clock
    // moves on by one millisecond so that a loop polling GetTickCount terminates.
    virtual void Spin() = 0;
};

class CSystemClock : public CClock {
  public:
    uint32_t GetTickCount() override;
    void Sleep(uint32_t ms) override;
    void Spin() override;
};
