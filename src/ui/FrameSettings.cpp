// The frame's glue to the settings dialog.
#include "app/SettingsMembers.h"
#include "dialogs/EinstellungDlg.h"
#include "ui/MainFrame.h"

bool CMainFrame::RunSettingsDialog(CEinstellungMembers& members) {
    // The frame is the parent so that the dialog is modal to it and centred on it.
    CEinstellungDlg dlg(
        m_app, [this](int minutes) { ToggleCaptureTimer(minutes); }, this);
    static_cast<CEinstellungMembers&>(dlg) = members;
    const bool confirmed = dlg.exec() == QDialog::Accepted;
    members = dlg;
    return confirmed;
}
