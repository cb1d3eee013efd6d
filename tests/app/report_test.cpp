// The status page and the metrics from hand-written journals as of a given time, and the
// journals' tail read across blocks, a torn last line and rotated copies.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>

#include "app/Report.h"

#if PIXLANE_HAVE_ZLIB
#include <zlib.h>
#endif

namespace {

const QDateTime kNow = QDateTime::fromString("2026-12-09T12:00:00+01:00", Qt::ISODate);

QByteArray At(int minutesAgo) {
    return kNow.addSecs(-60LL * minutesAgo).toString(Qt::ISODate).toUtf8();
}

QByteArray Picture(int minutesAgo, int channel, const char* result, const QByteArray& extra = {}) {
    return "{\"time\":\"" + At(minutesAgo) +
           "\",\"event\":\"picture\",\"channel\":" + QByteArray::number(channel) +
           ",\"result\":\"" + result +
           "\",\"bytes\":20000,\"seconds\":2,\"bytes_per_second\":10000" + extra + "}\n";
}

void Write(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

class ReportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        const QString nord = m_dir.filePath("gesammelt/nord");
        // The capture machine's path does not exist here; its end does, below the journal.
        Write(nord + "/bilder/k1-1150.bmp", "BM");
        QByteArray journal;
        for (int m = 180; m >= 120; m -= 5)
            journal += Picture(m, 2, "ok");
        journal += Picture(15, 1, "ok");
        journal += Picture(10, 1, "ok",
                           ",\"bytes\":30000,\"seconds\":1,\"bytes_per_second\":30000,\"file\":"
                           "\"/srv/anderswo/nord/bilder/k1-1150.bmp\"");
        journal += Picture(5, 1, "failed", ",\"message\":\"Kanal 1: <b>keine</b> Antwort\"");
        journal += "{\"time\":\"" + At(60) + "\",\"event\":\"round\",\"offhook_seconds\":60}\n";
        journal += "{\"time\":\"" + At(120) + "\",\"event\":\"round\",\"offhook_seconds\":30}\n";
        journal +=
            "{\"time\":\"" + At(2 * 24 * 60) + "\",\"event\":\"round\",\"offhook_seconds\":600}\n";
        journal += "{\"time\":\"" + At(0) + "\",\"event\":\"picture\",\"channel\":1,\"res";  // torn
        Write(nord + "/journal.jsonl", journal);
        Write(nord + "/journal.jsonl.1",
              Picture(2 * 24 * 60, 1, "ok") + Picture(2 * 24 * 60 - 5, 1, "ok"));
#if PIXLANE_HAVE_ZLIB
        const QByteArray gz = QFile::encodeName(nord + "/journal.jsonl.2.gz");
        gzFile out = gzopen(gz.constData(), "wb");
        ASSERT_NE(out, nullptr);
        // Older than the page shows, then one it counts.
        const QByteArray old = Picture(8 * 24 * 60, 1, "ok") + Picture(3 * 24 * 60, 1, "ok");
        gzwrite(out, old.constData(), static_cast<unsigned>(old.size()));
        gzclose(out);
#endif
        // A journal whose lines name their site.
        Write(m_dir.filePath("gesammelt/sued.jsonl"),
              Picture(20, 3, "ok", ",\"site\":\"süd\"") +
                  Picture(60, 3, "refused", ",\"site\":\"süd\""));
    }

    QTemporaryDir m_dir;
};

TEST_F(ReportTest, FiguresStaleMarkGatheredPicturesAndMetrics) {
    const CReport report = ReadReport({m_dir.filePath("gesammelt").toStdString()}, kNow);
    EXPECT_TRUE(report.m_problems.empty());
    ASSERT_EQ(report.m_sites.size(), 2u);
    const CSiteStatus& nord = report.m_sites[0];
    EXPECT_EQ(nord.m_sName, "nord");
    EXPECT_EQ(report.m_sites[1].m_sName, "süd");
    ASSERT_EQ(nord.m_cameras.size(), 2u);
    const CCameraStatus& k1 = nord.m_cameras[0];
    EXPECT_EQ(k1.m_nGood24h, 2);
    EXPECT_EQ(k1.m_nFailed24h, 1);
    // The rotated journals' pictures count for the week, the one of eight days ago not.
    EXPECT_EQ(k1.m_nGood7d, PIXLANE_HAVE_ZLIB ? 5 : 4);
    EXPECT_EQ(k1.m_nLastRate, 30000);
    EXPECT_EQ(k1.m_sLastFailure, "Kanal 1: <b>keine</b> Antwort");
    ASSERT_FALSE(k1.m_pictures.empty());
    EXPECT_EQ(QString::fromStdString(k1.m_pictures[0].m_sFile),
              m_dir.filePath("gesammelt/nord/bilder/k1-1150.bmp"));
    EXPECT_FALSE(k1.m_bStale);
    // Every five minutes until two hours ago: stale.
    EXPECT_EQ(nord.m_cameras[1].m_nPeriodSeconds, 300);
    EXPECT_TRUE(nord.m_cameras[1].m_bStale);
    EXPECT_DOUBLE_EQ(nord.m_dOffhookSeconds24h, 90);

    const std::string pages = m_dir.filePath("seite").toStdString();
    std::string error;
    ASSERT_TRUE(WriteReportPages(report, pages, &error)) << error;
    EXPECT_EQ(QDir(QString::fromStdString(pages)).entryList(QDir::Files | QDir::Hidden),
              QStringList({"index.html", "standort-nord.html", "standort-s_c3_bcd.html"}));
    const QString index = QString::fromUtf8(ReportIndexPage(report, pages));
    EXPECT_TRUE(index.contains("<meta http-equiv=\"refresh\""));
    EXPECT_TRUE(index.contains("<tr class=\"veraltet\" data-site=\"nord\" data-channel=\"2\">"));
    EXPECT_TRUE(index.contains("<img src=\"../gesammelt/nord/bilder/k1-1150.bmp\""));
    EXPECT_TRUE(index.contains("1,5 min"));
    // The mean of the week's good pictures: all their bytes over all their seconds.
    EXPECT_TRUE(index.contains(PIXLANE_HAVE_ZLIB ? "12.222 B/s" : "12.857 B/s"));
    EXPECT_TRUE(index.contains("Kanal 1: &lt;b&gt;keine&lt;/b&gt; Antwort"));

    // The metrics as the monitoring's own checker reads them.
    const QByteArray text = ReportMetrics(report);
    EXPECT_TRUE(text.contains("pixlane_stale{site=\"nord\",channel=\"2\"} 1\n"));
    EXPECT_TRUE(text.contains("pixlane_last_round_offhook_seconds{site=\"nord\"} 60\n"));
    const QString file = m_dir.filePath("pixlane.prom");
    ASSERT_TRUE(WriteReportMetrics(report, file.toStdString(), &error)) << error;
    const QString promtool = QStandardPaths::findExecutable("promtool");
    // scripts/setup.sh installs it with the suite's other tools.
    ASSERT_FALSE(promtool.isEmpty())
        << "promtool (Debian package prometheus) is missing: scripts/setup.sh installs it";
    QProcess check;
    check.setStandardInputFile(file);
    check.start(promtool, {"check", "metrics"});
    ASSERT_TRUE(check.waitForFinished(60000));
    EXPECT_EQ(check.exitCode(), 0) << check.readAllStandardOutput().toStdString()
                                   << check.readAllStandardError().toStdString();
}

// Lines as other writers may write them: times in other zones and without seconds'
// usual form, escaped texts, fields in a nested object; and lines that are no JSON.
TEST(JournalLines, EveryWayOfWritingALineReadsAlike) {
    QTemporaryDir dir;
    const QString journal = dir.filePath("west.jsonl");
    Write(journal,
          // 25 hours ago in New York's winter time: outside the last day.
          "{\"time\":\"2026-12-08T05:00:00-05:00\",\"event\":\"picture\",\"channel\":1,"
          "\"result\":\"ok\"}\n"
          // Inside it, in UTC and with a fraction.
          "{\"time\":\"2026-12-09T10:30:00Z\",\"event\":\"picture\",\"channel\":1,"
          "\"result\":\"ok\"}\n"
          "{\"time\":\"2026-12-09T10:40:00.500Z\",\"event\":\"picture\",\"channel\":1,"
          "\"result\":\"ok\",\"extra\":{\"a\":[1,2]},\"bytes\":7}\n"
          "{\"time\":\"2026-12-09T11:00:00+01:00\",\"event\":\"picture\",\"channel\":1.5,"
          "\"result\":\"ok\"}\n"
          "{\"time\":\"2026-12-09T11:05:00+01:00\",\"event\":\"picture\",\"channel\":1,"
          "\"result\":\"failed\",\"message\":\"Kanal \\\"1\\\": \\u00fcberlastet\"}\n"
          "{\"time\":\"2026-12-09T11:10:00+01:00\",\"event\":\"picture\",\"channel\":1,"
          "\"result\":\"failed\"} und mehr\n"
          "{\"time\":\"2026-12-09T11:15:00+01:00\",\"event\":\"picture\",\"channel\":1,"
          "\"result\":\"failed\",}\n"
          "{\"time\":\"2026-12-09T11:20:00+01:00\",\"event\":\"picture\",\"channel\":1,"
          "\"result\":\"failed\",\"message\":\"\xff\"}\n"
          "{\"time\":\"2026-13-09T11:20:00+01:00\",\"event\":\"picture\",\"channel\":1,"
          "\"result\":\"failed\"}\n");
    const CReport report = ReadReport({journal.toStdString()}, kNow);
    ASSERT_EQ(report.m_sites.size(), 1u);
    ASSERT_EQ(report.m_sites[0].m_cameras.size(), 1u);
    const CCameraStatus& k1 = report.m_sites[0].m_cameras[0];
    EXPECT_EQ(k1.m_nGood7d, 3);
    EXPECT_EQ(k1.m_nGood24h, 2);
    EXPECT_EQ(k1.m_nFailed7d, 1);
    EXPECT_EQ(k1.m_nGoodBytes7d, 7u);
    EXPECT_EQ(k1.m_sLastFailure, "Kanal \"1\": überlastet");
    ASSERT_EQ(k1.m_pictures.size(), 3u);
    EXPECT_EQ(k1.m_pictures[0].m_time.toSecsSinceEpoch(),
              QDateTime::fromString("2026-12-09T10:40:00.500Z", Qt::ISODate).toSecsSinceEpoch());
    EXPECT_EQ(k1.m_pictures[2].m_time.toSecsSinceEpoch(), kNow.toSecsSinceEpoch() - 25 * 3600);
}

TEST(JournalTail, LinesAcrossReadBlocksComeWholeNewestFirstThenTheRotatedCopy) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // Lines of many lengths, so that the block borders fall anywhere in them.
    std::vector<QByteArray> lines;
    QByteArray journal;
    for (int i = 0; journal.size() < 300 * 1024; ++i) {
        lines.push_back("{\"n\":" + QByteArray::number(i) + ",\"x\":\"" +
                        QByteArray((i * 37) % 900, 'x') + "\"}");
        journal += lines.back() + "\n";
    }
    Write(dir.filePath("j.jsonl.1"), "{\"n\":-1}\n");
    Write(dir.filePath("j.jsonl"), journal + "{\"n\":\"halb");  // torn: being written
    std::vector<QByteArray> read;
    std::string error;
    ASSERT_TRUE(ReadJournalBackwards(
        dir.filePath("j.jsonl").toStdString(),
        [&read](const QByteArray& line) {
            read.push_back(line);
            return true;
        },
        &error))
        << error;
    lines.insert(lines.begin(), "{\"n\":-1}");
    std::reverse(lines.begin(), lines.end());
    EXPECT_EQ(read, lines);
}

}  // namespace
