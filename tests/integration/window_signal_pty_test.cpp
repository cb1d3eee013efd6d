// The real window (offscreen) on a pseudo-terminal, ended by the signals of a session that
// logs out, a terminal that goes away and Ctrl+C: each takes the exit of "Beenden", so
// the settings are written and the port is closed with its lock file.

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
#include <string>
#include <thread>

#include <gtest/gtest.h>

namespace {

// Whether the process has the device open.
bool HoldsOpen(pid_t pid, const QString& device) {
    for (const QFileInfo& fd : QDir(QStringLiteral("/proc/%1/fd").arg(pid))
                                   .entryInfoList(QDir::System | QDir::NoDotAndDotDot))
        if (fd.symLinkTarget() == device)
            return true;
    return false;
}

class WindowSignalPtyTest : public ::testing::TestWithParam<int> {};

TEST_P(WindowSignalPtyTest, TheSignalClosesTheWindowAsBeendenDoes) {
    int master = -1, slave = -1;
    char name[256] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    ::close(slave);
    const QString device = QString::fromLatin1(name);
    // The serial port's lock file, where the system keeps them.
    const QString lock = QStringLiteral("/run/lock/LCK..") + device.mid(5).replace('/', '_');
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::setenv("XDG_CONFIG_HOME", home.path().toLocal8Bit().constData(), 1);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::setenv("PIXLANE_COM1", name, 1);
        ::execl(PIXLANE_EXE, "pixlane", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // The signal may come before the window is up: it is taken once events run.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!HoldsOpen(pid, device) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const bool locked = QFileInfo::exists(lock);
    ::kill(pid, GetParam());
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (::kill(pid, 0) == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
    }
    ::close(master);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    QSettings written(home.filePath(QStringLiteral("Kelvorn/Pixlane_Orbex.conf")),
                      QSettings::IniFormat);
    written.beginGroup(QStringLiteral("Pixlane/BasicSettings"));
    EXPECT_EQ(written.childKeys().size(), 26);
    // Where the system keeps lock files, the port's went with it.
    if (locked) {
        EXPECT_FALSE(QFileInfo::exists(lock));
    }
}

INSTANTIATE_TEST_SUITE_P(Signals, WindowSignalPtyTest, ::testing::Values(SIGTERM, SIGHUP, SIGINT),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param)); });

}  // namespace
