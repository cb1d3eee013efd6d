#include "res/ResInit.h"

#include <QtGlobal>

void InitPixlaneResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(pixlane_icons);
        return true;
    }();
    (void)done;
}
