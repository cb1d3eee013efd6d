// The frame's glue to the auto-save dialog.
#include "app/SettingsMembers.h"
#include "dialogs/AutoSpeichernDlg.h"
#include "ui/MainFrame.h"

bool CMainFrame::RunAutoSaveDialog(CAutoSaveMembers& members) {
    CAutoSpeichernDlg dialog(this);
    dialog.m_members = members;
    dialog.DoDataExchange(false);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    members = dialog.m_members;
    return true;
}
