// pixlane: the main window.
#include <QApplication>
#include <QStringList>
#include <QTranslator>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "PixlaneVersion.h"
#include "app/PixlaneApp.h"
#include "platform/CloseSignals.h"
#include "res/ResInit.h"
#include "ui/MainFrame.h"
#include "ui/QtTexts.h"
#if PIXLANE_HAVE_DEMO
#include "sim/DemoModule.h"
#endif

namespace {
void PrintHelp() {
    std::printf(
        "Usage: pixlane [--demo [--demo-modem] [--demo-scene SCENE]]\n"
        "Fetches still images from the camera grabber module on the configured serial port\n"
        "and saves them as BMP files.\n\n"
        "  --demo         run against the built-in simulated module (on a pseudo-terminal,\n"
        "                 paced like a 115200-baud line); the settings are not written back\n"
        "  --demo-modem   with --demo: the simulated module sits behind a Hayes modem\n"
        "  --demo-scene SCENE\n"
        "                 with --demo: what the simulated camera shows, normal, dark,\n"
        "                 uniform (one grey, as without video signal) or repeated (the\n"
        "                 same frame every time)\n"
        "  --help         this text\n"
        "  --version      print the version\n");
}
}  // namespace

int main(int argc, char** argv) {
    // Answered before the window system is opened, so that they work without a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            PrintHelp();
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("pixlane %s\n", kPixlaneVersion);
            return 0;
        }
    }

    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pixlane"));
    QApplication::setApplicationVersion(QLatin1String(kPixlaneVersion));
    QApplication::setDesktopFileName(QLatin1String(kPixlaneAppId));
    QApplication::setWindowIcon(PixlaneIcon());
    // Qt's own dialogs speak German like the rest of the window.
    QTranslator qtTexts;
    if (!InstallGermanQtTexts(qtTexts))
        std::fprintf(stderr,
                     "pixlane: Qts deutsche Texte (qtbase_de) fehlen; Datei-Dialoge "
                     "bleiben englisch\n");
#if PIXLANE_HAVE_DEMO
    bool demo = false;
    bool demoModem = false;
    ESimScene demoScene = ESimScene::Normal;
    bool sceneGiven = false;
#endif
    const QStringList args = QApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--demo") || a == QLatin1String("--demo-modem")) {
#if PIXLANE_HAVE_DEMO
            demo = true;
            demoModem = demoModem || a == QLatin1String("--demo-modem");
#else
            std::fprintf(stderr,
                         "pixlane: %s gibt es auf diesem System nicht: das Demo-Modul braucht "
                         "Pseudo-Terminals\n",
                         a.toLocal8Bit().constData());
            return 2;
#endif
        } else if (a == QLatin1String("--demo-scene")) {
#if PIXLANE_HAVE_DEMO
            const std::string value = i + 1 < args.size() ? args[++i].toStdString() : "";
            if (!ParseSimScene(value, demoScene)) {
                std::fprintf(stderr,
                             "pixlane: ungültiger Wert für --demo-scene: \"%s\" (normal, dark, "
                             "uniform oder repeated)\n",
                             value.c_str());
                return 2;
            }
            sceneGiven = true;
#else
            std::fprintf(stderr,
                         "pixlane: --demo-scene gibt es auf diesem System nicht: das Demo-Modul "
                         "braucht Pseudo-Terminals\n");
            return 2;
#endif
        } else {
            std::fprintf(stderr, "pixlane: unbekannte Option %s (--help zeigt alle)\n",
                         a.toLocal8Bit().constData());
            return 2;
        }
    }

    // SIGTERM, SIGHUP and SIGINT close the window as "Beenden" does: the settings are
    // written and the port is closed (with its lock file), also when one comes during the
    // start-up.
    CMainFrame* pFrame = nullptr;
    const CCloseSignals closeSignals([&pFrame] {
        if (pFrame != nullptr)
            pFrame->CloseFromOutside();
    });
#if PIXLANE_HAVE_DEMO
    if (sceneGiven && !demo) {
        std::fprintf(stderr, "pixlane: --demo-scene braucht --demo oder --demo-modem\n");
        return 2;
    }
#endif
    CPixlaneApp app;
#if PIXLANE_HAVE_DEMO
    std::unique_ptr<CDemoModule> module;
    if (demo) {
        module = std::make_unique<CDemoModule>();
        module->SetScene(demoScene);
        std::string error;
        if (!module->Start(demoModem, &error)) {
            std::fprintf(stderr, "pixlane: Demo-Modul nicht gestartet: %s\n", error.c_str());
            return 1;
        }
        app.UseDemoDevice(module->DevicePath(), demoModem);
        std::printf("pixlane: Demo-Modul auf %s\n", module->DevicePath().c_str());
        std::fflush(stdout);
    }
#endif
    if (!app.InitInstance())
        return 1;
    int rc = 0;
    {
        CMainFrame frame(app);
        pFrame = &frame;
        app.SetUi(&frame);
        frame.StartCaptureTimer(LeadingInt(app.m_STimerTime));
        // A signal while the start-up messages were up has closed the window already.
        if (!frame.IsClosing()) {
            frame.show();
            rc = QApplication::exec();
        }
        app.ExitInstance();
        app.SetUi(nullptr);
        pFrame = nullptr;
    }
#if PIXLANE_HAVE_DEMO
    if (module)
        module->Stop();
#endif
    return rc;
}
