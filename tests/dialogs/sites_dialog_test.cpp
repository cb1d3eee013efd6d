// "Modul > Standorte ...": the book as a list with each site's last capture, and
// "Übernehmen" making the site the window's target: its values over the settings, which
// stay as they are, until "Einstellungen" is confirmed.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <QTreeWidget>

#include "app/Commands.h"
#include "dialogs/EinstellungDlg.h"
#include "dialogs/StandorteDlg.h"
#include "fleet/SiteBook.h"
#include "sim/ModemSim.h"
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

TEST_F(SitesDialogTest, TakingASiteOverMakesItTheTargetAndNamesItInTheTitle) {
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
    const CTarget target = m_app.Target();
    EXPECT_EQ(target.m_sSite, "sued");
    EXPECT_EQ(target.m_line.m_sNumber, "0816");
    EXPECT_EQ(target.m_channels, (std::vector<int>{3, 4}));
    EXPECT_EQ(target.m_request.m_nWidth, 360);
    EXPECT_EQ(target.m_request.m_nHeight, 288);
    // The link state follows the site's line; the settings stay as they were.
    EXPECT_EQ(m_app.m_iLokal, 1);
    EXPECT_EQ(m_app.m_sTel_nr, "!22");
    EXPECT_EQ(m_app.m_iBildbreite, 180);
    EXPECT_TRUE(Frame().windowTitle().contains(QStringLiteral("Standort sued")))
        << Frame().windowTitle().toStdString();
    // The site's own line is open now: the next picture comes from it, in its size.
    ASSERT_TRUE(m_app.OnCommand(ID_BILD_HOLEN));
    EXPECT_FALSE(m_module2.Frames().empty());
    EXPECT_TRUE(m_module.Frames().empty());
    EXPECT_EQ(m_app.m_image.Width(), 360);
    // Not stored at exit: a site is no setting.
    m_app.ExitInstance();
    m_store->sync();
    EXPECT_EQ(m_store->value(QStringLiteral("Pixlane/BasicSettings/m_sTel_nr")).toString(),
              QStringLiteral("!22"));
}

TEST_F(SitesDialogTest, ASiteWithoutALineAfterOneWithADeviceFetchesOverTheStoredLine) {
    WriteBook();
    Take(QStringLiteral("a"));
    EXPECT_TRUE(FetchedFrom(m_moduleA));
    Take(QStringLiteral("b"));
    EXPECT_TRUE(FetchedFrom(m_module));
}

// The stored line's module behind the simulated modem, so that a capture tick can dial.
class SitesTickTest : public SitesDialogTest {
  protected:
    void SetUp() override {
        SitesDialogTest::SetUp();
        m_factory.Attach(1, &m_modem);
        m_app.OnPortToggle();  // closed, and opened again with the modem in front
        m_app.OnPortToggle();
        ASSERT_TRUE(m_app.m_bPortOpen);
    }
    CModemSim m_modem{m_module};
};

TEST_F(SitesTickTest, ATickAfterTwoSitesCapturesOnTheSecondSitesLineIntoItsFolder) {
    const QString folder = m_dir.filePath(QStringLiteral("standort-b"));
    WriteFile(QString::fromStdString(UserSiteBookPath()),
              QByteArray("[a]\ndevice=") + kDeviceA +
                  "\n\n[b]\nchannels=2\nfolder=" + folder.toUtf8() + "\npattern=k{channel}.bmp\n");
    // Auto-save on, into a folder of its own, where no picture of the site may go.
    const QString own = m_dir.filePath(QStringLiteral("eigen"));
    m_app.m_bAutoSave = true;
    m_app.m_sAutoSaveFolder = own.toStdString();
    Take(QStringLiteral("a"));
    Take(QStringLiteral("b"));
    for (CModuleSim* m : {&m_module, &m_moduleA})
        m->ClearRecord();
    CModalScript boxes({});
    m_app.OnCaptureTick();

    // The second site names no line: the stored one, not the first site's device.
    EXPECT_FALSE(m_module.Frames().empty());
    EXPECT_TRUE(m_moduleA.Frames().empty());
    EXPECT_FALSE(QFileInfo::exists(own));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), (QStringList{"journal.jsonl", "k2.bmp"}));
    QFile journal(folder + QStringLiteral("/journal.jsonl"));
    ASSERT_TRUE(journal.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = journal.readAll().split('\n');
    ASSERT_EQ(lines.size(), 3);  // the picture's line, the round's, the empty rest
    const QJsonObject picture = QJsonDocument::fromJson(lines[0]).object();
    EXPECT_EQ(picture["site"].toString(), "b");
    EXPECT_EQ(picture["channel"].toInt(), 2);
    EXPECT_EQ(picture["result"].toString(), "ok");
    EXPECT_EQ(picture["file"].toString(), folder + QStringLiteral("/k2.bmp"));
    const QJsonObject round = QJsonDocument::fromJson(lines[1]).object();
    EXPECT_EQ(round["site"].toString(), "b");
    EXPECT_EQ(round["device"].toString().toStdString(), m_app.LineAddress(1).DeviceName());
    // What the sites dialog shows of it.
    const CSiteBook book = ReadSiteBook();
    ASSERT_NE(book.Find("b"), nullptr);
    EXPECT_EQ(LastCapture(*book.Find("b")).m_sResult, "ok");
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
    // Confirmed, the settings are the target again.
    EXPECT_FALSE(Frame().windowTitle().contains(QStringLiteral("Standort")))
        << Frame().windowTitle().toStdString();
    EXPECT_EQ(m_app.Target().m_sSite, "");
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
