// The simulation over a real pseudo-terminal, talked to with plain POSIX calls.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/ModemSim.h"
#include "sim/ModuleSim.h"
#include "sim/PtySimServer.h"

extern char** environ;

namespace {

int64_t NowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t{ts.tv_sec} * 1000 + ts.tv_nsec / 1000000;
}

// A serial client written against the terminal interface only.
class CPosixClient {
  public:
    bool Open(const std::string& path) {
        m_nFd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
        if (m_nFd < 0)
            return false;
        termios tio{};
        if (::tcgetattr(m_nFd, &tio) != 0)
            return false;
        ::cfmakeraw(&tio);
        ::cfsetspeed(&tio, B115200);
        ::tcsetattr(m_nFd, TCSANOW, &tio);
        ::tcflush(m_nFd, TCIOFLUSH);
        return true;
    }
    ~CPosixClient() { Close(); }
    void Close() {
        if (m_nFd >= 0)
            ::close(m_nFd);
        m_nFd = -1;
    }
    bool Send(const std::string& s) {
        return ::write(m_nFd, s.data(), s.size()) == static_cast<ssize_t>(s.size());
    }
    // Exactly n bytes, or what came within the time limit.
    std::string Read(size_t n, int limitMs = 3000) {
        std::string got;
        const int64_t end = NowMs() + limitMs;
        while (got.size() < n) {
            const int64_t left = end - NowMs();
            if (left <= 0)
                break;
            pollfd p{m_nFd, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left)) <= 0)
                break;
            char buf[512];
            const ssize_t r = ::read(m_nFd, buf, std::min(sizeof buf, n - got.size()));
            if (r <= 0)
                break;
            got.append(buf, static_cast<size_t>(r));
        }
        return got;
    }
    // Fetches count blocks; returns the data, or fewer blocks on the first bad one.
    std::vector<std::string> Fetch(const std::string& request, int count) {
        std::vector<std::string> blocks;
        Send(request);
        if (Read(8) != "q,I,0#i,")
            return blocks;
        for (int i = 0; i < count; ++i) {
            const std::string len = Read(2);
            if (len.size() != 2)
                break;
            const size_t n = std::stoul(len, nullptr, 16);
            const std::string data = Read(n);
            const std::string check = Read(1);
            if (data.size() != n || check.size() != 1)
                break;
            uint8_t sum = static_cast<uint8_t>(check[0]);
            for (char c : data)
                sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(c));
            if (sum != 0) {
                Send("q,i,1#");
                break;
            }
            blocks.push_back(data);
            Send("q,i,0#");
        }
        return blocks;
    }

  private:
    int m_nFd = -1;
};

std::string Joined(const std::vector<std::string>& blocks) {
    std::string all;
    for (const auto& b : blocks)
        all += b;
    return all;
}

TEST(SimPtyTest, ServerAnswersStatusAndAWholePictureAndSurvivesReopening) {
    CModuleSim module;
    module.SetPacing(115200, 0);
    CPtySimServer server;
    std::string device;
    std::string error;
    ASSERT_TRUE(server.Start(module, device, &error)) << error;
    {
        CPosixClient client;
        ASSERT_TRUE(client.Open(device));
        client.Send("V#");
        EXPECT_EQ(client.Read(11), "q,V,0#v,03#");
    }
    CPosixClient client;
    ASSERT_TRUE(client.Open(device));  // the host closed and reopened the device
    const int64_t start = NowMs();
    const std::vector<std::string> blocks = client.Fetch("I,00000,B4,0090,3#", 144);
    const int64_t took = NowMs() - start;
    ASSERT_EQ(blocks.size(), 144u);
    EXPECT_GE(took, 2200);  // about 2.29 s of line time at 115200 baud
    // The last acknowledgement may still be on its way to the server.
    size_t frames = 0;
    for (int i = 0; i < 100 && frames < 2 + 144; ++i) {
        server.WithPeer([&] { frames = module.Frames().size(); });
        if (frames < 2 + 144)
            ::usleep(10000);
    }
    EXPECT_EQ(frames, 2u + 144u);
    server.WithPeer([&] {
        const auto& px = module.LastPicture().m_pixels;
        EXPECT_EQ(Joined(blocks), std::string(px.begin(), px.end()));
        EXPECT_FALSE(module.InTransfer());
    });
    server.Stop();
    server.Stop();
    EXPECT_FALSE(server.IsRunning());
}

TEST(SimPtyTest, ServerWithModemDialsAndHangsUpWithTheModule) {
    CModuleSim module;
    CModemSim modem(module);
    modem.m_nDialDelayMs = 100;
    CPtySimServer server;
    server.m_sLinkPath = ::testing::TempDir() + "pixlane-sim-link";
    std::string device;
    ASSERT_TRUE(server.Start(modem, device, nullptr));
    char target[256] = {};
    ASSERT_GT(::readlink(server.m_sLinkPath.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(device, target);
    CPosixClient client;
    ASSERT_TRUE(client.Open(server.m_sLinkPath));
    client.Send("AT\r");
    EXPECT_EQ(client.Read(9), "AT\r\r\nOK\r\n");
    client.Send("ATD!22\r");
    EXPECT_EQ(client.Read(7 + 16), "ATD!22\r\r\nCONNECT 9600\r\n");
    client.Send("E,1#");
    EXPECT_EQ(client.Read(6 + 14), "q,E,0#\r\nNO CARRIER\r\n");
    server.Stop();
    EXPECT_NE(::access(server.m_sLinkPath.c_str(), F_OK), 0);
    EXPECT_EQ(modem.Dialled(), (std::vector<std::string>{"!22"}));
}

TEST(SimPtyTest, ExecutablePrintsItsDeviceAndServesStatusAndPicture) {
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const char* argv[] = {PIXLANE_SIM_EXE,    "--baud", "0",       "--camera", "42",
                          "--module-version", "12345",  "--scene", "uniform",  nullptr};
    pid_t pid = 0;
    ASSERT_EQ(
        posix_spawn(&pid, PIXLANE_SIM_EXE, &actions, nullptr, const_cast<char**>(argv), environ),
        0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    std::string line;
    char c = 0;
    pollfd p{out[0], POLLIN, 0};
    while (line.size() < 200 && ::poll(&p, 1, 5000) > 0 && ::read(out[0], &c, 1) == 1 && c != '\n')
        line += c;
    ::close(out[0]);
    ASSERT_EQ(line.rfind("/dev/", 0), 0u) << line;

    CPosixClient client;
    ASSERT_TRUE(client.Open(line));
    client.Send("V#");
    EXPECT_EQ(client.Read(11), "q,V,0#v,42#");
    client.Send("S#");
    EXPECT_EQ(client.Read(14), "q,S,0#s,12345#");
    const std::vector<std::string> blocks = client.Fetch("I,00000,B4,0120,1#", 288);
    EXPECT_EQ(blocks.size(), 288u);
    // The camera without video signal: one grey all over.
    const std::vector<std::string> grey = client.Fetch("I,00000,B4,0090,3#", 144);
    ASSERT_EQ(grey.size(), 144u);
    for (const std::string& block : grey)
        EXPECT_EQ(block, std::string(180, static_cast<char>(kSimUniformGrey)));
    client.Send("G,09#");
    EXPECT_EQ(client.Read(6), "q,G,1#");
    client.Close();

    ASSERT_EQ(::kill(pid, SIGTERM), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
