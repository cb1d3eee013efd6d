#pragma once

#include <QDialog>

class CLineSession;
class QLabel;

// "Info zur Modul Software": the software version of the module, queried each time the
// dialog opens, before it shows.
class CModulSoftwareDlg : public QDialog {
    Q_OBJECT
  public:
    // The version is asked of the module on the line.
    explicit CModulSoftwareDlg(CLineSession& line, QWidget* parent = nullptr);

    void setVisible(bool visible) override;
    // Enter does not close this dialog; Escape and the close box do.
    void accept() override {}

  private:
    void QueryVersion();

    CLineSession& m_line;
    QLabel* m_pVersion = nullptr;
};
