// pixlane-cli over a real pseudo-terminal through the serial back end, against the
// simulated module in real time; and the executable itself with its demo module.
#include <QDir>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cctype>
#include <chrono>
#include <sstream>
#include <thread>

#include "PtyFixture.h"
#include "cli/CliOptions.h"

namespace {

// The triggering channel 01, a blank and five digits of seconds, on one line.
bool IsChannelOneStamp(const std::string& s) {
    if (s.size() != 9 || s.compare(0, 3, "01 ") != 0 || s[8] != '\n')
        return false;
    for (size_t i = 3; i < 8; ++i)
        if (!std::isdigit(static_cast<unsigned char>(s[i])))
            return false;
    return true;
}

class CliPtyTest : public CliPtyFixture {
  protected:
    void SetUp() override {
        CliPtyFixture::SetUp();
        ASSERT_TRUE(m_dir.isValid());
        m_module.m_status.m_sCamera = "0A";
        m_module.m_status.m_sInput = "41";
        m_module.m_status.m_sError = "02";
        m_module.m_status.m_sVersion = "03105";
        m_module.m_channels = {1, 2, 3};
        Serve(false);
    }
    std::string Temp(const char* name) const { return m_dir.filePath(name).toStdString(); }

    QTemporaryDir m_dir;
};

TEST_F(CliPtyTest, EveryStatusQueryPrintsItsValue) {
    const std::pair<const char*, const char*> cases[] = {
        {"camera", "0A\n"}, {"input", "41\n"}, {"error", "02\n"}, {"version", " 3.05\n"}};
    for (const auto& [query, printed] : cases) {
        const CCliResult r = Cli({"status", query});
        EXPECT_EQ(r.m_nExit, 0) << query << r.m_sErr;
        EXPECT_EQ(r.m_sOut, printed) << query;
        EXPECT_EQ(r.m_sErr, "") << query;
    }
}

TEST_F(CliPtyTest, TimestampResetAndParamsAreAnswered) {
    const CCliResult a = Cli({"timestamp"});
    EXPECT_EQ(a.m_nExit, 0) << a.m_sErr;
    EXPECT_TRUE(IsChannelOneStamp(a.m_sOut)) << a.m_sOut;
    const CCliResult b = Cli({"timestamp", "--reset"});
    EXPECT_EQ(b.m_nExit, 0) << b.m_sErr;
    EXPECT_TRUE(IsChannelOneStamp(b.m_sOut)) << b.m_sOut;

    const CCliResult reset = Cli({"reset"});
    EXPECT_EQ(reset.m_nExit, 0) << reset.m_sErr;
    EXPECT_EQ(reset.m_sOut, " Vebindung getrennt !\n");

    const CCliResult params = Cli({"params", "--width", "360"});
    EXPECT_EQ(params.m_nExit, 0) << params.m_sErr;
    EXPECT_EQ(params.m_sErr, "");
    WithModule([&] {
        EXPECT_EQ(m_module.Frames(), (std::vector<std::string>{"T,0#", "T,1#", "R,1#",
                                                               "P,008,000,168,240,180,240,1,0#"}));
        EXPECT_TRUE(m_module.HasParameters());
    });
}

TEST_F(CliPtyTest, AChannelTheModuleHasIsSelectedAndOneItLacksIsRefused) {
    const CCliResult ok = Cli({"channel", "3"});
    EXPECT_EQ(ok.m_nExit, 0) << ok.m_sErr;
    EXPECT_EQ(ok.m_sErr, "");
    WithModule([&] { EXPECT_EQ(m_module.SelectedChannel(), 3); });
    const CCliResult refused = Cli({"channel", "7"});
    EXPECT_EQ(refused.m_nExit, 1);
    EXPECT_EQ(refused.m_sOut, "");
    EXPECT_EQ(refused.m_sErr, "Kanal nicht vorhanden\n");
    WithModule([&] { EXPECT_EQ(m_module.SelectedChannel(), 3); });
}

TEST_F(CliPtyTest, AFetchedBmpIsTheSimulatorsPictureByteForByte) {
    const std::string path = Temp("pic.bmp");
    const CCliResult r = Cli({"fetch", "-o", path});
    ASSERT_EQ(r.m_nExit, 0) << r.m_sErr;
    EXPECT_EQ(r.m_sOut, AbsolutePath(path) + "\n");
    EXPECT_EQ(r.m_sErr, "Zeile 143 wird empfangen ...\nFertig !\n");
    std::string expected;
    WithModule([&] { expected = GreyBmpFile(m_module.LastPicture()); });
    ASSERT_EQ(expected.size(), 14u + 40u + 1024u + 180u * 144u);
    EXPECT_EQ(FileBytes(path), expected);
}

TEST_F(CliPtyTest, AFetchedPngHoldsTheSimulatorsPixels) {
    const std::string path = Temp("pic.png");
    const CCliResult r = Cli({"--quiet", "fetch", "--width", "360", "-o", path});
    ASSERT_EQ(r.m_nExit, 0) << r.m_sErr;
    EXPECT_EQ(r.m_sErr, "");
    CGreyPicture pic;
    WithModule([&] { pic = m_module.LastPicture(); });
    ASSERT_EQ(pic.m_nWidth, 360);
    ASSERT_EQ(pic.m_nHeight, 288);
    QImage png;
    ASSERT_TRUE(png.load(QString::fromStdString(path), "PNG"));
    ASSERT_EQ(png.width(), 360);
    ASSERT_EQ(png.height(), 288);
    EXPECT_TRUE(png.isGrayscale());
    int wrong = 0;
    for (int y = 0; y < pic.m_nHeight; ++y)
        for (int x = 0; x < pic.m_nWidth; ++x)
            wrong += qGray(png.pixel(x, y)) != pic.At(x, y);
    EXPECT_EQ(wrong, 0);
}

TEST_F(CliPtyTest, TheStoredPortIsFoundThroughTheStoredDeviceName) {
    StoreSettings({{"m_iCom", 3}, {"m_iBaudrate", 115200}}, {{3, m_sDevice}});
    m_before = FileBytes(SettingsPath());
    const CCliResult r = RunCliWith({"status", "camera"});
    EXPECT_EQ(r.m_nExit, 0) << r.m_sErr;
    EXPECT_EQ(r.m_sOut, "0A\n");
}

TEST_F(CliPtyTest, ADeviceThatCannotBeOpenedIsNamedInGerman) {
    const CCliResult r = RunCliWith({"--device", "/nonexistent/tty9", "status", "camera"});
    EXPECT_EQ(r.m_nExit, 1);
    EXPECT_EQ(r.m_sOut, "");
    EXPECT_EQ(r.m_sErr, "Gerät /nonexistent/tty9 kann nicht geöffnet werden !\n");
}

// A USB adapter pulled during a fetch and plugged back in: the device named is a link
// that the adapter's pseudo-terminal stands behind, as a lasting device name does.
class CliReplugTest : public CliPtyFixture {
  protected:
    void SetUp() override {
        CliPtyFixture::SetUp();
        ASSERT_TRUE(m_dir.isValid());
        m_sLink = m_dir.filePath(QStringLiteral("adapter")).toStdString();
        m_server.m_sLinkPath = m_sLink;
        m_module.m_status.m_sCamera = "0A";
        m_second.m_status.m_sCamera = "0B";
        m_second.SetPacing(115200, 0);
        Serve(false);
    }
    CCliResult OnLink(std::vector<std::string> args) {
        args.insert(args.begin(), {"--device", m_sLink});
        return RunCliWith(args);
    }
    int Acks() {
        int n = 0;
        WithModule([&] {
            const std::vector<std::string> frames = m_module.Frames();
            n = static_cast<int>(std::count(frames.begin(), frames.end(), "q,i,0#"));
        });
        return n;
    }

    QTemporaryDir m_dir;
    std::string m_sLink;
    CModuleSim m_second;  // the module once the adapter is back
};

TEST_F(CliReplugTest, AFetchWhoseLineGoesAwayFailsAndTheNextRunUsesTheLineAgain) {
    ASSERT_EQ(OnLink({"status", "camera"}).m_sOut, "0A\n");

    // Pulled after twenty blocks.
    std::thread pull([this] {
        for (int tries = 0; tries < 2000 && Acks() < 20; ++tries)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        m_server.Stop();
    });
    const std::string path = m_dir.filePath(QStringLiteral("pic.bmp")).toStdString();
    const CCliResult lost = OnLink({"fetch", "-o", path});
    pull.join();
    EXPECT_EQ(lost.m_nExit, 1);
    EXPECT_NE(lost.m_sErr.find("\nSchnittstelle getrennt\n"), std::string::npos) << lost.m_sErr;
    EXPECT_EQ(lost.m_sOut, "");
    EXPECT_FALSE(FileBytes(path).has_value()) << "no half picture";

    const CCliResult away = OnLink({"status", "camera"});
    EXPECT_EQ(away.m_nExit, 1);
    EXPECT_EQ(away.m_sErr, "Gerät " + m_sLink + " kann nicht geöffnet werden !\n");

    // Back, as another pseudo-terminal under the same name.
    std::string device;
    ASSERT_TRUE(m_server.Start(m_second, device));
    EXPECT_EQ(OnLink({"status", "camera"}).m_sOut, "0B\n");
    const CCliResult fetched = OnLink({"--quiet", "fetch", "-o", path});
    ASSERT_EQ(fetched.m_nExit, 0) << fetched.m_sErr;
    std::string expected;
    WithModule([&] { expected = GreyBmpFile(m_second.LastPicture()); });
    EXPECT_EQ(FileBytes(path), expected);
}

TEST_F(CliReplugTest, ACaptureRunPicksThePluggedBackAdapterUpAndLosesOnlyTheRoundBetween) {
    // The adapter is pulled once the first round's picture is in, and plugged back, as
    // another pseudo-terminal under the same name, between the second and third rounds.
    const auto start = std::chrono::steady_clock::now();
    bool replugged = false;
    std::thread plug([&] {
        for (int tries = 0; tries < 4000 && Acks() < 144; ++tries)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        m_server.Stop();
        std::this_thread::sleep_until(start + std::chrono::seconds(15));
        std::string device;
        replugged = m_server.Start(m_second, device);
    });
    const QString folder = m_dir.filePath(QStringLiteral("bilder"));
    const std::string journal = m_dir.filePath(QStringLiteral("journal.jsonl")).toStdString();
    const CCliResult r = OnLink({"capture", "--every", "10s", "--count", "3", "-o",
                                 (folder + QStringLiteral("/k{channel}-{seq}.bmp")).toStdString(),
                                 "--journal", journal});
    plug.join();
    ASSERT_TRUE(replugged);
    EXPECT_EQ(r.m_nExit, 0) << r.m_sErr;  // the last round's picture was saved
    const std::string first = (folder + QStringLiteral("/k1-0001.bmp")).toStdString();
    const std::string third = (folder + QStringLiteral("/k1-0002.bmp")).toStdString();
    EXPECT_EQ(r.m_sOut, first + "\n" + third + "\n");
    EXPECT_NE(r.m_sErr.find("Schnittstelle getrennt"), std::string::npos) << r.m_sErr;
    std::string expected;
    WithModule([&] { expected = GreyBmpFile(m_second.LastPicture()); });
    EXPECT_EQ(FileBytes(third), expected);
    EXPECT_TRUE(FileBytes(first).has_value());
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 2) << "nothing else";
    // A picture a round: saved, lost with the line (and the parameters before it), saved.
    std::vector<std::string> results;
    std::istringstream lines(FileBytes(journal).value_or(""));
    for (std::string line; std::getline(lines, line);) {
        const QJsonDocument json = QJsonDocument::fromJson(QByteArray::fromStdString(line));
        results.push_back(
            (json["event"].toString() + " " + json["result"].toString()).toStdString());
    }
    EXPECT_EQ(results,
              (std::vector<std::string>{"picture ok", "round ok", "params failed", "picture failed",
                                        "round failed", "picture ok", "round ok"}));
}

// The executable, run as the user runs it.
class CliExeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        RemoveSettings();
        ASSERT_TRUE(m_dir.isValid());
    }
    void TearDown() override {
        // Neither the demo nor anything else writes the user's settings.
        EXPECT_FALSE(FileBytes(SettingsPath()).has_value());
    }
    CCliResult Exe(const QStringList& args) {
        QProcess p;
        p.setWorkingDirectory(m_dir.path());
        p.start(QStringLiteral(PIXLANE_CLI_EXE), args);
        CCliResult r;
        if (!p.waitForFinished(120000)) {
            p.kill();
            p.waitForFinished();
            return r;
        }
        r.m_nExit = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.m_sOut = p.readAllStandardOutput().toStdString();
        r.m_sErr = p.readAllStandardError().toStdString();
        return r;
    }
    QTemporaryDir m_dir;
};

TEST_F(CliExeTest, DemoFetchWritesPixlaneBmpAndSaysWhere) {
    const CCliResult r = Exe({QStringLiteral("--demo"), QStringLiteral("fetch")});
    ASSERT_EQ(r.m_nExit, 0) << r.m_sErr;
    const std::string path = QDir(m_dir.path()).absoluteFilePath("pixlane.bmp").toStdString();
    EXPECT_EQ(r.m_sOut, path + "\n");
    EXPECT_EQ(r.m_sErr, "Zeile 143 wird empfangen ...\nFertig !\n");
    // The demo module's first picture is the one a fresh module shows next.
    EXPECT_EQ(FileBytes(path), GreyBmpFile(CModuleSim().NextPicture(180, 144)));
}

TEST_F(CliExeTest, DemoSceneIsWhatTheDemoCameraShows) {
    const CCliResult r = Exe({QStringLiteral("--demo"), QStringLiteral("--demo-scene"),
                              QStringLiteral("uniform"), QStringLiteral("fetch")});
    ASSERT_EQ(r.m_nExit, 0) << r.m_sErr;
    EXPECT_EQ(FileBytes(QDir(m_dir.path()).absoluteFilePath("pixlane.bmp").toStdString()),
              GreyBmpFile(UniformPicture(180, 144, kSimUniformGrey)));
}

TEST_F(CliExeTest, ExitStatusTellsSuccessFailureAndUsage) {
    const CCliResult help = Exe({QStringLiteral("--help")});
    EXPECT_EQ(help.m_nExit, 0);
    EXPECT_EQ(help.m_sOut, CliHelp(""));
    const CCliResult fail =
        Exe({QStringLiteral("--device"), QStringLiteral("/nonexistent/tty9"), "reset"});
    EXPECT_EQ(fail.m_nExit, 1);
    EXPECT_EQ(fail.m_sErr, "Gerät /nonexistent/tty9 kann nicht geöffnet werden !\n");
    const CCliResult usage = Exe({QStringLiteral("channel"), QStringLiteral("9")});
    EXPECT_EQ(usage.m_nExit, 2);
    EXPECT_EQ(usage.m_sOut, "");
    EXPECT_NE(usage.m_sErr.find("--help"), std::string::npos);
}

}  // namespace
