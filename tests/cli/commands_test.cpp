// Every command of pixlane-cli run in process against the simulated module (and modem) on
// the fake line in virtual time: what it sends, prints and returns, the stored settings as
// defaults, and the settings file left exactly as it was.
#include <gtest/gtest.h>

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cstdlib>
#include <functional>
#include <optional>

#include "CliRunner.h"
#include "fleet/SiteBook.h"
#include "link/ComPort.h"
#include "sim/ModemSim.h"
#include "sim/ModuleSim.h"
#include "support/FakeLine.h"
#include "support/VirtualClock.h"

namespace {

// Passes a line through and records every line state applied to it.
class CStateRecordingLine : public CSerialLine {
  public:
    CStateRecordingLine(std::unique_ptr<CSerialLine> inner, std::vector<CLineState>& states)
        : m_pInner(std::move(inner)), m_states(states) {}
    bool GetState(CLineState& s) override { return m_pInner->GetState(s); }
    bool SetState(const CLineState& s) override {
        m_states.push_back(s);
        return m_pInner->SetState(s);
    }
    bool GetTimeouts(CLineTimeouts& t) override { return m_pInner->GetTimeouts(t); }
    bool SetTimeouts(const CLineTimeouts& t) override { return m_pInner->SetTimeouts(t); }
    bool Write(const uint8_t* d, size_t n, size_t& w) override { return m_pInner->Write(d, n, w); }
    bool Read(uint8_t* b, size_t n, size_t& r) override { return m_pInner->Read(b, n, r); }
    bool PurgeRx() override { return m_pInner->PurgeRx(); }
    bool PurgeTx() override { return m_pInner->PurgeTx(); }
    bool IsGone() const override { return m_pInner->IsGone(); }
    bool SetDataTerminalReady(bool on) override { return m_pInner->SetDataTerminalReady(on); }

  private:
    std::unique_ptr<CSerialLine> m_pInner;
    std::vector<CLineState>& m_states;
};

class CStateRecordingFactory : public CLineFactory {
  public:
    explicit CStateRecordingFactory(CLineFactory& inner) : m_inner(inner) {}
    std::unique_ptr<CSerialLine> OpenLine(const CLineAddress& address) override {
        std::unique_ptr<CSerialLine> line = m_inner.OpenLine(address);
        if (line == nullptr)
            return nullptr;
        return std::make_unique<CStateRecordingLine>(std::move(line), m_states);
    }
    std::vector<CLineState> m_states;

  private:
    CLineFactory& m_inner;
};

class CliCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        RemoveSettings();
        m_before = std::nullopt;
        ASSERT_TRUE(m_dir.isValid());
        m_factory.Attach(1, &m_module);
    }
    void TearDown() override {
        EXPECT_EQ(m_factory.OpenLines(), 0u) << "every run closes its line";
        // The command line never writes the user's settings, nor creates them.
        EXPECT_EQ(FileBytes(SettingsPath()), m_before);
        RemoveSettings();
    }
    void Store(const std::vector<std::pair<const char*, QVariant>>& values,
               const std::vector<std::pair<int, std::string>>& ports = {}) {
        StoreSettings(values, ports);
        m_before = FileBytes(SettingsPath());
        ASSERT_TRUE(m_before.has_value());
    }
    // A run on port 1, where the module (or its modem) is attached.
    CCliResult Cli(std::vector<std::string> args, bool terminal = false) {
        args.insert(args.begin(), {"--com", "1"});
        return Run(args, terminal);
    }
    // A run on the fake line in virtual time.
    CCliResult Run(std::vector<std::string> args, bool terminal = false) {
        return RunCliWith(std::move(args), terminal, {&m_clock, &m_recording, m_fnNow});
    }
    std::string Temp(const char* name) const { return m_dir.filePath(name).toStdString(); }
    int Count(const std::string& frame) const {
        int n = 0;
        for (const auto& f : m_module.Frames())
            n += f == frame;
        return n;
    }
    static CSimFault Fault(ESimFault kind, const std::string& target, int block = -1) {
        CSimFault f;
        f.m_eKind = kind;
        f.m_sTarget = target;
        f.m_nBlock = block;
        return f;
    }

    QTemporaryDir m_dir;
    CVirtualClock m_clock;
    CFakeLineFactory m_factory{m_clock};
    CStateRecordingFactory m_recording{m_factory};
    CModuleSim m_module;
    CModemSim m_modem{m_module};
    std::optional<std::string> m_before;
    // The wall clock of capture; the system's unless a test sets it.
    std::function<QDateTime()> m_fnNow;
};

TEST_F(CliCommandsTest, StatusQueriesPrintTheModulesValues) {
    m_module.m_status.m_sCamera = "0F";
    m_module.m_status.m_sInput = "12";
    m_module.m_status.m_sError = "07";
    m_module.m_status.m_sVersion = "04117";
    const std::pair<const char*, const char*> cases[] = {
        {"camera", "0F\n"}, {"input", "12\n"}, {"error", "07\n"}, {"version", " 4.17\n"}};
    for (const auto& [query, printed] : cases) {
        const CCliResult r = Cli({"status", query});
        EXPECT_EQ(r.m_nExit, 0) << query;
        EXPECT_EQ(r.m_sOut, printed) << query;
        EXPECT_EQ(r.m_sErr, "") << query;
    }
    EXPECT_EQ(m_module.Frames(), (std::vector<std::string>{"V#", "C#", "F#", "S#"}));
}

TEST_F(CliCommandsTest, ModuleValuesCannotSteerTheTerminal) {
    m_module.m_status.m_sCamera = "\x1b[";
    m_module.m_status.m_sVersion = "0\a2\r3";
    EXPECT_EQ(Cli({"status", "camera"}).m_sOut, "\\x1B[\n");
    EXPECT_EQ(Cli({"status", "version"}).m_sOut, " \\x07.\\x0D3\n");
}

TEST_F(CliCommandsTest, AStoredValueThatCannotBeTakenIsNamedOnceAndItsDefaultUsed) {
    Store({{"m_iBaudrate", "schnell"}, {"m_bFrei", "ja"}, {"m_iKanal", "99999999999"}});
    const CCliResult r = Cli({"--quiet", "status", "camera"});
    EXPECT_EQ(r.m_nExit, 0);
    EXPECT_EQ(r.m_sOut, "03\n");
    EXPECT_EQ(r.m_sErr,
              "Einstellung m_iBaudrate: \"schnell\" ist keine Zahl, es gilt 57600\n"
              "Einstellung m_bFrei: \"ja\" ist keine Zahl, es gilt 0\n"
              "Einstellung m_iKanal: \"99999999999\" liegt außerhalb des Zahlenbereichs, es "
              "gilt 1\n");
    ASSERT_FALSE(m_recording.m_states.empty());
    EXPECT_EQ(m_recording.m_states.back().m_nBaudRate, 57600u);
}

TEST_F(CliCommandsTest, AFailedQueryPutsItsErrorTextOnStandardErrorEvenWhenQuiet) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"camera", "V", "FehlerV "},
        {"input", "C", "FehlerC "},
        {"error", "F", "FehlerF "},
        {"version", "S", "FehlerS "}};
    for (const auto& [query, letter, text] : cases) {
        m_module.AddFault(Fault(ESimFault::AckDigit, letter));
        const CCliResult r = Cli({"status", query});
        EXPECT_EQ(r.m_nExit, 1) << query;
        EXPECT_EQ(r.m_sOut, "") << query;
        EXPECT_EQ(r.m_sErr, std::string(text) + "\n") << query;
        m_module.AddFault(Fault(ESimFault::Silent, letter));
        const CCliResult q = Cli({"--quiet", "status", query});
        EXPECT_EQ(q.m_nExit, 1) << query;
        EXPECT_EQ(q.m_sErr, std::string(text) + "\n") << query;
    }
}

TEST_F(CliCommandsTest, TimestampPrintsChannelAndSecondsAndResetsOnRequest) {
    ASSERT_EQ(Cli({"channel", "3"}).m_nExit, 0);
    m_clock.AdvanceUs(125'000'000);
    const CCliResult a = Cli({"timestamp"});
    EXPECT_EQ(a.m_nExit, 0);
    EXPECT_EQ(a.m_sOut, "03 00125\n");
    const CCliResult b = Cli({"timestamp", "--reset"});
    EXPECT_EQ(b.m_sOut, "03 00125\n");
    m_clock.AdvanceUs(7'000'000);
    EXPECT_EQ(Cli({"timestamp"}).m_sOut, "03 00007\n");
    EXPECT_EQ(Count("T,0#"), 2);
    EXPECT_EQ(Count("T,1#"), 1);

    m_module.AddFault(Fault(ESimFault::NoHash, "T"));
    const CCliResult c = Cli({"timestamp"});
    EXPECT_EQ(c.m_nExit, 1);
    EXPECT_EQ(c.m_sOut, "");
    EXPECT_EQ(c.m_sErr, "FehlerT \n");
}

TEST_F(CliCommandsTest, AChannelIsSelectedOrRefusedWithTheModulesWord) {
    m_module.m_channels = {1, 2, 6};
    const CCliResult ok = Cli({"channel", "6"});
    EXPECT_EQ(ok.m_nExit, 0);
    EXPECT_EQ(ok.m_sOut, "");
    EXPECT_EQ(ok.m_sErr, "");
    EXPECT_EQ(m_module.SelectedChannel(), 6);
    EXPECT_EQ(m_module.Frames().back(), "G,06#");

    const CCliResult refused = Cli({"--quiet", "channel", "4"});
    EXPECT_EQ(refused.m_nExit, 1);
    EXPECT_EQ(refused.m_sErr, "Kanal nicht vorhanden\n");
    EXPECT_EQ(m_module.SelectedChannel(), 6);

    // A module that does not answer gives no word of its own.
    m_module.AddFault(Fault(ESimFault::Silent, "G"));
    const CCliResult silent = Cli({"channel", "2"});
    EXPECT_EQ(silent.m_nExit, 1);
    EXPECT_EQ(silent.m_sErr, "Kanal 2 nicht gewählt !\n");
}

TEST_F(CliCommandsTest, ParamsFollowTheStoredWidthUnlessOneIsGiven) {
    Store({{"m_iBildbreite", 360}, {"m_iBildhoehe", 288}});
    EXPECT_EQ(Cli({"params"}).m_nExit, 0);
    EXPECT_EQ(Cli({"params", "--width", "180"}).m_nExit, 0);
    EXPECT_EQ(m_module.Frames(), (std::vector<std::string>{"P,008,000,168,240,180,240,1,0#",
                                                           "P,008,000,0b4,120,0c0,120,1,0#"}));
    m_module.AddFault(Fault(ESimFault::AckDigit, "P"));
    const CCliResult refused = Cli({"params"});
    EXPECT_EQ(refused.m_nExit, 1);
    EXPECT_EQ(refused.m_sErr, "FehlerP\n");
}

TEST_F(CliCommandsTest, AStoredWidthWithoutParametersSendsNothing) {
    Store({{"m_iBildbreite", 256}, {"m_iBildhoehe", 256}});
    const CCliResult r = Cli({"--quiet", "params"});
    EXPECT_EQ(r.m_nExit, 1);
    EXPECT_EQ(r.m_sErr, "FehlerP\n");
    EXPECT_TRUE(m_module.Frames().empty());
}

TEST_F(CliCommandsTest, ResetPrintsTheModulesText) {
    const CCliResult ok = Cli({"reset"});
    EXPECT_EQ(ok.m_nExit, 0);
    EXPECT_EQ(ok.m_sOut, " Vebindung getrennt !\n");
    m_module.AddFault(Fault(ESimFault::Silent, "R"));
    const CCliResult failed = Cli({"reset"});
    EXPECT_EQ(failed.m_nExit, 1);
    EXPECT_EQ(failed.m_sOut, "");
    EXPECT_EQ(failed.m_sErr, "FehlerR \n");
    EXPECT_EQ(Count("R,1#"), 2);
}

TEST_F(CliCommandsTest, HangupShowsTheWindowsTexts) {
    const CCliResult ok = Cli({"hangup"});
    EXPECT_EQ(ok.m_nExit, 0);
    EXPECT_EQ(ok.m_sErr, "Verbindung wird getrennt..\nVerbindung getrennt!\n");
    EXPECT_TRUE(m_module.TakeEndConnection());
    m_module.AddFault(Fault(ESimFault::AckDigit, "E"));
    const CCliResult failed = Cli({"hangup"});
    EXPECT_EQ(failed.m_nExit, 1);
    EXPECT_EQ(failed.m_sErr, "Verbindung wird getrennt..\n!!Auflegen nicht möglich!!\n");
    m_module.AddFault(Fault(ESimFault::Silent, "E"));
    const CCliResult quiet = Cli({"--quiet", "hangup"});
    EXPECT_EQ(quiet.m_nExit, 1);
    EXPECT_EQ(quiet.m_sErr, "!!Auflegen nicht möglich!!\n");
}

// A pool's round that died left its call open: the pool ends it on the round's line, by the
// module's end of the connection, else by DTR; the modem is left ready for the next round.
TEST_F(CliCommandsTest, ThePoolEndsTheCallOfARoundThatDied) {
    m_factory.Attach(1, &m_modem);
    m_modem.m_nDialDelayMs = 500;
    const std::string book = UserSiteBookPath();
    ASSERT_TRUE(QDir().mkpath(QFileInfo(QString::fromStdString(book)).absolutePath()));
    ASSERT_TRUE(QDir().mkpath(m_dir.filePath("nord")));
    {
        QFile f(QString::fromStdString(book));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral("[nord]\nnumber=0815\nfolder=%1\n")
                    .arg(m_dir.filePath("nord"))
                    .toUtf8());
    }
    const std::vector<std::string> endCall = {"capture", "--sites",      "all",  "--lines",
                                              "1",       "--pool-site",  "nord", "--pool-line",
                                              "1",       "--pool-hangup"};

    ASSERT_EQ(Cli({"--quiet", "dial"}).m_nExit, 0);
    const CCliResult answered = Run(endCall);
    EXPECT_EQ(answered.m_nExit, 0) << answered.m_sErr;
    EXPECT_NE(answered.m_sErr.find("Verbindung der abgebrochenen Runde getrennt"),
              std::string::npos)
        << answered.m_sErr;
    EXPECT_FALSE(m_modem.IsOffHook());
    EXPECT_EQ(m_modem.Dialled().size(), 1u);  // the end of a call dials nothing
    EXPECT_EQ(Count("E,1#"), 1);

    // The module is silent: the modem is hung up by DTR.
    m_module.AddFault(Fault(ESimFault::Silent, "E"));
    ASSERT_EQ(Cli({"--quiet", "dial"}).m_nExit, 0);
    const CCliResult silent = Run(endCall);
    EXPECT_EQ(silent.m_nExit, 0) << silent.m_sErr;
    EXPECT_NE(silent.m_sErr.find("Modem über DTR aufgelegt"), std::string::npos) << silent.m_sErr;
    EXPECT_FALSE(m_modem.IsOffHook());

    // The round died before its call: the end of the call reached the modem, not the module.
    // Its command line is ended, so that the next round's set-up is answered OK.
    const CCliResult idle = Run(endCall);
    EXPECT_EQ(idle.m_nExit, 0) << idle.m_sErr;
    EXPECT_EQ(Cli({"--quiet", "dial"}).m_nExit, 0);
    EXPECT_EQ(Cli({"status", "camera"}).m_sOut, "03\n");
    EXPECT_EQ(Cli({"hangup"}).m_nExit, 0);

    // Nothing was journalled or written for the site: the pool journals the round itself.
    EXPECT_TRUE(QDir(m_dir.filePath("nord")).isEmpty());
    QFile::remove(QString::fromStdString(book));
}

TEST_F(CliCommandsTest, DialUsesTheStoredNumberOrTheGivenOne) {
    m_factory.Attach(1, &m_modem);
    m_modem.m_nDialDelayMs = 500;
    Store({{"m_sTel_nr", "!47"}});
    const CCliResult stored = Cli({"dial"});
    EXPECT_EQ(stored.m_nExit, 0) << stored.m_sErr;
    EXPECT_EQ(stored.m_sErr,
              "Verbindung wird aufgebaut..\nwählen läuft..\nCONNECT\nTest bitte warten..\n"
              "Verbindung ist OK..\n");
    // The link stays up after the run: the module answers directly.
    EXPECT_EQ(Cli({"status", "camera"}).m_sOut, "03\n");
    EXPECT_TRUE(m_modem.IsOnline());
    EXPECT_EQ(Cli({"hangup"}).m_nExit, 0);
    EXPECT_FALSE(m_modem.IsOnline());

    EXPECT_EQ(Cli({"--quiet", "dial", "--number", "0815"}).m_nExit, 0);
    EXPECT_EQ(m_modem.Dialled(), (std::vector<std::string>{"!47", "0815"}));
}

TEST_F(CliCommandsTest, ADialThatFailsEndsWithTheDiallersTextAndTheModemsWord) {
    m_factory.Attach(1, &m_modem);
    m_modem.m_eDialResult = EDialResult::Busy;
    const CCliResult busy = Cli({"dial"});
    EXPECT_EQ(busy.m_nExit, 1);
    EXPECT_EQ(busy.m_sErr,
              "Verbindung wird aufgebaut..\nwählen läuft..\nGegenstelle antwortet nicht\n"
              "Modem meldet BUSY\n");
    EXPECT_FALSE(m_modem.IsOnline());
    m_modem.m_eDialResult = EDialResult::NoDialtone;
    const CCliResult quiet = Cli({"--quiet", "dial"});
    EXPECT_EQ(quiet.m_nExit, 1);
    EXPECT_EQ(quiet.m_sErr, "Gegenstelle antwortet nicht\nModem meldet NO DIALTONE\n");
    const CCliResult fetch = Cli({"--quiet", "fetch", "--modem", "-o", Temp("x.bmp")});
    EXPECT_EQ(fetch.m_nExit, 1);
    EXPECT_EQ(fetch.m_sErr,
              "Verbindungsaufbau fehlgeschlagen!!\nModem meldet NO DIALTONE\n"
              "Kein vollständiges Bild empfangen, keine Datei geschrieben !\n");

    m_factory.Attach(1, nullptr);  // nothing answers at all
    const CCliResult silent = Cli({"--quiet", "dial"});
    EXPECT_EQ(silent.m_nExit, 1);
    EXPECT_EQ(silent.m_sErr, "!? Modem antwortet nicht ?!\n");
}

TEST_F(CliCommandsTest, FetchWritesTheBmpFileAsTheWindowSavesIt) {
    const std::string path = Temp("grey.bmp");
    const CCliResult r = Cli({"fetch", "-o", path});
    EXPECT_EQ(r.m_nExit, 0) << r.m_sErr;
    EXPECT_EQ(r.m_sOut, AbsolutePath(path) + "\n");
    EXPECT_EQ(r.m_sErr, "Zeile 143 wird empfangen ...\nFertig !\n");
    EXPECT_EQ(Count("I,00000,B4,0090,3#"), 1);
    EXPECT_EQ(Count("q,i,0#"), 144);
    const CGreyPicture& pic = m_module.LastPicture();
    ASSERT_EQ(pic.m_nWidth, 180);
    ASSERT_EQ(pic.m_nHeight, 144);
    EXPECT_EQ(FileBytes(path), GreyBmpFile(pic));
}

TEST_F(CliCommandsTest, ThePictureGoesWhereTheOutputNamePoints) {
    // "-" and the name of standard output put the picture there, and nothing else.
    for (const char* name : {"-", "/dev/stdout"}) {
        SCOPED_TRACE(name);
        const CCliResult r = Cli({"--quiet", "fetch", "-o", name});
        EXPECT_EQ(r.m_nExit, 0) << r.m_sErr;
        EXPECT_EQ(r.m_sOut, GreyBmpFile(m_module.LastPicture()));
    }
    // A link is written through: a PNG goes to its target, and the link stays.
    const std::string target = Temp("ziel.png");
    const std::string link = Temp("bild.png");
    ASSERT_TRUE(QFile::link(QString::fromStdString(target), QString::fromStdString(link)));
    const CCliResult r = Cli({"--quiet", "fetch", "-o", link});
    EXPECT_EQ(r.m_nExit, 0) << r.m_sErr;
    EXPECT_TRUE(QFileInfo(QString::fromStdString(link)).isSymLink());
    const std::optional<std::string> png = FileBytes(target);
    ASSERT_TRUE(png.has_value());
    EXPECT_EQ(png->substr(1, 3), "PNG");
}

TEST_F(CliCommandsTest, FetchTakesTheStoredImageSettingsAndTheOptionsOverThem) {
    Store({{"m_iBildbreite", 360}, {"m_iBildhoehe", 288}, {"m_iLokal", 0}});
    const std::string wide = Temp("wide.bmp");
    ASSERT_EQ(Cli({"--quiet", "fetch", "-o", wide}).m_nExit, 0);  // m_iLokal 0: no dialling
    EXPECT_EQ(m_module.Frames().front(), "I,00000,B4,0240,3#");
    EXPECT_EQ(FileBytes(wide), GreyBmpFile(m_module.LastPicture()));

    // The width brings its standard height along.
    const std::string narrow = Temp("narrow.bmp");
    ASSERT_EQ(Cli({"--quiet", "fetch", "--width", "180", "-o", narrow}).m_nExit, 0);
    EXPECT_EQ(FileBytes(narrow), GreyBmpFile(m_module.LastPicture()));
    EXPECT_EQ(m_module.LastPicture().m_nHeight, 144);

    m_module.ClearRecord();
    const std::string colour = Temp("colour.bmp");
    ASSERT_EQ(Cli({"--quiet", "fetch", "--width", "180", "--colour", "-o", colour}).m_nExit, 0);
    ASSERT_EQ(
        Cli({"--quiet", "fetch", "--width", "180", "--mode", "1", "-o", Temp("n.bmp")}).m_nExit, 0);
    ASSERT_EQ(
        Cli({"--quiet", "fetch", "--width", "180", "--expert", "10,B4,90", "-o", Temp("e.bmp")})
            .m_nExit,
        0);
    std::vector<std::string> requests;
    for (const auto& f : m_module.Frames())
        if (f.rfind("I,", 0) == 0)
            requests.push_back(f);
    EXPECT_EQ(requests, (std::vector<std::string>{"I,00000,B4,0120,4#", "I,00000,B4,0048,1#",
                                                  "I,00010,B4,0090,3#"}));
    const std::optional<std::string> bmp = FileBytes(colour);
    ASSERT_TRUE(bmp.has_value());
    EXPECT_EQ(bmp->size(), 14u + 40u + 180u * 144u * 3u);
    EXPECT_EQ(static_cast<uint8_t>((*bmp)[28]), 24);  // bits per pixel
}

TEST_F(CliCommandsTest, StoredColourIsFetchedInColourUnlessMonoIsAsked) {
    Store({{"m_iMonochrom", 1}, {"m_iModus", 4}});
    ASSERT_EQ(Cli({"--quiet", "fetch", "-o", Temp("c.bmp")}).m_nExit, 0);
    const std::string mono = Temp("m.bmp");
    ASSERT_EQ(Cli({"--quiet", "fetch", "--mono", "-o", mono}).m_nExit, 0);
    std::vector<std::string> requests;
    for (const auto& f : m_module.Frames())
        if (f.rfind("I,", 0) == 0)
            requests.push_back(f);
    EXPECT_EQ(requests, (std::vector<std::string>{"I,00000,B4,0120,4#", "I,00000,B4,0090,3#"}));
    EXPECT_EQ(FileBytes(mono), GreyBmpFile(m_module.LastPicture()));
}

TEST_F(CliCommandsTest, StoredImageSettingsWithoutAPictureAreRefusedBeforeAnythingIsSent) {
    const std::pair<std::vector<std::pair<const char*, QVariant>>, const char*> cases[] = {
        {{{"m_iMonochrom", 1}, {"m_iModus", 3}},
         "Farbe mit Modus 3 ergibt kein Bild (Farbe geht nur mit Modus 4)"},
        {{{"m_iMonochrom", 0}, {"m_iModus", 4}},
         "Grau mit Modus 4 ergibt kein Bild (Grau geht nur mit Modus 1, 2 oder 3)"},
        {{{"m_iBildbreite", 250}},
         "Bildbreite 250 wird nicht unterstützt (180, 256, 360, 512 oder 768)"},
    };
    for (const auto& [values, why] : cases) {
        SCOPED_TRACE(why);
        RemoveSettings();
        Store(values);
        const std::string path = Temp("nichts.bmp");
        const CCliResult r = Cli({"--quiet", "fetch", "-o", path});
        EXPECT_EQ(r.m_nExit, 1);
        EXPECT_EQ(r.m_sErr, std::string("Ungültige Bildanforderung !\n") + why + "\n");
        EXPECT_EQ(r.m_sOut, "");
        EXPECT_FALSE(FileBytes(path).has_value());
    }
    EXPECT_TRUE(m_module.Frames().empty());
    EXPECT_TRUE(m_recording.m_states.empty()) << "the port was not even opened";
}

TEST_F(CliCommandsTest, AFetchThatBreaksOffWritesNoFile) {
    const std::string path = Temp("keep.bmp");
    { std::ofstream(path) << "older picture"; }
    m_module.AddFault(Fault(ESimFault::BadCheck, "", 5));
    const CCliResult r = Cli({"fetch", "-o", path});
    EXPECT_EQ(r.m_nExit, 1);
    EXPECT_EQ(r.m_sOut, "");
    EXPECT_EQ(r.m_sErr,
              "Zeile 5 wird empfangen ...\n"
              "Kein vollständiges Bild empfangen, keine Datei geschrieben !\n");
    EXPECT_EQ(FileBytes(path), "older picture");
    EXPECT_EQ(Count("q,i,1#"), 1);

    m_module.AddFault(Fault(ESimFault::Silent, "I"));
    const CCliResult q = Cli({"--quiet", "fetch", "-o", Temp("none.bmp")});
    EXPECT_EQ(q.m_nExit, 1);
    EXPECT_EQ(q.m_sErr, "Zeile \nKein vollständiges Bild empfangen, keine Datei geschrieben !\n");
    EXPECT_FALSE(FileBytes(Temp("none.bmp")).has_value());
}

TEST_F(CliCommandsTest, AFileThatCannotBeWrittenIsReported) {
    const std::string path = Temp("missing/dir/x.bmp");
    const CCliResult r = Cli({"--quiet", "fetch", "-o", path});
    EXPECT_EQ(r.m_nExit, 1);
    EXPECT_EQ(r.m_sOut, "");
    EXPECT_EQ(r.m_sErr.rfind("Fehler beim Speichern !\npixlane-cli: " + path + ": ", 0), 0u)
        << r.m_sErr;
}

TEST_F(CliCommandsTest, FetchWithModemDialsFirst) {
    m_factory.Attach(1, &m_modem);
    m_modem.m_nDialDelayMs = 500;
    const std::string path = Temp("modem.bmp");
    const CCliResult r = Cli({"fetch", "--modem", "-o", path});
    EXPECT_EQ(r.m_nExit, 0) << r.m_sErr;
    EXPECT_EQ(r.m_sErr,
              "Verbindung wird aufgebaut..\nwählen läuft..\nCONNECT\nTest bitte warten..\n"
              "Verbindung ist OK..\nZeile 143 wird empfangen ...\nFertig !\n");
    EXPECT_EQ(m_modem.Dialled(), std::vector<std::string>{"!22"});
    EXPECT_EQ(FileBytes(path), GreyBmpFile(m_module.LastPicture()));
}

TEST_F(CliCommandsTest, FetchOnATerminalShowsTheProgressLine) {
    const CCliResult r = Cli({"fetch", "-o", Temp("t.bmp")}, true);
    EXPECT_EQ(r.m_nExit, 0);
    EXPECT_NE(r.m_sErr.find("\rZeile 71 wird empfangen ...  50 %"), std::string::npos);
    const std::string tail = "\rZeile 143 wird empfangen ...\x1b[K\nFertig !\n";
    ASSERT_GE(r.m_sErr.size(), tail.size());
    EXPECT_EQ(r.m_sErr.substr(r.m_sErr.size() - tail.size()), tail);
}

TEST_F(CliCommandsTest, TheLineIsSetUpFromTheStoredSettingsAndTheOptions) {
    m_factory.Attach(4, &m_module);
    m_factory.Attach(2, &m_module);
    Store({{"m_iCom", 4}, {"m_iBaudrate", 19200}, {"sHandshake", 0}, {"m_bHandshake", 0}});
    ASSERT_EQ(Run({"reset"}).m_nExit, 0);
    ASSERT_EQ(Run({"--baud", "9600", "--handshake", "on", "reset"}).m_nExit, 0);
    ASSERT_EQ(Run({"--com", "2", "--handshake", "off", "reset"}).m_nExit, 0);
    EXPECT_EQ(m_factory.m_opened, (std::vector<int>{4, 4, 2}));
    ASSERT_EQ(m_recording.m_states.size(), 3u);
    EXPECT_EQ(m_recording.m_states[0].m_nBaudRate, 19200u);
    EXPECT_EQ(m_recording.m_states[0].m_nRtsControl, 0);
    EXPECT_EQ(m_recording.m_states[1].m_nBaudRate, 9600u);
    EXPECT_EQ(m_recording.m_states[1].m_nRtsControl, 2);
    EXPECT_EQ(m_recording.m_states[2].m_nBaudRate, 19200u);
    EXPECT_EQ(m_recording.m_states[2].m_nRtsControl, 0);
}

TEST_F(CliCommandsTest, APortThatCannotBeOpenedIsNamedInGerman) {
    Store({{"m_iCom", 6}}, {{6, "/dev/stored-six"}});
    const CCliResult stored = Run({"--quiet", "reset"});
    EXPECT_EQ(stored.m_nExit, 1);
    EXPECT_EQ(stored.m_sOut, "");
    EXPECT_EQ(stored.m_sErr, "ComPort COM6 (/dev/stored-six) kann nicht geöffnet werden !\n");

    // A device named directly stands behind the stored port number for the run only, and
    // is named as what the user gave.
    const CCliResult device = Run({"--device", "/dev/named", "status", "camera"});
    EXPECT_EQ(device.m_nExit, 1);
    EXPECT_EQ(device.m_sErr, "Gerät /dev/named kann nicht geöffnet werden !\n");
    EXPECT_EQ(std::getenv("PIXLANE_COM6"), nullptr);

    const CCliResult com = Run({"--com", "5", "fetch", "-o", Temp("x.bmp")});
    EXPECT_EQ(com.m_nExit, 1);
    EXPECT_EQ(com.m_sErr, "ComPort COM5 (/dev/ttyS4) kann nicht geöffnet werden !\n");
    EXPECT_FALSE(FileBytes(Temp("x.bmp")).has_value());
}

TEST_F(CliCommandsTest, AStoredPortOutsideOneToNineIsNoPort) {
    Store({{"m_iCom", 12}});
    const CCliResult r = Run({"reset"});
    EXPECT_EQ(r.m_nExit, 1);
    EXPECT_EQ(r.m_sErr, "ComPort COM12 kann nicht geöffnet werden !\n");
    EXPECT_TRUE(m_factory.m_opened.empty());
}

}  // namespace

TEST_F(CliCommandsTest, CaptureKeepsItsPeriodFromEachRoundsStartAcrossAFailedRound) {
    m_module.SetPacing(115200, 0);  // a round takes seconds, as on the line
    // The second round's picture is refused on each of its three tries.
    int selections = 0;
    m_module.m_onFrame = [&](const std::string& frame, bool) {
        if (frame == "G,02#" && ++selections == 2)
            for (int i = 0; i < 3; ++i)
                m_module.AddFault(Fault(ESimFault::AckDigit, "I"));
    };
    const CCliResult r = Cli({"capture", "--channels", "2", "--every", "1m", "--count", "3", "-o",
                              Temp("k{channel}-{seq}.bmp"), "--journal", Temp("j.jsonl")});
    EXPECT_EQ(r.m_nExit, 0) << r.m_sErr;  // the last round saved its picture
    EXPECT_EQ(r.m_sOut, Temp("k2-0001.bmp") + "\n" + Temp("k2-0002.bmp") + "\n");
    // Each round starts with its picture parameters, one period after the one before.
    std::vector<uint64_t> startsMs;
    for (const CHostFrame& f : m_module.HostFrames())
        if (f.m_sText.rfind("P,", 0) == 0)
            startsMs.push_back(f.m_nAtUs / 1000);
    ASSERT_EQ(startsMs.size(), 3u);
    EXPECT_EQ(startsMs[1] - startsMs[0], 60000u);
    EXPECT_EQ(startsMs[2] - startsMs[1], 60000u);
    EXPECT_EQ(Count("I,00000,B4,0090,3#"), 5);
    const std::optional<std::string> journal = FileBytes(Temp("j.jsonl"));
    ASSERT_TRUE(journal.has_value());
    std::vector<std::string> results;
    for (size_t at = journal->find("\"result\":\""); at != std::string::npos;
         at = journal->find("\"result\":\"", at + 1))
        results.push_back(journal->substr(at + 10, journal->find('"', at + 10) - at - 10));
    // Each picture's line, then its round's.
    EXPECT_EQ(results, (std::vector<std::string>{"ok", "ok", "failed", "failed", "ok", "ok"}));
    EXPECT_NE(r.m_sErr.find("Kanal 2: kein vollständiges Bild empfangen !"), std::string::npos);
}

TEST_F(CliCommandsTest, CaptureRewritesThePageAndTheMetricsAfterEachRound) {
    const CCliResult r =
        Cli({"capture", "--channels", "2", "-o", Temp("bilder/k{channel}-{seq}.bmp"), "--journal",
             Temp("nord.jsonl"), "--report", Temp("seite"), "--metrics", Temp("pixlane.prom")});
    EXPECT_EQ(r.m_nExit, 0) << r.m_sErr;
    const std::optional<std::string> page = FileBytes(Temp("seite/index.html"));
    ASSERT_TRUE(page.has_value());
    EXPECT_NE(page->find("<tr class=\"aktuell\" data-site=\"nord\" data-channel=\"2\">"),
              std::string::npos)
        << *page;
    EXPECT_TRUE(FileBytes(Temp("pixlane.prom")).has_value());
    // Only what the journal records is removed: without one it is a usage error.
    EXPECT_EQ(Cli({"capture", "--keep", "30d"}).m_nExit, 2);
}

namespace {

// The value of a text field in a journal line.
std::string Field(const std::string& line, const std::string& name) {
    const std::string key = "\"" + name + "\":";
    const size_t at = line.find(key);
    if (at == std::string::npos)
        return {};
    const size_t from = at + key.size() + (line[at + key.size()] == '"' ? 1 : 0);
    return line.substr(from, line.find_first_of("\",}", from) - from);
}

// The picture lines of a journal, oldest first.
std::vector<std::string> PictureLines(const std::string& journal) {
    std::vector<std::string> lines;
    size_t from = 0;
    for (size_t end = journal.find('\n'); end != std::string::npos;
         from = end + 1, end = journal.find('\n', from)) {
        const std::string line = journal.substr(from, end - from);
        if (Field(line, "event") == "picture")
            lines.push_back(line);
    }
    return lines;
}

}  // namespace

TEST_F(CliCommandsTest, ACoveredCameraIsJournalledDarkShownOnThePageAndCountedInTheMetrics) {
    m_module.SetScene(ESimScene::Dark);
    const std::vector<std::string> args = {"capture",
                                           "--channels",
                                           "2",
                                           "-o",
                                           Temp("bilder/k{channel}-{seq}.bmp"),
                                           "--journal",
                                           Temp("nord.jsonl"),
                                           "--report",
                                           Temp("seite"),
                                           "--metrics",
                                           Temp("pixlane.prom")};
    const CCliResult r = Cli(args);
    // Saved and counted as received all the same.
    EXPECT_EQ(r.m_nExit, 0) << r.m_sErr;
    EXPECT_EQ(r.m_sOut, Temp("bilder/k2-0001.bmp") + "\n");
    EXPECT_NE(r.m_sErr.find("Kanal 2: Bild dunkel"), std::string::npos) << r.m_sErr;
    const std::vector<std::string> lines = PictureLines(FileBytes(Temp("nord.jsonl")).value());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(Field(lines[0], "result"), "ok");
    EXPECT_EQ(Field(lines[0], "check"), "dark");
    EXPECT_LT(std::atof(Field(lines[0], "mean").c_str()), 24);
    EXPECT_GT(std::atof(Field(lines[0], "spread").c_str()), 8);  // texture: not uniform
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9a-f]{16}$"))
                    .match(QString::fromStdString(Field(lines[0], "hash")))
                    .hasMatch());

    const std::string index = FileBytes(Temp("seite/index.html")).value();
    EXPECT_NE(
        index.find("<td class=\"zustand\">aktuell <span class=\"pruefung dark\">dunkel</span>"),
        std::string::npos)
        << index;
    const std::string site = FileBytes(Temp("seite/standort-nord.html")).value();
    EXPECT_NE(site.find("<figure class=\"pruefung\" data-check=\"dark\">"), std::string::npos);
    const std::string metrics = FileBytes(Temp("pixlane.prom")).value();
    EXPECT_NE(metrics.find("pixlane_picture_check{site=\"nord\",channel=\"2\",check=\"dark\"} 1\n"),
              std::string::npos)
        << metrics;
    EXPECT_NE(
        metrics.find("pixlane_picture_check{site=\"nord\",channel=\"2\",check=\"uniform\"} 0\n"),
        std::string::npos);
    EXPECT_NE(
        metrics.find("pixlane_picture_check{site=\"nord\",channel=\"2\",check=\"frozen\"} 0\n"),
        std::string::npos);
    EXPECT_TRUE(QRegularExpression(
                    QStringLiteral(
                        "\npixlane_last_run_timestamp_seconds\\{metrics_file=\"pixlane.prom\"\\} "
                        "[0-9]{10}\n"))
                    .match(QString::fromStdString(metrics))
                    .hasMatch())
        << metrics;

    // Light again: the newest picture is in order, and the series says so.
    m_module.SetScene(ESimScene::Normal);
    ASSERT_EQ(Cli(args).m_nExit, 0);
    const std::string after = FileBytes(Temp("pixlane.prom")).value();
    EXPECT_NE(after.find("pixlane_picture_check{site=\"nord\",channel=\"2\",check=\"dark\"} 0\n"),
              std::string::npos);
    EXPECT_EQ(FileBytes(Temp("seite/index.html"))->find("dunkel</span></td>"), std::string::npos);
}

TEST_F(CliCommandsTest, ACameraServingOneFrameIsFrozenAfterItsLimitAcrossRunsAndLimitsAreOptions) {
    m_module.SetScene(ESimScene::Repeated);
    const auto capture = [&](std::vector<std::string> more) {
        std::vector<std::string> args = {
            "capture",   "--channels",   "2", "-o", Temp("k{channel}-{seq}.bmp"),
            "--journal", Temp("j.jsonl")};
        args.insert(args.end(), more.begin(), more.end());
        const CCliResult r = Cli(args);
        EXPECT_EQ(r.m_nExit, 0) << r.m_sErr;
        return Field(PictureLines(FileBytes(Temp("j.jsonl")).value()).back(), "check");
    };
    // Each run is its own process: the previous pictures come from the journal.
    EXPECT_EQ(capture({"--frozen-after", "2"}), "ok");
    EXPECT_EQ(capture({"--frozen-after", "2"}), "ok");
    EXPECT_EQ(capture({"--frozen-after", "2"}), "frozen");
    EXPECT_EQ(capture({"--frozen-after", "0"}), "ok");
    // The default wants three before.
    EXPECT_EQ(capture({}), "frozen");
    EXPECT_EQ(capture({"--frozen-after", "6"}), "ok");  // five before it
    // A covered camera with the dark check turned off, and one with a higher limit for
    // uniform (its texture is then too little).
    m_module.SetScene(ESimScene::Dark);
    EXPECT_EQ(capture({"--dark-below", "0"}), "ok");
    EXPECT_EQ(capture({"--dark-below", "0", "--uniform-below", "255"}), "uniform");
    EXPECT_EQ(Cli({"capture", "--dark-below", "256"}).m_nExit, 2);
    EXPECT_EQ(Cli({"fetch", "--dark-below", "10"}).m_nExit, 2);
}

TEST_F(CliCommandsTest, FetchChecksThePictureWhenAsked) {
    m_module.SetScene(ESimScene::Uniform);
    const CCliResult r = Cli({"fetch", "--check", "-o", Temp("bild.bmp")});
    EXPECT_EQ(r.m_nExit, 0) << r.m_sErr;
    EXPECT_NE(r.m_sErr.find("Bildprüfung: einfarbig (Helligkeit 128,0, Spanne 0,0)"),
              std::string::npos)
        << r.m_sErr;
    EXPECT_TRUE(FileBytes(Temp("bild.bmp")).has_value());
    EXPECT_EQ(Cli({"fetch", "-o", Temp("b2.bmp")}).m_sErr.find("Bildprüfung"), std::string::npos);
}

TEST_F(CliCommandsTest, CaptureBetweenTimesAcrossMidnightDialsOnlyInsideInVirtualTime) {
    const QDateTime start(QDate(2026, 12, 9), QTime(21, 30), Qt::UTC);
    m_fnNow = [&] { return start.addMSecs(static_cast<qint64>(m_clock.NowMs())); };
    const CCliResult r =
        Cli({"capture", "--channels", "2", "--between", "22:00-06:00", "--every", "1h", "--count",
             "10", "-o", Temp("k{channel}-{seq}.bmp"), "--journal", Temp("j.jsonl")});
    // 21:30 and 06:30 are outside; 22:30 up to 05:30 inside, across midnight.
    EXPECT_EQ(r.m_nExit, 0) << r.m_sErr;
    const std::vector<std::string> lines = PictureLines(FileBytes(Temp("j.jsonl")).value());
    ASSERT_EQ(lines.size(), 8u) << r.m_sErr;
    EXPECT_EQ(Field(lines.front(), "time").substr(0, 16), "2026-12-09T22:30");
    EXPECT_EQ(Field(lines.back(), "time").substr(0, 16), "2026-12-10T05:30");
    EXPECT_NE(r.m_sErr.find("Außerhalb des Zeitfensters 22:00-06:00, nächste Aufnahme ab "
                            "2026-12-09 22:00"),
              std::string::npos)
        << r.m_sErr;
    EXPECT_NE(r.m_sErr.find("nächste Aufnahme ab 2026-12-10 22:00"), std::string::npos);

    // A single run outside: nothing dialled or opened, said, and status 0.
    m_factory.m_opened.clear();
    const size_t frames = m_module.Frames().size();
    const CCliResult outside = Cli({"capture", "--between", "08:00-16:00", "--journal",
                                    Temp("j2.jsonl"), "-o", Temp("x{seq}.bmp")});
    EXPECT_EQ(outside.m_nExit, 0) << outside.m_sErr;
    EXPECT_TRUE(m_factory.m_opened.empty());
    EXPECT_EQ(m_module.Frames().size(), frames);
    EXPECT_NE(outside.m_sErr.find("Außerhalb des Zeitfensters 08:00-16:00"), std::string::npos);
    EXPECT_EQ(Cli({"capture", "--between", "08:00-16:00", "--daylight", "48,11"}).m_nExit, 2);
    EXPECT_EQ(Cli({"capture", "--between", "8-16"}).m_nExit, 2);
}
