#include "res/ResInit.h"

#include <QDir>
#include <QtGlobal>

void InitPixlaneResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(pixlane_icons);
        return true;
    }();
    (void)done;
}

QIcon PixlaneIcon() {
    InitPixlaneResources();
    QIcon icon;
    const QDir icons(QStringLiteral(":/pixlane/icons"));
    for (const QString& name : icons.entryList({QStringLiteral("pixlane-*.png")}, QDir::Files))
        icon.addFile(icons.filePath(name));
    return icon;
}
