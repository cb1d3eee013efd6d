// pixlane-cli capture through the simulated modem over a real pseudo-terminal, in real
// time: repeated rounds in process, and the built executable told to stop by SIGTERM in
// the middle of a transfer.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <chrono>
#include <thread>

#include "PtyFixture.h"
#include "TwoCaptures.h"
#include "fleet/SiteBook.h"

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QStringList& l, std::ostream* os) {
    *os << '{' << l.join(", ").toStdString() << '}';
}

namespace {

class CliCapturePtyTest : public CliPtyFixture {
  protected:
    void SetUp() override {
        CliPtyFixture::SetUp();
        ASSERT_TRUE(m_dir.isValid());
        m_modem.m_nDialDelayMs = 300;
    }
    QString Path(const char* name) const { return m_dir.filePath(name); }
    QStringList Files() const {
        return QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
    // The lines of pictures and steps; those of whole rounds are left out.
    std::vector<QJsonObject> Journal(const char* name = "journal.jsonl") const {
        std::vector<QJsonObject> lines;
        QFile file(Path(name));
        if (file.open(QIODevice::ReadOnly))
            for (const QByteArray& line : file.readAll().split('\n')) {
                const QJsonObject o = QJsonDocument::fromJson(line).object();
                if (!line.isEmpty() && o["event"].toString() != "round")
                    lines.push_back(o);
            }
        return lines;
    }
    std::vector<std::string> Frames() {
        std::vector<std::string> frames;
        WithModule([&] { frames = m_module.Frames(); });
        return frames;
    }

    QTemporaryDir m_dir;
};

TEST_F(CliCapturePtyTest, TwoRoundsDialKeepTheirPicturesAndHangUp) {
    Serve(true);
    // Records each picture it is given; fails from the second one on.
    const QString script = Path("nachher.sh");
    {
        QFile f(script);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\necho \"$1\" >> \"" + Path("liste.txt").toUtf8() +
                "\"\necho Nachricht\n[ \"$(wc -l < \"" + Path("liste.txt").toUtf8() +
                "\")\" -lt 2 ]\n");
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    const CCliResult r = Cli({"capture", "--modem", "--every", "10s", "--count", "2", "-o",
                              Path("k{channel}-{seq}.bmp").toStdString(), "--journal",
                              Path("journal.jsonl").toStdString(), "--exec", script.toStdString(),
                              "--latest", Path("neu.bmp").toStdString()});
    EXPECT_EQ(r.m_nExit, 0) << r.m_sErr;
    const std::string first = Path("k1-0001.bmp").toStdString();
    const std::string second = Path("k1-0002.bmp").toStdString();
    EXPECT_EQ(r.m_sOut, first + "\n" + second + "\n");
    // What the program printed went to standard error, not among the pictures.
    EXPECT_NE(r.m_sErr.find("Nachricht"), std::string::npos);
    EXPECT_EQ(Files(), (QStringList{"journal.jsonl", "k1-0001.bmp", "k1-0002.bmp", "liste.txt",
                                    "nachher.sh", "neu.bmp"}));
    EXPECT_EQ(FileBytes(Path("liste.txt").toStdString()), first + "\n" + second + "\n");
    EXPECT_EQ(FileBytes(Path("neu.bmp").toStdString()), FileBytes(second));
    WithModule([&] {
        EXPECT_EQ(m_modem.Dialled().size(), 2u);
        EXPECT_FALSE(m_modem.IsOffHook());
        EXPECT_EQ(FileBytes(second), GreyBmpFile(m_module.LastPicture()));
    });
    int hangups = 0;
    for (const std::string& f : Frames())
        hangups += f == "E,1#";
    EXPECT_EQ(hangups, 2);
    const std::vector<QJsonObject> journal = Journal();
    ASSERT_EQ(journal.size(), 2u);
    EXPECT_EQ(journal[0]["result"].toString(), "ok");
    EXPECT_FALSE(journal[0].contains("message"));
    // The program's failure is recorded; the picture stays good.
    EXPECT_EQ(journal[1]["result"].toString(), "ok");
    EXPECT_EQ(journal[1]["message"].toString(), "Befehl " + script + " endete mit Status 1");
}

TEST_F(CliCapturePtyTest, SigtermInTheMiddleOfATransferBreaksItOffHangsUpAndEndsCleanly) {
    Serve(true);
    // Slow enough that the transfer is surely under way when the signal comes.
    WithModule([&] { m_module.SetPacing(19200, 0); });
    QProcess cli;
    cli.start(PIXLANE_CLI_EXE, {"--device", QString::fromStdString(m_sDevice), "capture", "--modem",
                                "-o", Path("k{channel}.bmp"), "--journal", Path("journal.jsonl")});
    ASSERT_TRUE(cli.waitForStarted());
    bool inTransfer = false;
    for (int i = 0; i < 3000 && !inTransfer; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        WithModule([&] { inTransfer = m_module.InTransfer() && m_module.BlocksSent() >= 20; });
    }
    ASSERT_TRUE(inTransfer);
    cli.terminate();  // SIGTERM
    ASSERT_TRUE(cli.waitForFinished(30000));
    EXPECT_EQ(cli.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    EXPECT_EQ(cli.readAllStandardOutput(), "");

    // The protocol's break answer after the blocks taken, then the hang-up.
    std::vector<std::string> frames = Frames();
    frames.erase(std::remove(frames.begin(), frames.end(), "q,i,0#"), frames.end());
    ASSERT_GE(frames.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(frames.end() - 3, frames.end()),
              (std::vector<std::string>{"I,00000,B4,0090,3#", "q,i,1#", "E,1#"}));
    WithModule([&] { EXPECT_FALSE(m_modem.IsOffHook()); });
    // Nothing half-written, no temporary file: only the journal with its line.
    EXPECT_EQ(Files(), QStringList{"journal.jsonl"});
    const std::vector<QJsonObject> journal = Journal();
    ASSERT_EQ(journal.size(), 1u);
    EXPECT_EQ(journal[0]["result"].toString(), "stopped");
}

// Another program holds the line while a capture waits for it, and the capture is told to
// stop by SIGTERM: it ends, and its round and pictures are journalled as stopped, not as
// failed.
TEST_F(CliCapturePtyTest, SigtermWhileWaitingForAHeldLineJournalsTheRoundAsStopped) {
    Serve(false);
    // Held as another Pixlane holds it: with the advisory lock on the device.
    const int held = ::open(m_sDevice.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    QProcess cli;
    cli.setProcessChannelMode(QProcess::MergedChannels);
    cli.start(PIXLANE_CLI_EXE,
              {"--device", QString::fromStdString(m_sDevice), "capture", "--channels", "1,2", "-o",
               Path("k{channel}.bmp"), "--journal", Path("journal.jsonl")});
    ASSERT_TRUE(cli.waitForStarted());
    QByteArray said;
    for (int i = 0; i < 1500 && !said.contains("Schnittstelle belegt"); ++i) {
        cli.waitForReadyRead(20);
        said += cli.readAll();
    }
    ASSERT_TRUE(said.contains("Schnittstelle belegt")) << said.toStdString();
    cli.terminate();  // SIGTERM
    const bool ended = cli.waitForFinished(30000);
    ::close(held);
    ASSERT_TRUE(ended);
    said += cli.readAll();
    EXPECT_EQ(cli.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(cli.exitCode(), 0) << said.toStdString();
    EXPECT_TRUE(said.contains("Aufnahme auf Anforderung beendet.")) << said.toStdString();

    QStringList lines;
    QFile journal(Path("journal.jsonl"));
    ASSERT_TRUE(journal.open(QIODevice::ReadOnly));
    for (const QByteArray& line : journal.readAll().split('\n'))
        if (!line.isEmpty()) {
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            lines << o["event"].toString() + " " + o["result"].toString();
        }
    EXPECT_EQ(lines, (QStringList{"picture stopped", "picture stopped", "round stopped"}));
    EXPECT_EQ(Files(), QStringList{"journal.jsonl"});
}

// Two sites of the book, each behind a modem of its own: the first modem answers BUSY,
// and the second site is still captured, each site with its own folder and journal.
TEST_F(CliCapturePtyTest, EverySiteGetsItsRoundAndJournalWhenAnotherIsRefused) {
    m_modem.m_eDialResult = EDialResult::Busy;
    Serve(true);
    CModuleSim module;
    CModemSim modem{module};
    modem.m_nDialDelayMs = 300;
    module.SetPacing(115200, 0);
    CPtySimServer server;
    std::string device;
    std::string error;
    ASSERT_TRUE(server.Start(modem, device, &error)) << error;
    const std::string book = UserSiteBookPath();
    ASSERT_TRUE(QDir().mkpath(QFileInfo(QString::fromStdString(book)).absolutePath()));
    {
        QFile f(QString::fromStdString(book));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(("[nord]\ndevice=" + m_sDevice + "\nnumber=0815\nfolder=" +
                 Path("nord").toStdString() + "\n\n[sued]\ndevice=" + device +
                 "\nnumber=0816\nchannels=2,3\nfolder=" + Path("sued").toStdString() + "\n")
                    .c_str());
    }
    const CCliResult r = RunCliWith({"capture", "--sites", "all", "-o", "k{channel}.bmp"});
    server.Stop();
    QFile::remove(QString::fromStdString(book));

    EXPECT_EQ(r.m_nExit, 1) << r.m_sErr;
    EXPECT_EQ(r.m_sOut,
              Path("sued/k2.bmp").toStdString() + "\n" + Path("sued/k3.bmp").toStdString() + "\n");
    EXPECT_NE(r.m_sErr.find("Modem meldet BUSY"), std::string::npos) << r.m_sErr;
    const std::vector<QJsonObject> nord = Journal("nord/journal.jsonl");
    ASSERT_FALSE(nord.empty());
    for (const QJsonObject& line : nord)
        EXPECT_EQ(line["site"].toString(), "nord");
    EXPECT_EQ(nord.front()["event"].toString(), "dial");
    EXPECT_EQ(nord.front()["modem"].toString(), "BUSY");
    const std::vector<QJsonObject> sued = Journal("sued/journal.jsonl");
    ASSERT_EQ(sued.size(), 2u);
    for (const QJsonObject& line : sued) {
        EXPECT_EQ(line["site"].toString(), "sued");
        EXPECT_EQ(line["result"].toString(), "ok");
    }
    EXPECT_EQ(modem.Dialled(), (std::vector<std::string>{"0816"}));
}

// Two capture processes on one line: the second finds it held, says so, waits, and takes
// its pictures once the first has let go; neither loses one.
TEST_F(CliCapturePtyTest, ASecondProcessWaitsForTheLineAndThenCaptures) {
    Serve(false);
    ExpectTwoCapturesTakeTurns(m_sDevice, m_dir.path());
}

}  // namespace
