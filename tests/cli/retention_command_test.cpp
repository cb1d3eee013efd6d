// pixlane-cli retention on a real folder and journal: --dry-run shows exactly what the keep
// rules decide and removes nothing; the run removes exactly that, says each rule in the
// journal, and a second run finds nothing more.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <ctime>
#include <set>

#include <fcntl.h>
#include <sys/stat.h>

#include "CliRunner.h"
#include "capture/Journal.h"
#include "capture/KeepTiers.h"

namespace {

constexpr int64_t kHour = 3600;

std::set<std::string> Lines(const std::string& text) {
    std::set<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.insert(text.substr(start, end - start));
    return lines;
}

TEST(RetentionCommandTest, RemovesExactlyWhatTheTiersSay) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QDir root(dir.path());
    const std::string journal = root.filePath(QStringLiteral("journal.jsonl")).toStdString();
    const int64_t now = QDateTime::currentSecsSinceEpoch();
    // Two cameras, a picture every six hours for 120 days, none near a tier's edge.
    std::vector<CAgedPicture> pictures;
    std::vector<std::string> files;
    for (int64_t k = 480; k >= 0; --k) {
        for (uint32_t channel : {1U, 2U}) {
            const int64_t time = now - k * 6 * kHour - 17 * 60;
            const QDateTime when = QDateTime::fromSecsSinceEpoch(time);
            const QString name = QStringLiteral("bilder/k%1-%2.bmp")
                                     .arg(channel)
                                     .arg(when.toString(QStringLiteral("yyyyMMdd-HHmm")));
            ASSERT_TRUE(root.mkpath(QStringLiteral("bilder")));
            QFile f(root.filePath(name));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write("BM\x36\0\0\0", 6);
            f.close();
            const timespec t{static_cast<time_t>(time), 0};
            const timespec times[2] = {t, t};
            ASSERT_EQ(::utimensat(AT_FDCWD, f.fileName().toLocal8Bit().constData(), times, 0), 0);
            CCaptureEvent e;
            e.m_time = when;
            e.m_sEvent = "picture";
            e.m_iChannel = static_cast<int>(channel);
            e.m_sResult = "ok";
            e.m_sFile = f.fileName().toStdString();
            std::string error;
            ASSERT_TRUE(AppendJournal(journal, e, &error)) << error;
            pictures.push_back({time, channel});
            files.push_back(e.m_sFile);
        }
    }
    CKeepRules rules;
    ASSERT_EQ(ParseKeepRules("7d:all,30d:1h,90d:1d", rules), "");
    const std::vector<CKeepVerdict> verdicts = DecideKeep(pictures, rules, now);
    std::set<std::string> expected;
    for (size_t i = 0; i < files.size(); ++i)
        if (!verdicts[i].m_bKeep)
            expected.insert(files[i] + '\t' +
                            "Bild würde gelöscht: " + KeepReasonText(rules, verdicts[i], ""));
    ASSERT_GT(expected.size(), 500U);

    const std::vector<std::string> args = {"retention", journal,
                                           "--keep",    "7d:all,30d:1h,90d:1d",
                                           "-o",        "bilder/k{channel}-%Y%m%d-%H%M.bmp"};
    std::vector<std::string> dry = args;
    dry.push_back("--dry-run");
    // Without the capture's pattern no name is the program's: nothing goes, and it is said why.
    const CCliResult otherPattern =
        RunCliWith({"retention", journal, "--keep", "7d:all,30d:1h,90d:1d", "--dry-run"});
    EXPECT_EQ(otherPattern.m_nExit, 0) << otherPattern.m_sErr;
    EXPECT_EQ(otherPattern.m_sOut, "");
    EXPECT_NE(otherPattern.m_sErr.find(std::to_string(expected.size()) +
                                       " Bilder passen nicht zum Namensmuster"),
              std::string::npos)
        << otherPattern.m_sErr;
    const CCliResult shown = RunCliWith(dry);
    EXPECT_EQ(shown.m_nExit, 0) << shown.m_sErr;
    EXPECT_EQ(Lines(shown.m_sOut), expected);
    for (const std::string& file : files)
        EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(file))) << file;

    const CCliResult removed = RunCliWith(args);
    EXPECT_EQ(removed.m_nExit, 0) << removed.m_sErr;
    EXPECT_EQ(Lines(removed.m_sOut).size(), expected.size());
    size_t gone = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        const bool exists = QFileInfo::exists(QString::fromStdString(files[i]));
        EXPECT_EQ(exists, verdicts[i].m_bKeep) << files[i];
        gone += !exists;
    }
    EXPECT_EQ(gone, expected.size());
    // Each removal's journal line names its rule.
    size_t lines = 0;
    std::string error;
    ReadJournal(
        journal,
        [&](const CJournalEntry* entry) {
            if (entry != nullptr && entry->m_event == "removed") {
                ++lines;
                EXPECT_EQ(entry->m_result, "ok");
                EXPECT_EQ(entry->m_message.substr(0, 22), "Bild gelöscht: Regel ");
            }
            return true;
        },
        &error);
    EXPECT_EQ(lines, expected.size());

    const CCliResult again = RunCliWith(args);
    EXPECT_EQ(again.m_nExit, 0) << again.m_sErr;
    EXPECT_EQ(again.m_sOut, "");
}

TEST(RetentionCommandTest, WhatItNeedsIsSaid) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string journal = dir.filePath(QStringLiteral("j.jsonl")).toStdString();
    const CCliResult noRules = RunCliWith({"retention", journal});
    EXPECT_EQ(noRules.m_nExit, 2);
    EXPECT_NE(noRules.m_sErr.find("retention braucht --keep RULES oder --min-free SIZE"),
              std::string::npos);
    const CCliResult badTier = RunCliWith({"retention", journal, "--keep", "7d:all,90d:7h,2y:1d"});
    EXPECT_EQ(badTier.m_nExit, 2);
    EXPECT_NE(badTier.m_sErr.find("ungültiger Wert für --keep"), std::string::npos);
    const CCliResult noJournal = RunCliWith({"retention", journal, "--keep", "30d"});
    EXPECT_EQ(noJournal.m_nExit, 1);
    EXPECT_NE(noJournal.m_sErr.find("nicht gefunden"), std::string::npos) << noJournal.m_sErr;
}

}  // namespace
