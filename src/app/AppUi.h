#pragma once

#include <optional>
#include <string>

#include "fleet/SiteBook.h"
#include "link/PortUi.h"

struct CScreenImage;
struct CEinstellungMembers;
class CFetchProgress;
struct CAutoSaveMembers;
struct CSite;

// Everything the application object needs from its user interface. The main window
// implements it, pixlane-cli implements it on the console, tests record it.
class CAppUi : public CPortUi {
  public:
    // The screen image the decoder draws into while blocks arrive, sized for the image
    // (W × H pixels); null when nothing can be drawn.
    virtual CScreenImage* ScreenImage(int width, int height) = 0;
    // Shows rows first..last of the screen image at once (the window processes no input
    // meanwhile).
    virtual void RepaintRows(int first, int last) = 0;
    // The view paints this much of the image buffer.
    virtual void SetImageSize(int height, int width) = 0;
    // Sizes the main window so that an image of W × H shows whole.
    virtual void ResizeForImage(int width, int height) = 0;
    // The file name to save to, starting from the initial name; empty when cancelled.
    virtual std::optional<std::string> AskSaveFileName(const std::string& initial) = 0;
    // The image buffer has changed: repaint the view from it.
    virtual void ImageChanged() = 0;
    // A fetch is under way: called when the request goes out and after every block has
    // been acknowledged, while the module sends the next one, so this is where a window
    // paints what the blocks changed. What has not been shown yet is shown by EndProgress,
    // which follows every fetch that began, complete or broken off; the progress goes away
    // then.
    virtual void ShowProgress(const CFetchProgress& progress) { (void)progress; }
    virtual void EndProgress() {}
    // The about box; nothing where there is no window.
    virtual void ShowAbout() {}
    // Ends the program as closing the main window does; nothing where there is no window.
    virtual void CloseMainWindow() {}
    // Between two cycles of a loop command: runs the events that are waiting (commands
    // chosen meanwhile run inside it) and tells whether the loop is to end, because Escape
    // was pressed or the program is closing. Without a window there is nobody to stop a
    // loop, so it ends after one cycle.
    virtual bool PumpEvents() { return true; }
    // The periodic capture, where there is one: stop it (m_bTimer unchanged), or set it
    // again with the interval it was last armed with.
    virtual void StopCaptureTimer() {}
    virtual void RearmCaptureTimer() {}
    // The dialogs of the module menu and the help menu, shown modally; nothing where
    // there is no window. The settings dialog edits the members it is given; true when it
    // was closed with OK.
    virtual bool RunSettingsDialog(CEinstellungMembers& members) {
        (void)members;
        return false;
    }
    // The auto-save dialog on the members; true when it was confirmed.
    virtual bool RunAutoSaveDialog(CAutoSaveMembers& members) {
        (void)members;
        return false;
    }
    // The site book's dialog; the site to take over, or nullopt.
    virtual std::optional<CSite> RunSitesDialog() { return std::nullopt; }
    // The site taken over, for the title; empty: none any more.
    virtual void SiteTaken(const std::string& name) { (void)name; }
    virtual void ShowModuleStatusDialog() {}
    virtual void ShowTimeStampDialog() {}
    virtual void ShowModuleSoftwareDialog() {}
};
