#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <array>
#include <deque>
#include <functional>
#include <memory>

#include "app/PixlaneApp.h"
#include "app/SettingsMembers.h"
#include "dialogs/EinstellungDlg.h"
#include "link/ComPort.h"
#include "sim/ModuleSim.h"
#include "support/FakeLine.h"
#include "support/VirtualClock.h"
#include "support/WindowFixture.h"
#include "ui/MainFrame.h"

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

using Params = std::array<unsigned, 8>;

// Whatever modal window comes up next: a message box is noted and confirmed, the settings
// dialog gets the next of the given steps.
class CModalDriver {
  public:
    using Step = std::function<void(CEinstellungDlg&)>;
    explicit CModalDriver(std::deque<Step> steps = {}) : m_steps(std::move(steps)) {
        QObject::connect(&m_poll, &QTimer::timeout, [this] { OnPoll(); });
        m_poll.start(0);
    }
    QStringList m_boxes;

  private:
    void OnPoll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            m_boxes << box->text();
            box->done(QMessageBox::Ok);
            return;
        }
        auto* dlg = qobject_cast<CEinstellungDlg*>(modal);
        if (dlg == nullptr || m_steps.empty() || m_bInStep)
            return;
        // Run apart from this timer: a timer does not fire again inside its own slot, and
        // a step may bring up a message box that still has to be answered.
        m_bInStep = true;
        QTimer::singleShot(0, dlg, [this, dlg, step = std::move(m_steps.front())] {
            step(*dlg);
            m_bInStep = false;
        });
        m_steps.pop_front();
    }
    std::deque<Step> m_steps;
    bool m_bInStep = false;
    QTimer m_poll;
};

template <typename T>
T* Control(QWidget& dlg, const char* name) {
    T* w = dlg.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

// Chooses an entry of a drop-down list the way the user does: open, pick, close.
void PickFromList(QWidget& dlg, const char* name, const QString& entry) {
    auto* box = Control<QComboBox>(dlg, name);
    box->showPopup();
    box->setCurrentIndex(box->findText(entry));
    box->hidePopup();
    QCoreApplication::processEvents();
}

// Chooses an entry with a mouse click on the open list, as the user does: the list hides
// before the box takes the entry over.
void ClickInList(QWidget& dlg, const char* name, const QString& entry) {
    auto* box = Control<QComboBox>(dlg, name);
    box->showPopup();
    QAbstractItemView* view = box->view();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view->window()));
    const QRect item = view->visualRect(view->model()->index(box->findText(entry), 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, item.center());
    QCoreApplication::processEvents();
}

void LoseFocus(QWidget* edit) {
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(edit, &out);
}

void PressEscape(QWidget& dlg) {
    QTest::keyClick(&dlg, Qt::Key_Escape);
}

class SettingsDialogTest : public CWindowFixture {
  protected:
    void SetUp() override {
        m_factory.Attach(2, &m_module2);
        m_factory.Attach(3, nullptr);
        CWindowFixture::SetUp();
    }
    void TearDown() override {
        m_dlg.reset();
        CWindowFixture::TearDown();
    }

    // The members as the settings command fills them from the defaults.
    static CEinstellungMembers Members() {
        CEinstellungMembers m;
        m.m_sCom = "1";
        m.m_sBaudrate = "115200";
        m.m_sModus = "3";
        m.m_sKanal = "1";
        m.m_iTimerTime = 10;
        m.m_iBildbreite = 180;
        m.m_iBildhoehe = 144;
        m.m_iMonochrom = 0;
        m.m_bZeilenweise = 1;
        m.m_iLokal = 1;
        m.m_sOffset = "00000";
        m.m_sBanzahl = "90";
        m.m_sBgroesse = "FF";
        m.m_sTel_nr = "!22";
        m.m_bHandshake = 1;
        return m;
    }

    // Shows the dialog without a modal loop, its members set as given.
    CEinstellungDlg& Open(const CEinstellungMembers& m) {
        m_dlg = std::make_unique<CEinstellungDlg>(
            m_app, [this](int minutes) { m_toggles.push_back(minutes); });
        static_cast<CEinstellungMembers&>(*m_dlg) = m;
        m_dlg->show();
        return *m_dlg;
    }

    // The whole settings command through the main window, the dialog driven by steps.
    QStringList RunSettings(std::deque<CModalDriver::Step> steps) {
        Frame();
        CModalDriver driver(std::move(steps));
        m_app.OnSettings();
        return driver.m_boxes;
    }

    bool Enabled(const char* name) { return Control<QWidget>(*m_dlg, name)->isEnabled(); }
    bool Checked(const char* name) { return Control<QAbstractButton>(*m_dlg, name)->isChecked(); }
    QString Text(const char* name) { return Control<QLineEdit>(*m_dlg, name)->text(); }
    QString Shown(const char* name) { return Control<QComboBox>(*m_dlg, name)->currentText(); }
    void Click(const char* name) { Control<QAbstractButton>(*m_dlg, name)->click(); }

    CModuleSim m_module2;
    std::unique_ptr<CEinstellungDlg> m_dlg;
    std::vector<int> m_toggles;
};

TEST_F(SettingsDialogTest, OpensWithThePresetOfTheWidthAndTheLinkAndTimerLocked) {
    CEinstellungMembers m = Members();
    m.m_sModus = "1";
    m.m_iLokal = 0;
    m.m_bTimer = 1;
    m.m_sOffset = "12345";
    m.m_sBgroesse = "ABC";
    m.m_sBanzahl = "77";
    CEinstellungDlg& dlg = Open(m);

    EXPECT_EQ(dlg.windowTitle(), "Einstellung");
    EXPECT_FALSE(Control<QPushButton>(dlg, "abbrechen")->isVisible());
    EXPECT_TRUE(Control<QPushButton>(dlg, "ok")->isDefault());
    EXPECT_EQ(Shown("com"), "1");
    EXPECT_EQ(Shown("baud"), "115200");
    EXPECT_EQ(Shown("kanal"), "1");
    // The preset of width 180 replaces the stored transfer values outside expert mode.
    EXPECT_TRUE(Checked("preset180"));
    EXPECT_EQ(Text("breite"), "180");
    EXPECT_EQ(Text("hoehe"), "144");
    EXPECT_EQ(Text("offset"), "00000");
    EXPECT_EQ(Text("bgroesse"), "B4");
    EXPECT_EQ(Text("banzahl"), "90");
    // Monochrome picks the 8-bit grey mode.
    EXPECT_TRUE(Checked("monochrom"));
    EXPECT_EQ(Shown("modus"), "3");

    EXPECT_TRUE(Enabled("preset180"));
    EXPECT_TRUE(Enabled("preset360"));
    for (const char* off :
         {"preset256", "preset512", "preset768", "frei", "breite", "hoehe", "zeilenweise", "offset",
          "bgroesse", "banzahl", "modus", "ring", "kompri"})
        EXPECT_FALSE(Enabled(off)) << off;

    // Modem and timer were on, and still the link and the timer are locked to local, off.
    EXPECT_TRUE(Checked("lokal"));
    EXPECT_FALSE(Checked("modem"));
    EXPECT_FALSE(Checked("handshake"));
    EXPECT_FALSE(Checked("timer"));
    for (const char* off : {"expert", "telnr", "modem", "handshake", "timer", "intervall"})
        EXPECT_FALSE(Enabled(off)) << off;
    EXPECT_EQ(dlg.m_bTimer, 0);
    EXPECT_EQ(dlg.m_iLokal, 0);
    EXPECT_EQ(dlg.m_sKanalAlt, "1");
}

TEST_F(SettingsDialogTest, OpeningWithOtherSizesAndModes) {
    {
        // No preset for 640, free size: the edits are open, no size mark.
        CEinstellungMembers m = Members();
        m.m_iBildbreite = 640;
        m.m_iBildhoehe = 480;
        m.m_bFrei = 1;
        m.m_iMonochrom = -1;
        m.m_sCom = "10";
        Open(m);
        EXPECT_EQ(Text("breite"), "640");
        EXPECT_EQ(Text("hoehe"), "480");
        for (const char* r : {"preset180", "preset256", "preset360", "preset512", "preset768"})
            EXPECT_FALSE(Checked(r)) << r;
        EXPECT_TRUE(Enabled("breite"));
        EXPECT_TRUE(Enabled("hoehe"));
        EXPECT_TRUE(Checked("frei"));
        EXPECT_FALSE(Checked("monochrom"));
        EXPECT_FALSE(Checked("color"));
        EXPECT_EQ(Control<QComboBox>(*m_dlg, "com")->currentIndex(), -1);
        EXPECT_EQ(Shown("modus"), "3");
    }
    {
        // 360 x 300 snaps to the preset, and the settings take it at once.
        CEinstellungMembers m = Members();
        m.m_iBildbreite = 360;
        m.m_iBildhoehe = 300;
        m.m_iMonochrom = 1;
        Open(m);
        EXPECT_TRUE(Checked("preset360"));
        EXPECT_EQ(Text("hoehe"), "288");
        EXPECT_EQ(Text("banzahl"), "120");
        EXPECT_EQ(m_app.m_iBildbreite, 360);
        EXPECT_EQ(m_app.m_iBildhoehe, 288);
        EXPECT_TRUE(Checked("color"));
        EXPECT_EQ(Shown("modus"), "4");
    }
    {
        // Expert mode: no size choice, the stored transfer values stay in their edits.
        CEinstellungMembers m = Members();
        m.m_bExpert = 1;
        m.m_sOffset = "01000";
        m.m_sBgroesse = "80";
        m.m_sBanzahl = "1F";
        Open(m);
        for (const char* r : {"preset180", "preset256", "preset360", "preset512", "preset768"}) {
            EXPECT_FALSE(Checked(r)) << r;
            EXPECT_FALSE(Enabled(r)) << r;
        }
        for (const char* on : {"offset", "bgroesse", "banzahl", "modus"})
            EXPECT_TRUE(Enabled(on)) << on;
        EXPECT_FALSE(Enabled("frei"));
        EXPECT_EQ(Text("offset"), "01000");
        EXPECT_EQ(Text("bgroesse"), "80");
        EXPECT_EQ(Text("banzahl"), "1F");
    }
}

TEST_F(SettingsDialogTest, OkCopiesTheControlsBackIntoTheSettings) {
    m_app.m_iModus = 1;
    m_app.m_iMonochrom = -1;
    m_app.m_iCom = 10;
    m_app.m_bTimer = true;
    m_app.m_sOffset = "12345";
    const QStringList boxes =
        RunSettings({[](CEinstellungDlg& dlg) { dlg.findChild<QPushButton*>("ok")->click(); }});
    EXPECT_TRUE(boxes.isEmpty()) << boxes.join('|').toStdString();
    EXPECT_EQ(m_app.m_iCom, 0);
    EXPECT_EQ(m_app.m_iModus, 1);  // no colour mode chosen: "Modus" keeps its entry
    EXPECT_EQ(m_app.m_iMonochrom, 1);
    EXPECT_FALSE(m_app.m_bTimer);
    EXPECT_EQ(m_app.m_sOffset, "00000");
    EXPECT_EQ(m_app.m_sBgroesse, "B4");
    EXPECT_EQ(m_app.m_sBanzahl, "90");
    EXPECT_EQ(m_app.m_STimerTime, "10");
    EXPECT_FALSE(m_app.m_bHandshake);  // unchecked by the lock

    m_app.m_iMonochrom = 0;
    RunSettings({[](CEinstellungDlg& dlg) { dlg.findChild<QPushButton*>("ok")->click(); }});
    EXPECT_EQ(m_app.m_iModus, 3);
}

TEST_F(SettingsDialogTest, EscapeSkipsTheControlsButKeepsWhatTheHandlersDid) {
    m_app.m_iBildbreite = 360;
    m_app.m_iBildhoehe = 300;
    m_app.m_iModus = 3;
    m_app.m_bTimer = true;
    RunSettings({[](CEinstellungDlg& dlg) {
        dlg.findChild<QRadioButton*>("color")->click();
        PickFromList(dlg, "com", "2");
        PressEscape(dlg);
    }});
    // The members come back as they were: the height the preset changed, the mode the
    // colour click chose only in the list, the COM number.
    EXPECT_EQ(m_app.m_iBildhoehe, 300);
    EXPECT_EQ(m_app.m_iModus, 3);
    EXPECT_EQ(m_app.m_iMonochrom, 1);  // the handler set the member
    EXPECT_EQ(m_app.m_iCom, 1);
    EXPECT_FALSE(m_app.m_bTimer);
    // The port stays where the list put it.
    EXPECT_TRUE(m_app.m_bPortOpen);
    EXPECT_EQ(m_factory.m_opened.back(), 2);
}

TEST_F(SettingsDialogTest, InvalidInputKeepsTheDialogOpenAtThatControl) {
    // A stored interval of 0 is out of range; its edit is locked but opens for the fix.
    m_app.m_STimerTime = "0";
    bool openAfterFailure = false;
    bool intervalEditable = false;
    bool intervalFocused = false;
    const QStringList boxes = RunSettings({
        [](CEinstellungDlg& dlg) { dlg.findChild<QPushButton*>("ok")->click(); },
        [&](CEinstellungDlg& dlg) {
            auto* edit = dlg.findChild<QLineEdit*>("intervall");
            openAfterFailure = dlg.isVisible();
            intervalEditable = edit->isEnabled();
            intervalFocused = dlg.focusWidget() == edit;
            edit->setText("600001");
            dlg.findChild<QPushButton*>("ok")->click();
        },
        [](CEinstellungDlg& dlg) {
            dlg.findChild<QLineEdit*>("intervall")->setText("15");
            dlg.findChild<QPushButton*>("ok")->click();
        },
    });
    EXPECT_TRUE(openAfterFailure);
    EXPECT_TRUE(intervalEditable);
    EXPECT_TRUE(intervalFocused);
    const QString range = "Bitte eine ganze Zahl zwischen 1 und 600000 eingeben.";
    EXPECT_EQ(boxes, QStringList({range, range}));
    EXPECT_EQ(m_app.m_STimerTime, "15");
}

TEST_F(SettingsDialogTest, AFailedExchangeStopsAtTheControl) {
    CEinstellungMembers m = Members();
    m.m_bFrei = 1;
    m.m_iBildbreite = 640;
    m.m_iBildhoehe = 480;
    CEinstellungDlg& dlg = Open(m);
    CModalDriver driver;
    Control<QLineEdit>(dlg, "hoehe")->setText("");
    Control<QComboBox>(dlg, "modus")->setCurrentIndex(0);
    Click("ok");
    EXPECT_EQ(driver.m_boxes, QStringList({"Bitte eine ganze Zahl eingeben."}));
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_EQ(dlg.focusWidget(), Control<QLineEdit>(dlg, "hoehe"));
    // The width before it was taken, the mode after it was not.
    EXPECT_EQ(dlg.m_iBildbreite, 640);
    EXPECT_EQ(dlg.m_iBildhoehe, 480);
    EXPECT_EQ(dlg.m_sModus, "3");
}

TEST_F(SettingsDialogTest, ChannelListSelectsTheCameraOrShowsThePreviousOne) {
    m_module.m_channels = {1, 2, 3};
    CEinstellungDlg& dlg = Open(Members());
    PickFromList(dlg, "kanal", "3");
    EXPECT_EQ(m_module.SelectedChannel(), 3);
    EXPECT_EQ(dlg.m_sKanal, "3");
    EXPECT_EQ(dlg.m_sKanalAlt, "3");

    // Unchanged, the list still sends the selection.
    m_module.ClearRecord();
    PickFromList(dlg, "kanal", "3");
    EXPECT_EQ(m_module.Frames(), std::vector<std::string>({"G,03#"}));

    // A channel without a camera: the module refuses, the list goes back.
    PickFromList(dlg, "kanal", "5");
    EXPECT_EQ(m_module.SelectedChannel(), 3);
    EXPECT_EQ(Shown("kanal"), "3");
    EXPECT_EQ(dlg.m_sKanal, "3");

    // With the port closed the selection fails after its wait, without a message.
    m_app.OnPortToggle();
    ASSERT_FALSE(m_app.m_bPortOpen);
    CModalDriver driver;
    const uint64_t before = m_clock.NowMs();
    PickFromList(dlg, "kanal", "2");
    EXPECT_GE(m_clock.NowMs() - before, 1000u);
    EXPECT_TRUE(driver.m_boxes.isEmpty());
    EXPECT_EQ(Shown("kanal"), "3");
    EXPECT_EQ(dlg.m_sKanal, "3");
}

TEST_F(SettingsDialogTest, ChannelListSendsTheChoiceEvenWhenAnEarlierControlIsInvalid) {
    CEinstellungMembers m = Members();
    m.m_bFrei = 1;
    m.m_iBildbreite = 640;
    CEinstellungDlg& dlg = Open(m);
    CModalDriver driver;
    Control<QLineEdit>(dlg, "hoehe")->setText("");
    Control<QLineEdit>(dlg, "banzahl")->setText("ABC");
    PickFromList(dlg, "kanal", "4");
    EXPECT_EQ(driver.m_boxes, QStringList({"Bitte eine ganze Zahl eingeben."}));
    EXPECT_EQ(m_module.SelectedChannel(), 4);
    EXPECT_EQ(dlg.m_sKanalAlt, "4");

    // Refused with the exchange stopped early: only the list goes back, the edits after
    // the failed one keep what was typed.
    m_module.m_channels = {1, 4};
    PickFromList(dlg, "kanal", "6");
    EXPECT_EQ(Shown("kanal"), "4");
    EXPECT_EQ(Text("banzahl"), "ABC");
}

TEST_F(SettingsDialogTest, PresetsSendTheirPictureParametersOnALocalOpenPort) {
    CEinstellungDlg& dlg = Open(Members());
    Click("preset360");
    EXPECT_EQ(m_module.Parameters(), Params({8, 0, 360, 576, 384, 576, 1, 0}));
    EXPECT_EQ(m_app.m_iBildbreite, 360);
    EXPECT_EQ(m_app.m_iBildhoehe, 288);
    EXPECT_EQ(Text("banzahl"), "120");
    Click("preset180");
    EXPECT_EQ(m_module.Parameters(), Params({8, 0, 180, 288, 192, 288, 1, 0}));
    EXPECT_EQ(m_app.m_iBildhoehe, 144);
    EXPECT_EQ(Text("bgroesse"), "B4");
    EXPECT_EQ(Shown("modus"), "3");

    // Through a modem, or with the port closed, nothing goes out.
    m_module.ClearRecord();
    m_app.m_iLokal = 0;
    Click("preset360");
    m_app.m_iLokal = 1;
    m_app.OnPortToggle();
    Click("preset180");
    EXPECT_TRUE(m_module.Frames().empty());
    EXPECT_EQ(m_app.m_iBildbreite, 180);

    // A module that does not answer: "FehlerP", the preset stays.
    m_app.m_iCom = 3;
    m_app.OnPortToggle();
    ASSERT_TRUE(m_app.m_bPortOpen);
    CModalDriver driver;
    Click("preset360");
    EXPECT_EQ(driver.m_boxes, QStringList({"FehlerP"}));
    EXPECT_TRUE(Checked("preset360"));
    EXPECT_EQ(dlg.m_iBildbreite, 180);  // the member waits for the exchange
}

TEST_F(SettingsDialogTest, ComAndBaudListsReopenThePort) {
    CEinstellungDlg& dlg = Open(Members());
    CModalDriver driver;
    // Open: closed and reopened on the new number.
    PickFromList(dlg, "com", "2");
    EXPECT_EQ(m_app.m_iCom, 2);
    EXPECT_TRUE(m_app.m_bPortOpen);
    EXPECT_EQ(m_factory.m_opened.back(), 2);

    // Closed: opened on the new number and closed again.
    m_app.OnPortToggle();
    PickFromList(dlg, "com", "1");
    EXPECT_EQ(m_factory.m_opened.back(), 1);
    EXPECT_FALSE(m_app.m_bPortOpen);
    EXPECT_FALSE(m_app.Line().IsOpen());
    m_app.OnPortToggle();

    // Another rate than 115200: warned, and the port runs at it all the same.
    PickFromList(dlg, "baud", "57600");
    EXPECT_EQ(driver.m_boxes, QStringList({"Module firmware works only with 115200 baud !!"}));
    EXPECT_EQ(m_app.m_iBaudrate, 57600);
    ASSERT_TRUE(m_app.Line().IsOpen());
    EXPECT_EQ(m_app.Line().State()->m_nBaudRate, 57600u);

    driver.m_boxes.clear();
    PickFromList(dlg, "baud", "115200");
    EXPECT_TRUE(driver.m_boxes.isEmpty());
    EXPECT_EQ(m_app.Line().State()->m_nBaudRate, 115200u);
    EXPECT_TRUE(m_app.m_bPortOpen);
}

TEST_F(SettingsDialogTest, BesideTheComListStandsTheDeviceOfTheNumberAndWhetherItIsThere) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString adapter = dir.filePath(QStringLiteral("ttyUSB-modul"));
    {
        QFile device(adapter);
        ASSERT_TRUE(device.open(QIODevice::WriteOnly));
    }
    qputenv("PIXLANE_COM2", adapter.toLocal8Bit());
    qputenv("PIXLANE_COM3", "/dev/pixlane-away");
    CEinstellungDlg& dlg = Open([] {
        CEinstellungMembers m = Members();
        m.m_sCom = "2";
        return m;
    }());
    CModalDriver driver;
    auto* device = Control<QLabel>(dlg, "comDevice");
    EXPECT_EQ(device->toolTip(), adapter + QStringLiteral(" (vorhanden)"));
    EXPECT_TRUE(device->text().endsWith(QStringLiteral(" (vorhanden)")))
        << device->text().toStdString();
    PickFromList(dlg, "com", "3");
    EXPECT_EQ(device->text(), QStringLiteral("/dev/pixlane-away (fehlt)"));
    // A device server's port is named as it is; nothing is tried from here.
    qputenv("PIXLANE_COM4", "rfc2217://10.1.2.3:4001");
    PickFromList(dlg, "com", "4");
    EXPECT_EQ(device->toolTip(), QStringLiteral("rfc2217://10.1.2.3:4001 (Netzwerk)"));
    EXPECT_TRUE(device->text().endsWith(QStringLiteral(" (Netzwerk)")));
    qunsetenv("PIXLANE_COM4");
    auto* com = Control<QComboBox>(dlg, "com");
    QStringList entries;
    for (int i = 0; i < com->count(); ++i)
        entries << com->itemText(i);
    EXPECT_EQ(entries, QStringList({"1", "2", "3", "4", "5", "6", "7", "8"}));
    qunsetenv("PIXLANE_COM2");
    qunsetenv("PIXLANE_COM3");
}

TEST_F(SettingsDialogTest, AClickedListEntryIsWhatTheHandlerTakes) {
    CEinstellungDlg& dlg = Open(Members());
    CModalDriver driver;
    ClickInList(dlg, "baud", "57600");
    EXPECT_EQ(Shown("baud"), "57600");
    EXPECT_EQ(m_app.m_iBaudrate, 57600);
    ASSERT_TRUE(m_app.Line().IsOpen());
    EXPECT_EQ(m_app.Line().State()->m_nBaudRate, 57600u);
    ClickInList(dlg, "kanal", "2");
    EXPECT_EQ(m_module.Frames().back(), "G,02#");
}

TEST_F(SettingsDialogTest, ARateTheListLacksIsKeptAndNeverBecomesZero) {
    m_app.m_iBaudrate = 14400;
    ASSERT_TRUE(m_app.Line().IsOpen());
    const QStringList boxes = RunSettings({[](CEinstellungDlg& dlg) {
        EXPECT_EQ(Control<QComboBox>(dlg, "baud")->currentIndex(), -1);
        // Opened and closed without a choice.
        auto* box = Control<QComboBox>(dlg, "baud");
        box->showPopup();
        box->hidePopup();
        QCoreApplication::processEvents();
        PressEscape(dlg);
    }});
    EXPECT_EQ(boxes, QStringList({"Module firmware works only with 115200 baud !!"}));
    EXPECT_EQ(m_app.m_iBaudrate, 14400);
    ASSERT_TRUE(m_app.Line().IsOpen());
    EXPECT_EQ(m_app.Line().State()->m_nBaudRate, 14400u);
}

TEST_F(SettingsDialogTest, AStoredLinkStateIsKeptAsItIs) {
    for (int lokal : {2, -1, 0}) {
        m_app.m_iLokal = lokal;
        RunSettings({[](CEinstellungDlg& dlg) { PressEscape(dlg); }});
        EXPECT_EQ(m_app.m_iLokal, lokal);
    }
}

TEST_F(SettingsDialogTest, ModeListAndColourButtons) {
    CEinstellungMembers m = Members();
    m.m_bExpert = 1;
    m.m_iMonochrom = 1;
    CEinstellungDlg& dlg = Open(m);
    EXPECT_EQ(Shown("modus"), "4");
    PickFromList(dlg, "modus", "2");
    EXPECT_EQ(m_app.m_iModus, 2);
    EXPECT_TRUE(Checked("monochrom"));
    EXPECT_FALSE(Checked("color"));
    EXPECT_EQ(dlg.m_iMonochrom, 0);
    // Mode 4 leaves the colour buttons alone.
    PickFromList(dlg, "modus", "4");
    EXPECT_EQ(m_app.m_iModus, 4);
    EXPECT_TRUE(Checked("monochrom"));

    Click("color");
    EXPECT_EQ(Shown("modus"), "4");
    EXPECT_EQ(dlg.m_iMonochrom, 1);
    Click("monochrom");
    EXPECT_EQ(Shown("modus"), "3");
    EXPECT_EQ(dlg.m_iMonochrom, 0);
}

TEST_F(SettingsDialogTest, SizeEditsComputeTheBlockCountWhenTheyLoseTheFocus) {
    CEinstellungMembers m = Members();
    m.m_bFrei = 1;
    m.m_iBildbreite = 1000;
    m.m_iBildhoehe = 1000;
    CEinstellungDlg& dlg = Open(m);
    LoseFocus(Control<QLineEdit>(dlg, "hoehe"));
    EXPECT_EQ(Text("banzahl"), "F52");
    EXPECT_EQ(Text("bgroesse"), "FF");
    EXPECT_EQ(dlg.m_sBanzahl, "90");  // only the width's handler stores it

    Control<QLineEdit>(dlg, "breite")->setText("51299");
    Control<QLineEdit>(dlg, "hoehe")->setText("512");
    LoseFocus(Control<QLineEdit>(dlg, "breite"));
    EXPECT_EQ(Text("breite"), "5129");
    EXPECT_EQ(Text("banzahl"), "283B");  // 5129 * 512 / 255 + 1 = 10299
    EXPECT_EQ(dlg.m_sBanzahl, "283B");
}

TEST_F(SettingsDialogTest, OkKeepsAHexadecimalBlockCount) {
    CEinstellungMembers m = Members();
    m.m_bExpert = 1;
    m.m_sBanzahl = "C9";
    CEinstellungDlg& dlg = Open(m);
    Click("ok");
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.m_sBanzahl, "C9");

    Open(m);
    Control<QLineEdit>(*m_dlg, "banzahl")->setText("06c7x");
    Control<QLineEdit>(*m_dlg, "breite")->setText("0180");
    Click("ok");
    EXPECT_EQ(m_dlg->m_sBanzahl, "6C7");
    EXPECT_EQ(m_dlg->m_iBildbreite, 180);
    EXPECT_EQ(Text("breite"), "180");
}

TEST_F(SettingsDialogTest, LockedSwitchesStillActWhenReached) {
    CEinstellungDlg& dlg = Open(Members());
    // The timer switch toggles the capture with the member's interval.
    Control<QWidget>(dlg, "timer")->setEnabled(true);
    Click("timer");
    EXPECT_EQ(m_toggles, std::vector<int>({10}));
    EXPECT_EQ(dlg.m_bTimer, 1);
    EXPECT_TRUE(Enabled("intervall"));
    Click("timer");
    EXPECT_EQ(m_toggles, std::vector<int>({10, 10}));
    EXPECT_EQ(dlg.m_bTimer, 0);
    EXPECT_FALSE(Enabled("intervall"));

    // Handshake: the setting for the next open.
    Control<QWidget>(dlg, "handshake")->setEnabled(true);
    Click("handshake");
    EXPECT_EQ(m_app.sHandshake, 0);
    Click("handshake");
    EXPECT_EQ(m_app.sHandshake, 2);

    // Modem opens the number, Lokal closes it.
    Control<QWidget>(dlg, "modem")->setEnabled(true);
    Click("modem");
    EXPECT_EQ(dlg.m_iLokal, 0);
    EXPECT_TRUE(Enabled("telnr"));
    EXPECT_TRUE(Checked("handshake"));
    Click("lokal");
    EXPECT_EQ(dlg.m_iLokal, 1);
    EXPECT_FALSE(Enabled("telnr"));

    // Free size and back.
    Control<QWidget>(dlg, "frei")->setEnabled(true);
    Click("frei");
    EXPECT_EQ(dlg.m_bFrei, 1);
    EXPECT_TRUE(Enabled("breite"));
    EXPECT_FALSE(Checked("preset180"));
    EXPECT_FALSE(Enabled("preset180"));
    Click("frei");
    EXPECT_EQ(dlg.m_bFrei, 0);
    EXPECT_FALSE(Enabled("breite"));
    EXPECT_TRUE(Checked("preset180"));
    EXPECT_TRUE(Enabled("preset768"));

    // Expert mode on and off.
    Control<QWidget>(dlg, "expert")->setEnabled(true);
    Click("expert");
    EXPECT_EQ(dlg.m_bExpert, 1);
    EXPECT_TRUE(Enabled("offset"));
    EXPECT_FALSE(Checked("preset180"));
    EXPECT_FALSE(Enabled("preset180"));
    Click("expert");
    EXPECT_EQ(dlg.m_bExpert, 0);
    EXPECT_FALSE(Enabled("offset"));
    EXPECT_TRUE(Checked("preset180"));
    EXPECT_FALSE(Enabled("preset256"));
}

TEST_F(SettingsDialogTest, TimerSwitchArmsTheCaptureOfTheMainWindow) {
    m_app.m_STimerTime = "2";
    RunSettings({[](CEinstellungDlg& dlg) {
        auto* box = dlg.findChild<QCheckBox*>("timer");
        box->setEnabled(true);
        box->click();
        PressEscape(dlg);
    }});
    EXPECT_TRUE(m_frame->CaptureTimer().isActive());
    EXPECT_EQ(m_frame->TimerInterval(), 120000);
    EXPECT_TRUE(m_app.m_bTimer);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
