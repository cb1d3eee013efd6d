#include "cli/CliMain.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>
#include <QString>
#include <memory>
#include <optional>
#include <string>

#include "PixlaneVersion.h"
#include "app/ImageFile.h"
#include "app/PixlaneApp.h"
#include "app/PortSettings.h"
#include "app/TargetFile.h"
#include "cli/CaptureCommand.h"
#include "cli/CliOptions.h"
#include "cli/ConsoleUi.h"
#include "cli/PortsCommand.h"
#include "cli/QtMessages.h"
#include "image/Decoder.h"
#include "link/ComPort.h"
#include "link/ModemDialler.h"
#include "link/PrintableText.h"
#include "link/QtSerialLine.h"
#if PIXLANE_HAVE_DEMO
#include "sim/DemoModule.h"
#endif

namespace {

const char* const kProgram = "pixlane-cli";

// Sets an environment variable for the run and puts back what was there before.
class CEnvOverride {
  public:
    CEnvOverride(std::string name, const std::string& value) : m_sName(std::move(name)) {
        if (qEnvironmentVariableIsSet(m_sName.c_str()))
            m_sOld = qgetenv(m_sName.c_str());
        qputenv(m_sName.c_str(), QByteArray::fromStdString(value));
    }
    ~CEnvOverride() {
        if (m_sOld)
            qputenv(m_sName.c_str(), *m_sOld);
        else
            qunsetenv(m_sName.c_str());
    }
    CEnvOverride(const CEnvOverride&) = delete;
    CEnvOverride& operator=(const CEnvOverride&) = delete;

  private:
    std::string m_sName;
    std::optional<QByteArray> m_sOld;
};

// After a failed dial, the modem's own word for it, which the dialler's text leaves out.
void NoteModemResult(const CPixlaneApp& app, CConsoleUi& ui) {
    if (!app.m_sModemResult.empty())
        ui.Note(ModemResultText(app.m_sModemResult));
}

// Everything a command needs while it runs; the port is open.
struct CRun {
    const CCliOptions& m_opt;
    CPixlaneApp& m_app;
    CConsoleUi& m_ui;
    std::ostream& m_out;
};

int RunStatus(CRun& r) {
    CComPort port;
    std::string text;
    std::string failed;
    if (r.m_opt.m_sQuery == "camera") {
        text = port.GetCameraStatus();
        failed = "FehlerV ";
    } else if (r.m_opt.m_sQuery == "input") {
        text = port.GetInputStatus();
        failed = "FehlerC ";
    } else if (r.m_opt.m_sQuery == "error") {
        text = port.GetErrorStatus();
        failed = "FehlerF ";
    } else {
        text = port.GetSoftwareVersion();
        failed = "FehlerS ";
    }
    if (text == failed) {
        r.m_ui.Note(text);
        return 1;
    }
    // Whatever the module sent, none of it may steer the user's terminal.
    r.m_out << PrintableText(text) << '\n';
    return 0;
}

int RunTimestamp(CRun& r) {
    const std::string text = CComPort().GetTimeStamp(r.m_opt.m_bResetTime ? "1" : "0");
    if (text == "FehlerT ") {
        r.m_ui.Note(text);
        return 1;
    }
    // Two characters of the triggering channel, then the seconds.
    r.m_out << PrintableText(text.substr(0, 2)) << ' '
            << PrintableText(text.substr(std::min<size_t>(2, text.size()))) << '\n';
    return 0;
}

int RunChannel(CRun& r) {
    const int messages = r.m_ui.MessageCount();
    if (CComPort().SelectChannel(std::to_string(r.m_opt.m_iKanal)))
        return 0;
    // A refusal the module states says so itself; silence or garbage does not.
    if (r.m_ui.MessageCount() == messages)
        r.m_ui.Note("Kanal " + std::to_string(r.m_opt.m_iKanal) + " nicht gewählt !");
    return 1;
}

int RunParams(CRun& r) {
    const int width = r.m_opt.m_iBildbreite != 0 ? r.m_opt.m_iBildbreite : r.m_app.m_iBildbreite;
    if (!CComPort().SetParametersForWidth(width)) {
        r.m_ui.MessageBox("FehlerP");
        return 1;
    }
    return 0;
}

int RunReset(CRun& r) {
    const std::string text = CComPort().ResetModule();
    if (text == "FehlerR ") {
        r.m_ui.Note(text);
        return 1;
    }
    r.m_out << text << '\n';
    return 0;
}

int RunDial(CRun& r) {
    if (r.m_opt.m_sTel_nr)
        r.m_app.m_sTel_nr = *r.m_opt.m_sTel_nr;
    return r.m_app.ConnectModem() == 0 ? 0 : 1;
}

int RunHangup(CRun& r) {
    r.m_ui.SetStatusText("Verbindung wird getrennt..");
    if (CComPort().EndConnection() == 0) {
        r.m_ui.SetStatusText("Verbindung getrennt!");
        return 0;
    }
    r.m_ui.SetStatusText("!!Auflegen nicht möglich!!");
    return 1;
}

// The image options of fetch and capture over the stored image settings.
void ApplyImageOptions(const CCliOptions& o, CPixlaneApp& app) {
    if (o.m_iBildbreite != 0) {
        app.m_iBildbreite = o.m_iBildbreite;
        // The standard height of the width, unless one is given.
        app.m_iBildhoehe = o.m_iBildbreite * 4 / 5;
    }
    if (o.m_iBildhoehe != 0)
        app.m_iBildhoehe = o.m_iBildhoehe;
    if (o.m_bColour) {
        app.m_iMonochrom = *o.m_bColour ? 1 : 0;
        app.m_iModus = *o.m_bColour ? 4 : 3;
    }
    if (o.m_iModus != 0) {
        app.m_iModus = o.m_iModus;
        app.m_iMonochrom = o.m_iModus == 4 ? 1 : 0;
    }
    if (o.m_bExpert) {
        app.m_bExpert = true;
        app.m_sOffset = o.m_sOffset;
        app.m_sBgroesse = o.m_sBgroesse;
        app.m_sBanzahl = o.m_sBanzahl;
    }
}

// Whether the image settings can give a picture at all; when not, says why. The window
// sends such a request all the same, but a run that ends with exit status 0 must have a
// picture to show for it.
bool CanFetch(const CPixlaneApp& app, CConsoleUi& ui) {
    bool refused = false;
    const bool frame = !app.BuildRequestFrame(refused).empty();
    const bool colour = app.m_iMonochrom != 0;
    if (frame && HasDecoding(app.m_iBildbreite, colour, app.m_iModus))
        return true;
    ui.Note("Ungültige Bildanforderung !");
    if (!frame && !refused)
        ui.Note("Bildbreite " + std::to_string(app.m_iBildbreite) +
                " wird nicht unterstützt (180, 256, 360, 512 oder 768)");
    else if (frame)
        ui.Note(std::string(colour ? "Farbe" : "Grau") + " mit Modus " +
                std::to_string(app.m_iModus) + " ergibt kein Bild (" +
                (colour ? "Farbe geht nur mit Modus 4" : "Grau geht nur mit Modus 1, 2 oder 3") +
                ")");
    return false;
}

int RunFetch(CRun& r) {
    const CCliOptions& o = r.m_opt;
    CPixlaneApp& app = r.m_app;
    const bool whole = app.GetImage();
    r.m_ui.Finish();
    if (!whole || !app.m_image.HasBits()) {
        r.m_ui.ReportFailure();
        NoteModemResult(app, r.m_ui);
        r.m_ui.Note("Kein vollständiges Bild empfangen, keine Datei geschrieben !");
        return 1;
    }
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

// The commands that bring pictures.
bool TakesPictures(const std::string& command) {
    return command == "fetch" || command == "capture";
}

}  // namespace

int RunCli(int argc, char** argv, std::ostream& out, std::ostream& err, bool errIsTerminal) {
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

    // The user's settings are the defaults. They are only read: the application's
    // start-up and shut-down, which would write them back, are never run.
    CConsoleUi ui(err, opt.m_bQuiet, errIsTerminal);
    QSettings store(CPixlaneApp::kOrganisation, CPixlaneApp::kApplication);
    CPixlaneApp app;
    app.ReadSettings(store, [&ui](const std::string& text) { ui.Note(text); });
    app.BuildYuvTables();
    UseStoredPorts(&store);
    if (opt.m_sCommand == "ports") {
        const int rc = RunPorts(opt, store, out, ui);
        out.flush();
        UseStoredPorts(nullptr);
        return rc;
    }
    if (opt.m_iBaudrate != 0)
        app.m_iBaudrate = opt.m_iBaudrate;
    if (opt.m_bHandshake) {
        app.m_bHandshake = *opt.m_bHandshake;
        app.sHandshake = *opt.m_bHandshake ? 2 : 0;
    }

    std::string device = opt.m_sDevice;
    // Where there is no demo, the parser refuses --demo.
#if PIXLANE_HAVE_DEMO
    std::unique_ptr<CDemoModule> demo;
    if (opt.m_bDemo) {
        demo = std::make_unique<CDemoModule>();
        if (!demo->Start(opt.m_bDemoModem, &error)) {
            ui.Note(std::string("Demo-Modul nicht gestartet: ") + error);
            UseStoredPorts(nullptr);
            return 1;
        }
        // Pointed at below like a device named directly; the settings are never written.
        device = demo->DevicePath();
    }
#endif
    if (opt.m_iCom != 0)
        app.m_iCom = opt.m_iCom;
    // A device named directly stands behind the port number used.
    std::unique_ptr<CEnvOverride> pointPort;
    if (!device.empty()) {
        if (app.m_iCom < 1 || app.m_iCom > 9)
            app.m_iCom = 1;
        pointPort =
            std::make_unique<CEnvOverride>("PIXLANE_COM" + std::to_string(app.m_iCom), device);
    }

    app.SetUi(&ui);
    int rc = 1;
    if (TakesPictures(opt.m_sCommand))
        ApplyImageOptions(opt, app);
    if (opt.m_sCommand == "fetch")
        app.m_iLokal = opt.m_bModem || opt.m_bDemoModem ? 0 : 1;
    if (TakesPictures(opt.m_sCommand) && !CanFetch(app, ui)) {
        // Nothing is sent for a picture that could not be made.
    } else if (opt.m_sCommand == "capture") {
        // Each round opens the line itself, so that a run outlives a line that went away.
        rc = RunCapture(opt, app, ui, out, err);
    } else if (app.OpenConfiguredPort()) {
        CRun run{opt, app, ui, out};
        rc = Dispatch(run);
        if (rc == 1 && opt.m_sCommand != "fetch") {
            ui.ReportFailure();
            NoteModemResult(app, ui);
        }
    } else {
        ui.Note(PortOpenFailedText(app.m_iCom, opt.m_sDevice));
    }
    ui.Finish();
    out.flush();
    CComPort().Open(0);
    app.SetUi(nullptr);
    UseStoredPorts(nullptr);
#if PIXLANE_HAVE_DEMO
    if (demo)
        demo->Stop();
#endif
    return rc;
}
