// "Modul > Standorte ...": the book as a list with each site's last capture, and
// "Übernehmen" putting the site's values into the settings as "Einstellungen" would.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <QTreeWidget>

#include "app/Commands.h"
#include "dialogs/EinstellungDlg.h"
#include "dialogs/StandorteDlg.h"
#include "fleet/SiteBook.h"
#include "support/ModalScript.h"
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
    // The journal's times carry the offset of the computer's clock, as capture writes them.
    QDateTime quarterPast(QDate(2026, 12, 9), QTime(10, 15));
    quarterPast.setOffsetFromUtc(quarterPast.offsetFromUtc());
    const QString folder = m_dir.filePath("sued");
    WriteFile(folder + "/journal.jsonl",
              "{\"result\":\"ok\",\"time\":\"2026-12-09T10:00:00+01:00\"}\n"
              "{\"result\":\"refused\",\"time\":\"" +
                  quarterPast.toString(Qt::ISODate).toUtf8() + "\"}\n");
    // A word and a time this version cannot read stay as they are.
    const QString west = m_dir.filePath("west");
    WriteFile(west + "/journal.jsonl", "{\"result\":\"verschollen\",\"time\":\"gestern\"}\n");
    WriteFile(
        QString::fromStdString(UserSiteBookPath()),
        "[nord]\nnumber=0815\n[kaputt]\nchannels=9\n\n[sued]\nnumber=0816\nlink=cable\ncom=2\n"
        "channels=3,4\nwidth=360\nfolder=" +
            folder.toUtf8() + "\n[west]\nfolder=" + west.toUtf8() + "\n");
    Frame();
    QStringList shown;
    QStringList unknown;
    QTimer::singleShot(0, [&shown, &unknown] {
        auto* dlg = qobject_cast<CStandorteDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(dlg, nullptr);
        auto* list = dlg->findChild<QTreeWidget*>(QStringLiteral("liste"));
        ASSERT_EQ(list->topLevelItemCount(), 3);
        unknown << list->topLevelItem(2)->text(3) << list->topLevelItem(2)->text(4);
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

    EXPECT_EQ(shown, (QStringList{"sued", "Kabel", "3,4", "09.12.2026 10:15:00", "abgelehnt"}));
    EXPECT_EQ(unknown, (QStringList{"gestern", "verschollen"}));
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

// The settings for every user in this folder while it lives.
class CSystemFolder {
  public:
    explicit CSystemFolder(const QString& folder)
        : m_before(
              QFileInfo(QFileInfo(QString::fromStdString(SystemSiteBookPath())).path()).path()),
          m_bDirsSet(qEnvironmentVariableIsSet("XDG_CONFIG_DIRS")),
          m_dirsBefore(qgetenv("XDG_CONFIG_DIRS")) {
        QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope, folder);
        qputenv("XDG_CONFIG_DIRS", folder.toLocal8Bit());
    }
    ~CSystemFolder() {
        QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope, m_before);
        if (m_bDirsSet)
            qputenv("XDG_CONFIG_DIRS", m_dirsBefore);
        else
            qunsetenv("XDG_CONFIG_DIRS");
    }
    CSystemFolder(const CSystemFolder&) = delete;
    CSystemFolder& operator=(const CSystemFolder&) = delete;

  private:
    QString m_before;
    bool m_bDirsSet;
    QByteArray m_dirsBefore;
};

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

TEST_F(SitesDialogTest, ASiteOfTheBookForEveryUserIsNotDeletedFromTheWindow) {
    const CSystemFolder xdg(m_dir.filePath(QStringLiteral("xdg")));
    const QString systemBook = QString::fromStdString(SystemSiteBookPath());
    const QByteArray text = "[nord]\nnumber=0815\n";
    WriteFile(systemBook, text);
    Frame();
    CModalScript answer({[](QWidget* dlg) {
        dlg->findChild<QPushButton*>(QStringLiteral("loeschen"))->click();
        EXPECT_EQ(dlg->findChild<QTreeWidget*>(QStringLiteral("liste"))->topLevelItemCount(), 1);
        static_cast<QDialog*>(dlg)->reject();
    }});
    EXPECT_TRUE(m_app.OnCommand(ID_STANDORTE));

    EXPECT_EQ(answer.m_texts,
              QStringList("Löschen abgelehnt: Standort nord steht im Standortbuch für alle "
                          "Benutzer (" +
                          systemBook +
                          "); dort entfernt ihn der Verwalter mit pixlane-cli sites "
                          "--system --remove nord"));
    QFile book(systemBook);
    ASSERT_TRUE(book.open(QIODevice::ReadOnly));
    EXPECT_EQ(book.readAll(), text);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(UserSiteBookPath())));
}

}  // namespace
