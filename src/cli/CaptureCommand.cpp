#include "cli/CaptureCommand.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <algorithm>
#include <string>

#include "app/Capture.h"
#include "app/CaptureRound.h"
#include "app/PixlaneApp.h"
#include "app/Report.h"
#include "cli/CliOptions.h"
#include "cli/ConsoleUi.h"
#include "cli/StopSignals.h"
#include "link/ComPort.h"

namespace {

// How often a wait looks whether a stop was asked for.
constexpr uint32_t kStopPollMs = 200;
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

// The folder a pattern's names begin with: its part before the first field, up to the
// last "/" there, made absolute.
std::string PatternFolder(const std::string& pattern) {
    const std::string fixed = pattern.substr(0, pattern.find_first_of("%{"));
    const size_t slash = fixed.rfind('/');
    const QString folder =
        QString::fromStdString(slash == std::string::npos ? "." : fixed.substr(0, slash + 1));
    return QDir::cleanPath(QFileInfo(folder).absoluteFilePath()).toStdString();
}

}  // namespace

int RunCapture(const CCliOptions& o, const CFetchRequest& request, CPixlaneApp& app, CConsoleUi& ui,
               std::ostream& out, std::ostream& err) {
    if (o.m_channels.empty() && (app.m_iKanal < 1 || app.m_iKanal > 8)) {
        ui.Note("Einstellung m_iKanal: " + std::to_string(app.m_iKanal) +
                " ist kein Kanal (1..8); --channels nennt die Kanäle");
        return 1;
    }
    if (o.m_sTel_nr)
        app.m_sTel_nr = *o.m_sTel_nr;
    CStopSignals stopSignals;
    app.SetStopCheck([] { return CStopSignals::Requested(); });

    CPictureKeeper keeper;
    keeper.m_sPattern = o.m_sPattern;
    if (!o.m_sJournal.empty())
        keeper.m_sJournal =
            QFileInfo(QString::fromStdString(o.m_sJournal)).absoluteFilePath().toStdString();
    keeper.m_sLatest = o.m_sLatest;
    keeper.m_retention.m_nKeepSeconds = o.m_nKeepSeconds;
    keeper.m_retention.m_nMinFreeBytes = o.m_nMinFreeBytes;
    if (keeper.m_retention.Active()) {
        keeper.m_retention.m_sFolder = PatternFolder(o.m_sPattern);
        keeper.m_retention.m_sLatest = o.m_sLatest;
        keeper.m_retention.Load(keeper.m_sJournal);
    }
    CCapturePlan plan;
    plan.m_request = request;
    plan.m_bUnattended = true;
    // The demo module without its modem is on a cable, whatever the stored link says.
    plan.m_bDial = o.m_bModem || o.m_bDemoModem || (!o.m_bLocal && !o.m_bDemo && app.m_iLokal == 0);
    plan.m_channels = o.m_channels.empty() ? std::vector<int>{app.m_iKanal} : o.m_channels;
    plan.m_pKeeper = &keeper;
    plan.m_fnSaved = [&](const std::string& path) {
        ui.Finish();
        out << path << '\n';
        out.flush();
        return o.m_sExec.empty() ? std::string() : RunExec(o.m_sExec, path, ui, err);
    };

    CClock& clock = CComPort::Clock();
    const uint32_t periodMs = static_cast<uint32_t>(o.m_nEverySeconds) * 1000;
    CCaptureOutcome last;
    for (int round = 1;; ++round) {
        const uint32_t start = clock.GetTickCount();
        last = CCaptureRound(app, plan).Run();
        ui.Finish();
        if (!o.m_sReportOut.empty() || !o.m_sMetrics.empty()) {
            std::vector<std::string> problems;
            if (!WriteReport({keeper.m_sJournal}, keeper.Now(), o.m_sReportOut, o.m_sMetrics,
                             problems))
                last.m_bRecordFailed = true;
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
    return last.m_nFailed > 0 || last.m_bSaveFailed || last.m_bRecordFailed ? 1 : 0;
}
