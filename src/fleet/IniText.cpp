#include "fleet/IniText.h"

#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include "capture/InputFile.h"
#include "capture/TargetFile.h"

namespace {

bool Fail(std::string* error, const std::string& text) {
    if (error != nullptr)
        *error = text;
    return false;
}

// Why the lock of the file could not be taken.
std::string LockFailedText(const QLockFile& lock, const std::string& shown,
                           const CTextFileNames& names) {
    const std::string folder =
        QFileInfo(QString::fromStdString(shown)).absolutePath().toStdString();
    switch (lock.error()) {
        case QLockFile::LockFailedError: {
            qint64 pid = 0;
            QString host, program;
            if (lock.getLockInfo(&pid, &host, &program))
                return names.m_pFile + (" " + shown) + " ist gesperrt (von " +
                       (program.isEmpty() ? std::string("einem Programm") : program.toStdString()) +
                       ", Prozess " + std::to_string(pid) + ")";
            return names.m_pFile + (" " + shown) + " ist gesperrt";
        }
        case QLockFile::PermissionError:
            return "Ordner " + folder + " ist nicht beschreibbar: die Sperrdatei " + names.m_pOf +
                   " kann dort nicht angelegt werden";
        case QLockFile::NoError:
        case QLockFile::UnknownError:
            break;
    }
    return "Sperrdatei " + shown + ".lock kann nicht angelegt werden";
}

}  // namespace

std::vector<CIniLine> SplitIniLines(const QByteArray& text) {
    std::vector<CIniLine> lines;
    qsizetype pos = 0;
    int number = 1;
    while (pos < text.size()) {
        CIniLine line;
        line.m_nBegin = pos;
        line.m_nNumber = number;
        for (;;) {
            // "\r\n", "\n" or "\r" alone ends a line, as for the settings store.
            qsizetype nl = pos;
            while (nl < text.size() && text[nl] != '\n' && text[nl] != '\r')
                ++nl;
            qsizetype end = nl;
            if (end < text.size())
                end += text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1;
            const QByteArray piece = text.mid(pos, nl - pos);
            line.m_text += piece;
            pos = end;
            ++number;
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

std::optional<QByteArray> SectionOf(const QByteArray& text) {
    const QByteArray t = text.trimmed();
    const qsizetype close = t.indexOf(']');
    if (!t.startsWith('[') || close < 0)
        return std::nullopt;
    return t.mid(1, close - 1);
}

std::optional<QByteArray> KeyOf(const QByteArray& text) {
    const QByteArray t = text.trimmed();
    const qsizetype eq = t.indexOf('=');
    if (t.isEmpty() || t.startsWith(';') || eq < 0)
        return std::nullopt;
    return t.left(eq).trimmed();
}

QByteArray LineEnding(const QByteArray& text) {
    const qsizetype cr = text.indexOf('\r');
    const qsizetype lf = text.indexOf('\n');
    if (cr < 0 || (lf >= 0 && lf < cr))
        return "\n";
    return cr + 1 == lf ? "\r\n" : "\r";
}

bool EndsLine(const QByteArray& text) {
    return text.endsWith('\n') || text.endsWith('\r');
}

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

bool EditTextFile(const QString& path, const CTextFileNames& names, const CTextEdit& edit,
                  std::string* error) {
    const std::string shown = path.toStdString();
    const std::string file = names.m_pFile + (" " + shown);
    if (std::string reason; !MakeFolders(QFileInfo(path).absolutePath().toStdString(), &reason))
        return Fail(error, file + " nicht geschrieben: " + reason);
    // A file made read-only stays as it is, also for root, who could write it.
    if (IsReadOnlyFile(shown))
        return Fail(error, file +
                               " ist schreibgeschützt; nichts geändert (erst die Schreibrechte "
                               "setzen, wenn sie geändert werden soll)");
    // The settings store takes the same lock while it writes a file.
    QLockFile lock(path + QStringLiteral(".lock"));
    if (!lock.tryLock(5000))
        return Fail(error, LockFailedText(lock, shown, names));
    QByteArray before;
    if (std::string why; ReadInputFile(shown, kMaxTextFileBytes, before, &why) == EInput::kRefused)
        return Fail(error, file + " " + why + "; nichts geändert");
    QByteArray after;
    if (std::string why; !edit(before, after, why))
        return Fail(error, why);
    if (after != before) {
        std::string reason;
        if (!WriteTargetFile(shown, std::vector<uint8_t>(after.begin(), after.end()), &reason))
            return Fail(error, file + " nicht geschrieben: " + reason);
    }
    return true;
}

void ReadEverySection(QSettings& store) {
    // Asked for the keys outside any group, the store reads all of the file. It hands out
    // only those keys, which are few (usually none), instead of a text for every key.
    const QString group = store.group();
    while (!store.group().isEmpty())
        store.endGroup();
    store.childKeys();
    if (!group.isEmpty())
        store.beginGroup(group);
}

std::optional<QString> StoredText(QSettings& store, QAnyStringView key) {
    const QVariant v = store.value(key);
    if (!v.isValid())
        return std::nullopt;
    // "0,0815" comes back as a list of its pieces; they are put together again. Once the
    // store has written such a list with a NUL character in a piece (as "@String(...)"), it
    // comes back as a list of variants.
    if (v.typeId() == QMetaType::QStringList)
        return v.toStringList().join(QLatin1Char(','));
    if (v.typeId() == QMetaType::QVariantList) {
        QStringList pieces;
        for (const QVariant& piece : v.toList())
            pieces.append(piece.toString());
        return pieces.join(QLatin1Char(','));
    }
    return v.toString();
}
