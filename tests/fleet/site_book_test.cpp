// The site book read from two real files: the user's entry over the system's, and bad
// entries named with their file and line and skipped while the others work.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

#include "fleet/IniText.h"
#include "fleet/SiteBook.h"
#include "fleet/Target.h"

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

    // Made a target, the site's values stand over the stored settings.
    CStoredSettings stored;
    stored.m_iLokal = 0;
    const CTarget target = ResolveTarget(stored, sued, {});
    EXPECT_EQ(target.m_line.m_address.DeviceName(), "/dev/ttyUSB1");
    EXPECT_EQ(target.m_line.m_iBaudrate, 9600);
    EXPECT_FALSE(target.m_line.m_bModem);
    EXPECT_EQ(target.m_request.m_nWidth, 360);
    EXPECT_EQ(target.m_request.m_nHeight, 288);
    EXPECT_TRUE(target.m_request.m_bColour);
}

// A site whose line is a device server's port; one whose address is none is named and
// skipped, with the reason.
TEST(SiteBookTest, ASitesLineMayBeADeviceServersPort) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string user = Write(dir, "user.ini",
                                   "[werk]\n"
                                   "device=rfc2217://10.1.2.3:4001\n"
                                   "[halle]\n"
                                   "device=tcp://halle.example\n");
    const CSiteBook book = ReadSiteBooks({user});
    ASSERT_EQ(book.m_sites.size(), 1u);
    EXPECT_THAT(book.m_problems,
                testing::ElementsAre(user + ":4: Standort halle: Netzadresse tcp://halle.example: "
                                            "Port fehlt (tcp://RECHNER:PORT); übersprungen"));
    EXPECT_EQ(ResolveTarget({}, &book.m_sites[0], {}).m_line.m_address.DeviceName(),
              "rfc2217://10.1.2.3:4001");
}

// Books that trip a scanner: each bad entry is named and skipped alone, and every other
// site keeps its own number.
TEST(SiteBookTest, ABadEntryTakesNothingFromAnyOtherSite) {
    struct CBook {
        const char* m_pName;
        QByteArray m_user;
        QByteArray m_system;
        std::vector<std::pair<const char*, const char*>> m_numbers;  // site, number
        std::vector<const char*> m_problems;                         // what they say, in order
    };
    const CBook books[] = {
        {"Anführungszeichen offen",
         "[halle]\ndescription=\"Halle 2, Tor\n[nord]\nnumber=0815\n[sued]\nnumber=0816\n",
         "",
         {{"nord", "0815"}, {"sued", "0816"}},
         {"user.ini:2: Standort halle: Anführungszeichen nicht geschlossen; übersprungen"}},
        {"Abschnittsanfang im übersprungenen Eintrag",
         "[nord]\nnumber=0815\n[kaputt]\n[e0\nnumber=0900666\n[west]\nnumber=0817\n"
         "[noch]\n[l1\nnumber=0900667\n",
         "",
         {{"nord", "0815"}, {"west", "0817"}},
         {"user.ini:4: Standort kaputt: Zeile ohne \"=\"; übersprungen",
          "user.ini:9: Standort noch: Zeile ohne \"=\"; übersprungen"}},
        {"nur CR als Zeilenende",
         "[nord]\rnumber=0815\r\r[sued]\rnumber=0816\rchannels=2\r",
         "",
         {{"nord", "0815"}, {"sued", "0816"}},
         {}},
        {"Semikolon außerhalb von Anführungszeichen",
         "[nord]\nnumber=12;ATH\n[sued]\nchannels=1;3\n[west]\nnumber=\"0817\" ; Pforte\n"
         "[ost]\nnumber=0818\ndescription=\"Tor; Ost\"\n",
         "",
         {{"ost", "0818"}},
         {"user.ini:2: Standort nord: Nummer \"12;ATH\": Zeichen \";\" ist nicht erlaubt.; "
          "übersprungen",
          "user.ini:4: Standort sued: \"1;3\": der Rest nach \";\" wäre ein Kommentar",
          "user.ini:6: Standort west: Nummer"}},
        {"Rückstrich am Ende",
         "[nord]\nnumber=0815\n[sued]\nnumber=0816\\",
         "",
         {{"nord", "0815"}},
         {"user.ini:4: Standort sued: die Zeile endet mit \"\\\"; übersprungen"}},
        {"Zeile über 64 KiB",
         "[nord]\ndescription=" + QByteArray(70000, 'x') +
             "\nnumber=0900666\n[sued]\nnumber=0816\n",
         "",
         {{"sued", "0816"}},
         {"user.ini:2: Standort nord: Zeile länger als 64 KiB; übersprungen"}},
        {"kaputter Eintrag des Nutzers, den das System auch hat",
         "[nord]\nnumber=0815\nchannels=9\n",
         "; für alle\n[nord]\nnumber=0999\n",
         {{"nord", "0999"}},
         {"user.ini:3: Standort nord: \"9\" sind keine Kanäle"}},
    };
    for (const CBook& b : books) {
        SCOPED_TRACE(b.m_pName);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const std::string user = Write(dir, "user.ini", b.m_user);
        const std::string system = Write(dir, "system.ini", b.m_system);
        const CSiteBook book = ReadSiteBooks({user, system});
        std::vector<std::pair<std::string, std::string>> numbers;
        for (const CSite& site : book.m_sites)
            numbers.emplace_back(site.m_sName, site.m_sNumber);
        EXPECT_EQ(numbers, (std::vector<std::pair<std::string, std::string>>(b.m_numbers.begin(),
                                                                             b.m_numbers.end())));
        ASSERT_EQ(book.m_problems.size(), b.m_problems.size())
            << testing::PrintToString(book.m_problems);
        for (size_t i = 0; i < b.m_problems.size(); ++i)
            EXPECT_THAT(book.m_problems[i],
                        testing::StartsWith(dir.path().toStdString() + "/" + b.m_problems[i]));
    }
}

TEST(SiteBookTest, TheSystemsEntryIsNamedWhereABrokenUserEntryIsSkipped) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string user = Write(dir, "user.ini", "[nord]\nnumber=08;15\n");
    const std::string system = Write(dir, "system.ini", "\n[nord]\nnumber=0999\n");
    EXPECT_THAT(ReadSiteBooks({user, system}).m_problems,
                testing::ElementsAre(testing::EndsWith(
                    "; übersprungen; stattdessen gilt der Eintrag in " + system + ":2")));
}

// The books are found without the settings store (which would open them), where the
// store puts its INI files of that name.
TEST(SiteBookTest, TheBooksAreWhereTheSettingsStoreKeepsThem) {
    const auto store = [](QSettings::Scope scope) {
        return QSettings(QSettings::IniFormat, scope, kSettingsOrganisation,
                         QStringLiteral("pixlane-sites"))
            .fileName()
            .toStdString();
    };
    EXPECT_EQ(UserSiteBookPath(), store(QSettings::UserScope));
    EXPECT_EQ(SystemSiteBookPath(), store(QSettings::SystemScope));
}

// Every folder of XDG_CONFIG_DIRS has a book, read in the folders' order.
TEST(SiteBookTest, EveryConfigFolderHasABook) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const char* const books[] = {"[nord]\nnumber=01\n", "[nord]\nnumber=02\n[sued]\nnumber=03\n",
                                 "[west]\nnumber=04\n"};
    QStringList folders;
    for (int i = 0; i < 3; ++i) {
        folders << dir.filePath(QStringLiteral("xdg%1").arg(i));
        ASSERT_TRUE(QDir().mkpath(folders.back() + QStringLiteral("/Kelvorn")));
        Write(dir, ("xdg" + std::to_string(i) + "/Kelvorn/pixlane-sites.ini").c_str(), books[i]);
    }
    const QByteArray saved = qgetenv("XDG_CONFIG_DIRS");
    qputenv("XDG_CONFIG_DIRS", folders.join(u':').toLocal8Bit());
    const CSiteBook book = ReadSiteBook();
    qputenv("XDG_CONFIG_DIRS", saved);
    std::vector<std::string> read;  // name=number@folder
    for (const CSite& site : book.m_sites) {
        QDir folder = QFileInfo(QString::fromStdString(site.m_sFile)).dir();
        folder.cdUp();
        read.push_back(site.m_sName + "=" + site.m_sNumber + "@" +
                       std::to_string(folders.indexOf(folder.path())));
    }
    EXPECT_EQ(read, (std::vector<std::string>{"nord=01@0", "sued=03@1", "west=04@2"}));
}

}  // namespace

// The check's limits and the capture window: read, resolved under the options, written
// back as they were read; a bad value skips the site.
TEST(SiteBookTest, CheckLimitsAndCaptureWindowsAreKeysOfASite) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string user = Write(dir, "user.ini",
                                   "[nord]\n"
                                   "dark_below=10\nfrozen_after=0\nbetween=22:00-06:00\n"
                                   "[sued]\n"
                                   "uniform_below=20\ndaylight=-33.9,18.42\n"
                                   "[beide]\n"
                                   "between=06:00-20:00\ndaylight=48,11\n"
                                   "[zuviel]\n"
                                   "frozen_after=101\n"
                                   "[leer]\n"
                                   "between=06:00-06:00\n");
    const CSiteBook book = ReadSiteBooks({user});
    ASSERT_EQ(book.m_sites.size(), 2u);
    EXPECT_THAT(
        book.m_problems,
        testing::ElementsAre(
            user + ":10: Standort beide: between und daylight schließen einander aus; übersprungen",
            user + ":12: Standort zuviel: \"101\" ist keine Zahl von 0 bis 100; übersprungen",
            user + ":14: Standort leer: \"06:00-06:00\" ist ein Zeitfenster, das beginnt, wo es "
                   "endet; übersprungen"));
    const CSite& nord = *book.Find("nord");
    CTargetOptions options;
    CTarget t = ResolveTarget({}, &nord, options);
    EXPECT_EQ(t.m_limits.m_dDarkMean, 10);
    EXPECT_EQ(t.m_limits.m_dUniformSpread, CPictureLimits::kUniformSpread);
    EXPECT_EQ(t.m_limits.m_nFrozenCount, 0);
    EXPECT_EQ(CaptureWindowText(t.m_window), "22:00-06:00");
    // Each option over the site's value of its own.
    options.m_check.m_nFrozenAfter = 4;
    CCaptureWindow day;
    std::string error;
    ASSERT_TRUE(ParseDaylight("48.1,11.6", day, error));
    options.m_check.m_window = day;
    t = ResolveTarget({}, &nord, options);
    EXPECT_EQ(t.m_limits.m_dDarkMean, 10);
    EXPECT_EQ(t.m_limits.m_nFrozenCount, 4);
    EXPECT_EQ(CaptureWindowText(t.m_window), "48.1,11.6");
    EXPECT_TRUE(ResolveTarget({}, nullptr, {}).m_window.Always());

    // Written and read back the same.
    for (const CSite* site : {&nord, book.Find("sued")}) {
        QByteArray text;
        std::string why;
        ASSERT_TRUE(SiteBookWith("", *site, text, why)) << why;
        const CSiteBook back = ParseSiteBook(text, "back.ini");
        ASSERT_EQ(back.m_sites.size(), 1u) << text.toStdString();
        EXPECT_TRUE(back.m_sites[0].SameValues(*site)) << text.toStdString();
    }
    QByteArray text;
    std::string why;
    ASSERT_TRUE(SiteBookWith("", *book.Find("sued"), text, why));
    EXPECT_NE(text.indexOf("daylight=\"-33.9,18.42\"\n"), -1) << text.toStdString();
}
