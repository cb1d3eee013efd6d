// Retention removes a file only when everything says it is a picture of its own, on a real
// folder: every file a crafted journal may name besides stays; under a free-space limit
// the oldest go first.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <ctime>
#include <random>
#include <unordered_map>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "capture/HashStates.h"
#include "capture/NamePattern.h"
#include "capture/Retention.h"
#include "capture/TargetFile.h"

namespace {

const QDateTime kNow = QDateTime::fromString("2026-12-09T12:00:00+01:00", Qt::ISODate);
constexpr int64_t kDay = 24 * 3600;

class RetentionTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    std::string Path(const QString& name) const { return m_dir.filePath(name).toStdString(); }
    // A file written at that time (seconds before kNow).
    void Put(const QString& name, const QByteArray& bytes, int64_t age) {
        QDir().mkpath(QFileInfo(m_dir.filePath(name)).path());
        QFile f(m_dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        Age(name, age);
    }
    void Age(const QString& name, int64_t age) {
        const timespec t{static_cast<time_t>(kNow.toSecsSinceEpoch() - age), 0};
        const timespec times[2] = {t, t};
        ASSERT_EQ(::utimensat(AT_FDCWD, Path(name).c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
    }
    // A saved picture's journal line, so many seconds ago, naming the path as it stands.
    static QByteArray Line(const std::string& file, int64_t age) {
        return "{\"time\":\"" + kNow.addSecs(-age).toString(Qt::ISODate).toUtf8() +
               "\",\"event\":\"picture\",\"channel\":1,\"seconds\":42.5,\"result\":\"ok\","
               "\"file\":\"" +
               QByteArray::fromStdString(file) + "\"}\n";
    }
    bool Exists(const QString& name) const {
        struct stat st {};
        return ::lstat(Path(name).c_str(), &st) == 0;
    }

    QTemporaryDir m_dir;
};

TEST_F(RetentionTest, OnlyTheOwnPicturesGoWhateverTheJournalNames) {
    const int64_t old = 40 * kDay;
    const QByteArray bmp = "BM\x36\0\0\0";
    struct CCase {
        const char* m_pWhat;
        QString m_sName;  // what the journal names
        bool m_bRemoved;
    };
    const std::vector<CCase> cases = {
        {"an own picture", "bilder/2026/k1.bmp", true},
        {"an own picture with the number of a taken name", "bilder/2026/k1-1.bmp", true},
        {"a notes file", "bilder/2026/notizen.txt", false},
        {"a name without the pattern's fixed parts", "bilder/2026/x1.bmp", false},
        {"a name without the pattern's folders", "bilder/k1.bmp", false},
        {"a file named like a picture that is none", "bilder/2026/k2.bmp", false},
        {"a FIFO named like a picture", "bilder/2026/k3.bmp", false},
        {"a link named like a picture", "bilder/2026/k4.bmp", false},
        {"the journal itself", "bilder/2026/k5.bmp", false},
        {"a rotated copy of the journal under a picture's name", "bilder/2026/k6.bmp", false},
        {"the latest copy", "bilder/2026/k7.bmp", false},
        {"a file below the status page's folder", "bilder/2025/k1.bmp", false},
        {"a file below a folder swapped for a link", "bilder/2024/k1.bmp", false},
        {"a file outside the folder", "anderswo/2026/k1.bmp", false},
        {"a way out with \"..\"", "bilder/2026/../../anderswo/2026/k2.bmp", false},
        {"a picture written after its only line (the name used again)", "bilder/2026/k8.bmp",
         false},
        {"a picture saved again under an old name", "bilder/2026/k9.bmp", false},
    };
    Put("bilder/2026/k1.bmp", bmp, old);
    Put("bilder/2026/k1-1.bmp", bmp, old);
    Put("bilder/2026/notizen.txt", "BM notes", old);
    Put("bilder/2026/x1.bmp", bmp, old);
    Put("bilder/k1.bmp", bmp, old);
    Put("bilder/2026/k2.bmp", "meine Notizen", old);
    ASSERT_EQ(::mkfifo(Path("bilder/2026/k3.bmp").c_str(), 0600), 0);
    Put("anderswo/2026/k1.bmp", bmp, old);
    Put("anderswo/2026/k2.bmp", bmp, old);
    ASSERT_EQ(::symlink(Path("anderswo/2026/k1.bmp").c_str(), Path("bilder/2026/k4.bmp").c_str()),
              0);
    Put("bilder/2026/k7.bmp", bmp, old);
    Put("bilder/2025/k1.bmp", bmp, old);
    ASSERT_EQ(::symlink(Path("anderswo/2026").c_str(), Path("bilder/2024").c_str()), 0);
    Put("bilder/2026/k8.bmp", bmp, 2 * kDay);
    Put("bilder/2026/k9.bmp", bmp, old);
    // The rotated copy under a picture's name: a hard link, its first line no line.
    Put("bilder/2026/k5.bmp.1", "BM\n" + Line(Path("bilder/2026/k1-1.bmp"), old), old);
    ASSERT_EQ(::link(Path("bilder/2026/k5.bmp.1").c_str(), Path("bilder/2026/k6.bmp").c_str()), 0);

    QByteArray journal = "BM\n";
    for (const CCase& c : cases)
        journal += Line(Path(c.m_sName), old);
    journal += Line(Path("bilder/2026/k9.bmp"), 2 * kDay);
    // The journal is named like a picture of its pattern too.
    Put("bilder/2026/k5.bmp", journal, old);

    CRetention r;
    r.m_nKeepSeconds = 30 * kDay;
    r.m_sLatest = Path("bilder/2026/k7.bmp");
    r.m_sReport = Path("bilder/2025");
    ASSERT_EQ(r.Place(Path("bilder"), "%Y/k{channel}.bmp"), "");
    r.Load(Path("bilder/2026/k5.bmp"));
    const std::vector<CCaptureEvent> events = r.Prune(kNow);
    for (const CCase& c : cases)
        EXPECT_EQ(Exists(c.m_sName), !c.m_bRemoved) << c.m_pWhat;
    EXPECT_TRUE(Exists("anderswo/2026/k1.bmp"));
    ASSERT_EQ(events.size(), 2u);
    for (const CCaptureEvent& e : events) {
        EXPECT_EQ(e.m_sEvent, "removed");
        EXPECT_EQ(e.m_sResult, "ok");
        EXPECT_EQ(e.m_sMessage, "Bild gelöscht: älter als --keep");
    }
}

TEST_F(RetentionTest, APatternThatCouldReachAnyFolderIsRefused) {
    const QString working = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(m_dir.path()));
    const struct {
        const char* m_pFolder;
        const char* m_pPattern;
        const char* m_pProblem;  // a part of the text; empty: none
    } cases[] = {
        {"", "%Y/k{channel}.bmp", "beginnt mit einem Feld und nennt keinen Ordner"},
        {"", "./{channel}/k.bmp", "beginnt mit einem Feld und nennt keinen Ordner"},
        {"/srv", "%Y/k{channel}.bmp", ""},
        {"", "bilder/%Y/k{channel}.bmp", ""},
        {"", "pixlane-%Y%m%d-k{channel}.png", ""},
        {"", "/%Y/k{channel}.bmp", "beginnt im Wurzelordner /"},
        {"/srv", "k{channel}.jpg", "gibt keine Namen auf .bmp oder .png"},
        {"/srv", "%Y/../k{channel}.bmp", "enthält nach seinem ersten Feld \"..\""},
        {"/srv/web", "bilder/%Y/k{channel}.bmp", "liegen im Ordner der Statusseite (/srv/web)"},
    };
    for (const auto& c : cases) {
        CRetention r;
        r.m_sReport = "/srv/web";
        const std::string problem = r.Place(c.m_pFolder, c.m_pPattern);
        if (*c.m_pProblem == '\0')
            EXPECT_EQ(problem, "") << c.m_pPattern;
        else
            EXPECT_NE(problem.find(c.m_pProblem), std::string::npos) << problem;
    }
    CRetention r;
    ASSERT_EQ(r.Place("", "bilder/%Y/k{channel}.bmp"), "");
    EXPECT_EQ(r.Folder(), Path("bilder"));
    QDir::setCurrent(working);
}

TEST(NamePatternRegexTest, EveryNameAPatternGivesIsOneOfItsNames) {
    // A day of one digit, for %e.
    const std::time_t t = kNow.addDays(-4).toSecsSinceEpoch();
    std::tm when{};
    ::localtime_r(&t, &when);
    const CNameFields fields{3, 720, 576, 12};
    for (const char* pattern :
         {kDefaultNamePattern, "%Y/%m/%d/k{channel}-%H%M%S.png", "%F_%T-{seq}.bmp",
          "%e.%b.%p/{width}x{height}%%.bmp", "%D/%x/%c/k.bmp", "%Ey%OH-%a%A%Z%z.bmp", ".%j.bmp"}) {
        const QRegularExpression names(
            QRegularExpression::anchoredPattern(QString::fromStdString(NamePatternRegex(pattern))));
        const std::string name = ExpandNamePattern(pattern, when, fields);
        EXPECT_TRUE(names.match(QString::fromStdString(name)).hasMatch()) << pattern << " " << name;
        EXPECT_TRUE(names.match(QString::fromStdString(NumberedName(name, 12))).hasMatch())
            << pattern;
        EXPECT_FALSE(names.match(QString::fromStdString(name + "x")).hasMatch()) << pattern;
    }
}

TEST_F(RetentionTest, MinFreeRemovesTheOldestFirstUntilEnoughIsFree) {
    // Written newest first: the order of the lines does not decide, their time does.
    QByteArray journal;
    for (const auto& [name, days] :
         {std::pair{"bilder/k3.bmp", 1}, {"bilder/k1.bmp", 3}, {"bilder/k2.bmp", 2}}) {
        Put(name, "BM", days * kDay);
        journal += Line(Path(name), days * kDay);
    }
    Put("journal.jsonl", journal, 0);
    CRetention r;
    ASSERT_EQ(r.Place(Path("bilder"), "k{channel}.bmp"), "");
    r.Load(Path("journal.jsonl"));
    r.m_nMinFreeBytes = 500;
    r.m_fnFreeBytes = [this](const std::string&) {
        uint64_t free = 1200;
        for (const char* name : {"bilder/k1.bmp", "bilder/k2.bmp", "bilder/k3.bmp"})
            free -= Exists(name) ? 400 : 0;
        return free;
    };
    const std::vector<CCaptureEvent> removed = r.Prune(kNow);
    ASSERT_EQ(removed.size(), 2u);
    EXPECT_FALSE(Exists("bilder/k1.bmp"));
    EXPECT_FALSE(Exists("bilder/k2.bmp"));
    EXPECT_TRUE(Exists("bilder/k3.bmp"));
    // A picture saved since is removed as one of its own when its turn comes.
    r.m_fnFreeBytes = [](const std::string&) { return uint64_t{0}; };
    Put("bilder/k4.bmp", "BM", 0);
    r.Saved(Path("bilder/k4.bmp"), kNow);
    ASSERT_EQ(r.Prune(kNow).size(), 2u);
    EXPECT_FALSE(Exists("bilder/k3.bmp"));
    EXPECT_FALSE(Exists("bilder/k4.bmp"));
}

// The names retention has read are held by their hashes in a flat table; one made
// unreachable by a removal before it would make a removed picture count as saved, or a
// saved one be read twice.
TEST(HashStatesTest, EveryHashKeepsItsStateThroughManySetsAndRemovals) {
    CHashStates states;
    std::unordered_map<uint64_t, uint8_t> expected;
    std::mt19937_64 random(31);
    // Few enough keys that runs of neighbours form and are broken up again, some of them
    // alike in all but their high bits.
    std::vector<uint64_t> keys;
    for (uint64_t k = 0; k < 3000; ++k)
        keys.push_back(k % 3 == 0 ? k << 40 : random());
    for (int step = 0; step < 200000; ++step) {
        const uint64_t key = keys[random() % keys.size()];
        const auto state = static_cast<uint8_t>(random() % 3);  // a third are removals
        states.Set(key, state);
        if (state == 0)
            expected.erase(key);
        else
            expected[key] = state;
        if (step % 20000 == 0 || step == 199999) {
            for (const uint64_t k : keys) {
                const auto found = expected.find(k);
                ASSERT_EQ(states.Get(k), found == expected.end() ? 0 : found->second)
                    << "step " << step;
            }
            ASSERT_EQ(states.Size(), expected.size());
        }
    }
    // Emptied, it holds nothing.
    for (const uint64_t k : keys)
        states.Set(k, 0);
    EXPECT_EQ(states.Size(), 0u);
    EXPECT_EQ(states.Get(keys.front()), 0);
}

}  // namespace
