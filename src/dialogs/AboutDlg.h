#pragma once

#include <QDialog>

class QLabel;

// The program icon as the dialogs show it, 32 × 32.
QLabel* ProgramIcon(QWidget* parent);

// "Info über Pixlane": the program's about box.
class CAboutDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};
