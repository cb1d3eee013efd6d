#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture/Capture.h"
#include "capture/FetchRequest.h"
#include "capture/RoundHost.h"
#include "capture/TargetParts.h"
#include "fleet/IniText.h"
#include "fleet/SiteBook.h"
#include "fleet/Target.h"
#include "image/Decoder.h"
#include "image/Image.h"
#include "link/LineAddress.h"
#include "link/LineSession.h"

class QSettings;
struct CSettingsStore;
class CAppUi;
class CPortUi;

// The application object: every setting, the port-open flag, the image and the receive
// buffers for the whole run. Settings fields carry the names of their stored values; they
// are the stored settings, which the settings dialog exchanges. What the window's commands
// reach is its target (Target()): the stored settings, or a site of the book taken over.
// A capture round runs on it as its host.
//
// Its files call one way: PixlaneApp.cpp (settings, line, texts) calls none of the others,
// Fetch.cpp only PixlaneApp.cpp, AutoSave.cpp and SettingsExchange.cpp those two, and
// Commands.cpp, at the top, all of them.
class CPixlaneApp : public CRoundHost {
  public:
    static constexpr const char* kOrganisation = kSettingsOrganisation;
    static constexpr const char* kApplication = "Pixlane_Orbex";
    static constexpr const char* kSection = "Pixlane/BasicSettings";
    // The window's auto-save, in a group of its own beside the basic settings.
    static constexpr const char* kAutoSaveSection = "Pixlane/AutoSave";
    // The journal of the window's auto-save, in its folder.
    static constexpr const char* kAutoSaveJournal = "pixlane-journal.jsonl";
    // The status text when a line that went away is open again.
    static constexpr const char* kLineBackText = "Schnittstelle wieder verbunden";

    CPixlaneApp();
    ~CPixlaneApp() override;
    CPixlaneApp(const CPixlaneApp&) = delete;
    CPixlaneApp& operator=(const CPixlaneApp&) = delete;

    // ---- start-up and shut-down, the settings and their store ----
    // Start-up up to the window: reads the settings from the store, builds the colour
    // tables and opens the port unless the stored "open" flag says otherwise. The store
    // is the user's own unless one is given (a file of it that is no regular file, or
    // huge, is not read, and the start-up messages say so; see OpenSettingsStore).
    bool InitInstance(QSettings* store = nullptr);
    // Demo mode, before InitInstance: the simulated module at this device stands behind
    // every port number, the link counts as up unless the module sits behind its modem,
    // and the settings are read but never written back.
    void UseDemoDevice(const std::string& device, bool behindModem);
    bool IsDemo() const { return !m_demo.m_sDemoDevice.empty(); }
    // Shut-down: releases the buffers, writes every setting back and closes the port.
    // Runs once; the destructor calls it when nobody did.
    void ExitInstance();
    // Told about a stored value that could not be taken as it stands (its default is used).
    using Warning = std::function<void(const std::string& text)>;
    // Reads the settings (ReadAutoSave: of the auto-save); a value that is not a number
    // where one belongs, or one out of range, becomes its default, and warn (when given)
    // hears of it once per value.
    void ReadSettings(QSettings& store, const Warning& warn = {});
    void WriteSettings(QSettings& store) const;
    void ReadAutoSave(QSettings& store, const Warning& warn = {});
    void WriteAutoSave(QSettings& store) const;
    // From now on port numbers find their stored devices ("Ports/COMn") in this store;
    // null: in none. InitInstance uses its store, ExitInstance none.
    void UseStoredPorts(QSettings* store) { m_pPortStore = store; }
    // The stored settings as a value: the fields, the stored devices of the port numbers
    // and the auto-save's storage.
    CStoredSettings Stored() const;

    // ---- the window's target ----
    // The stored settings, or the site taken over last, made into one target (in demo mode
    // with the demo module as its line); made anew for each use, so that the settings
    // dialog's changes count at once.
    CTarget Target() const;
    // The site's values over the settings for the window's commands from now on (the
    // settings stay as they are); its link decides the link state m_iLokal, an open port
    // on another line is opened on the site's, and the window's title names it.
    void TakeSite(const CSite& site);
    // Where the line of port number n is opened: m_iCom on the target's device where the
    // target names one, any other number on its own device; the demo module behind each.
    CLineAddress LineAddress(int port) const;
    // The user chose port number n: it becomes m_iCom, and a device the target's site named
    // gives way to the number's own when n is another number than the one in use.
    void ChoosePort(int port);

    // ---- the line ----
    // Opens and sets up the target's line; false (and m_bPortOpen unchanged) when it fails.
    bool OpenConfiguredPort();
    // Opens the line and sets it up at its rate and RTS mode; m_bPortOpen when it opened.
    bool OpenPort(const CTargetLine& line);
    // Before anything that talks to the module or the modem: when the line went away, the
    // port is reopened on this line (nothing is sent) and the status bar says so. False
    // while the device is still gone; true otherwise, also when the port is closed because
    // the user closed it.
    bool EnsureLine(const CTargetLine& line);
    // Takes a loss of the line the port has seen: the port-open flag clears and the line
    // counts as lost until it is reopened. True when there was one.
    bool NoticeLineLoss();
    bool IsLineLost() const { return m_bLineLost; }
    // The module was reset (the status dialog's "MODUL RESET"): the link state is down, so
    // that the next fetch connects first.
    void NoteLinkDown() { m_iLokal = 0; }
    // The application's line: the one the window's commands, its capture tick and
    // pixlane-cli talk to through CComPort objects made on it.
    CLineSession& Line() override { return m_line; }
    // The line for a capture round: opened when closed, picked up again when it went away;
    // and closed again.
    bool OpenLine(const CTargetLine& line) override;
    void CloseLine() override;

    // ---- the user interface and where texts go ----
    // The user interface from now on; messages held since the start-up are shown on it.
    void SetUi(CAppUi* ui);
    CAppUi* Ui() const { return m_pUi; }
    // Where the application's texts go now: to the user interface, or to whatever they are
    // routed to meanwhile (a capture round's tap, which passes them on; null: to the user
    // interface again). RouteTexts gives the route before.
    CPortUi* TextUi() const override;
    CPortUi* RouteTexts(CPortUi* ui) override;
    // Asked after every block of a transfer and by a capture between its steps: true
    // breaks the transfer off the way the protocol does and ends the capture after its
    // hang-up. Without a check nothing is ever stopped.
    void SetStopCheck(std::function<bool()> check) { m_fnStop = std::move(check); }
    bool StopRequested() const override { return m_fnStop && m_fnStop(); }

    // ---- settings (stored values) ----
    int8_t sHandshake = 2;
    int Start = 1;
    int m_iCom = 1;
    int m_iBaudrate = 57600;
    int m_iBildbreite = 180;
    int m_iBildhoehe = 144;
    int m_iMonochrom = 0;
    int m_iLokal = 1;
    int m_iKanal = 1;
    int m_iModus = 3;
    int lokal_control = 0;
    int lokal_control2 = 0;
    bool m_bkompri = false;
    bool m_bZeilenweise = true;
    bool m_bFrei = false;
    bool m_bExpert = false;
    bool b_Ein_dlg_ok = false;
    bool m_bPortOpen = false;
    bool nibb2 = false;
    bool m_bHandshake = true;
    int m_nBlockLen = 0;
    bool m_bTimer = false;
    int m_nBlockCount = 0;
    std::string m_sOffset = "00000";
    std::string m_sBanzahl = "90";
    std::string m_sBgroesse = "FF";
    std::string m_sTel_nr = "!22";
    std::string m_STimerTime = "10";
    // The window's auto-save (group kAutoSaveSection): on or off, its folder and name
    // pattern, how long its pictures are kept ("30d"; empty: for ever) and the free space
    // below which the oldest go ("2G"; empty: no limit), as capture's --keep and
    // --min-free take them.
    bool m_bAutoSave = false;
    std::string m_sAutoSaveFolder;
    std::string m_sAutoSavePattern = kDefaultNamePattern;
    std::string m_sAutoSaveKeep;
    std::string m_sAutoSaveMinFree;
    // The capture timer's window ("06:00-20:00", or the place "48.14,11.58" for sunrise
    // to sunset; empty: always), as capture's --between and --daylight take them.
    std::string m_sAutoSaveBetween;
    std::string m_sAutoSaveDaylight;

    // ---- image acquisition ----
    CImage m_image;                   // descriptor and bottom-up pixel rows
    std::vector<uint8_t> m_pRecvBuf;  // receive buffer of a fetch
    std::vector<uint8_t> m_pKeepBuf;  // Nibble-2 data kept for a Nibble-1 merge
    CYuvDecoder m_yuv;                // colour tables and decoder state
    void BuildYuvTables();
    void ReleaseBuffers();
    // Decodes the block just received by the request of the fetch under way.
    void DecodeBlock(int blockIndex);
    // The request frame of the target's request; its block count is what the fetch reads.
    // Empty with the reason in refused when nothing may be sent (refused stays false for
    // an unsupported width).
    std::string BuildRequestFrame(bool& refused) const;
    // The fetches of the target's request; true when a whole image arrived.
    bool GetImage();
    bool FetchImage();
    bool FetchImageViaModem();
    // The same for any request: GetImage dials the target's number first while the link is
    // down (FetchImageViaModem), FetchImage fetches over the link as it is.
    CFetchOutcome GetImage(const CFetchRequest& request);
    CFetchOutcome FetchImage(const CFetchRequest& request) override;
    CFetchOutcome FetchImageViaModem(const CFetchRequest& request, const std::string& number);
    const CImage& Image() const override { return m_image; }
    // What the last fetch's transfer gave (TransferResult); -1 when it sent nothing.
    int m_nLastTransfer = -1;
    // The picture parameters of the target's width.
    bool SetGrabWindow();
    // Picture parameters once per run, then the channel (the target's first); true when
    // the module took it.
    bool RegrabImage();
    bool RegrabImage(int channel, int width) override;
    // Writes the current image as a BMP file after asking for the name.
    void SaveImage();

    // ---- commands ----
    // Runs the command with this id; false for an id that has no handler.
    bool OnCommand(int id);
    // The dial sequence with the target's number: ConnectModem gives its ModemResult; Dial
    // with any number the modem's own word too.
    int ConnectModem();
    CDialResult Dial(const std::string& number) override;
    // How the dial reads the modem's answers: the window waits one character per 250 ms,
    // pixlane-cli takes them as they arrive. Not a stored setting.
    EModemPace m_eModemPace = EModemPace::kPolled;
    // Re-grab and fetch (with the fetch of the loop command id) until the user stops it.
    void RunLoop(int id);
    void OnConnectToggle();
    void OnPortToggle();
    // The settings exchange: members into the settings dialog, run it, members back. OK
    // makes the stored settings the target again.
    void OnSettings();
    // "Standorte ...": the book's dialog; a site taken over there is the target.
    void OnSites();
    // "Automatisch speichern ...": the dialog; what it confirms is stored at once.
    void OnAutoSave();
    // One tick of the periodic capture: a capture round (dial, picture parameters,
    // channel, one image, hang up) of the target, the picture kept when auto-save is on;
    // then the timer is set again.
    void OnCaptureTick();
    // When the capture timer's ticks capture: the window of the site taken over when it
    // has one, else the auto-save's.
    CCaptureWindow CaptureTimerWindow() const;
    // The keeper of the auto-save, pointed at the target's storage; null while auto-save
    // is off. AutoKeeper: the keeper itself (its clock, its numbering).
    CPictureKeeper* AutoSaveKeeper();
    CPictureKeeper& AutoKeeper() { return m_autoKeeper; }

    bool m_bFirstRegrab = true;

  private:
    // The readings of ReadSettings and ReadAutoSave, for a store whose sections have all
    // been read.
    void ReadBasicValues(QSettings& store, const Warning& warn);
    void ReadAutoSaveValues(QSettings& store, const Warning& warn);
    bool RunCommand(int id);
    // After a command or a tick: a loss of the line during it is taken, and its text is
    // the last the status bar shows.
    void FinishLineUse();
    // After the target changed: an open port on another line (or at another rate) is
    // opened on the target's, so that no other module's picture comes under its name.
    void FollowTarget(const CTargetLine& before);
    // A loop cycle's fetch; with auto-save on, its picture is kept and journalled.
    void LoopFetch(int id);
    void ShowStatus(const std::string& text);
    void ShowMessage(const std::string& text);
    // The nibble commands: one fetch in the nibble mode (1 or 2), or Nibble 1+2 (12):
    // Nibble 2, then the target's request with nibb2 set; m_iModus is 3 afterwards. And a
    // loop cycle's fetch, by the loop command's id. What the last fetch gave.
    CFetchOutcome NibbleFetch(int mode);
    CFetchOutcome CycleFetch(int id);

    // The Nibble-2 data in m_pKeepBuf: for a picture of this size, and whether they are
    // whole.
    struct CKeptHalf {
        int m_nWidth = 0;
        int m_nHeight = 0;
        bool m_bValid = false;
    };
    CKeptHalf m_kept;
    // The request of the fetch under way (or of the last one that sent its request).
    CFetchRequest m_request;
    std::optional<CSite> m_site;  // the site taken over, until the settings dialog's OK
    CTargetOptions m_demo;        // the demo module, where the window runs one
    CPictureKeeper m_autoKeeper;
    bool m_bLineLost = false;
    CPortUi* m_pTextRoute = nullptr;
    CLineSession m_line;
    QSettings* m_pPortStore = nullptr;  // where port numbers find their stored devices
    CAppUi* m_pUi = nullptr;
    std::function<bool()> m_fnStop;
    std::vector<std::string> m_heldMessages;  // start-up messages not shown yet
    // Whether the settings are written back: not in demo mode, nor over a file that was
    // not read.
    bool WritesSettings() const;
    QSettings* m_pStore = nullptr;
    std::unique_ptr<CSettingsStore> m_pOwnStore;  // the user's own, when none was given
    bool m_bStarted = false;
    bool m_bExited = false;
};

// Text to integer as the settings exchange does it: leading digits only, 0 when none.
int LeadingInt(const std::string& text);
