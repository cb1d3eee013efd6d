#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/Commands.h"
#include "app/PixlaneApp.h"
#include "dialogs/AboutDlg.h"
#include "dialogs/ModulSoftwareDlg.h"
#include "dialogs/ModulStatusDlg.h"
#include "dialogs/ZeitstempelDlg.h"
#include "link/ComPort.h"
#include "sim/ModuleSim.h"
#include "support/FakeLine.h"
#include "support/ModalScript.h"
#include "support/VirtualClock.h"
#include "support/WindowFixture.h"
#include "ui/MainFrame.h"

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

using Frames = std::vector<std::string>;

template <class T>
T* Child(QWidget* dialog, const char* name) {
    T* w = dialog->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

QString Text(QWidget* dialog, const char* name) {
    QLabel* label = Child<QLabel>(dialog, name);
    return label == nullptr ? QString() : label->text();
}

void Click(QWidget* dialog, const char* name) {
    if (QPushButton* b = Child<QPushButton>(dialog, name))
        b->click();
}

class ModuleDialogsTest : public CWindowFixture {
  protected:
    void SetUp() override {
        CWindowFixture::SetUp();
        Frame();
        m_frame->show();
        m_module.ClearRecord();
    }
    void TearDown() override {
        m_module.m_onFrame = nullptr;
        CWindowFixture::TearDown();
    }
    int Count(const std::string& frame) const {
        int n = 0;
        for (const std::string& f : m_module.Frames())
            n += f == frame;
        return n;
    }
    void Silence(const char* command) {
        m_module.AddFault({ESimFault::Silent, command, -1, 0, false});
    }
};

// ---- module status dialog ----

TEST_F(ModuleDialogsTest, StatusDialogOpensFromF3AndToolbarWithUnknownFieldsAndSendsNothing) {
    for (QAction* action : {m_frame->AccelAction(ID_UEBERSICHT), m_frame->ToolAction(ID_UEBERSICHT),
                            m_frame->MenuAction(ID_UEBERSICHT)}) {
        ASSERT_NE(action, nullptr);
        bool seen = false;
        CModalScript script({[&](QWidget* w) {
            seen = true;
            ASSERT_NE(qobject_cast<CModulStatusDlg*>(w), nullptr);
            EXPECT_EQ(w->windowTitle(), "Modulstatus");
            for (const char* field :
                 {"kameras", "eingaenge", "fehlercode", "kanal", "zeit", "version"})
                EXPECT_EQ(Text(w, field), "??") << field;
            EXPECT_TRUE(Child<QRadioButton>(w, "nurLesen")->isChecked());
            EXPECT_FALSE(Child<QRadioButton>(w, "lesenUndZuruecksetzen")->isChecked());
            QStringList groups;
            for (QGroupBox* g : w->findChildren<QGroupBox*>())
                groups << g->title();
            groups.sort();
            EXPECT_EQ(groups, QStringList({"Eingangsstatus ", "Fehlerstatus ", "Kamerastatus ",
                                           "Modulsoftware ", "Optionen", "Zeitstempel "}));
            Click(w, "abbrechen");
        }});
        action->trigger();
        EXPECT_TRUE(seen);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    }
    EXPECT_EQ(m_module.Frames(), Frames{});
}

TEST_F(ModuleDialogsTest, StatusButtonsShowTheValueOrTheErrorText) {
    m_module.m_status.m_sCamera = "0F";
    m_module.m_status.m_sInput = "5A";
    m_module.m_status.m_sError = "07";
    CModulStatusDlg dlg(m_app, m_frame.get());
    dlg.show();

    // While the module is asked, the field says so.
    QStringList whileAsking;
    m_module.m_onFrame = [&](const std::string&, bool) {
        for (const char* field : {"kameras", "eingaenge", "fehlercode"})
            if (Text(&dlg, field) != "??")
                whileAsking << Text(&dlg, field);
    };
    Click(&dlg, "abfragenKamera");
    EXPECT_EQ(Text(&dlg, "kameras"), "0F");
    Click(&dlg, "abfragenEingang");
    EXPECT_EQ(Text(&dlg, "eingaenge"), "5A");
    Click(&dlg, "abfragenFehler");
    EXPECT_EQ(Text(&dlg, "fehlercode"), "07");
    EXPECT_EQ(m_module.Frames(), (Frames{"V#", "C#", "F#"}));
    EXPECT_EQ(whileAsking, QStringList({"Bitte warten ...", "0F", "Bitte warten ...", "0F", "5A",
                                        "Bitte warten ..."}));
    m_module.m_onFrame = nullptr;

    Silence("V");
    Silence("C");
    Silence("F");
    const uint64_t start = m_clock.NowMs();
    Click(&dlg, "abfragenKamera");
    Click(&dlg, "abfragenEingang");
    Click(&dlg, "abfragenFehler");
    EXPECT_EQ(Text(&dlg, "kameras"), "FehlerV ");
    EXPECT_EQ(Text(&dlg, "eingaenge"), "FehlerC ");
    EXPECT_EQ(Text(&dlg, "fehlercode"), "FehlerF ");
    EXPECT_EQ(m_clock.NowMs() - start, 3 * CComPort::kReadTimeoutMs);
    // Nothing else is touched by a failure.
    EXPECT_EQ(Text(&dlg, "kanal"), "??");
    EXPECT_EQ(Text(&dlg, "version"), "??");
}

TEST_F(ModuleDialogsTest, StatusTimeStampReadsOrResetsAsTheOptionSays) {
    ASSERT_TRUE(CComPort(m_app.Line()).SelectChannel("3"));
    m_module.ClearRecord();
    m_clock.AdvanceUs(125'000'000);
    CModulStatusDlg dlg(m_app, m_frame.get());
    dlg.show();

    Click(&dlg, "abfragenZeit");
    EXPECT_EQ(Text(&dlg, "kanal"), "03");
    EXPECT_EQ(Text(&dlg, "zeit"), "00125");
    m_clock.AdvanceUs(5'000'000);
    Click(&dlg, "abfragenZeit");
    EXPECT_EQ(Text(&dlg, "zeit"), "00130");

    Child<QRadioButton>(&dlg, "lesenUndZuruecksetzen")->click();
    EXPECT_FALSE(Child<QRadioButton>(&dlg, "nurLesen")->isChecked());
    Click(&dlg, "abfragenZeit");
    EXPECT_EQ(Text(&dlg, "zeit"), "00130");
    m_clock.AdvanceUs(7'000'000);
    Child<QRadioButton>(&dlg, "nurLesen")->click();
    Click(&dlg, "abfragenZeit");
    // The module started counting again at the reset.
    EXPECT_EQ(Text(&dlg, "zeit"), "00007");
    EXPECT_EQ(m_module.Frames(), (Frames{"T,0#", "T,0#", "T,1#", "T,0#"}));

    // The error text is cut by position like a value.
    Silence("T");
    Click(&dlg, "abfragenZeit");
    EXPECT_EQ(Text(&dlg, "kanal"), "Fe ");
    EXPECT_EQ(Text(&dlg, "zeit"), "hlerT ");
}

TEST_F(ModuleDialogsTest, QueryAllAsksFiveTimesInOrderAndFormatsTheVersion) {
    m_module.m_status.m_sCamera = "01";
    m_module.m_status.m_sInput = "02";
    m_module.m_status.m_sError = "04";
    m_module.m_status.m_sVersion = "02031";
    CModulStatusDlg dlg(m_app, m_frame.get());
    dlg.show();
    Click(&dlg, "alleAbfragen");
    EXPECT_EQ(m_module.Frames(), (Frames{"V#", "C#", "F#", "T,0#", "S#"}));
    EXPECT_EQ(Text(&dlg, "kameras"), "01");
    EXPECT_EQ(Text(&dlg, "eingaenge"), "02");
    EXPECT_EQ(Text(&dlg, "fehlercode"), "04");
    EXPECT_EQ(Text(&dlg, "kanal"), "01");
    EXPECT_EQ(Text(&dlg, "version"), " 2.31");

    m_module.ClearRecord();
    Child<QRadioButton>(&dlg, "lesenUndZuruecksetzen")->click();
    Silence("S");
    Click(&dlg, "alleAbfragen");
    EXPECT_EQ(m_module.Frames(), (Frames{"V#", "C#", "F#", "T,1#", "S#"}));
    EXPECT_EQ(Text(&dlg, "version"), "FehlerS ");
    EXPECT_EQ(Text(&dlg, "kameras"), "01");
}

TEST_F(ModuleDialogsTest, ModuleResetShowsTheModulesTextAndDropsTheLinkEitherWay) {
    CModulStatusDlg dlg(m_app, m_frame.get());
    dlg.show();
    CModalScript script({});
    m_app.m_iLokal = 1;
    Click(&dlg, "modulReset");
    EXPECT_EQ(m_app.m_iLokal, 0);
    m_app.m_iLokal = 1;
    Silence("R");
    Click(&dlg, "modulReset");
    EXPECT_EQ(m_app.m_iLokal, 0);
    EXPECT_EQ(script.m_texts, QStringList({" Vebindung getrennt !", "FehlerR "}));
    EXPECT_EQ(script.m_titles, QStringList({"Pixlane", "Pixlane"}));
    EXPECT_EQ(m_module.Frames(), (Frames{"R,1#", "R,1#"}));
    EXPECT_TRUE(dlg.isVisible());
}

TEST_F(ModuleDialogsTest, StatusDialogEndsByCancelEscapeCloseBoxAndEnterOffTheButtons) {
    CModulStatusDlg dlg(m_app, m_frame.get());
    const std::vector<std::pair<CModalScript::Step, int>> ways = {
        {[](QWidget* w) { Click(w, "abbrechen"); }, QDialog::Rejected},
        {[](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); }, QDialog::Rejected},
        {[](QWidget* w) { w->close(); }, QDialog::Rejected},
        {[](QWidget* w) {
             QRadioButton* radio = Child<QRadioButton>(w, "nurLesen");
             radio->setFocus();
             QTest::keyClick(radio, Qt::Key_Return);
         },
         QDialog::Accepted},
    };
    for (size_t i = 0; i < ways.size(); ++i) {
        CModalScript script({ways[i].first});
        EXPECT_EQ(dlg.exec(), ways[i].second) << i;
        EXPECT_TRUE(script.Done()) << i;
    }
    // Enter on a push button presses that button and leaves the dialog open.
    bool open = false;
    CModalScript script({[](QWidget* w) {
                             QPushButton* b = Child<QPushButton>(w, "abfragenFehler");
                             b->setFocus();
                             QTest::keyClick(b, Qt::Key_Return);
                         },
                         [&](QWidget* w) {
                             open = w->isVisible();
                             Click(w, "abbrechen");
                         }});
    dlg.exec();
    EXPECT_TRUE(open);
    EXPECT_EQ(m_module.Frames(), Frames{"F#"});
}

// ---- continuous input status ----

TEST_F(ModuleDialogsTest, ContinuousPollRunsOtherEventsAndEndsOnEscapeAfterOneMoreQuery) {
    CModulStatusDlg dlg(m_app, m_frame.get());
    CUserEventSink sink;
    int atEscape = -1;
    bool openAfter = false;
    QString inputAfter, cameraInside;
    CModalScript script({
        [](QWidget* w) { Click(w, "dauerlauf"); },
        [&](QWidget* w) {
            m_module.m_status.m_sInput = "3C";
            m_module.m_status.m_sCamera = "0A";
            QCoreApplication::postEvent(&sink, new QEvent(QEvent::User));
            Click(w, "abfragenKamera");
            cameraInside = Text(w, "kameras");
        },
        [&](QWidget* w) {
            atEscape = Count("C#");
            QTest::keyClick(w, Qt::Key_Escape);
        },
        [&](QWidget* w) {
            openAfter = w->isVisible();
            inputAfter = Text(w, "eingaenge");
            Click(w, "abbrechen");
        },
    });
    EXPECT_EQ(dlg.exec(), QDialog::Rejected);
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(cameraInside, "0A");
    EXPECT_GE(atEscape, 1);
    EXPECT_EQ(Count("C#"), atEscape + 1);
    EXPECT_TRUE(openAfter);
    EXPECT_EQ(inputAfter, "3C");
    // Each query follows a pause of 100 ms.
    uint64_t last = 0;
    for (const CHostFrame& f : m_module.HostFrames()) {
        if (f.m_sText != "C#")
            continue;
        EXPECT_GE(f.m_nAtUs - last, 100'000u);
        last = f.m_nAtUs;
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(sink.m_nSeen, 0);
}

TEST_F(ModuleDialogsTest, EscapeInABoxOpenedDuringTheContinuousPollClosesOnlyTheBox) {
    CModulStatusDlg dlg(m_app, m_frame.get());
    int atReset = -1, afterBox = -1;
    CModalScript script({
        [](QWidget* w) { Click(w, "dauerlauf"); },
        [&](QWidget* w) {
            atReset = Count("C#");
            Click(w, "modulReset");  // its box comes up, and Escape closes it
        },
        [&](QWidget*) { afterBox = Count("C#"); },
        [](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); },
        [](QWidget* w) { Click(w, "abbrechen"); },
    });
    script.m_bBoxesByEscape = true;
    dlg.exec();
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(script.m_texts, QStringList{" Vebindung getrennt !"});
    EXPECT_EQ(script.m_nEscapeRefused, 0);
    EXPECT_GT(afterBox, atReset) << "the poll went on after the box";
}

TEST_F(ModuleDialogsTest, NestedContinuousPollIsEndedByItsOwnEscapeFirst) {
    CModulStatusDlg dlg(m_app, m_frame.get());
    int innerEnded = -1, outerLater = -1, atSecondEscape = -1;
    CModalScript script({
        [](QWidget* w) { Click(w, "dauerlauf"); },
        [](QWidget* w) { Click(w, "dauerlauf"); },
        [](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); },
        [&](QWidget*) { innerEnded = Count("C#"); },
        [&](QWidget* w) {
            outerLater = Count("C#");
            atSecondEscape = outerLater;
            QTest::keyClick(w, Qt::Key_Escape);
        },
        [](QWidget* w) { Click(w, "abbrechen"); },
    });
    dlg.exec();
    EXPECT_TRUE(script.Done());
    EXPECT_GT(outerLater, innerEnded);
    EXPECT_EQ(Count("C#"), atSecondEscape + 1);
}

TEST_F(ModuleDialogsTest, ClosingTheDialogEndsTheContinuousPollWithoutAnotherQuery) {
    CModulStatusDlg dlg(m_app, m_frame.get());
    const std::vector<CModalScript::Step> closers = {
        [](QWidget* w) { Click(w, "abbrechen"); },
        [](QWidget* w) { w->close(); },
    };
    for (const CModalScript::Step& closer : closers) {
        int atClose = -1;
        CModalScript script({[](QWidget* w) { Click(w, "dauerlauf"); }, [](QWidget*) {},
                             [&](QWidget* w) {
                                 atClose = Count("C#");
                                 closer(w);
                             }});
        EXPECT_EQ(dlg.exec(), QDialog::Rejected);
        EXPECT_TRUE(script.Done());
        EXPECT_FALSE(dlg.isVisible());
        EXPECT_GE(atClose, 1);
        EXPECT_EQ(Count("C#"), atClose);
    }
}

TEST_F(ModuleDialogsTest, ClosingTheProgramEndsTheContinuousPollAndTheDialog) {
    CModalScript script(
        {[](QWidget* w) { Click(w, "dauerlauf"); }, [this](QWidget*) { m_frame->close(); }});
    m_frame->AccelAction(ID_UEBERSICHT)->trigger();
    EXPECT_TRUE(script.Done());
    EXPECT_FALSE(m_frame->isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_GE(Count("C#"), 1);
}

// ---- time-stamp dialog ----

TEST_F(ModuleDialogsTest, TimeStampDialogSendsOnlyAtStartWithTheOptionOfThatPress) {
    ASSERT_TRUE(CComPort(m_app.Line()).SelectChannel("3"));
    m_module.ClearRecord();
    m_clock.AdvanceUs(125'000'000);
    QStringList shown;
    std::vector<int> modes;
    CModalScript script({[&](QWidget* w) {
        auto* dlg = qobject_cast<CZeitstempelDlg*>(w);
        ASSERT_NE(dlg, nullptr);
        EXPECT_EQ(w->windowTitle(), "Zeitstempel");
        EXPECT_EQ(Text(w, "kanal"), "??");
        EXPECT_EQ(Text(w, "zeit"), "??");
        EXPECT_EQ(m_module.Frames(), Frames{});
        EXPECT_TRUE(Child<QRadioButton>(w, "nurLesen")->isChecked());
        auto start = [&] {
            Click(w, "start");
            shown << Text(w, "kanal") + "|" + Text(w, "zeit");
            modes.push_back(dlg->m_iReadMode);
        };
        start();
        Child<QRadioButton>(w, "lesenUndZuruecksetzen")->click();
        start();
        m_clock.AdvanceUs(4'000'000);
        start();
        m_clock.AdvanceUs(2'000'000);
        Child<QRadioButton>(w, "nurLesen")->click();
        start();
        Silence("T");
        start();
        w->close();
    }});
    m_frame->AccelAction(ID_ZEITSTEMPEL)->trigger();
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(m_module.Frames(), (Frames{"T,0#", "T,1#", "T,1#", "T,0#", "T,0#"}));
    EXPECT_EQ(shown, QStringList({"03|00125", "03|00125", "03|00004", "03|00002", "Fe |hlerT "}));
    EXPECT_EQ(modes, (std::vector<int>{1, 0, 0, 1, 1}));
}

TEST_F(ModuleDialogsTest, TimeStampDialogClosesByEnterOffTheButtonsAndByEscape) {
    CZeitstempelDlg dlg(m_app.Line(), m_frame.get());
    CModalScript enter({[](QWidget* w) {
        QRadioButton* radio = Child<QRadioButton>(w, "lesenUndZuruecksetzen");
        radio->setFocus();
        QTest::keyClick(radio, Qt::Key_Enter);
    }});
    EXPECT_EQ(dlg.exec(), QDialog::Accepted);
    CModalScript escape({[](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); }});
    EXPECT_EQ(dlg.exec(), QDialog::Rejected);
    EXPECT_EQ(m_module.Frames(), Frames{});
}

// ---- module-software dialog ----

TEST_F(ModuleDialogsTest, SoftwareDialogAsksEachTimeItOpensAndIgnoresEnter) {
    m_module.m_status.m_sVersion = "91245";
    for (int opening = 1; opening <= 2; ++opening) {
        bool openAfterEnter = false;
        CModalScript script({[&](QWidget* w) {
                                 ASSERT_NE(qobject_cast<CModulSoftwareDlg*>(w), nullptr);
                                 EXPECT_EQ(w->windowTitle(), "Info zur Modul Software");
                                 EXPECT_EQ(Text(w, "version"), " 1.45");
                                 EXPECT_EQ(Count("S#"), opening);
                                 QPushButton* find = Child<QPushButton>(w, "ermitteln");
                                 EXPECT_FALSE(find->isVisible());
                                 EXPECT_FALSE(find->isEnabled());
                                 QTest::keyClick(w, Qt::Key_Return);
                             },
                             [&](QWidget* w) {
                                 openAfterEnter = w->isVisible();
                                 QTest::keyClick(w, Qt::Key_Escape);
                             }});
        m_frame->MenuAction(ID_INFO_MODUL)->trigger();
        EXPECT_TRUE(script.Done());
        EXPECT_TRUE(openAfterEnter);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    }
    EXPECT_EQ(m_module.Frames(), (Frames{"S#", "S#"}));
}

TEST_F(ModuleDialogsTest, SilentModuleShowsTheSoftwareDialogOnlyAfterTheTimeOut) {
    Silence("S");
    CModulSoftwareDlg dlg(m_app.Line(), m_frame.get());
    const uint64_t start = m_clock.NowMs();
    uint64_t shownAfter = 0;
    QString text;
    CModalScript script({[&](QWidget* w) {
        shownAfter = m_clock.NowMs() - start;
        text = Text(w, "version");
        w->close();
    }});
    dlg.exec();
    EXPECT_EQ(shownAfter, CComPort::kReadTimeoutMs);
    EXPECT_EQ(text, "FehlerS ");
}

// ---- about box ----

TEST_F(ModuleDialogsTest, AboutBoxShowsIconVersionAndClosesByOkEnterAndEscape) {
    const std::vector<CModalScript::Step> closers = {
        [](QWidget* w) { Click(w, "ok"); },
        [](QWidget* w) { QTest::keyClick(w, Qt::Key_Return); },
        [](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); },
    };
    for (const CModalScript::Step& closer : closers) {
        CModalScript script({[&](QWidget* w) {
            ASSERT_NE(qobject_cast<CAboutDlg*>(w), nullptr);
            EXPECT_EQ(w->windowTitle(), QString::fromUtf8("Info über Pixlane"));
            EXPECT_EQ(Text(w, "text"), "Pixlane Version 2.31");
            QLabel* icon = Child<QLabel>(w, "icon");
            EXPECT_FALSE(icon->pixmap().isNull());
            QPushButton* ok = Child<QPushButton>(w, "ok");
            EXPECT_EQ(ok->text(), "OK");
            EXPECT_TRUE(ok->isDefault());
            closer(w);
        }});
        m_frame->MenuAction(ID_APP_ABOUT)->trigger();
        EXPECT_TRUE(script.Done());
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    }
    EXPECT_EQ(m_module.Frames(), Frames{});
}

// The window manager and the task switcher take the icon in the size they need; every
// dialog shows the window's own.
TEST_F(ModuleDialogsTest, WindowAndEveryDialogCarryTheProgramIconInAllSizes) {
    const QIcon icon = m_frame->windowIcon();
    ASSERT_FALSE(icon.isNull());
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size))) << size;
        EXPECT_EQ(icon.pixmap(size, size).size(), QSize(size, size)) << size;
    }
    for (int id : {ID_APP_ABOUT, ID_INFO_MODUL, ID_ZEITSTEMPEL, ID_UEBERSICHT, ID_EINSTELLUNGEN}) {
        qint64 shown = 0;
        CModalScript script({[&](QWidget* w) {
            shown = w->windowIcon().cacheKey();
            w->close();
        }});
        m_frame->MenuAction(id)->trigger();
        EXPECT_TRUE(script.Done()) << id;
        EXPECT_EQ(shown, icon.cacheKey()) << id;
    }
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
