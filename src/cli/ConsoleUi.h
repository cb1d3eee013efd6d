#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "app/AppUi.h"
#include "app/Progress.h"
#include "image/ScreenImage.h"

// The application's user interface on a console. Status texts and message texts go to
// the error stream one a line, exactly as the window shows them. The progress texts of
// a fetch ("Zeile ...") on a terminal rewrite one line in place, with the share received,
// the rate and the time left behind the text; elsewhere only the last of them is written,
// when something else follows or the run ends. Quiet leaves out the status and progress
// texts; message texts are always written.
class CConsoleUi : public CAppUi {
  public:
    CConsoleUi(std::ostream& err, bool quiet, bool terminal);

    void SetStatusText(const std::string& text) override;
    void SetProgressText(const std::string& text) override;
    void MessageBox(const std::string& text) override;
    CScreenImage* ScreenImage(int width, int height) override;
    void RepaintRows(int first, int last) override;
    void SetImageSize(int height, int width) override;
    void ResizeForImage(int width, int height) override;
    std::optional<std::string> AskSaveFileName(const std::string&) override { return {}; }
    void ImageChanged() override {}
    void ShowProgress(const CFetchProgress& progress) override;
    void EndProgress() override { m_bHaveProgress = false; }

    // A line of the program's own (an error or a note); written like a message text.
    void Note(const std::string& text) { MessageBox(text); }
    // Ends a progress line that is still open.
    void Finish();
    // After a failure: the last status text usually names its cause, so a quiet run
    // writes it after all.
    void ReportFailure();
    const std::string& LastStatus() const { return m_sLastStatus; }
    // Written before every line from now on ("nord: "), where several runs share one stream.
    void SetPrefix(const std::string& prefix) { m_sPrefix = prefix; }
    int MessageCount() const { return m_nMessages; }

  private:
    void DrawProgress();

    std::ostream& m_err;
    std::string m_sPrefix;
    bool m_bQuiet;
    bool m_bTerminal;
    std::string m_sLastStatus;
    std::string m_sProgress;  // the progress text not yet written as a line
    bool m_bProgressOpen = false;
    int m_nMessages = 0;
    int m_nRowsDone = 0;
    CFetchProgress m_progress;  // of the fetch under way, when m_bHaveProgress
    bool m_bHaveProgress = false;
    int m_nImageHeight = 0;
    std::vector<uint32_t> m_pixels;
    CScreenImage m_screen;
};

// Columns padded to their widest cell (counted in characters); the last one is not padded.
void PrintTable(std::ostream& out, const std::vector<std::vector<std::string>>& rows);
// A text from the system or a file, safe for the terminal; "-" when there is none.
std::string Cell(const std::string& text);
