// The real pixlane window (offscreen) on a real pseudo-terminal, ended by the signals a
// desktop session, a terminal and Ctrl+C send: each must take the window's exit path, so
// that the settings are written and the port is closed with its lock file.

#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include <gtest/gtest.h>

namespace {

using SteadyClock = std::chrono::steady_clock;

// Whether the process holds the device open (one of its descriptors names it).
bool HoldsOpen(pid_t pid, const std::string& device) {
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QFileInfo& fd : fds.entryInfoList(QDir::System | QDir::NoDotAndDotDot))
        if (fd.symLinkTarget().toStdString() == device)
            return true;
    return false;
}

// The lock file the serial port takes for the device where the system keeps them.
std::string LockFileOf(const std::string& device) {
    std::string name = device.substr(std::strlen("/dev/"));
    for (char& c : name)
        if (c == '/')
            c = '_';
    for (const char* dir : {"/run/lock", "/var/lock"})
        if (QFileInfo(QString::fromLatin1(dir)).isWritable())
            return std::string(dir) + "/LCK.." + name;
    return {};
}

class WindowSignalPtyTest : public ::testing::TestWithParam<int> {};

TEST_P(WindowSignalPtyTest, TheSignalClosesTheWindowAsBeendenDoes) {
    int master = -1, slave = -1;
    char name[256] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0) << std::strerror(errno);
    const std::string device = name;
    ::close(slave);
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const std::string config = home.filePath(QStringLiteral(".config")).toStdString();

    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::close(master);
        ::setenv("HOME", home.path().toLocal8Bit().constData(), 1);
        ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::setenv("PIXLANE_COM1", device.c_str(), 1);
        ::execl(PIXLANE_EXE, "pixlane", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    const auto deadline = SteadyClock::now() + std::chrono::seconds(30);
    while (!HoldsOpen(pid, device) && SteadyClock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const bool opened = HoldsOpen(pid, device);
    const std::string lock = LockFileOf(device);
    const bool locked = !lock.empty() && QFileInfo::exists(QString::fromStdString(lock));
    // The window may not be up yet: a signal that comes before its event loop runs is
    // taken as soon as it does.
    ::kill(pid, GetParam());
    int status = 0;
    pid_t done = 0;
    while ((done = ::waitpid(pid, &status, WNOHANG)) == 0 && SteadyClock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (done == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
    }
    ::close(master);
    ASSERT_TRUE(opened) << "pixlane did not open " << device;
    ASSERT_NE(done, 0) << "pixlane still ran after the signal";
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    // The exit wrote every setting back ...
    QSettings written(QString::fromStdString(config + "/Kelvorn/Pixlane_Orbex.conf"),
                      QSettings::IniFormat);
    written.beginGroup(QStringLiteral("Pixlane/BasicSettings"));
    EXPECT_EQ(written.childKeys().size(), 26);
    EXPECT_EQ(written.value(QStringLiteral("open")).toString(), QStringLiteral("0"));
    // ... and closed the port, which takes its lock file away.
    if (locked) {
        EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(lock))) << lock;
    } else {
        std::printf("no lock file for %s (%s)\n", device.c_str(), lock.c_str());
    }
}

INSTANTIATE_TEST_SUITE_P(Signals, WindowSignalPtyTest, ::testing::Values(SIGTERM, SIGHUP, SIGINT),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(sigabbrev_np(info.param));
                         });

}  // namespace
