// pixlane-cli sites --add and --remove on a book the user wrote by hand: only the site's
// own lines change.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "CliRunner.h"
#include "fleet/SiteBook.h"
#include "support/Watchdog.h"

namespace {

class CliSitesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_sBook = UserSiteBookPath();
        QDir().mkpath(QFileInfo(QString::fromStdString(m_sBook)).absolutePath());
    }
    void TearDown() override { QFile::remove(QString::fromStdString(m_sBook)); }
    void WriteBook(const std::string& text) {
        QFile f(QString::fromStdString(m_sBook));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text.data(), static_cast<qint64>(text.size()));
    }
    std::string m_sBook;
};

TEST_F(CliSitesTest, AddAndRemoveChangeOnlyTheSitesOwnLines) {
    const std::string handWritten =
        "; Standorte, von Hand\n"
        "[nord]\n"
        "number = 0815   \n"
        "channels=1,2\n"
        "; Kabel zum Tor\n"
        "\n"
        "[tor]\n"
        "link=cable\n"
        "com=2\n";
    WriteBook(handWritten);

    CCliResult r =
        RunCliWith({"sites", "--add", "sued", "--number", "0816", "--channels", "3", "--width",
                    "360", "-o", "%Y/k{channel}.bmp", "--description", "Süd, Halle 2"});
    ASSERT_EQ(r.m_nExit, 0) << r.m_sErr;
    const std::string sued =
        "\n[sued]\n"
        "description=\"S\xC3\xBC"
        "d, Halle 2\"\n"
        "number=0816\n"
        "channels=3\n"
        "width=360\n"
        "pattern=%Y/k{channel}.bmp\n";
    EXPECT_EQ(FileBytes(m_sBook), handWritten + sued);

    // Changed in place: the hand-written site's comment and spacing around it stay.
    r = RunCliWith({"sites", "--add", "nord", "--number", "0817", "--local"});
    ASSERT_EQ(r.m_nExit, 0) << r.m_sErr;
    std::string changed = handWritten;
    changed.replace(changed.find("[nord]"),
                    std::string("[nord]\nnumber = 0815   \nchannels=1,2\n").size(),
                    "[nord]\nnumber=0817\nlink=cable\n");
    EXPECT_EQ(FileBytes(m_sBook), changed + sued);

    r = RunCliWith({"sites", "--remove", "sued"});
    ASSERT_EQ(r.m_nExit, 0) << r.m_sErr;
    EXPECT_EQ(FileBytes(m_sBook), changed);
    r = RunCliWith({"sites", "--remove", "tor"});
    ASSERT_EQ(r.m_nExit, 0) << r.m_sErr;
    EXPECT_EQ(FileBytes(m_sBook), changed.substr(0, changed.find("\n[tor]")));

    // A site that is not there, and values the book would not read back, change nothing.
    const std::optional<std::string> before = FileBytes(m_sBook);
    EXPECT_EQ(RunCliWith({"sites", "--remove", "tor"}).m_nExit, 1);
    r = RunCliWith({"sites", "--add", "west", "--modem"});
    EXPECT_EQ(r.m_nExit, 1);
    EXPECT_NE(r.m_sErr.find("link=modem braucht eine Nummer"), std::string::npos) << r.m_sErr;
    EXPECT_EQ(FileBytes(m_sBook), before);

    r = RunCliWith({"sites"});
    EXPECT_EQ(r.m_nExit, 0) << r.m_sErr;
    EXPECT_NE(r.m_sOut.find("nord  Kabel"), std::string::npos) << r.m_sOut;
}

// A number that cannot be dialled as written is refused with the number's own reason,
// before the book (or its lock) is touched.
TEST_F(CliSitesTest, ANumberWithCharactersNoDialTakesIsRefusedBeforeAnythingIsWritten) {
    const struct {
        const char* m_pNumber;
        const char* m_pNamed;
    } numbers[] = {{"12;ATH", ";"},
                   {"0815ath", "h"},
                   {"08\xC3\xA4"
                    "15",
                    "\xC3\xA4"},
                   {"0815$", "$"},
                   {"08\\15", "\\"},
                   {"08%15", "%"},
                   {"08&15", "&"}};
    const QString lock = QString::fromStdString(m_sBook) + QStringLiteral(".lock");
    for (const auto& n : numbers) {
        SCOPED_TRACE(n.m_pNumber);
        const CCliResult r = RunCliWith({"sites", "--add", "nord", "--number", n.m_pNumber});
        EXPECT_EQ(r.m_nExit, 1);
        EXPECT_NE(
            r.m_sErr.find("Standort nord nicht gespeichert: Nummer \"" + std::string(n.m_pNumber) +
                          "\": Zeichen \"" + n.m_pNamed + "\" ist nicht erlaubt."),
            std::string::npos)
            << r.m_sErr;
        EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(m_sBook)));
        EXPECT_FALSE(QFileInfo::exists(lock));
    }
}

// A book that is a FIFO (nobody writing it) is named at once, listed or changed, and
// stays what it is.
TEST_F(CliSitesTest, ABookThatIsAFifoIsNamedAndLeftAlone) {
    ASSERT_EQ(::mkfifo(QFile::encodeName(QString::fromStdString(m_sBook)).constData(), 0600), 0);
    const CWatchdog watchdog("sites mit einer FIFO als Buch", 60);
    CCliResult r = RunCliWith({"sites"});
    EXPECT_EQ(r.m_nExit, 0);
    EXPECT_NE(r.m_sErr.find("Standortbuch " + m_sBook + " ist keine Datei, sondern eine FIFO"),
              std::string::npos)
        << r.m_sErr;
    r = RunCliWith({"sites", "--add", "nord", "--number", "0815"});
    EXPECT_EQ(r.m_nExit, 1);
    EXPECT_NE(r.m_sErr.find("ist keine Datei, sondern eine FIFO; nichts geändert"),
              std::string::npos)
        << r.m_sErr;
    EXPECT_FALSE(QFileInfo(QString::fromStdString(m_sBook)).isFile());
}

TEST_F(CliSitesTest, AReportWithoutJournalsReadsThoseOfTheBooksSites) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string folder = dir.filePath("nord").toStdString();
    WriteBook("[nord]\nnumber=0815\nfolder=" + folder + "\n[sued]\nnumber=0816\n");
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
    QFile journal(QString::fromStdString(folder + "/journal.jsonl"));
    ASSERT_TRUE(journal.open(QIODevice::WriteOnly));
    journal.write(R"({"event":"picture","time":"2026-12-09T18:00:00+00:00","channel":1,)"
                  R"("result":"ok","file":"k1.bmp","site":"nord"})"
                  "\n");
    journal.close();

    // sued has not been captured here: it has no journal and is left out, not a failure.
    const std::string out = dir.filePath("seite").toStdString();
    const CCliResult r = RunCliWith({"report", "--out", out});
    ASSERT_EQ(r.m_nExit, 0) << r.m_sErr;
    const std::optional<std::string> page = FileBytes(out + "/index.html");
    ASSERT_TRUE(page);
    EXPECT_NE(page->find("data-site=\"nord\""), std::string::npos);
    EXPECT_EQ(page->find("data-site=\"sued\""), std::string::npos);
}

}  // namespace

TEST_F(CliSitesTest, AddKeepsTheChecksLimitsAndTheCaptureWindowForItsTarget) {
    CCliResult r = RunCliWith({"sites", "--add", "nacht", "--number", "0815", "--dark-below", "0",
                               "--between", "22:00-06:00"});
    ASSERT_EQ(r.m_nExit, 0) << r.m_sErr;
    EXPECT_EQ(FileBytes(m_sBook), std::string("[nacht]\nnumber=0815\ndark_below=0\n"
                                              "between=22:00-06:00\n"));
    const CSiteBook book = ReadSiteBooks({m_sBook});
    ASSERT_EQ(book.m_sites.size(), 1u);
    const CTarget target = ResolveTarget({}, &book.m_sites[0], {});
    EXPECT_EQ(target.m_limits.m_dDarkMean, 0);
    EXPECT_EQ(CaptureWindowText(target.m_window), "22:00-06:00");
    // Both windows at once are refused before anything is written.
    r = RunCliWith({"sites", "--add", "tag", "--between", "06:00-20:00", "--daylight", "48,11"});
    EXPECT_EQ(r.m_nExit, 2);
    EXPECT_NE(r.m_sErr.find("--between und --daylight schließen einander aus"), std::string::npos);
    EXPECT_EQ(ReadSiteBooks({m_sBook}).m_sites.size(), 1u);
}
