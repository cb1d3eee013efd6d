#include "dialogs/ZeitstempelDlg.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include "dialogs/ModulStatusDlg.h"

CZeitstempelDlg::CZeitstempelDlg(CLineSession& line, QWidget* parent)
    : QDialog(parent), m_line(line) {
    setWindowTitle(QStringLiteral("Zeitstempel"));

    m_pChannel = new QLabel(QStringLiteral("??"), this);
    m_pChannel->setObjectName(QStringLiteral("kanal"));
    m_pTime = new QLabel(QStringLiteral("??"), this);
    m_pTime->setObjectName(QStringLiteral("zeit"));

    QGroupBox* options = ModuleQuery::ReadOptions(QStringLiteral("Optionen "), this, m_pReadOnly);

    auto* start = new QPushButton(QStringLiteral("Start"), this);
    start->setObjectName(QStringLiteral("start"));

    auto* layout = new QGridLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("triggernder Kanal : "), this), 0, 0);
    layout->addWidget(m_pChannel, 0, 1);
    layout->addWidget(new QLabel(QStringLiteral("Zeit (sec.) :"), this), 1, 0);
    layout->addWidget(m_pTime, 1, 1);
    layout->addWidget(options, 2, 0, 1, 2);
    layout->addWidget(start, 3, 1, Qt::AlignRight);
    layout->setColumnStretch(1, 1);

    connect(start, &QPushButton::clicked, this, &CZeitstempelDlg::OnStart);
}

void CZeitstempelDlg::OnStart() {
    m_iReadMode = m_pReadOnly->isChecked() ? 1 : 0;
    ModuleQuery::ShowTimeStamp(m_line, m_iReadMode == 1, m_pChannel, m_pTime);
}

void CZeitstempelDlg::keyPressEvent(QKeyEvent* event) {
    if (ModuleQuery::IsEnterOffButtons(*this, *event)) {
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
