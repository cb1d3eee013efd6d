// The site book read from two real files: the user's entry over the system's, and bad
// entries named with their file and line and skipped while the others work.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "app/PixlaneApp.h"
#include "app/SiteBook.h"

namespace {

std::string Write(const QTemporaryDir& dir, const char* name, const QByteArray& text) {
    const QString path = dir.filePath(QLatin1String(name));
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
    return path.toStdString();
}

TEST(SiteBookTest, TheUsersEntryWinsAndBadEntriesAreNamedAndSkipped) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string user = Write(dir, "user.ini",
                                   "; Stationen des Nutzers\r\n"
                                   "[nord]\r\n"
                                   "number = 0815\r\n"
                                   "channels=1,3\r\n"
                                   "\r\n"
                                   "[kaputt]\r\n"
                                   "number=\"0815;ATH\"\r\n"
                                   "[nord]\r\n"
                                   "number=0816\r\n"
                                   "[weit]\r\n"
                                   "channels=2,9\r\n"
                                   "[farbe]\r\n"
                                   "farbe=rot\r\n");
    const std::string system = Write(dir, "system.ini",
                                     "[nord]\n"
                                     "number=0999\n"
                                     "[sued]\n"
                                     "device=/dev/ttyUSB1\n"
                                     "baud=9600\n"
                                     "link=cable\n"
                                     "width=360\n"
                                     "mode=4\n"
                                     "pattern=\"%Y/k{channel}.bmp\"\n");
    const CSiteBook book = ReadSiteBooks({user, system, dir.filePath("fehlt.ini").toStdString()});

    ASSERT_EQ(book.m_sites.size(), 2u);
    const CSite* nord = book.Find("nord");
    ASSERT_NE(nord, nullptr);
    EXPECT_EQ(nord->m_sNumber, "0815");
    EXPECT_EQ(nord->m_channels, (std::vector<int>{1, 3}));
    EXPECT_EQ(nord->m_sFile, user);
    EXPECT_EQ(nord->m_nLine, 2);
    const CSite* sued = book.Find("sued");
    ASSERT_NE(sued, nullptr);
    EXPECT_EQ(sued->m_sPattern, "%Y/k{channel}.bmp");
    EXPECT_EQ(sued->m_eLink, ESiteLink::kCable);
    EXPECT_EQ(sued->CaptureJournal(), "sued/journal.jsonl");

    EXPECT_THAT(book.m_problems,
                testing::ElementsAre(testing::StartsWith(user + ":7: Standort kaputt: Nummer"),
                                     user + ":8: Standort nord: steht schon in Zeile 2; "
                                            "übersprungen",
                                     testing::StartsWith(user + ":11: Standort weit:"),
                                     user + ":13: Standort farbe: unbekannter Schlüssel "
                                            "\"farbe\"; übersprungen"));

    // Taken over, the site's values stand where the settings dialog would put them.
    CPixlaneApp app;
    ApplySite(*sued, app);
    EXPECT_EQ(app.LineAddress().DeviceName(), "/dev/ttyUSB1");
    EXPECT_EQ(app.m_iBaudrate, 9600);
    EXPECT_EQ(app.m_iLokal, 1);
    EXPECT_EQ(app.StoredRequest().m_nWidth, 360);
    EXPECT_EQ(app.StoredRequest().m_nHeight, 288);
    EXPECT_TRUE(app.StoredRequest().m_bColour);
}

}  // namespace
