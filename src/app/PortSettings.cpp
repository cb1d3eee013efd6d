#include "app/PortSettings.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSettings>
#include <QTemporaryDir>
#include <optional>
#include <vector>

#include "capture/TargetFile.h"
#include "fleet/IniText.h"
#include "platform/System.h"

namespace {

QString PortKey(int port) {
    return QStringLiteral("Ports/COM%1").arg(port);
}

bool Fail(std::string* error, const std::string& text) {
    if (error != nullptr)
        *error = text;
    return false;
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
    const QByteArray eol = LineEnding(bare);
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
    auto terminated = [&](qsizetype end) {
        return end > 0 && (out[end - 1] == '\n' || out[end - 1] == '\r');
    };
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
        else if (old.endsWith('\n') || old.endsWith('\r'))
            ending = old.right(1);
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
        if (!EndsLine(out))
            out += eol;
        out += eol;
    }
    out += "[" + section + "]" + eol + *line + eol;
    return out;
}

bool StoreInFile(QSettings& store, int port, const std::string& device, std::string* error) {
    const QString key = PortKey(port);
    const std::string shown = store.fileName().toStdString();
    const CTextFileNames names{"Einstellungsdatei", "der Einstellungen"};
    const auto edit = [&](const QByteArray& before, QByteArray& after, std::string& why) {
        QTemporaryDir scratch;
        if (!scratch.isValid()) {
            why = "kein Platz für eine temporäre Datei";
            return false;
        }
        const QString value = QString::fromStdString(device);
        QByteArray line;
        if (!device.empty() && !EncodedLine(scratch, key, value, line)) {
            why = "der Gerätename lässt sich nicht speichern";
            return false;
        }
        after = EditIniKey(before, "Ports", key.section(QLatin1Char('/'), 1).toUtf8(),
                           device.empty() ? nullptr : &line);
        // Read back as the store reads it: the one value has changed, and nothing else.
        QMap<QString, QVariant> expected = ParsedValues(scratch, "before.conf", before);
        expected.remove(key);
        if (!device.empty())
            expected.insert(key, value);
        if (ParsedValues(scratch, "after.conf", after) != expected) {
            why = "Einstellungsdatei " + shown + " lässt sich an dieser Stelle nicht " +
                  "sicher ändern; bitte " + key.toStdString() + " von Hand eintragen";
            return false;
        }
        return true;
    };
    if (!EditTextFile(store.fileName(), names, edit, error))
        return false;
    // The store sees the new value from now on (it has nothing of its own to write).
    store.sync();
    return true;
}

}  // namespace

std::string StoredPortDevice(QSettings& store, int port) {
    ReadEverySection(store);
    const std::optional<QString> text = StoredText(store, PortKey(port));
    return text ? text->toStdString() : std::string();
}

std::array<std::string, 10> StoredPortDevices(QSettings& store) {
    ReadEverySection(store);
    std::array<std::string, 10> devices;
    for (int port = 1; port <= 9; ++port)
        if (const std::optional<QString> text = StoredText(store, PortKey(port)))
            devices[static_cast<size_t>(port)] = text->toStdString();
    return devices;
}

bool StorePortDevice(QSettings& store, int port, const std::string& device, std::string* error) {
    if (!SettingsInRegistry())
        return StoreInFile(store, port, device, error);
    // The registry keeps each value on its own.
    if (device.empty())
        store.remove(PortKey(port));
    else
        store.setValue(PortKey(port), QString::fromStdString(device));
    store.sync();
    if (store.status() != QSettings::NoError)
        return Fail(error, "Einstellung " + PortKey(port).toStdString() + " nicht gespeichert");
    return true;
}
