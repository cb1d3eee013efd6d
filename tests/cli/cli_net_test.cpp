// Lines over the network for real: ser2net serves the simulated module's pseudo-terminal on
// 127.0.0.1, in RFC 2217 mode and plainly; pixlane-cli runs in process (and as the program
// for two captures at once), the window's application object on a port number that names
// the server's port. Real time throughout.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "CliRunner.h"
#include "TwoCaptures.h"
#include "app/Commands.h"
#include "app/RecordingUi.h"
#include "fleet/SiteBook.h"
#include "sim/ModemSim.h"
#include "sim/ModuleSim.h"
#include "sim/PtySimServer.h"
#include "support/DeviceServer.h"

namespace {

using EMode = CDeviceServer::EMode;

class CliNetTest : public ::testing::TestWithParam<EMode> {
  protected:
    void SetUp() override {
        RemoveSettings();
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_FALSE(CDeviceServer::Program().isEmpty())
            << "ser2net is not installed (scripts/setup.sh installs it)";
        m_module.SetPacing(921600, 0);
    }
    void TearDown() override {
        m_ser2net.Stop();
        m_pty.Stop();
        RemoveSettings();
    }
    // The module (behind its modem when asked) on a pseudo-terminal, and ser2net serving it.
    void Serve(bool withModem = false) {
        std::string error;
        CSimPeer& peer = withModem ? static_cast<CSimPeer&>(m_modem) : m_module;
        ASSERT_TRUE(m_pty.Start(peer, m_sDevice, &error)) << error;
        ASSERT_TRUE(m_ser2net.Start(m_sDevice, GetParam(), &error)) << error;
    }
    CCliResult Cli(std::vector<std::string> args) {
        args.insert(args.begin(), {"--device", m_ser2net.Address()});
        return RunCliWith(args);
    }
    std::string Path(const std::string& name) const {
        return m_dir.filePath(QString::fromStdString(name)).toStdString();
    }
    std::string Address(int port) const {
        return std::string(GetParam() == EMode::kRfc2217 ? "rfc2217" : "tcp") +
               "://127.0.0.1:" + std::to_string(port);
    }
    std::vector<QJsonObject> Journal(const std::string& name) const {
        std::vector<QJsonObject> lines;
        QFile file(QString::fromStdString(Path(name)));
        if (file.open(QIODevice::ReadOnly))
            for (const QByteArray& line : file.readAll().split('\n'))
                if (!line.isEmpty())
                    lines.push_back(QJsonDocument::fromJson(line).object());
        return lines;
    }

    QTemporaryDir m_dir;
    CModuleSim m_module;
    CModemSim m_modem{m_module};
    CPtySimServer m_pty;
    CDeviceServer m_ser2net;
    std::string m_sDevice;
};

TEST_P(CliNetTest, FetchStatusAndACaptureRoundOfASiteOnTheNetwork) {
    Serve();
    const CCliResult status = Cli({"status", "camera"});
    EXPECT_EQ(status.m_nExit, 0) << status.m_sErr;
    EXPECT_EQ(status.m_sOut, "03\n");

    const CCliResult fetch = Cli({"fetch", "-o", Path("bild.bmp")});
    ASSERT_EQ(fetch.m_nExit, 0) << fetch.m_sErr;
    std::string expected;
    m_pty.WithPeer([&] { expected = GreyBmpFile(m_module.LastPicture()); });
    EXPECT_EQ(FileBytes(Path("bild.bmp")), expected);

    // A site of the book whose line is the server's port.
    const std::string book = UserSiteBookPath();
    ASSERT_TRUE(QDir().mkpath(QFileInfo(QString::fromStdString(book)).absolutePath()));
    {
        QFile f(QString::fromStdString(book));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(("[werk]\ndevice=" + m_ser2net.Address() + "\nchannels=2\nfolder=" + Path("werk") +
                 "\n")
                    .c_str());
    }
    const CCliResult round = RunCliWith({"capture", "--sites", "all", "-o", "k{channel}.bmp"});
    QFile::remove(QString::fromStdString(book));
    ASSERT_EQ(round.m_nExit, 0) << round.m_sErr;
    EXPECT_EQ(round.m_sOut, Path("werk/k2.bmp") + "\n");
    m_pty.WithPeer([&] {
        expected = GreyBmpFile(m_module.LastPicture());
        EXPECT_EQ(m_module.SelectedChannel(), 2);
    });
    EXPECT_EQ(FileBytes(Path("werk/k2.bmp")), expected);
    const std::vector<QJsonObject> journal = Journal("werk/journal.jsonl");
    ASSERT_FALSE(journal.empty());
    EXPECT_EQ(journal.back()["event"].toString(), "round");
    EXPECT_EQ(journal.back()["result"].toString(), "ok");
    EXPECT_EQ(journal.back()["device"].toString().toStdString(), m_ser2net.Address());
}

TEST_P(CliNetTest, DialsTheModemBehindTheServer) {
    m_modem.m_nDialDelayMs = 300;
    Serve(true);
    const CCliResult r = Cli({"fetch", "--modem", "-o", Path("modem.bmp")});
    ASSERT_EQ(r.m_nExit, 0) << r.m_sErr;
    EXPECT_EQ(r.m_sErr,
              "Verbindung wird aufgebaut..\nwählen läuft..\nCONNECT\nTest bitte warten..\n"
              "Verbindung ist OK..\nZeile 143 wird empfangen ...\nFertig !\n");
    std::string expected;
    m_pty.WithPeer([&] {
        expected = GreyBmpFile(m_module.LastPicture());
        EXPECT_EQ(m_modem.Dialled(), std::vector<std::string>{"!22"});
    });
    EXPECT_EQ(FileBytes(Path("modem.bmp")), expected);
}

TEST_P(CliNetTest, APictureWhoseDataAndCheckBytesAre0xFFArrivesByteForByte) {
    // Every block full of 0xFF, and of the bytes that follow it in Telnet's commands, and
    // every check byte 0xFF.
    const CGreyPicture picture = MakeEscapePicture(180, 144);
    m_module.SetPicture(picture);
    Serve();
    const CCliResult r = Cli({"fetch", "-o", Path("ff.bmp")});
    ASSERT_EQ(r.m_nExit, 0) << r.m_sErr;
    EXPECT_EQ(FileBytes(Path("ff.bmp")), GreyBmpFile(picture));
}

// The window's port 3 names the server's port; the server goes away in the middle of a
// picture, and comes back.
TEST_P(CliNetTest, AServerStoppedInATransferIsALostLineUntilItIsBack) {
    Serve();
    const std::string address = m_ser2net.Address();
    QSettings store(m_dir.filePath(QStringLiteral("Pixlane.conf")), QSettings::IniFormat);
    store.setValue(QStringLiteral("Ports/COM3"), QString::fromStdString(address));
    store.setValue(QStringLiteral("Pixlane/BasicSettings/m_iCom"), 3);
    store.setValue(QStringLiteral("Pixlane/BasicSettings/m_iBaudrate"), 115200);
    store.sync();
    CRecordingUi ui;
    CPixlaneApp app;
    app.SetUi(&ui);
    ASSERT_TRUE(app.InitInstance(&store));
    ASSERT_TRUE(app.m_bPortOpen) << "port 3 is the server's port";
    EXPECT_EQ(app.Target().m_line.m_address.DeviceName(), address);
    app.OnCommand(ID_BILD_HOLEN);
    ASSERT_EQ(ui.m_status.back(), "Fertig !");

    std::atomic<int> acks{0};
    m_pty.WithPeer([&] {
        m_module.m_onFrame = [&](const std::string& frame, bool) {
            if (frame == "q,i,0#" && ++acks == 20)
                m_ser2net.KillNow();
        };
    });
    ui.m_status.clear();
    app.OnCommand(ID_BILD_HOLEN);
    const std::string lost =
        "Verbindung zu 127.0.0.1:" + std::to_string(m_ser2net.Port()) + " unterbrochen";
    EXPECT_NE(std::find(ui.m_status.begin(), ui.m_status.end(), lost), ui.m_status.end());
    EXPECT_EQ(ui.m_status.back(), "Schnittstelle getrennt");
    EXPECT_FALSE(app.m_bPortOpen);
    m_ser2net.Stop();
    m_pty.WithPeer([&] { m_module.m_onFrame = nullptr; });

    // While it is away, a command says so and why.
    ui.m_status.clear();
    app.OnCommand(ID_KAMERASTATUS);
    EXPECT_EQ(ui.m_status,
              (std::vector<std::string>{
                  "Verbindung zu 127.0.0.1:" + std::to_string(m_ser2net.Port()) + " abgelehnt",
                  "Schnittstelle getrennt"}));

    // Back on the same port: the next command connects again, as after a re-plug.
    std::string error;
    ASSERT_TRUE(m_ser2net.Start(m_sDevice, GetParam(), &error)) << error;
    ui.m_status.clear();
    app.OnCommand(ID_BILD_HOLEN);
    EXPECT_NE(std::find(ui.m_status.begin(), ui.m_status.end(), "Schnittstelle wieder verbunden"),
              ui.m_status.end());
    EXPECT_EQ(ui.m_status.back(), "Fertig !");
    EXPECT_TRUE(app.m_bPortOpen);
    app.ExitInstance();
    app.SetUi(nullptr);
}

// Two capture processes on one server that takes one client at a time: the second is
// turned away, says so, waits, and takes its pictures once the first has let go.
TEST_P(CliNetTest, ASecondCaptureWaitsForTheBusyServer) {
    // Slow enough that the second is surely started while the first holds the line.
    m_module.SetPacing(115200, 0);
    Serve();
    ExpectTwoCapturesTakeTurns(m_ser2net.Address(), m_dir.path());

    // Held by someone else, a single command says it is busy.
    QTcpSocket holder;
    holder.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(m_ser2net.Port()));
    ASSERT_TRUE(holder.waitForConnected(5000));
    const CCliResult busy = Cli({"status", "camera"});
    EXPECT_EQ(busy.m_nExit, 1);
    EXPECT_NE(busy.m_sErr.find("Schnittstelle belegt"), std::string::npos) << busy.m_sErr;
}

TEST_P(CliNetTest, NothingListensOrNothingAnswers) {
    // Nothing at all on the port.
    const int nobody = CDeviceServer::FreePort();
    const CCliResult refused = RunCliWith({"--device", Address(nobody), "status", "camera"});
    EXPECT_EQ(refused.m_nExit, 1);
    EXPECT_NE(
        refused.m_sErr.find("Verbindung zu 127.0.0.1:" + std::to_string(nobody) + " abgelehnt"),
        std::string::npos)
        << refused.m_sErr;

    // A server that takes the connection and never says a word.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    const CCliResult quiet =
        RunCliWith({"--device", Address(silent.serverPort()), "status", "camera"});
    EXPECT_EQ(quiet.m_nExit, 1);
    if (GetParam() == EMode::kRfc2217) {
        // It does not answer the Telnet requests: given up on after the connection time.
        EXPECT_NE(quiet.m_sErr.find("Verbindung zu 127.0.0.1:" +
                                    std::to_string(silent.serverPort()) + ": keine Antwort"),
                  std::string::npos)
            << quiet.m_sErr;
    } else {
        // Plainly there is nothing to answer: the query's read gives up as on a cable.
        EXPECT_NE(quiet.m_sErr.find("FehlerV"), std::string::npos) << quiet.m_sErr;
    }
}

INSTANTIATE_TEST_SUITE_P(BothModes, CliNetTest, ::testing::Values(EMode::kRfc2217, EMode::kTcp),
                         [](const ::testing::TestParamInfo<EMode>& info) {
                             return info.param == EMode::kRfc2217 ? "Rfc2217" : "Tcp";
                         });

}  // namespace
