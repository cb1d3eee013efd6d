#include "app/PixlaneApp.h"

#include <QByteArray>
#include <QSettings>
#include <QVariant>

#include "app/AppUi.h"
#include "app/Commands.h"
#include "link/ComPort.h"
#include "link/ModemDialler.h"
#include "link/QtSerialLine.h"

namespace {
int ReadInt(QSettings& store, const char* name, int fallback) {
    const QVariant v = store.value(name);
    if (!v.isValid())
        return fallback;
    bool ok = false;
    const qlonglong n = v.toString().trimmed().toLongLong(&ok, 0);
    if (!ok || n < INT32_MIN || n > INT32_MAX)
        return fallback;
    return static_cast<int>(n);
}

bool ReadBool(QSettings& store, const char* name, bool fallback) {
    return ReadInt(store, name, fallback ? 1 : 0) != 0;
}

std::string ReadString(QSettings& store, const char* name, const char* fallback) {
    const QVariant v = store.value(name);
    if (!v.isValid())
        return fallback;
    return v.toString().toStdString();
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
    if (m_bOwnsStore)
        delete m_pStore;
}

void CPixlaneApp::SetUi(CAppUi* ui) {
    m_pUi = ui;
    CComPort::SetUi(ui);
}

void CPixlaneApp::ShowStatus(const std::string& text) {
    if (m_pUi != nullptr)
        m_pUi->SetStatusText(text);
}

void CPixlaneApp::ShowMessage(const std::string& text) {
    if (m_pUi != nullptr)
        m_pUi->MessageBox(text);
}

void CPixlaneApp::ReadSettings(QSettings& store) {
    store.beginGroup(kSection);
    m_iCom = ReadInt(store, "m_iCom", 1);
    m_iBaudrate = ReadInt(store, "m_iBaudrate", 57600);
    m_iMonochrom = ReadInt(store, "m_iMonochrom", 0);
    m_iBildbreite = ReadInt(store, "m_iBildbreite", 180);
    m_iBildhoehe = ReadInt(store, "m_iBildhoehe", 144);
    m_bkompri = ReadBool(store, "m_bkompri", false);
    m_bFrei = ReadBool(store, "m_bFrei", false);
    m_iLokal = ReadInt(store, "m_iLokal", 1);
    m_sOffset = ReadString(store, "m_sOffset", "00000");
    m_sBgroesse = ReadString(store, "m_sBgroesse", "FF");
    m_sBanzahl = ReadString(store, "m_sBanzahl", "90");
    m_iModus = ReadInt(store, "m_iModus", 3);
    m_iKanal = ReadInt(store, "m_iKanal", 1);
    lokal_control = ReadInt(store, "lokal_control", 0);
    lokal_control2 = ReadInt(store, "lokal_control2", 0);
    m_sTel_nr = ReadString(store, "m_sTel_nr", "!22");
    m_bExpert = ReadBool(store, "m_bExpert", false);
    b_Ein_dlg_ok = ReadBool(store, "b_Ein_dlg_ok", false);
    m_bZeilenweise = ReadBool(store, "m_bZeilenweise", true);
    m_bFrei = ReadBool(store, "m_bFrei", false);
    m_bPortOpen = ReadBool(store, "open", false);
    nibb2 = ReadBool(store, "nibb2", false);
    Start = ReadInt(store, "Start", 1);
    sHandshake = static_cast<int8_t>(static_cast<uint8_t>(ReadInt(store, "sHandshake", 2) & 0xFF));
    m_bHandshake = ReadBool(store, "m_bHandshake", true);
    m_bTimer = ReadBool(store, "m_bTimer", false);
    m_STimerTime = ReadString(store, "m_STimerTime", "10");
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

bool CPixlaneApp::OpenConfiguredPort() {
    // A stored port number outside 1..9 is no port at all: it behaves as a failed open.
    if (m_iCom < 1 || m_iCom > 9)
        return false;
    CComPort port;
    if (!port.Open(static_cast<uint8_t>(m_iCom))) {
        // An open that got the line but could not read its state still holds it.
        if (CComPort::IsOpen())
            port.Open(0);
        return false;
    }
    port.Setup(static_cast<uint32_t>(m_iBaudrate), 8, 0, 1, static_cast<uint8_t>(sHandshake));
    m_bPortOpen = true;
    return true;
}

bool CPixlaneApp::InitInstance(QSettings* store) {
    if (store != nullptr) {
        m_pStore = store;
    } else {
        m_pStore = new QSettings(kOrganisation, kApplication);
        m_bOwnsStore = true;
    }
    QSettings* settings = m_pStore;
    SetStoredPortLookup([settings](int n) {
        return settings->value(QStringLiteral("Ports/COM%1").arg(n)).toString().toStdString();
    });
    ReadSettings(*m_pStore);
    if (IsDemo()) {
        if (m_iCom < 1 || m_iCom > 9)
            m_iCom = 1;
        qputenv(QStringLiteral("PIXLANE_COM%1").arg(m_iCom).toLatin1().constData(),
                QByteArray::fromStdString(m_sDemoDevice));
        m_iLokal = m_bDemoModem ? 0 : 1;
        m_bPortOpen = false;
    }
    BuildYuvTables();
    if (!m_bPortOpen)
        OpenConfiguredPort();
    m_bStarted = true;
    m_bExited = false;
    return true;
}

void CPixlaneApp::ExitInstance() {
    if (m_bExited)
        return;
    m_bExited = true;
    ReleaseBuffers();
    if (m_pStore != nullptr && !IsDemo())
        WriteSettings(*m_pStore);
    CComPort().Open(0);
    SetStoredPortLookup({});
}

void CPixlaneApp::UseDemoDevice(const std::string& device, bool behindModem) {
    m_sDemoDevice = device;
    m_bDemoModem = behindModem;
}

int CPixlaneApp::ConnectModem() {
    return DialModem(m_sTel_nr, m_pUi);
}

void CPixlaneApp::OnPortToggle() {
    CComPort port;
    if (m_bPortOpen) {
        port.Open(0);
        ShowStatus("Port ist geschlossen ! ");
        m_bPortOpen = false;
        return;
    }
    if (OpenConfiguredPort())
        ShowStatus(" Port ist offen ! ");
}

void CPixlaneApp::OnAbout() {
    if (m_pUi != nullptr)
        m_pUi->ShowAbout();
}

void CPixlaneApp::OnExit() {
    if (m_pUi != nullptr)
        m_pUi->CloseMainWindow();
}
