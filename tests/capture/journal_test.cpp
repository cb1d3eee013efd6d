// The journal as its writer writes and its readers read it: every field a reader takes comes
// back as written, whether the line is scanned (plain texts) or parsed whole (texts with
// escapes); and the reader hands a line being written as no entry.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <string>
#include <vector>

#include "capture/Journal.h"

namespace {

const QDateTime kAt(QDate(2026, 12, 9), QTime(10, 15, 2), Qt::OffsetFromUTC, 3600);

TEST(JournalRoundTrip, WhatIsWrittenIsReadBackWithPlainAndEscapedTexts) {
    // Plain texts take the scanner's way, a quote, a backslash or a control character the
    // parser's: both must give the fields as written.
    for (const std::string& text :
         {std::string("/bilder/k1-101502.bmp"), std::string("/bilder/\"a\\b\"\tü.bmp")}) {
        CCaptureEvent picture;
        picture.m_time = kAt;
        picture.m_sEvent = "picture";
        picture.m_iChannel = 3;
        picture.m_nBytes = 26366;
        picture.m_dSeconds = 2.368;
        picture.m_sResult = "latest_failed";
        picture.m_sFile = text;
        picture.m_sMessage = "Fehler beim Speichern ! " + text;
        picture.m_sSite = "nord";
        CJournalEntry e;
        const QByteArray line = JournalLine(picture);
        ASSERT_TRUE(line.endsWith('\n'));
        // The entry's texts point into the line: it must outlive them.
        const QByteArray body = line.chopped(1);
        ASSERT_TRUE(ParseJournalLine(body, e)) << line.toStdString();
        EXPECT_EQ(e.m_event, "picture");
        EXPECT_EQ(e.m_result, "latest_failed");
        EXPECT_EQ(e.m_file, text);
        EXPECT_EQ(e.m_message, picture.m_sMessage);
        EXPECT_EQ(e.m_site, "nord");
        EXPECT_EQ(e.m_iChannel, 3);
        EXPECT_EQ(e.m_dBytes, 26366);
        EXPECT_EQ(e.m_dSeconds, 2.368);
        EXPECT_EQ(e.m_dRate, 11134);
        EXPECT_EQ(e.Time(), kAt);
        qint64 epoch = 0;
        ASSERT_TRUE(e.Epoch(epoch));
        EXPECT_EQ(epoch, kAt.toSecsSinceEpoch());

        CRoundEvent round;
        round.m_time = kAt;
        round.m_sDevice = text;
        round.m_sSite = "nord";
        round.m_dOffHookSeconds = 6.69;
        round.m_sResult = "partial";
        const QByteArray roundLine = JournalLine(round);
        CJournalEntry r;
        ASSERT_TRUE(ParseJournalLine(roundLine, r)) << roundLine.toStdString();
        EXPECT_EQ(r.m_event, "round");
        EXPECT_EQ(r.m_result, "partial");
        EXPECT_EQ(r.m_site, "nord");
        EXPECT_EQ(r.m_dOffhook, 6.69);
        EXPECT_EQ(r.m_iChannel, 0) << "a round names no channel";
    }
    CJournalEntry none;
    for (const QByteArray& line :
         {QByteArray("[1,2]"), QByteArray("{\"time\":\"2026-12-"), QByteArray("kein JSON")})
        EXPECT_FALSE(ParseJournalLine(line, none)) << line.toStdString();
}

TEST(JournalReader, ALineBeingWrittenIsNoEntryAndTheRotatedCopyFollows) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    CCaptureEvent older;
    older.m_time = kAt;
    older.m_sEvent = "dial";
    older.m_sResult = "failed";
    CCaptureEvent newer = older;
    newer.m_sEvent = "picture";
    newer.m_sResult = "ok";
    const auto write = [&dir](const char* name, const QByteArray& text) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    };
    write("j.jsonl.1", JournalLine(older));
    write("j.jsonl", JournalLine(newer) + "{\"time\":\"2026-12-09T10:2");
    std::vector<std::string> read;
    std::string error;
    ASSERT_TRUE(ReadJournal(
        dir.filePath("j.jsonl").toStdString(),
        [&read](const CJournalEntry* e) {
            read.push_back(e == nullptr ? "-"
                                        : std::string(e->m_event) + " " + std::string(e->m_result));
            return true;
        },
        &error))
        << error;
    EXPECT_EQ(read, (std::vector<std::string>{"-", "picture ok", "dial failed"}));
}

}  // namespace
