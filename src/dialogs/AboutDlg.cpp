#include "dialogs/AboutDlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "PixlaneVersion.h"
#include "res/ResInit.h"

QLabel* ProgramIcon(QWidget* parent) {
    auto* icon = new QLabel(parent);
    icon->setObjectName(QStringLiteral("icon"));
    icon->setPixmap(PixlaneIcon().pixmap(32, 32));
    return icon;
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromUtf8("Info über Pixlane"));

    auto* text =
        new QLabel(QStringLiteral("Pixlane Version ") + QLatin1String(kPixlaneVersion), this);
    text->setObjectName(QStringLiteral("text"));
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(ProgramIcon(this), 0, Qt::AlignTop);
    layout->addWidget(text, 1);
    layout->addWidget(ok, 0, Qt::AlignTop);

    connect(ok, &QPushButton::clicked, this, &CAboutDlg::accept);
}
