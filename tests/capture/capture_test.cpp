// The capture round in virtual time against the simulated module and modem, the names it
// gives its pictures and the PNG files it writes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <algorithm>

#include "app/AppFixture.h"
#include "app/Commands.h"
#include "capture/Capture.h"
#include "capture/CaptureRound.h"
#include "capture/ImageFile.h"
#include "capture/NamePattern.h"
#include "image/Bmp.h"
#include "sim/ModemSim.h"
#include "support/PatternImage.h"

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QStringList& l, std::ostream* os) {
    *os << '{' << l.join(", ").toStdString() << '}';
}

namespace {

TEST(NamePattern, FillsTimeAndPictureFieldsAndNamesWhatItCannotTake) {
    std::tm when{};
    when.tm_year = 2024 - 1900;
    when.tm_mon = 2;
    when.tm_mday = 9;
    when.tm_hour = 7;
    when.tm_min = 5;
    when.tm_sec = 3;
    const CNameFields fields{3, 360, 288, 12};
    EXPECT_EQ(ExpandNamePattern(kDefaultNamePattern, when, fields),
              "pixlane-20240309-070503-k3.bmp");
    EXPECT_EQ(ExpandNamePattern("%Y/%m/{width}x{height}-{seq}-100%%.png", when, fields),
              "2024/03/360x288-0012-100%.png");
    EXPECT_EQ(NamePatternProblem(kDefaultNamePattern), "");
    // A time field without text (%z of a time whose zone is unknown) leaves no part of the
    // name empty: the name stays a file inside the folder it is used in.
    std::tm unknownZone = when;
    unknownZone.tm_isdst = -1;
    EXPECT_EQ(ExpandNamePattern("%z", unknownZone, fields), "_");
    EXPECT_EQ(ExpandNamePattern("%z/k{channel}%z.bmp", unknownZone, fields), "_/k3.bmp");
    EXPECT_EQ(ExpandNamePattern("/bilder//%Y.bmp", when, fields), "/bilder//2024.bmp");

    // The last rows name a folder, or would break the list of names one a line.
    const std::pair<const char*, const char*> bad[] = {
        {"", "leer"},
        {"bilder/", "nennt keine Datei"},
        {"bild%", "\"%\""},
        {"bild-%Q.bmp", "Zeitfeld %Q"},
        {"bild-%E", "%E"},
        {"k{kanal}.bmp", "{kanal}"},
        {"k{channel.bmp", "{"},
        {".", "endet mit \".\""},
        {"a/..", "mit \"..\""},
        {"k%n.bmp", "%n"},
        {"k%t.bmp", "%t"},
        {"k\r.bmp", "(\\x0D)"},
        {"k\xc2\x9b", "\\xC2\\x9B"},
        {"k\xe4.bmp", "kein UTF-8"},
    };
    for (const auto& [pattern, why] : bad) {
        const std::string problem = NamePatternProblem(pattern);
        EXPECT_NE(problem.find(why), std::string::npos) << pattern << ": " << problem;
    }
    EXPECT_EQ(NamePatternProblem("../bilder/./k\xc3\xa4{channel}.bmp"), "");
    // Inside its folder a name may neither climb out nor start at the root, also where a
    // time field gave what the pattern did not show.
    EXPECT_NE(NamePatternProblem("../k{channel}.bmp", true).find("in ihrem Ordner"),
              std::string::npos);
    EXPECT_NE(NamePatternProblem("/srv/k.bmp", true).find("in ihrem Ordner"), std::string::npos);
    EXPECT_NE(ExpandedNameProblem("2024/..", false), "");
    EXPECT_NE(ExpandedNameProblem("2024/../k.bmp", true), "");

    // The longest pattern still gives a name; a longer one, whose time fields could give
    // more text than an expansion holds, is refused rather than expanded to nothing.
    std::string longest;
    while (longest.size() < kMaxNamePattern)
        longest += "%c";
    EXPECT_EQ(NamePatternProblem(longest), "");
    EXPECT_EQ(ExpandNamePattern(longest, when, fields).size(),
              ExpandNamePattern("%c", when, fields).size() * kMaxNamePattern / 2);
    EXPECT_NE(NamePatternProblem(longest + "%c").find("länger als 4096"), std::string::npos);
}

TEST(PngFile, HoldsThePixelsOfGreyAndColourImages) {
    for (const bool colour : {false, true}) {
        CImage image;
        MakeImage(image, 180, 144, colour);
        std::string error;
        const std::vector<uint8_t> bytes = ImageFileBytes("bild.PNG", image, &error);
        ASSERT_FALSE(bytes.empty()) << error;
        QImage png;
        ASSERT_TRUE(png.loadFromData(bytes.data(), static_cast<int>(bytes.size()), "PNG"));
        ASSERT_EQ(png.width(), 180);
        ASSERT_EQ(png.height(), 144);
        int wrong = 0;
        for (int y = 0; y < 144; ++y) {
            const uint8_t* row = image.Row(y);
            for (int x = 0; x < 180; ++x) {
                const QRgb p = png.pixel(x, y);
                wrong += colour ? (qBlue(p) != row[3 * x] || qGreen(p) != row[3 * x + 1] ||
                                   qRed(p) != row[3 * x + 2])
                                : qGray(p) != row[x];
            }
        }
        EXPECT_EQ(wrong, 0) << (colour ? "colour" : "grey");
    }
}

// Rounds with a keeper in a temporary folder, unattended, on a cable to the module.
class CaptureRoundTest : public CAppFixture {
  protected:
    void SetUp() override {
        CAppFixture::SetUp();
        ASSERT_TRUE(m_dir.isValid());
        m_module.SetPacing(115200, 0);
        m_keeper.m_sPattern = Path("k{channel}-{seq}.bmp");
        m_keeper.m_sJournal = Path("journal.jsonl");
        const QDateTime start(QDate(2024, 3, 1), QTime(12, 0), Qt::OffsetFromUTC, 3600);
        m_keeper.m_fnNow = [this, start] {
            return start.addMSecs(static_cast<qint64>(m_clock.NowMs()));
        };
        m_spec.m_bUnattended = true;
        m_spec.m_bDial = false;
        m_spec.m_pKeeper = &m_keeper;
    }
    // A round of the plan on the application's line; without channels, of the stored one
    // through the re-grab, as the timer's tick fetches it.
    CCaptureOutcome RunRound() {
        CCapturePlan plan = m_spec;
        plan.m_line = m_app.Target().m_line;
        if (plan.m_channels.empty()) {
            plan.m_channels = {m_app.m_iKanal};
            plan.m_bRegrab = true;
        }
        return CCaptureRound(m_app, plan).Run();
    }
    std::string Path(const char* name) const { return m_dir.filePath(name).toStdString(); }
    QStringList Files() const { return QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden); }
    // The journal's lines of pictures and steps, or (rounds) those of whole rounds.
    std::vector<QJsonObject> Journal(bool rounds = false) const {
        QFile file(m_dir.filePath("journal.jsonl"));
        std::vector<QJsonObject> lines;
        if (!file.open(QIODevice::ReadOnly))
            return lines;
        for (const QByteArray& line : file.readAll().split('\n')) {
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            if (!line.isEmpty() && (o["event"].toString() == "round") == rounds)
                lines.push_back(o);
        }
        return lines;
    }
    // The journal's lines as "event result message".
    std::vector<std::string> JournalSummary() const {
        std::vector<std::string> out;
        for (const QJsonObject& o : Journal())
            out.push_back(
                QStringList{o["event"].toString(), o["result"].toString(), o["message"].toString()}
                    .join(' ')
                    .trimmed()
                    .toStdString());
        return out;
    }
    // The frames the module received, block acknowledgements left out.
    std::vector<std::string> Frames() const {
        std::vector<std::string> out;
        for (const std::string& f : m_module.Frames())
            if (f != "q,i,0#")
                out.push_back(f);
        return out;
    }
    std::string FileBytes(const QString& path) const {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
    }
    std::string ImageBmp() const {
        const std::vector<uint8_t> bmp = BuildBmpFile(m_app.m_image);
        return std::string(bmp.begin(), bmp.end());
    }

    QTemporaryDir m_dir;
    CPictureKeeper m_keeper;
    CCapturePlan m_spec;
};

// The same through the simulated modem, which the round dials.
class CaptureModemRoundTest : public CaptureRoundTest {
  protected:
    CSimPeer* Peer() override { return &m_modem; }
    void SetUp() override {
        CaptureRoundTest::SetUp();
        m_spec.m_bDial = true;
    }
    CModemSim m_modem{m_module};
};

TEST_F(CaptureModemRoundTest, TwoChannelsOneRefusedGiveOneFileAndTwoJournalLines) {
    m_module.m_channels = {1, 2, 4};
    m_spec.m_channels = {3, 4};
    // Answers taken as they arrive: the dial command goes out at once.
    m_app.m_eModemPace = EModemPace::kAsArrived;
    const uint64_t startMs = m_clock.NowMs();
    const CCaptureOutcome out = RunRound();
    const double roundSeconds = static_cast<double>(m_clock.NowMs() - startMs) / 1000;
    EXPECT_EQ(out.m_nSaved, 1);
    EXPECT_EQ(out.m_nFailed, 1);
    EXPECT_FALSE(out.m_bHangupFailed);

    // One dial, the parameters once, the refused channel skipped, the hang-up last.
    EXPECT_EQ(m_modem.Dialled().size(), 1u);
    EXPECT_FALSE(m_modem.IsOffHook());
    const std::vector<std::string> frames = Frames();
    ASSERT_EQ(frames.size(), 5u);
    EXPECT_EQ(frames[0].rfind("P,", 0), 0u);
    EXPECT_EQ(std::vector<std::string>(frames.begin() + 1, frames.end()),
              (std::vector<std::string>{"G,03#", "G,04#", "I,00000,B4,0090,3#", "E,1#"}));
    // Parameters the module took are not waited after where nobody watches.
    EXPECT_LT(m_module.HostFrames()[1].m_nAtUs - m_module.HostFrames()[0].m_nAtUs, 100000u);

    EXPECT_EQ(Files(), (QStringList{"journal.jsonl", "k4-0001.bmp"}));
    EXPECT_TRUE(FileBytes(m_dir.filePath("k4-0001.bmp")) == ImageBmp());

    const std::vector<QJsonObject> journal = Journal();
    ASSERT_EQ(journal.size(), 2u);
    const QJsonObject& refused = journal[0];
    EXPECT_EQ(refused["event"].toString(), "picture");
    EXPECT_EQ(refused["channel"].toInt(), 3);
    EXPECT_EQ(refused["result"].toString(), "refused");
    EXPECT_EQ(refused["tries"].toInt(), 1);
    EXPECT_EQ(refused["message"].toString(), "Kanal nicht vorhanden");
    EXPECT_FALSE(refused.contains("file"));
    const QJsonObject& ok = journal[1];
    EXPECT_EQ(ok.keys(), (QStringList{"bytes", "bytes_per_second", "channel", "check", "colour",
                                      "event", "file", "hash", "height", "mean", "mode", "result",
                                      "seconds", "spread", "time", "tries", "width"}));
    EXPECT_EQ(ok["channel"].toInt(), 4);
    EXPECT_EQ(ok["result"].toString(), "ok");
    EXPECT_EQ(ok["file"].toString(), m_dir.filePath("k4-0001.bmp"));
    EXPECT_EQ(ok["width"].toInt(), 180);
    EXPECT_EQ(ok["height"].toInt(), 144);
    EXPECT_EQ(ok["mode"].toInt(), 3);
    EXPECT_FALSE(ok["colour"].toBool());
    // 144 blocks of 180 bytes with their length and check fields, and the answers.
    EXPECT_GE(ok["bytes"].toInteger(), 144 * 183);
    EXPECT_GT(ok["seconds"].toDouble(), 0);
    EXPECT_EQ(ok["bytes_per_second"].toInteger(),
              qRound64(ok["bytes"].toDouble() / ok["seconds"].toDouble()));
    const QString time = ok["time"].toString();
    EXPECT_TRUE(time.startsWith("2024-03-01T12:") && time.endsWith("+01:00")) << time.toStdString();

    // The round's own line: off-hook from the dial command, which went out at once, to the
    // confirmed hang-up, the last step; the dial is the modem's 2 s and the 2 s pause.
    ASSERT_EQ(Journal(true).size(), 1u);
    const QJsonObject round = Journal(true)[0];
    EXPECT_EQ(round["time"].toString(), "2024-03-01T12:00:00+01:00");
    EXPECT_EQ(round["device"].toString().toStdString(),
              m_app.Target().m_line.m_address.DeviceName());
    EXPECT_NEAR(round["dial_seconds"].toDouble(), 4.0, 0.05);
    EXPECT_NEAR(round["offhook_seconds"].toDouble(), roundSeconds, 0.05);
    EXPECT_EQ(round["pictures_ok"].toInt(), 1);
    EXPECT_EQ(round["pictures_failed"].toInt(), 1);
    EXPECT_GT(round["bytes"].toInteger(), ok["bytes"].toInteger());
    EXPECT_EQ(round["result"].toString(), "partial");
    // Unattended, the last status text says it.
    EXPECT_THAT(m_ui.m_status.back(), ::testing::MatchesRegex("Verbindungsdauer [0-9]+,[0-9] s"));
}

TEST_F(CaptureRoundTest, ATransferThatBreaksTwiceIsSavedFromTheThirdTry) {
    m_spec.m_channels = {2};
    m_module.AddFault({ESimFault::BadCheck, "", 5, 0, false});
    m_module.AddFault({ESimFault::BadCheck, "", 5, 0, false});
    const CCaptureOutcome out = RunRound();
    EXPECT_EQ(out.m_nSaved, 1);
    EXPECT_EQ(out.m_nFailed, 0);
    EXPECT_EQ(Count("I,00000,B4,0090,3#"), 3);
    EXPECT_EQ(Count("q,i,1#"), 2);
    EXPECT_EQ(Count("E,1#"), 0);
    EXPECT_EQ(Files(), (QStringList{"journal.jsonl", "k2-0001.bmp"}));
    EXPECT_TRUE(FileBytes(m_dir.filePath("k2-0001.bmp")) == ImageBmp());
    const std::vector<QJsonObject> journal = Journal();
    ASSERT_EQ(journal.size(), 1u);
    EXPECT_EQ(journal[0]["result"].toString(), "ok");
    EXPECT_EQ(journal[0]["tries"].toInt(), 3);
}

TEST_F(CaptureRoundTest, TheJournalTellsWhatTheRoundAskedForNotTheStoredSettings) {
    // Stored: 180 x 144 grey on channel 1; the round asks for 360 x 288 colour on 2.
    m_spec.m_request.m_nWidth = 360;
    m_spec.m_request.m_nHeight = 288;
    m_spec.m_request.m_iMode = 4;
    m_spec.m_request.m_bColour = true;
    m_spec.m_channels = {2};
    ASSERT_EQ(RunRound().m_nSaved, 1);
    EXPECT_EQ(Frames(), (std::vector<std::string>{"P,008,000,168,240,180,240,1,0#", "G,02#",
                                                  "I,00000,B4,0480,4#"}));
    const std::vector<QJsonObject> journal = Journal();
    ASSERT_EQ(journal.size(), 1u);
    EXPECT_EQ(journal[0]["channel"].toInt(), 2);
    EXPECT_EQ(journal[0]["width"].toInt(), 360);
    EXPECT_EQ(journal[0]["height"].toInt(), 288);
    EXPECT_EQ(journal[0]["mode"].toInt(), 4);
    EXPECT_TRUE(journal[0]["colour"].toBool());
    // Decoded as asked for (a decoding by the stored settings would store nothing), and
    // the settings left as they were stored.
    const CImage& image = m_app.m_image;
    ASSERT_EQ(image.Width(), 360);
    ASSERT_TRUE(image.IsColour());
    const uint8_t* bits = image.Bits();
    EXPECT_TRUE(std::any_of(bits, bits + image.RowBytes() * 288, [](uint8_t b) { return b != 0; }));
    EXPECT_TRUE(FileBytes(m_dir.filePath("k2-0001.bmp")) == ImageBmp());
    EXPECT_EQ(m_app.m_iBildbreite, 180);
    EXPECT_EQ(m_app.m_iMonochrom, 0);
    EXPECT_EQ(m_app.m_iKanal, 1);
}

TEST_F(CaptureRoundTest, ANameThatIsTakenGetsTheNextNumberAndTheOldFileStays) {
    m_keeper.m_sPattern = Path("bild.bmp");
    {
        QFile old(m_dir.filePath("bild.bmp"));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old");
    }
    const CCaptureOutcome out = RunRound();
    EXPECT_EQ(out.m_nSaved, 1);
    EXPECT_EQ(FileBytes(m_dir.filePath("bild.bmp")), "old");
    EXPECT_TRUE(FileBytes(m_dir.filePath("bild-1.bmp")) == ImageBmp());
    EXPECT_EQ(Files(), (QStringList{"bild-1.bmp", "bild.bmp", "journal.jsonl"}));
    ASSERT_EQ(Journal().size(), 1u);
    EXPECT_EQ(Journal()[0]["file"].toString(), m_dir.filePath("bild-1.bmp"));
}

TEST_F(CaptureModemRoundTest, AStopBreaksTheTransferOffAndStillHangsUp) {
    m_app.SetStopCheck([this] { return m_module.BlocksSent() > 10; });
    const CCaptureOutcome out = RunRound();
    EXPECT_TRUE(out.m_bStopped);
    EXPECT_EQ(out.m_nFailed, 0);
    EXPECT_EQ(out.m_nSaved, 0);
    // The break answer once, then the hang-up; no second try.
    const std::vector<std::string> frames = Frames();
    ASSERT_GE(frames.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(frames.end() - 3, frames.end()),
              (std::vector<std::string>{"I,00000,B4,0090,3#", "q,i,1#", "E,1#"}));
    EXPECT_FALSE(m_modem.IsOffHook());
    EXPECT_EQ(Files(), QStringList{"journal.jsonl"});
    ASSERT_EQ(Journal().size(), 1u);
    EXPECT_EQ(Journal()[0]["result"].toString(), "stopped");
    EXPECT_EQ(Journal()[0]["message"].toString(), QString::fromUtf8("Übertragung abgebrochen !"));

    // A picture the module's data broke three times is another result.
    m_app.SetStopCheck({});
    for (int i = 0; i < 3; ++i)
        m_module.AddFault({ESimFault::BadCheck, "", 5, 0, false});
    EXPECT_EQ(RunRound().m_nFailed, 1);
    ASSERT_EQ(Journal().size(), 2u);
    EXPECT_EQ(Journal()[1]["result"].toString(), "broken");
}

TEST_F(CaptureModemRoundTest, ADialTheModemRefusesIsJournalledWithTheModemsWord) {
    // BLACKLISTED holds a "T" as CONNECT does; RING is followed by nothing.
    const std::pair<CSimFault, const char*> refusals[] = {
        {{ESimFault::DialAnswer, "BUSY", -1, 0, true}, "BUSY"},
        {{ESimFault::DialAnswer, "BLACKLISTED", -1, 0, true}, "BLACKLISTED"},
        {{ESimFault::DialRing, "", -1, 0, true}, "RING"},
    };
    for (const auto& [fault, word] : refusals) {
        SCOPED_TRACE(word);
        m_modem.AddFault(fault);
        m_ui.m_messages.clear();
        QFile::remove(m_dir.filePath("journal.jsonl"));
        EXPECT_TRUE(RunRound().m_bDialFailed);
        EXPECT_EQ(m_ui.m_messages, std::vector<std::string>{std::string("Modem meldet ") + word});
        EXPECT_EQ(JournalSummary(),
                  std::vector<std::string>{"dial failed Gegenstelle antwortet nicht"});
        EXPECT_EQ(Journal()[0]["modem"].toString(), word);
        ASSERT_EQ(Journal(true).size(), 1u);
        EXPECT_EQ(Journal(true)[0]["result"].toString(), "failed");
        // Nothing went to the module, and the call is not left up.
        EXPECT_THAT(Frames(), ::testing::IsEmpty());
        EXPECT_FALSE(m_modem.IsOffHook());
        m_modem.Faults().Clear();
    }
}

TEST_F(CaptureModemRoundTest, ALineThatGoesAwayIsJournalledAsTheCauseOfWhatFailsAfterIt) {
    m_spec.m_channels = {1, 2};
    int acks = 0;
    m_module.m_onFrame = [&](const std::string& frame, bool) {
        if (frame == "q,i,0#" && ++acks == 20)
            m_factory.Unplug(1);
    };
    EXPECT_EQ(RunRound().m_nFailed, 2);
    // The picture broken off, the channel after it and the hang-up.
    const std::string lost = "failed Schnittstelle getrennt";
    EXPECT_EQ(JournalSummary(),
              (std::vector<std::string>{"picture " + lost, "picture " + lost, "hangup " + lost}));
}

TEST_F(CaptureRoundTest, PictureParametersTheModuleRefusesAreJournalledAndThePicturesTaken) {
    m_module.AddFault({ESimFault::AckDigit, "P", -1, 0, true});
    m_spec.m_channels = {1};
    EXPECT_EQ(RunRound().m_nSaved, 1);
    EXPECT_EQ(m_ui.m_messages, std::vector<std::string>{"FehlerP"});
    // The timer's tick shows its boxes only for a width without parameters (the one here
    // is the first re-grab's own); the journal gets the line all the same.
    m_spec.m_bUnattended = false;
    m_spec.m_channels.clear();
    RunRound();
    EXPECT_EQ(m_ui.m_messages, (std::vector<std::string>{"FehlerP", "PFehler"}));
    EXPECT_EQ(JournalSummary(), (std::vector<std::string>{"params failed FehlerP", "picture ok",
                                                          "params failed FehlerP", "picture ok"}));
}

TEST_F(CaptureModemRoundTest, AHangUpTheModuleRefusesDropsDtrAndTheNextRoundReopensTheLine) {
    // The module takes none of the three hang-ups: the call would stay up.
    for (int i = 0; i < 3; ++i)
        m_module.AddFault({ESimFault::Silent, "E", -1, 0, false});
    CCaptureOutcome out = RunRound();
    EXPECT_TRUE(out.m_bHangupFailed);
    EXPECT_EQ(out.m_nSaved, 1);
    // Every picture kept, but the call may still be up: the round is not ok.
    ASSERT_EQ(Journal(true).size(), 1u);
    EXPECT_EQ(Journal(true)[0]["result"].toString(), "partial");
    EXPECT_FALSE(m_modem.IsOffHook()) << "DTR dropped";
    EXPECT_FALSE(m_app.Line().IsOpen());
    const std::vector<QJsonObject> journal = Journal();
    ASSERT_EQ(journal.size(), 2u);
    EXPECT_EQ(journal[1]["event"].toString(), "hangup");
    EXPECT_TRUE(journal[1]["channel"].isNull());
    EXPECT_EQ(journal[1]["result"].toString(), "failed");
    EXPECT_EQ(journal[1]["tries"].toInt(), 3);

    out = RunRound();
    EXPECT_FALSE(out.m_bHangupFailed);
    EXPECT_EQ(out.m_nSaved, 1);
    EXPECT_EQ(m_factory.m_opened.size(), 2u);
    EXPECT_EQ(m_modem.Dialled().size(), 2u);
}

}  // namespace

namespace {

TEST_F(CaptureRoundTest, EachLoopCycleKeepsItsPictureWhileAutoSaveIsOn) {
    m_app.m_bAutoSave = true;
    m_app.m_sAutoSaveFolder = m_dir.filePath("auto").toStdString();
    m_app.m_sAutoSavePattern = "k{channel}-{seq}.bmp";
    // The second cycle's picture is refused: recorded, nothing saved for it.
    int requests = 0;
    m_module.m_onFrame = [&](const std::string& frame, bool) {
        if (frame.rfind("I,", 0) == 0 && ++requests == 1)
            m_module.AddFault({ESimFault::AckDigit, "I", -1, 0, false});
    };
    m_ui.m_nStopAtPump = 3;
    m_app.OnCommand(ID_LOOP_BILD);
    const QDir folder(m_dir.filePath("auto"));
    EXPECT_EQ(folder.entryList(QDir::Files),
              (QStringList{"k1-0001.bmp", "k1-0002.bmp", "pixlane-journal.jsonl"}));
    QFile journal(folder.filePath("pixlane-journal.jsonl"));
    ASSERT_TRUE(journal.open(QIODevice::ReadOnly));
    QStringList results;
    for (const QByteArray& line : journal.readAll().split('\n'))
        if (!line.isEmpty())
            results << QJsonDocument::fromJson(line).object()["result"].toString();
    EXPECT_EQ(results, (QStringList{"ok", "failed", "ok"}));
}

}  // namespace

namespace {

TEST_F(CaptureRoundTest, AutoSavedPicturesStayInsideTheirFolder) {
    // A stored pattern that climbs out gives the default name, inside the folder.
    m_app.m_bAutoSave = true;
    m_app.m_sAutoSaveFolder = m_dir.filePath("auto").toStdString();
    m_app.m_sAutoSavePattern = "../k{channel}.bmp";
    m_app.OnCommand(ID_LOOP_BILD);
    const QStringList kept = QDir(m_dir.filePath("auto")).entryList(QDir::Files);
    ASSERT_EQ(kept.size(), 2) << kept.join(", ").toStdString();
    EXPECT_TRUE(kept[0].startsWith("pixlane-") && kept[0].endsWith("-k1.bmp"));
    EXPECT_TRUE(Files().isEmpty()) << Files().join(", ").toStdString();
}

}  // namespace
