// The frame's glue to the dialogs of the module and help menus: each is created, shown
// modally and destroyed by its command.
#include "app/PixlaneApp.h"
#include "dialogs/AboutDlg.h"
#include "dialogs/ModulSoftwareDlg.h"
#include "dialogs/ModulStatusDlg.h"
#include "dialogs/StandorteDlg.h"
#include "dialogs/ZeitstempelDlg.h"
#include "ui/MainFrame.h"

void CMainFrame::ShowModuleStatusDialog() {
    CModulStatusDlg dialog(m_app, this);
    dialog.SetProgramClosing([this] { return m_bClosing; });
    dialog.exec();
}

void CMainFrame::ShowTimeStampDialog() {
    CZeitstempelDlg dialog(m_app.Line(), this);
    dialog.exec();
}

void CMainFrame::ShowModuleSoftwareDialog() {
    CModulSoftwareDlg dialog(m_app.Line(), this);
    dialog.exec();
}

void CMainFrame::ShowAbout() {
    CAboutDlg dialog(this);
    dialog.exec();
}

std::optional<CSite> CMainFrame::RunSitesDialog() {
    CStandorteDlg dialog(this);
    dialog.exec();
    return dialog.Taken();
}

void CMainFrame::SiteTaken(const std::string& name) {
    m_sSite = QString::fromStdString(name);
    UpdateCaption();
}
