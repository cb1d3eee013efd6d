#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "link/ComPort.h"
#include "link/PortUi.h"
#include "support/FakeLine.h"
#include "support/VirtualClock.h"

// Records what the port shows, with the virtual time at which it was shown.
class CRecordingPortUi : public CPortUi {
  public:
    explicit CRecordingPortUi(CVirtualClock& clock) : m_clock(clock) {}
    void SetStatusText(const std::string& text) override {
        m_status.push_back(text);
        m_statusAtMs.push_back(m_clock.NowMs());
    }
    void MessageBox(const std::string& text) override { m_messages.push_back(text); }

    std::vector<std::string> m_status;
    std::vector<uint64_t> m_statusAtMs;
    std::vector<std::string> m_messages;

  private:
    CVirtualClock& m_clock;
};

// Port 1 on a fake line in virtual time, answered by the peer the test gives, set up the
// way the program always sets it up (3-second read time-out).
class CPortFixture : public ::testing::Test {
  protected:
    static constexpr uint64_t kStartMs = 50000;  // away from zero: nothing relies on origin

    CFakeLine& OpenLine(CSimPeer* peer) {
        m_factory.Attach(1, peer);
        m_line.SetClock(&m_clock);
        m_line.SetLineFactory(&m_factory);
        m_line.SetUi(&m_ui);
        m_clock.AdvanceToUs(kStartMs * 1000);
        EXPECT_TRUE(m_port.Open(1));
        EXPECT_TRUE(m_port.Setup(115200, 8, 0, 1, 2));
        return *m_factory.Last();
    }

    // Virtual milliseconds since the port was opened.
    uint64_t ElapsedMs() const { return m_clock.NowMs() - kStartMs; }

    std::vector<uint64_t> RxPurgesMs(const CFakeLine& line) const {
        std::vector<uint64_t> ms;
        for (uint64_t us : line.RxPurgeTimesUs())
            ms.push_back(us / 1000 - kStartMs);
        return ms;
    }

    CVirtualClock m_clock;
    CFakeLineFactory m_factory{m_clock};
    CRecordingPortUi m_ui{m_clock};
    CLineSession m_line;
    CComPort m_port{m_line};
};
