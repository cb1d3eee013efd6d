#pragma once

#include <QDialog>
#include <optional>

#include "fleet/SiteBook.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QTreeWidget;

// One site to add or change: its name, description, number or cable, device, channels
// and width; what the form does not show stays as the entry has it. OK stores it in the
// user's book, or says why not and stays open.
class CStandortDlg : public QDialog {
    Q_OBJECT
  public:
    CStandortDlg(const CSite& site, QWidget* parent = nullptr);
    const CSite& Site() const { return m_site; }

  protected:
    void done(int result) override;

  private:
    CSite m_site;
    QLineEdit* m_pName = nullptr;
    QLineEdit* m_pDescription = nullptr;
    QLineEdit* m_pNumber = nullptr;
    QCheckBox* m_pCable = nullptr;
    QLineEdit* m_pDevice = nullptr;
    QLineEdit* m_pChannels = nullptr;
    QComboBox* m_pWidth = nullptr;
};

// "Standorte": the book as a list (name, number, channels, and the time and result of the
// last capture where the site's journal is there), with add, change and delete on the
// user's book; "Übernehmen" closes it with the chosen site to take over.
class CStandorteDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CStandorteDlg(QWidget* parent = nullptr);
    // The site "Übernehmen" chose; nullopt when the dialog was closed otherwise.
    const std::optional<CSite>& Taken() const { return m_taken; }

  private:
    void Fill();
    const CSite* Chosen() const;
    void OnAdd();
    void OnChange();
    void OnDelete();
    void OnTake();

    CSiteBook m_book;
    QTreeWidget* m_pList = nullptr;
    QLabel* m_pProblems = nullptr;  // what is wrong in the book, with file and line
    std::optional<CSite> m_taken;
};
