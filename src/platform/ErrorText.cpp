#include "platform/ErrorText.h"

#include <cerrno>

std::string SystemErrorText(int code) {
    static const struct {
        int m_nCode;
        const char* m_pText;
    } kTexts[] = {
        {ENOSPC, "kein Platz mehr auf dem Datenträger"},
#ifdef EDQUOT
        {EDQUOT, "Speicherkontingent ausgeschöpft"},
#endif
        {EFBIG, "Datei zu groß"},
        {EACCES, "keine Berechtigung"},
        {EPERM, "Vorgang nicht erlaubt"},
        {EROFS, "Dateisystem ist schreibgeschützt"},
        {ENOENT, "Datei oder Ordner nicht vorhanden"},
        {ENOTDIR, "ein Teil des Pfads ist kein Ordner"},
        {EISDIR, "ist ein Ordner"},
        {EEXIST, "ist schon vorhanden"},
        {ENAMETOOLONG, "Name zu lang"},
        {ELOOP, "zu viele Ebenen symbolischer Verknüpfungen"},
        {EIO, "Ein-/Ausgabefehler"},
        {EBUSY, "Gerät oder Datei belegt"},
        {ETXTBSY, "Datei wird gerade ausgeführt"},
        {ENXIO, "Gerät nicht vorhanden"},
        {ENODEV, "Gerät nicht vorhanden"},
        {EMFILE, "zu viele offene Dateien"},
        {ENFILE, "zu viele offene Dateien im System"},
        {ENOMEM, "kein Speicher frei"},
        {EPIPE, "der Empfänger hat die Verbindung geschlossen"},
        {EAGAIN, "vorübergehend nicht verfügbar"},
        {EINVAL, "ungültiges Argument"},
        {EXDEV, "liegt auf einem anderen Dateisystem"},
        {EINTR, "unterbrochen"},
    };
    for (const auto& t : kTexts)
        if (t.m_nCode == code)
            return t.m_pText;
    return "Systemfehler " + std::to_string(code);
}
