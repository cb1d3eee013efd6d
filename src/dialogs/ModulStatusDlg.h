#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <utility>

class CComPort;
class CLineSession;
class CPixlaneApp;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QPushButton;
class QRadioButton;

// What the module dialogs share: the queries that write into a value field, and the
// time stamp cut into channel and seconds.
namespace ModuleQuery {
// Shows "Bitte warten ..." in the field, runs the query on a port object of its own on
// the line and shows the text it returns (the value or the query's error text).
void Run(CLineSession& line, QLabel* field, std::string (CComPort::*query)());
// The time-stamp text by position: the channel is the text without its five characters
// from position 2 on, the time is the text without its first two characters. An error
// text is cut the same way.
std::pair<std::string, std::string> SplitTimeStamp(const std::string& text);
// Reads the time stamp, resetting it unless readOnly, and shows channel and time.
void ShowTimeStamp(CLineSession& line, bool readOnly, QLabel* channel, QLabel* time);
// Module texts are shown byte for byte as they came off the line.
void SetFieldText(QLabel* field, const std::string& text);
// The group box with the two radio buttons "nur lesen" (checked) and "lesen und
// zurücksetzen".
QGroupBox* ReadOptions(const QString& title, QWidget* parent, QRadioButton*& readOnly);
// Enter pressed while the focus is not on a push button: the dialog's OK.
bool IsEnterOffButtons(const QDialog& dialog, const QKeyEvent& event);
}  // namespace ModuleQuery

// "Modulstatus": queries the module's status values one by one or all at once, resets the
// module and polls the input status continuously ("Dauerlauf").
class CModulStatusDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CModulStatusDlg(CPixlaneApp& app, QWidget* parent = nullptr);

    // Tells whether the program is closing; a running "Dauerlauf" then ends and the dialog
    // closes with it.
    void SetProgramClosing(std::function<bool()> closing) { m_programClosing = std::move(closing); }
    // Closing while "Dauerlauf" runs ends the poll first; the dialog closes after it.
    void done(int result) override;

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void OnCameraStatus();
    void OnInputStatus();
    void OnErrorStatus();
    void OnTimeStamp();
    void OnQueryAll();
    void OnModuleReset();
    void OnContinuousInput();

    CPixlaneApp& m_app;
    std::function<bool()> m_programClosing;
    QLabel* m_pCameras = nullptr;
    QLabel* m_pInputs = nullptr;
    QLabel* m_pErrors = nullptr;
    QLabel* m_pChannel = nullptr;
    QLabel* m_pTime = nullptr;
    QLabel* m_pVersion = nullptr;
    QRadioButton* m_pReadOnly = nullptr;
    int m_nPolling = 0;  // "Dauerlauf" loops running, nested ones included
    bool m_bCloseRequested = false;
    int m_nCloseResult = Rejected;
};
