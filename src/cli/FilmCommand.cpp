#include "cli/FilmCommand.h"

#include <QDir>
#include <QFileInfo>
#include <QTimeZone>

#include "capture/Capture.h"
#include "cli/CliOptions.h"
#include "cli/ConsoleUi.h"
#include "fleet/Film.h"
#include "link/PrintableText.h"
#include "platform/StopSignals.h"

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

std::string Absolute(const std::string& path) {
    return QFileInfo(Q(path)).absoluteFilePath().toStdString();
}

// A local time as written: 2026-12-09T06:00, with seconds or a blank in place of the T.
bool LocalTime(const std::string& text, QDateTime& time) {
    QString t = Q(text).trimmed();
    if (t.size() > 10 && t[10] == u' ')
        t[10] = u'T';
    for (const QString& form : {QStringLiteral("yyyy-MM-ddTHH:mm:ss"),
                                QStringLiteral("yyyy-MM-ddTHH:mm"), QStringLiteral("yyyy-MM-dd")}) {
        const QDateTime local = QDateTime::fromString(t, form);
        if (local.isValid()) {
            time = local;
            return true;
        }
    }
    const QDateTime iso = QDateTime::fromString(t, Qt::ISODate);
    if (!iso.isValid())
        return false;
    time = iso;
    return true;
}

std::string Shown(const QDateTime& time) {
    return time.toString(QStringLiteral("dd.MM.yyyy HH:mm")).toStdString();
}

// The journal and folder of a target, or of the journal named.
struct CSource {
    std::string m_sName;  // for the texts: the site, or the journal
    std::string m_sJournal;
    std::string m_sFolder;
};

std::vector<CSource> Sources(const CCliOptions& o, const std::vector<CTarget>& targets) {
    std::vector<CSource> sources;
    if (!o.m_sJournalGiven.empty()) {
        const std::string journal = Absolute(o.m_sJournalGiven);
        sources.push_back({journal, journal,
                           o.m_sFolder.empty() ? QFileInfo(Q(journal)).absolutePath().toStdString()
                                               : Absolute(o.m_sFolder)});
        return sources;
    }
    for (const CTarget& target : targets) {
        const std::string folder =
            target.m_storage.m_sFolder.empty() ? "." : target.m_storage.m_sFolder;
        sources.push_back({"Standort " + target.m_sSite, Absolute(target.m_storage.m_sJournal),
                           Absolute(folder)});
    }
    return sources;
}

}  // namespace

bool FilmSpan(const CCliOptions& o, const QDateTime& now, QDateTime& from, QDateTime& to,
              std::string& error) {
    if (!o.m_sDay.empty()) {
        QDate day;
        if (o.m_sDay == "today")
            day = now.date();
        else if (o.m_sDay == "yesterday")
            day = now.date().addDays(-1);
        else
            day = QDate::fromString(Q(o.m_sDay), QStringLiteral("yyyy-MM-dd"));
        if (!day.isValid()) {
            error = "--day " + PrintableText(o.m_sDay) +
                    " ist kein Tag (2026-12-09, today oder yesterday)";
            return false;
        }
        from = day.startOfDay();
        to = day.addDays(1).startOfDay();
        return true;
    }
    if (!LocalTime(o.m_sFrom, from) || !LocalTime(o.m_sTo, to)) {
        error = "--from und --to brauchen eine Zeit wie 2026-12-09T06:00";
        return false;
    }
    if (to <= from) {
        error = "--to liegt nicht nach --from";
        return false;
    }
    return true;
}

int RunTimelapse(const CCliOptions& o, const std::vector<CTarget>& targets, CConsoleUi& ui,
                 std::ostream& out, bool terminal) {
    QDateTime from, to;
    std::string error;
    if (!FilmSpan(o, QDateTime::currentDateTime(), from, to, error)) {
        ui.Note(error);
        return 2;
    }
    const CStopSignals stopSignals;
    const bool several = o.m_bAllSites || !o.m_sites.empty();
    const std::string span = Shown(from) + " bis " + Shown(to);
    int rc = 0;
    for (const CSource& source : Sources(o, targets)) {
        if (CStopSignals::Requested())
            return 1;
        const CFilmPictures found = FilmPictures(source.m_sJournal, o.m_iFilmChannel,
                                                 from.toSecsSinceEpoch(), to.toSecsSinceEpoch());
        if (!found.m_sError.empty()) {
            ui.Note(source.m_sName + ": " + found.m_sError);
            rc = 1;
        }
        for (const std::string& note : found.m_notes)
            ui.Note(note);
        // One film a camera: the one asked for, else each of the span's (with --sites),
        // else the span's only one.
        std::vector<int> channels;
        if (o.m_iFilmChannel != 0) {
            channels.push_back(o.m_iFilmChannel);
        } else if (several || found.m_channels.size() <= 1) {
            channels = found.m_channels;
        } else {
            std::string list;
            for (int channel : found.m_channels)
                list += (list.empty() ? "" : ", ") + std::to_string(channel);
            ui.Note(source.m_sName + ": Bilder mehrerer Kameras (Kanal " + list + ") von " + span +
                    "; --channel N wählt eine");
            rc = std::max(rc, 1);
            continue;
        }
        if (channels.empty()) {
            ui.Note(source.m_sName + ": kein gutes Bild von " + span + "; kein Film geschrieben");
            rc = 1;
            continue;
        }
        for (int channel : channels) {
            std::vector<CFilmFrame> frames;
            for (const CFilmFrame& frame : found.m_frames)
                if (frame.m_iChannel == channel)
                    frames.push_back(frame);
            if (frames.empty()) {
                ui.Note(source.m_sName + ": kein gutes Bild von Kanal " + std::to_string(channel) +
                        " von " + span + "; kein Film geschrieben");
                rc = 1;
                continue;
            }
            const std::string film =
                !o.m_sFilm.empty()
                    ? Absolute(o.m_sFilm)
                    : QDir(Q(source.m_sFolder))
                          .filePath(Q(DayFilmName(
                              from.date().toString(QStringLiteral("yyyy-MM-dd")).toStdString(),
                              channel)))
                          .toStdString();
            CFilmRun run;
            run.m_nFps = o.m_nFps;
            run.m_fnStop = [] { return CStopSignals::Requested(); };
            if (terminal && !o.m_bQuiet) {
                const std::string name = QFileInfo(Q(film)).fileName().toStdString();
                run.m_fnProgress = [&ui, name](int done, int total) {
                    ui.SetProgressText("Film " + name + ": " + std::to_string(done) + " von " +
                                       std::to_string(total) + " Bildern");
                };
            }
            const bool made = MakeFilm(frames, film, run, error);
            ui.Finish();
            if (!made) {
                ui.Note(error);
                rc = 1;
                if (CStopSignals::Requested())
                    return 1;
                continue;
            }
            out << film << '\n';
            out.flush();
        }
    }
    return rc;
}

int RunRetention(const CCliOptions& o, const std::vector<CTarget>& targets, CConsoleUi& ui,
                 std::ostream& out) {
    int rc = 0;
    const QDateTime now = QDateTime::currentDateTime();
    const std::vector<CSource> sources = Sources(o, targets);
    for (size_t i = 0; i < sources.size(); ++i) {
        const CSource& source = sources[i];
        // The site's pattern unless -o names one; a journal alone has capture's default.
        CTargetStorage storage;
        if (o.m_sJournalGiven.empty())
            storage = targets[i].m_storage;
        if (o.m_bPatternGiven || !o.m_sJournalGiven.empty())
            storage.m_sPattern = o.m_sPattern;
        storage.m_sFolder = source.m_sFolder;
        storage.m_sJournal = source.m_sJournal;
        storage.m_nKeepSeconds = o.m_nKeepSeconds;
        storage.m_sKeepTiers = o.m_sKeepTiers;
        storage.m_nMinFreeBytes = o.m_nMinFreeBytes;
        CPictureKeeper keeper;
        keeper.Use(storage, o.m_sJournalGiven.empty() ? targets[i].m_sSite : std::string());
        CRetention& retention = keeper.m_retention;
        if (const std::string problem = retention.Place(storage.m_sFolder, storage.m_sPattern);
            !problem.empty()) {
            ui.Note(KeepProblemText(problem));
            rc = 1;
            continue;
        }
        if (!QFileInfo(Q(keeper.m_sJournal)).isFile()) {
            ui.Note(source.m_sName + ": Journal " + PrintableText(keeper.m_sJournal) +
                    " nicht gefunden; gelöscht wird nur, was ein Journal nennt");
            rc = 1;
            continue;
        }
        retention.Load(keeper.m_sJournal);
        for (const CCaptureEvent& event : retention.Prune(now, o.m_bDryRun)) {
            out << PrintableText(event.m_sFile) << '\t' << event.m_sMessage << '\n';
            if (event.m_sResult == "failed")
                rc = 1;
            if (o.m_bDryRun)
                continue;
            std::string unrecorded;
            if (!keeper.Record(event, unrecorded)) {
                ui.Note(unrecorded);
                rc = 1;
            }
        }
        // Pictures of another pattern or folder are never removed; a user who forgot the
        // capture's -o or --folder should hear why nothing went.
        if (const size_t left = retention.OutsidePattern(); left > 0)
            ui.Note(source.m_sName + ": " + std::to_string(left) +
                    (left == 1 ? " Bild passt" : " Bilder passen") + " nicht zum Namensmuster \"" +
                    PrintableText(storage.m_sPattern) + "\" unter " +
                    PrintableText(storage.m_sFolder) +
                    (left == 1 ? " und bleibt" : " und bleiben") +
                    "; -o und --folder wie bei capture angeben");
        out.flush();
    }
    return rc;
}
