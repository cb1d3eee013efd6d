#pragma once

#include <QDialog>

class CLineSession;
class QKeyEvent;
class QLabel;
class QRadioButton;

// "Zeitstempel": reads the module's time stamp, the triggering channel and the time in
// seconds, and resets it when asked to.
class CZeitstempelDlg : public QDialog {
    Q_OBJECT
  public:
    // The time stamp is read from the module on the line.
    explicit CZeitstempelDlg(CLineSession& line, QWidget* parent = nullptr);

    // The check state of "nur lesen" at the last press of "Start" (1 checked, 0 not).
    int m_iReadMode = 0;

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void OnStart();

    CLineSession& m_line;

    QLabel* m_pChannel = nullptr;
    QLabel* m_pTime = nullptr;
    QRadioButton* m_pReadOnly = nullptr;
};
