#pragma once

#include <QAnyStringView>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "capture/Capture.h"
#include "capture/FetchRequest.h"
#include "capture/RoundHost.h"
#include "capture/TargetParts.h"
#include "fleet/IniText.h"
#include "image/Decoder.h"
#include "image/Image.h"
#include "link/LineAddress.h"
#include "link/LineSession.h"

class QSettings;
struct CSite;
class CAppUi;
class CPortUi;

// The application object: every setting, the port-open flag, the image and the receive
// buffers for the whole run. Settings fields carry the names of their stored values. A
// capture round runs on it as its host.
class CPixlaneApp : public CRoundHost {
  public:
    static constexpr const char* kOrganisation = kSettingsOrganisation;
    static constexpr const char* kApplication = "Pixlane_Orbex";
    static constexpr const char* kSection = "Pixlane/BasicSettings";
    // The window's auto-save, in a group of its own beside the basic settings.
    static constexpr const char* kAutoSaveSection = "Pixlane/AutoSave";
    // The journal of the window's auto-save, in its folder.
    static constexpr const char* kAutoSaveJournal = "pixlane-journal.jsonl";

    CPixlaneApp();
    ~CPixlaneApp() override;
    CPixlaneApp(const CPixlaneApp&) = delete;
    CPixlaneApp& operator=(const CPixlaneApp&) = delete;

    // Start-up up to the window: reads the settings from the store, builds the colour
    // tables and opens the port unless the stored "open" flag says otherwise. The store
    // is the user's own unless one is given.
    bool InitInstance(QSettings* store = nullptr);
    // Demo mode, before InitInstance: the configured port is pointed at this device (the
    // simulated module), the link counts as up unless the module sits behind its modem,
    // and the settings are read but never written back.
    void UseDemoDevice(const std::string& device, bool behindModem);
    bool IsDemo() const { return !m_sDemoDevice.empty(); }
    // Shut-down: releases the buffers, writes every setting back and closes the port.
    // Runs once; the destructor calls it when nobody did.
    void ExitInstance();

    // Told about a stored value that could not be taken as it stands (its default is used).
    using Warning = std::function<void(const std::string& text)>;
    // Reads the settings; a value that is not a number where one belongs, or one out of
    // range, becomes its default, and warn (when given) hears of it once per value.
    void ReadSettings(QSettings& store, const Warning& warn = {});
    void WriteSettings(QSettings& store) const;
    // Opens and sets up the port m_iCom at its LineAddress(); false (and m_bPortOpen
    // unchanged) when it fails.
    bool OpenConfiguredPort();
    // Opens the line and sets it up at its rate and RTS mode; m_bPortOpen when it opened.
    bool OpenPort(const CTargetLine& line);
    // The line of the window's commands: the port, its rate and RTS mode, the link and
    // the number as the settings (and a line given for the run) say.
    CTargetLine CurrentLine() const;
    // For this run only, and stored nowhere: the line is opened at this address instead
    // of the port number's own device (a device pixlane-cli or a site names, pixlane-cli's
    // demo pseudo-terminal behind a port number).
    void UseLineAddress(const CLineAddress& address) { m_runLine = address; }
    // From now on port numbers find their stored devices ("Ports/COMn") in this store;
    // null: in none. InitInstance uses its store, ExitInstance none.
    void UseStoredPorts(QSettings* store) { m_pPortStore = store; }
    // Where the line of port number n is opened; of m_iCom without one. The window's demo
    // module stands behind every number; a device named for the run stands for m_iCom
    // only, any other number for its own device.
    CLineAddress LineAddress(int port) const;
    CLineAddress LineAddress() const { return LineAddress(m_iCom); }
    // The user chose port number n: it becomes m_iCom, and a device named for the run
    // gives way to the number's own when n is another number than the one in use.
    void ChoosePort(int port);

    // The status text when a line that went away is open again.
    static constexpr const char* kLineBackText = "Schnittstelle wieder verbunden";
    // Before anything that talks to the module or the modem: when the line went away, the
    // port is reopened with the stored settings (nothing is sent) and the status bar says
    // so. False while the device is still gone; true otherwise, also when the port is
    // closed because the user closed it.
    bool EnsureLine();
    bool EnsureLine(const CTargetLine& line);
    // Takes a loss of the line the port has seen: the port-open flag clears and the line
    // counts as lost until it is reopened. True when there was one.
    bool NoticeLineLoss();
    // The line went away and has not been reopened since.
    bool IsLineLost() const { return m_bLineLost; }

    // The application's line: the one the window's commands, its capture tick and
    // pixlane-cli talk to through CComPort objects made on it.
    CLineSession& Line() override { return m_line; }
    // The line for a capture round: opened when closed, picked up again when it went away;
    // and closed again.
    bool OpenLine(const CTargetLine& line) override;
    void CloseLine() override;

    // The user interface from now on; messages held since the start-up are shown on it.
    void SetUi(CAppUi* ui);
    CAppUi* Ui() const { return m_pUi; }

    // Runs the command with this id; false for an id that has no handler.
    bool OnCommand(int id);

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

    // ---- image acquisition ----
    CImage m_image;                   // descriptor and bottom-up pixel rows
    std::vector<uint8_t> m_pRecvBuf;  // receive buffer of a fetch
    std::vector<uint8_t> m_pKeepBuf;  // Nibble-2 data kept for a Nibble-1 merge
    CYuvDecoder m_yuv;                // colour tables and decoder state
    void BuildYuvTables();
    // Decodes the block just received by the request of the fetch under way.
    void DecodeBlock(int blockIndex);
    // The request the stored image settings make: what the window's commands fetch.
    CFetchRequest StoredRequest() const;
    // The request's values into the image settings, as the settings dialog puts them.
    void StoreRequest(const CFetchRequest& request);
    // The fetches of the stored request; true when a whole image arrived.
    bool GetImage();
    bool FetchImage();
    bool FetchImageViaModem();
    // The same for any request: GetImage dials first while the link is down
    // (FetchImageViaModem), FetchImage fetches over the link as it is.
    CFetchOutcome GetImage(const CFetchRequest& request);
    CFetchOutcome FetchImage(const CFetchRequest& request) override;
    CFetchOutcome FetchImageViaModem(const CFetchRequest& request);
    // What the last fetch's transfer gave (TransferResult); -1 when it sent nothing.
    int m_nLastTransfer = -1;
    bool SetGrabWindow();
    // Writes the current image as a BMP file after asking for the name.
    void SaveImage();
    // The request frame of the stored request; its block count is what the fetch reads.
    // Empty with the reason in refused when nothing may be sent (refused stays false for
    // an unsupported width).
    std::string BuildRequestFrame(bool& refused) const;
    void ReleaseBuffers();

    // ---- commands ----
    // The dial sequence with m_sTel_nr: ConnectModem gives its ModemResult, Dial the
    // modem's own word too.
    int ConnectModem();
    CDialResult Dial();
    CDialResult Dial(const std::string& number) override;
    // How the dial reads the modem's answers: the window waits one character per 250 ms,
    // pixlane-cli takes them as they arrive. Not a stored setting.
    EModemPace m_eModemPace = EModemPace::kPolled;
    // Picture parameters once per run, then the channel; true when the module took it.
    bool RegrabImage();
    bool RegrabImage(int channel, int width) override;
    // The nibble commands: one fetch in the nibble mode each (Nibble 1+2: Nibble 2, then
    // the stored request with nibb2 set); m_iModus is 3 afterwards.
    void OnNibble1();
    void OnNibble2();
    void OnNibble12();
    // A loop cycle's fetch (by the loop command's id); what its last fetch gave.
    CFetchOutcome CycleFetch(int id);
    // Re-grab and fetch (with the fetch of the loop command id) until the user stops it.
    void RunLoop(int id);
    void OnConnectToggle();
    // The settings exchange: members into the settings dialog, run it, members back.
    void OnSettings();
    // "Standorte ...": the book's dialog; a site taken over there is the current one.
    void OnSites();
    // The site's values into the settings as if typed into "Einstellungen"; the window's
    // title names it from now on.
    void TakeSite(const CSite& site);
    const std::string& CurrentSite() const { return m_sSite; }
    // One tick of the periodic capture: a capture round (dial, picture parameters,
    // channel, one image, hang up) of the stored request, the picture kept when auto-save
    // is on; then the timer is set again.
    void OnCaptureTick();

    // ---- auto-save of the window (group kAutoSaveSection) ----
    bool m_bAutoSave = false;
    std::string m_sAutoSaveFolder;
    std::string m_sAutoSavePattern = kDefaultNamePattern;
    // How long its pictures are kept ("30d"; empty: for ever) and the free space below
    // which the oldest go before a save ("2G"; empty: no limit), as capture's --keep
    // and --min-free take them.
    std::string m_sAutoSaveKeep;
    std::string m_sAutoSaveMinFree;
    // A pattern that cannot name files gives the default, a keep duration or free size
    // that is none gives none (warn hears of each).
    void ReadAutoSave(QSettings& store, const Warning& warn = {});
    void WriteAutoSave(QSettings& store) const;
    // "Automatisch speichern ...": the dialog; what it confirms is stored at once.
    void OnAutoSave();
    // The keeper of the auto-save, pointed at its folder, pattern and journal; null
    // while auto-save is off.
    CPictureKeeper* AutoSaveKeeper();
    // The keeper itself (its clock, its numbering).
    CPictureKeeper& AutoKeeper() { return m_autoKeeper; }
    void OnPortToggle();
    void OnAbout();
    void OnExit();

    bool m_bFirstRegrab = true;

    // Where the texts of the application go now: to the user interface, or to whatever
    // they are routed to meanwhile.
    CPortUi* TextUi() const override;
    // From now on the application's texts go to ui instead (a capture round's tap, which
    // passes them on); null: to the user interface again. Gives the route before.
    CPortUi* RouteTexts(CPortUi* ui) override;
    const CImage& Image() const override { return m_image; }

  private:
    // The readings of ReadSettings and ReadAutoSave, for a store whose sections have all
    // been read.
    void ReadBasicValues(QSettings& store, const Warning& warn);
    void ReadAutoSaveValues(QSettings& store, const Warning& warn);
    bool RunCommand(int id);
    // After a command or a tick: a loss of the line during it is taken, and its text is
    // the last the status bar shows.
    void FinishLineUse();
    bool m_bLineLost = false;
    CPortUi* m_pTextRoute = nullptr;
    // A loop cycle's fetch; with auto-save on, its picture is kept and journalled.
    void LoopFetch(int id);
    CPictureKeeper m_autoKeeper;
    std::string m_sRetentionJournal;  // the journal the keeper's retention was loaded from

    int m_nKeepWidth = 0;  // size of the Nibble-2 data kept in m_pKeepBuf
    int m_nKeepHeight = 0;
    bool m_bKeepValid = false;
    void ShowStatus(const std::string& text);
    // A fetch's progress ("Zeile 5 wird empfangen ..."), shown as a status text.
    void ShowProgressText(const std::string& text);
    void ShowMessage(const std::string& text);
    // The nibble fetch in this mode, m_iModus 3 afterwards; and Nibble 1+2.
    CFetchOutcome NibbleFetch(int mode);
    CFetchOutcome Nibble12Fetch();
    // The request of the fetch under way (or of the last one that sent its request).
    CFetchRequest m_request;

    std::string m_sSite;  // the site taken over last, or empty
    std::string m_sDemoDevice;
    bool m_bDemoModem = false;
    CLineAddress m_runLine;  // what UseLineAddress gave

    CLineSession m_line;
    QSettings* m_pPortStore = nullptr;  // where port numbers find their stored devices
    CAppUi* m_pUi = nullptr;
    std::function<bool()> m_fnStop;
    std::vector<std::string> m_heldMessages;  // start-up messages not shown yet
    QSettings* m_pStore = nullptr;
    bool m_bOwnsStore = false;
    bool m_bStarted = false;
    bool m_bExited = false;
};

// Text to integer as the settings exchange does it: leading digits only, 0 when none.
int LeadingInt(const std::string& text);

// The site's values over the application's settings, as if typed into "Einstellungen":
// what the site leaves open stays. The site's line is the line for the run: its device,
// else its port number's device, else the stored number's; the first of the site's
// channels is the channel.
void ApplySite(const CSite& site, CPixlaneApp& app);
