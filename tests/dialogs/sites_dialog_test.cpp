// "Modul > Standorte ...": the book as a list with each site's last capture, and
// "Übernehmen" putting the site's values into the settings as "Einstellungen" would.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include "app/Commands.h"
#include "app/SiteBook.h"
#include "dialogs/StandorteDlg.h"
#include "support/WindowFixture.h"

namespace {

class SitesDialogTest : public CWindowFixture {
  protected:
    void SetUp() override {
        m_factory.Attach(2, &m_module2);
        CWindowFixture::SetUp();
    }
    void TearDown() override {
        QFile::remove(QString::fromStdString(UserSiteBookPath()));
        CWindowFixture::TearDown();
    }
    CModuleSim m_module2;
};

void WriteFile(const QString& path, const QByteArray& text) {
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
}

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

}  // namespace
