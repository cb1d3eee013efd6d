#pragma once

class QTranslator;

// Qt's own texts (the buttons and labels of its file dialogs, the menus of its edits) in
// German, as every text of the window is, whatever language the system is set to. Loads
// Qt's German translation into the translator and installs it in the application; false
// when the translation is not there (Qt's texts stay English).
bool InstallGermanQtTexts(QTranslator& translator);
