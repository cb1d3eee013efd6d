// The serial port over a real pseudo-terminal, through the QSerialPort back end, in real
// time. The test plays the far end on the master side.

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "link/ComPort.h"
#include "link/QtSerialLine.h"

namespace {

class CRecordingPortUi : public CPortUi {
  public:
    void SetStatusText(const std::string&) override {}
    void MessageBox(const std::string& text) override { m_messages.push_back(text); }
    std::vector<std::string> m_messages;
};

using SteadyClock = std::chrono::steady_clock;

long long MsSince(SteadyClock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start)
        .count();
}

class SerialPtyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[256] = {};
        ASSERT_EQ(::openpty(&m_nMaster, &m_nSlave, name, nullptr, nullptr), 0)
            << std::strerror(errno);
        m_sSlave = name;
        ::setenv("PIXLANE_COM3", m_sSlave.c_str(), 1);
    }
    void TearDown() override {
        m_port.Open(0);
        ::unsetenv("PIXLANE_COM3");
        if (m_nMaster >= 0)
            ::close(m_nMaster);
        if (m_nSlave >= 0)
            ::close(m_nSlave);
    }

    void OpenAndSetUp() {
        ASSERT_TRUE(m_port.Open(3));
        ASSERT_TRUE(m_port.Setup(115200, 8, 0, 1, 2));
    }

    void SendFromFarEnd(const std::string& bytes) {
        ASSERT_EQ(::write(m_nMaster, bytes.data(), bytes.size()),
                  static_cast<ssize_t>(bytes.size()));
    }

    // What the host sent, as far as it arrives within the given time.
    std::string ReceiveAtFarEnd(size_t n, int limitMs = 2000) {
        std::string got;
        const auto start = SteadyClock::now();
        while (got.size() < n && MsSince(start) < limitMs) {
            pollfd pfd{m_nMaster, POLLIN, 0};
            if (::poll(&pfd, 1, 50) <= 0)
                continue;
            char buf[64];
            const ssize_t r = ::read(m_nMaster, buf, std::min(sizeof buf, n - got.size()));
            if (r > 0)
                got.append(buf, static_cast<size_t>(r));
        }
        return got;
    }

    termios SlaveTermios() {
        termios t{};
        EXPECT_EQ(::tcgetattr(m_nSlave, &t), 0);
        return t;
    }

    int m_nMaster = -1;
    int m_nSlave = -1;
    std::string m_sSlave;
    CLineSession m_line;
    CComPort m_port{m_line};
};

TEST_F(SerialPtyTest, SetupReachesTheTerminalSettings) {
    OpenAndSetUp();
    termios t = SlaveTermios();
    EXPECT_EQ(::cfgetispeed(&t), B115200);
    EXPECT_EQ(::cfgetospeed(&t), B115200);
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t{CS8});
    EXPECT_EQ(t.c_cflag & PARENB, 0u);
    EXPECT_EQ(t.c_cflag & CSTOPB, 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u) << "raw line";

    ASSERT_TRUE(m_port.Setup(57600, 8, 0, 3, 2));
    t = SlaveTermios();
    EXPECT_EQ(::cfgetospeed(&t), B57600);
    EXPECT_NE(t.c_cflag & CSTOPB, 0u) << "stop code 3: two stop bits";
    ASSERT_TRUE(m_port.Setup(57600, 8, 0, 2, 2));
    EXPECT_NE(SlaveTermios().c_cflag & CSTOPB, 0u) << "stop code 2: two, the nearest to 1.5";
    ASSERT_TRUE(m_port.Setup(57600, 8, 0, 1, 2));
    EXPECT_EQ(SlaveTermios().c_cflag & CSTOPB, 0u);

    // A pseudo-terminal has no modem-control lines; every RTS mode must still set up, and
    // none of them may make output wait for CTS.
    for (uint8_t rts : {uint8_t{0}, uint8_t{1}, uint8_t{2}, uint8_t{3}}) {
        EXPECT_TRUE(m_port.Setup(115200, 8, 0, 1, rts)) << "RTS mode " << int(rts);
        EXPECT_EQ(SlaveTermios().c_cflag & CRTSCTS, 0u) << "RTS mode " << int(rts);
    }
    EXPECT_TRUE(m_port.Write("V#", 2));
    EXPECT_EQ(ReceiveAtFarEnd(2), "V#");
}

TEST_F(SerialPtyTest, AWriteTheLineCannotTakeGivesUpAfterItsTimeOut) {
    OpenAndSetUp();
    // Fill the line until it takes nothing more: the far end reads nothing meanwhile. The
    // terminal moves bytes on behind the scenes, so fill until a pause frees no more room.
    const int flags = ::fcntl(m_nSlave, F_GETFL);
    ASSERT_EQ(::fcntl(m_nSlave, F_SETFL, flags | O_NONBLOCK), 0);
    const std::string chunk(4096, 'x');
    for (bool took = true; took;) {
        took = false;
        while (::write(m_nSlave, chunk.data(), chunk.size()) > 0)
            took = true;
        ASSERT_EQ(errno, EAGAIN);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    // 500 ms and 500 ms per byte: two bytes give up after 1.5 s.
    const auto start = SteadyClock::now();
    EXPECT_FALSE(m_port.Write("V#", 2));
    const long long elapsed = MsSince(start);
    EXPECT_GE(elapsed, 1500);
    EXPECT_LT(elapsed, 2000);
}

TEST_F(SerialPtyTest, StateTheDriverRefusesShowsTheMessage) {
    CRecordingPortUi ui;
    m_line.SetUi(&ui);
    OpenAndSetUp();
    // A pseudo-terminal carries eight data bits without parity only.
    EXPECT_FALSE(m_port.Setup(115200, 7, 1, 1, 2));
    m_line.SetUi(nullptr);
    ASSERT_EQ(ui.m_messages.size(), 1u);
    EXPECT_EQ(ui.m_messages[0], "Fehler setzen !");

    // The port stays open and usable.
    EXPECT_TRUE(m_port.Write("V#", 2));
    EXPECT_EQ(ReceiveAtFarEnd(2), "V#");
}

TEST_F(SerialPtyTest, BytesTravelBothWays) {
    OpenAndSetUp();
    EXPECT_TRUE(m_port.Write("I,00000,B4,0090,3#", 18));
    EXPECT_EQ(ReceiveAtFarEnd(18), "I,00000,B4,0090,3#");

    SendFromFarEnd("q,I,0#");
    char buf[8];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_TRUE(m_port.Read(buf, 6));
    EXPECT_STREQ(buf, "q,I,0#");

    // Bytes in two pieces still make one read.
    SendFromFarEnd("i,");
    std::thread later([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        SendFromFarEnd("5A");
    });
    EXPECT_TRUE(m_port.Read(buf, 4));
    later.join();
    EXPECT_STREQ(buf, "i,5A");
}

TEST_F(SerialPtyTest, ShortReadTimesOutAfterThreeSeconds) {
    OpenAndSetUp();
    SendFromFarEnd("q,");
    char buf[5] = {};
    const auto start = SteadyClock::now();
    EXPECT_FALSE(m_port.Read(buf, 4));
    const long long elapsed = MsSince(start);
    EXPECT_GE(elapsed, 3000);
    EXPECT_LE(elapsed, 3500);
    EXPECT_EQ(std::string(buf, 2), "q,");
}

TEST_F(SerialPtyTest, PurgeDiscardsPendingInput) {
    OpenAndSetUp();
    SendFromFarEnd("junk");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(m_port.PurgeRx());
    EXPECT_TRUE(m_port.PurgeTx());

    char buf[2] = {};
    const auto start = SteadyClock::now();
    EXPECT_FALSE(m_port.Read(buf, 1));
    EXPECT_GE(MsSince(start), 2900);

    SendFromFarEnd("k");
    EXPECT_TRUE(m_port.Read(buf, 1));
    EXPECT_STREQ(buf, "k");
}

// The far end closing is what pulling a USB adapter looks like to the host: the
// terminal hangs up and its node goes. A quiet line is no such loss.
TEST_F(SerialPtyTest, AFarEndThatClosesIsALostLineAndSilenceIsNot) {
    OpenAndSetUp();
    char buf[8] = {};
    EXPECT_FALSE(m_port.Read(buf, 1));
    EXPECT_TRUE(m_line.IsOpen()) << "silence";

    ::close(m_nMaster);
    m_nMaster = -1;
    EXPECT_FALSE(m_port.Read(buf, 4));
    EXPECT_FALSE(m_line.IsOpen());
    EXPECT_TRUE(m_line.LineLost());
    EXPECT_TRUE(m_line.TakeLineLoss());

    // A write finds it out as well.
    int master = -1;
    int slave = -1;
    char name[256] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    ::close(slave);
    ::setenv("PIXLANE_COM3", name, 1);
    OpenAndSetUp();
    ::close(master);
    EXPECT_FALSE(m_port.Write("V#", 2));
    EXPECT_FALSE(m_line.IsOpen());
    EXPECT_TRUE(m_line.TakeLineLoss());
}

TEST_F(SerialPtyTest, OpenIsExclusiveEvenAsRoot) {
    OpenAndSetUp();
    EXPECT_FALSE(m_port.Open(3));
    bool busy = false;
    EXPECT_EQ(CQtSerialLine::OpenDevice(m_sSlave, nullptr, &busy), nullptr);
    EXPECT_TRUE(busy);
    // A second session of the same process gets no share of the line either.
    CLineSession other;
    EXPECT_FALSE(CComPort(other).Open(3));
    EXPECT_TRUE(other.OpenFoundBusy());
    EXPECT_FALSE(other.IsOpen());

    ASSERT_TRUE(m_port.Open(0));
    auto line = CQtSerialLine::OpenDevice(m_sSlave);
    EXPECT_NE(line, nullptr) << "the close gave the device free";
    EXPECT_FALSE(m_port.Open(3)) << "now the other user holds it";
    EXPECT_TRUE(m_line.OpenFoundBusy());
}

TEST_F(SerialPtyTest, MissingDeviceFailsToOpen) {
    ::setenv("PIXLANE_COM3", "/dev/pixlane-no-such-port", 1);
    EXPECT_FALSE(m_port.Open(3));
    EXPECT_FALSE(m_line.IsOpen());
    EXPECT_FALSE(m_line.OpenFoundBusy()) << "a missing device is not held by another";
}

class PortNameTest : public ::testing::Test {
  protected:
    void TearDown() override { ::unsetenv("PIXLANE_COM2"); }
};

TEST_F(PortNameTest, EnvironmentThenStoredValueThenDefault) {
    ::unsetenv("PIXLANE_COM2");
    EXPECT_EQ(ResolvePortName(1), "/dev/ttyS0");
    EXPECT_EQ(ResolvePortName(2), "/dev/ttyS1");
    EXPECT_EQ(ResolvePortName(9), "/dev/ttyS8");

    EXPECT_EQ(ResolvePortName(2, "/dev/ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(ResolvePort(2, "/dev/ttyUSB0").m_eSource, EPortSource::Stored);
    EXPECT_EQ(ResolvePortName(3, ""), "/dev/ttyS2") << "nothing stored for this port";
    EXPECT_EQ(CLineAddress::Port(2, "/dev/ttyUSB0").DeviceName(), "/dev/ttyUSB0");

    ::setenv("PIXLANE_COM2", "/dev/pts/7", 1);
    EXPECT_EQ(ResolvePortName(2, "/dev/ttyUSB0"), "/dev/pts/7");
    EXPECT_EQ(CLineAddress::Port(2, "/dev/ttyUSB0").DeviceName(), "/dev/pts/7");
    EXPECT_EQ(ResolvePortName(3), "/dev/ttyS2") << "only the named port";
}

// A USB adapter's driver, which keeps settings.
struct CFakeSerialDriver : CSerialDriver {
    bool Get(int, serial_struct& settings) override { return settings = m_settings, true; }
    bool Set(int, const serial_struct& settings) override {
        return m_sets.push_back(settings), true;
    }
    serial_struct m_settings{};
    std::vector<serial_struct> m_sets;
};

TEST_F(SerialPtyTest, OpeningAsksTheDriverForLowLatencyAndGoesOnWhereItHasNone) {
    CFakeSerialDriver adapter;
    adapter.m_settings.flags = ASYNC_SKIP_TEST;
    adapter.m_settings.xmit_fifo_size = 64;
    EXPECT_NE(CQtSerialLine::OpenDevice(m_sSlave, nullptr, nullptr, &adapter), nullptr);
    // The flag on top of what the driver had; its other settings written back as they were.
    ASSERT_EQ(adapter.m_sets.size(), 1u);
    EXPECT_EQ(adapter.m_sets[0].flags, ASYNC_SKIP_TEST | ASYNC_LOW_LATENCY);
    EXPECT_EQ(adapter.m_sets[0].xmit_fifo_size, 64);
    // The pseudo-terminal's own driver has none: it opens all the same (and every other
    // test here uses it so).
    EXPECT_FALSE(RequestLowLatency(m_nSlave));
    EXPECT_NE(CQtSerialLine::OpenDevice(m_sSlave), nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
