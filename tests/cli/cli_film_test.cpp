// Films through the real ffmpeg: ffprobe counts a frame for every good picture the journal
// names in the span, whatever lies between them; the film appears only when complete.
#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include "CliRunner.h"
#include "capture/ImageFile.h"
#include "capture/Journal.h"
#include "cli/CliMain.h"
#include "fleet/Film.h"
#include "image/Image.h"

namespace {

struct CProbe {
    int m_nFrames = -1;
    int m_nWidth = 0;
    int m_nHeight = 0;
};

CProbe Probe(const std::string& film) {
    QProcess p;
    p.start(QStringLiteral("ffprobe"),
            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-count_frames"),
             QStringLiteral("-select_streams"), QStringLiteral("v:0"),
             QStringLiteral("-show_entries"), QStringLiteral("stream=nb_read_frames,width,height"),
             QStringLiteral("-of"), QStringLiteral("csv=p=0"), QString::fromStdString(film)});
    p.waitForFinished(-1);
    const QList<QByteArray> parts = p.readAllStandardOutput().trimmed().split(',');
    CProbe probe;
    if (parts.size() == 3) {
        probe.m_nWidth = parts[0].toInt();
        probe.m_nHeight = parts[1].toInt();
        probe.m_nFrames = parts[2].toInt();
    }
    return probe;
}

class FilmTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        // Names that a list of files must quote.
        m_folder = m_dir.filePath(QStringLiteral("bilder 'nord' $x\\y"));
        ASSERT_TRUE(QDir().mkpath(m_folder));
        m_sJournal = QDir(m_folder).filePath(QStringLiteral("journal.jsonl")).toStdString();
    }
    // A picture of the size and colour written as capture writes it, with its line.
    void Picture(const QString& name, int width, int height, bool colour, const QDateTime& when,
                 int channel = 1, const char* result = "ok") {
        CImage image;
        ASSERT_TRUE(image.Create(width, height, colour));
        ASSERT_TRUE(image.AllocateBits());
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < (colour ? 3 : 1) * width; ++x)
                image.Row(y)[x] = static_cast<uint8_t>(x + y * 3 + when.time().hour() * 20);
        const std::string path = QDir(m_folder).filePath(name).toStdString();
        std::string error;
        ASSERT_TRUE(WriteImageFile(path, image, &error)) << error;
        Line(path, when, channel, result);
    }
    void Line(const std::string& path, const QDateTime& when, int channel = 1,
              const char* result = "ok") {
        CCaptureEvent e;
        e.m_time = when;
        e.m_sEvent = "picture";
        e.m_iChannel = channel;
        e.m_sResult = result;
        if (std::string(result) == "ok")
            e.m_sFile = path;
        std::string error;
        ASSERT_TRUE(AppendJournal(m_sJournal, e, &error)) << error;
    }
    static QDateTime At(int day, int hour, int minute = 0) {
        return QDateTime(QDate(2026, 12, day), QTime(hour, minute));
    }
    std::string Film(const char* name) const {
        return m_dir.filePath(QString::fromLatin1(name)).toStdString();
    }

    QTemporaryDir m_dir;
    QString m_folder;
    std::string m_sJournal;
};

TEST_F(FilmTest, EveryGoodPictureOfTheSpanIsOneFrame) {
    // The 7th: a gap of hours, a broken picture, a file gone, a file that is no picture,
    // and one picture of another camera. The 8th: both sizes, grey and colour.
    for (int hour : {6, 7, 8, 13, 14})
        Picture(QStringLiteral("a%1.bmp").arg(hour), 180, 144, false, At(7, hour));
    Line("", At(7, 15), 1, "broken");
    Line(QDir(m_folder).filePath(QStringLiteral("weg.bmp")).toStdString(), At(7, 16));
    QFile junk(QDir(m_folder).filePath(QStringLiteral("kein bild.bmp")));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(2000, 'x'));
    junk.close();
    Line(junk.fileName().toStdString(), At(7, 17));
    Picture(QStringLiteral("it's k2.bmp"), 180, 144, false, At(7, 18), 2);
    Picture(QStringLiteral("b1.bmp"), 360, 288, true, At(8, 6));
    Picture(QStringLiteral("b2.bmp"), 180, 144, false, At(8, 7));
    Picture(QStringLiteral("b3.bmp"), 360, 288, false, At(8, 8));
    Picture(QStringLiteral("b4.bmp"), 180, 144, true, At(8, 9));

    const std::string day7 = Film("tag 7.mp4");
    const CCliResult r7 =
        RunCliWith({"timelapse", m_sJournal, "--channel", "1", "--day", "2026-12-07", "-o", day7});
    EXPECT_EQ(r7.m_nExit, 0) << r7.m_sErr;
    EXPECT_EQ(r7.m_sOut, day7 + "\n");
    EXPECT_NE(r7.m_sErr.find("weg.bmp fehlt; übersprungen"), std::string::npos) << r7.m_sErr;
    EXPECT_NE(r7.m_sErr.find("kein bild.bmp ist kein BMP- oder PNG-Bild"), std::string::npos);
    const CProbe p7 = Probe(day7);
    EXPECT_EQ(p7.m_nFrames, 5);
    EXPECT_EQ(p7.m_nWidth, 180);

    const std::string day8 = Film("tag8.mp4");
    const CCliResult r8 =
        RunCliWith({"timelapse", m_sJournal, "--day", "2026-12-08", "--fps", "10", "-o", day8});
    EXPECT_EQ(r8.m_nExit, 0) << r8.m_sErr;
    const CProbe p8 = Probe(day8);
    EXPECT_EQ(p8.m_nFrames, 4);
    EXPECT_EQ(p8.m_nWidth, 360);  // the first picture's size
    EXPECT_EQ(p8.m_nHeight, 288);

    // A span of hours across both days; the 7th has two cameras, so one must be named.
    const CCliResult both = RunCliWith({"timelapse", m_sJournal, "--from", "2026-12-07T14:00",
                                        "--to", "2026-12-08 07:00", "-o", Film("x.mp4")});
    EXPECT_EQ(both.m_nExit, 1);
    EXPECT_NE(both.m_sErr.find("--channel N wählt eine"), std::string::npos) << both.m_sErr;
    const CCliResult span =
        RunCliWith({"timelapse", m_sJournal, "--channel", "1", "--from", "2026-12-07T14:00", "--to",
                    "2026-12-08 07:00", "-o", Film("x.mp4")});
    EXPECT_EQ(span.m_nExit, 0) << span.m_sErr;
    EXPECT_EQ(Probe(Film("x.mp4")).m_nFrames, 2);  // 14:00 and 06:00
}

TEST_F(FilmTest, PngPicturesMakeAFilmAndTheOtherFormatIsNamed) {
    for (int minute = 0; minute < 6; ++minute)
        Picture(QStringLiteral("p%1.png").arg(minute), 256, 192, minute % 2 == 0,
                At(9, 10, minute));
    Picture(QStringLiteral("spät.bmp"), 256, 192, false, At(9, 11));
    const std::string film = Film("png.mp4");
    const CCliResult r = RunCliWith({"timelapse", m_sJournal, "--day", "2026-12-09", "-o", film});
    EXPECT_EQ(r.m_nExit, 0) << r.m_sErr;
    EXPECT_EQ(Probe(film).m_nFrames, 6);
    EXPECT_NE(r.m_sErr.find("ist ein BMP, der Film beginnt mit PNG"), std::string::npos)
        << r.m_sErr;
}

TEST_F(FilmTest, NoGoodPictureNoFfmpegOrAStopLeaveNoFilm) {
    Picture(QStringLiteral("a.bmp"), 180, 144, false, At(7, 6));
    Line("", At(8, 6), 1, "broken");
    const std::string film = Film("leer.mp4");
    const CCliResult none =
        RunCliWith({"timelapse", m_sJournal, "--day", "2026-12-08", "-o", film});
    EXPECT_EQ(none.m_nExit, 1);
    EXPECT_NE(none.m_sErr.find("kein gutes Bild von 08.12.2026 00:00 bis 09.12.2026 00:00; "
                               "kein Film geschrieben"),
              std::string::npos)
        << none.m_sErr;
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(film)));

    // Without ffmpeg on the PATH: said, and the film that was there stays.
    QFile old(QString::fromStdString(film));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("alter Film");
    old.close();
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", m_dir.path().toUtf8());
    const CCliResult missing =
        RunCliWith({"timelapse", m_sJournal, "--day", "2026-12-07", "-o", film});
    qputenv("PATH", path);
    EXPECT_EQ(missing.m_nExit, 1);
    EXPECT_NE(missing.m_sErr.find("Das Programm ffmpeg wurde nicht gefunden (Debian-Paket ffmpeg)"),
              std::string::npos)
        << missing.m_sErr;
    EXPECT_EQ(FileBytes(film), "alter Film");

    // Stopped while ffmpeg works: neither the film nor a temporary stays.
    const CFilmPictures found =
        FilmPictures(m_sJournal, 1, At(7, 0).toSecsSinceEpoch(), At(8, 0).toSecsSinceEpoch());
    ASSERT_EQ(found.m_frames.size(), 1U);
    CFilmRun run;
    run.m_fnStop = [] { return true; };
    std::string error;
    EXPECT_FALSE(MakeFilm(found.m_frames, film, run, error));
    EXPECT_NE(error.find("abgebrochen"), std::string::npos) << error;
    EXPECT_EQ(FileBytes(film), "alter Film");
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("leer.mp4")});
    // And without the stop the old film is replaced by the whole one.
    run.m_fnStop = nullptr;
    EXPECT_TRUE(MakeFilm(found.m_frames, film, run, error)) << error;
    EXPECT_EQ(Probe(film).m_nFrames, 1);
}

TEST(ConcatListTest, NamesAreQuotedAsTheListReadsThem) {
    EXPECT_EQ(ConcatQuoted("/a/it's b.bmp"), "'file:/a/it'\\''s b.bmp'");
    EXPECT_EQ(ConcatQuoted("/a/#x\\y $z.bmp"), "'file:/a/#x\\y $z.bmp'");
    int channel = 0;
    EXPECT_TRUE(IsDayFilmName(DayFilmName("2026-12-09", 3), &channel));
    EXPECT_EQ(channel, 3);
    for (const char* name : {"film-2026-12-09-k9.mp4", "film-2026-12-09-k1.mkv",
                             "film-2026-1x-09-k1.mp4", "film-2026-12-09-k.mp4", "f.mp4"})
        EXPECT_FALSE(IsDayFilmName(name)) << name;
}

}  // namespace

namespace {

// The daily job: yesterday's film of every camera of every site, each in its site's
// folder, and the status page linking it.
TEST(FilmSitesTest, YesterdaysFilmOfEveryCameraLandsInItsSitesFolderAndOnThePage) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString nord = dir.filePath("nord");
    ASSERT_TRUE(QDir().mkpath(nord));
    const CCliResult added = RunCliWith({"sites", "--add", "nord", "--folder", nord.toStdString()});
    ASSERT_EQ(added.m_nExit, 0) << added.m_sErr;
    const QDate yesterday = QDate::currentDate().addDays(-1);
    const std::string journal = QDir(nord).filePath("journal.jsonl").toStdString();
    for (int i = 0; i < 6; ++i) {
        const int channel = i % 2 + 1;
        CImage image;
        ASSERT_TRUE(image.Create(180, 144, false));
        ASSERT_TRUE(image.AllocateBits());
        const std::string file =
            QDir(nord).filePath(QStringLiteral("k%1-%2.bmp").arg(channel).arg(i)).toStdString();
        std::string error;
        ASSERT_TRUE(WriteImageFile(file, image, &error)) << error;
        CCaptureEvent e;
        e.m_time = QDateTime(yesterday, QTime(8 + i, 0));
        e.m_sEvent = "picture";
        e.m_iChannel = channel;
        e.m_sResult = "ok";
        e.m_sFile = file;
        e.m_sSite = "nord";
        ASSERT_TRUE(AppendJournal(journal, e, &error)) << error;
    }
    const CCliResult films = RunCliWith({"timelapse", "--sites", "all", "--day", "yesterday"});
    EXPECT_EQ(films.m_nExit, 0) << films.m_sErr;
    const std::string day = yesterday.toString("yyyy-MM-dd").toStdString();
    const std::string k1 =
        QDir(nord).filePath(QString::fromStdString(DayFilmName(day, 1))).toStdString();
    const std::string k2 =
        QDir(nord).filePath(QString::fromStdString(DayFilmName(day, 2))).toStdString();
    EXPECT_EQ(films.m_sOut, k1 + "\n" + k2 + "\n");
    EXPECT_EQ(Probe(k1).m_nFrames, 3);
    EXPECT_EQ(Probe(k2).m_nFrames, 3);

    const std::string pages = dir.filePath("seite").toStdString();
    const CCliResult report = RunCliWith({"report", "--out", pages});
    EXPECT_EQ(report.m_nExit, 0) << report.m_sErr;
    const std::optional<std::string> index = FileBytes(pages + "/index.html");
    ASSERT_TRUE(index);
    EXPECT_NE(index->find("/nord/" + DayFilmName(day, 1) + "\""), std::string::npos) << *index;
    EXPECT_NE(index->find("/nord/" + DayFilmName(day, 2) + "\""), std::string::npos);
}

}  // namespace
