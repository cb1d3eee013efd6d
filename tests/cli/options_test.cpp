// The command line of pixlane-cli: what each option sets, and the usage errors, which end
// with exit status 2 before any serial line is touched.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "CliRunner.h"
#include "PixlaneVersion.h"
#include "cli/CliOptions.h"

namespace {

ECliParse Parse(std::vector<std::string> args, CCliOptions& o, std::string& error) {
    args.insert(args.begin(), "pixlane-cli");
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    return ParseCli(static_cast<int>(args.size()), argv.data(), o, error);
}

CCliOptions ParseOk(const std::vector<std::string>& args) {
    CCliOptions o;
    std::string error;
    EXPECT_EQ(Parse(args, o, error), ECliParse::Run) << error;
    return o;
}

const char* const kCommands[] = {"status", "timestamp", "channel", "params", "reset",
                                 "dial",   "hangup",    "fetch",   "capture"};

TEST(CliOptionsTest, GlobalOptionsComeBeforeTheCommandInBothSpellings) {
    const CCliOptions a = ParseOk(
        {"--device", "/dev/pts/7", "--baud", "9600", "--handshake", "off", "--quiet", "reset"});
    EXPECT_EQ(a.m_sDevice, "/dev/pts/7");
    EXPECT_EQ(a.m_iCom, 0);
    EXPECT_EQ(a.m_iBaudrate, 9600);
    ASSERT_TRUE(a.m_bHandshake.has_value());
    EXPECT_FALSE(*a.m_bHandshake);
    EXPECT_TRUE(a.m_bQuiet);
    EXPECT_EQ(a.m_sCommand, "reset");

    const CCliOptions b = ParseOk({"--com=3", "--handshake=on", "hangup"});
    EXPECT_EQ(b.m_iCom, 3);
    EXPECT_TRUE(b.m_sDevice.empty());
    EXPECT_EQ(b.m_iBaudrate, 0);  // the stored rate
    EXPECT_TRUE(*b.m_bHandshake);
    EXPECT_FALSE(b.m_bQuiet);

    const CCliOptions c = ParseOk({"reset"});
    EXPECT_FALSE(c.m_bHandshake.has_value());  // the stored setting
    EXPECT_FALSE(c.m_bDemo);

    const CCliOptions d = ParseOk({"--demo-modem", "dial"});
    EXPECT_TRUE(d.m_bDemo);
    EXPECT_TRUE(d.m_bDemoModem);
    EXPECT_FALSE(ParseOk({"--demo", "dial"}).m_bDemoModem);
    EXPECT_EQ(ParseOk({"--demo-modem", "--demo-scene", "repeated", "dial"}).m_sDemoScene,
              "repeated");
    EXPECT_EQ(ParseOk({"--demo", "dial"}).m_sDemoScene, "");
}

TEST(CliOptionsTest, CommandArgumentsAreTaken) {
    for (const char* q : {"camera", "input", "error", "version"})
        EXPECT_EQ(ParseOk({"status", q}).m_sQuery, q);
    EXPECT_FALSE(ParseOk({"timestamp"}).m_bResetTime);
    EXPECT_TRUE(ParseOk({"timestamp", "--reset"}).m_bResetTime);
    EXPECT_EQ(ParseOk({"channel", "1"}).m_iKanal, 1);
    EXPECT_EQ(ParseOk({"channel", "8"}).m_iKanal, 8);
    EXPECT_EQ(ParseOk({"params"}).m_iBildbreite, 0);  // the stored width
    EXPECT_EQ(ParseOk({"params", "--width", "360"}).m_iBildbreite, 360);
    EXPECT_FALSE(ParseOk({"dial"}).m_sTel_nr.has_value());
    EXPECT_EQ(ParseOk({"dial", "--number", "!31"}).m_sTel_nr.value_or(""), "!31");
}

TEST(CliOptionsTest, FetchOptionsOverrideTheStoredImageSettings) {
    const CCliOptions d = ParseOk({"fetch"});
    EXPECT_EQ(d.m_sOutput, "pixlane.bmp");
    EXPECT_EQ(d.m_iBildbreite, 0);
    EXPECT_EQ(d.m_iBildhoehe, 0);
    EXPECT_FALSE(d.m_bColour.has_value());
    EXPECT_EQ(d.m_iModus, 0);
    EXPECT_FALSE(d.m_bExpert);
    EXPECT_FALSE(d.m_bModem);

    const CCliOptions f = ParseOk({"fetch", "-o", "x.png", "--width", "360", "--height", "200",
                                   "--colour", "--mode", "4", "--expert", "1a,ff,120", "--modem"});
    EXPECT_EQ(f.m_sOutput, "x.png");
    EXPECT_EQ(f.m_iBildbreite, 360);
    EXPECT_EQ(f.m_iBildhoehe, 200);
    EXPECT_TRUE(f.m_bColour.value_or(false));
    EXPECT_EQ(f.m_iModus, 4);
    EXPECT_TRUE(f.m_bExpert);
    EXPECT_EQ(f.m_sOffset, "1a");
    EXPECT_EQ(f.m_sBgroesse, "ff");
    EXPECT_EQ(f.m_sBanzahl, "120");
    EXPECT_TRUE(f.m_bModem);

    const CCliOptions m = ParseOk({"fetch", "--output=y.bmp", "--mono", "--mode=2"});
    EXPECT_EQ(m.m_sOutput, "y.bmp");
    EXPECT_FALSE(m.m_bColour.value_or(true));
    EXPECT_EQ(m.m_iModus, 2);
}

TEST(CliOptionsTest, CaptureTakesChannelsNamesPeriodAndCount) {
    const CCliOptions d = ParseOk({"capture"});
    EXPECT_TRUE(d.m_channels.empty());  // the stored channel
    EXPECT_EQ(d.m_sPattern, kDefaultNamePattern);
    EXPECT_EQ(d.m_nEverySeconds, 0);
    EXPECT_EQ(d.m_nCount, 0);
    EXPECT_FALSE(d.m_bModem || d.m_bLocal);

    const CCliOptions c =
        ParseOk({"capture", "--channels", "5,1,3", "-o", "a/{seq}.png", "--journal", "j.jsonl",
                 "--every", "90s", "--count", "4", "--exec", "true", "--latest", "l.png", "--local",
                 "--colour", "--number", "!31"});
    EXPECT_EQ(c.m_channels, (std::vector<int>{5, 1, 3}));
    EXPECT_EQ(c.m_sPattern, "a/{seq}.png");
    EXPECT_EQ(c.m_sJournal, "j.jsonl");
    EXPECT_EQ(c.m_nEverySeconds, 90);
    EXPECT_EQ(c.m_nCount, 4);
    EXPECT_EQ(c.m_sExec, "true");
    EXPECT_EQ(c.m_sLatest, "l.png");
    EXPECT_TRUE(c.m_bLocal);
    EXPECT_TRUE(c.m_bColour.value_or(false));
    EXPECT_EQ(c.m_sTel_nr.value_or(""), "!31");
    EXPECT_EQ(ParseOk({"capture", "--channels=all", "--modem"}).m_channels,
              (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));
    // A plain number is minutes.
    const std::pair<const char*, int> periods[] = {
        {"10s", 10},       {"5m", 300},    {"1h", 3600},     {"7", 420},
        {"720h", 2592000}, {"2d", 172800}, {"30d", 2592000}, {"31d", 0}};
    for (const auto& [text, seconds] : periods) {
        CCliOptions o;
        std::string error;
        const ECliParse parsed = Parse({"capture", "--every", text}, o, error);
        EXPECT_EQ(parsed, seconds > 0 ? ECliParse::Run : ECliParse::UsageError) << text;
        if (seconds > 0) {
            EXPECT_EQ(o.m_nEverySeconds, seconds) << text;
        }
    }
}

TEST(CliOptionsTest, UsageErrorsAreRefusedBeforeAnyLineIsOpened) {
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"frobnicate"},
        {"--frob", "reset"},
        {"reset", "--frob"},
        {"reset", "extra"},
        {"status"},
        {"status", "camera", "input"},
        {"status", "temperature"},
        {"timestamp", "--reset=1"},
        {"channel"},
        {"channel", "0"},
        {"channel", "9"},
        {"channel", "x"},
        {"channel", "1", "2"},
        {"params", "--width", "250"},
        {"params", "--width"},
        {"dial", "--number", ""},
        {"hangup", "--number", "12"},
        {"--device", "/dev/pts/1", "--com", "2", "reset"},
        {"--com", "2", "--device", "/dev/pts/1", "reset"},
        {"--demo", "--device", "/dev/pts/1", "reset"},
        {"--demo-scene", "dark", "fetch"},
        {"--demo", "--demo-scene", "night", "fetch"},
        {"--com", "0", "reset"},
        {"--com", "10", "reset"},
        {"--com"},
        {"--baud", "fast", "reset"},
        {"--baud", "0", "reset"},
        {"--handshake", "maybe", "reset"},
        {"--quiet=yes", "reset"},
        {"fetch", "--width", "256"},
        {"fetch", "--height", "0"},
        {"fetch", "--height", "5000"},
        {"fetch", "--mode", "0"},
        {"fetch", "--mode", "5"},
        {"fetch", "--mode"},
        {"fetch", "--mono", "--colour"},
        {"fetch", "--colour", "--mode", "3"},
        {"fetch", "--mono", "--mode", "4"},
        {"fetch", "--expert", "0,FF"},
        {"fetch", "--expert", "0,FF,90,1"},
        {"fetch", "--expert", "000000,FF,90"},
        {"fetch", "--expert", "0,FFF,90"},
        {"fetch", "--expert", "0,FF,12345"},
        {"fetch", "--expert", "0,GG,90"},
        {"fetch", "--expert", "0,,90"},
        {"fetch", "-o", ""},
        {"fetch", "--modem=1"},
        {"capture", "--every", "9s"},
        {"capture", "--every", "0"},
        {"capture", "--every", "5x"},
        {"capture", "--every", "721h"},
        {"capture", "--count", "3"},
        {"capture", "--every", "1m", "--count", "0"},
        {"capture", "--channels", "0,1"},
        {"capture", "--channels", "1,,2"},
        {"capture", "--channels", "9"},
        {"capture", "-o", "-"},
        {"capture", "-o", "/dev/stdout"},
        {"capture", "-o", "bild-%Q.bmp"},
        {"capture", "-o", "k{kanal}.bmp"},
        {"capture", "-o", "bilder/"},
        // Names that name no file, or would break the list of names one a line.
        {"capture", "-o", "bilder/.."},
        {"capture", "-o", "/dev/null"},
        {"capture", "-o", "k\x1b[2J.bmp"},
        {"capture", "-o", "k\xff.bmp"},
        {"capture", "--latest", "l\xe4.bmp"},
        {"fetch", "-o", "bild\n.bmp"},
        {"--device", "/dev/tty\xff", "reset"},
        // A device server's port that is none.
        {"--device", "rfc2217://10.1.2.3", "reset"},
        {"--device", "tcp://host:65536", "fetch"},
        {"sites", "--add", "halle", "--device", "tcp://fd00::7:4001"},
        {"capture", "--journal", "-"},
        {"capture", "--latest", "-"},
        {"capture", "--modem", "--local"},
        {"capture", "--exec", "/nonexistent/program"},
        {"capture", "--local=1"},
        {"capture", "--colour", "--mode", "3"},
        // Old pictures go only below a folder the user named, and only what is a picture.
        {"capture", "-o", "%Y/k{channel}.bmp", "--journal", "j", "--keep", "30d"},
        {"capture", "-o", "/%Y/k{channel}.bmp", "--journal", "j", "--keep", "30d"},
        {"capture", "-o", "k{channel}.jpg", "--journal", "j", "--min-free", "1G"},
    };
    for (const auto& args : bad) {
        std::string joined;
        for (const auto& a : args)
            joined += a + " ";
        CCliOptions o;
        std::string error;
        EXPECT_EQ(Parse(args, o, error), ECliParse::UsageError) << joined;
        EXPECT_FALSE(error.empty()) << joined;
        // The port named does not exist: a run that got as far as opening it would end
        // with 1, not 2.
        std::vector<std::string> run = args;
        bool namesLine = false;
        for (const auto& a : args)
            namesLine |= a.rfind("--device", 0) == 0 || a.rfind("--com", 0) == 0 || a == "--demo";
        if (!namesLine)
            run.insert(run.begin(), {"--device", "/nonexistent/tty"});
        const CCliResult r = RunCliWith(run);
        EXPECT_EQ(r.m_nExit, 2) << joined << "\n" << r.m_sErr;
        EXPECT_EQ(r.m_sOut, "") << joined;
        EXPECT_EQ(r.m_sErr.rfind("pixlane-cli: ", 0), 0u) << joined;
        EXPECT_NE(r.m_sErr.find("--help"), std::string::npos) << joined;
        EXPECT_EQ(r.m_sErr.find("kann nicht geöffnet werden"), std::string::npos) << joined;
    }
}

TEST(CliOptionsTest, ErrorsNameWhatIsWrong) {
    CCliOptions o;
    std::string error;
    Parse({"channel", "9"}, o, error);
    EXPECT_NE(error.find("9"), std::string::npos);
    Parse({"frobnicate"}, o, error);
    EXPECT_NE(error.find("frobnicate"), std::string::npos);
    Parse({"fetch", "--mode", "7"}, o, error);
    EXPECT_NE(error.find("--mode"), std::string::npos);
    Parse({"--device", "/x", "--com", "1", "reset"}, o, error);
    EXPECT_NE(error.find("--device"), std::string::npos);
    EXPECT_NE(error.find("--com"), std::string::npos);
    Parse({"capture", "-o", "%Y/k{channel}.bmp", "--journal", "j", "--keep", "30d"}, o, error);
    EXPECT_EQ(
        error,
        "--keep und --min-free löschen hier nichts: Das Namensmuster \"%Y/k{channel}.bmp\" "
        "beginnt mit einem Feld und nennt keinen Ordner; gelöscht wird nur unter einem "
        "genannten Ordner (--folder DIR, oder ein fester erster Ordner wie in bilder/%Y/...).");
    EXPECT_EQ(ParseOk({"capture", "--folder", "bilder", "-o", "%Y/k{channel}.bmp", "--journal", "j",
                       "--keep", "30d"})
                  .m_nKeepSeconds,
              30 * 24 * 3600);
    Parse({"--device", "rfc2217://10.1.2.3", "reset"}, o, error);
    EXPECT_EQ(error,
              "--device: Netzadresse rfc2217://10.1.2.3: Port fehlt (rfc2217://RECHNER:PORT)");
    EXPECT_EQ(ParseOk({"--device", "rfc2217://[fd00::7]:4001", "reset"}).m_sDevice,
              "rfc2217://[fd00::7]:4001");
    // A byte that would be taken for another is named as it is, never passed to the terminal.
    Parse({"--device", "/dev/tty\xff", "reset"}, o, error);
    EXPECT_NE(error.find("\"/dev/tty\\xFF\" enthält Bytes, die kein UTF-8 sind (\\xFF)"),
              std::string::npos)
        << error;
}

TEST(CliOptionsTest, HelpDescribesTheProgramAndEveryCommand) {
    const CCliResult all = RunCliWith({"--help"});
    EXPECT_EQ(all.m_nExit, 0);
    EXPECT_EQ(all.m_sErr, "");
    for (const char* option : {"--device", "--com", "--baud", "--handshake", "--quiet", "--demo",
                               "--demo-modem", "Exit status"})
        EXPECT_NE(all.m_sOut.find(option), std::string::npos) << option;
    for (const char* cmd : kCommands) {
        EXPECT_NE(all.m_sOut.find(std::string("  ") + cmd + " "), std::string::npos) << cmd;
        // Help wins over anything else on the line, and no line is opened for it.
        const CCliResult one = RunCliWith({"--device", "/nonexistent/tty", cmd, "--help"});
        EXPECT_EQ(one.m_nExit, 0) << cmd;
        EXPECT_EQ(one.m_sOut, CliHelp(cmd)) << cmd;
        EXPECT_EQ(one.m_sOut.rfind(std::string("Usage: pixlane-cli [OPTIONS] ") + cmd, 0), 0u)
            << cmd;
        EXPECT_EQ(one.m_sErr, "") << cmd;
    }
    const std::string fetch = CliHelp("fetch");
    for (const char* option :
         {"-o", "--width", "--height", "--mono", "--colour", "--mode", "--expert", "--modem"})
        EXPECT_NE(fetch.find(option), std::string::npos) << option;
    const std::string capture = CliHelp("capture");
    for (const char* said : {"--channels", "-o", "--journal", "--every", "--count", "--exec",
                             "--latest", "--modem", "--local", "SIGTERM", "Exit status"})
        EXPECT_NE(capture.find(said), std::string::npos) << said;
    EXPECT_EQ(CliHelp("frobnicate"), "");
}

// Where the help and the parser could part: a usage line, a label or a literal form that
// misspells an option, or a text that names one the parser does not take.
// The options a help text names: "-x" or "--xyz-abc" not inside a word.
static std::set<std::string> NamedOptions(const std::string& help) {
    const auto lower = [](char c) { return c >= 'a' && c <= 'z'; };
    const auto inWord = [&](char c) {
        return lower(c) || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
    };
    std::set<std::string> named;
    for (size_t i = 0; i < help.size(); ++i) {
        if (help[i] != '-' || (i > 0 && inWord(help[i - 1])))
            continue;
        size_t j = help.compare(i, 2, "--") == 0 ? i + 2 : i + 1;
        if (j >= help.size() || !lower(help[j]))
            continue;
        while (j < help.size() && (lower(help[j]) || help[j] == '-'))
            ++j;
        named.insert(help.substr(i, j - i));
        i = j - 1;
    }
    return named;
}

TEST(CliOptionsTest, HelpNamesExactlyTheOptionsTheParserTakes) {
    const char* const topics[] = {"",        "status", "timestamp", "channel",   "params",
                                  "reset",   "dial",   "hangup",    "fetch",     "ports",
                                  "capture", "report", "sites",     "timelapse", "retention"};
    std::set<std::string> everyOption{"--help"};
    for (const char* command : topics)
        for (const std::string& name : CliOptionNames(command))
            everyOption.insert(name);
    for (const char* command : topics) {
        const std::string help = CliHelp(command);
        const std::set<std::string> inHelp = NamedOptions(help);
        const std::vector<std::string> names = CliOptionNames(command);
        for (const std::string& name : names)
            EXPECT_TRUE(inHelp.count(name)) << "help of \"" << command << "\" leaves out " << name;
        // The program's help names the commands' options too; a command's names its own.
        const std::set<std::string> taken =
            *command == '\0' ? everyOption : std::set<std::string>(names.begin(), names.end());
        for (const std::string& option : inHelp)
            EXPECT_TRUE(taken.count(option))
                << "help of \"" << command << "\" names " << option << ", which is not taken";
    }
}

TEST(CliOptionsTest, VersionIsAGlobalOptionWithoutValue) {
    const CCliResult version = RunCliWith({"--device", "/nonexistent/tty", "--version"});
    EXPECT_EQ(version.m_nExit, 0);
    EXPECT_EQ(version.m_sOut, std::string("pixlane-cli ") + kPixlaneVersion + "\n");
    EXPECT_EQ(version.m_sErr, "");
    for (const std::vector<std::string>& wrong :
         {std::vector<std::string>{"--version=2"}, {"fetch", "--version"}}) {
        const CCliResult r = RunCliWith(wrong);
        EXPECT_EQ(r.m_nExit, 2) << wrong.back();
        EXPECT_EQ(r.m_sOut, "") << wrong.back();
        EXPECT_NE(r.m_sErr.find("--version"), std::string::npos) << r.m_sErr;
    }
}

}  // namespace

namespace {

// A pool's lines: each once, only with --sites, never beside a line of the global options;
// its rounds get the arguments as given and the pool's own options, which the help
// leaves out.
TEST(CliOptionsTest, LinesOfAPoolAreCheckedAndItsRoundsOptionsHidden) {
    const CCliOptions o =
        ParseOk({"-q", "capture", "--sites", "all", "--lines", "/dev/ttyUSB0,3,tcp://h:4001"});
    EXPECT_EQ(o.m_lines, (std::vector<std::string>{"/dev/ttyUSB0", "3", "tcp://h:4001"}));
    EXPECT_EQ(o.m_args, (std::vector<std::string>{"-q", "capture", "--sites", "all", "--lines",
                                                  "/dev/ttyUSB0,3,tcp://h:4001"}));
    const CCliOptions round = ParseOk({"capture", "--sites", "all", "--lines", "/dev/a,/dev/b",
                                       "--pool-site", "nord", "--pool-line", "/dev/b"});
    EXPECT_TRUE(round.m_bPoolRound);
    EXPECT_FALSE(round.m_bPoolHangUp);
    EXPECT_TRUE(ParseOk({"capture", "--sites", "all", "--lines", "/dev/a", "--pool-site", "nord",
                         "--pool-line", "/dev/a", "--pool-hangup"})
                    .m_bPoolHangUp);
    EXPECT_EQ(round.m_sPoolSite, "nord");
    EXPECT_EQ(round.m_sPoolLine, "/dev/b");
    const std::vector<std::string> names = CliOptionNames("capture");
    EXPECT_NE(std::find(names.begin(), names.end(), "--lines"), names.end());
    EXPECT_EQ(std::find(names.begin(), names.end(), "--pool-site"), names.end());
    EXPECT_EQ(std::find(names.begin(), names.end(), "--pool-hangup"), names.end());

    const std::pair<std::vector<std::string>, const char*> refused[] = {
        {{"capture", "--lines", "/dev/a,/dev/b"}, "braucht --sites"},
        {{"--device", "/dev/c", "capture", "--sites", "all", "--lines", "/dev/a"}, "schließt"},
        {{"capture", "--sites", "all", "--lines", "/dev/a,/dev/a"}, "doppelt"},
        {{"capture", "--sites", "all", "--lines", "/dev/a,"}, "--lines"},
        {{"capture", "--sites", "all", "--lines", "tcp://nohost"}, "--lines"},
        {{"fetch", "--pool-site", "nord"}, "unbekannte Option"},
        {{"hangup", "--pool-hangup"}, "unbekannte Option"},
    };
    for (const auto& [args, why] : refused) {
        CCliOptions p;
        std::string error;
        EXPECT_EQ(Parse(args, p, error), ECliParse::UsageError) << args.back();
        EXPECT_NE(error.find(why), std::string::npos) << error;
    }
}

}  // namespace
