#include "ui/CommandTable.h"

#include "app/Commands.h"

const std::vector<CMenuEntry>& MenuTable() {
    using E = CMenuEntry;
    static const std::vector<CMenuEntry> table = {
        {E::Popup, 0, "&Datei", ""},
        {E::Item, ID_SPEICHERN, "&Speichern", ""},
        {E::Item, ID_AUTO_SPEICHERN, "Automatisch speichern ...", ""},
        {E::Item, ID_APP_EXIT, "&Beenden", "Beendet das Programm"},
        {E::EndPopup, 0, "", ""},
        {E::Popup, 0, "&Bild", ""},
        {E::Item, ID_BILD_HOLEN, "&Bild holen (F4)", ""},
        {E::Item, ID_NEU_GRABBEN, "Bild neu &grabben (F5)", ""},
        {E::Item, ID_COMPORT, "ComPort öffnen/schließen", ""},
        {E::Item, ID_VERBINDUNG, "&Verbindung beenden (F1)", ""},
        {E::Item, ID_NIBBLE1, "Nibble1", ""},
        {E::Item, ID_NIBBLE2, "Nibble2", ""},
        {E::Item, ID_NIBBLE12, "Nibble 1+2 (F10)", ""},
        {E::Popup, 0, "Loop", ""},
        {E::Item, ID_LOOP_BILD, "&Bild Loop (F7)", ""},
        {E::Item, ID_LOOP_NIBBLE12, "Nibble 1+2", ""},
        {E::Item, ID_LOOP_NIBBLE2, "Nibble 2 (F12)", ""},
        {E::EndPopup, 0, "", ""},
        {E::EndPopup, 0, "", ""},
        {E::Popup, 0, "&Modul", ""},
        {E::Item, ID_EINSTELLUNGEN, "&Einstellungen", ""},
        {E::Popup, 0, "&Status", ""},
        {E::Item, ID_UEBERSICHT, "Übersicht", ""},
        {E::Item, ID_KAMERASTATUS, "&Kamerastatus", "Kamerastatus "},
        {E::Item, ID_INPUTSTATUS, "Inputstatus", ""},
        {E::Item, ID_FEHLERSTATUS, "Fehlerstatus", ""},
        {E::Item, ID_ZEITSTEMPEL, "Zeitstempel", ""},
        {E::Item, ID_RESET_MODUL, "Rest Modul", ""},
        {E::EndPopup, 0, "", ""},
        {E::Item, ID_STANDORTE, "Standorte ...", ""},
        {E::EndPopup, 0, "", ""},
        {E::Popup, 0, "&?", ""},
        {E::Item, ID_APP_ABOUT, "Inf&o über Pixlane...",
         "Zeigt Programminformationen und die Versionsnummer an"},
        {E::Item, ID_INFO_MODUL, "&Info über Modul Software", ""},
        {E::EndPopup, 0, "", ""},
    };
    return table;
}

const std::vector<CAccelEntry>& AccelTable() {
    static const std::vector<CAccelEntry> table = {
        {QKeySequence(Qt::Key_F1), ID_VERBINDUNG},
        {QKeySequence(Qt::Key_F2), ID_RESET_MODUL},
        {QKeySequence(Qt::Key_F3), ID_UEBERSICHT},
        {QKeySequence(Qt::Key_F4), ID_BILD_HOLEN},
        {QKeySequence(Qt::Key_F5), ID_NEU_GRABBEN},
        {QKeySequence(Qt::Key_F7), ID_LOOP_BILD},
        {QKeySequence(Qt::Key_F8), ID_INPUTSTATUS},
        {QKeySequence(Qt::Key_F9), ID_NIBBLE2},
        {QKeySequence(Qt::Key_F10), ID_NIBBLE12},
        {QKeySequence(Qt::Key_F11), ID_ZEITSTEMPEL},
        {QKeySequence(Qt::Key_F12), ID_LOOP_NIBBLE2},
        {QKeySequence(Qt::CTRL | Qt::Key_S), ID_FILE_SAVE},
    };
    return table;
}

const std::vector<CToolEntry>& ToolTable() {
    static const std::vector<CToolEntry> table = {
        {ID_NIBBLE12, ":/pixlane/icons/nibble.png", "Bild im Nibble 1/2 holen"},
        {ID_NEU_GRABBEN, ":/pixlane/icons/regrab.png", "Bild neu grabben"},
        {ID_BILD_HOLEN, ":/pixlane/icons/fetch.png", "Bild holen"},
        {ID_UEBERSICHT, ":/pixlane/icons/status.png", "Modulstatus"},
        {0, nullptr, nullptr},
        {ID_SPEICHERN, ":/pixlane/icons/save.png", "Bildspeichern"},
    };
    return table;
}
