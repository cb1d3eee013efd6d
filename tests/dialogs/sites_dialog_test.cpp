// "Modul > Standorte ...": the book as a list with each site's last capture, and
// "Übernehmen" putting the site's values into the settings as "Einstellungen" would.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include "app/Commands.h"
#include "app/SiteBook.h"
#include "dialogs/EinstellungDlg.h"
#include "dialogs/StandorteDlg.h"
#include "support/WindowFixture.h"

namespace {

void WriteFile(const QString& path, const QByteArray& text) {
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
}

// The program with the simulated module on port 1 and another on port 2; site "a" of the
// book names the device of a third, site "b" names no line.
class SitesDialogTest : public CWindowFixture {
  protected:
    static constexpr const char* kDeviceA = "/dev/pixlane-standort-a";
    void SetUp() override {
        m_factory.Attach(2, &m_module2);
        m_factory.AttachDevice(kDeviceA, &m_moduleA);
        CWindowFixture::SetUp();
    }
    void TearDown() override {
        QFile::remove(QString::fromStdString(UserSiteBookPath()));
        CWindowFixture::TearDown();
    }
    void WriteBook() {
        WriteFile(QString::fromStdString(UserSiteBookPath()),
                  QByteArray("[a]\ndevice=") + kDeviceA + "\n\n[b]\nchannels=2\n");
    }
    // "Modul > Standorte ...", "Übernehmen" of the site of that name.
    void Take(const QString& name) {
        Frame();
        QTimer::singleShot(0, [name] {
            auto* dlg = qobject_cast<CStandorteDlg*>(QApplication::activeModalWidget());
            ASSERT_NE(dlg, nullptr);
            auto* list = dlg->findChild<QTreeWidget*>(QStringLiteral("liste"));
            const QList<QTreeWidgetItem*> items = list->findItems(name, Qt::MatchExactly);
            ASSERT_EQ(items.size(), 1);
            list->setCurrentItem(items.front());
            dlg->findChild<QPushButton*>(QStringLiteral("uebernehmen"))->click();
        });
        ASSERT_TRUE(m_app.OnCommand(ID_STANDORTE));
        EXPECT_TRUE(Frame().windowTitle().contains(QStringLiteral("Standort ") + name))
            << Frame().windowTitle().toStdString();
    }
    // "Modul > Einstellungen": the COM number chosen from its list, then OK. The device
    // named beside the list before and after.
    QStringList ChooseCom(const QString& com) {
        QStringList devices;
        QTimer::singleShot(0, [&devices, com] {
            auto* dlg = qobject_cast<CEinstellungDlg*>(QApplication::activeModalWidget());
            ASSERT_NE(dlg, nullptr);
            auto* device = dlg->findChild<QLabel*>(QStringLiteral("comDevice"));
            devices << device->toolTip();
            auto* box = dlg->findChild<QComboBox*>(QStringLiteral("com"));
            box->showPopup();
            box->setCurrentIndex(box->findText(com));
            box->hidePopup();
            QCoreApplication::processEvents();
            devices << device->toolTip();
            dlg->findChild<QPushButton*>(QStringLiteral("ok"))->click();
        });
        EXPECT_TRUE(m_app.OnCommand(ID_EINSTELLUNGEN));
        return devices;
    }
    // F4; true when the picture came from that module and from no other.
    bool FetchedFrom(const CModuleSim& module) {
        for (CModuleSim* m : {&m_module, &m_module2, &m_moduleA, &m_demo})
            m->ClearRecord();
        EXPECT_TRUE(m_app.OnCommand(ID_BILD_HOLEN));
        for (const CModuleSim* m : {&m_module, &m_module2, &m_moduleA, &m_demo})
            if (m->Frames().empty() == (m == &module))
                return false;
        return true;
    }
    CModuleSim m_module2;
    CModuleSim m_moduleA;
    CModuleSim m_demo;
};

TEST_F(SitesDialogTest, TakingASiteOverFillsTheSettingsAndNamesItInTheTitle) {
    const QString folder = m_dir.filePath("sued");
    WriteFile(folder + "/journal.jsonl",
              "{\"result\":\"ok\",\"time\":\"2026-12-09T10:00:00+01:00\"}\n"
              "{\"result\":\"refused\",\"time\":\"2026-12-09T10:15:00+01:00\"}\n");
    WriteFile(
        QString::fromStdString(UserSiteBookPath()),
        "[nord]\nnumber=0815\n[kaputt]\nchannels=9\n\n[sued]\nnumber=0816\nlink=cable\ncom=2\n"
        "channels=3,4\nwidth=360\nfolder=" +
            folder.toUtf8() + "\n");
    Frame();
    QStringList shown;
    QTimer::singleShot(0, [&shown] {
        auto* dlg = qobject_cast<CStandorteDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(dlg, nullptr);
        auto* list = dlg->findChild<QTreeWidget*>(QStringLiteral("liste"));
        ASSERT_EQ(list->topLevelItemCount(), 2);
        // The bad entry is left out of the list and named under it.
        EXPECT_TRUE(dlg->findChild<QLabel*>(QStringLiteral("probleme"))
                        ->text()
                        .endsWith(QStringLiteral("pixlane-sites.ini:4: Standort kaputt: \"9\" sind "
                                                 "keine Kanäle 1..8 (durch Kommas getrennt); "
                                                 "übersprungen")));
        QTreeWidgetItem* sued = list->topLevelItem(1);
        for (int column = 0; column < sued->columnCount(); ++column)
            shown << sued->text(column);
        list->setCurrentItem(sued);
        dlg->findChild<QPushButton*>(QStringLiteral("uebernehmen"))->click();
    });
    ASSERT_TRUE(m_app.OnCommand(ID_STANDORTE));

    EXPECT_EQ(shown, (QStringList{"sued", "Kabel", "3,4", "2026-12-09T10:15:00+01:00", "refused"}));
    EXPECT_EQ(m_app.m_sTel_nr, "0816");
    EXPECT_EQ(m_app.m_iLokal, 1);
    EXPECT_EQ(m_app.m_iKanal, 3);
    EXPECT_EQ(m_app.m_iBildbreite, 360);
    EXPECT_EQ(m_app.m_iBildhoehe, 288);
    EXPECT_TRUE(Frame().windowTitle().contains(QStringLiteral("Standort sued")))
        << Frame().windowTitle().toStdString();
    // The site's own line is open now: the next picture comes from it.
    ASSERT_TRUE(m_app.OnCommand(ID_BILD_HOLEN));
    EXPECT_FALSE(m_module2.Frames().empty());
    EXPECT_TRUE(m_module.Frames().empty());
    // Stored at exit, as the settings always are.
    m_app.ExitInstance();
    m_store->sync();
    EXPECT_EQ(m_store->value(QStringLiteral("Pixlane/BasicSettings/m_sTel_nr")).toString(),
              QStringLiteral("0816"));
}

TEST_F(SitesDialogTest, ASiteWithoutALineAfterOneWithADeviceFetchesOverTheStoredLine) {
    WriteBook();
    Take(QStringLiteral("a"));
    EXPECT_TRUE(FetchedFrom(m_moduleA));
    Take(QStringLiteral("b"));
    EXPECT_TRUE(FetchedFrom(m_module));
}

TEST_F(SitesDialogTest, AComNumberChosenAfterASiteWithADeviceOpensThatNumbersDevice) {
    const QString adapter = m_dir.filePath(QStringLiteral("ttyUSB-zwei"));
    WriteFile(adapter, {});
    qputenv("PIXLANE_COM2", adapter.toLocal8Bit());
    WriteBook();
    Take(QStringLiteral("a"));
    EXPECT_EQ(ChooseCom(QStringLiteral("2")),
              (QStringList{QString::fromLatin1(kDeviceA) + QStringLiteral(" (fehlt)"),
                           adapter + QStringLiteral(" (vorhanden)")}));
    qunsetenv("PIXLANE_COM2");
    EXPECT_EQ(m_app.m_iCom, 2);
    EXPECT_TRUE(FetchedFrom(m_module2));
}

// The window's demo: its module is the only one there is.
class SitesDemoTest : public SitesDialogTest {
  protected:
    void SetUp() override {
        m_factory.AttachDevice("/dev/pixlane-demo", &m_demo);
        m_app.UseDemoDevice("/dev/pixlane-demo", false);
        SitesDialogTest::SetUp();
    }
};

TEST_F(SitesDemoTest, TheDemoModuleStaysTheLineWhateverSiteOrNumberIsChosen) {
    WriteBook();
    Take(QStringLiteral("a"));
    EXPECT_TRUE(FetchedFrom(m_demo));
    Take(QStringLiteral("b"));
    EXPECT_EQ(ChooseCom(QStringLiteral("2")),
              QStringList(2, QStringLiteral("/dev/pixlane-demo (fehlt)")));
    EXPECT_TRUE(FetchedFrom(m_demo));
}

}  // namespace
