#pragma once

#include <QIcon>

// Makes the compiled-in pictures (":/pixlane/icons/...") available; safe to call twice.
void InitPixlaneResources();

// The program icon in all its sizes, for windows, dialogs and the application.
QIcon PixlaneIcon();
