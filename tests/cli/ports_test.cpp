// pixlane-cli ports: the port numbers as the program resolves them, and the one value of
// the user's settings file that ports --assign writes, every other byte left alone.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "CliRunner.h"

namespace {

// The settings file as a user keeps it: comments, blanks around "=", a quoted text, a
// number with a comma, the 26 values in an order of their own, and port 1 already named.
const char* const kHandWritten =
    "; Pixlane at the pumping station\n"
    "[Pixlane]\n"
    "BasicSettings\\m_iCom = 1\n"
    "BasicSettings\\m_iBaudrate=115200\n"
    "BasicSettings\\m_iMonochrom=0\n"
    "BasicSettings\\m_iBildbreite=180\n"
    "BasicSettings\\m_iBildhoehe=144\n"
    "BasicSettings\\m_bkompri=0\n"
    "BasicSettings\\m_bFrei=0\n"
    "BasicSettings\\m_iLokal=0\n"
    "BasicSettings\\m_sOffset=\"00000\"\n"
    "BasicSettings\\m_sBgroesse=FF\n"
    "BasicSettings\\m_sBanzahl=90\n"
    "BasicSettings\\m_iModus=3\n"
    "BasicSettings\\m_iKanal=2\n"
    "BasicSettings\\lokal_control=0\n"
    "BasicSettings\\lokal_control2=0\n"
    "BasicSettings\\m_sTel_nr=0,0815 4711\n"
    "BasicSettings\\m_bExpert=0\n"
    "BasicSettings\\b_Ein_dlg_ok=0\n"
    "BasicSettings\\m_bZeilenweise=1\n"
    "BasicSettings\\open=0\n"
    "BasicSettings\\nibb2=0\n"
    "BasicSettings\\Start=1\n"
    "BasicSettings\\sHandshake=2\n"
    "BasicSettings\\m_bHandshake=1\n"
    "BasicSettings\\m_bTimer=1\n"
    "BasicSettings\\m_STimerTime=15\n"
    "\n"
    "[Ports]\n"
    "COM1 = /dev/ttyUSB0\n"
    "\n"
    "; the modem lives on the second adapter\n";

class PortsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        RemoveSettings();
        ASSERT_TRUE(m_dir.isValid());
        for (int n = 1; n <= 9; ++n)
            qunsetenv(("PIXLANE_COM" + std::to_string(n)).c_str());
        // A device that is there.
        m_sDevice = m_dir.filePath(QStringLiteral("ttyADAPTER")).toStdString();
        QFile device(QString::fromStdString(m_sDevice));
        ASSERT_TRUE(device.open(QIODevice::WriteOnly));
    }
    void TearDown() override {
        RemoveSettings();
        for (int n = 1; n <= 9; ++n)
            qunsetenv(("PIXLANE_COM" + std::to_string(n)).c_str());
    }
    static void WriteSettingsFile(const std::string& text) {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(QString::fromStdString(SettingsPath())).path()));
        QFile file(QString::fromStdString(SettingsPath()));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text.data(), static_cast<qint64>(text.size()));
    }
    // The text with one string replaced.
    static std::string With(std::string text, const std::string& from, const std::string& to) {
        const size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos)
            text.replace(at, from.size(), to);
        return text;
    }

    QTemporaryDir m_dir;
    std::string m_sDevice;
};

TEST_F(PortsTest, AssignWritesOnlyItsValueAndClearTakesItAwayAgain) {
    const std::string original = kHandWritten;
    WriteSettingsFile(original);

    const CCliResult two = RunCliWith({"ports", "--assign", "2", m_sDevice});
    ASSERT_EQ(two.m_nExit, 0) << two.m_sErr;
    EXPECT_EQ(two.m_sOut, "Gespeichert: Ports/COM2 = " + m_sDevice + "\n");
    EXPECT_EQ(two.m_sErr, "");
    const std::string withTwo =
        With(original, "COM1 = /dev/ttyUSB0\n", "COM1 = /dev/ttyUSB0\nCOM2=" + m_sDevice + "\n");
    EXPECT_EQ(FileBytes(SettingsPath()), withTwo);

    // Another device for a port already named replaces that line alone.
    const CCliResult one = RunCliWith({"ports", "--assign", "1", m_sDevice});
    ASSERT_EQ(one.m_nExit, 0) << one.m_sErr;
    const std::string withBoth = With(withTwo, "COM1 = /dev/ttyUSB0\n", "COM1=" + m_sDevice + "\n");
    EXPECT_EQ(FileBytes(SettingsPath()), withBoth);

    // What the window reads from the file is what it read before, but for the ports.
    CPixlaneApp app;
    QSettings store(CPixlaneApp::kOrganisation, CPixlaneApp::kApplication);
    app.ReadSettings(store);
    EXPECT_EQ(app.m_sTel_nr, "0,0815 4711");
    EXPECT_EQ(app.m_STimerTime, "15");
    EXPECT_EQ(app.m_iLokal, 0);
    EXPECT_EQ(store.value("Ports/COM2").toString().toStdString(), m_sDevice);

    const CCliResult cleared = RunCliWith({"ports", "--assign", "2", "--clear"});
    ASSERT_EQ(cleared.m_nExit, 0) << cleared.m_sErr;
    EXPECT_EQ(cleared.m_sOut, "Entfernt: Ports/COM2 (COM2 ist jetzt /dev/ttyS1)\n");
    EXPECT_EQ(FileBytes(SettingsPath()),
              With(original, "COM1 = /dev/ttyUSB0\n", "COM1=" + m_sDevice + "\n"));
    const CCliResult again = RunCliWith({"ports", "--assign", "2", "--clear"});
    EXPECT_EQ(again.m_nExit, 0);
    EXPECT_EQ(again.m_sOut, "Nichts gespeichert für COM2 (COM2 ist jetzt /dev/ttyS1)\n");
}

TEST_F(PortsTest, AssignAddsTheSectionAndStoresWholePaths) {
    // No file at all yet.
    const CCliResult first = RunCliWith({"ports", "--assign", "3", "/dev/ttyACM0"});
    ASSERT_EQ(first.m_nExit, 0) << first.m_sErr;
    EXPECT_EQ(FileBytes(SettingsPath()), "[Ports]\nCOM3=/dev/ttyACM0\n");
    EXPECT_EQ(first.m_sErr, "Gerät /dev/ttyACM0 ist derzeit nicht vorhanden\n");

    // A file without the section, its last line unterminated; a name given relative to
    // the working folder.
    WriteSettingsFile("[Pixlane]\nBasicSettings\\m_iCom=3");
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(m_dir.path());
    const CCliResult relative = RunCliWith({"ports", "--assign", "3", "ttyADAPTER"});
    QDir::setCurrent(cwd);
    ASSERT_EQ(relative.m_nExit, 0) << relative.m_sErr;
    EXPECT_EQ(FileBytes(SettingsPath()),
              "[Pixlane]\nBasicSettings\\m_iCom=3\n\n[Ports]\nCOM3=" + m_sDevice + "\n");

    // A file written with CR LF gets its new line in CR LF too.
    WriteSettingsFile("[Ports]\r\nCOM1=/dev/ttyS0\r\n");
    ASSERT_EQ(RunCliWith({"ports", "--assign", "4", "/dev/ttyACM1"}).m_nExit, 0);
    EXPECT_EQ(FileBytes(SettingsPath()), "[Ports]\r\nCOM1=/dev/ttyS0\r\nCOM4=/dev/ttyACM1\r\n");

    // A variable set for the port still wins, and the user is told.
    qputenv("PIXLANE_COM3", "/dev/pts/4");
    const CCliResult shadowed = RunCliWith({"ports", "--assign", "3", m_sDevice});
    EXPECT_EQ(shadowed.m_nExit, 0);
    EXPECT_EQ(shadowed.m_sErr, "PIXLANE_COM3 ist gesetzt und gilt vor dem gespeicherten Wert\n");
}

TEST_F(PortsTest, AFileThatCannotBeChangedSafelyIsLeftAsItWas) {
    // The same value once more under an escaped name, later in the file: changing the
    // line that names it plainly would not change what the store reads.
    const std::string tricky = "[Ports]\nCOM2=/dev/old\nCOM%32=/dev/x\n";
    WriteSettingsFile(tricky);
    const CCliResult r = RunCliWith({"ports", "--assign", "2", m_sDevice});
    EXPECT_EQ(r.m_nExit, 1);
    EXPECT_EQ(r.m_sOut, "");
    EXPECT_NE(r.m_sErr.find("Ports/COM2 von Hand eintragen"), std::string::npos) << r.m_sErr;
    EXPECT_EQ(FileBytes(SettingsPath()), tricky);
}

TEST_F(PortsTest, TheListShowsWhatEachNumberStandsForAndWhetherItIsThere) {
    StoreSettings({}, {{2, "/dev/pixlane-missing"}});
    qputenv("PIXLANE_COM3", QByteArray::fromStdString(m_sDevice));
    const std::string before = *FileBytes(SettingsPath());

    const CCliResult text = RunCliWith({"ports"});
    ASSERT_EQ(text.m_nExit, 0) << text.m_sErr;
    const std::string& out = text.m_sOut;
    // The rows of the port numbers, cell by cell.
    std::map<std::string, std::vector<std::string>> rows;
    std::istringstream lines(out.substr(out.find("\nPortnummern:\n")));
    for (std::string line; std::getline(lines, line);) {
        std::istringstream cells(line);
        std::vector<std::string> row{std::istream_iterator<std::string>(cells), {}};
        if (!row.empty())
            rows[row[0]] = row;
    }
    using Row = std::vector<std::string>;
    EXPECT_EQ(rows["PORT"], (Row{"PORT", "GERÄT", "VORHANDEN", "QUELLE"}));
    const std::string ttyS0 = QFileInfo::exists(QStringLiteral("/dev/ttyS0")) ? "ja" : "nein";
    EXPECT_EQ(rows["COM1"], (Row{"COM1", "/dev/ttyS0", ttyS0, "Vorgabe"}));
    EXPECT_EQ(rows["COM2"], (Row{"COM2", "/dev/pixlane-missing", "nein", "Ports/COM2"}));
    EXPECT_EQ(rows["COM3"], (Row{"COM3", m_sDevice, "ja", "PIXLANE_COM3"}));
    EXPECT_EQ(rows["COM9"], (Row{"COM9", "/dev/ttyS8", "nein", "Vorgabe"}));
    // The columns line up.
    EXPECT_EQ(out.find("nein", out.find("\nCOM2")) - out.find("\nCOM2"),
              out.find("ja", out.find("\nCOM3")) - out.find("\nCOM3"));

    const CCliResult json = RunCliWith({"ports", "--json"});
    ASSERT_EQ(json.m_nExit, 0) << json.m_sErr;
    QJsonParseError error{};
    const QJsonDocument doc =
        QJsonDocument::fromJson(QByteArray::fromStdString(json.m_sOut), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << json.m_sOut;
    EXPECT_TRUE(doc["serialPorts"].isArray());
    const QJsonArray numbers = doc["portNumbers"].toArray();
    ASSERT_EQ(numbers.size(), 9);
    EXPECT_EQ(numbers[1].toObject(), (QJsonObject{{"port", 2},
                                                  {"name", "COM2"},
                                                  {"device", "/dev/pixlane-missing"},
                                                  {"source", "settings"},
                                                  {"present", false}}));
    EXPECT_EQ(numbers[2]["source"].toString(), "environment");
    EXPECT_TRUE(numbers[2]["present"].toBool());
    EXPECT_EQ(numbers[0]["source"].toString(), "default");

    EXPECT_EQ(FileBytes(SettingsPath()), before) << "listing writes nothing";
}

// A device server's port is stored as given (no folder in front, no lasting name) and
// listed as a network line, without anything being sent to it.
TEST_F(PortsTest, ADeviceServersPortIsStoredAsGivenAndListedAsANetworkLine) {
    WriteSettingsFile("[Ports]\nCOM1=/dev/ttyUSB0\n");
    const CCliResult r = RunCliWith({"ports", "--assign", "3", "rfc2217://10.1.2.3:4001"});
    ASSERT_EQ(r.m_nExit, 0) << r.m_sErr;
    EXPECT_EQ(r.m_sOut, "Gespeichert: Ports/COM3 = rfc2217://10.1.2.3:4001\n");
    EXPECT_EQ(r.m_sErr, "") << "nothing to say about whether it is there";
    EXPECT_EQ(FileBytes(SettingsPath()),
              "[Ports]\nCOM1=/dev/ttyUSB0\nCOM3=rfc2217://10.1.2.3:4001\n");
    CPixlaneApp app;
    QSettings store(CPixlaneApp::kOrganisation, CPixlaneApp::kApplication);
    app.UseStoredPorts(&store);
    EXPECT_EQ(app.LineAddress(3).DeviceName(), "rfc2217://10.1.2.3:4001");
    app.UseStoredPorts(nullptr);

    const CCliResult list = RunCliWith({"ports"});
    ASSERT_EQ(list.m_nExit, 0) << list.m_sErr;
    std::istringstream lines(list.m_sOut.substr(list.m_sOut.find("\nCOM3")));
    std::string line;
    std::getline(lines, line);
    std::getline(lines, line);
    std::istringstream cells(line);
    EXPECT_EQ(
        (std::vector<std::string>{std::istream_iterator<std::string>(cells), {}}),
        (std::vector<std::string>{"COM3", "rfc2217://10.1.2.3:4001", "Netzwerk", "Ports/COM3"}));
    const CCliResult json = RunCliWith({"ports", "--json"});
    const QJsonArray numbers =
        QJsonDocument::fromJson(QByteArray::fromStdString(json.m_sOut))["portNumbers"].toArray();
    ASSERT_EQ(numbers.size(), 9);
    EXPECT_EQ(numbers[2]["device"].toString(), "rfc2217://10.1.2.3:4001");
    EXPECT_TRUE(numbers[2]["present"].isNull());

    // One that is none is refused before anything is written.
    const CCliResult bad = RunCliWith({"ports", "--assign", "4", "tcp://10.1.2.3"});
    EXPECT_EQ(bad.m_nExit, 2);
    EXPECT_NE(bad.m_sErr.find("Netzadresse tcp://10.1.2.3: Port fehlt"), std::string::npos)
        << bad.m_sErr;
    EXPECT_EQ(FileBytes(SettingsPath()),
              "[Ports]\nCOM1=/dev/ttyUSB0\nCOM3=rfc2217://10.1.2.3:4001\n");
}

TEST_F(PortsTest, WhatPortsCannotTakeIsAUsageErrorAndWritesNothing) {
    const std::vector<std::vector<std::string>> wrong = {
        {"ports", "--assign", "0", "/dev/ttyUSB0"},
        {"ports", "--assign", "10", "/dev/ttyUSB0"},
        {"ports", "--assign", "2"},
        {"ports", "--assign", "2", "/dev/a", "/dev/b"},
        {"ports", "--assign", "2", "--clear", "/dev/a"},
        {"ports", "--clear"},
        {"ports", "--json", "--assign", "2", "/dev/a"},
        {"ports", "--assign", "2", "/dev/tty\nUSB0"},
        {"ports", "/dev/ttyUSB0"},
        {"--device", "/dev/ttyUSB0", "ports"},
        {"--demo", "ports"},
    };
    for (const auto& args : wrong) {
        const CCliResult r = RunCliWith(args);
        EXPECT_EQ(r.m_nExit, 2) << args.back();
        EXPECT_EQ(r.m_sOut, "") << args.back();
        EXPECT_FALSE(FileBytes(SettingsPath()).has_value()) << args.back();
    }
}

}  // namespace
