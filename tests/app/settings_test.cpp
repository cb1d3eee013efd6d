#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSettings>
#include <QTemporaryDir>

#include "app/PixlaneApp.h"
#include "link/ComPort.h"
#include "support/FakeLine.h"
#include "support/VirtualClock.h"

namespace {

class SettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        CComPort::SetClock(&m_clock);
        CComPort::SetLineFactory(&m_factory);
        m_factory.Attach(1, nullptr);
    }
    void TearDown() override {
        CComPort().Open(0);
        CComPort::SetLineFactory(nullptr);
        CComPort::SetClock(nullptr);
    }
    QString File() const { return m_dir.filePath("pixlane.ini"); }

    QTemporaryDir m_dir;
    CVirtualClock m_clock;
    CFakeLineFactory m_factory{m_clock};
};

TEST_F(SettingsTest, EmptyStoreGivesDefaultsAndOpensComOne) {
    QSettings store(File(), QSettings::IniFormat);
    CPixlaneApp app;
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
    ASSERT_NE(CComPort::State(), nullptr);
    EXPECT_EQ(CComPort::State()->m_nBaudRate, 57600u);
    EXPECT_EQ(CComPort::State()->m_nByteSize, 8);
    EXPECT_EQ(CComPort::State()->m_nParity, CLineState::kNoParity);
    EXPECT_EQ(CComPort::State()->m_nStopBits, CLineState::kOneStopBit);
    EXPECT_EQ(CComPort::State()->m_nRtsControl, CLineState::kRtsHandshake);
}

TEST_F(SettingsTest, ExitWritesAllValuesWithOpenAsZeroAndThemRoundTrip) {
    {
        QSettings store(File(), QSettings::IniFormat);
        CPixlaneApp app;
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
        EXPECT_FALSE(CComPort::IsOpen());
    }
    QSettings raw(File(), QSettings::IniFormat);
    raw.beginGroup(CPixlaneApp::kSection);
    EXPECT_EQ(raw.childKeys().size(), 26);
    EXPECT_EQ(raw.value("open").toInt(), 0);
    raw.endGroup();

    QSettings store(File(), QSettings::IniFormat);
    CPixlaneApp again;
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
    ASSERT_TRUE(app.InitInstance(&store));
    EXPECT_EQ(app.sHandshake, 2);
    // A stored "open" of 1 skips the port open while the flag reads true.
    EXPECT_TRUE(app.m_bPortOpen);
    EXPECT_FALSE(CComPort::IsOpen());
    EXPECT_TRUE(m_factory.m_opened.empty());
    // Anything that is not a number reads as its default.
    EXPECT_EQ(app.m_iBaudrate, 57600);
    EXPECT_EQ(app.m_iBildhoehe, 144);
    EXPECT_EQ(app.m_iKanal, 1);
    EXPECT_FALSE(app.m_bTimer);
}

TEST_F(SettingsTest, PortNumberOutsideOneToNineIsAFailedOpen) {
    m_factory.Attach(1, nullptr);
    for (int com : {0, 10, 257, -1}) {
        CPixlaneApp app;
        app.m_iCom = com;
        EXPECT_FALSE(app.OpenConfiguredPort()) << com;
        EXPECT_FALSE(app.m_bPortOpen) << com;
        EXPECT_FALSE(CComPort::IsOpen()) << com;
    }
    EXPECT_TRUE(m_factory.m_opened.empty());
}

TEST_F(SettingsTest, PortToggleClosesAndReopens) {
    CPixlaneApp app;
    ASSERT_TRUE(app.OpenConfiguredPort());
    app.OnPortToggle();
    EXPECT_FALSE(app.m_bPortOpen);
    EXPECT_FALSE(CComPort::IsOpen());
    app.OnPortToggle();
    EXPECT_TRUE(app.m_bPortOpen);
    EXPECT_TRUE(CComPort::IsOpen());
    EXPECT_EQ(m_factory.m_opened.size(), 2u);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication qapp(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
