#pragma once

#include <QDialog>

#include "app/SettingsMembers.h"

class QCheckBox;
class QLineEdit;

// "Automatisch speichern": the folder where the pictures of capture-timer ticks and loops
// are kept, the pattern of their names, how long they are kept, the free space kept on
// the disk, when the capture timer captures (between two times of day, or from sunrise to
// sunset at a place), and the switch. OK takes the controls only when they make sense: a pattern
// that can name files, a folder when the switch is on, a duration and a size (or none).
class CAutoSpeichernDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CAutoSpeichernDlg(QWidget* parent = nullptr);

    // The members into the controls (save false), or the controls into the members with
    // validation (save true): false, with the reason shown and the control focused.
    bool DoDataExchange(bool save);
    CAutoSaveMembers m_members;

  protected:
    void done(int result) override;

  private:
    void OnBrowse();

    QLineEdit* m_pFolder = nullptr;
    QLineEdit* m_pPattern = nullptr;
    QLineEdit* m_pKeep = nullptr;
    QLineEdit* m_pMinFree = nullptr;
    QLineEdit* m_pBetween = nullptr;
    QLineEdit* m_pDaylight = nullptr;
    QCheckBox* m_pOn = nullptr;
};
