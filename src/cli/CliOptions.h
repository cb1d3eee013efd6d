#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "capture/FetchRequest.h"
#include "capture/NamePattern.h"
#include "fleet/Target.h"

// Everything the command line of pixlane-cli says. Unset values (0, empty, nullopt) mean:
// take the stored setting.
struct CCliOptions {
    // Global options, before the command.
    std::string m_sDevice;
    int m_iCom = 0;
    int m_iBaudrate = 0;
    std::optional<bool> m_bHandshake;
    bool m_bQuiet = false;
    bool m_bDemo = false;
    bool m_bDemoModem = false;
    // What the demo's camera shows (a scene name of the simulator; empty: the test picture).
    std::string m_sDemoScene;
    // The site of the book whose values are the defaults (empty: none); every command.
    std::string m_sSite;

    // The command and, with --help, the topic (empty: the whole program).
    std::string m_sCommand;
    bool m_bHelp = false;
    bool m_bVersion = false;

    // status
    std::string m_sQuery;
    // timestamp
    bool m_bResetTime = false;
    // channel
    int m_iKanal = 0;
    // params, fetch
    int m_iBildbreite = 0;
    // dial
    std::optional<std::string> m_sTel_nr;
    // fetch
    std::string m_sOutput = "pixlane.bmp";
    int m_iBildhoehe = 0;
    std::optional<bool> m_bColour;
    int m_iModus = 0;
    bool m_bExpert = false;
    std::string m_sOffset;
    std::string m_sBgroesse;
    std::string m_sBanzahl;
    bool m_bModem = false;  // fetch, capture
    // capture
    std::vector<int> m_channels;  // empty: the stored channel
    std::string m_sPattern = kDefaultNamePattern;
    bool m_bPatternGiven = false;
    // capture --sites: the sites, one round each; all of the book when m_bAllSites.
    std::vector<std::string> m_sites;
    bool m_bAllSites = false;
    std::string m_sJournal;
    int m_nEverySeconds = 0;  // 0: one round
    int m_nCount = 0;         // rounds at most; 0: until stopped
    std::string m_sExec;
    std::string m_sLatest;
    bool m_bLocal = false;
    int m_nKeepSeconds = 0;        // 0: pictures kept for ever; with tiers the last's age
    std::string m_sKeepTiers;      // --keep as tiers ("7d:all,90d:1h"); empty: none
    uint64_t m_nMinFreeBytes = 0;  // 0: no limit
    // report, capture: the folder of the status page and the metrics file (empty: none)
    std::string m_sReportOut;
    std::string m_sMetrics;
    // report: the journals and folders of journals
    std::vector<std::string> m_sources;
    // ports
    bool m_bJson = false;
    int m_iAssign = 0;  // the port number to store a device for (1..9)
    std::string m_sAssignDevice;
    bool m_bClear = false;
    // sites: add (or change) or remove a site, in the user's book or the system's.
    std::string m_sAddSite;
    std::string m_sRemoveSite;
    bool m_bSystemBook = false;
    std::string m_sFolder;
    std::string m_sDescription;

    // capture --lines: the lines of a pool (devices, port numbers 1..9, device servers'
    // ports), each taking the next site due; empty: every round on one line.
    std::vector<std::string> m_lines;
    // One round of a pool, in a process of its own that the pool's process starts: the
    // site, and the pool's line it runs on (empty: the site's own line).
    bool m_bPoolRound = false;
    std::string m_sPoolSite;
    std::string m_sPoolLine;
    // Instead of the round: the call a round left open when it died is ended on its line.
    bool m_bPoolHangUp = false;
    // The arguments as given, without the program's name; a pool's rounds get them again.
    std::vector<std::string> m_args;
    // capture, sites --add, fetch --check: the picture check's limits; capture and sites
    // --add: the capture window.
    CCheckChanges m_check;
    bool m_bCheck = false;  // fetch: check the picture and say what the check found
    // timelapse and retention: the journal named instead of a site (empty: none)
    std::string m_sJournalGiven;
    // timelapse: the camera (0: the only one of the span), the day (a date, "today" or
    // "yesterday") or the span (local times), frames a second and the film
    int m_iFilmChannel = 0;
    std::string m_sDay;
    std::string m_sFrom;
    std::string m_sTo;
    int m_nFps = 24;
    std::string m_sFilm;
    // retention: say what would go, remove nothing
    bool m_bDryRun = false;
};

// What the picture options change of a request.
CRequestChanges PictureChanges(const CCliOptions& options);
// What the options say of a target.
CTargetOptions TargetOptions(const CCliOptions& options);

enum class ECliParse { Run, Help, Version, UsageError };

// Reads the arguments (argv[0] is the program name). On a usage error, error holds the
// reason in German.
ECliParse ParseCli(int argc, char** argv, CCliOptions& options, std::string& error);

// Why --keep and --min-free cannot work, as the command line says it.
std::string KeepProblemText(const std::string& problem);

// The help text of the program (empty command) or of one command; empty for an unknown
// command.
std::string CliHelp(const std::string& command);

// The options the program (empty command) or a command takes, as its help shows them
// ("-o", "--output", ...); other spellings it takes as well are left out.
std::vector<std::string> CliOptionNames(const std::string& command);
