#include "cli/CaptureCommand.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <algorithm>
#include <string>
#include <string_view>

#include "app/PixlaneApp.h"
#include "capture/Capture.h"
#include "capture/CaptureRound.h"
#include "cli/CliOptions.h"
#include "cli/ConsoleUi.h"
#include "fleet/Report.h"
#include "fleet/SiteBook.h"
#include "link/ComPort.h"
#include "link/ModemDialler.h"
#include "platform/StopSignals.h"

namespace {

// How often a wait looks whether a stop was asked for.
constexpr uint32_t kStopPollMs = 200;
// How often a line that another process holds is tried again, and how long a single
// round (without --every) waits for it.
constexpr uint32_t kBusyPollMs = 1000;
constexpr uint32_t kBusyWaitMs = 15 * 60 * 1000;
// How long a --exec program may take to end after it was asked to.
constexpr qint64 kExecStopMs = 5000;

// Runs the program with the picture's path and waits for it; a text saying how it failed,
// or empty. Asked to stop meanwhile, the program is asked to end too.
std::string RunExec(const std::string& program, const std::string& path, CConsoleUi& ui,
                    std::ostream& err) {
    QProcess process;
    process.setProgram(QString::fromStdString(program));
    process.setArguments({QString::fromStdString(path)});
    process.setStandardInputFile(QProcess::nullDevice());
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Standard output is the list of pictures: what the program prints goes to errors.
    const auto pass = [&process, &err] {
        const QByteArray bytes = process.readAllStandardOutput();
        err.write(bytes.constData(), bytes.size());
        err.flush();
    };
    process.start();
    std::string text;
    if (!process.waitForStarted(-1)) {
        text = "Befehl " + program + " nicht gestartet" +
               (process.error() == QProcess::FailedToStart
                    ? ": Programm fehlt oder ist nicht ausführbar"
                    : "");
    } else {
        QElapsedTimer asked;
        while (process.state() != QProcess::NotRunning) {
            process.waitForFinished(static_cast<int>(kStopPollMs));
            pass();
            if (process.state() == QProcess::NotRunning || !CStopSignals::Requested())
                continue;
            if (!asked.isValid()) {
                asked.start();
                process.terminate();
            } else if (asked.elapsed() > kExecStopMs) {
                process.kill();
            }
        }
        pass();
        if (process.exitStatus() == QProcess::CrashExit)
            text = "Befehl " + program + " abgebrochen";
        else if (process.exitCode() != 0)
            text = "Befehl " + program + " endete mit Status " + std::to_string(process.exitCode());
    }
    if (!text.empty())
        ui.Note(text);
    return text;
}

// A target's plan and where its pictures go, kept over the run for their numbering.
struct CTargetRun {
    const CTarget* m_pTarget = nullptr;
    CPictureKeeper m_keeper;
    CCapturePlan m_plan;
};

// The plan of the target's rounds; false when its channel is none or its pictures cannot
// be removed safely.
bool Plan(const CCliOptions& o, CTargetRun& run, CConsoleUi& ui, std::ostream& out,
          std::ostream& err) {
    const CTarget& target = *run.m_pTarget;
    for (int channel : target.m_channels) {
        // Only the stored channel can be none: the options and the book take 1..8 alone.
        if (channel < 1 || channel > 8) {
            ui.Note("Einstellung m_iKanal: " + std::to_string(channel) +
                    " ist kein Kanal (1..8); --channels nennt die Kanäle");
            return false;
        }
    }
    CPictureKeeper& keeper = run.m_keeper;
    keeper.Use(target.m_storage, target.m_sSite);
    keeper.m_limits = target.m_limits;
    if (keeper.m_retention.Active()) {
        CRetention& retention = keeper.m_retention;
        retention.m_sMetrics = o.m_sMetrics;
        retention.m_sReport = o.m_sReportOut;
        // Relative names start in the site's folder.
        if (const std::string problem =
                retention.Place(target.m_storage.m_sFolder, target.m_storage.m_sPattern);
            !problem.empty()) {
            ui.Note(KeepProblemText(problem));
            return false;
        }
        retention.Load(keeper.m_sJournal);
    }
    CCapturePlan& plan = run.m_plan;
    plan.m_line = target.m_line;
    plan.m_request = target.m_request;
    plan.m_channels = target.m_channels;
    plan.m_bUnattended = true;
    plan.m_bDial = target.m_line.m_bModem;
    plan.m_pKeeper = &keeper;
    plan.m_fnSaved = [&o, &ui, &out, &err](const std::string& path) {
        ui.Finish();
        out << path << '\n';
        out.flush();
        return o.m_sExec.empty() ? std::string() : RunExec(o.m_sExec, path, ui, err);
    };
    return true;
}

// Before a round: while another process holds the line, waits for it, until the
// deadline (ms on the clock) at most or a stop is asked for. The round then finds the line
// open, or journals that it could not start.
void WaitForLine(CPixlaneApp& app, const CTargetLine& target, uint32_t deadline, CConsoleUi& ui) {
    CLineSession& line = app.Line();
    if (line.IsOpen() || app.OpenPort(target) || !line.OpenFoundBusy())
        return;
    ui.SetStatusText(CComPort::kPortBusyText);
    CClock& clock = line.Clock();
    uint32_t nextTry = clock.GetTickCount() + kBusyPollMs;
    for (;;) {
        const uint32_t now = clock.GetTickCount();
        const auto left = static_cast<int32_t>(deadline - now);
        if (left <= 0 || CStopSignals::Requested())
            return;
        if (static_cast<int32_t>(nextTry - now) <= 0) {
            if (app.OpenPort(target) || !line.OpenFoundBusy())
                return;
            nextTry = now + kBusyPollMs;
        }
        clock.Sleep(std::min(static_cast<uint32_t>(left), kStopPollMs));
    }
}

}  // namespace

int RunCapture(const CCliOptions& o, const std::vector<CTarget>& targets, CPixlaneApp& app,
               CConsoleUi& ui, std::ostream& out, std::ostream& err,
               const std::function<QDateTime()>& now) {
    std::vector<CTargetRun> runs(targets.size());
    for (size_t i = 0; i < targets.size(); ++i) {
        runs[i].m_pTarget = &targets[i];
        runs[i].m_keeper.m_fnNow = now;
        if (!Plan(o, runs[i], ui, out, err))
            return 1;
    }
    CStopSignals stopSignals;
    app.SetStopCheck([] { return CStopSignals::Requested(); });

    CClock& clock = app.Line().Clock();
    const uint32_t periodMs = static_cast<uint32_t>(o.m_nEverySeconds) * 1000;
    bool failed = false;
    for (int round = 1;; ++round) {
        const uint32_t start = clock.GetTickCount();
        failed = false;
        for (CTargetRun& run : runs) {
            if (CStopSignals::Requested())
                break;
            // Outside its window a site is not dialled; the next round looks again.
            const CCaptureWindow& window = run.m_pTarget->m_window;
            if (const CWindowDecision decision = DecideWindow(window, run.m_keeper.Now());
                !decision.m_bDue) {
                ui.Note((run.m_pTarget->m_sSite.empty()
                             ? std::string()
                             : "Standort " + run.m_pTarget->m_sSite + ": ") +
                        OutsideWindowText(window, decision));
                continue;
            }
            // Each site's round opens its own line, at its own settings.
            if (runs.size() > 1)
                app.CloseLine();
            WaitForLine(app, run.m_plan.m_line, start + (periodMs != 0 ? periodMs : kBusyWaitMs),
                        ui);
            const CCaptureOutcome last = CCaptureRound(app, run.m_plan).Run();
            ui.Finish();
            failed = failed || last.m_nFailed > 0 || last.m_bSaveFailed || last.m_bRecordFailed;
        }
        if (!o.m_sReportOut.empty() || !o.m_sMetrics.empty()) {
            // One page over every site's journal, after each round of them all.
            std::vector<std::string> journals;
            for (const CTargetRun& run : runs)
                if (!run.m_keeper.m_sJournal.empty())
                    journals.push_back(run.m_keeper.m_sJournal);
            std::vector<std::string> problems, notes;
            if (!WriteReport(journals, runs.front().m_keeper.Now(), o.m_sReportOut, o.m_sMetrics,
                             problems, &notes))
                failed = true;
            for (const std::string& note : notes)
                ui.Note(note);
            for (const std::string& problem : problems)
                ui.Note(problem);
        }
        if (periodMs == 0 || round == o.m_nCount || CStopSignals::Requested())
            break;
        // The next round starts one period after this one started, at once when this one
        // took longer; the wait looks for a stop now and then.
        for (;;) {
            const uint32_t waited = clock.GetTickCount() - start;
            if (waited >= periodMs || CStopSignals::Requested())
                break;
            clock.Sleep(std::min(periodMs - waited, kStopPollMs));
        }
        if (CStopSignals::Requested())
            break;
    }
    app.SetStopCheck({});
    if (CStopSignals::Requested())
        ui.Note("Aufnahme auf Anforderung beendet.");
    return failed ? 1 : 0;
}

namespace {

// Why the line failed the round at its set-up, before the far end had its say; empty when
// it did not: the port would not open, the modem did not answer its set-up, or said
// NO DIALTONE or ERROR. BUSY, NO CARRIER, NO ANSWER and a bad number are the far end's or
// the site's, not the line's.
std::string LineFault(const CCaptureOutcome& outcome, const CTargetLine& line,
                      const std::string& openProblem) {
    if (outcome.m_bLineFailed)
        return PortOpenFailedText(line.m_address, openProblem);
    if (!outcome.m_bDialFailed)
        return {};
    const std::string& word = outcome.m_sModem;
    if (word == "NO DIALTONE" || word == "NO DIAL TONE" || word == "ERROR")
        return ModemResultText(word);
    switch (outcome.m_nDialCode) {
        case kModemNoAnswer:
        case kModemSetupFailed:
        case kModemExtension:
            return "Modem antwortet nicht auf die Einrichtung";
        case kModemPortClosed:
            return "Schnittstelle geschlossen";
        default:
            return {};
    }
}

// How long the module's answer to the end of a call is looked for behind the rest of a block
// that a round which died left on the line: a whole block at the slowest speed.
constexpr uint32_t kLeftCallAnswerMs = 10000;

// Whether the module's answer to the end of the call comes, among whatever else is still
// under way on the line.
bool EndAnswered(CComPort& port, CLineSession& session) {
    CClock& clock = session.Clock();
    static constexpr std::string_view kAnswer = "q,E,0#";
    std::string tail;
    const uint32_t start = clock.GetTickCount();
    char c[2] = {0, 0};
    while (static_cast<uint32_t>(clock.GetTickCount() - start) <= kLeftCallAnswerMs) {
        if (!port.Read(c, 1)) {
            if (session.LineLost())
                return false;
            continue;
        }
        tail += c[0];
        if (tail.size() > kAnswer.size())
            tail.erase(0, 1);
        if (tail == kAnswer)
            return true;
    }
    return false;
}

// The call of a round that died (killed, crashed, hung) may still be open, its module in the
// middle of a transfer: it is ended as a round ends it, by the module's end of the connection,
// else by DTR, and the line closed. A stop the pool passes on does not cut this short.
int EndLeftCall(const CTarget& target, CPixlaneApp& app, CConsoleUi& ui) {
    const CStopSignals stopSignals;
    const std::string line = target.m_line.m_address.DeviceName();
    if (!app.OpenPort(target.m_line)) {
        ui.Note("Leitung " + line + ": nicht geöffnet, Modem vielleicht nicht aufgelegt (" +
                app.Line().OpenProblem() + ")");
        return 1;
    }
    CComPort port(app.Line());
    port.Write("E,1#", 4);
    if (EndAnswered(port, app.Line())) {
        app.CloseLine();
        ui.Note("Leitung " + line + ": Verbindung der abgebrochenen Runde getrennt");
        return 0;
    }
    // No module answered. A modem still in its call hangs up on DTR; one in command mode gets
    // the line it holds ended, so that the next round's set-up is not taken for its end.
    const bool dtr = port.PulseDtr(kDtrDropMs);
    port.Write("\r", 1);
    app.CloseLine();
    ui.Note("Leitung " + line + ": Modul antwortet nicht, " +
            (dtr ? "Modem über DTR aufgelegt" : "Modem vielleicht nicht aufgelegt (kein DTR)"));
    return dtr ? 0 : 1;
}

}  // namespace

int RunPoolRound(const CCliOptions& o, const CTarget& target, CPixlaneApp& app, CConsoleUi& ui,
                 std::ostream& out, std::ostream& err) {
    if (o.m_bPoolHangUp)
        return EndLeftCall(target, app, ui);
    CTargetRun run;
    run.m_pTarget = &target;
    if (!Plan(o, run, ui, out, err))
        return 1;
    CStopSignals stopSignals;
    app.SetStopCheck([] { return CStopSignals::Requested(); });
    const std::string line = target.m_line.m_address.DeviceName();
    int rc = 0;
    if (!app.OpenPort(target.m_line) && app.Line().OpenFoundBusy()) {
        // Another program's line: nothing is sent, nothing journalled; the pool says so and
        // tries it later.
        rc = kPoolLineHeld;
    } else {
        const std::string openProblem = app.Line().IsOpen() ? "" : app.Line().OpenProblem();
        const CCaptureOutcome last = CCaptureRound(app, run.m_plan).Run();
        ui.Finish();
        const std::string fault =
            last.m_bStopped ? "" : LineFault(last, target.m_line, openProblem);
        if (!fault.empty()) {
            const std::string text = "Leitung " + line + " fällt aus dem Pool: " + fault +
                                     "; Standort " + target.m_sSite +
                                     " geht auf eine andere Leitung";
            ui.Note(text);
            CCaptureEvent e;
            e.m_time = run.m_keeper.Now();
            e.m_sEvent = "line";
            e.m_sResult = "failed";
            e.m_sMessage = text;
            e.m_sSite = target.m_sSite;
            std::string error;
            if (!run.m_keeper.m_sJournal.empty() && !run.m_keeper.Record(e, error))
                ui.Note("Journal nicht geschrieben ! " + error);
            rc = kPoolLineFailed;
        } else {
            rc = last.m_nFailed > 0 || last.m_bSaveFailed || last.m_bRecordFailed ? 1 : 0;
        }
    }
    app.SetStopCheck({});
    if (CStopSignals::Requested())
        ui.Note("Aufnahme auf Anforderung beendet.");
    return rc;
}
