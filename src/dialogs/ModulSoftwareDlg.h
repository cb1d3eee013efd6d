#pragma once

#include <QDialog>

class QLabel;

// "Info zur Modul Software": the software version of the module, queried each time the
// dialog opens, before it shows.
class CModulSoftwareDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CModulSoftwareDlg(QWidget* parent = nullptr);

    void setVisible(bool visible) override;
    // Enter does not close this dialog; Escape and the close box do.
    void accept() override {}

  private:
    void QueryVersion();

    QLabel* m_pVersion = nullptr;
};
