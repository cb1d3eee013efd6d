// The journal as its writer writes and its readers read it: every field a reader takes comes
// back as written, whether the line is scanned (plain texts) or parsed whole (texts with
// escapes); and the reader hands a line being written as no entry.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
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

TEST(JournalRoundTrip, TheScannerTakesEachFieldByItsOwnKeyAndNumbersAsJsonWritesThem) {
    // Texts that read like other fields, and keys the entry does not hold, between them.
    const QByteArray line =
        R"({"time":"2026-12-09T10:15:02+01:00","site":"time","width":360,"colour":true,)"
        R"("message":"file: /x.bmp, channel: 9","modem":null,"channel":4,"tries":1e2,)"
        R"("event":"picture","result":"ok","file":"/bilder/k4.bmp","bytes":-0.5E+1})";
    CJournalEntry e;
    ASSERT_TRUE(ParseJournalLine(line, e));
    EXPECT_EQ(e.m_time, "2026-12-09T10:15:02+01:00");
    EXPECT_EQ(e.m_site, "time");
    EXPECT_EQ(e.m_message, "file: /x.bmp, channel: 9");
    EXPECT_EQ(e.m_file, "/bilder/k4.bmp");
    EXPECT_EQ(e.m_iChannel, 4);
    EXPECT_EQ(e.m_dBytes, -5);
    EXPECT_TRUE(e.IsGoodPicture());
    // A number JSON does not write, in a field the entry holds or not, makes no entry.
    for (const char* number : {"01", "-", "1e", "+1", "0x10", "1e+"}) {
        for (const char* key : {"bytes", "width"}) {
            const QByteArray bad =
                QByteArray(R"({"event":"picture",")") + key + "\":" + number + "}";
            CJournalEntry none;
            EXPECT_FALSE(ParseJournalLine(bad, none)) << bad.toStdString();
        }
    }
    // An escape or a byte that is no UTF-8 at any place of a text, short or long, is seen.
    for (int at = 0; at < 20; ++at) {
        const QByteArray head = R"({"event":"picture","file":"/b/)" + QByteArray(at, 'x');
        CJournalEntry escaped;
        ASSERT_TRUE(ParseJournalLine(head + R"(\u00fcz"})", escaped)) << at;
        EXPECT_EQ(escaped.m_file, "/b/" + std::string(static_cast<size_t>(at), 'x') + "\xc3\xbcz");
        CJournalEntry broken;
        EXPECT_FALSE(ParseJournalLine(head + "\xff" + QByteArray(at, 'y') + "\"}", broken)) << at;
    }
    // A text that is no UTF-8 is no entry either; a valid one is taken as it stands.
    CJournalEntry none;
    EXPECT_FALSE(
        ParseJournalLine("{\"site\":\"s\xfc\xfc"
                         "d\"}",
                         none));
    CJournalEntry sued;
    ASSERT_TRUE(
        ParseJournalLine("{\"site\":\"s\xc3\xbc"
                         "d\"}",
                         sued));
    EXPECT_EQ(sued.m_site,
              "s\xc3\xbc"
              "d");
}

TEST(JournalReader, LinesAcrossTheReadersBlocksAndWithCarriageReturnsComeWhole) {
    // Lines of many lengths, some ended by CR LF, over several of the reader's blocks: some
    // of them begin in one block and end in the next.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QByteArray text;
    std::vector<std::string> written;
    for (int i = 0; text.size() < 400 * 1024; ++i) {
        CCaptureEvent e;
        e.m_time = kAt.addSecs(i);
        e.m_sEvent = "picture";
        e.m_iChannel = 1 + i % 8;
        e.m_sResult = "ok";
        e.m_sFile = "/bilder/" + std::string(static_cast<size_t>(i * 7919 % 300), 'k') +
                    std::to_string(i) + ".bmp";
        QByteArray line = JournalLine(e);
        if (i % 3 == 0)
            line.insert(line.size() - 1, '\r');
        text += line;
        written.push_back(std::to_string(e.m_iChannel) + " " + e.m_sFile + " " +
                          std::to_string(e.m_time.toSecsSinceEpoch()));
    }
    QFile f(dir.filePath("j.jsonl"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
    f.close();
    std::vector<std::string> read;
    std::string error;
    ASSERT_TRUE(ReadJournal(
        dir.filePath("j.jsonl").toStdString(),
        [&read](const CJournalEntry* e) {
            qint64 epoch = 0;
            read.push_back(e == nullptr || !e->Epoch(epoch)
                               ? "-"
                               : std::to_string(e->m_iChannel) + " " + std::string(e->m_file) +
                                     " " + std::to_string(epoch));
            return true;
        },
        &error))
        << error;
    std::reverse(written.begin(), written.end());
    EXPECT_EQ(read, written);
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
