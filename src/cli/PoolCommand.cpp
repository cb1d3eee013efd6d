// The pool of lines: a scheduler in this process and each round in a process of its own,
// so that a line's failure, hang or crash stays that line's.
#include "cli/PoolCommand.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <memory>
#include <string>

#include "capture/Capture.h"
#include "cli/CaptureCommand.h"
#include "cli/CliOptions.h"
#include "cli/ConsoleUi.h"
#include "fleet/LinePool.h"
#include "fleet/Report.h"
#include "fleet/SiteBook.h"
#include "link/Clock.h"
#include "link/ComPort.h"
#include "platform/StopSignals.h"

namespace {

// How often the pool looks at its rounds and for a stop.
constexpr uint32_t kPollMs = 100;
// How soon a line another program holds is tried again, and how long a run without
// --every waits for such a line at most.
constexpr int64_t kHeldRetryMs = 5000;
constexpr int64_t kHeldWaitMs = 15 * 60 * 1000;
// A round that takes longer hangs: it is asked to end, and ended after the second limit.
constexpr int64_t kRoundLimitMs = 30 * 60 * 1000;
constexpr int64_t kEndLimitMs = 2 * 60 * 1000;
// A round that starts this late is said on standard error.
constexpr int64_t kLagToSayMs = 1000;

// A round under way in its process.
struct CPoolChild {
    std::unique_ptr<QProcess> m_pProcess;
    CPoolStart m_start;
    int64_t m_nStarted = 0;
    bool m_bAsked = false;  // asked to end (a stop, or it hung)
    int64_t m_nAsked = 0;
    bool m_bHung = false;
    bool m_bHangUp = false;  // not a round: ends the call a round that died left open
};

// The time on the clock in milliseconds since the run began, beyond the tick count's wrap.
class CRunTime {
  public:
    explicit CRunTime(CClock& clock) : m_clock(clock), m_nLast(clock.GetTickCount()) {}
    int64_t Now() {
        const uint32_t tick = m_clock.GetTickCount();
        m_nNow += static_cast<uint32_t>(tick - m_nLast);
        m_nLast = tick;
        return m_nNow;
    }

  private:
    CClock& m_clock;
    uint32_t m_nLast;
    int64_t m_nNow = 0;
};

// The device a line of --lines stands for, as a round's journal names it.
std::string LineDevice(const std::string& given, const CStoredSettings& stored) {
    if (given.size() == 1 && given[0] >= '1' && given[0] <= '9') {
        const int port = given[0] - '0';
        return CLineAddress::Port(port, stored.m_portDevices[static_cast<size_t>(port)])
            .DeviceName();
    }
    return CLineAddress::Device(given).DeviceName();
}

class CPoolRun {
  public:
    CPoolRun(const CCliOptions& o, const std::vector<const CSite*>& sites,
             const std::vector<CTarget>& targets, const CStoredSettings& stored, CClock& clock,
             CConsoleUi& ui)
        : m_opt(o),
          m_clock(clock),
          m_time(clock),
          m_ui(ui),
          m_pool(static_cast<int64_t>(o.m_nEverySeconds) * 1000,
                 static_cast<int64_t>(o.m_nEverySeconds) * 1000, kHeldRetryMs, o.m_nCount) {
        for (const std::string& given : o.m_lines) {
            m_pool.AddLine(given, true);
            m_givenLines.push_back(given);
            m_devices.push_back(LineDevice(given, stored));
        }
        for (size_t i = 0; i < sites.size(); ++i) {
            int line = -1;
            if (HasOwnLine(*sites[i])) {
                const std::string device = targets[i].m_line.m_address.DeviceName();
                const auto at = std::find(m_devices.begin(), m_devices.end(), device);
                line = static_cast<int>(at - m_devices.begin());
                if (at == m_devices.end()) {
                    m_pool.AddLine(device, false);
                    m_givenLines.push_back({});
                    m_devices.push_back(device);
                }
            }
            m_pool.AddSite(sites[i]->m_sName, line, 0);
            m_journals.push_back(Journal(targets[i]));
        }
    }

    int Run() {
        CStopSignals stopSignals;
        bool failed = false;
        bool saidAllOut = false;
        for (;;) {
            const int64_t now = m_time.Now();
            const bool stop = CStopSignals::Requested();
            for (CPoolChild& child : m_children)
                Watch(child, now, stop);
            for (size_t i = 0; i < m_children.size();) {
                if (m_children[i].m_pProcess->state() != QProcess::NotRunning) {
                    ++i;
                    continue;
                }
                // Out of the list first: its end may start another process.
                CPoolChild ended = std::move(m_children[i]);
                m_children.erase(m_children.begin() + static_cast<std::ptrdiff_t>(i));
                if (ended.m_bHangUp)
                    HungUp(ended);
                else
                    failed = Ended(ended, now) || failed;
                WritePages(failed);
            }
            if (stop) {
                if (m_children.empty())
                    break;
            } else {
                while (const std::optional<CPoolStart> start = m_pool.Next(now))
                    Start(*start, now);
                if (m_pool.AllLinesOut() && m_children.empty()) {
                    if (!saidAllOut) {
                        m_ui.Note(m_opt.m_nEverySeconds > 0
                                      ? "Alle Leitungen sind ausgefallen; sie werden zur nächsten "
                                        "Runde wieder versucht."
                                      : "Alle Leitungen sind ausgefallen.");
                        saidAllOut = true;
                    }
                    if (m_opt.m_nEverySeconds == 0) {
                        NoteLeftOver(false);
                        failed = true;
                        break;
                    }
                } else {
                    saidAllOut = false;
                }
                if (m_children.empty() && (m_pool.Over() || HeldTooLong(now))) {
                    failed = NoteLeftOver(HeldTooLong(now)) || failed;
                    break;
                }
            }
            m_clock.Sleep(kPollMs);
            QCoreApplication::processEvents();
        }
        if (CStopSignals::Requested())
            m_ui.Note("Aufnahme auf Anforderung beendet.");
        return failed ? 1 : 0;
    }

  private:
    static std::string Journal(const CTarget& target) {
        CPictureKeeper keeper;
        keeper.Use(target.m_storage, target.m_sSite);
        return keeper.m_sJournal;
    }

    // Names every site left without its round; true when there is one.
    bool NoteLeftOver(bool held) {
        bool any = false;
        for (const CPoolSite& site : m_pool.Sites()) {
            if (site.m_bFinished)
                continue;
            any = true;
            m_ui.Note("Standort " + site.m_sName + ": " +
                      (held ? std::string(CComPort::kPortBusyText) + " (15 Minuten gewartet)"
                            : std::string("keine Leitung mehr, die ihn erreicht")) +
                      "; nicht aufgenommen");
        }
        return any;
    }

    // Without --every, lines that other programs hold are waited for a while, not for ever.
    bool HeldTooLong(int64_t now) const {
        if (m_opt.m_nEverySeconds != 0 || now < kHeldWaitMs)
            return false;
        return std::any_of(m_pool.Lines().begin(), m_pool.Lines().end(),
                           [](const CPoolLine& l) { return l.m_bHeld; });
    }

    void Start(const CPoolStart& start, int64_t now) {
        const CPoolSite& site = m_pool.Sites()[static_cast<size_t>(start.m_iSite)];
        // The first pass queues every site at once: lateness counts from the second round.
        if (m_opt.m_nEverySeconds > 0 && site.m_nRounds > 0 && start.m_nLag >= kLagToSayMs)
            m_ui.Note("Standort " + site.m_sName + ": Runde " +
                      std::to_string(start.m_nLag / 1000) +
                      " s nach ihrer Zeit begonnen, alle Leitungen waren belegt");
        Launch(start, now, false);
    }

    // This program again, for the site on the line: its round, or the end of a call a round
    // left open.
    void Launch(const CPoolStart& start, int64_t now, bool hangUp) {
        const CPoolSite& site = m_pool.Sites()[static_cast<size_t>(start.m_iSite)];
        QStringList args;
        for (const std::string& arg : m_opt.m_args)
            args << QString::fromStdString(arg);
        args << "--pool-site" << QString::fromStdString(site.m_sName) << "--pool-line"
             << QString::fromStdString(m_givenLines[static_cast<size_t>(start.m_iLine)]);
        if (hangUp)
            args << "--pool-hangup";
        CPoolChild child;
        child.m_pProcess = std::make_unique<QProcess>();
        QProcess& p = *child.m_pProcess;
        p.setProgram(QCoreApplication::applicationFilePath());
        p.setArguments(args);
        p.setStandardInputFile(QProcess::nullDevice());
        // The pictures' paths and the texts of each round go where this process's go.
        p.setProcessChannelMode(QProcess::ForwardedChannels);
        child.m_start = start;
        child.m_nStarted = now;
        child.m_bHangUp = hangUp;
        p.start();
        m_children.push_back(std::move(child));
    }

    // The end of a call a round left open: said when it may not have been hung up.
    void HungUp(const CPoolChild& child) {
        const QProcess& p = *child.m_pProcess;
        if (p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
            return;
        m_ui.Note("Leitung " + m_devices[static_cast<size_t>(child.m_start.m_iLine)] +
                  ": Auflegen nach der abgebrochenen Runde nicht bestätigt, das Modem ist "
                  "vielleicht noch in der Verbindung");
    }

    // Passes a stop on, once; a round that hangs is asked to end, then ended.
    void Watch(CPoolChild& child, int64_t now, bool stop) {
        QProcess& p = *child.m_pProcess;
        if (p.state() == QProcess::NotRunning)
            return;
        // The end of a call is not stopped: it takes seconds and hangs a modem up.
        const bool pass = stop && !child.m_bHangUp;
        if (!child.m_bAsked && (pass || now - child.m_nStarted > kRoundLimitMs)) {
            child.m_bHung = !stop;
            child.m_bAsked = true;
            child.m_nAsked = now;
            p.terminate();
        } else if (child.m_bAsked && now - child.m_nAsked > kEndLimitMs) {
            p.kill();
            p.waitForFinished(1000);
        }
    }

    // Tells the pool how the round ended; true when it failed.
    bool Ended(CPoolChild& child, int64_t now) {
        QProcess& p = *child.m_pProcess;
        const CPoolStart& start = child.m_start;
        const size_t iSite = static_cast<size_t>(start.m_iSite);
        const std::string& line = m_devices[static_cast<size_t>(start.m_iLine)];
        const std::string& site = m_pool.Sites()[iSite].m_sName;
        const bool crashed = p.error() == QProcess::FailedToStart ||
                             p.exitStatus() == QProcess::CrashExit || child.m_bHung;
        const int code = crashed ? -1 : p.exitCode();
        // A round that died mid-call could not hang up: its line is hung up by another process.
        if (p.error() != QProcess::FailedToStart &&
            (p.exitStatus() == QProcess::CrashExit || child.m_bHung))
            Launch(start, now, true);
        if (CStopSignals::Requested() && !child.m_bHung) {
            m_pool.Finished(start, EPoolEnd::kStopped, now);
            return code != 0 && code != kPoolLineHeld;
        }
        if (code == 0 || code == 1) {
            m_pool.Finished(start, EPoolEnd::kDone, now);
            return code == 1;
        }
        std::vector<bool>& saidHeld = m_saidHeld;
        saidHeld.resize(m_devices.size());
        const size_t iLine = static_cast<size_t>(start.m_iLine);
        if (code == kPoolLineHeld) {
            // Said once while it stays held, not at every look.
            if (!saidHeld[iLine])
                m_ui.Note("Leitung " + line + ": " + CComPort::kPortBusyText +
                          "; sie wird übersprungen, bis sie frei ist");
            saidHeld[iLine] = true;
            m_pool.Finished(start, EPoolEnd::kLineHeld, now);
            return false;
        }
        saidHeld[iLine] = false;
        std::string why;
        if (code == kPoolLineFailed) {
            why = "Einrichtung der Leitung gescheitert";
        } else {
            why = child.m_bHung ? "Runde hängt, abgebrochen"
                  : p.error() == QProcess::FailedToStart
                      ? "Runde nicht gestartet"
                      : "Runde endete unerwartet (" +
                            (p.exitStatus() == QProcess::CrashExit
                                 ? std::string("abgestürzt")
                                 : "Status " + std::to_string(p.exitCode())) +
                            ")";
            // The round could not say so itself.
            CCaptureEvent e;
            e.m_time = QDateTime::currentDateTime();
            e.m_sEvent = "line";
            e.m_sResult = "failed";
            e.m_sMessage = "Leitung " + line + " fällt aus dem Pool: " + why;
            e.m_sSite = site;
            std::string error;
            if (!m_journals[iSite].empty() && !AppendJournal(m_journals[iSite], e, &error))
                m_ui.Note("Journal nicht geschrieben ! " + error);
        }
        m_pool.Finished(start, EPoolEnd::kLineFailed, now, why);
        const std::string until = m_opt.m_nEverySeconds > 0
                                      ? "für " + std::to_string(m_opt.m_nEverySeconds) + " s"
                                      : "bis zum Ende des Laufs";
        m_ui.Note("Leitung " + line + " " + until + " aus dem Pool genommen (" + why +
                  "); Standort " + site + " geht auf die nächste freie Leitung");
        return false;
    }

    // The page and metrics over every site's journal, with the lines of the pool.
    void WritePages(bool& failed) {
        if (m_opt.m_sReportOut.empty() && m_opt.m_sMetrics.empty())
            return;
        CPoolReport pool;
        for (size_t l = 0; l < m_devices.size(); ++l) {
            pool.m_lines.push_back(m_devices[l]);
            if (m_pool.Lines()[l].m_bOut)
                pool.m_out.push_back(m_devices[l]);
        }
        for (const CPoolSite& site : m_pool.Sites())
            if (site.m_bStarted)
                pool.m_lags.emplace_back(site.m_sName, static_cast<double>(site.m_nLastLag) / 1000);
        std::vector<std::string> journals;
        // A site whose first round has not ended yet has no journal to read.
        for (const std::string& journal : m_journals)
            if (!journal.empty() && QFileInfo::exists(QString::fromStdString(journal)))
                journals.push_back(journal);
        std::vector<std::string> problems, notes;
        if (!WriteReport(journals, QDateTime::currentDateTime(), m_opt.m_sReportOut,
                         m_opt.m_sMetrics, problems, &notes, &pool))
            failed = true;
        for (const std::string& note : notes)
            m_ui.Note(note);
        for (const std::string& problem : problems)
            m_ui.Note(problem);
    }

    const CCliOptions& m_opt;
    CClock& m_clock;
    CRunTime m_time;
    CConsoleUi& m_ui;
    CLinePool m_pool;
    std::vector<std::string> m_givenLines;  // each line as --lines gave it; empty: a site's own
    std::vector<std::string> m_devices;     // each line's device, as the journals name it
    std::vector<std::string> m_journals;    // each site's
    std::vector<CPoolChild> m_children;
    std::vector<bool> m_saidHeld;  // by line: its being held has been said
};

}  // namespace

bool HasOwnLine(const CSite& site) {
    return !site.m_sDevice.empty() || site.m_iCom != 0 || site.m_eLink == ESiteLink::kCable;
}

void PoolRoundLine(const CCliOptions& o, const CSite& site, CTargetOptions& target) {
    if (HasOwnLine(site) || o.m_sPoolLine.empty())
        return;
    const std::string& line = o.m_sPoolLine;
    if (line.size() == 1 && line[0] >= '1' && line[0] <= '9')
        target.m_iCom = line[0] - '0';
    else
        target.m_sDevice = line;
    target.m_bModem = true;
}

int RunPool(const CCliOptions& options, const std::vector<const CSite*>& sites,
            const std::vector<CTarget>& targets, const CStoredSettings& stored, CClock& clock,
            CConsoleUi& ui) {
    return CPoolRun(options, sites, targets, stored, clock, ui).Run();
}
