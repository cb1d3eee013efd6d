#include "fleet/Report.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QUrl>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <set>
#include <string_view>

#include "capture/InputFile.h"
#include "capture/Journal.h"
#include "capture/TargetFile.h"
#include "capture/Units.h"
#include "fleet/Film.h"

namespace {

constexpr qint64 kDay = 24 * 3600;
// The page asks the browser to load it again this often (seconds).
constexpr int kRefreshSeconds = 60;

std::string Utf8(const QString& s) {
    return s.toUtf8().toStdString();
}

QString Q(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// ---- reading the journals into the status ----

// Which line of a kind is the newest: within one journal the line read first (they come
// from its end back, and a clock that was wrong for a while does not reorder what was
// written after), between journals the later time.
struct CNewest {
    int m_iJournal = -1;
    qint64 m_nEpoch = 0;

    // True when the line of that journal and time is newer than the one held, which it
    // then becomes.
    bool Take(int journal, qint64 epoch) {
        if (m_iJournal == journal || (m_iJournal >= 0 && epoch <= m_nEpoch))
            return false;
        m_iJournal = journal;
        m_nEpoch = epoch;
        return true;
    }
};

struct CPictureRead {
    qint64 m_nEpoch = 0;
    int m_iJournal = 0;
    CReportPicture m_picture;
};

struct CCameraRead {
    CCameraStatus m_status;
    std::vector<CPictureRead> m_pictures;  // newest first, as CNewest orders them
    std::vector<qint64> m_attempts;        // their times, seconds since 1970
    CNewest m_failure;
};

struct CSiteRead {
    CSiteStatus m_status;
    CNewest m_round, m_failure;
    std::set<int> m_journals;  // the journals with its lines, by number
};

class CReader {
  public:
    explicit CReader(CReport& report) : m_report(report) {}

    void BeginJournal(const QDir& folder) {
        m_folders.push_back(folder);
        m_nOldRun = 0;
        m_nFuture = 0;
    }

    // One line; false once the lines are older than the report needs.
    bool Take(const CJournalEntry& f, const std::string& journalSite) {
        qint64 epoch = 0;
        if (!f.Epoch(epoch))
            return true;
        if (epoch - m_nNow > kDay) {
            if (m_nFuture++ == 0)
                m_sFuture = f.m_time;
            return true;
        }
        const qint64 age = m_nNow - epoch;
        if (age > 7 * kDay)
            return ++m_nOldRun < kOldRunToStop;
        m_nOldRun = 0;
        const int journal = static_cast<int>(m_folders.size()) - 1;
        const std::string site = f.m_site.empty() ? journalSite : std::string(f.m_site);
        CSiteRead& sr = m_sites[site];
        CSiteStatus& s = sr.m_status;
        s.m_sName = site;
        sr.m_journals.insert(journal);
        if (f.m_event == "round") {
            if (age <= kDay && !f.m_device.empty()) {
                CLineStatus& line = m_lines[std::string(f.m_device)];
                ++line.m_nRounds24h;
                line.m_nFailed24h += f.m_result == "failed" || f.m_result == "partial";
                line.m_dOffhookSeconds24h += f.m_dOffhook;
            }
            s.m_bHasRounds = true;
            if (age <= kDay)
                s.m_dOffhookSeconds24h += f.m_dOffhook;
            if (sr.m_round.Take(journal, epoch)) {
                s.m_lastRound = f.Time();
                s.m_dLastRoundOffhook = f.m_dOffhook;
            }
            return true;
        }
        const std::string_view failure = f.m_message.empty() ? f.m_result : f.m_message;
        if (f.m_event != "picture") {
            if (f.m_result == "ok")
                return true;
            // A dial that failed is a picture missed by each camera of the site.
            if (f.m_event == "dial" && f.m_result != "stopped") {
                ++s.m_nFailedDials7d;
                if (age <= kDay)
                    ++s.m_nFailedDials24h;
            }
            if (sr.m_failure.Take(journal, epoch)) {
                s.m_lastFailure = f.Time();
                s.m_sLastFailure = failure;
            }
            return true;
        }
        // A picture broken off on request is neither good nor failed.
        if (f.m_iChannel < 1 || f.m_result == "stopped")
            return true;
        CCameraRead& cr = m_cameras[{site, f.m_iChannel}];
        CCameraStatus& c = cr.m_status;
        c.m_iChannel = f.m_iChannel;
        cr.m_attempts.push_back(epoch);
        const bool good = f.m_result == "ok" || f.m_result == "latest_failed";
        (good ? c.m_nGood7d : c.m_nFailed7d) += 1;
        if (age <= kDay)
            (good ? c.m_nGood24h : c.m_nFailed24h) += 1;
        if (!good) {
            if (cr.m_failure.Take(journal, epoch)) {
                c.m_lastFailure = f.Time();
                c.m_sLastFailure = failure;
            }
            return true;
        }
        c.m_nGoodBytes7d += static_cast<uint64_t>(std::max(0.0, f.m_dBytes));
        c.m_dGoodSeconds7d += std::max(0.0, f.m_dSeconds);
        // Only the newest are shown: the others are not kept.
        std::vector<CPictureRead>& kept = cr.m_pictures;
        auto at = kept.begin();
        while (at != kept.end() && (at->m_iJournal == journal || at->m_nEpoch >= epoch))
            ++at;
        if (at - kept.begin() >= static_cast<std::ptrdiff_t>(kReportPictures))
            return true;
        if (at == kept.begin())
            c.m_nLastRate = static_cast<int64_t>(f.m_dRate);
        kept.insert(at, {epoch, journal, {f.Time(), std::string(f.m_file), f.Check()}});
        if (kept.size() > kReportPictures)
            kept.pop_back();
        return true;
    }

    // What the journal's reading passed over, said once for the journal.
    void EndJournal(const std::string& journal) {
        if (m_nFuture == 0)
            return;
        m_report.m_notes.push_back(
            "Journal " + journal + ": " + std::to_string(m_nFuture) +
            (m_nFuture == 1 ? " Zeile" : " Zeilen") +
            " mit einer Zeit mehr als einen Tag nach jetzt übergangen (zuletzt geschrieben: " +
            m_sFuture + ")");
    }

    void Finish() {
        for (auto& [key, cr] : m_cameras) {
            CCameraStatus& c = cr.m_status;
            for (CPictureRead& p : cr.m_pictures) {
                p.m_picture.m_sFile = FindPicture(p.m_picture.m_sFile, m_folders[p.m_iJournal]);
                c.m_pictures.push_back(std::move(p.m_picture));
            }
            // The period is the middle gap between its attempts.
            std::sort(cr.m_attempts.begin(), cr.m_attempts.end());
            std::vector<qint64> gaps;
            for (size_t i = 1; i < cr.m_attempts.size(); ++i)
                gaps.push_back(cr.m_attempts[i] - cr.m_attempts[i - 1]);
            if (!gaps.empty()) {
                std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
                c.m_nPeriodSeconds = gaps[gaps.size() / 2];
            }
            // Without a period, a day without a good picture is too long.
            const qint64 limit = c.m_nPeriodSeconds > 0 ? 2 * c.m_nPeriodSeconds : kDay;
            c.m_bStale =
                c.m_pictures.empty() || c.m_pictures.front().m_time.secsTo(m_report.m_now) > limit;
            CSiteStatus& s = m_sites[key.first].m_status;
            c.m_nFailed24h += s.m_nFailedDials24h;
            c.m_nFailed7d += s.m_nFailedDials7d;
            s.m_cameras.push_back(std::move(c));
        }
        for (auto& [name, sr] : m_sites) {
            for (int journal : sr.m_journals)
                AddFilms(m_folders[static_cast<size_t>(journal)], sr.m_status.m_films);
            std::sort(sr.m_status.m_films.begin(), sr.m_status.m_films.end(),
                      [](const CReportFilm& a, const CReportFilm& b) {
                          return a.m_sDay != b.m_sDay ? a.m_sDay > b.m_sDay
                                                      : a.m_iChannel < b.m_iChannel;
                      });
            m_report.m_sites.push_back(std::move(sr.m_status));
        }
        for (auto& [name, line] : m_lines) {
            line.m_sLine = name;
            m_report.m_lines.push_back(line);
        }
    }

  private:
    // The films of days in a folder: regular files named as timelapse names them.
    static void AddFilms(const QDir& folder, std::vector<CReportFilm>& films) {
        const QFileInfoList found = folder.entryInfoList(
            {QStringLiteral("film-*.mp4")}, QDir::Files | QDir::NoSymLinks, QDir::Name);
        for (const QFileInfo& info : found) {
            int channel = 0;
            const std::string name = Utf8(info.fileName());
            const std::string file = Utf8(QDir::cleanPath(info.absoluteFilePath()));
            if (!IsDayFilmName(name, &channel) ||
                std::any_of(films.begin(), films.end(),
                            [&file](const CReportFilm& f) { return f.m_sFile == file; }))
                continue;
            films.push_back({file, name.substr(5, 10), channel});
        }
    }

    std::map<std::string, CLineStatus> m_lines;
    // Lines older than the week in a row that end the reading: one from a clock that was
    // wrong does not hide the week written before it.
    static constexpr int kOldRunToStop = 1000;

    // A picture's file on this machine: the path as written, or its end found from the
    // journal's folder, the longest end first (pictures gathered from another machine).
    static std::string FindPicture(const std::string& file, const QDir& journalFolder) {
        if (file.empty())
            return {};
        const QString path = Q(file);
        if (QFileInfo(path).isFile())
            return file;
        const QStringList parts = QDir::fromNativeSeparators(path).split(u'/', Qt::SkipEmptyParts);
        for (qsizetype i = 0; i < parts.size(); ++i) {
            const QString candidate = journalFolder.absoluteFilePath(parts.mid(i).join(u'/'));
            if (QFileInfo(candidate).isFile())
                return Utf8(QDir::cleanPath(candidate));
        }
        return {};
    }

    CReport& m_report;
    const qint64 m_nNow = m_report.m_now.toSecsSinceEpoch();
    std::map<std::string, CSiteRead> m_sites;
    std::map<std::pair<std::string, int>, CCameraRead> m_cameras;
    std::vector<QDir> m_folders;  // of each journal read, by its number
    int m_nOldRun = 0;
    int m_nFuture = 0;
    std::string m_sFuture;  // the time of the first such line read
};

// ---- the pages ----

QString Html(const std::string& text) {
    return Q(text).toHtmlEscaped();
}

QString TimeText(const QDateTime& t) {
    return t.isValid() ? t.toString(QStringLiteral("yyyy-MM-dd HH:mm")) : QStringLiteral("—");
}

// The link from the pages' folder to a picture: a relative URL with every character but
// letters, digits, "-._~" and the folders' "/" escaped, so that a name like "12:00:00.bmp"
// or "a#b?.bmp" is the file's name and nothing else. It begins with "./" or "../", so
// that its first part never reads as a scheme.
QString PictureUrl(const std::string& file, const QDir& pages) {
    const QString url =
        QString::fromLatin1(QUrl::toPercentEncoding(pages.relativeFilePath(Q(file)), "/"));
    return url.startsWith(QLatin1String("../")) ? url : QStringLiteral("./") + url;
}

const char* const kStyle =
    "body{font-family:sans-serif;margin:1em;color:#222}"
    "table{border-collapse:collapse}th,td{border:1px solid #bbb;padding:4px 8px;"
    "text-align:left;vertical-align:top}th{background:#eee}"
    "tr.aktuell td.zustand{background:#d8f0d8;color:#135e13}"
    "tr.veraltet td{background:#fbe3e3}tr.veraltet td.zustand{color:#a00000;font-weight:bold}"
    "td{white-space:nowrap}td.fehler{white-space:normal;max-width:24em}"
    "img{max-width:180px;height:auto;display:block}td img{max-width:120px}"
    "figure{display:inline-block;margin:4px}figcaption{font-size:small}"
    ".pruefung{color:#8a4b00;font-weight:bold}figure.pruefung{outline:3px solid #e0a040}";

QString PageStart(const QString& title) {
    return QStringLiteral(
               "<!DOCTYPE html>\n<html lang=\"de\">\n<head>\n<meta charset=\"utf-8\">\n"
               "<meta http-equiv=\"refresh\" content=\"%1\">\n<title>%2</title>\n"
               "<style>%3</style>\n</head>\n<body>\n<h1>%2</h1>\n")
        .arg(kRefreshSeconds)
        .arg(title, QString::fromLatin1(kStyle));
}

// The word of a check that failed, marked, after a blank; empty for a picture in order.
QString CheckMark(EPictureCheck check) {
    if (check == EPictureCheck::Ok)
        return {};
    return QStringLiteral(" <span class=\"pruefung %1\">%2</span>")
        .arg(QLatin1String(PictureCheckName(check)), QString::fromUtf8(PictureCheckWord(check)));
}

QString Thumbnail(const CReportPicture& p, int channel, const QDir& pages) {
    if (p.m_sFile.empty())
        return QStringLiteral("Bild fehlt");
    // One arg() for all: a chained one would take the "%3A" of the link for its place.
    return QStringLiteral("<a href=\"%1\"><img src=\"%1\" alt=\"Kamera %2, %3\"></a>")
        .arg(PictureUrl(p.m_sFile, pages), QString::number(channel), TimeText(p.m_time));
}

// The link to the camera's newest film of a day, or nothing.
QString NewestFilmLink(const CSiteStatus& s, int channel, const QDir& pages) {
    for (const CReportFilm& film : s.m_films)
        if (film.m_iChannel == channel)
            return QStringLiteral("<a class=\"film\" href=\"%1\">Film %2</a>")
                .arg(PictureUrl(film.m_sFile, pages), Q(film.m_sDay));
    return {};
}

QString OffhookText(const CSiteStatus& s) {
    if (!s.m_bHasRounds)
        return QStringLiteral("—");
    return QLocale(QLocale::German).toString(s.m_dOffhookSeconds24h / 60, 'f', 1) +
           QStringLiteral(" min");
}

QString CameraRow(const CSiteStatus& s, const CCameraStatus& c, const QDir& pages) {
    const bool siteFailureNewer = s.m_lastFailure.isValid() &&
                                  (!c.m_lastFailure.isValid() || s.m_lastFailure > c.m_lastFailure);
    const std::string& failure = siteFailureNewer ? s.m_sLastFailure : c.m_sLastFailure;
    const QDateTime& failed = siteFailureNewer ? s.m_lastFailure : c.m_lastFailure;
    const int64_t mean = c.MeanRate();
    const QString channel = QString::number(c.m_iChannel);
    QString row = QStringLiteral("<tr class=\"%1\" data-site=\"%2\" data-channel=\"%3\">")
                      .arg(c.m_bStale ? u"veraltet" : u"aktuell", Html(s.m_sName), channel);
    row += QStringLiteral("<td><a href=\"%1\">%2</a></td><td>Kamera %3</td>")
               .arg(Html(s.PageName()), Html(s.m_sName), channel);
    row += QStringLiteral("<td class=\"zustand\">%1%2</td>")
               .arg(c.m_bStale ? u"veraltet" : u"aktuell", CheckMark(c.NewestCheck()));
    row += QStringLiteral("<td>%1%2</td>")
               .arg(c.m_pictures.empty() ? QStringLiteral("kein gutes Bild")
                                         : Thumbnail(c.m_pictures.front(), c.m_iChannel, pages),
                    NewestFilmLink(s, c.m_iChannel, pages));
    row += QStringLiteral("<td>%1</td>")
               .arg(TimeText(c.m_pictures.empty() ? QDateTime() : c.m_pictures.front().m_time));
    row += QStringLiteral("<td>%1 / %2</td><td>%3 / %4</td>")
               .arg(c.m_nGood24h)
               .arg(c.m_nFailed24h)
               .arg(c.m_nGood7d)
               .arg(c.m_nFailed7d);
    row += QStringLiteral("<td>%1</td><td>%2</td>")
               .arg(mean < 0 ? QStringLiteral("—") : Q(BytesPerSecondText(mean)), OffhookText(s));
    row += QStringLiteral("<td class=\"fehler\">%1</td></tr>\n")
               .arg(failure.empty() ? QStringLiteral("—")
                                    : TimeText(failed) + QStringLiteral(": ") + Html(failure));
    return row;
}

// A name as a label value of the metrics format: backslash, quote and line break
// escaped. False for a name with another control character, which the format has no way
// to write and its readers refuse the whole file for.
bool LabelValue(const std::string& name, std::string& value) {
    value.clear();
    for (const char ch : name) {
        const auto u = static_cast<unsigned char>(ch);
        if (ch == '\\' || ch == '"') {
            value += '\\';
            value += ch;
        } else if (ch == '\n') {
            value += "\\n";
        } else if (u < 0x20 || u == 0x7f) {
            return false;
        } else {
            value += ch;
        }
    }
    return true;
}

// A name for a message on a terminal: control characters as \xNN.
std::string Printable(const std::string& name) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (const char ch : name) {
        const auto u = static_cast<unsigned char>(ch);
        if (u < 0x20 || u == 0x7f) {
            out += "\\x";
            out += kHex[u >> 4];
            out += kHex[u & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

std::string MetricNumber(double value) {
    return QByteArray::number(value, 'g', QLocale::FloatingPointShortest).toStdString();
}

}  // namespace

EPictureCheck CCameraStatus::NewestCheck() const {
    return m_pictures.empty() ? EPictureCheck::Ok : m_pictures.front().m_eCheck;
}

int64_t CCameraStatus::MeanRate() const {
    if (m_nGood7d == 0 || m_dGoodSeconds7d <= 0)
        return -1;
    return std::llround(static_cast<double>(m_nGoodBytes7d) / m_dGoodSeconds7d);
}

std::string CSiteStatus::PageName() const {
    // File systems take names of 255 bytes; a longer one keeps its beginning and gets the
    // hash of the whole name after "__", which the escaped form never holds (its "_" is
    // always followed by a hex digit).
    constexpr size_t kMaxEscaped = 200, kKeptEscaped = 160;
    std::string name;
    static const char kHex[] = "0123456789abcdef";
    for (unsigned char ch : m_sName) {
        if (std::isalnum(ch) != 0 && ch < 0x80) {
            name += static_cast<char>(ch);
        } else if (ch == '-') {
            name += static_cast<char>(ch);
        } else {
            name += '_';
            name += kHex[ch >> 4];
            name += kHex[ch & 15];
        }
    }
    if (name.size() > kMaxEscaped) {
        size_t keep = kKeptEscaped;
        // Not within an escape.
        for (size_t i = keep - std::min<size_t>(keep, 2); i < keep; ++i)
            if (name[i] == '_')
                keep = i;
        const QByteArray hash = QCryptographicHash::hash(QByteArray::fromStdString(m_sName),
                                                         QCryptographicHash::Sha256);
        name = name.substr(0, keep) + "__" + hash.toHex().left(16).toStdString();
    }
    return "standort-" + name + ".html";
}

std::vector<std::string> JournalsOf(const std::string& source) {
    const QFileInfo info(Q(source));
    if (!info.isDir())
        return {Utf8(info.absoluteFilePath())};
    std::vector<std::string> journals;
    QDirIterator it(info.absoluteFilePath(), {QStringLiteral("*.jsonl")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        journals.push_back(Utf8(it.next()));
    std::sort(journals.begin(), journals.end());
    return journals;
}

std::string SiteOfJournal(const std::string& path) {
    const QFileInfo info(Q(path));
    QString name = info.fileName();
    if (name.endsWith(u".jsonl"))
        name.chop(6);
    if (name == u"journal" || name == u"pixlane-journal" || name.isEmpty())
        name = info.absoluteDir().dirName();
    return Utf8(name);
}

CReport ReadReport(const std::vector<std::string>& sources, const QDateTime& now) {
    CReport report;
    report.m_now = now;
    CReader reader(report);
    for (const std::string& source : sources) {
        if (!QFileInfo::exists(Q(source))) {
            report.m_problems.push_back("Journal " + source + " nicht gefunden");
            continue;
        }
        for (const std::string& journal : JournalsOf(source)) {
            const std::string site = SiteOfJournal(journal);
            // Each picture is looked for from the journal that named it.
            reader.BeginJournal(QFileInfo(Q(journal)).absoluteDir());
            std::string error;
            const bool read = ReadJournal(
                journal,
                [&](const CJournalEntry* entry) {
                    return entry == nullptr || reader.Take(*entry, site);
                },
                &error);
            if (!read)
                report.m_problems.push_back(error);
            reader.EndJournal(journal);
        }
    }
    reader.Finish();
    return report;
}

namespace {
// The pool's lines: their rounds of 24 hours and whether they are out of the pool.
QString LinesTable(const CReport& report) {
    if (!report.m_bPool)
        return {};
    QString table = QStringLiteral(
        "<h2>Leitungen</h2>\n<table>\n<thead><tr><th>Leitung</th><th>Zustand</th>"
        "<th>Runden 24 h</th><th>Fehlgeschlagen 24 h</th><th>Abgehoben 24 h</th></tr></thead>\n"
        "<tbody>\n");
    for (const CLineStatus& l : report.m_lines)
        table += QStringLiteral(
                     "<tr data-line=\"%1\"><td>%1</td><td>%2</td><td>%3</td><td>%4</td>"
                     "<td>%5 min</td></tr>\n")
                     .arg(Html(l.m_sLine),
                          l.m_bOut ? QStringLiteral("außer Betrieb") : QStringLiteral("im Pool"),
                          QString::number(l.m_nRounds24h), QString::number(l.m_nFailed24h),
                          QString::number(l.m_dOffhookSeconds24h / 60, 'f', 1).replace(u'.', u','));
    return table + QStringLiteral("</tbody>\n</table>\n");
}
}  // namespace

void AddPool(CReport& report, const CPoolReport& pool) {
    std::vector<CLineStatus> lines;
    for (const std::string& name : pool.m_lines) {
        CLineStatus line;
        line.m_sLine = name;
        for (const CLineStatus& read : report.m_lines)
            if (read.m_sLine == name)
                line = read;
        line.m_bOut = std::find(pool.m_out.begin(), pool.m_out.end(), name) != pool.m_out.end();
        lines.push_back(line);
    }
    report.m_lines = lines;
    report.m_lags = pool.m_lags;
    report.m_bPool = true;
}

QByteArray ReportIndexPage(const CReport& report, const std::string& folder) {
    const QDir pages(Q(folder));
    QString page = PageStart(QStringLiteral("Pixlane: alle Standorte"));
    page += QStringLiteral("<p>Stand: %1</p>\n").arg(TimeText(report.m_now));
    for (const std::string& problem : report.m_problems)
        page += QStringLiteral("<p class=\"problem\">%1</p>\n").arg(Html(problem));
    for (const std::string& note : report.m_notes)
        page += QStringLiteral("<p class=\"hinweis\">%1</p>\n").arg(Html(note));
    page += QStringLiteral(
        "<table>\n<thead><tr><th>Standort</th><th>Kamera</th><th>Zustand</th>"
        "<th>Neuestes Bild</th><th>Letztes gutes Bild</th><th>24 h gut / fehlgeschlagen</th>"
        "<th>7 Tage gut / fehlgeschlagen</th><th>Mittlere Rate</th><th>Abgehoben 24 h</th>"
        "<th>Letzter Fehler</th></tr></thead>\n<tbody>\n");
    for (const CSiteStatus& s : report.m_sites) {
        for (const CCameraStatus& c : s.m_cameras)
            page += CameraRow(s, c, pages);
        // Without a camera in the week, its failed dials are what there is to count.
        if (s.m_cameras.empty())
            page +=
                QStringLiteral(
                    "<tr class=\"veraltet\" data-site=\"%1\"><td><a href=\"%2\">%1</a></td>"
                    "<td>—</td><td class=\"zustand\">veraltet</td><td colspan=\"2\">keine "
                    "Bilder in 7 Tagen</td><td>0 / %3</td><td>0 / %4</td><td>—</td>"
                    "<td>%5</td><td class=\"fehler\">%6</td></tr>\n")
                    .arg(Html(s.m_sName), Html(s.PageName()), QString::number(s.m_nFailedDials24h),
                         QString::number(s.m_nFailedDials7d), OffhookText(s),
                         s.m_sLastFailure.empty()
                             ? QStringLiteral("—")
                             : TimeText(s.m_lastFailure) + QStringLiteral(": ") +
                                   Html(s.m_sLastFailure));
    }
    page += QStringLiteral("</tbody>\n</table>\n");
    page += LinesTable(report);
    page += QStringLiteral("</body>\n</html>\n");
    return page.toUtf8();
}

QByteArray ReportSitePage(const CReport& report, const CSiteStatus& site,
                          const std::string& folder) {
    const QDir pages(Q(folder));
    QString page = PageStart(QStringLiteral("Pixlane: ") + Html(site.m_sName));
    page += QStringLiteral("<p><a href=\"index.html\">alle Standorte</a> · Stand: %1</p>\n")
                .arg(TimeText(report.m_now));
    for (const CCameraStatus& c : site.m_cameras) {
        page += QStringLiteral("<h2 class=\"%1\">Kamera %2%3</h2>\n<div>")
                    .arg(c.m_bStale ? u"veraltet" : u"aktuell")
                    .arg(c.m_iChannel)
                    .arg(c.m_bStale ? QStringLiteral(" (veraltet)") : QString());
        for (const CReportPicture& p : c.m_pictures)
            page += QStringLiteral("<figure%1>%2<figcaption>%3%4</figcaption></figure>")
                        .arg(p.m_eCheck == EPictureCheck::Ok
                                 ? QString()
                                 : QStringLiteral(" class=\"pruefung\" data-check=\"%1\"")
                                       .arg(QLatin1String(PictureCheckName(p.m_eCheck))),
                             Thumbnail(p, c.m_iChannel, pages), TimeText(p.m_time),
                             CheckMark(p.m_eCheck));
        if (c.m_pictures.empty())
            page += QStringLiteral("kein gutes Bild in 7 Tagen");
        page += QStringLiteral("</div>\n");
    }
    if (site.m_cameras.empty())
        page += QStringLiteral("<p>keine Bilder in 7 Tagen</p>\n");
    if (!site.m_films.empty()) {
        page += QStringLiteral("<h2>Filme</h2>\n<ul class=\"filme\">\n");
        for (size_t i = 0; i < site.m_films.size() && i < kReportFilms; ++i)
            page += QStringLiteral("<li><a href=\"%1\">%2, Kamera %3</a></li>\n")
                        .arg(PictureUrl(site.m_films[i].m_sFile, pages), Q(site.m_films[i].m_sDay),
                             QString::number(site.m_films[i].m_iChannel));
        page += QStringLiteral("</ul>\n");
    }
    page += QStringLiteral("</body>\n</html>\n");
    return page.toUtf8();
}

namespace {
// The pool's lines, each labelled by its name, and each site's lag.
std::string PoolMetrics(const CReport& report) {
    if (!report.m_bPool)
        return {};
    std::string text;
    const auto family = [&text](const char* name, const char* help) {
        text += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " gauge\n";
    };
    const auto each = [&](const char* name, const char* help, auto value) {
        family(name, help);
        for (const CLineStatus& l : report.m_lines) {
            std::string label;
            if (LabelValue(l.m_sLine, label))
                text += std::string(name) + "{line=\"" + label + "\"} " + value(l) + "\n";
        }
    };
    each("pixlane_line_rounds_last_24h", "Rounds on the line in the last 24 hours.",
         [](const CLineStatus& l) { return std::to_string(l.m_nRounds24h); });
    each("pixlane_line_failed_rounds_last_24h",
         "Rounds on the line in the last 24 hours that kept not every picture.",
         [](const CLineStatus& l) { return std::to_string(l.m_nFailed24h); });
    each("pixlane_line_offhook_seconds_last_24h", "Seconds off-hook on the line in 24 hours.",
         [](const CLineStatus& l) { return MetricNumber(l.m_dOffhookSeconds24h); });
    each("pixlane_line_out_of_pool", "1 while the line is out of the pool after a failure.",
         [](const CLineStatus& l) { return std::string(l.m_bOut ? "1" : "0"); });
    family("pixlane_site_round_lag_seconds",
           "How long after it was due the site's latest round began (all lines busy).");
    for (const auto& [site, lag] : report.m_lags) {
        std::string label;
        if (LabelValue(site, label))
            text += "pixlane_site_round_lag_seconds{site=\"" + label + "\"} " + MetricNumber(lag) +
                    "\n";
    }
    return text;
}
}  // namespace

QByteArray ReportMetrics(const CReport& report, std::vector<std::string>* notes,
                         const std::string& file) {
    struct CFamily {
        const char* m_pName;
        const char* m_pHelp;
    };
    const CFamily families[] = {
        {"pixlane_last_good_picture_timestamp_seconds",
         "Time of the newest good picture in the journals (Unix time)."},
        {"pixlane_pictures_last_24h",
         "Pictures of the last 24 hours by result (good, failed; a failed dial is a failed "
         "picture of each camera)."},
        {"pixlane_last_rate_bytes_per_second", "Transfer rate of the newest good picture."},
        {"pixlane_stale",
         "1 when the newest good picture is older than twice the period (per site without "
         "channel when no camera had a picture in 7 days)."},
        {"pixlane_last_round_offhook_seconds", "Seconds off-hook in the site's last round."},
        {"pixlane_picture_check",
         "1 when the newest good picture failed the check (dark, uniform, frozen), else 0."},
    };
    // The sites with their label; the others are said once.
    std::vector<std::pair<const CSiteStatus*, std::string>> sites;
    for (const CSiteStatus& s : report.m_sites) {
        std::string value;
        if (LabelValue(s.m_sName, value))
            sites.emplace_back(&s, "site=\"" + value + "\"");
        else if (notes != nullptr)
            notes->push_back("Standort \"" + Printable(s.m_sName) +
                             "\" hat ein Steuerzeichen im Namen und fehlt in den Metriken");
    }
    std::string text;
    for (size_t f = 0; f < std::size(families); ++f) {
        const std::string name = families[f].m_pName;
        text += "# HELP " + name + " " + families[f].m_pHelp + "\n# TYPE " + name + " gauge\n";
        for (const auto& [s, site] : sites) {
            const auto line = [&](const std::string& labels, const std::string& value) {
                text += name + "{" + labels + "} " + value + "\n";
            };
            if (f == 4) {
                if (s->m_lastRound.isValid())
                    line(site, MetricNumber(s->m_dLastRoundOffhook));
                continue;
            }
            if (s->m_cameras.empty()) {
                // Its failed dials are all that is known of it: the site itself is stale.
                if (f == 1) {
                    line(site + ",result=\"good\"", "0");
                    line(site + ",result=\"failed\"", std::to_string(s->m_nFailedDials24h));
                }
                if (f == 3)
                    line(site, "1");
                continue;
            }
            for (const CCameraStatus& c : s->m_cameras) {
                const std::string labels =
                    site + ",channel=\"" + std::to_string(c.m_iChannel) + "\"";
                if (f == 0 && !c.m_pictures.empty())
                    line(labels, std::to_string(c.m_pictures.front().m_time.toSecsSinceEpoch()));
                if (f == 1) {
                    line(labels + ",result=\"good\"", std::to_string(c.m_nGood24h));
                    line(labels + ",result=\"failed\"", std::to_string(c.m_nFailed24h));
                }
                if (f == 2 && c.m_nLastRate >= 0)
                    line(labels, std::to_string(c.m_nLastRate));
                if (f == 3)
                    line(labels, c.m_bStale ? "1" : "0");
                if (f == 5)
                    for (const EPictureCheck check :
                         {EPictureCheck::Dark, EPictureCheck::Uniform, EPictureCheck::Frozen})
                        line(labels + ",check=\"" + PictureCheckName(check) + "\"",
                             c.NewestCheck() == check ? "1" : "0");
            }
        }
    }
    text += PoolMetrics(report);
    // The time of this run, which tells that the file is still written.
    std::string run, value;
    if (!file.empty() && LabelValue(Utf8(QFileInfo(Q(file)).fileName()), value))
        run = "{metrics_file=\"" + value + "\"}";
    text +=
        "# HELP pixlane_last_run_timestamp_seconds Time of the run that wrote this file "
        "(Unix time).\n# TYPE pixlane_last_run_timestamp_seconds gauge\n"
        "pixlane_last_run_timestamp_seconds" +
        run + " " + std::to_string(report.m_now.toSecsSinceEpoch()) + "\n";
    return QByteArray::fromStdString(text);
}

bool WriteReportPages(const CReport& report, const std::string& folder, std::string* error) {
    if (!MakeFolders(folder, error))
        return false;
    const auto bytes = [](const QByteArray& text) {
        return std::vector<uint8_t>(text.begin(), text.end());
    };
    std::vector<CFileOfSet> pages;
    for (const CSiteStatus& s : report.m_sites)
        pages.push_back({s.PageName(), bytes(ReportSitePage(report, s, folder))});
    // Last: it links the others.
    pages.push_back({"index.html", bytes(ReportIndexPage(report, folder))});
    return WriteFileSet(folder, pages, error);
}

bool WriteReportMetrics(const CReport& report, const std::string& file, std::string* error) {
    const QByteArray text = ReportMetrics(report, nullptr, file);
    return WriteTargetFile(file, std::vector<uint8_t>(text.begin(), text.end()), error);
}

bool WriteReport(const std::vector<std::string>& sources, const QDateTime& now,
                 const std::string& folder, const std::string& metrics,
                 std::vector<std::string>& problems, std::vector<std::string>* notes,
                 const CPoolReport* pool) {
    CReport report = ReadReport(sources, now);
    if (pool != nullptr)
        AddPool(report, *pool);
    problems = report.m_problems;
    if (notes != nullptr)
        *notes = report.m_notes;
    std::string error;
    if (!folder.empty() && !WriteReportPages(report, folder, &error))
        problems.push_back("Statusseite in " + folder + " nicht geschrieben: " + error);
    if (!metrics.empty()) {
        const QByteArray text = ReportMetrics(report, notes, metrics);
        if (!WriteTargetFile(metrics, std::vector<uint8_t>(text.begin(), text.end()), &error))
            problems.push_back("Metriken " + metrics + " nicht geschrieben: " + error);
    }
    return problems.empty();
}
