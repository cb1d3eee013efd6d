// Retention removes only the pictures its journal records as saved, inside the capture's
// folder and never the latest copy; under a free-space limit the oldest go first.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "app/Retention.h"

namespace {

const QDateTime kNow = QDateTime::fromString("2026-12-09T12:00:00+01:00", Qt::ISODate);

class RetentionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        QDir().mkpath(Path("bilder"));
        QDir().mkpath(Path("anderswo"));
    }
    QString Path(const QString& name) const { return m_dir.filePath(name); }
    void Touch(const QString& name) {
        QFile f(Path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("BM");
    }
    // A saved picture's line, so many days ago.
    QByteArray Saved(const QString& name, int daysAgo) {
        Touch(name);
        return "{\"time\":\"" + kNow.addDays(-daysAgo).toString(Qt::ISODate).toUtf8() +
               "\",\"event\":\"picture\",\"channel\":1,\"result\":\"ok\",\"file\":\"" +
               Path(name).toUtf8() + "\"}\n";
    }
    CRetention Loaded(const QByteArray& journal) {
        QFile f(Path("bilder/journal.jsonl"));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(journal);
        f.close();
        CRetention r;
        r.m_sFolder = Path("bilder").toStdString();
        r.m_sLatest = Path("bilder/aktuell.bmp").toStdString();
        r.Load(Path("bilder/journal.jsonl").toStdString());
        return r;
    }
    bool Exists(const QString& name) const { return QFile::exists(Path(name)); }

    QTemporaryDir m_dir;
};

TEST_F(RetentionTest, KeepRemovesOnlyJournalledPicturesInsideTheFolder) {
    QByteArray journal = Saved("bilder/alt.bmp", 40) + Saved("bilder/aktuell.bmp", 40) +
                         Saved("anderswo/fremd.bmp", 40) + Saved("bilder/neu.bmp", 1);
    // Saved, removed, and saved again under the same name: recorded once more.
    journal += Saved("bilder/wieder.bmp", 50);
    journal += "{\"time\":\"" + kNow.addDays(-45).toString(Qt::ISODate).toUtf8() +
               "\",\"event\":\"removed\",\"result\":\"ok\",\"file\":\"" +
               Path("bilder/wieder.bmp").toUtf8() + "\"}\n";
    journal += Saved("bilder/wieder.bmp", 35);
    Touch("bilder/unbekannt.bmp");  // in the folder, never journalled
    CRetention r = Loaded(journal);
    r.m_nKeepSeconds = 30LL * 24 * 3600;
    const std::vector<CCaptureEvent> removed = r.Prune(kNow);
    ASSERT_EQ(removed.size(), 2u);
    EXPECT_EQ(removed[0].m_sEvent, "removed");
    EXPECT_EQ(removed[0].m_sResult, "ok");
    EXPECT_EQ(QString::fromStdString(removed[0].m_sFile), Path("bilder/alt.bmp"));
    EXPECT_EQ(QString::fromStdString(removed[1].m_sFile), Path("bilder/wieder.bmp"));
    EXPECT_FALSE(Exists("bilder/wieder.bmp"));
    EXPECT_TRUE(Exists("bilder/aktuell.bmp"));
    EXPECT_TRUE(Exists("anderswo/fremd.bmp"));
    EXPECT_TRUE(Exists("bilder/unbekannt.bmp"));
    EXPECT_TRUE(Exists("bilder/neu.bmp"));
}

TEST_F(RetentionTest, MinFreeRemovesTheOldestFirstUntilEnoughIsFree) {
    // Written newest first: the order of the lines does not decide, their time does.
    CRetention r =
        Loaded(Saved("bilder/c.bmp", 1) + Saved("bilder/a.bmp", 3) + Saved("bilder/b.bmp", 2));
    r.m_nMinFreeBytes = 500;
    r.m_fnFreeBytes = [this](const std::string&) {
        uint64_t free = 1200;
        for (const char* name : {"bilder/a.bmp", "bilder/b.bmp", "bilder/c.bmp"})
            free -= Exists(name) ? 400 : 0;
        return free;
    };
    const std::vector<CCaptureEvent> removed = r.Prune(kNow);
    ASSERT_EQ(removed.size(), 2u);
    EXPECT_FALSE(Exists("bilder/a.bmp"));
    EXPECT_FALSE(Exists("bilder/b.bmp"));
    EXPECT_TRUE(Exists("bilder/c.bmp"));
    // A picture saved since counts too; with enough free nothing more goes.
    r.Saved(Path("bilder/c.bmp").toStdString(), kNow);
    EXPECT_TRUE(r.Prune(kNow).empty());
}

}  // namespace
