// The menu commands with logic of their own: nibble fetches, loops (their pictures kept by
// the auto-save), the connect/hang-up toggle and the status queries; and the dispatch of
// every command. The top of the application object's files: the others never call here.
#include <string>

#include "app/AppUi.h"
#include "app/Commands.h"
#include "app/PixlaneApp.h"
#include "capture/CaptureRound.h"
#include "link/ComPort.h"

CFetchOutcome CPixlaneApp::NibbleFetch(int mode) {
    if (mode == 12) {
        NibbleFetch(2);
        nibb2 = true;
    }
    CFetchRequest request = Target().m_request;
    if (mode != 12)
        request.m_iMode = mode;
    CFetchOutcome out = GetImage(request);
    m_iModus = 3;
    return out;
}

CFetchOutcome CPixlaneApp::CycleFetch(int id) {
    if (id == ID_LOOP_NIBBLE2)
        return NibbleFetch(2);
    if (id == ID_LOOP_NIBBLE12)
        return NibbleFetch(12);
    return GetImage(Target().m_request);
}

void CPixlaneApp::RunLoop(int id) {
    for (bool first = true;; first = false) {
        // The command itself made sure of the line for the first cycle; a line that goes
        // away later is picked up again as soon as the device is back.
        if (!first && !EnsureLine(Target().m_line)) {
            m_line.Clock().Sleep(1000);
        } else {
            RegrabImage();
            LoopFetch(id);
        }
        if (m_pUi == nullptr || m_pUi->PumpEvents())
            return;
    }
}

void CPixlaneApp::LoopFetch(int id) {
    CCapturePlan plan;
    plan.m_pKeeper = AutoSaveKeeper();
    if (plan.m_pKeeper == nullptr) {
        CycleFetch(id);
        return;
    }
    // The re-grab before the cycle selected the target's channel.
    CCaptureRound(*this, std::move(plan)).KeepFetch(Target().m_channels.front(), [this, id] {
        return CycleFetch(id);
    });
}

void CPixlaneApp::OnConnectToggle() {
    if (m_pUi != nullptr)
        m_pUi->StopCaptureTimer();
    if (m_iLokal == 1) {
        ShowStatus("Verbindung wird getrennt..");
        CComPort port(m_line);
        ShowStatus(port.EndConnection() == kHangUpConfirmed ? "Verbindung getrennt!"
                                                            : "!!Auflegen nicht möglich!!");
        m_iLokal = 0;
        return;
    }
    m_iLokal = ConnectModem() == 0 ? 1 : 0;
}

namespace {
// The commands that talk to the module or the modem, and do nothing while the device is
// gone.
bool NeedsLine(int id) {
    switch (id) {
        case ID_BILD_HOLEN:
        case ID_NEU_GRABBEN:
        case ID_NIBBLE1:
        case ID_NIBBLE2:
        case ID_NIBBLE12:
        case ID_LOOP_BILD:
        case ID_LOOP_NIBBLE2:
        case ID_LOOP_NIBBLE12:
        case ID_KAMERASTATUS:
        case ID_INPUTSTATUS:
        case ID_FEHLERSTATUS:
        case ID_RESET_MODUL:
        case ID_INFO_MODUL:
            return true;
        default:
            return false;
    }
}

// The commands that talk to the module too but run while the device is gone: the
// settings dialog (that is where another port is chosen), the dialogs that send nothing
// as they open, and the connect/hang-up toggle, which stops the capture timer and leaves
// the link down whatever the line does. Their calls fail at once on the closed port.
bool RunsWithoutLine(int id) {
    return id == ID_EINSTELLUNGEN || id == ID_UEBERSICHT || id == ID_ZEITSTEMPEL ||
           id == ID_VERBINDUNG;
}
}  // namespace

bool CPixlaneApp::OnCommand(int id) {
    if (RunsWithoutLine(id))
        EnsureLine(Target().m_line);
    else if (NeedsLine(id) && !EnsureLine(Target().m_line))
        return true;
    const bool known = RunCommand(id);
    FinishLineUse();
    return known;
}

bool CPixlaneApp::RunCommand(int id) {
    switch (id) {
        case ID_COMPORT:
            OnPortToggle();
            return true;
        case ID_BILD_HOLEN:
            GetImage();
            return true;
        case ID_SPEICHERN:
        case ID_FILE_SAVE:
            SaveImage();
            return true;
        case ID_AUTO_SPEICHERN:
            OnAutoSave();
            return true;
        case ID_APP_ABOUT:
            if (m_pUi != nullptr)
                m_pUi->ShowAbout();
            return true;
        case ID_APP_EXIT:
            if (m_pUi != nullptr)
                m_pUi->CloseMainWindow();
            return true;
        case ID_NEU_GRABBEN:
            RegrabImage();
            return true;
        case ID_VERBINDUNG:
            OnConnectToggle();
            return true;
        case ID_NIBBLE1:
            NibbleFetch(1);
            return true;
        case ID_NIBBLE2:
            NibbleFetch(2);
            return true;
        case ID_NIBBLE12:
            NibbleFetch(12);
            return true;
        case ID_LOOP_BILD:
        case ID_LOOP_NIBBLE2:
        case ID_LOOP_NIBBLE12:
            RunLoop(id);
            return true;
        case ID_KAMERASTATUS:
            ShowMessage("Kamerastatus: " + CComPort(m_line).GetCameraStatus());
            return true;
        case ID_INPUTSTATUS:
            ShowMessage("Inputstatus: " + CComPort(m_line).GetInputStatus());
            return true;
        case ID_FEHLERSTATUS:
            ShowMessage("Fehlerstatus: " + CComPort(m_line).GetErrorStatus());
            return true;
        case ID_RESET_MODUL:
            ShowMessage(CComPort(m_line).ResetModule());
            return true;
        case ID_EINSTELLUNGEN:
            OnSettings();
            return true;
        case ID_STANDORTE:
            OnSites();
            return true;
        case ID_UEBERSICHT:
            if (m_pUi != nullptr)
                m_pUi->ShowModuleStatusDialog();
            return true;
        case ID_ZEITSTEMPEL:
            if (m_pUi != nullptr)
                m_pUi->ShowTimeStampDialog();
            return true;
        case ID_INFO_MODUL:
            if (m_pUi != nullptr)
                m_pUi->ShowModuleSoftwareDialog();
            return true;
        default:
            return false;
    }
}
