// pixlane-cli capture --lines: the built executable runs a pool over several real
// pseudo-terminals, each with the simulated module behind its simulated modem, in real time.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <chrono>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "fleet/SiteBook.h"
#include "sim/ModemSim.h"
#include "sim/ModuleSim.h"
#include "sim/PtySimServer.h"
#include "sim/SimFault.h"

namespace {

// The arguments of a running process, from /proc; empty when it is gone.
std::vector<std::string> CommandLine(pid_t pid) {
    QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
    std::vector<std::string> args;
    if (file.open(QIODevice::ReadOnly))
        for (const QByteArray& arg : file.readAll().split('\0'))
            if (!arg.isEmpty())
                args.push_back(arg.toStdString());
    return args;
}

// The parent of a running process, from /proc; 0 when it is gone.
pid_t ParentOf(pid_t pid) {
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    // "pid (name) state ppid ...": the name may hold blanks and parentheses.
    const QByteArray stat = file.readAll();
    const QList<QByteArray> rest = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return rest.size() > 1 ? static_cast<pid_t>(rest[1].toInt()) : 0;
}

// The round the pool runs on that line: the child of the pool whose arguments carry
// "--pool-line LINE"; its pid and the site it was started for, or {0, ""}.
std::pair<pid_t, std::string> RoundOnLine(pid_t pool, const std::string& line) {
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr)
        return {0, {}};
    std::pair<pid_t, std::string> found{0, {}};
    while (const dirent* entry = ::readdir(proc)) {
        const pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
        if (pid <= 0 || ParentOf(pid) != pool)
            continue;
        const std::vector<std::string> args = CommandLine(pid);
        std::string site, onLine;
        for (size_t i = 0; i + 1 < args.size(); ++i) {
            if (args[i] == "--pool-site")
                site = args[i + 1];
            else if (args[i] == "--pool-line")
                onLine = args[i + 1];
        }
        if (onLine == line && !site.empty())
            found = {pid, site};
    }
    ::closedir(proc);
    return found;
}

// One line of the pool: a module behind its modem on a pseudo-terminal.
struct CSimLine {
    CModuleSim m_module;
    CModemSim m_modem{m_module};
    CPtySimServer m_server;
    std::string m_sDevice;
};

class CliPoolPtyTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    void TearDown() override {
        for (auto& line : m_lines)
            line->m_server.Stop();
        QFile::remove(QString::fromStdString(UserSiteBookPath()));
    }

    // Starts n lines; configure() sets each up before it serves.
    void Lines(int n, const std::function<void(int, CSimLine&)>& configure = {}) {
        for (int i = 0; i < n; ++i) {
            auto line = std::make_unique<CSimLine>();
            line->m_module.SetPacing(115200, 0);
            line->m_modem.m_nDialDelayMs = 300;
            if (configure)
                configure(i, *line);
            std::string error;
            ASSERT_TRUE(line->m_server.Start(line->m_modem, line->m_sDevice, &error)) << error;
            m_lines.push_back(std::move(line));
        }
    }
    QString LinesArg() const {
        QStringList devices;
        for (const auto& line : m_lines)
            devices << QString::fromStdString(line->m_sDevice);
        return devices.join(',');
    }
    // A book of n sites, each with its number and a folder of its own.
    void Book(int n) {
        const std::string book = UserSiteBookPath();
        ASSERT_TRUE(QDir().mkpath(QFileInfo(QString::fromStdString(book)).absolutePath()));
        QFile f(QString::fromStdString(book));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        for (int i = 0; i < n; ++i)
            f.write(
                QStringLiteral("[s%1]\nnumber=0%1\nfolder=%2\n\n").arg(i).arg(Path(i)).toUtf8());
    }
    QString Path(int site) const { return m_dir.filePath(QStringLiteral("s%1").arg(site)); }
    std::vector<QJsonObject> Journal(int site) const {
        std::vector<QJsonObject> lines;
        QFile file(Path(site) + "/journal.jsonl");
        if (file.open(QIODevice::ReadOnly))
            for (const QByteArray& line : file.readAll().split('\n'))
                if (!line.isEmpty())
                    lines.push_back(QJsonDocument::fromJson(line).object());
        return lines;
    }
    std::vector<QJsonObject> Rounds(int site) const {
        std::vector<QJsonObject> rounds;
        for (const QJsonObject& o : Journal(site))
            if (o["event"].toString() == "round")
                rounds.push_back(o);
        return rounds;
    }
    QStringList Pictures(int site) const {
        return QDir(Path(site)).entryList({"*.bmp"}, QDir::Files);
    }
    // Every file below the folder that is no picture and no journal: a half-written one.
    QStringList Leftovers() const {
        QStringList left;
        QDirIterator it(m_dir.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString file = it.next();
            if (!file.endsWith(".bmp") && !file.endsWith("journal.jsonl"))
                left << file;
        }
        return left;
    }
    void StartCli(QProcess& cli, const QStringList& extra = {}) {
        cli.setProcessChannelMode(QProcess::SeparateChannels);
        cli.start(PIXLANE_CLI_EXE,
                  QStringList{"capture", "--sites", "all", "--lines", LinesArg()} + extra);
        ASSERT_TRUE(cli.waitForStarted());
    }
    int RunCli(QByteArray& err, const QStringList& extra = {}) {
        QProcess cli;
        StartCli(cli, extra);
        EXPECT_TRUE(cli.waitForFinished(120000));
        err = cli.readAllStandardError();
        return cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
    }
    std::set<std::string> Devices() const {
        std::set<std::string> devices;
        for (const auto& line : m_lines)
            devices.insert(line->m_sDevice);
        return devices;
    }

    QTemporaryDir m_dir;
    std::vector<std::unique_ptr<CSimLine>> m_lines;
};

TEST_F(CliPoolPtyTest, ThreeLinesSevenSitesEachCapturedOnceOnItsLineInItsFolder) {
    Lines(3);
    Book(7);
    QByteArray err;
    EXPECT_EQ(RunCli(err), 0) << err.toStdString();
    std::set<std::string> used;
    std::vector<std::pair<QDateTime, QDateTime>> spans;
    for (int s = 0; s < 7; ++s) {
        EXPECT_EQ(Pictures(s).size(), 1) << s;
        const std::vector<QJsonObject> rounds = Rounds(s);
        ASSERT_EQ(rounds.size(), 1u) << s;
        EXPECT_EQ(rounds[0]["result"].toString(), "ok");
        EXPECT_EQ(rounds[0]["site"].toString(), QStringLiteral("s%1").arg(s));
        const std::string device = rounds[0]["device"].toString().toStdString();
        EXPECT_TRUE(Devices().count(device)) << device;
        used.insert(device);
        for (const QJsonObject& o : Journal(s))
            EXPECT_EQ(o["site"].toString(), QStringLiteral("s%1").arg(s));
    }
    // The lines ran side by side: every one of them carried rounds.
    EXPECT_EQ(used, Devices());
    int dials = 0;
    for (const auto& line : m_lines)
        line->m_server.WithPeer([&] {
            dials += static_cast<int>(line->m_modem.Dialled().size());
            EXPECT_FALSE(line->m_modem.IsOffHook());
        });
    EXPECT_EQ(dials, 7);
    EXPECT_TRUE(Leftovers().isEmpty()) << Leftovers().join(' ').toStdString();
}

TEST_F(CliPoolPtyTest, AModemWithoutDialToneLeavesThePoolAndItsSiteGoesToAnotherLine) {
    Lines(3, [](int i, CSimLine& line) {
        if (i == 0)
            line.m_modem.m_eDialResult = EDialResult::NoDialtone;
    });
    Book(5);
    QByteArray err;
    EXPECT_EQ(RunCli(err), 0) << err.toStdString();
    EXPECT_TRUE(err.contains("aus dem Pool")) << err.toStdString();
    const std::string bad = m_lines[0]->m_sDevice;
    int metBad = 0;
    for (int s = 0; s < 5; ++s) {
        EXPECT_EQ(Pictures(s).size(), 1) << s;
        bool said = false;
        for (const QJsonObject& o : Journal(s))
            said = said || (o["event"].toString() == "line" &&
                            o["message"].toString().contains("NO DIALTONE") &&
                            o["message"].toString().contains(QString::fromStdString(bad)));
        const std::vector<QJsonObject> rounds = Rounds(s);
        ASSERT_FALSE(rounds.empty());
        // The round that kept the picture was on another line.
        EXPECT_EQ(rounds.back()["result"].toString(), "ok");
        EXPECT_NE(rounds.back()["device"].toString().toStdString(), bad);
        if (said) {
            ++metBad;
            ASSERT_EQ(rounds.size(), 2u);
            EXPECT_EQ(rounds[0]["device"].toString().toStdString(), bad);
        }
    }
    // One site met the line (its round's two tries of the dial); the pool used it no more.
    EXPECT_EQ(metBad, 1);
    m_lines[0]->m_server.WithPeer([&] {
        EXPECT_EQ(m_lines[0]->m_modem.Dialled().size(), 2u);
        EXPECT_FALSE(m_lines[0]->m_modem.IsOffHook());
    });
}

TEST_F(CliPoolPtyTest, ALineAnotherProgramHoldsIsSkippedAndUsedOnceFree) {
    // The free line is slow, so that the run outlasts the other's release.
    Lines(2, [](int i, CSimLine& line) {
        if (i == 1)
            line.m_modem.m_nDialDelayMs = 3000;
    });
    Book(5);
    const int held =
        ::open(m_lines[0]->m_sDevice.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    QProcess cli;
    StartCli(cli);
    QByteArray err;
    for (int i = 0; i < 1500 && !err.contains("belegt"); ++i) {
        cli.waitForReadyRead(20);
        err += cli.readAllStandardError();
    }
    ::close(held);
    EXPECT_TRUE(err.contains("belegt")) << err.toStdString();
    ASSERT_TRUE(cli.waitForFinished(120000));
    err += cli.readAllStandardError();
    EXPECT_EQ(cli.exitCode(), 0) << err.toStdString();
    int onHeld = 0;
    for (int s = 0; s < 5; ++s) {
        EXPECT_EQ(Pictures(s).size(), 1) << s;
        // Nothing was journalled for the held line: each site has its one round.
        const std::vector<QJsonObject> rounds = Rounds(s);
        ASSERT_EQ(rounds.size(), 1u) << s;
        onHeld += rounds[0]["device"].toString().toStdString() == m_lines[0]->m_sDevice;
    }
    EXPECT_GE(onHeld, 1);
}

TEST_F(CliPoolPtyTest, SigtermInTheMiddleHangsUpEveryModemAndJournalsEveryRoundStopped) {
    // Slow enough that every transfer is surely under way when the signal comes.
    Lines(3, [](int, CSimLine& line) { line.m_module.SetPacing(9600, 0); });
    Book(3);
    QProcess cli;
    StartCli(cli);
    bool inTransfer = false;
    for (int i = 0; i < 3000 && !inTransfer; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        inTransfer = true;
        for (const auto& line : m_lines)
            line->m_server.WithPeer([&] {
                inTransfer =
                    inTransfer && line->m_module.InTransfer() && line->m_module.BlocksSent() >= 10;
            });
    }
    ASSERT_TRUE(inTransfer);
    cli.terminate();  // SIGTERM to the pool alone: it passes it on
    // A second one, as an impatient operator sends it, leaves no modem off-hook either.
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    cli.terminate();
    ASSERT_TRUE(cli.waitForFinished(60000));
    const QByteArray err = cli.readAllStandardError();
    EXPECT_EQ(cli.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(cli.exitCode(), 0) << err.toStdString();
    EXPECT_TRUE(err.contains("Aufnahme auf Anforderung beendet.")) << err.toStdString();
    for (const auto& line : m_lines)
        line->m_server.WithPeer([&] {
            EXPECT_FALSE(line->m_modem.IsOffHook());
            const std::vector<std::string> frames = line->m_module.Frames();
            ASSERT_FALSE(frames.empty());
            EXPECT_EQ(frames.back(), "E,1#");
        });
    for (int s = 0; s < 3; ++s) {
        EXPECT_TRUE(Pictures(s).isEmpty()) << s;
        const std::vector<QJsonObject> rounds = Rounds(s);
        ASSERT_EQ(rounds.size(), 1u) << s;
        EXPECT_EQ(rounds[0]["result"].toString(), "stopped");
    }
    EXPECT_TRUE(Leftovers().isEmpty()) << Leftovers().join(' ').toStdString();
}

// A round that dies in the middle of its transfer (killed, as the kernel kills a process out
// of memory) is its line's failure and no one else's: the pool journals it for the site, takes
// the line out for the rest of the run, captures the site on another line and every other site
// as well, and no modem stays off-hook.
TEST_F(CliPoolPtyTest, ARoundKilledInItsTransferFailsItsLineAloneAndNoModemStaysOffHook) {
    // The first line is slow, so that its first round is surely in its transfer when killed.
    Lines(3, [](int i, CSimLine& line) {
        if (i == 0)
            line.m_module.SetPacing(9600, 0);
    });
    Book(5);
    const std::string killedLine = m_lines[0]->m_sDevice;
    QProcess cli;
    StartCli(cli);
    bool inTransfer = false;
    for (int i = 0; i < 3000 && !inTransfer; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        m_lines[0]->m_server.WithPeer([&] {
            inTransfer =
                m_lines[0]->m_module.InTransfer() && m_lines[0]->m_module.BlocksSent() >= 5;
        });
    }
    ASSERT_TRUE(inTransfer);
    const auto [round, siteName] = RoundOnLine(static_cast<pid_t>(cli.processId()), killedLine);
    ASSERT_GT(round, 0);
    ASSERT_EQ(::kill(round, SIGKILL), 0);
    const int site = QString::fromStdString(siteName).mid(1).toInt();
    ASSERT_EQ(QStringLiteral("s%1").arg(site).toStdString(), siteName);

    ASSERT_TRUE(cli.waitForFinished(120000));
    const QByteArray err = cli.readAllStandardError();
    // The pool lives on and counts the run as good: the site was captured on another line.
    EXPECT_EQ(cli.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(cli.exitCode(), 0) << err.toStdString();
    EXPECT_TRUE(
        err.contains(("Leitung " + killedLine + " bis zum Ende des Laufs aus dem Pool").c_str()))
        << err.toStdString();
    EXPECT_TRUE(err.contains("Verbindung der abgebrochenen Runde getrennt")) << err.toStdString();
    int said = 0;
    for (const QJsonObject& o : Journal(site))
        said += o["event"].toString() == "line" && o["result"].toString() == "failed" &&
                o["message"].toString().contains(QString::fromStdString(killedLine)) &&
                o["message"].toString().contains("abgestürzt");
    EXPECT_EQ(said, 1);
    for (int s = 0; s < 5; ++s) {
        EXPECT_EQ(Pictures(s).size(), 1) << s;
        const std::vector<QJsonObject> rounds = Rounds(s);
        // The killed round never wrote its round line: each site has the one that kept its picture.
        ASSERT_EQ(rounds.size(), 1u) << s;
        EXPECT_EQ(rounds[0]["result"].toString(), "ok") << s;
        EXPECT_NE(rounds[0]["device"].toString().toStdString(), killedLine) << s;
    }
    // The line served no other round after it failed, and its call was ended all the same, as
    // the module expects it.
    m_lines[0]->m_server.WithPeer([&] {
        EXPECT_EQ(m_lines[0]->m_modem.Dialled().size(), 1u);
        EXPECT_FALSE(m_lines[0]->m_modem.IsOffHook());
        const std::vector<std::string> frames = m_lines[0]->m_module.Frames();
        ASSERT_FALSE(frames.empty());
        EXPECT_EQ(frames.back(), "E,1#");
    });
    for (size_t l = 1; l < m_lines.size(); ++l)
        m_lines[l]->m_server.WithPeer([&] { EXPECT_FALSE(m_lines[l]->m_modem.IsOffHook()); });
    EXPECT_TRUE(Leftovers().isEmpty()) << Leftovers().join(' ').toStdString();
}

// A modem that answers ERROR to a command of its set-up (every time) fails its line as well, before
// anything is dialled; the site goes on the other line.
TEST_F(CliPoolPtyTest, AModemAnsweringErrorAtItsSetUpLeavesThePool) {
    Lines(2, [](int i, CSimLine& line) {
        if (i == 0) {
            CSimFault fault;
            ASSERT_TRUE(ParseSimFault("modem-error:ATX3+", fault, nullptr));
            line.m_modem.AddFault(fault);
        }
    });
    Book(3);
    QByteArray err;
    EXPECT_EQ(RunCli(err), 0) << err.toStdString();
    int said = 0;
    for (int s = 0; s < 3; ++s) {
        EXPECT_EQ(Pictures(s).size(), 1) << s;
        for (const QJsonObject& o : Journal(s))
            said += o["event"].toString() == "line" &&
                    o["message"].toString().contains(QString::fromStdString(m_lines[0]->m_sDevice));
    }
    EXPECT_EQ(said, 1);
    m_lines[0]->m_server.WithPeer([&] { EXPECT_TRUE(m_lines[0]->m_modem.Dialled().empty()); });
}

// BUSY is the far end's answer, not the line's: the site is journalled as failed and waits
// for its next round, the line stays in the pool and serves the next site.
TEST_F(CliPoolPtyTest, BusyIsTheFarEndsAnswerTheLineStaysAndTheSiteIsNotMoved) {
    Lines(2, [](int i, CSimLine& line) {
        if (i == 0)
            line.m_modem.m_eDialResult = EDialResult::Busy;
    });
    Book(4);
    QByteArray err;
    EXPECT_EQ(RunCli(err), 1) << err.toStdString();
    EXPECT_FALSE(err.contains("aus dem Pool")) << err.toStdString();
    const std::string busy = m_lines[0]->m_sDevice;
    int onBusy = 0;
    for (int s = 0; s < 4; ++s) {
        const std::vector<QJsonObject> rounds = Rounds(s);
        ASSERT_EQ(rounds.size(), 1u) << s;
        for (const QJsonObject& o : Journal(s))
            EXPECT_NE(o["event"].toString(), "line");
        if (rounds[0]["device"].toString().toStdString() == busy) {
            ++onBusy;
            EXPECT_EQ(rounds[0]["result"].toString(), "failed");
            EXPECT_TRUE(Pictures(s).isEmpty());
        } else {
            EXPECT_EQ(Pictures(s).size(), 1);
        }
    }
    EXPECT_GE(onBusy, 2);
}

// Every line gone: the run says so, names the sites left without their round, and fails;
// each site's journal says which line failed it.
TEST_F(CliPoolPtyTest, EveryLineGoneEndsTheRunWithStatusOne) {
    Book(3);
    QProcess cli;
    cli.start(PIXLANE_CLI_EXE, {"capture", "--sites", "all", "--lines",
                                m_dir.filePath("keine1") + "," + m_dir.filePath("keine2")});
    ASSERT_TRUE(cli.waitForFinished(60000));
    const QByteArray err = cli.readAllStandardError();
    EXPECT_EQ(cli.exitCode(), 1) << err.toStdString();
    EXPECT_TRUE(err.contains("Alle Leitungen sind ausgefallen.")) << err.toStdString();
    EXPECT_TRUE(err.contains("Standort s2: keine Leitung mehr")) << err.toStdString();
    int met = 0;
    for (int s = 0; s < 3; ++s)
        for (const QJsonObject& o : Journal(s))
            met += o["event"].toString() == "line" && o["result"].toString() == "failed";
    EXPECT_EQ(met, 2);
}

}  // namespace
