// The application object's own: its settings and their store, its line, where its texts
// go, start-up and shut-down. The bottom of its files: nothing here calls into the others.
#include "app/PixlaneApp.h"

#include <QDir>
#include <QSettings>
#include <QStringList>
#include <QVariant>
#include <optional>
#include <set>

#include "app/AppUi.h"
#include "app/PortSettings.h"
#include "app/SettingsStore.h"
#include "capture/KeepTiers.h"
#include "capture/NamePattern.h"
#include "capture/Units.h"
#include "link/ComPort.h"
#include "link/ModemDialler.h"
#include "link/PrintableText.h"

namespace {
// Keeps the port's messages while there is no user interface to show them.
class CHeldMessages : public CPortUi {
  public:
    void SetStatusText(const std::string&) override {}
    void MessageBox(const std::string& text) override { m_messages.push_back(text); }
    std::vector<std::string> m_messages;
};

// Reads the stored values one by one. Each value is taken as the user wrote it; one that
// cannot be taken is replaced by its default, and the reason is told once per value.
class CSettingsReader {
  public:
    CSettingsReader(QSettings& store, const CPixlaneApp::Warning& warn)
        : m_store(store), m_warn(warn) {}

    // A decimal number; anything else, or one beyond 32 bits, gives the default.
    int Int(const char* name, int fallback) {
        const std::optional<QString> raw = Raw(name);
        return raw ? Number(name, *raw, fallback) : fallback;
    }

    // A number (true when it is not 0), or "true" or "false" in any case, the words the
    // store itself writes for a truth value.
    bool Bool(const char* name, bool fallback) {
        const std::optional<QString> raw = Raw(name);
        if (!raw)
            return fallback;
        const QString word = raw->trimmed();
        if (word.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
            return true;
        if (word.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
            return false;
        return Number(name, *raw, fallback ? 1 : 0) != 0;
    }

    std::string String(const char* name, const char* fallback) {
        const std::optional<QString> raw = Raw(name);
        return raw ? raw->toStdString() : std::string(fallback);
    }

  private:
    int Number(const char* name, const QString& raw, int fallback) {
        bool ok = false;
        const qlonglong n = raw.trimmed().toLongLong(&ok, 10);
        if (!ok) {
            Warn(name, raw, "ist keine Zahl", std::to_string(fallback));
            return fallback;
        }
        if (n < INT32_MIN || n > INT32_MAX) {
            Warn(name, raw, "liegt außerhalb des Zahlenbereichs", std::to_string(fallback));
            return fallback;
        }
        return static_cast<int>(n);
    }

    std::optional<QString> Raw(const char* name) {
        return StoredText(m_store, QLatin1String(name));
    }

    void Warn(const char* name, const QString& raw, const char* why, const std::string& used) {
        if (!m_warn || !m_warned.insert(name).second)
            return;
        m_warn(std::string("Einstellung ") + name + ": \"" + PrintableText(raw.toStdString()) +
               "\" " + why + ", es gilt " + used);
    }

    QSettings& m_store;
    const CPixlaneApp::Warning& m_warn;
    std::set<std::string> m_warned;
};
// The request the stored image settings make.
CFetchRequest StoredRequestOf(const CPixlaneApp& app) {
    CFetchRequest r;
    r.m_nWidth = app.m_iBildbreite;
    r.m_nHeight = app.m_iBildhoehe;
    r.m_iMode = app.m_iModus;
    r.m_bColour = app.m_iMonochrom != 0;
    r.m_bExpert = app.m_bExpert;
    r.m_sOffset = app.m_sOffset;
    r.m_sBgroesse = app.m_sBgroesse;
    r.m_sBanzahl = app.m_sBanzahl;
    return r;
}
}  // namespace

int LeadingInt(const std::string& text) {
    long long value = 0;
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > INT32_MAX)
            return negative ? INT32_MIN : INT32_MAX;
    }
    return static_cast<int>(negative ? -value : value);
}

CPixlaneApp::CPixlaneApp() = default;

CPixlaneApp::~CPixlaneApp() {
    if (m_bStarted)
        ExitInstance();
}

bool CPixlaneApp::WritesSettings() const {
    return m_pStore != nullptr && !IsDemo() && (!m_pOwnStore || m_pOwnStore->m_bWritable);
}

void CPixlaneApp::BuildYuvTables() {
    m_yuv.BuildYuvTables();
}

void CPixlaneApp::ReleaseBuffers() {
    m_image.ReleaseBits();
    m_image.Release();
    m_pRecvBuf.clear();
    m_pRecvBuf.shrink_to_fit();
    m_pKeepBuf.clear();
    m_pKeepBuf.shrink_to_fit();
    m_kept.m_bValid = false;
}

void CPixlaneApp::SetUi(CAppUi* ui) {
    m_pUi = ui;
    m_line.SetUi(ui);
    if (ui == nullptr)
        return;
    std::vector<std::string> held;
    held.swap(m_heldMessages);
    for (const std::string& text : held)
        ui->MessageBox(text);
}

CPortUi* CPixlaneApp::TextUi() const {
    return m_pTextRoute != nullptr ? m_pTextRoute : m_pUi;
}

CPortUi* CPixlaneApp::RouteTexts(CPortUi* ui) {
    CPortUi* before = m_pTextRoute;
    m_pTextRoute = ui;
    return before;
}

void CPixlaneApp::ShowStatus(const std::string& text) {
    if (CPortUi* ui = TextUi(); ui != nullptr)
        ui->SetStatusText(text);
}

void CPixlaneApp::ShowMessage(const std::string& text) {
    if (CPortUi* ui = TextUi(); ui != nullptr)
        ui->MessageBox(text);
}

void CPixlaneApp::ReadSettings(QSettings& store, const Warning& warn) {
    ReadEverySection(store);
    ReadBasicValues(store, warn);
}

void CPixlaneApp::ReadBasicValues(QSettings& store, const Warning& warn) {
    store.beginGroup(kSection);
    CSettingsReader r(store, warn);
    m_iCom = r.Int("m_iCom", 1);
    m_iBaudrate = r.Int("m_iBaudrate", 57600);
    m_iMonochrom = r.Int("m_iMonochrom", 0);
    m_iBildbreite = r.Int("m_iBildbreite", 180);
    m_iBildhoehe = r.Int("m_iBildhoehe", 144);
    m_bkompri = r.Bool("m_bkompri", false);
    m_bFrei = r.Bool("m_bFrei", false);
    m_iLokal = r.Int("m_iLokal", 1);
    m_sOffset = r.String("m_sOffset", "00000");
    m_sBgroesse = r.String("m_sBgroesse", "FF");
    m_sBanzahl = r.String("m_sBanzahl", "90");
    m_iModus = r.Int("m_iModus", 3);
    m_iKanal = r.Int("m_iKanal", 1);
    lokal_control = r.Int("lokal_control", 0);
    lokal_control2 = r.Int("lokal_control2", 0);
    m_sTel_nr = r.String("m_sTel_nr", "!22");
    m_bExpert = r.Bool("m_bExpert", false);
    b_Ein_dlg_ok = r.Bool("b_Ein_dlg_ok", false);
    m_bZeilenweise = r.Bool("m_bZeilenweise", true);
    m_bFrei = r.Bool("m_bFrei", false);
    m_bPortOpen = r.Bool("open", false);
    nibb2 = r.Bool("nibb2", false);
    Start = r.Int("Start", 1);
    sHandshake = static_cast<int8_t>(static_cast<uint8_t>(r.Int("sHandshake", 2) & 0xFF));
    m_bHandshake = r.Bool("m_bHandshake", true);
    m_bTimer = r.Bool("m_bTimer", false);
    m_STimerTime = r.String("m_STimerTime", "10");
    store.endGroup();
}

void CPixlaneApp::WriteSettings(QSettings& store) const {
    store.beginGroup(kSection);
    store.setValue("m_iCom", m_iCom);
    store.setValue("m_iBaudrate", m_iBaudrate);
    store.setValue("m_iMonochrom", m_iMonochrom);
    store.setValue("m_iBildbreite", m_iBildbreite);
    store.setValue("m_iBildhoehe", m_iBildhoehe);
    store.setValue("m_bkompri", m_bkompri ? 1 : 0);
    store.setValue("m_bFrei", m_bFrei ? 1 : 0);
    store.setValue("m_iLokal", m_iLokal);
    store.setValue("m_sOffset", QString::fromStdString(m_sOffset));
    store.setValue("m_sBgroesse", QString::fromStdString(m_sBgroesse));
    store.setValue("m_sBanzahl", QString::fromStdString(m_sBanzahl));
    store.setValue("m_iModus", m_iModus);
    store.setValue("m_iKanal", m_iKanal);
    store.setValue("lokal_control", lokal_control);
    store.setValue("lokal_control2", lokal_control2);
    store.setValue("m_sTel_nr", QString::fromStdString(m_sTel_nr));
    store.setValue("m_bExpert", m_bExpert ? 1 : 0);
    store.setValue("b_Ein_dlg_ok", b_Ein_dlg_ok ? 1 : 0);
    store.setValue("m_bZeilenweise", m_bZeilenweise ? 1 : 0);
    store.setValue("m_bFrei", m_bFrei ? 1 : 0);
    store.setValue("open", 0);
    store.setValue("nibb2", nibb2 ? 1 : 0);
    store.setValue("Start", Start);
    store.setValue("sHandshake", static_cast<int>(sHandshake));
    store.setValue("m_bHandshake", m_bHandshake ? 1 : 0);
    store.setValue("m_bTimer", m_bTimer ? 1 : 0);
    store.setValue("m_STimerTime", QString::fromStdString(m_STimerTime));
    store.endGroup();
    store.sync();
}

void CPixlaneApp::ReadAutoSave(QSettings& store, const Warning& warn) {
    ReadEverySection(store);
    ReadAutoSaveValues(store, warn);
}

void CPixlaneApp::ReadAutoSaveValues(QSettings& store, const Warning& warn) {
    store.beginGroup(kAutoSaveSection);
    CSettingsReader r(store, warn);
    m_bAutoSave = r.Bool("m_bAutoSave", false);
    m_sAutoSaveFolder = r.String("m_sAutoSaveFolder", "");
    m_sAutoSavePattern = r.String("m_sAutoSavePattern", kDefaultNamePattern);
    m_sAutoSaveKeep = r.String("m_sAutoSaveKeep", "");
    m_sAutoSaveMinFree = r.String("m_sAutoSaveMinFree", "");
    m_sAutoSaveBetween = r.String("m_sAutoSaveBetween", "");
    m_sAutoSaveDaylight = r.String("m_sAutoSaveDaylight", "");
    store.endGroup();
    CCaptureWindow window;
    std::string fault;
    if (!m_sAutoSaveBetween.empty() && !ParseBetween(m_sAutoSaveBetween, window, fault)) {
        if (warn)
            warn("Einstellung m_sAutoSaveBetween: \"" + m_sAutoSaveBetween + "\" ist " + fault +
                 ". Der Zeitgeber nimmt zu jeder Uhrzeit auf.");
        m_sAutoSaveBetween.clear();
    }
    if (!m_sAutoSaveDaylight.empty() && !ParseDaylight(m_sAutoSaveDaylight, window, fault)) {
        if (warn)
            warn("Einstellung m_sAutoSaveDaylight: \"" + m_sAutoSaveDaylight + "\" ist " + fault +
                 ". Der Zeitgeber nimmt auch im Dunkeln auf.");
        m_sAutoSaveDaylight.clear();
    }
    int64_t keep = 0;
    std::string tiers;
    if (!m_sAutoSaveKeep.empty() && !KeepValue(m_sAutoSaveKeep, keep, tiers)) {
        if (warn)
            warn("Einstellung m_sAutoSaveKeep: \"" + m_sAutoSaveKeep + "\" ist keine Dauer (" +
                 kKeepRuleValues + "). Es wird kein Bild nach seinem Alter gelöscht.");
        m_sAutoSaveKeep.clear();
    }
    uint64_t minFree = 0;
    if (!m_sAutoSaveMinFree.empty() && !ParseFreeSize(m_sAutoSaveMinFree, minFree)) {
        if (warn)
            warn("Einstellung m_sAutoSaveMinFree: \"" + m_sAutoSaveMinFree +
                 "\" ist keine Größe (" + kFreeSizeValues +
                 "). Es wird kein Bild für freien Platz gelöscht.");
        m_sAutoSaveMinFree.clear();
    }
    if (const std::string problem = NamePatternProblem(m_sAutoSavePattern, true);
        !problem.empty()) {
        if (warn)
            warn("Einstellung m_sAutoSavePattern: " + problem + " Es gilt " + kDefaultNamePattern);
        m_sAutoSavePattern = kDefaultNamePattern;
    }
    // Without a folder there is nowhere to save to; a relative one would depend on where
    // the window was started.
    if (!IsAutoSaveFolder(m_sAutoSaveFolder))
        m_bAutoSave = false;
}

void CPixlaneApp::WriteAutoSave(QSettings& store) const {
    store.beginGroup(kAutoSaveSection);
    store.setValue("m_bAutoSave", m_bAutoSave ? 1 : 0);
    store.setValue("m_sAutoSaveFolder", QString::fromStdString(m_sAutoSaveFolder));
    store.setValue("m_sAutoSavePattern", QString::fromStdString(m_sAutoSavePattern));
    store.setValue("m_sAutoSaveKeep", QString::fromStdString(m_sAutoSaveKeep));
    store.setValue("m_sAutoSaveMinFree", QString::fromStdString(m_sAutoSaveMinFree));
    store.setValue("m_sAutoSaveBetween", QString::fromStdString(m_sAutoSaveBetween));
    store.setValue("m_sAutoSaveDaylight", QString::fromStdString(m_sAutoSaveDaylight));
    store.endGroup();
    store.sync();
}

CStoredSettings CPixlaneApp::Stored() const {
    CStoredSettings s;
    s.m_iCom = m_iCom;
    s.m_iBaudrate = m_iBaudrate;
    s.sHandshake = sHandshake;
    s.m_iLokal = m_iLokal;
    s.m_iKanal = m_iKanal;
    s.m_sTel_nr = m_sTel_nr;
    s.m_request = StoredRequestOf(*this);
    if (m_pPortStore != nullptr)
        s.m_portDevices = StoredPortDevices(*m_pPortStore);
    // A relative folder would depend on where the window was started; a pattern that
    // cannot name files gives the default (the settings were checked when read or
    // confirmed).
    if (IsAutoSaveFolder(m_sAutoSaveFolder)) {
        s.m_storage.m_sFolder = m_sAutoSaveFolder;
        s.m_storage.m_sJournal = QDir(QString::fromStdString(m_sAutoSaveFolder))
                                     .filePath(kAutoSaveJournal)
                                     .toStdString();
    }
    s.m_storage.m_sPattern = NamePatternProblem(m_sAutoSavePattern, true).empty()
                                 ? m_sAutoSavePattern
                                 : kDefaultNamePattern;
    s.m_storage.m_bInsideFolder = true;
    KeepValue(m_sAutoSaveKeep, s.m_storage.m_nKeepSeconds, s.m_storage.m_sKeepTiers);
    ParseFreeSize(m_sAutoSaveMinFree, s.m_storage.m_nMinFreeBytes);
    return s;
}

CTarget CPixlaneApp::Target() const {
    return ResolveTarget(Stored(), m_site ? &*m_site : nullptr, m_demo);
}

CLineAddress CPixlaneApp::LineAddress(int port) const {
    // The demo module stands behind whichever number is chosen: there is no other.
    if (IsDemo())
        return CLineAddress::PortOn(port, m_demo.m_sDemoDevice);
    // A device the site names in place of a number is the line of the number in use;
    // another number stands for its own device, read as the address is made, so that a
    // changed one counts at once.
    if (const CLineAddress target = Target().m_line.m_address;
        port == m_iCom && target.IsNamedDevice())
        return target;
    const bool numbered = port >= 1 && port <= 9;
    return CLineAddress::Port(port, numbered && m_pPortStore != nullptr
                                        ? StoredPortDevice(*m_pPortStore, port)
                                        : std::string());
}

void CPixlaneApp::ChoosePort(int port) {
    if (port != m_iCom && m_site) {
        m_site->m_sDevice.clear();
        m_site->m_iCom = 0;
    }
    m_iCom = port;
}

bool CPixlaneApp::OpenConfiguredPort() {
    return OpenPort(Target().m_line);
}

bool CPixlaneApp::OpenPort(const CTargetLine& line) {
    // A stored port number outside 1..9 is no port at all: it behaves as a failed open.
    if (!line.m_address.CanOpen())
        return false;
    CComPort port(m_line);
    if (!port.Open(line.m_address)) {
        // An open that got the line but could not read its state still holds it.
        if (m_line.IsOpen())
            port.Open(0);
        return false;
    }
    port.Setup(static_cast<uint32_t>(line.m_iBaudrate), 8, 0, 1, line.m_nRtsControl);
    m_bPortOpen = true;
    return true;
}

bool CPixlaneApp::OpenLine(const CTargetLine& line) {
    if (!EnsureLine(line))
        return false;
    return m_line.IsOpen() || OpenPort(line);
}

void CPixlaneApp::CloseLine() {
    CComPort(m_line).Open(0);
    m_bPortOpen = false;
}

bool CPixlaneApp::NoticeLineLoss() {
    if (!m_line.TakeLineLoss())
        return false;
    m_bPortOpen = false;
    m_bLineLost = true;
    return true;
}

bool CPixlaneApp::EnsureLine(const CTargetLine& line) {
    NoticeLineLoss();
    if (!m_bLineLost)
        return true;
    if (!OpenPort(line)) {
        // A line over the network says why it cannot be had again.
        if (!m_line.OpenProblem().empty())
            ShowStatus(m_line.OpenProblem());
        ShowStatus(CComPort::kLineGoneText);
        return false;
    }
    m_bLineLost = false;
    ShowStatus(kLineBackText);
    return true;
}

void CPixlaneApp::FinishLineUse() {
    if (NoticeLineLoss())
        ShowStatus(CComPort::kLineGoneText);
}

bool CPixlaneApp::InitInstance(QSettings* store) {
    if (store != nullptr) {
        m_pStore = store;
    } else {
        m_pOwnStore = std::make_unique<CSettingsStore>(OpenSettingsStore());
        m_pStore = m_pOwnStore->m_pStore.get();
        // Shown as soon as there is a user interface to show them on.
        for (const std::string& problem : m_pOwnStore->m_problems) {
            if (m_pUi != nullptr)
                m_pUi->MessageBox(problem);
            else
                m_heldMessages.push_back(problem);
        }
    }
    UseStoredPorts(m_pStore);
    // One reading of every section serves both groups (each costs a walk over all keys).
    ReadEverySection(*m_pStore);
    ReadBasicValues(*m_pStore, {});
    ReadAutoSaveValues(*m_pStore, {});
    if (IsDemo()) {
        // The demo module is on its line or behind its modem, whatever the stored link.
        m_iLokal = m_demo.m_bDemoModem ? 0 : 1;
        m_bPortOpen = false;
    }
    BuildYuvTables();
    if (!m_bPortOpen) {
        // Before the window exists the port's messages ("Fehler setzen !") have nowhere to
        // go: they are held and shown as soon as a user interface is set.
        CHeldMessages held;
        if (m_pUi == nullptr)
            m_line.SetUi(&held);
        OpenConfiguredPort();
        if (m_pUi == nullptr)
            m_line.SetUi(nullptr);
        m_heldMessages.insert(m_heldMessages.end(), held.m_messages.begin(), held.m_messages.end());
    }
    m_bStarted = true;
    m_bExited = false;
    return true;
}

void CPixlaneApp::ExitInstance() {
    if (m_bExited)
        return;
    m_bExited = true;
    ReleaseBuffers();
    if (WritesSettings())
        WriteSettings(*m_pStore);
    CComPort(m_line).Open(0);
    UseStoredPorts(nullptr);
}

void CPixlaneApp::UseDemoDevice(const std::string& device, bool behindModem) {
    m_demo.m_sDemoDevice = device;
    m_demo.m_bDemoModem = behindModem;
}

CDialResult CPixlaneApp::Dial(const std::string& number) {
    return DialNumber(m_line, number, TextUi(), m_eModemPace);
}

int CPixlaneApp::ConnectModem() {
    return Dial(Target().m_line.m_sNumber).m_nCode;
}

void CPixlaneApp::OnPortToggle() {
    CComPort port(m_line);
    NoticeLineLoss();
    if (m_bPortOpen) {
        port.Open(0);
        ShowStatus("Port ist geschlossen ! ");
        m_bPortOpen = false;
        // Closed by the user: nothing reopens it by itself.
        m_bLineLost = false;
        return;
    }
    if (OpenConfiguredPort()) {
        m_bLineLost = false;
        ShowStatus(" Port ist offen ! ");
    } else if (!m_line.OpenProblem().empty()) {
        ShowStatus(m_line.OpenProblem());
    }
}
