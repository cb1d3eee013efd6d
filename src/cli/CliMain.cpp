#include "cli/CliMain.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>
#include <QString>
#include <memory>
#include <string>

#include "PixlaneVersion.h"
#include "app/PixlaneApp.h"
#include "app/PortSettings.h"
#include "app/SettingsStore.h"
#include "capture/FetchRequest.h"
#include "capture/ImageFile.h"
#include "capture/TargetFile.h"
#include "capture/TargetParts.h"
#include "cli/CaptureCommand.h"
#include "cli/CliOptions.h"
#include "cli/ConsoleUi.h"
#include "cli/FilmCommand.h"
#include "cli/PoolCommand.h"
#include "cli/PortsCommand.h"
#include "cli/QtMessages.h"
#include "cli/SitesCommand.h"
#include "fleet/Report.h"
#include "fleet/SiteBook.h"
#include "image/PictureCheck.h"
#include "link/ComPort.h"
#include "link/ModemDialler.h"
#include "link/PrintableText.h"
#if PIXLANE_HAVE_DEMO
#include "sim/DemoModule.h"
#endif

namespace {

const char* const kProgram = "pixlane-cli";

// After a failed dial, the modem's own word for it, which the dialler's text leaves out.
void NoteModemWord(const std::string& word, CConsoleUi& ui) {
    if (!word.empty())
        ui.Note(ModemResultText(word));
}

// Everything a command needs while it runs; the port is open on the target's line.
struct CRun {
    const CCliOptions& m_opt;
    CPixlaneApp& m_app;
    CConsoleUi& m_ui;
    std::ostream& m_out;
    const CTarget& m_target;
    std::string m_sModem;  // the modem's word that failed the dial, if it said one
};

int RunStatus(CRun& r) {
    CComPort port(r.m_app.Line());
    CModuleAnswer answer;
    if (r.m_opt.m_sQuery == "camera")
        answer = port.AskCameraStatus();
    else if (r.m_opt.m_sQuery == "input")
        answer = port.AskInputStatus();
    else if (r.m_opt.m_sQuery == "error")
        answer = port.AskErrorStatus();
    else
        answer = port.AskSoftwareVersion();
    if (!answer.m_bAnswered) {
        r.m_ui.Note(answer.m_sText);
        return 1;
    }
    // Whatever the module sent, none of it may steer the user's terminal.
    r.m_out << PrintableText(answer.m_sText) << '\n';
    return 0;
}

int RunTimestamp(CRun& r) {
    const CModuleAnswer answer =
        CComPort(r.m_app.Line()).AskTimeStamp(r.m_opt.m_bResetTime ? "1" : "0");
    if (!answer.m_bAnswered) {
        r.m_ui.Note(answer.m_sText);
        return 1;
    }
    // Two characters of the triggering channel, then the seconds.
    const std::string& text = answer.m_sText;
    r.m_out << PrintableText(text.substr(0, 2)) << ' '
            << PrintableText(text.substr(std::min<size_t>(2, text.size()))) << '\n';
    return 0;
}

int RunChannel(CRun& r) {
    switch (CComPort(r.m_app.Line()).SelectChannelResult(std::to_string(r.m_opt.m_iKanal))) {
        case kChannelSelected:
            return 0;
        case kChannelRefused:
            // The module's refusal has been said.
            return 1;
        case kChannelNoAnswer:
            break;
    }
    r.m_ui.Note("Kanal " + std::to_string(r.m_opt.m_iKanal) + " nicht gewählt !");
    return 1;
}

int RunParams(CRun& r) {
    if (!CComPort(r.m_app.Line()).SetParametersForWidth(r.m_target.m_request.m_nWidth)) {
        r.m_ui.MessageBox("FehlerP");
        return 1;
    }
    return 0;
}

int RunReset(CRun& r) {
    const CModuleAnswer answer = CComPort(r.m_app.Line()).AskReset();
    if (!answer.m_bAnswered) {
        r.m_ui.Note(answer.m_sText);
        return 1;
    }
    r.m_out << answer.m_sText << '\n';
    return 0;
}

int RunDial(CRun& r) {
    const CDialResult dial = r.m_app.Dial(r.m_target.m_line.m_sNumber);
    r.m_sModem = dial.m_sModem;
    return dial.Connected() ? 0 : 1;
}

int RunHangup(CRun& r) {
    r.m_ui.SetStatusText("Verbindung wird getrennt..");
    if (CComPort(r.m_app.Line()).EndConnection() == kHangUpConfirmed) {
        r.m_ui.SetStatusText("Verbindung getrennt!");
        return 0;
    }
    r.m_ui.SetStatusText("!!Auflegen nicht möglich!!");
    return 1;
}

// Whether the request can give a picture at all; when not, says why. The window sends
// some such requests all the same, but a run that ends with exit status 0 must have a
// picture to show for it.
bool CanFetch(const CFetchRequest& request, CConsoleUi& ui) {
    const ERequestProblem problem = request.Problem();
    if (problem == ERequestProblem::kNone)
        return true;
    ui.Note(kBadRequestText);
    if (const std::string why = request.ProblemText(problem); !why.empty())
        ui.Note(why);
    return false;
}

// What the check of a fetched picture found. Without a journal there are no previous
// pictures, so a single fetch is never frozen.
std::string CheckText(const CImage& image, const CTarget& target) {
    const std::optional<CPictureVerdict> verdict =
        CheckPicture(image, target.m_limits, {}, target.m_request.m_iMode == 1 ? 15 : 255);
    if (!verdict)
        return "Bildprüfung: kein Bildpunkt";
    const auto number = [](double value) {
        return QString::number(value, 'f', 1).replace(u'.', u',').toStdString();
    };
    const std::string word = PictureCheckWord(verdict->m_eCheck);
    return "Bildprüfung: " + (word.empty() ? std::string("in Ordnung") : word) + " (Helligkeit " +
           number(verdict->m_measure.m_dMean) + ", Spanne " + number(verdict->m_measure.m_dSpread) +
           ")";
}

int RunFetch(CRun& r) {
    const CCliOptions& o = r.m_opt;
    CPixlaneApp& app = r.m_app;
    // Dialled first when the options or the site say the module is behind its modem; the
    // stored link is the window's.
    const CTarget& target = r.m_target;
    const CFetchOutcome fetched =
        target.m_line.m_bModem && !target.m_bLinkStored
            ? app.FetchImageViaModem(target.m_request, target.m_line.m_sNumber)
            : app.FetchImage(target.m_request);
    r.m_ui.Finish();
    if (!fetched.Whole() || !app.m_image.HasBits()) {
        r.m_ui.ReportFailure();
        NoteModemWord(fetched.m_dial.m_sModem, r.m_ui);
        r.m_ui.Note("Kein vollständiges Bild empfangen, keine Datei geschrieben !");
        return 1;
    }
    if (o.m_bCheck)
        r.m_ui.Note(CheckText(app.m_image, target));
    std::string error;
    // "-", or a name for this program's own standard output: the picture is the result.
    if (o.m_sOutput == "-" || TargetDescriptor(o.m_sOutput) == 1) {
        const std::vector<uint8_t> bytes = ImageFileBytes(o.m_sOutput, app.m_image, &error);
        if (!bytes.empty()) {
            r.m_out.write(reinterpret_cast<const char*>(bytes.data()),
                          static_cast<std::streamsize>(bytes.size()));
            r.m_out.flush();
            if (r.m_out.good())
                return 0;
            error = "die Standardausgabe nimmt das Bild nicht an";
        }
    } else if (WriteImageFile(o.m_sOutput, app.m_image, &error)) {
        r.m_out << QFileInfo(QString::fromStdString(o.m_sOutput)).absoluteFilePath().toStdString()
                << '\n';
        return 0;
    }
    r.m_ui.MessageBox("Fehler beim Speichern !");
    r.m_ui.Note(std::string(kProgram) + ": " + o.m_sOutput + ": " + error);
    return 1;
}

int Dispatch(CRun& r) {
    using Handler = int (*)(CRun&);
    static const std::pair<const char*, Handler> kCommands[] = {
        {"status", RunStatus}, {"timestamp", RunTimestamp}, {"channel", RunChannel},
        {"params", RunParams}, {"reset", RunReset},         {"dial", RunDial},
        {"hangup", RunHangup}, {"fetch", RunFetch},
    };
    for (const auto& [name, handler] : kCommands)
        if (r.m_opt.m_sCommand == name)
            return handler(r);
    return 2;  // the parser knows no other command
}

// The sites the options name, from the book; false (said) when one is not in it.
bool NamedSites(const CCliOptions& opt, const CSiteBook& book, std::vector<const CSite*>& sites,
                CConsoleUi& ui) {
    const std::string books = " (" + SiteBookPathsText() + ")";
    std::vector<std::string> names = opt.m_sites;
    if (!opt.m_sSite.empty())
        names.push_back(opt.m_sSite);
    // A pool's round: the one site it was started for.
    if (opt.m_bPoolRound) {
        names = {opt.m_sPoolSite};
    } else if (opt.m_bAllSites) {
        for (const CSite& site : book.m_sites)
            sites.push_back(&site);
        if (sites.empty()) {
            ui.Note("Das Standortbuch nennt keinen Standort" + books);
            return false;
        }
    }
    for (const std::string& name : names) {
        const CSite* site = book.Find(name);
        if (site == nullptr) {
            ui.Note("Standort " + name + " steht nicht im Standortbuch" + books);
            return false;
        }
        sites.push_back(site);
    }
    return true;
}

// The commands that bring pictures.
bool TakesPictures(const std::string& command) {
    return command == "fetch" || command == "capture";
}

}  // namespace

int RunCli(int argc, char** argv, std::ostream& out, std::ostream& err, bool errIsTerminal,
           const CCliLine& line) {
    const CQtMessageFilter quietQt;
    CCliOptions opt;
    std::string error;
    switch (ParseCli(argc, argv, opt, error)) {
        case ECliParse::Help:
            out << CliHelp(opt.m_sCommand);
            return 0;
        case ECliParse::Version:
            out << kProgram << ' ' << kPixlaneVersion << '\n';
            return 0;
        case ECliParse::UsageError:
            err << kProgram << ": " << error << '\n'
                << "Aufruf: " << kProgram
                << " [OPTIONEN] BEFEHL [ARGUMENTE]; --help zeigt alle Befehle und Optionen\n";
            return 2;
        case ECliParse::Run:
            break;
    }

    // Qt wants an application object for the serial port; a caller may have made one.
    std::unique_ptr<QCoreApplication> qapp;
    static int s_argc = 1;
    static char s_name[] = "pixlane-cli";
    static char* s_argv[] = {s_name, nullptr};
    if (QCoreApplication::instance() == nullptr)
        qapp = std::make_unique<QCoreApplication>(s_argc, s_argv);

    if (opt.m_sCommand == "report") {
        std::vector<std::string> sources = opt.m_sources;
        if (sources.empty()) {
            // The journals of the book's sites, each in its folder.
            const CSiteBook book = ReadSiteBook();
            for (const std::string& problem : book.m_problems)
                err << kProgram << ": " << problem << '\n';
            // A site that has not been captured yet has no journal to read.
            for (const CSite& site : book.m_sites)
                if (QFileInfo::exists(QString::fromStdString(site.CaptureJournal())))
                    sources.push_back(site.CaptureJournal());
            if (sources.empty()) {
                err << kProgram
                    << ": report: kein Standort des Standortbuchs hat hier ein Journal; nenne ein "
                       "Journal oder einen Ordner mit Journalen\n";
                return 1;
            }
        }
        std::vector<std::string> problems, notes;
        const bool written = WriteReport(sources, QDateTime::currentDateTime(), opt.m_sReportOut,
                                         opt.m_sMetrics, problems, &notes);
        for (const std::string& note : notes)
            err << kProgram << ": " << note << '\n';
        for (const std::string& problem : problems)
            err << kProgram << ": " << problem << '\n';
        return written ? 0 : 1;
    }

    // The user's settings are the defaults. They are only read: the application's
    // start-up and shut-down, which would write them back, are never run.
    // The rounds of a pool share the terminal: no line drawn over and over, each line
    // naming its site.
    CConsoleUi ui(err, opt.m_bQuiet, errIsTerminal && !opt.m_bPoolRound);
    if (opt.m_bPoolRound)
        ui.SetPrefix(opt.m_sPoolSite + ": ");
    const CSettingsStore settings = OpenSettingsStore();
    for (const std::string& problem : settings.m_problems)
        ui.Note(std::string(kProgram) + ": " + problem);
    QSettings& store = *settings.m_pStore;
    CPixlaneApp app;
    app.Line().SetClock(line.m_pClock);
    app.Line().SetLineFactory(line.m_pFactory);
    // Nobody watches the status bar here: a modem's answer is taken as soon as it is there.
    app.m_eModemPace = EModemPace::kAsArrived;
    app.ReadSettings(store, [&ui](const std::string& text) { ui.Note(text); });
    app.BuildYuvTables();
    app.UseStoredPorts(&store);
    if (opt.m_sCommand == "ports") {
        // A device is stored in the user's file, which was not read.
        if (opt.m_iAssign != 0 && !settings.m_bWritable) {
            ui.Note(std::string(kProgram) + ": Port " + std::to_string(opt.m_iAssign) +
                    " nicht gespeichert");
            return 1;
        }
        const int rc = RunPorts(opt, store, out, ui);
        out.flush();
        return rc;
    }
    if (opt.m_sCommand == "sites") {
        const int rc = RunSites(opt, out, ui);
        out.flush();
        return rc;
    }
    // The book is read only when a site is asked for; what is wrong in it is said.
    CSiteBook book;
    std::vector<const CSite*> sites;
    if (!opt.m_sSite.empty() || !opt.m_sites.empty() || opt.m_bAllSites || opt.m_bPoolRound) {
        book = ReadSiteBook();
        for (const std::string& problem : book.m_problems)
            ui.Note(problem);
        if (!NamedSites(opt, book, sites, ui)) {
            return 1;
        }
    }
    if (sites.empty())
        sites.push_back(nullptr);

    // Where there is no demo, the parser refuses --demo.
    std::string demoDevice;
#if PIXLANE_HAVE_DEMO
    std::unique_ptr<CDemoModule> demo;
    if (opt.m_bDemo) {
        demo = std::make_unique<CDemoModule>();
        ESimScene scene = ESimScene::Normal;
        if (ParseSimScene(opt.m_sDemoScene, scene))
            demo->SetScene(scene);
        if (!demo->Start(opt.m_bDemoModem, &error)) {
            ui.Note(std::string("Demo-Modul nicht gestartet: ") + error);
            return 1;
        }
        demoDevice = demo->DevicePath();
    }
#endif
    // One target for each site (or the settings and options alone), made once from the
    // settings as read; pixlane-cli keeps its pictures where its options say, not in the
    // window's auto-save folder.
    CStoredSettings stored = app.Stored();
    stored.m_storage = {};
    CTargetOptions options = TargetOptions(opt);
    options.m_sDemoDevice = demoDevice;
    std::vector<CTarget> targets;
    bool canFetch = true;
    for (const CSite* site : sites) {
        CTargetOptions siteOptions = options;
        if (opt.m_bPoolRound && site != nullptr)
            PoolRoundLine(opt, *site, siteOptions);
        targets.push_back(ResolveTarget(stored, site, siteOptions));
        if (TakesPictures(opt.m_sCommand) && !CanFetch(targets.back().m_request, ui)) {
            if (site != nullptr)
                ui.Note("Standort " + site->m_sName + " (" + site->m_sFile + ":" +
                        std::to_string(site->m_nLine) + ")");
            canFetch = false;
        }
    }

    app.SetUi(&ui);
    int rc = 1;
    if (!canFetch) {
        // Nothing is sent for a picture that could not be made.
    } else if (opt.m_sCommand == "capture" && opt.m_bPoolRound) {
        rc = RunPoolRound(opt, targets.front(), app, ui, out, err);
    } else if (opt.m_sCommand == "capture" && !opt.m_lines.empty()) {
        rc = RunPool(opt, sites, targets, stored, app.Line().Clock(), ui);
    } else if (opt.m_sCommand == "timelapse") {
        rc = RunTimelapse(opt, targets, ui, out, errIsTerminal);
    } else if (opt.m_sCommand == "retention") {
        rc = RunRetention(opt, targets, ui, out);
    } else if (opt.m_sCommand == "capture") {
        // Each round opens the line itself, so that a run outlives a line that went away.
        rc = RunCapture(opt, targets, app, ui, out, err, line.m_fnNow);
    } else if (app.OpenPort(targets.front().m_line)) {
        CRun run{opt, app, ui, out, targets.front(), {}};
        rc = Dispatch(run);
        if (rc == 1 && opt.m_sCommand != "fetch") {
            ui.ReportFailure();
            NoteModemWord(run.m_sModem, ui);
        }
    } else {
        if (app.Line().OpenFoundBusy())
            ui.Note(CComPort::kPortBusyText);
        ui.Note(PortOpenFailedText(targets.front().m_line.m_address, app.Line().OpenProblem()));
    }
    ui.Finish();
    out.flush();
    CComPort(app.Line()).Open(0);
    app.SetUi(nullptr);
#if PIXLANE_HAVE_DEMO
    if (demo)
        demo->Stop();
#endif
    return rc;
}
