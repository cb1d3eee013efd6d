// The status page and the metrics from hand-written journals as of a given time, and the
// journals' tail read across blocks, a torn last line and rotated copies.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <algorithm>
#include <csignal>
#include <map>
#include <set>

#include <sys/resource.h>

#include "capture/Journal.h"
#include "fleet/Report.h"

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

QByteArray Read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(nicht lesbar)");
}

// A journal line as capture writes it.
QByteArray Line(const QJsonObject& o) {
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + "\n";
}

// The metrics file as the monitoring's own checker reads it.
void ExpectPromtoolAccepts(const QString& file) {
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
        // Rounds as they are appended, the newest last.
        journal +=
            "{\"time\":\"" + At(2 * 24 * 60) + "\",\"event\":\"round\",\"offhook_seconds\":600}\n";
        journal += "{\"time\":\"" + At(120) + "\",\"event\":\"round\",\"offhook_seconds\":30}\n";
        journal += "{\"time\":\"" + At(60) + "\",\"event\":\"round\",\"offhook_seconds\":60}\n";
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
    ExpectPromtoolAccepts(file);
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
    // Being written: handed like the others, for the reader's parser to refuse.
    Write(dir.filePath("j.jsonl"), journal + "{\"n\":\"halb");
    std::vector<QByteArray> read;
    std::string error;
    ASSERT_TRUE(ReadJournalBackwards(
        dir.filePath("j.jsonl").toStdString(),
        [&read](QByteArrayView line) {
            read.push_back(line.toByteArray());
            return true;
        },
        &error))
        << error;
    lines.insert(lines.begin(), "{\"n\":-1}");
    lines.push_back("{\"n\":\"halb");
    std::reverse(lines.begin(), lines.end());
    EXPECT_EQ(read, lines);

    // A journal of one complete line without its line break counts it.
    const QString one = dir.filePath("eins.jsonl");
    Write(one, Picture(5, 1, "ok").chopped(1));
    const CReport report = ReadReport({one.toStdString()}, kNow);
    ASSERT_EQ(report.m_sites.size(), 1u);
    ASSERT_EQ(report.m_sites[0].m_cameras.size(), 1u);
    EXPECT_EQ(report.m_sites[0].m_cameras[0].m_nGood24h, 1);
}

// A picture line of channel 1 (or the one given) as capture writes it.
QByteArray PictureAt(const QString& time, int channel = 1, const QString& site = {},
                     const QString& file = {}) {
    QJsonObject o{{"time", time}, {"event", "picture"}, {"channel", channel}, {"result", "ok"}};
    if (!site.isEmpty())
        o.insert("site", site);
    if (!file.isEmpty())
        o.insert("file", file);
    return Line(o);
}

QString Ago(int minutes) {
    return QString::fromUtf8(At(minutes));
}

// A clock that ran ahead or was reset for a while: a line far ahead is passed over and
// said, one from 1970 does not end the week, and the later line is the newer picture.
TEST(ReportTimes, FarFutureLinesArePassedOverAndAnOldOneDoesNotHideTheWeek) {
    QTemporaryDir dir;
    const QString journal = dir.filePath("ost.jsonl");
    QByteArray lines;
    for (int d = 6; d >= 2; --d)
        lines += PictureAt(Ago(d * 24 * 60));
    lines += PictureAt("1970-01-01T00:00:00Z");
    lines += PictureAt(Ago(120));
    lines += PictureAt(Ago(-20 * 60));  // ahead, but within a day: taken
    lines += PictureAt(Ago(60));
    for (int m = 180; m >= 120; m -= 5)
        lines += PictureAt(Ago(m), 2);
    lines += PictureAt("2099-01-01T00:00:00Z", 2);
    Write(journal, lines);

    const CReport report = ReadReport({journal.toStdString()}, kNow);
    ASSERT_EQ(report.m_sites.size(), 1u);
    ASSERT_EQ(report.m_sites[0].m_cameras.size(), 2u);
    const CCameraStatus& k1 = report.m_sites[0].m_cameras[0];
    EXPECT_EQ(k1.m_nGood7d, 8);
    ASSERT_FALSE(k1.m_pictures.empty());
    EXPECT_EQ(k1.m_pictures[0].m_time, kNow.addSecs(-3600)) << "the last line is the newest";
    const CCameraStatus& k2 = report.m_sites[0].m_cameras[1];
    EXPECT_EQ(k2.m_nGood7d, 13);
    EXPECT_TRUE(k2.m_bStale);
    ASSERT_EQ(report.m_notes.size(), 1u);
    EXPECT_NE(report.m_notes[0].find(
                  "ost.jsonl: 1 Zeile mit einer Zeit mehr als einen Tag nach jetzt übergangen"),
              std::string::npos)
        << report.m_notes[0];
    EXPECT_NE(report.m_notes[0].find("2099-01-01T00:00:00Z"), std::string::npos);
}

// A site whose every dial fails for eight days counts its failures and is stale; at a
// site with cameras a failed dial is a missed picture of each.
TEST(ReportFailures, FailedDialsCountAndASiteWithoutPicturesIsStale) {
    QTemporaryDir dir;
    const auto dial = [](int minutesAgo) {
        return Line({{"time", Ago(minutesAgo)},
                     {"event", "dial"},
                     {"channel", QJsonValue()},
                     {"result", "failed"},
                     {"message", "Besetzt"},
                     {"modem", "BUSY"}}) +
               Line({{"time", Ago(minutesAgo)},
                     {"event", "round"},
                     {"offhook_seconds", 0},
                     {"pictures_ok", 0},
                     {"pictures_failed", 2},
                     {"result", "failed"}});
    };
    QByteArray west;
    for (int m = 8 * 24 * 60 + 15; m >= 15; m -= 30)
        west += dial(m);
    Write(dir.filePath("west/journal.jsonl"), west);
    QByteArray nord;
    for (int m = 300; m >= 240; m -= 30)
        nord += PictureAt(Ago(m), 1) + PictureAt(Ago(m), 2);
    nord += Picture(210, 1, "failed");
    for (int m = 180; m >= 120; m -= 30)
        nord += dial(m);
    Write(dir.filePath("nord/journal.jsonl"), nord);

    const QString metrics = dir.filePath("pixlane.prom");
    std::vector<std::string> problems;
    ASSERT_TRUE(WriteReport({dir.path().toStdString()}, kNow, dir.filePath("seite").toStdString(),
                            metrics.toStdString(), problems));
    const QString index = QString::fromUtf8(Read(dir.filePath("seite/index.html")));
    EXPECT_TRUE(index.contains("<tr class=\"veraltet\" data-site=\"west\">"));
    EXPECT_TRUE(index.contains("<td>0 / 48</td><td>0 / 336</td>")) << index.toStdString();
    const QByteArray text = Read(metrics);
    EXPECT_TRUE(text.contains("\npixlane_stale{site=\"west\"} 1\n")) << text.toStdString();
    EXPECT_TRUE(text.contains("\npixlane_pictures_last_24h{site=\"west\",result=\"failed\"} 48\n"));
    EXPECT_TRUE(text.contains(
        "\npixlane_pictures_last_24h{site=\"nord\",channel=\"1\",result=\"failed\"} 4\n"));
    EXPECT_TRUE(text.contains(
        "\npixlane_pictures_last_24h{site=\"nord\",channel=\"2\",result=\"failed\"} 3\n"));
    ExpectPromtoolAccepts(metrics);
}

// Site names with what the metrics format escapes, and with what an argument list
// takes for its places: each stays itself; a name with a control character the format
// cannot carry leaves its site out of the metrics, said in a note.
TEST(ReportMetrics, SiteNamesAreEscapedOrTheSiteLeftOut) {
    QTemporaryDir dir;
    const std::string kept[] = {"a\"b", "c\\d", "e\nf", "g%1h%3"};
    const std::string refused[] = {std::string("nul\0x", 5), "cr\rx", "esc\x1bx"};
    QByteArray journal;
    for (const std::string& name : kept)
        journal += PictureAt(Ago(10), 1, QString::fromStdString(name));
    for (const std::string& name : refused)
        journal += PictureAt(Ago(10), 1, QString::fromStdString(name));
    Write(dir.filePath("j.jsonl"), journal);
    const QString metrics = dir.filePath("pixlane.prom");
    std::vector<std::string> problems, notes;
    ASSERT_TRUE(WriteReport({dir.filePath("j.jsonl").toStdString()}, kNow,
                            dir.filePath("seite").toStdString(), metrics.toStdString(), problems,
                            &notes));
    const QByteArray text = Read(metrics);
    for (const char* label : {"{site=\"a\\\"b\",channel=\"1\"}", "{site=\"c\\\\d\",channel=\"1\"}",
                              "{site=\"e\\nf\",channel=\"1\"}", "{site=\"g%1h%3\",channel=\"1\"}"})
        EXPECT_TRUE(text.contains(QByteArray("pixlane_stale") + label)) << label;
    EXPECT_FALSE(text.contains("nul") || text.contains("cr\r") || text.contains("esc"));
    EXPECT_EQ(notes, (std::vector<std::string>{
                         "Standort \"cr\\x0dx\" hat ein Steuerzeichen im Namen und fehlt in den "
                         "Metriken",
                         "Standort \"esc\\x1bx\" hat ein Steuerzeichen im Namen und fehlt in den "
                         "Metriken",
                         "Standort \"nul\\x00x\" hat ein Steuerzeichen im Namen und fehlt in den "
                         "Metriken"}));
    ExpectPromtoolAccepts(metrics);
    const QString index = QString::fromUtf8(Read(dir.filePath("seite/index.html")));
    EXPECT_TRUE(index.contains("data-site=\"g%1h%3\" data-channel=\"1\">")) << index.toStdString();
    EXPECT_TRUE(index.contains(">g%1h%3</a></td><td>Kamera 1</td>"));
}

// Picture names with characters a URL gives a meaning: each link, resolved against the
// pages' folder as a browser resolves it, is the picture's file.
TEST(ReportLinks, EveryPictureNameLinksToItsFile) {
    QTemporaryDir dir;
    const QString pages = dir.filePath("seite");
    QStringList files;
    for (const char* name : {"12:00:00.bmp", "a,b+c;d=e.bmp", "frage?.bmp", "<k1>.bmp",
                             "raute#1.bmp", "100%3A%.bmp", "mit leer.bmp", "ä&ö.bmp"})
        files << dir.filePath(QString("bilder/") + QString::fromUtf8(name));
    files << pages + "/13:00:00.bmp";  // beside the pages: its link begins with its name
    QByteArray journal;
    for (qsizetype i = 0; i < files.size(); ++i) {
        Write(files[i], "BM");
        journal += PictureAt(Ago(10 * static_cast<int>(files.size() - i)), 1, {}, files[i]);
    }
    Write(dir.filePath("nord.jsonl"), journal);
    std::vector<std::string> problems;
    ASSERT_TRUE(WriteReport({dir.filePath("nord.jsonl").toStdString()}, kNow, pages.toStdString(),
                            {}, problems));

    const QString page = QString::fromUtf8(Read(pages + "/standort-nord.html"));
    static const QRegularExpression href("href=\"([^\"]*)\"");
    QStringList linked;
    for (auto it = href.globalMatch(page); it.hasNext();) {
        const QString url = it.next().captured(1).replace("&amp;", "&");
        if (url != "index.html")
            linked << QUrl::fromLocalFile(pages + "/").resolved(QUrl(url)).toLocalFile();
    }
    linked.sort();
    files.sort();
    EXPECT_EQ(linked, files);
}

// Runs f while the file system refuses a file beyond limit bytes (as a full disk would).
template <class F>
void WithFileLimit(rlim_t limit, F&& f) {
    auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = limit;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    f();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
}

std::map<QString, QByteArray> FolderContents(const QString& folder) {
    std::map<QString, QByteArray> contents;
    for (const QString& name :
         QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        contents[name] = Read(folder + "/" + name);
    return contents;
}

// The pages as one set: a name too long for a file name gets its page all the same, a
// link planted as index.html is replaced, not written through, and a set that cannot be
// written whole leaves the previous set whole.
TEST(ReportPages, WrittenAsOneSetUnderNamesEveryFolderTakes) {
    QTemporaryDir dir;
    const QString pages = dir.filePath("seite");
    QString umlauts;
    for (int i = 0; i < 300; ++i)
        umlauts += u'ü';
    const QString journal = dir.filePath("j.jsonl");
    Write(journal, PictureAt(Ago(10), 1, QString(300, 'x')) + PictureAt(Ago(10), 1, umlauts) +
                       PictureAt(Ago(10), 1, "nord"));
    QDir().mkpath(pages);
    Write(dir.filePath("fremd.txt"), "fremd");
    ASSERT_TRUE(QFile::link(dir.filePath("fremd.txt"), pages + "/index.html"));

    const CReport first = ReadReport({journal.toStdString()}, kNow);
    std::string error;
    ASSERT_TRUE(WriteReportPages(first, pages.toStdString(), &error)) << error;
    EXPECT_EQ(Read(dir.filePath("fremd.txt")), "fremd");
    EXPECT_FALSE(QFileInfo(pages + "/index.html").isSymLink());
    const QString index = QString::fromUtf8(Read(pages + "/index.html"));
    std::set<std::string> names;
    for (const CSiteStatus& s : first.m_sites) {
        const QString name = QString::fromStdString(s.PageName());
        names.insert(s.PageName());
        EXPECT_TRUE(QFileInfo(pages + "/" + name).isFile()) << s.PageName();
        EXPECT_TRUE(index.contains("href=\"" + name + "\""));
    }
    EXPECT_EQ(names.size(), 3u);

    // An hour later, with the index over what the file system takes.
    const std::map<QString, QByteArray> before = FolderContents(pages);
    const CReport later = ReadReport({journal.toStdString()}, kNow.addSecs(3600));
    const qsizetype indexSize = ReportIndexPage(later, pages.toStdString()).size();
    for (const CSiteStatus& s : later.m_sites)
        ASSERT_LT(ReportSitePage(later, s, pages.toStdString()).size(), indexSize - 1);
    bool written = true;
    WithFileLimit(static_cast<rlim_t>(indexSize - 1),
                  [&] { written = WriteReportPages(later, pages.toStdString(), &error); });
    EXPECT_FALSE(written);
    EXPECT_NE(error.find("index.html"), std::string::npos) << error;
    EXPECT_EQ(FolderContents(pages), before);
}

}  // namespace

namespace {

// The lines of a pool: counted from the round lines of 24 hours that name them, with the
// pool's own word on which is out; a line without a round shows as idle, an older round
// and another program's line count for nothing.
TEST(ReportLines, RoundsFailuresAndOffHookPerLineAndWhichIsOut) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto round = [](int minutesAgo, const char* device, const char* result, int offhook) {
        return "{\"time\":\"" + At(minutesAgo) + "\",\"event\":\"round\",\"device\":\"" + device +
               "\",\"result\":\"" + result +
               "\",\"offhook_seconds\":" + QByteArray::number(offhook) + "}\n";
    };
    Write(dir.filePath("a/journal.jsonl"), round(2 * 24 * 60, "/dev/ttyUSB0", "ok", 600) +
                                               round(90, "/dev/ttyUSB0", "ok", 60) +
                                               round(30, "/dev/ttyUSB1", "failed", 30));
    Write(dir.filePath("b/journal.jsonl"),
          round(50, "/dev/ttyUSB0", "partial", 120) + round(40, "/dev/other", "ok", 60));
    CPoolReport pool;
    pool.m_lines = {"/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyUSB2"};
    pool.m_out = {"/dev/ttyUSB1"};
    pool.m_lags = {{"a", 0}, {"b", 42.5}};
    CReport report = ReadReport({dir.filePath("a/journal.jsonl").toStdString(),
                                 dir.filePath("b/journal.jsonl").toStdString()},
                                kNow);
    // Without a pool, nothing of lines is shown.
    EXPECT_FALSE(ReportMetrics(report).contains("pixlane_line_"));
    AddPool(report, pool);
    const QByteArray text = ReportMetrics(report);
    EXPECT_TRUE(text.contains("pixlane_line_rounds_last_24h{line=\"/dev/ttyUSB0\"} 2\n"))
        << text.toStdString();
    EXPECT_TRUE(text.contains("pixlane_line_failed_rounds_last_24h{line=\"/dev/ttyUSB0\"} 1\n"));
    EXPECT_TRUE(
        text.contains("pixlane_line_offhook_seconds_last_24h{line=\"/dev/ttyUSB0\"} 180\n"));
    EXPECT_TRUE(text.contains("pixlane_line_failed_rounds_last_24h{line=\"/dev/ttyUSB1\"} 1\n"));
    EXPECT_TRUE(text.contains("pixlane_line_out_of_pool{line=\"/dev/ttyUSB1\"} 1\n"));
    EXPECT_TRUE(text.contains("pixlane_line_out_of_pool{line=\"/dev/ttyUSB0\"} 0\n"));
    EXPECT_TRUE(text.contains("pixlane_line_rounds_last_24h{line=\"/dev/ttyUSB2\"} 0\n"));
    EXPECT_FALSE(text.contains("/dev/other"));
    EXPECT_TRUE(text.contains("pixlane_site_round_lag_seconds{site=\"b\"} 42.5\n"));
    const QString file = dir.filePath("pixlane.prom");
    std::string error;
    ASSERT_TRUE(WriteReportMetrics(report, file.toStdString(), &error)) << error;
    ExpectPromtoolAccepts(file);
    const QString index = QString::fromUtf8(ReportIndexPage(report, dir.path().toStdString()));
    EXPECT_TRUE(
        index.contains("<tr data-line=\"/dev/ttyUSB1\"><td>/dev/ttyUSB1</td><td>außer "
                       "Betrieb</td><td>1</td><td>1</td><td>0,5 min</td></tr>"))
        << index.toStdString();
}

// The films of days that lie in the site's folder: the camera's row links its newest, the
// site's page the last seven; what is no such film (another name, a link) is not linked.
TEST(ReportFilms, TheRowAndTheSitePageLinkTheFilmsThatAreThere) {
    QTemporaryDir dir;
    const QString nord = dir.filePath("nord");
    Write(nord + "/journal.jsonl", Picture(30, 1, "ok") + Picture(20, 2, "ok"));
    for (int day = 1; day <= 9; ++day)
        Write(nord + QString("/film-2026-12-%1-k1.mp4").arg(day, 2, 10, QChar('0')), "film");
    Write(nord + "/film-2026-12-05-k2.mp4", "film");
    Write(nord + "/film-2026-12-10-k1.mp4.part", "halb");
    Write(nord + "/film-neu-k1.mp4", "anderer");
    Write(dir.filePath("fremd.mp4"), "fremd");
    ASSERT_TRUE(QFile::link(dir.filePath("fremd.mp4"), nord + "/film-2026-12-11-k1.mp4"));
    const QString pages = dir.filePath("seite");
    std::vector<std::string> problems;
    ASSERT_TRUE(WriteReport({(nord + "/journal.jsonl").toStdString()}, kNow, pages.toStdString(),
                            {}, problems));

    static const QRegularExpression film("href=\"([^\"]*\\.mp4[^\"]*)\"");
    const auto films = [](const QString& page) {
        QStringList names;
        for (auto it = film.globalMatch(page); it.hasNext();)
            names << QFileInfo(it.next().captured(1)).fileName();
        return names;
    };
    const QString index = QString::fromUtf8(Read(pages + "/index.html"));
    EXPECT_EQ(films(index), (QStringList{"film-2026-12-09-k1.mp4", "film-2026-12-05-k2.mp4"}));
    const QString site = QString::fromUtf8(Read(pages + "/standort-nord.html"));
    EXPECT_EQ(films(site), (QStringList{"film-2026-12-09-k1.mp4", "film-2026-12-08-k1.mp4",
                                        "film-2026-12-07-k1.mp4", "film-2026-12-06-k1.mp4",
                                        "film-2026-12-05-k1.mp4", "film-2026-12-05-k2.mp4",
                                        "film-2026-12-04-k1.mp4"}));
    // The links lead to the files.
    for (auto it = film.globalMatch(index); it.hasNext();) {
        const QString url = it.next().captured(1);
        EXPECT_TRUE(
            QFileInfo(QUrl::fromLocalFile(pages + "/").resolved(QUrl(url)).toLocalFile()).isFile())
            << url.toStdString();
    }
}

}  // namespace
