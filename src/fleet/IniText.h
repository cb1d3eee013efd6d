#pragma once

#include <QAnyStringView>
#include <QByteArray>
#include <QMap>
#include <QString>
#include <QVariant>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QSettings;
class QTemporaryDir;

// The text of an INI file as the settings store reads it, for the files the program
// changes in place: a value is edited in its own lines, and every other byte of the file
// stays as the user wrote it. And the reading of values from the store itself.

// The organisation the program's settings and site books are kept under.
inline constexpr const char* kSettingsOrganisation = "Kelvorn";

// A stored value's text as the user wrote it, commas included (an INI store splits such a
// text into a list); nullopt when the value is missing.
std::optional<QString> StoredText(QSettings& store, QAnyStringView key);

// The store reads a file section by section as keys are asked for, and looks for a key
// only in the section whose name comes last before it: beside a "[Pixlane/AutoSave]" that
// a person wrote, the keys of "[Pixlane]" would go unseen. This reads every section, for a
// reading of values that does not depend on what was asked before.
void ReadEverySection(QSettings& store);

// One line of an INI text: "\r\n", "\n" or "\r" alone ends it, and a line ending in an odd
// number of backslashes goes on in the next one.
struct CIniLine {
    qsizetype m_nBegin = 0;
    qsizetype m_nEnd = 0;  // after the line's terminator, if it has one
    QByteArray m_text;     // without the terminator
    int m_nNumber = 0;     // the file's line (from 1) it begins on
};

std::vector<CIniLine> SplitIniLines(const QByteArray& text);

// The section a header line opens; nullopt for any other line.
std::optional<QByteArray> SectionOf(const QByteArray& text);

// The key of a "key=value" line; nullopt for comments and lines without a value.
std::optional<QByteArray> KeyOf(const QByteArray& text);

// The line ending the text's first line has ("\r\n", "\n" or "\r").
QByteArray LineEnding(const QByteArray& text);
// Whether the text ends with a line ending.
bool EndsLine(const QByteArray& text);

// The line the settings store itself writes for the value of "section/key", so that the
// file says exactly what the store reads back.
bool EncodedLine(const QTemporaryDir& scratch, const QString& key, const QString& value,
                 QByteArray& line);

// Every value the store reads from the text, put into a file of this name (the store
// keeps what it read of a file, so every text gets a name of its own).
QMap<QString, QVariant> ParsedValues(const QTemporaryDir& scratch, const char* name,
                                     const QByteArray& text);

// How the texts about a file that is changed in place name it.
struct CTextFileNames {
    const char* m_pFile;  // "Einstellungsdatei": the file, before its path
    const char* m_pOf;    // "der Einstellungen": whose lock file cannot be made
};

// Changes the file under the lock the settings store takes while it writes: edit gets the
// text before (empty for a missing file) and gives the text after, or false with the
// reason. The file is replaced only whole, and only when the text changed; missing
// folders are made. Only a regular file of at most kMaxTextFileBytes is read and changed. A file
// that nobody may write stays as it is. False, with the reason in German, when nothing was written.
using CTextEdit =
    std::function<bool(const QByteArray& before, QByteArray& after, std::string& why)>;
bool EditTextFile(const QString& path, const CTextFileNames& names, const CTextEdit& edit,
                  std::string* error);
