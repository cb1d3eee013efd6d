#pragma once

#include <cstdint>

#include "link/Clock.h"

// Virtual time for tests: nothing waits, every wait moves the clock on.
class CVirtualClock : public CClock {
  public:
    uint32_t GetTickCount() override { return static_cast<uint32_t>(m_nNowUs / 1000); }
    void Sleep(uint32_t ms) override { m_nNowUs += uint64_t{ms} * 1000; }
    void Spin() override { m_nNowUs += 1000; }

    uint64_t NowUs() const { return m_nNowUs; }
    uint64_t NowMs() const { return m_nNowUs / 1000; }
    void AdvanceUs(uint64_t us) { m_nNowUs += us; }
    void AdvanceToUs(uint64_t us) {
        if (us > m_nNowUs)
            m_nNowUs = us;
    }

  private:
    uint64_t m_nNowUs = 0;
};
