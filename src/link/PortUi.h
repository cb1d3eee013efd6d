#pragma once

#include <string>

// What the line and protocol layers need to show to the user. The application's UI
// implements it (window, console, test recorder). Texts are UTF-8.
class CPortUi {
  public:
    virtual ~CPortUi() = default;
    // The status bar's text pane.
    virtual void SetStatusText(const std::string& text) = 0;
    // A fetch's progress in the text pane ("Zeile ", "Zeile 5 wird empfangen ..."): shown
    // as a status text, unless the interface has a place of its own for it.
    virtual void SetProgressText(const std::string& text) { SetStatusText(text); }
    // A message box with the caption "Pixlane", the exclamation icon and one OK button.
    virtual void MessageBox(const std::string& text) = 0;
};
