#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/SimPeer.h"

// Puts the simulation's answers on its time line. At a baud rate every byte takes ten bit
// times and arrives one byte time after max(request time + latency, the line is free);
// at baud rate 0 a whole answer arrives at once, at request time + latency.
class CLinePacer {
  public:
    uint32_t m_nBaud = 0;
    uint32_t m_nLatencyMs = 0;

    void Emit(const std::string& bytes, uint64_t requestUs, uint64_t extraDelayUs,
              std::vector<CTimedByte>& out);
    // When the last byte handed out so far has arrived.
    uint64_t FreeUs() const { return (m_nFreePs + 999999) / 1000000; }

  private:
    uint64_t m_nFreePs = 0;  // picoseconds keep 10 bits at 115200 baud exact to a fraction
};
