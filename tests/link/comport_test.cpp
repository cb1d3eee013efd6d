// The serial port on the fake line, in virtual time.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "link/ComPort.h"
#include "support/FakeLine.h"
#include "support/VirtualClock.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class CRecordingPortUi : public CPortUi {
  public:
    void SetStatusText(const std::string& text) override { m_status.push_back(text); }
    void MessageBox(const std::string& text) override { m_messages.push_back(text); }
    std::vector<std::string> m_status;
    std::vector<std::string> m_messages;
};

constexpr uint64_t kMs = 1000;  // microseconds per millisecond

bool SameState(const CLineState& a, const CLineState& b) {
    return a.m_nBaudRate == b.m_nBaudRate && a.m_nByteSize == b.m_nByteSize &&
           a.m_nParity == b.m_nParity && a.m_nStopBits == b.m_nStopBits &&
           a.m_bParityCheck == b.m_bParityCheck && a.m_nRtsControl == b.m_nRtsControl;
}

bool SameTimeouts(const CLineTimeouts& a, const CLineTimeouts& b) {
    return a.m_nReadInterval == b.m_nReadInterval && a.m_nReadMultiplier == b.m_nReadMultiplier &&
           a.m_nReadConstant == b.m_nReadConstant && a.m_nWriteMultiplier == b.m_nWriteMultiplier &&
           a.m_nWriteConstant == b.m_nWriteConstant;
}

class ComPortTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (int port = 1; port <= 9; ++port)
            m_factory.Attach(port, nullptr);
        m_line.SetClock(&m_clock);
        m_line.SetLineFactory(&m_factory);
        m_line.SetUi(&m_ui);
        // Start away from zero so that nothing relies on the tick count's origin.
        m_clock.AdvanceUs(12345 * kMs);
    }

    // Opens a port and sets it up the way the program always does.
    CFakeLine& OpenAndSetUp(uint8_t port = 1) {
        EXPECT_TRUE(m_port.Open(port));
        EXPECT_TRUE(m_port.Setup(115200, 8, 0, 1, 2));
        return *m_factory.Last();
    }

    CVirtualClock m_clock;
    CFakeLineFactory m_factory{m_clock};
    CRecordingPortUi m_ui;
    CLineSession m_line;
    CComPort m_port{m_line};
};

// ---- open and close ----

TEST_F(ComPortTest, PortNumbersOutsideOneToNineClose) {
    for (uint8_t closer : {uint8_t{0}, uint8_t{10}, uint8_t{255}}) {
        SCOPED_TRACE(static_cast<int>(closer));
        ASSERT_TRUE(m_port.Open(5));
        EXPECT_TRUE(m_port.Open(closer));
        EXPECT_FALSE(m_line.IsOpen());
        EXPECT_EQ(m_line.State(), nullptr);
        EXPECT_EQ(m_line.Timeouts(), nullptr);
        EXPECT_FALSE(m_port.Open(closer)) << "nothing left to close";
    }
    EXPECT_THAT(m_factory.m_opened, ElementsAre(5, 5, 5));
}

TEST_F(ComPortTest, EachNumberOneToNineOpensItsOwnPort) {
    for (uint8_t port = 1; port <= 9; ++port) {
        ASSERT_TRUE(m_port.Open(port));
        ASSERT_TRUE(m_port.Open(0));
    }
    EXPECT_THAT(m_factory.m_opened, ElementsAre(1, 2, 3, 4, 5, 6, 7, 8, 9));
}

TEST_F(ComPortTest, CloseReportsWhetherAPortWasOpen) {
    EXPECT_FALSE(m_port.Open(0));
    EXPECT_FALSE(m_line.IsOpen());

    ASSERT_TRUE(m_port.Open(2));
    EXPECT_NE(m_line.State(), nullptr);
    EXPECT_NE(m_line.Timeouts(), nullptr);
    EXPECT_TRUE(m_port.Open(0));
    EXPECT_FALSE(m_port.Open(0));
    EXPECT_FALSE(m_line.IsOpen());
}

TEST_F(ComPortTest, PortThatCannotBeOpenedLeavesNothingOpen) {
    CFakeLineFactory bare(m_clock);  // no port attached: every open fails
    m_line.SetLineFactory(&bare);
    EXPECT_FALSE(m_port.Open(4));
    EXPECT_FALSE(m_line.IsOpen());
    EXPECT_EQ(m_line.State(), nullptr);
    EXPECT_EQ(m_line.Timeouts(), nullptr);
    EXPECT_FALSE(m_port.Open(0));
}

TEST_F(ComPortTest, SecondOpenFailsAndKeepsTheFirst) {
    CFakeLine& line = OpenAndSetUp(3);
    EXPECT_FALSE(m_port.Open(3));
    EXPECT_FALSE(m_port.Open(4)) << "one line per session";
    EXPECT_THAT(m_factory.m_opened, ElementsAre(3));

    // The first port is still the one in use, and still set up.
    ASSERT_TRUE(m_line.IsOpen());
    EXPECT_TRUE(m_port.Write("V#", 2));
    EXPECT_EQ(line.Written(), "V#");
    EXPECT_EQ(m_line.Timeouts()->m_nReadConstant, 3000u);
}

TEST_F(ComPortTest, FailedStateReadKeepsThePortOpenUntilClosed) {
    m_factory.m_bFailNextGetState = true;
    EXPECT_FALSE(m_port.Open(6));
    EXPECT_TRUE(m_line.IsOpen());
    EXPECT_FALSE(m_port.Open(6)) << "the port is still held";

    EXPECT_TRUE(m_port.Open(0)) << "the close releases it";
    EXPECT_FALSE(m_line.IsOpen());
    EXPECT_TRUE(m_port.Open(6));
}

// A factory that fails the way memory or string handling can fail.
class CThrowingFactory : public CLineFactory {
  public:
    explicit CThrowingFactory(bool badAlloc) : m_bBadAlloc(badAlloc) {}
    std::unique_ptr<CSerialLine> OpenLine(const CLineAddress&) override {
        if (m_bBadAlloc)
            throw std::bad_alloc();
        throw std::length_error("port name");
    }

  private:
    bool m_bBadAlloc;
};

TEST_F(ComPortTest, ExceptionWhileOpeningIsAFailedOpen) {
    for (bool badAlloc : {true, false}) {
        SCOPED_TRACE(badAlloc ? "bad_alloc" : "length_error");
        CThrowingFactory factory(badAlloc);
        m_line.SetLineFactory(&factory);
        bool result = true;
        EXPECT_NO_THROW(result = m_port.Open(1));
        EXPECT_FALSE(result);
        EXPECT_FALSE(m_line.IsOpen());
    }
}

// ---- read ----

TEST_F(ComPortTest, ShortReadGivesUpAfterExactlyThreeSeconds) {
    CFakeLine& line = OpenAndSetUp();
    line.InjectNow("abcd");
    char buf[8];
    std::memset(buf, 'x', sizeof buf);
    const uint64_t start = m_clock.NowUs();

    EXPECT_FALSE(m_port.Read(buf, 6));
    EXPECT_EQ(m_clock.NowUs() - start, 3000 * kMs);
    EXPECT_EQ(std::string(buf, 4), "abcd");
    EXPECT_EQ(buf[4], 'x') << "a failed read stores no NUL";
    EXPECT_EQ(buf[6], 'x') << "a failed read stores no NUL";
}

TEST_F(ComPortTest, CompleteReadStoresTheNul) {
    CFakeLine& line = OpenAndSetUp();
    const uint64_t start = m_clock.NowUs();
    line.Inject("q,V,", start + 10 * kMs);
    line.Inject("0#", start + 2999 * kMs);
    char buf[8];
    std::memset(buf, 'x', sizeof buf);

    EXPECT_TRUE(m_port.Read(buf, 6));
    EXPECT_STREQ(buf, "q,V,0#");
    EXPECT_EQ(buf[6], '\0');
    EXPECT_EQ(buf[7], 'x') << "nothing written past the NUL";
    EXPECT_EQ(m_clock.NowUs() - start, 2999 * kMs) << "returns as the last byte arrives";
}

TEST_F(ComPortTest, ReadTimeOutIsTotalWhateverTheLength) {
    CFakeLine& line = OpenAndSetUp();
    const uint64_t start = m_clock.NowUs();
    // Six bytes 700 ms apart: the last is due at 3500 ms, beyond the 3 s of the read.
    for (int i = 0; i < 6; ++i)
        line.Inject(std::string(1, static_cast<char>('a' + i)), start + i * 700 * kMs);
    char buf[8] = {};

    EXPECT_FALSE(m_port.Read(buf, 6));
    EXPECT_EQ(m_clock.NowUs() - start, 3000 * kMs);
    // What did not make it stays in the line for the next read.
    EXPECT_EQ(line.PendingInput(), 1u);
    EXPECT_TRUE(m_port.Read(buf, 1));
    EXPECT_STREQ(buf, "f");
}

// ---- write ----

TEST_F(ComPortTest, SetupAppliesTheFixedTimeOuts) {
    CFakeLine& line = OpenAndSetUp();
    const CLineTimeouts* applied = m_line.Timeouts();
    ASSERT_NE(applied, nullptr);
    EXPECT_EQ(applied->m_nReadInterval, 0u);
    EXPECT_EQ(applied->m_nReadMultiplier, 0u);
    EXPECT_EQ(applied->m_nReadConstant, 3000u);
    EXPECT_EQ(applied->m_nWriteMultiplier, 500u);
    EXPECT_EQ(applied->m_nWriteConstant, 500u);
    EXPECT_TRUE(SameTimeouts(line.m_timeouts, *applied)) << "the line got what is recorded";
}

TEST_F(ComPortTest, WriteSucceedsOnlyWhenEveryByteWentOut) {
    CFakeLine& line = OpenAndSetUp();
    EXPECT_TRUE(m_port.Write("I,00000,B4,0090,3#", 18));
    EXPECT_EQ(line.Written(), "I,00000,B4,0090,3#");

    line.m_nWriteLimit = 3;  // the write time-out ends after three bytes
    EXPECT_FALSE(m_port.Write("abcdef", 6));
    EXPECT_EQ(line.Writes().back().m_sBytes, "abc");
    EXPECT_TRUE(m_port.Write("xyz", 3));

    line.m_nWriteLimit = SIZE_MAX;
    line.m_bFailWrite = true;
    EXPECT_FALSE(m_port.Write("V#", 2));
}

// ---- setup ----

TEST_F(ComPortTest, SetupRejectsBadByteSizeAndStopCodeSilently) {
    ASSERT_TRUE(m_port.Open(1));
    CFakeLine& line = *m_factory.Last();
    const CLineState lineBefore = line.m_state;
    const CLineState recordedBefore = *m_line.State();
    const CLineTimeouts timeoutsBefore = line.m_timeouts;

    struct CCase {
        uint8_t m_nByteSize;
        uint8_t m_nStopCode;
    };
    for (const CCase c : {CCase{9, 1}, CCase{255, 1}, CCase{8, 0}, CCase{8, 4}, CCase{8, 255}}) {
        SCOPED_TRACE(testing::Message()
                     << "byte size " << int(c.m_nByteSize) << ", stop code " << int(c.m_nStopCode));
        EXPECT_FALSE(m_port.Setup(57600, c.m_nByteSize, 1, c.m_nStopCode, 2));
        EXPECT_TRUE(SameState(line.m_state, lineBefore)) << "nothing applied";
        EXPECT_TRUE(SameState(*m_line.State(), recordedBefore));
        EXPECT_TRUE(SameTimeouts(line.m_timeouts, timeoutsBefore));
    }
    EXPECT_THAT(m_ui.m_messages, IsEmpty());
    EXPECT_TRUE(m_line.IsOpen());
}

TEST_F(ComPortTest, SetupMapsItsArgumentsOntoTheLine) {
    CFakeLine& line = OpenAndSetUp();
    EXPECT_EQ(line.m_state.m_nBaudRate, 115200u);
    EXPECT_EQ(line.m_state.m_nByteSize, 8);
    EXPECT_EQ(line.m_state.m_nParity, CLineState::kNoParity);
    EXPECT_FALSE(line.m_state.m_bParityCheck);
    EXPECT_EQ(line.m_state.m_nStopBits, CLineState::kOneStopBit);
    EXPECT_EQ(line.m_state.m_nRtsControl, CLineState::kRtsHandshake);

    const std::pair<uint8_t, uint8_t> stops[] = {{1, CLineState::kOneStopBit},
                                                 {2, CLineState::kOne5StopBits},
                                                 {3, CLineState::kTwoStopBits}};
    for (auto [code, bits] : stops) {
        ASSERT_TRUE(m_port.Setup(57600, 7, 0, code, 0));
        EXPECT_EQ(line.m_state.m_nStopBits, bits) << "stop code " << int(code);
    }
    EXPECT_EQ(line.m_state.m_nBaudRate, 57600u);
    EXPECT_EQ(line.m_state.m_nByteSize, 7);

    // Any non-zero flag means even parity; the parity check follows bit 0 alone.
    struct CParity {
        uint8_t m_nFlag;
        uint8_t m_nParity;
        bool m_bCheck;
    };
    for (const CParity p :
         {CParity{0, CLineState::kNoParity, false}, CParity{1, CLineState::kEvenParity, true},
          CParity{2, CLineState::kEvenParity, false}, CParity{3, CLineState::kEvenParity, true}}) {
        ASSERT_TRUE(m_port.Setup(9600, 8, p.m_nFlag, 1, 0));
        EXPECT_EQ(line.m_state.m_nParity, p.m_nParity) << "flag " << int(p.m_nFlag);
        EXPECT_EQ(line.m_state.m_bParityCheck, p.m_bCheck) << "flag " << int(p.m_nFlag);
    }

    // Only the low two bits of the RTS mode count.
    const std::pair<uint8_t, uint8_t> rts[] = {
        {0, CLineState::kRtsDisable}, {1, CLineState::kRtsEnable},  {2, CLineState::kRtsHandshake},
        {3, CLineState::kRtsToggle},  {4, CLineState::kRtsDisable}, {6, CLineState::kRtsHandshake},
        {7, CLineState::kRtsToggle}};
    for (auto [mode, control] : rts) {
        ASSERT_TRUE(m_port.Setup(115200, 8, 0, 1, mode));
        EXPECT_EQ(line.m_state.m_nRtsControl, control) << "RTS mode " << int(mode);
        EXPECT_TRUE(SameState(*m_line.State(), line.m_state));
    }
    EXPECT_THAT(m_ui.m_messages, IsEmpty());
}

TEST_F(ComPortTest, RefusedStateOrTimeOutsShowTheMessage) {
    CFakeLine& line = OpenAndSetUp();
    const CLineState applied = line.m_state;

    line.m_bFailSetState = true;
    EXPECT_FALSE(m_port.Setup(9600, 7, 1, 3, 0));
    EXPECT_THAT(m_ui.m_messages, ElementsAre("Fehler setzen !"));
    EXPECT_TRUE(SameState(*m_line.State(), applied)) << "the old state still holds";
    EXPECT_TRUE(m_line.IsOpen());

    line.m_bFailSetState = false;
    line.m_bFailSetTimeouts = true;
    const CLineTimeouts oldTimeouts = line.m_timeouts;
    EXPECT_FALSE(m_port.Setup(9600, 7, 1, 3, 0));
    EXPECT_THAT(m_ui.m_messages, ElementsAre("Fehler setzen !", "Fehler setzen !"));
    EXPECT_EQ(line.m_state.m_nBaudRate, 9600u) << "the state went through";
    EXPECT_TRUE(SameTimeouts(line.m_timeouts, oldTimeouts));
    EXPECT_TRUE(m_line.IsOpen());
    EXPECT_THAT(m_ui.m_status, IsEmpty());
}

TEST_F(ComPortTest, ARefusedStateStillLeavesTheReadTimeOutInForce) {
    ASSERT_TRUE(m_port.Open(1));
    CFakeLine& line = *m_factory.Last();
    line.m_bFailSetState = true;
    EXPECT_FALSE(m_port.Setup(115200, 8, 0, 1, 2));
    EXPECT_THAT(m_ui.m_messages, ElementsAre("Fehler setzen !"));
    ASSERT_NE(m_line.Timeouts(), nullptr);
    EXPECT_EQ(m_line.Timeouts()->m_nReadConstant, 3000u);
    // A read on the silent line waits its three seconds instead of failing at once.
    const uint64_t start = m_clock.NowUs();
    char buf[2];
    EXPECT_FALSE(m_port.Read(buf, 1));
    EXPECT_EQ(m_clock.NowUs() - start, 3000 * kMs);
}

// ---- waits and purges ----

TEST_F(ComPortTest, WaitEndsAtTheFirstTickPastItsTime) {
    const uint64_t start = m_clock.NowUs();
    EXPECT_TRUE(m_port.Wait(0));
    EXPECT_EQ(m_clock.NowUs() - start, 1 * kMs);

    const uint64_t second = m_clock.NowUs();
    EXPECT_TRUE(m_port.Wait(1000));
    EXPECT_EQ(m_clock.NowUs() - second, 1001 * kMs);
}

TEST_F(ComPortTest, WaitLastsItsTimeAcrossTheTickCounterWrap) {
    m_clock.AdvanceToUs((uint64_t{1} << 32) * kMs - 400 * kMs);
    const uint64_t start = m_clock.NowUs();
    EXPECT_TRUE(m_port.Wait(1000));
    EXPECT_EQ(m_clock.NowUs() - start, 1001 * kMs);
}

TEST_F(ComPortTest, PurgeDiscardsOnlyWhatHasArrived) {
    CFakeLine& line = OpenAndSetUp();
    line.InjectNow("old");
    line.Inject("new", m_clock.NowUs() + 10 * kMs);
    EXPECT_TRUE(m_port.PurgeRx());
    char buf[4];
    EXPECT_TRUE(m_port.Read(buf, 3));
    EXPECT_STREQ(buf, "new");
}

TEST_F(ComPortTest, WaitPurgeRxPurgesAfterTheWait) {
    CFakeLine& line = OpenAndSetUp();
    const uint64_t start = m_clock.NowUs();
    line.Inject("late", start + 50 * kMs);
    line.Inject("next", start + 200 * kMs);
    EXPECT_TRUE(m_port.WaitPurgeRx(100));
    EXPECT_THAT(line.RxPurgeTimesUs(), ElementsAre(start + 101 * kMs));
    char buf[5];
    EXPECT_TRUE(m_port.Read(buf, 4));
    EXPECT_STREQ(buf, "next");
}

TEST_F(ComPortTest, WaitPurgeAllPurgesBothWays) {
    CFakeLine& line = OpenAndSetUp();
    EXPECT_TRUE(m_port.WaitPurgeAll(20));
    EXPECT_EQ(line.RxPurges(), 1);
    EXPECT_EQ(line.TxPurges(), 1);
}

TEST_F(ComPortTest, ClosedPortFailsEveryLineOperation) {
    // Never opened, then opened and closed again.
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        char buf[4] = {};
        EXPECT_FALSE(m_port.Setup(115200, 8, 0, 1, 2));
        EXPECT_FALSE(m_port.Write("V#", 2));
        EXPECT_FALSE(m_port.Read(buf, 1));
        EXPECT_FALSE(m_port.PurgeRx());
        EXPECT_FALSE(m_port.PurgeTx());
        EXPECT_FALSE(m_port.WaitPurgeAll(0));
        const uint64_t start = m_clock.NowUs();
        EXPECT_TRUE(m_port.WaitPurgeRx(5)) << "true whatever the purge returned";
        EXPECT_EQ(m_clock.NowUs() - start, 6 * kMs) << "the wait still happens";
        ASSERT_TRUE(m_port.Open(1));
        ASSERT_TRUE(m_port.Open(0));
    }
}

// ---- a line that goes away ----

TEST_F(ComPortTest, ALineThatGoesAwayClosesThePortAndNothingWaitsForIt) {
    OpenAndSetUp();
    char buf[8] = {};
    // Silence is no loss.
    EXPECT_FALSE(m_port.Read(buf, 6));
    EXPECT_TRUE(m_line.IsOpen());
    EXPECT_FALSE(m_line.LineLost());
    EXPECT_FALSE(m_line.TakeLineLoss());

    m_factory.Unplug(1);
    const uint64_t start = m_clock.NowUs();
    EXPECT_FALSE(m_port.Write("V#", 2));
    EXPECT_FALSE(m_line.IsOpen());
    EXPECT_TRUE(m_line.LineLost());
    EXPECT_FALSE(m_port.Read(buf, 6));
    EXPECT_FALSE(m_port.PurgeRx());
    EXPECT_EQ(m_clock.NowUs(), start) << "no time-out is waited on a line that is gone";
    EXPECT_THAT(m_ui.m_status, ElementsAre("Schnittstelle getrennt"));
    EXPECT_TRUE(m_line.TakeLineLoss());
    EXPECT_FALSE(m_line.TakeLineLoss()) << "each loss is taken once";

    EXPECT_FALSE(m_port.Open(1)) << "the device is still away";
    EXPECT_TRUE(m_line.LineLost());
    m_factory.Attach(1, nullptr);
    ASSERT_TRUE(m_port.Open(1));
    EXPECT_FALSE(m_line.LineLost());

    // A loss that nobody took before the port was open again is over with the open.
    m_factory.Unplug(1);
    EXPECT_FALSE(m_port.Read(buf, 1));
    m_factory.Attach(1, nullptr);
    ASSERT_TRUE(m_port.Open(1));
    EXPECT_FALSE(m_line.TakeLineLoss());
}

// ---- sessions ----

// Two sessions in one process: each port object reaches the line of its own session, and
// what happens on one line (its bytes, its waits, its loss, its messages) stays with it.
TEST_F(ComPortTest, TwoSessionsKeepTheirLinesApart) {
    CVirtualClock clock2;
    CFakeLineFactory factory2(clock2);
    factory2.Attach(1, nullptr);
    CRecordingPortUi ui2;
    CLineSession second;
    second.SetClock(&clock2);
    second.SetLineFactory(&factory2);
    second.SetUi(&ui2);
    CComPort port2(second);

    CFakeLine& line1 = OpenAndSetUp(1);
    ASSERT_TRUE(port2.Open(1)) << "the same number in another session is another line";
    ASSERT_TRUE(port2.Setup(9600, 8, 0, 1, 0));
    CFakeLine& line2 = *factory2.Last();
    EXPECT_EQ(m_line.State()->m_nBaudRate, 115200u);
    EXPECT_EQ(second.State()->m_nBaudRate, 9600u);

    line1.InjectNow("eins");
    line2.InjectNow("zwei");
    char buf[8] = {};
    ASSERT_TRUE(port2.Read(buf, 4));
    EXPECT_STREQ(buf, "zwei");
    ASSERT_TRUE(m_port.Read(buf, 4));
    EXPECT_STREQ(buf, "eins");
    EXPECT_TRUE(port2.Write("V#", 2));
    EXPECT_EQ(line2.Written(), "V#");
    EXPECT_EQ(line1.Written(), "");

    // A time-out on one line passes on its own clock alone.
    const uint64_t before1 = m_clock.NowUs();
    const uint64_t before2 = clock2.NowUs();
    EXPECT_FALSE(port2.Read(buf, 1));
    EXPECT_EQ(clock2.NowUs() - before2, 3000 * kMs);
    EXPECT_EQ(m_clock.NowUs(), before1);

    // The loss of one line is that line's: the other stays open and quiet.
    factory2.Unplug(1);
    EXPECT_FALSE(port2.Write("V#", 2));
    EXPECT_TRUE(second.LineLost());
    EXPECT_TRUE(second.TakeLineLoss());
    EXPECT_FALSE(m_line.LineLost());
    EXPECT_FALSE(m_line.TakeLineLoss());
    EXPECT_TRUE(m_line.IsOpen());
    EXPECT_TRUE(m_port.Write("V#", 2));
    EXPECT_EQ(line1.Written(), "V#");
    EXPECT_THAT(ui2.m_status, ElementsAre("Schnittstelle getrennt"));
    EXPECT_THAT(m_ui.m_status, IsEmpty());
    EXPECT_EQ(m_line.BytesReceived(), 4u);
    EXPECT_EQ(second.BytesReceived(), 4u);
}

TEST_F(ComPortTest, ASessionThatEndsGivesItsLineFree) {
    {
        CLineSession other;
        other.SetClock(&m_clock);
        other.SetLineFactory(&m_factory);
        ASSERT_TRUE(CComPort(other).Open(2));
        EXPECT_EQ(m_factory.OpenLines(), 1u);
    }
    EXPECT_EQ(m_factory.OpenLines(), 0u);
    EXPECT_TRUE(m_port.Open(2));
}

}  // namespace
