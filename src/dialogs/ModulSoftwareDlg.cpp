#include "dialogs/ModulSoftwareDlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "dialogs/AboutDlg.h"
#include "dialogs/ModulStatusDlg.h"
#include "link/ComPort.h"

CModulSoftwareDlg::CModulSoftwareDlg(CLineSession& line, QWidget* parent)
    : QDialog(parent), m_line(line) {
    setWindowTitle(QStringLiteral("Info zur Modul Software"));

    m_pVersion = new QLabel(QStringLiteral("?.??"), this);
    m_pVersion->setObjectName(QStringLiteral("version"));
    m_pVersion->setMinimumWidth(
        m_pVersion->fontMetrics().horizontalAdvance(QStringLiteral("Bitte warten ...")));
    // Nothing shows or enables it; it stays for the query it is wired to.
    auto* find = new QPushButton(QStringLiteral("&Ermitteln"), this);
    find->setObjectName(QStringLiteral("ermitteln"));
    find->setAutoDefault(false);
    find->setEnabled(false);
    find->hide();

    auto* text = new QVBoxLayout;
    text->addWidget(new QLabel(QStringLiteral("Modul Software Version"), this));
    text->addWidget(m_pVersion);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(ProgramIcon(this), 0, Qt::AlignTop);
    layout->addLayout(text, 1);
    layout->addWidget(find, 0, Qt::AlignTop);

    connect(find, &QPushButton::clicked, this, &CModulSoftwareDlg::QueryVersion);
}

void CModulSoftwareDlg::setVisible(bool visible) {
    if (visible && !isVisible())
        QueryVersion();
    QDialog::setVisible(visible);
}

void CModulSoftwareDlg::QueryVersion() {
    ModuleQuery::Run(m_line, m_pVersion, &CComPort::GetSoftwareVersion);
}
