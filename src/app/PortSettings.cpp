#include "app/PortSettings.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSettings>
#include <QTemporaryDir>
#include <optional>
#include <vector>

#include "app/PixlaneApp.h"
#include "app/TargetFile.h"
#include "link/QtSerialLine.h"

namespace {

QString PortKey(int port) {
    return QStringLiteral("Ports/COM%1").arg(port);
}

bool Fail(std::string* error, const std::string& text) {
    if (error != nullptr)
        *error = text;
    return false;
}

#ifndef _WIN32

// One line of an INI text as the settings store reads it: a line ending in an odd number
// of backslashes goes on in the next one.
struct CIniLine {
    qsizetype m_nBegin = 0;
    qsizetype m_nEnd = 0;  // after the line's terminator, if it has one
    QByteArray m_text;     // without the terminator
};

std::vector<CIniLine> SplitIniLines(const QByteArray& text) {
    std::vector<CIniLine> lines;
    qsizetype pos = 0;
    while (pos < text.size()) {
        CIniLine line;
        line.m_nBegin = pos;
        for (;;) {
            qsizetype nl = text.indexOf('\n', pos);
            const qsizetype end = nl < 0 ? text.size() : nl + 1;
            QByteArray piece = text.mid(pos, (nl < 0 ? text.size() : nl) - pos);
            if (piece.endsWith('\r'))
                piece.chop(1);
            line.m_text += piece;
            pos = end;
            qsizetype slashes = 0;
            while (slashes < piece.size() && piece[piece.size() - 1 - slashes] == '\\')
                ++slashes;
            if (slashes % 2 == 0 || pos >= text.size())
                break;
        }
        line.m_nEnd = pos;
        lines.push_back(std::move(line));
    }
    return lines;
}

// The section a header line opens; nullopt for any other line.
std::optional<QByteArray> SectionOf(const QByteArray& text) {
    const QByteArray t = text.trimmed();
    const qsizetype close = t.indexOf(']');
    if (!t.startsWith('[') || close < 0)
        return std::nullopt;
    return t.mid(1, close - 1);
}

// The key of a "key=value" line; nullopt for comments and lines without a value.
std::optional<QByteArray> KeyOf(const QByteArray& text) {
    const QByteArray t = text.trimmed();
    const qsizetype eq = t.indexOf('=');
    if (t.isEmpty() || t.startsWith(';') || eq < 0)
        return std::nullopt;
    return t.left(eq).trimmed();
}

// The text with the key of the section set to the encoded line ("COMn=..."), or removed
// when line is null. Every other byte stays: only the key's own line is replaced (the last
// one, which is the one that counts), or the line is added after the section's last value,
// or a new section is added at the end.
QByteArray EditIniKey(const QByteArray& text, const QByteArray& section, const QByteArray& key,
                      const QByteArray* line) {
    const QByteArray& bare = text;
    const qsizetype bom = bare.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    const std::vector<CIniLine> lines = SplitIniLines(bare.mid(bom));
    // New lines end as the file's first line does.
    const qsizetype firstEnd = bare.indexOf('\n');
    const QByteArray eol = firstEnd > 0 && bare[firstEnd - 1] == '\r' ? "\r\n" : "\n";
    std::vector<const CIniLine*> matches;
    std::optional<qsizetype> insertAt;  // after the last value of the last such section
    bool inSection = false;
    for (const CIniLine& l : lines) {
        if (const std::optional<QByteArray> s = SectionOf(l.m_text)) {
            inSection = *s == section;
            if (inSection)
                insertAt = bom + l.m_nEnd;
            continue;
        }
        if (!inSection)
            continue;
        const std::optional<QByteArray> k = KeyOf(l.m_text);
        if (!k)
            continue;
        insertAt = bom + l.m_nEnd;
        if (*k == key)
            matches.push_back(&l);
    }
    QByteArray out = text;
    auto terminated = [&](qsizetype end) { return end > 0 && out[end - 1] == '\n'; };
    if (line == nullptr) {
        for (auto it = matches.rbegin(); it != matches.rend(); ++it)
            out.remove(bom + (*it)->m_nBegin, (*it)->m_nEnd - (*it)->m_nBegin);
        return out;
    }
    if (!matches.empty()) {
        const CIniLine& last = *matches.back();
        const qsizetype begin = bom + last.m_nBegin;
        const qsizetype end = bom + last.m_nEnd;
        // The line keeps its own ending (none at the very end of the file).
        const QByteArray old = out.mid(begin, end - begin);
        QByteArray ending;
        if (old.endsWith("\r\n"))
            ending = "\r\n";
        else if (old.endsWith('\n'))
            ending = "\n";
        out.replace(begin, end - begin, *line + ending);
        return out;
    }
    if (insertAt) {
        QByteArray add = *line + eol;
        if (!terminated(*insertAt))
            add.prepend(eol);
        out.insert(*insertAt, add);
        return out;
    }
    if (!out.isEmpty()) {
        if (!out.endsWith('\n'))
            out += eol;
        out += eol;
    }
    out += "[" + section + "]" + eol + *line + eol;
    return out;
}

// The line the settings store itself writes for the value, so that the file says exactly
// what the store reads back.
bool EncodedLine(const QTemporaryDir& scratch, const QString& key, const QString& value,
                 QByteArray& line) {
    const QString path = scratch.filePath(QStringLiteral("encode.conf"));
    {
        QSettings encoder(path, QSettings::IniFormat);
        encoder.setValue(key, value);
        encoder.sync();
        if (encoder.status() != QSettings::NoError)
            return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray name = key.section(QLatin1Char('/'), 1).toUtf8();
    for (const CIniLine& l : SplitIniLines(file.readAll()))
        if (KeyOf(l.m_text) == name) {
            line = l.m_text;
            return true;
        }
    return false;
}

// Every value the store reads from the text, put into a file of this name (the store
// keeps what it read of a file, so every text gets a name of its own).
QMap<QString, QVariant> ParsedValues(const QTemporaryDir& scratch, const char* name,
                                     const QByteArray& text) {
    const QString path = scratch.filePath(QLatin1String(name));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
            return {};
    }
    QSettings parsed(path, QSettings::IniFormat);
    QMap<QString, QVariant> values;
    for (const QString& key : parsed.allKeys())
        values.insert(key, parsed.value(key));
    return values;
}

// Why the lock of the settings file could not be taken.
std::string LockFailedText(const QLockFile& lock, const std::string& shown) {
    const std::string folder =
        QFileInfo(QString::fromStdString(shown)).absolutePath().toStdString();
    switch (lock.error()) {
        case QLockFile::LockFailedError: {
            qint64 pid = 0;
            QString host, program;
            if (lock.getLockInfo(&pid, &host, &program))
                return "Einstellungsdatei " + shown + " ist gesperrt (von " +
                       (program.isEmpty() ? std::string("einem Programm") : program.toStdString()) +
                       ", Prozess " + std::to_string(pid) + ")";
            return "Einstellungsdatei " + shown + " ist gesperrt";
        }
        case QLockFile::PermissionError:
            return "Ordner " + folder +
                   " ist nicht beschreibbar: die Sperrdatei der Einstellungen kann dort nicht "
                   "angelegt werden";
        case QLockFile::NoError:
        case QLockFile::UnknownError:
            break;
    }
    return "Sperrdatei " + shown + ".lock kann nicht angelegt werden";
}

bool StoreInFile(QSettings& store, int port, const std::string& device, std::string* error) {
    const QString path = store.fileName();
    const QString key = PortKey(port);
    const std::string shown = path.toStdString();
    if (std::string reason; !MakeFolders(QFileInfo(path).absolutePath().toStdString(), &reason))
        return Fail(error, "Einstellungsdatei " + shown + " nicht geschrieben: " + reason);
    // A file made read-only stays as it is, also for root, who could write it.
    if (IsReadOnlyFile(shown))
        return Fail(error, "Einstellungsdatei " + shown +
                               " ist schreibgeschützt; nichts geändert (erst die Schreibrechte "
                               "setzen, wenn sie geändert werden soll)");
    // The settings store takes the same lock while it writes the file.
    QLockFile lock(path + QStringLiteral(".lock"));
    if (!lock.tryLock(5000))
        return Fail(error, LockFailedText(lock, shown));

    QByteArray before;
    if (QFile file(path); file.exists()) {
        if (!file.open(QIODevice::ReadOnly))
            return Fail(error, "Einstellungsdatei " + shown + " kann nicht gelesen werden");
        before = file.readAll();
    }
    QTemporaryDir scratch;
    if (!scratch.isValid())
        return Fail(error, "kein Platz für eine temporäre Datei");
    const QString value = QString::fromStdString(device);
    QByteArray line;
    if (!device.empty() && !EncodedLine(scratch, key, value, line))
        return Fail(error, "der Gerätename lässt sich nicht speichern");
    const QByteArray after = EditIniKey(before, "Ports", key.section(QLatin1Char('/'), 1).toUtf8(),
                                        device.empty() ? nullptr : &line);

    // Read back as the store reads it: the one value has changed, and nothing else.
    QMap<QString, QVariant> expected = ParsedValues(scratch, "before.conf", before);
    expected.remove(key);
    if (!device.empty())
        expected.insert(key, value);
    if (ParsedValues(scratch, "after.conf", after) != expected)
        return Fail(error, "Einstellungsdatei " + shown + " lässt sich an dieser Stelle nicht " +
                               "sicher ändern; bitte " + key.toStdString() + " von Hand eintragen");
    if (after != before) {
        std::string reason;
        if (!WriteTargetFile(shown, std::vector<uint8_t>(after.begin(), after.end()), &reason))
            return Fail(error, "Einstellungsdatei " + shown + " nicht geschrieben: " + reason);
    }
    lock.unlock();
    // The store sees the new value from now on (it has nothing of its own to write).
    store.sync();
    return true;
}

#endif

}  // namespace

std::string PortOpenFailedText(const CLineAddress& address) {
    if (address.IsNamedDevice())
        return "Gerät " + address.GivenDevice() + " kann nicht geöffnet werden !";
    const int com = address.PortNumber();
    std::string text = "ComPort COM" + std::to_string(com);
    if (com >= 1 && com <= 9)
        text += " (" + address.DeviceName() + ")";
    return text + " kann nicht geöffnet werden !";
}

std::string StoredPortDevice(QSettings& store, int port) {
    ReadEverySection(store);
    const std::optional<QString> text = StoredText(store, PortKey(port));
    return text ? text->toStdString() : std::string();
}

void UseStoredPorts(QSettings* store) {
    if (store == nullptr) {
        SetStoredPortLookup({});
        return;
    }
    SetStoredPortLookup([store](int port) { return StoredPortDevice(*store, port); });
}

bool StorePortDevice(QSettings& store, int port, const std::string& device, std::string* error) {
#ifdef _WIN32
    // The registry keeps each value on its own.
    if (device.empty())
        store.remove(PortKey(port));
    else
        store.setValue(PortKey(port), QString::fromStdString(device));
    store.sync();
    if (store.status() != QSettings::NoError)
        return Fail(error, "Einstellung " + PortKey(port).toStdString() + " nicht gespeichert");
    return true;
#else
    return StoreInFile(store, port, device, error);
#endif
}
