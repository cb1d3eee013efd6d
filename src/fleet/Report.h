#pragma once

#include <QByteArray>
#include <QDateTime>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "image/PictureCheck.h"

// The status of every site and camera, read from capture journals: what the status page
// and the metrics file show.

// A good picture: when it was taken and where its file is on this machine (empty when it
// is found nowhere).
struct CReportPicture {
    QDateTime m_time;
    std::string m_sFile;
    EPictureCheck m_eCheck = EPictureCheck::Ok;  // Ok as well when it was not checked
};

struct CCameraStatus {
    int m_iChannel = 0;
    // The newest good ones, newest first: within one journal the later line is the newer
    // picture, whatever its time says; between journals the later time.
    std::vector<CReportPicture> m_pictures;
    int m_nGood24h = 0;
    int m_nFailed24h = 0;  // failed pictures and the site's failed dials (each a missed one)
    int m_nGood7d = 0;
    int m_nFailed7d = 0;
    uint64_t m_nGoodBytes7d = 0;  // of the good pictures of 7 days, for the mean rate
    double m_dGoodSeconds7d = 0;
    int64_t m_nLastRate = -1;  // bytes per second of the newest good picture; -1: none
    QDateTime m_lastFailure;
    std::string m_sLastFailure;
    int64_t m_nPeriodSeconds = 0;  // the usual gap between its attempts; 0: unknown
    bool m_bStale = false;

    // The mean rate of the good pictures of 7 days; -1: none.
    int64_t MeanRate() const;
    // The check of the newest good picture; Ok without one.
    EPictureCheck NewestCheck() const;
};

// A film of a day that lies in a site's folder (see DayFilmName).
struct CReportFilm {
    std::string m_sFile;
    std::string m_sDay;  // 2026-12-09
    int m_iChannel = 0;
};

// How many films of a site its page lists.
inline constexpr size_t kReportFilms = 7;

struct CSiteStatus {
    std::string m_sName;
    // The films of days in the folders of the site's journals, newest day first (then by
    // channel).
    std::vector<CReportFilm> m_films;
    std::vector<CCameraStatus> m_cameras;  // by channel
    bool m_bHasRounds = false;
    double m_dOffhookSeconds24h = 0;
    QDateTime m_lastRound;
    double m_dLastRoundOffhook = 0;
    QDateTime m_lastFailure;  // of a dial, a parameter write or a hang-up
    std::string m_sLastFailure;
    int m_nFailedDials24h = 0;  // counted as failed pictures of each camera as well
    int m_nFailedDials7d = 0;

    // The file name of the site's page, made of letters, digits, "-" and "_" only, short
    // enough for any file system, and distinct for distinct names.
    std::string PageName() const;
};

// A line of a pool, from the journals' round lines of the last 24 hours (each names the
// line it used) and the pool's own state.
struct CLineStatus {
    std::string m_sLine;
    int m_nRounds24h = 0;
    int m_nFailed24h = 0;  // rounds that kept not every picture ("failed", "partial")
    double m_dOffhookSeconds24h = 0;
    bool m_bOut = false;  // out of the pool now
};

struct CReport {
    QDateTime m_now;
    std::vector<CSiteStatus> m_sites;     // by name
    std::vector<std::string> m_problems;  // journals not found or not readable (German)
    // What was passed over without failing the report: lines whose time lies more than a
    // day ahead (German, for standard error and the page).
    std::vector<std::string> m_notes;
    // Every line the round lines of the last 24 hours name, by name; shown with a pool alone.
    std::vector<CLineStatus> m_lines;
    bool m_bPool = false;
    // With a pool: each site's latest round, and how many seconds after its time it began.
    std::vector<std::pair<std::string, double>> m_lags;
};

// How many good pictures of a camera the site's page shows.
inline constexpr size_t kReportPictures = 12;

// The journals a source stands for: a journal file, or every *.jsonl below a folder.
std::vector<std::string> JournalsOf(const std::string& source);

// Reads the journals the sources stand for, back to seven days before now. A line
// without "site" belongs to the site the journal's name gives (see SiteOfJournal). Lines
// more than a day ahead of now are passed over (said in m_notes); a single line from long
// ago does not end the reading, only a long run of them does.
CReport ReadReport(const std::vector<std::string>& sources, const QDateTime& now);

// The site of a journal whose lines name none: the journal's name without ".jsonl",
// or, for the usual names "journal.jsonl" and "pixlane-journal.jsonl", its folder's name.
std::string SiteOfJournal(const std::string& path);

// The page of all sites (index.html) and the page of one site, with the pictures linked
// relative to the folder the pages go to.
QByteArray ReportIndexPage(const CReport& report, const std::string& folder);
QByteArray ReportSitePage(const CReport& report, const CSiteStatus& site,
                          const std::string& folder);
// The metrics in the text format of the node exporter's textfile collector. A site whose
// name holds a control character other than a line break (which the format cannot carry)
// is left out, said in notes (German) when given. The time of the report is the time of
// the run, labelled with the metrics file's name (file) when given: every file of one
// textfile folder then has a series of its own.
QByteArray ReportMetrics(const CReport& report, std::vector<std::string>* notes = nullptr,
                         const std::string& file = {});

// Writes the site pages and index.html into the folder (made when missing) as one set:
// either all of them replace the previous ones, index.html last, or none does. The
// metrics file is replaced atomically. False with the reason (German).
bool WriteReportPages(const CReport& report, const std::string& folder, std::string* error);
bool WriteReportMetrics(const CReport& report, const std::string& file, std::string* error);

// Reads the sources as of now and writes the page into folder and the metrics into
// metrics (each when given). What could not be read or written goes to problems, a
// German text each; true when nothing did. What was passed over without failing goes to
// notes (when given).
// With a pool, the page and the metrics show its lines as well.
struct CPoolReport;
bool WriteReport(const std::vector<std::string>& sources, const QDateTime& now,
                 const std::string& folder, const std::string& metrics,
                 std::vector<std::string>& problems, std::vector<std::string>* notes = nullptr,
                 const CPoolReport* pool = nullptr);

// What a pool of lines knows beyond the journals.
struct CPoolReport {
    std::vector<std::string> m_lines;  // every line of the pool, as the round lines name it
    std::vector<std::string> m_out;    // those out of the pool now
    std::vector<std::pair<std::string, double>> m_lags;  // site, seconds late
};
// The report with the pool's lines (those of the pool, in its order) and lags.
void AddPool(CReport& report, const CPoolReport& pool);
