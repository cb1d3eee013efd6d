// The settings exchange of the "Einstellungen" command, the auto-save's dialog, and the
// site taken over in "Standorte". Calls into Fetch.cpp and PixlaneApp.cpp only.
#include "app/AppUi.h"
#include "app/PixlaneApp.h"
#include "app/PortSettings.h"
#include "app/SettingsMembers.h"
#include "app/SettingsStore.h"
#include "capture/TargetParts.h"
#include "link/ComPort.h"

void CPixlaneApp::OnSettings() {
    CEinstellungMembers m;
    m.m_sCom = std::to_string(m_iCom);
    m.m_sBaudrate = std::to_string(m_iBaudrate);
    m.m_sModus = std::to_string(m_iModus);
    m.m_sKanal = std::to_string(m_iKanal);
    m.m_iTimerTime = LeadingInt(m_STimerTime);
    m.m_iBildbreite = m_iBildbreite;
    m.m_iBildhoehe = m_iBildhoehe;
    m.m_iMonochrom = m_iMonochrom;
    m.m_bZeilenweise = m_bZeilenweise ? 1 : 0;
    m.m_bFrei = m_bFrei ? 1 : 0;
    m.m_bExpert = m_bExpert ? 1 : 0;
    m.m_iLokal = m_iLokal;
    m.m_sOffset = m_sOffset;
    m.m_sBanzahl = m_sBanzahl;
    m.m_sBgroesse = m_sBgroesse;
    m.m_sTel_nr = m_sTel_nr;
    m.m_bHandshake = m_bHandshake ? 1 : 0;
    m.m_bTimer = m_bTimer ? 1 : 0;

    const bool confirmed = m_pUi != nullptr && m_pUi->RunSettingsDialog(m);

    // Whichever way the dialog was closed, every member comes back.
    m_iCom = LeadingInt(m.m_sCom);
    m_iBaudrate = LeadingInt(m.m_sBaudrate);
    m_iModus = LeadingInt(m.m_sModus);
    m_iKanal = LeadingInt(m.m_sKanal);
    m_STimerTime = std::to_string(m.m_iTimerTime);
    m_iBildbreite = m.m_iBildbreite;
    m_iBildhoehe = m.m_iBildhoehe;
    m_iMonochrom = m.m_iMonochrom;
    m_bZeilenweise = m.m_bZeilenweise != 0;
    m_bFrei = m.m_bFrei != 0;
    m_bExpert = m.m_bExpert != 0;
    m_iLokal = m.m_iLokal;
    m_sOffset = m.m_sOffset;
    m_sBanzahl = m.m_sBanzahl;
    m_sBgroesse = m.m_sBgroesse;
    m_sTel_nr = m.m_sTel_nr;
    m_bHandshake = m.m_bHandshake != 0;
    m_bTimer = m.m_bTimer != 0;
    if (m_iMonochrom == -1)
        m_iMonochrom = 1;
    // Confirmed, the settings are the target again: a site taken over before gives way.
    if (confirmed && m_site) {
        const CTargetLine before = Target().m_line;
        m_site.reset();
        FollowTarget(before);
        m_pUi->SiteTaken({});
    }
}

void CPixlaneApp::OnAutoSave() {
    CAutoSaveMembers m{m_bAutoSave,        m_sAutoSaveFolder,  m_sAutoSavePattern, m_sAutoSaveKeep,
                       m_sAutoSaveMinFree, m_sAutoSaveBetween, m_sAutoSaveDaylight};
    if (m_pUi == nullptr || !m_pUi->RunAutoSaveDialog(m))
        return;
    m_bAutoSave = m.m_bOn;
    m_sAutoSaveFolder = m.m_sFolder;
    m_sAutoSavePattern = m.m_sPattern;
    m_sAutoSaveKeep = m.m_sKeep;
    m_sAutoSaveMinFree = m.m_sMinFree;
    m_sAutoSaveBetween = m.m_sBetween;
    m_sAutoSaveDaylight = m.m_sDaylight;
    // Stored at once: an unattended window may never be closed the ordinary way.
    if (WritesSettings())
        WriteAutoSave(*m_pStore);
}

void CPixlaneApp::OnSites() {
    if (m_pUi == nullptr)
        return;
    if (const std::optional<CSite> site = m_pUi->RunSitesDialog())
        TakeSite(*site);
}

void CPixlaneApp::TakeSite(const CSite& site) {
    const CTargetLine before = Target().m_line;
    m_site = site;
    const CTarget target = Target();
    // The link state follows the site's line, as a dial or hang-up sets it.
    if (!target.m_bLinkStored)
        m_iLokal = target.m_line.m_bModem ? 0 : 1;
    FollowTarget(before);
    if (m_pUi != nullptr)
        m_pUi->SiteTaken(site.m_sName);
}

void CPixlaneApp::FollowTarget(const CTargetLine& before) {
    // An open line of another site would bring that site's pictures: the target's own line
    // is opened in its place.
    const CTargetLine now = Target().m_line;
    if (!m_bPortOpen || !m_line.IsOpen() ||
        (now.m_address.DeviceName() == before.m_address.DeviceName() &&
         now.m_iBaudrate == before.m_iBaudrate))
        return;
    CComPort(m_line).Open(0);
    m_bPortOpen = false;
    if (OpenPort(now))
        ShowStatus(" Port ist offen ! ");
    else
        ShowMessage(PortOpenFailedText(now.m_address, m_line.OpenProblem()));
}
