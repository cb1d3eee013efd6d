#pragma once

#include <cstdint>
#include <string>

#include "capture/Units.h"

// How far a fetch has got: the blocks received of the blocks expected, the data rate and
// the time left. Times are milliseconds of the line's clock (32-bit ticks that may wrap).
// The rate is measured from the arrival of the first block on, so that the module's time
// to answer the request does not count as line time.
class CFetchProgress {
  public:
    // A fetch of this many blocks begins.
    void Start(int blocksExpected, uint32_t nowMs);
    // A block of this many data bytes has arrived.
    void AddBlock(int bytes, uint32_t nowMs);

    int BlocksDone() const { return m_nBlocks; }
    int BlocksExpected() const { return m_nExpected; }
    uint64_t Bytes() const { return m_nBytes; }
    // Share of the expected blocks received, 0..100, rounded down.
    int Percent() const;
    // Data bytes per second since the first block; -1 until a second block has arrived
    // some time after the first.
    int64_t BytesPerSecond() const;
    // Seconds until the last block at the pace of the blocks so far, rounded up; 0 when
    // all have arrived, -1 while the pace is unknown.
    int64_t SecondsLeft() const;

  private:
    int m_nExpected = 0;
    int m_nBlocks = 0;
    uint64_t m_nBytes = 0;
    uint64_t m_nFirstBytes = 0;  // bytes of the first block
    uint32_t m_nFirstMs = 0;     // arrival of the first block
    uint32_t m_nLastMs = 0;      // arrival of the latest block
};

// "11.232 B/s"; empty while the rate is unknown.
std::string RateText(const CFetchProgress& progress);
// "noch 0:36", "noch 1:02:05"; empty while the time left is unknown.
std::string TimeLeftText(const CFetchProgress& progress);
