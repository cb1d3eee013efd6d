#include <sys/stat.h>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/PixlaneApp.h"
#include "app/PortSettings.h"
#include "app/RecordingUi.h"
#include "link/ComPort.h"
#include "link/QtSerialLine.h"
#include "support/FakeLine.h"
#include "support/VirtualClock.h"
#include "support/Watchdog.h"

namespace {

class SettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_factory.Attach(1, nullptr);
    }
    // The application's line in virtual time on the fake lines.
    void Wire(CPixlaneApp& app) {
        app.Line().SetClock(&m_clock);
        app.Line().SetLineFactory(&m_factory);
    }
    QString File() const { return m_dir.filePath("pixlane.ini"); }
    // The settings file as a user writes it by hand: one "name=value" line each.
    void WriteByHand(const std::vector<std::pair<std::string, std::string>>& values) {
        QFile file(File());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        std::string text = "[Pixlane]\n";
        for (const auto& [name, value] : values)
            text += "BasicSettings\\" + name + "=" + value + "\n";
        file.write(text.data(), static_cast<qint64>(text.size()));
    }

    QTemporaryDir m_dir;
    CVirtualClock m_clock;
    CFakeLineFactory m_factory{m_clock};
};

TEST_F(SettingsTest, EmptyStoreGivesDefaultsAndOpensComOne) {
    QSettings store(File(), QSettings::IniFormat);
    CPixlaneApp app;
    Wire(app);
    ASSERT_TRUE(app.InitInstance(&store));
    EXPECT_EQ(app.m_iCom, 1);
    EXPECT_EQ(app.m_iBaudrate, 57600);
    EXPECT_EQ(app.m_iBildbreite, 180);
    EXPECT_EQ(app.m_iBildhoehe, 144);
    EXPECT_EQ(app.m_iMonochrom, 0);
    EXPECT_EQ(app.m_iLokal, 1);
    EXPECT_EQ(app.m_iKanal, 1);
    EXPECT_EQ(app.m_iModus, 3);
    EXPECT_EQ(app.sHandshake, 2);
    EXPECT_EQ(app.Start, 1);
    EXPECT_TRUE(app.m_bZeilenweise);
    EXPECT_TRUE(app.m_bHandshake);
    EXPECT_FALSE(app.m_bTimer);
    EXPECT_FALSE(app.m_bExpert);
    EXPECT_EQ(app.m_sOffset, "00000");
    EXPECT_EQ(app.m_sBgroesse, "FF");
    EXPECT_EQ(app.m_sBanzahl, "90");
    EXPECT_EQ(app.m_sTel_nr, "!22");
    EXPECT_EQ(app.m_STimerTime, "10");
    // The port is open at 57600 8N1 with RTS handshake.
    EXPECT_TRUE(app.m_bPortOpen);
    ASSERT_NE(app.Line().State(), nullptr);
    EXPECT_EQ(app.Line().State()->m_nBaudRate, 57600u);
    EXPECT_EQ(app.Line().State()->m_nByteSize, 8);
    EXPECT_EQ(app.Line().State()->m_nParity, CLineState::kNoParity);
    EXPECT_EQ(app.Line().State()->m_nStopBits, CLineState::kOneStopBit);
    EXPECT_EQ(app.Line().State()->m_nRtsControl, CLineState::kRtsHandshake);
}

TEST_F(SettingsTest, ExitWritesAllValuesWithOpenAsZeroAndThemRoundTrip) {
    {
        QSettings store(File(), QSettings::IniFormat);
        CPixlaneApp app;
        Wire(app);
        ASSERT_TRUE(app.InitInstance(&store));
        app.m_iCom = 4;
        app.m_iBaudrate = 115200;
        app.m_iMonochrom = 1;
        app.m_iBildbreite = 360;
        app.m_iBildhoehe = 288;
        app.m_bkompri = true;
        app.m_bFrei = true;
        app.m_iLokal = 0;
        app.m_sOffset = "00010";
        app.m_sBgroesse = "B4";
        app.m_sBanzahl = "0120";
        app.m_iModus = 4;
        app.m_iKanal = 7;
        app.lokal_control = 5;
        app.lokal_control2 = 6;
        app.m_sTel_nr = "0123456789";
        app.m_bExpert = true;
        app.b_Ein_dlg_ok = true;
        app.m_bZeilenweise = false;
        app.nibb2 = true;
        app.Start = 2;
        app.sHandshake = 0;
        app.m_bHandshake = false;
        app.m_bTimer = true;
        app.m_STimerTime = "15";
        EXPECT_TRUE(app.m_bPortOpen);
        app.ExitInstance();
        EXPECT_FALSE(app.Line().IsOpen());
    }
    QSettings raw(File(), QSettings::IniFormat);
    raw.beginGroup(CPixlaneApp::kSection);
    EXPECT_EQ(raw.childKeys().size(), 26);
    EXPECT_EQ(raw.value("open").toInt(), 0);
    raw.endGroup();

    QSettings store(File(), QSettings::IniFormat);
    CPixlaneApp again;
    Wire(again);
    again.ReadSettings(store);
    EXPECT_EQ(again.m_iCom, 4);
    EXPECT_EQ(again.m_iBaudrate, 115200);
    EXPECT_EQ(again.m_iMonochrom, 1);
    EXPECT_EQ(again.m_iBildbreite, 360);
    EXPECT_EQ(again.m_iBildhoehe, 288);
    EXPECT_TRUE(again.m_bkompri);
    EXPECT_TRUE(again.m_bFrei);
    EXPECT_EQ(again.m_iLokal, 0);
    EXPECT_EQ(again.m_sOffset, "00010");
    EXPECT_EQ(again.m_sBgroesse, "B4");
    EXPECT_EQ(again.m_sBanzahl, "0120");
    EXPECT_EQ(again.m_iModus, 4);
    EXPECT_EQ(again.m_iKanal, 7);
    EXPECT_EQ(again.lokal_control, 5);
    EXPECT_EQ(again.lokal_control2, 6);
    EXPECT_EQ(again.m_sTel_nr, "0123456789");
    EXPECT_TRUE(again.m_bExpert);
    EXPECT_TRUE(again.b_Ein_dlg_ok);
    EXPECT_FALSE(again.m_bZeilenweise);
    EXPECT_FALSE(again.m_bPortOpen);
    EXPECT_TRUE(again.nibb2);
    EXPECT_EQ(again.Start, 2);
    EXPECT_EQ(again.sHandshake, 0);
    EXPECT_FALSE(again.m_bHandshake);
    EXPECT_TRUE(again.m_bTimer);
    EXPECT_EQ(again.m_STimerTime, "15");
}

TEST_F(SettingsTest, StoredValuesThatNeedCare) {
    {
        QSettings store(File(), QSettings::IniFormat);
        store.beginGroup(CPixlaneApp::kSection);
        store.setValue("sHandshake", 258);
        store.setValue("open", 1);
        store.setValue("m_iBaudrate", "schnell");
        store.setValue("m_iBildhoehe", "");
        store.setValue("m_iKanal", "99999999999999999999");
        store.setValue("m_bTimer", "ja");
        store.endGroup();
    }
    QSettings store(File(), QSettings::IniFormat);
    CPixlaneApp app;
    Wire(app);
    ASSERT_TRUE(app.InitInstance(&store));
    EXPECT_EQ(app.sHandshake, 2);
    // A stored "open" of 1 skips the port open while the flag reads true.
    EXPECT_TRUE(app.m_bPortOpen);
    EXPECT_FALSE(app.Line().IsOpen());
    EXPECT_TRUE(m_factory.m_opened.empty());
    // Anything that is not a number reads as its default.
    EXPECT_EQ(app.m_iBaudrate, 57600);
    EXPECT_EQ(app.m_iBildhoehe, 144);
    EXPECT_EQ(app.m_iKanal, 1);
    EXPECT_FALSE(app.m_bTimer);
}

// The stored values of the program: name, default, and another value it may hold.
struct CStoredValue {
    const char* m_pName;
    const char* m_pDefault;
    const char* m_pOther;
};
const CStoredValue kStoredValues[] = {
    {"m_iCom", "1", "2"},
    {"m_iBaudrate", "57600", "9600"},
    {"m_iMonochrom", "0", "1"},
    {"m_iBildbreite", "180", "360"},
    {"m_iBildhoehe", "144", "288"},
    {"m_bkompri", "0", "1"},
    {"m_bFrei", "0", "1"},
    {"m_iLokal", "1", "0"},
    {"m_sOffset", "00000", "00010"},
    {"m_sBgroesse", "FF", "B4"},
    {"m_sBanzahl", "90", "0120"},
    {"m_iModus", "3", "4"},
    {"m_iKanal", "1", "5"},
    {"lokal_control", "0", "3"},
    {"lokal_control2", "0", "4"},
    {"m_sTel_nr", "!22", "0891234"},
    {"m_bExpert", "0", "1"},
    {"b_Ein_dlg_ok", "0", "1"},
    {"m_bZeilenweise", "1", "0"},
    {"open", "0", "1"},
    {"nibb2", "0", "1"},
    {"Start", "1", "7"},
    {"sHandshake", "2", "0"},
    {"m_bHandshake", "1", "0"},
    {"m_bTimer", "0", "1"},
    {"m_STimerTime", "10", "15"},
};

TEST_F(SettingsTest, EveryStoredValueIsReadAndWrittenUnderItsNameWithItsDefault) {
    const auto stored = [this] {
        QSettings raw(File(), QSettings::IniFormat);
        raw.beginGroup(CPixlaneApp::kSection);
        std::map<std::string, std::string> values;
        for (const QString& key : raw.childKeys())
            values[key.toStdString()] = raw.value(key).toString().toStdString();
        return values;
    };
    {
        QSettings store(File(), QSettings::IniFormat);
        CPixlaneApp app;
        Wire(app);
        ASSERT_TRUE(app.InitInstance(&store));
        app.ExitInstance();
    }
    std::map<std::string, std::string> defaults, others;
    for (const CStoredValue& v : kStoredValues) {
        defaults[v.m_pName] = v.m_pDefault;
        // "open" is always written as 0.
        others[v.m_pName] = std::string(v.m_pName) == "open" ? "0" : v.m_pOther;
    }
    EXPECT_EQ(stored(), defaults) << "an empty store gives every default";

    // A value that is read under another name than it is written comes back as its default.
    std::vector<std::pair<std::string, std::string>> byHand;
    for (const CStoredValue& v : kStoredValues)
        byHand.emplace_back(v.m_pName, v.m_pOther);
    WriteByHand(byHand);
    {
        QSettings store(File(), QSettings::IniFormat);
        CPixlaneApp app;
        Wire(app);
        ASSERT_TRUE(app.InitInstance(&store));
        app.ExitInstance();
    }
    EXPECT_EQ(stored(), others);
}

TEST_F(SettingsTest, HandWrittenValuesAreTakenAsWritten) {
    WriteByHand({{"Start", "010"},
                 {"m_iKanal", " 7 "},
                 {"m_sTel_nr", "0,0815"},
                 {"m_sOffset", "0,0"},
                 {"m_iBaudrate", "schnell"},
                 {"m_iBildhoehe", "0x90"},
                 {"m_bFrei", "ja"},
                 {"m_iModus", "99999999999"},
                 {"m_iCom", "1,5"}});
    QSettings store(File(), QSettings::IniFormat);
    std::vector<std::string> warnings;
    CPixlaneApp app;
    Wire(app);
    app.ReadSettings(store, [&](const std::string& text) { warnings.push_back(text); });
    // Numbers are decimal, whatever their leading zeros.
    EXPECT_EQ(app.Start, 10);
    EXPECT_EQ(app.m_iKanal, 7);
    // A comma belongs to the text, not to a list.
    EXPECT_EQ(app.m_sTel_nr, "0,0815");
    EXPECT_EQ(app.m_sOffset, "0,0");
    // What cannot be taken gives its default and one warning that names it.
    EXPECT_EQ(app.m_iBaudrate, 57600);
    EXPECT_EQ(app.m_iBildhoehe, 144);
    EXPECT_FALSE(app.m_bFrei);
    EXPECT_EQ(app.m_iModus, 3);
    EXPECT_EQ(app.m_iCom, 1);
    EXPECT_EQ(warnings,
              (std::vector<std::string>{
                  "Einstellung m_iCom: \"1,5\" ist keine Zahl, es gilt 1",
                  "Einstellung m_iBaudrate: \"schnell\" ist keine Zahl, es gilt 57600",
                  "Einstellung m_iBildhoehe: \"0x90\" ist keine Zahl, es gilt 144",
                  "Einstellung m_bFrei: \"ja\" ist keine Zahl, es gilt 0",
                  "Einstellung m_iModus: \"99999999999\" liegt außerhalb des Zahlenbereichs, "
                  "es gilt 3"}));

    // The window reads the same values without a word.
    CPixlaneApp window;
    Wire(window);
    window.ReadSettings(store);
    EXPECT_EQ(window.m_iBaudrate, 57600);
    EXPECT_EQ(window.m_sTel_nr, "0,0815");
}

// The store writes a truth value as "true" or "false", and a person may copy that, in any
// case: every truth value reads both words, while a number still has to be a number.
TEST_F(SettingsTest, TruthValuesReadTheWordsTheStoreWritesForThem) {
    WriteByHand({{"m_bkompri", "true"},
                 {"m_bFrei", "TRUE"},
                 {"m_bExpert", " True "},
                 {"b_Ein_dlg_ok", "true"},
                 {"m_bZeilenweise", "false"},
                 {"open", "true"},
                 {"nibb2", "true"},
                 {"m_bHandshake", "False"},
                 {"m_bTimer", "true"},
                 {"m_iKanal", "true"}});
    {
        QSettings written(File(), QSettings::IniFormat);  // as the store itself writes it
        written.setValue("Pixlane/AutoSave/m_bAutoSave", true);
        written.setValue("Pixlane/AutoSave/m_sAutoSaveFolder", "/srv/bilder");
    }
    QSettings store(File(), QSettings::IniFormat);
    std::vector<std::string> warnings;
    CPixlaneApp app;
    Wire(app);
    app.ReadSettings(store, [&](const std::string& text) { warnings.push_back(text); });
    app.ReadAutoSave(store);
    EXPECT_TRUE(app.m_bkompri && app.m_bFrei && app.m_bExpert && app.b_Ein_dlg_ok);
    EXPECT_TRUE(app.m_bPortOpen && app.nibb2 && app.m_bTimer && app.m_bAutoSave);
    EXPECT_FALSE(app.m_bZeilenweise || app.m_bHandshake);
    EXPECT_EQ(warnings,
              std::vector<std::string>{"Einstellung m_iKanal: \"true\" ist keine Zahl, es gilt 1"});
}

// The values the program does not write itself (the ports, auto-save) are carried over
// when it writes the settings at exit. A piece of a list that holds a NUL character is
// carried as "@String(...)", which the store then hands out as a list of variants.
// A person may give a group a section of its own ("[Pixlane/AutoSave]"). The store reads
// a file section by section as keys are asked for, and with such a section beside
// "[Pixlane]" it would not find the basic settings until something had read every
// section: they would give their defaults, and the write at exit would put those over the
// values the person wrote.
TEST_F(SettingsTest, ASectionOfAGroupBesideItsParentHidesNoValue) {
    {
        QFile file(File());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(
            "[Pixlane]\nBasicSettings\\m_iCom=3\nBasicSettings\\m_sTel_nr=0815\n"
            "[Pixlane/AutoSave]\nm_sAutoSaveFolder=/srv/bilder\n"
            "[Ports]\nCOM3=/dev/ttyUSB0\n[Ports/Alt]\nCOM3=/dev/ttyS2\n");
    }
    QSettings store(File(), QSettings::IniFormat);
    CPixlaneApp app;
    Wire(app);
    app.ReadSettings(store);
    EXPECT_EQ(app.m_iCom, 3);
    EXPECT_EQ(app.m_sTel_nr, "0815");
    EXPECT_EQ(StoredPortDevice(store, 3), "/dev/ttyUSB0");
}

TEST_F(SettingsTest, ValueWithNulAndCommaSurvivesTheWriteAtExit) {
    const std::string device("/dev/tty\0S0,x", 13);
    {
        QFile file(File());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        const std::string text = "[Ports]\nCOM3=" + device + "\n";
        file.write(text.data(), static_cast<qint64>(text.size()));
    }
    {
        QSettings store(File(), QSettings::IniFormat);
        EXPECT_EQ(StoredPortDevice(store, 3), device);
        CPixlaneApp app;
        Wire(app);
        app.ReadSettings(store);
        app.WriteSettings(store);
    }
    // A copy, so that the store reads the file and not what it kept of it.
    const QString copy = m_dir.filePath("copy.ini");
    ASSERT_TRUE(QFile::copy(File(), copy));
    QSettings store(copy, QSettings::IniFormat);
    EXPECT_EQ(StoredPortDevice(store, 3), device);
}

// What a port number stands for once the window has started on a store: the variable
// first, then the stored value as written (commas and quotes as the user wrote them),
// then the default; and nothing stored once the program has ended.
TEST_F(SettingsTest, PortNumbersResolveThroughVariableStoredValueAndDefault) {
    {
        QFile file(File());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(
            "[Ports]\nCOM2=/dev/serial/by-id/usb-Kelvorn,Modul-if00\n"
            "COM3=\"/dev/tty USB3\"\nCOM4=\n");
    }
    qunsetenv("PIXLANE_COM2");
    qunsetenv("PIXLANE_COM3");
    QSettings store(File(), QSettings::IniFormat);
    CPixlaneApp app;
    Wire(app);
    ASSERT_TRUE(app.InitInstance(&store));
    const auto device = [&app](int port) { return app.LineAddress(port).DeviceName(); };
    EXPECT_EQ(device(2), "/dev/serial/by-id/usb-Kelvorn,Modul-if00");
    EXPECT_EQ(device(3), "/dev/tty USB3");
    EXPECT_EQ(device(4), "/dev/ttyS3") << "an empty stored value counts as none";

    qputenv("PIXLANE_COM2", "/dev/pts/9");
    EXPECT_EQ(device(2), "/dev/pts/9");
    EXPECT_EQ(device(3), "/dev/tty USB3") << "only the port named";
    qunsetenv("PIXLANE_COM2");

    app.ExitInstance();
    EXPECT_EQ(device(2), "/dev/ttyS1") << "the store is gone with the program";
}

TEST_F(SettingsTest, PortNumberOutsideOneToNineIsAFailedOpen) {
    m_factory.Attach(1, nullptr);
    for (int com : {0, 10, 257, -1}) {
        CPixlaneApp app;
        Wire(app);
        app.m_iCom = com;
        EXPECT_FALSE(app.OpenConfiguredPort()) << com;
        EXPECT_FALSE(app.m_bPortOpen) << com;
        EXPECT_FALSE(app.Line().IsOpen()) << com;
    }
    EXPECT_TRUE(m_factory.m_opened.empty());
}

TEST_F(SettingsTest, PortToggleClosesAndReopens) {
    CPixlaneApp app;
    Wire(app);
    ASSERT_TRUE(app.OpenConfiguredPort());
    app.OnPortToggle();
    EXPECT_FALSE(app.m_bPortOpen);
    EXPECT_FALSE(app.Line().IsOpen());
    app.OnPortToggle();
    EXPECT_TRUE(app.m_bPortOpen);
    EXPECT_TRUE(app.Line().IsOpen());
    EXPECT_EQ(m_factory.m_opened.size(), 2u);
}

// The program's own settings files are looked at before the store opens them: a FIFO as
// the user's file is not waited for, the start-up says why, the defaults hold and nothing
// is written over it at exit; a FIFO among the files for every user leaves the user's own
// file read and written.
TEST_F(SettingsTest, AFifoAmongTheSettingsFilesIsNamedNeverWaitedForNorWrittenOver) {
    const CWatchdog watchdog("Einstellungsdatei als FIFO", 30);
    // The user's folder and the one for every user, both in the test's own folder.
    const QString home = m_dir.filePath("config");
    const QString system = m_dir.filePath("xdg");
    ASSERT_TRUE(QDir().mkpath(home));
    ASSERT_TRUE(QDir().mkpath(system));
    const bool homeSet = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    const QByteArray homeBefore = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", home.toLocal8Bit());
    qputenv("XDG_CONFIG_DIRS", system.toLocal8Bit());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home);
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, system);
    const QString folder =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/Kelvorn";
    ASSERT_EQ(folder, home + "/Kelvorn");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString user = folder + "/Pixlane_Orbex.conf";
    ASSERT_EQ(::mkfifo(QFile::encodeName(user).constData(), 0600), 0);
    {
        CPixlaneApp app;
        Wire(app);
        ASSERT_TRUE(app.InitInstance());
        CRecordingUi ui;
        app.SetUi(&ui);
        EXPECT_EQ(ui.m_messages,
                  std::vector<std::string>{"Einstellungsdatei " + user.toStdString() +
                                           " ist keine Datei, sondern eine FIFO; es gelten die "
                                           "Voreinstellungen, und dort wird nichts gespeichert"});
        EXPECT_EQ(app.m_iCom, 1);
        app.m_iCom = 4;
        app.ExitInstance();
        app.SetUi(nullptr);
    }
    EXPECT_FALSE(QFileInfo(user).isFile()) << "still the FIFO";

    ASSERT_TRUE(QFile::remove(user));
    {
        QSettings own(user, QSettings::NativeFormat);
        own.setValue("Pixlane/BasicSettings/m_iCom", 3);
    }
    const QString organisation = system + "/Kelvorn.conf";
    ASSERT_EQ(::mkfifo(QFile::encodeName(organisation).constData(), 0600), 0);
    {
        CPixlaneApp app;
        Wire(app);
        CRecordingUi ui;
        app.SetUi(&ui);
        ASSERT_TRUE(app.InitInstance());
        EXPECT_EQ(ui.m_messages, std::vector<std::string>{
                                     "Einstellungsdatei " + organisation.toStdString() +
                                     " ist keine Datei, sondern eine FIFO; gelesen wird nur " +
                                     user.toStdString()});
        EXPECT_EQ(app.m_iCom, 3);
        app.m_iBaudrate = 115200;
        app.ExitInstance();
        app.SetUi(nullptr);
    }
    EXPECT_EQ(
        QSettings(user, QSettings::NativeFormat).value("Pixlane/BasicSettings/m_iBaudrate").toInt(),
        115200);
    qunsetenv("XDG_CONFIG_DIRS");
    if (homeSet)
        qputenv("XDG_CONFIG_HOME", homeBefore);
    else
        qunsetenv("XDG_CONFIG_HOME");
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication qapp(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
