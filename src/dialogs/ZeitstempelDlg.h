#pragma once

#include <QDialog>

class QKeyEvent;
class QLabel;
class QRadioButton;

// "Zeitstempel": reads the module's time stamp, the triggering channel and the time in
// seconds, and resets it when asked to.
class CZeitstempelDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CZeitstempelDlg(QWidget* parent = nullptr);

    // The check state of "nur lesen" at the last press of "Start" (1 checked, 0 not).
    int m_iReadMode = 0;

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void OnStart();

    QLabel* m_pChannel = nullptr;
    QLabel* m_pTime = nullptr;
    QRadioButton* m_pReadOnly = nullptr;
};
