#pragma once

#include <QMainWindow>
#include <QString>
#include <cstdint>
#include <map>
#include <memory>

#include "app/AppUi.h"
#include "ui/CaptureTimer.h"
#include "ui/FetchPainter.h"

class CPixlaneApp;
class CPixlaneDoc;
class CPixlaneView;
class CTextPane;
class QAction;
class QLabel;
class QProgressBar;
class QToolBar;

// The one top-level window: menu bar, toolbar, the view and the status bar. Every command
// goes to the application object; the frame is also the application's user interface.
class CMainFrame : public QMainWindow, public CAppUi {
    Q_OBJECT
  public:
    static constexpr int kInitialX = 100;
    static constexpr int kInitialY = 100;
    static constexpr int kInitialWidth = 266;
    static constexpr int kInitialHeight = 288;
    // While a fetch runs, the view and the status bar are repainted at most once in this
    // many milliseconds of the line's clock.
    static constexpr uint32_t kRepaintIntervalMs = CFetchPainter::kRepaintIntervalMs;

    explicit CMainFrame(CPixlaneApp& app, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // ---- the application's user interface ----
    void SetStatusText(const std::string& text) override;
    void MessageBox(const std::string& text) override;
    CScreenImage* ScreenImage(int width, int height) override;
    void RepaintRows(int first, int last) override;
    void SetImageSize(int height, int width) override;
    void ResizeForImage(int width, int height) override;
    std::optional<std::string> AskSaveFileName(const std::string& initial) override;
    void ImageChanged() override;
    void ShowProgress(const CFetchProgress& progress) override;
    void EndProgress() override;
    void ShowAbout() override;
    void CloseMainWindow() override;
    bool PumpEvents() override;
    void StopCaptureTimer() override;
    void RearmCaptureTimer() override;
    // settings dialog (defined in FrameSettings.cpp)
    bool RunSettingsDialog(CEinstellungMembers& members) override;
    // auto-save dialog (defined in FrameAutoSave.cpp)
    bool RunAutoSaveDialog(CAutoSaveMembers& members) override;
    std::optional<CSite> RunSitesDialog() override;
    void SiteTaken(const std::string& name) override;
    // module dialogs (defined in FrameDialogs.cpp)
    void ShowModuleStatusDialog() override;
    void ShowTimeStampDialog() override;
    void ShowModuleSoftwareDialog() override;

    // ---- periodic capture (CCaptureTimer) ----
    void StartCaptureTimer(int minutes) { m_captureTimer.Start(minutes); }
    void ToggleCaptureTimer(int minutes) { m_captureTimer.Toggle(minutes); }
    const QTimer& CaptureTimer() const { return m_captureTimer.Timer(); }
    int TimerInterval() const { return m_captureTimer.Interval(); }

    // Closes the window as "Beenden" does, for a request from outside (a signal): a
    // dialog or message box that is open closes first, as its Cancel would close it.
    void CloseFromOutside();
    // The window has been closed (or asked to close before it was shown).
    bool IsClosing() const { return m_bClosing; }

    QString StatusText() const;
    CPixlaneView* View() const { return m_pView; }
    CPixlaneDoc* Doc() const { return m_pDoc; }
    QToolBar* ToolBar() const { return m_pToolBar; }
    // The menu item, accelerator or toolbar button of a command; null when there is none.
    QAction* MenuAction(int id) const;
    QAction* AccelAction(int id) const;
    QAction* ToolAction(int id) const;
    // The lock-key panes, left to right: caps, num, scroll lock.
    QLabel* LockPane(int i) const { return m_pLockPanes[i]; }
    // The progress of a fetch, right of the text pane: blocks, rate, time left.
    QProgressBar* ProgressBar() const { return m_pProgress; }
    QLabel* RatePane() const { return m_pRate; }
    QLabel* TimeLeftPane() const { return m_pTimeLeft; }

  protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildMenus();
    void BuildToolBar();
    void BuildStatusBar();
    void Dispatch(int id);
    void UpdateCaption();
    void ShowProgressPanes(bool on, int blocks);
    // Puts the text into the status bar's text pane; outside a fetch a text that does not
    // fit beside the lock-key panes gets their room. True when the panes came or went.
    bool ShowText(const QString& text);
    bool GiveRoomToText();
    void SetLockPanesShown(bool on);
    CTextPane* TextPane() const;

    CPixlaneApp& m_app;
    CCaptureTimer m_captureTimer;
    CPixlaneDoc* m_pDoc = nullptr;
    CPixlaneView* m_pView = nullptr;
    QToolBar* m_pToolBar = nullptr;
    QLabel* m_pText = nullptr;
    QLabel* m_pLockPanes[3] = {nullptr, nullptr, nullptr};
    QProgressBar* m_pProgress = nullptr;
    QLabel* m_pRate = nullptr;
    QLabel* m_pTimeLeft = nullptr;
    // The painting while a fetch runs, on the view and the status bar's panes.
    std::unique_ptr<CFetchPainter> m_pPainter;
    std::map<int, QAction*> m_menuActions;
    std::map<int, QAction*> m_accelActions;
    std::map<int, QAction*> m_toolActions;
    bool m_bClosing = false;
    QString m_sSite;  // the site taken over, for the title
};
