#include "fleet/SiteBook.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <set>

#include "capture/InputFile.h"
#include "capture/Journal.h"
#include "capture/NamePattern.h"
#include "fleet/IniText.h"
#include "link/ModemDialler.h"
#include "link/NetAddress.h"
#include "link/PrintableText.h"
#include "platform/System.h"

namespace {

constexpr const char* kBookName = "pixlane-sites";
constexpr const char* kJournalName = "journal.jsonl";

bool IsHexField(const std::string& text, size_t maxDigits) {
    if (text.empty() || text.size() > maxDigits)
        return false;
    for (char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
    return true;
}

// A text value: no control characters, only UTF-8.
bool TextField(const std::string& value, std::string& field, std::string& why) {
    if (const std::string fault = TextFaultText(value); !fault.empty()) {
        why = "\"" + PrintableText(value) + "\" " + fault;
        return false;
    }
    field = value;
    return true;
}

bool NumberField(const std::string& value, int min, int max, int& field, std::string& why) {
    if (!ParseWholeNumber(value, min, max, field)) {
        why = "\"" + PrintableText(value) + "\" ist keine Zahl von " + std::to_string(min) +
              " bis " + std::to_string(max);
        return false;
    }
    return true;
}

// The picture check's limits and the capture window.
bool CheckField(const std::string& key, const std::string& v, CCheckChanges& c, std::string& why) {
    if (key == "between" || key == "daylight") {
        if (c.m_window) {
            why = "between und daylight schließen einander aus";
            return false;
        }
        CCaptureWindow window;
        std::string fault;
        if (!(key == "between" ? ParseBetween(v, window, fault)
                               : ParseDaylight(v, window, fault))) {
            why = "\"" + PrintableText(v) + "\" ist " + fault;
            return false;
        }
        c.m_window = window;
        return true;
    }
    int n = 0;
    const int max = key == "frozen_after" ? CPictureLimits::kMaxFrozenCount : 255;
    if (!NumberField(v, 0, max, n, why))
        return false;
    (key == "dark_below"      ? c.m_nDarkBelow
     : key == "uniform_below" ? c.m_nUniformBelow
                              : c.m_nFrozenAfter) = n;
    return true;
}

// Takes the value of one key into the site; false with the reason.
bool TakeValue(const std::string& key, const std::string& v, CSite& s, std::string& why) {
    if (key == "description")
        return TextField(v, s.m_sDescription, why);
    if (key == "device") {
        std::string device;
        if (!TextField(v, device, why))
            return false;
        if (v.empty()) {
            why = "kein Gerät";
            return false;
        }
        // A device server's port must be one that can be reached.
        why = NetAddressProblem(v);
        if (!why.empty())
            return false;
        s.m_sDevice = device;
        return true;
    }
    if (key == "com")
        return NumberField(v, 1, 9, s.m_iCom, why);
    if (key == "baud")
        return NumberField(v, 50, 4000000, s.m_iBaudrate, why);
    if (key == "number") {
        if (const std::string problem = DialNumberProblem(v); !problem.empty()) {
            why = "Nummer \"" + PrintableText(v) + "\": " + problem;
            return false;
        }
        s.m_sNumber = v;
        return true;
    }
    if (key == "link") {
        if (v != "modem" && v != "cable") {
            why = "\"" + PrintableText(v) + "\" ist weder modem noch cable";
            return false;
        }
        s.m_eLink = v == "modem" ? ESiteLink::kModem : ESiteLink::kCable;
        return true;
    }
    if (key == "channels") {
        if (!ParseChannelList(v, s.m_channels)) {
            why = "\"" + PrintableText(v) + "\" sind keine Kanäle 1..8 (durch Kommas getrennt)";
            return false;
        }
        return true;
    }
    if (key == "width") {
        if (v != "180" && v != "360") {
            why = "\"" + PrintableText(v) + "\" ist weder 180 noch 360";
            return false;
        }
        s.m_picture.m_nWidth = std::atoi(v.c_str());
        return true;
    }
    if (key == "height")
        return NumberField(v, 1, 4096, s.m_picture.m_nHeight, why);
    if (key == "mode")
        return NumberField(v, 1, 4, s.m_picture.m_iMode, why);
    if (key == "colour") {
        if (v != "true" && v != "false") {
            why = "\"" + PrintableText(v) + "\" ist weder true noch false";
            return false;
        }
        s.m_picture.m_bColour = v == "true";
        return true;
    }
    if (key == "expert") {
        s.m_picture.m_bExpert = ParseExpertFields(v, s.m_picture.m_sOffset, s.m_picture.m_sBgroesse,
                                                  s.m_picture.m_sBanzahl);
        if (!s.m_picture.m_bExpert)
            why = "\"" + PrintableText(v) +
                  "\" ist nicht OFFSET,BLOCKGRÖSSE,BLOCKANZAHL (hexadezimal, höchstens 5, 2 "
                  "und 4 Ziffern)";
        return s.m_picture.m_bExpert;
    }
    if (key == "folder")
        return TextField(v, s.m_sFolder, why) && (!v.empty() || (why = "kein Ordner", false));
    if (key == "pattern") {
        if (const std::string problem = NamePatternProblem(v); !problem.empty()) {
            why = "Namensmuster \"" + PrintableText(v) + "\": " + problem;
            return false;
        }
        s.m_sPattern = v;
        return true;
    }
    if (key == "journal")
        return TextField(v, s.m_sJournal, why) && (!v.empty() || (why = "keine Datei", false));
    if (key == "dark_below" || key == "uniform_below" || key == "frozen_after" ||
        key == "between" || key == "daylight")
        return CheckField(key, v, s.m_check, why);
    why = "unbekannter Schlüssel \"" + PrintableText(key) + "\"";
    return false;
}

std::string OptionalNumber(const std::optional<int>& n) {
    return n ? std::to_string(*n) : std::string();
}

// The keys in the order the book writes them, with the site's value of each (empty: not
// written).
std::vector<std::pair<const char*, std::string>> SiteValues(const CSite& s) {
    const auto number = [](int n) { return n != 0 ? std::to_string(n) : std::string(); };
    return {
        {"description", s.m_sDescription},
        {"device", s.m_sDevice},
        {"com", number(s.m_iCom)},
        {"baud", number(s.m_iBaudrate)},
        {"number", s.m_sNumber},
        {"link", s.m_eLink == ESiteLink::kModem   ? "modem"
                 : s.m_eLink == ESiteLink::kCable ? "cable"
                                                  : ""},
        {"channels", ChannelListText(s.m_channels)},
        {"width", number(s.m_picture.m_nWidth)},
        {"height", number(s.m_picture.m_nHeight)},
        {"mode", number(s.m_picture.m_iMode)},
        {"colour", !s.m_picture.m_bColour   ? ""
                   : *s.m_picture.m_bColour ? "true"
                                            : "false"},
        {"expert", s.m_picture.m_bExpert ? s.m_picture.m_sOffset + "," + s.m_picture.m_sBgroesse +
                                               "," + s.m_picture.m_sBanzahl
                                         : ""},
        {"folder", s.m_sFolder},
        {"pattern", s.m_sPattern},
        {"journal", s.m_sJournal},
        {"dark_below", OptionalNumber(s.m_check.m_nDarkBelow)},
        {"uniform_below", OptionalNumber(s.m_check.m_nUniformBelow)},
        {"frozen_after", OptionalNumber(s.m_check.m_nFrozenAfter)},
        {"between", s.m_check.m_window && !s.m_check.m_window->Always() &&
                            s.m_check.m_window->m_eKind == CCaptureWindow::EKind::kBetween
                        ? CaptureWindowText(*s.m_check.m_window)
                        : ""},
        {"daylight",
         s.m_check.m_window && s.m_check.m_window->m_eKind == CCaptureWindow::EKind::kDaylight
             ? CaptureWindowText(*s.m_check.m_window)
             : ""},
    };
}

// What is wrong with the site as a whole; empty when nothing is.
std::string SiteProblem(const CSite& s) {
    if (!s.m_sDevice.empty() && s.m_iCom != 0)
        return "device und com schließen einander aus";
    if (s.m_eLink == ESiteLink::kModem && s.m_sNumber.empty())
        return "link=modem braucht eine Nummer (number)";
    if (s.m_picture.m_iMode != 0 && s.m_picture.m_bColour &&
        *s.m_picture.m_bColour != (s.m_picture.m_iMode == 4))
        return *s.m_picture.m_bColour ? "colour=true geht nur mit mode 4"
                                      : "colour=false geht nur mit mode 1, 2 oder 3";
    return {};
}

// One entry of a book's text: its header line and the lines up to its last value.
struct CEntry {
    std::string m_sName;
    size_t m_nHeader = 0;  // index of the header line
    size_t m_nLast = 0;    // index of its last line that is neither blank nor a comment
};

bool IsBlankOrComment(const QByteArray& text) {
    const QByteArray t = text.trimmed();
    return t.isEmpty() || t.startsWith(';') || t.startsWith('#');
}

qsizetype ByteOrderMark(const QByteArray& text) {
    return text.startsWith("\xEF\xBB\xBF") ? 3 : 0;
}

// The entries of the text (lines split from its bytes after the byte-order mark); lines
// before the first header go to *outside (when given).
std::vector<CEntry> Entries(const std::vector<CIniLine>& lines,
                            std::vector<size_t>* outside = nullptr) {
    std::vector<CEntry> entries;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (const std::optional<QByteArray> section = SectionOf(lines[i].m_text)) {
            entries.push_back({section->toStdString(), i, i});
        } else if (!IsBlankOrComment(lines[i].m_text)) {
            if (!entries.empty())
                entries.back().m_nLast = i;
            else if (outside != nullptr)
                outside->push_back(i);
        }
    }
    return entries;
}

std::string Where(const std::string& file, const CIniLine& line) {
    return file + ":" + std::to_string(line.m_nNumber) + ": ";
}

bool IsBookKey(const std::string& key) {
    for (const auto& [name, value] : SiteValues(CSite()))
        if (key == name)
            return true;
    return false;
}

// Why the settings store would read the value other than the line shows it: a quote left
// open runs on into the lines after it, a ";" outside quotes ends the value there (the
// rest is a comment: "number=12;ATH" would dial 12), a backslash at the very end takes up
// what follows. Empty when none.
std::string RawValueProblem(const std::string& key, const QByteArray& value) {
    bool quoted = false;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '\\') {
            if (++i == value.size())
                return "die Zeile endet mit \"\\\"";
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ';' && !quoted) {
            const std::string shown = PrintableText(value.trimmed().toStdString());
            if (key == "number")
                return "Nummer \"" + shown + "\": Zeichen \";\" ist nicht erlaubt.";
            return "\"" + shown +
                   "\": der Rest nach \";\" wäre ein Kommentar (ein Kommentar gehört auf eine "
                   "eigene Zeile, ein \";\" im Wert in Anführungszeichen)";
        }
    }
    return quoted ? "Anführungszeichen nicht geschlossen" : std::string();
}

// The bytes of a value line as the file has them, without its final line ending and the
// blanks before it; empty, with the reason in why, when the line cannot be taken.
QByteArray ValueLine(const QByteArray& bare, const CIniLine& line, std::string& key,
                     std::string& why) {
    if (line.m_nEnd - line.m_nBegin > kMaxLineBytes) {
        why = "Zeile länger als 64 KiB";
        return {};
    }
    const std::optional<QByteArray> k = KeyOf(line.m_text);
    if (!k) {
        why = "Zeile ohne \"=\"";
        return {};
    }
    key = k->toStdString();
    if (!IsBookKey(key)) {
        why = "unbekannter Schlüssel \"" + PrintableText(key) + "\"";
        return {};
    }
    QByteArray raw = bare.mid(line.m_nBegin, line.m_nEnd - line.m_nBegin);
    raw.chop(raw.endsWith("\r\n") ? 2 : EndsLine(raw) ? 1 : 0);
    qsizetype blanks = 0;
    while (blanks < raw.size() && (raw[blanks] == ' ' || raw[blanks] == '\t'))
        ++blanks;
    raw.remove(0, blanks);
    why = RawValueProblem(key, raw.mid(raw.indexOf('=') + 1));
    return why.empty() ? raw : QByteArray();
}

}  // namespace

bool CSite::SameValues(const CSite& other) const {
    return m_sName == other.m_sName && SiteValues(*this) == SiteValues(other);
}

std::string CSite::CaptureFolder() const {
    return m_sFolder.empty() ? m_sName : m_sFolder;
}

std::string CSite::CaptureJournal(const std::string& folder) const {
    const QString journal = QString::fromStdString(m_sJournal.empty() ? kJournalName : m_sJournal);
    if (QDir::isAbsolutePath(journal))
        return journal.toStdString();
    return QDir(QString::fromStdString(folder.empty() ? CaptureFolder() : folder))
        .filePath(journal)
        .toStdString();
}

const CSite* CSiteBook::Find(const std::string& name) const {
    for (const CSite& site : m_sites)
        if (site.m_sName == name)
            return &site;
    return nullptr;
}

std::string UserSiteBookPath() {
    return UserIniFile(kSettingsOrganisation, kBookName);
}

std::string SystemSiteBookPath() {
    return SystemSiteBookPaths().front();
}

std::vector<std::string> SystemSiteBookPaths() {
    return SystemIniFiles(kSettingsOrganisation, kBookName);
}

std::vector<std::string> SiteBookPaths() {
    std::vector<std::string> paths = SystemSiteBookPaths();
    paths.insert(paths.begin(), UserSiteBookPath());
    return paths;
}

std::string SiteBookPathsText() {
    std::string text;
    for (const std::string& path : SiteBookPaths())
        text += (text.empty() ? "" : ", ") + path;
    return text;
}

std::string SiteNameProblem(const std::string& name) {
    if (name.empty())
        return "der Name ist leer";
    if (name.size() > 64)
        return "der Name ist länger als 64 Zeichen";
    if (name == "all" || name == "General")
        return "\"" + name + "\" ist kein Standortname";
    for (char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_' && c != '.')
            return "\"" + PrintableText(name) +
                   "\": ein Standortname besteht aus Buchstaben, Ziffern, \"-\", \"_\" und \".\"";
    if (name[0] == '-' || name[0] == '.')
        return "\"" + name + "\" beginnt mit \"" + name[0] + "\"";
    return {};
}

CSiteBook ParseSiteBook(const QByteArray& text, const std::string& file) {
    CSiteBook book;
    const QByteArray bare = text.mid(ByteOrderMark(text));
    const std::vector<CIniLine> lines = SplitIniLines(bare);
    std::vector<size_t> outside;
    const std::vector<CEntry> entries = Entries(lines, &outside);
    for (size_t i : outside)
        book.m_problems.push_back(Where(file, lines[i]) +
                                  "Zeile gehört zu keinem Standort; übersprungen");
    if (entries.empty())
        return book;
    // First the book's own scan takes each entry's lines apart; then the store reads the
    // values of the entries that passed, each line under a section of its own in a scratch
    // file, so that no line can reach into another's value (two entries of one name
    // included), and every value is unquoted and unescaped as the store does it.
    struct CValue {
        std::string m_sKey;
        size_t m_nLine;  // its index in lines, and its section "lN" in the scratch file
    };
    struct CChecked {
        std::string m_sWhy;
        size_t m_nBad = 0;  // the line the reason is about
        std::vector<CValue> m_values;
    };
    std::vector<CChecked> checked(entries.size());
    QByteArray values;
    std::map<std::string, int> seen;  // name, line of its first entry
    for (size_t e = 0; e < entries.size(); ++e) {
        const CEntry& entry = entries[e];
        CChecked& c = checked[e];
        c.m_nBad = entry.m_nHeader;
        c.m_sWhy = SiteNameProblem(entry.m_sName);
        if (c.m_sWhy.empty()) {
            const int at = lines[entry.m_nHeader].m_nNumber;
            if (const auto [it, fresh] = seen.emplace(entry.m_sName, at); !fresh)
                c.m_sWhy = "steht schon in Zeile " + std::to_string(it->second);
        }
        std::set<std::string> keys;
        QByteArray own;
        for (size_t i = entry.m_nHeader + 1; c.m_sWhy.empty() && i <= entry.m_nLast; ++i) {
            if (IsBlankOrComment(lines[i].m_text))
                continue;
            c.m_nBad = i;
            std::string key;
            const QByteArray line = ValueLine(bare, lines[i], key, c.m_sWhy);
            if (!c.m_sWhy.empty())
                break;
            if (!keys.insert(key).second) {
                c.m_sWhy = "Schlüssel \"" + PrintableText(key) + "\" steht zweimal";
                break;
            }
            c.m_values.push_back({key, i});
            own += "[l" + QByteArray::number(static_cast<qulonglong>(i)) + "]\n" + line + "\n";
        }
        if (c.m_sWhy.empty())
            values += own;
    }
    QTemporaryDir scratch;
    const QString path = scratch.filePath(QStringLiteral("book.ini"));
    if (QFile f(path);
        !scratch.isValid() || !f.open(QIODevice::WriteOnly) || f.write(values) != values.size()) {
        book.m_problems.push_back(file +
                                  ": kein Platz für eine temporäre Datei; Standorte nicht "
                                  "gelesen");
        return book;
    }
    QSettings store(path, QSettings::IniFormat);
    for (size_t e = 0; e < entries.size(); ++e) {
        const CEntry& entry = entries[e];
        CChecked& c = checked[e];
        CSite site;
        site.m_sName = entry.m_sName;
        site.m_sFile = file;
        site.m_nLine = lines[entry.m_nHeader].m_nNumber;
        for (size_t v = 0; c.m_sWhy.empty() && v < c.m_values.size(); ++v) {
            const CValue& value = c.m_values[v];
            c.m_nBad = value.m_nLine;
            store.beginGroup(QStringLiteral("l%1").arg(value.m_nLine));
            const std::optional<QString> stored =
                StoredText(store, QString::fromStdString(value.m_sKey));
            store.endGroup();
            TakeValue(value.m_sKey, stored ? stored->toStdString() : std::string(), site, c.m_sWhy);
        }
        if (c.m_sWhy.empty()) {
            c.m_nBad = entry.m_nHeader;
            c.m_sWhy = SiteProblem(site);
        }
        if (!c.m_sWhy.empty()) {
            book.m_skipped.push_back({entry.m_sName, file, book.m_problems.size()});
            book.m_problems.push_back(Where(file, lines[c.m_nBad]) + "Standort " +
                                      PrintableText(entry.m_sName) + ": " + c.m_sWhy +
                                      "; übersprungen");
            continue;
        }
        book.m_sites.push_back(std::move(site));
    }
    return book;
}

CSiteBook ReadSiteBooks(const std::vector<std::string>& files) {
    CSiteBook book;
    for (const std::string& file : files) {
        QByteArray text;
        std::string why;
        const EInput read = ReadInputFile(file, kMaxTextFileBytes, text, &why);
        if (read == EInput::kMissing)
            continue;
        if (read == EInput::kRefused) {
            book.m_problems.push_back("Standortbuch " + file + " " + why + "; übersprungen");
            continue;
        }
        CSiteBook one = ParseSiteBook(text, file);
        for (CSkippedEntry& skipped : one.m_skipped) {
            skipped.m_nProblem += book.m_problems.size();
            book.m_skipped.push_back(std::move(skipped));
        }
        book.m_problems.insert(book.m_problems.end(), one.m_problems.begin(), one.m_problems.end());
        for (CSite& site : one.m_sites)
            if (book.Find(site.m_sName) == nullptr)
                book.m_sites.push_back(std::move(site));
    }
    // A skipped entry whose name another book has: that one counts.
    for (const CSkippedEntry& skipped : book.m_skipped)
        if (const CSite* site = book.Find(skipped.m_sName);
            site != nullptr && site->m_sFile != skipped.m_sFile)
            book.m_problems[skipped.m_nProblem] += "; stattdessen gilt der Eintrag in " +
                                                   site->m_sFile + ":" +
                                                   std::to_string(site->m_nLine);
    return book;
}

CSiteBook ReadSiteBook() {
    return ReadSiteBooks(SiteBookPaths());
}

QByteArray SiteBookWithout(const QByteArray& before, const std::string& name, bool& found) {
    const qsizetype bom = ByteOrderMark(before);
    const std::vector<CIniLine> lines = SplitIniLines(before.mid(bom));
    const std::vector<CEntry> entries = Entries(lines);
    QByteArray out = before;
    found = false;
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        if (it->m_sName != name)
            continue;
        found = true;
        size_t first = it->m_nHeader;
        if (first > 0 && lines[first - 1].m_text.trimmed().isEmpty())
            --first;
        const qsizetype begin = bom + lines[first].m_nBegin;
        out.remove(begin, bom + lines[it->m_nLast].m_nEnd - begin);
    }
    return out;
}

bool SiteBookWith(const QByteArray& before, const CSite& site, QByteArray& after,
                  std::string& why) {
    if (why = SiteEntryProblem(site); !why.empty())
        return false;
    QTemporaryDir scratch;
    if (!scratch.isValid()) {
        why = "kein Platz für eine temporäre Datei";
        return false;
    }
    const QByteArray eol = LineEnding(before);
    QByteArray entry = "[" + QByteArray::fromStdString(site.m_sName) + "]" + eol;
    for (const auto& [key, value] : SiteValues(site)) {
        if (value.empty())
            continue;
        QByteArray line;
        if (!EncodedLine(scratch, QStringLiteral("s/") + QLatin1String(key),
                         QString::fromStdString(value), line)) {
            why = std::string("der Wert von ") + key + " lässt sich nicht schreiben";
            return false;
        }
        entry += line + eol;
    }

    const qsizetype bom = ByteOrderMark(before);
    const std::vector<CIniLine> lines = SplitIniLines(before.mid(bom));
    const std::vector<CEntry> entries = Entries(lines);
    after = before;
    // The first entry of the name gets the new lines, with its last line's ending as it
    // was; further ones, which the book skips, go.
    bool replaced = false;
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        if (it->m_sName != site.m_sName)
            continue;
        const bool first =
            std::none_of(entries.begin(), entries.end() - (it - entries.rbegin()) - 1,
                         [&](const CEntry& e) { return e.m_sName == site.m_sName; });
        size_t from = it->m_nHeader;
        if (!first && from > 0 && lines[from - 1].m_text.trimmed().isEmpty())
            --from;
        const qsizetype begin = bom + lines[from].m_nBegin;
        const qsizetype end = bom + lines[it->m_nLast].m_nEnd;
        if (!first) {
            after.remove(begin, end - begin);
            continue;
        }
        const bool ended = after[end - 1] == '\n' || after[end - 1] == '\r';
        after.replace(begin, end - begin, ended ? entry : entry.chopped(eol.size()));
        replaced = true;
    }
    if (!replaced) {
        if (!after.isEmpty()) {
            if (!EndsLine(after))
                after += eol;
            after += eol;
        }
        after += entry;
    }
    const CSiteBook readBack = ParseSiteBook(after, "");
    const CSite* back = readBack.Find(site.m_sName);
    if (back == nullptr || !back->SameValues(site)) {
        why = "der Standort " + site.m_sName +
              " liest sich nicht so zurück, wie er geschrieben "
              "wurde";
        return false;
    }
    return true;
}

std::string SiteEntryProblem(const CSite& site) {
    if (std::string why = SiteNameProblem(site.m_sName); !why.empty())
        return why;
    // Each value as the book would read it.
    for (const auto& [key, value] : SiteValues(site)) {
        CSite scratch;
        if (std::string why; !value.empty() && !TakeValue(key, value, scratch, why))
            return why;
    }
    return SiteProblem(site);
}

bool StoreSite(const std::string& path, const CSite& site, std::string* error) {
    // Refused before the book's folder, its lock or the book are touched.
    if (const std::string why = SiteEntryProblem(site); !why.empty()) {
        if (error != nullptr)
            *error = why;
        return false;
    }
    const CTextFileNames names{"Standortbuch", "des Standortbuchs"};
    return EditTextFile(
        QString::fromStdString(path), names,
        [&](const QByteArray& before, QByteArray& after, std::string& why) {
            return SiteBookWith(before, site, after, why);
        },
        error);
}

bool RemoveSite(const std::string& path, const std::string& name, bool& found, std::string* error) {
    const CTextFileNames names{"Standortbuch", "des Standortbuchs"};
    found = false;
    return EditTextFile(
        QString::fromStdString(path), names,
        [&](const QByteArray& before, QByteArray& after, std::string&) {
            after = SiteBookWithout(before, name, found);
            return true;
        },
        error);
}

CLastCapture LastCapture(const CSite& site) {
    CLastCapture last;
    std::string error;
    int looked = 0;
    ReadJournal(
        site.CaptureJournal(),
        [&](const CJournalEntry* entry) {
            // A last line being written is no JSON object yet: the one before it counts.
            if (entry == nullptr)
                return ++looked < 2;
            last = {std::string(entry->m_time), std::string(entry->m_result)};
            return false;
        },
        &error);
    return last;
}

bool ParseWholeNumber(const std::string& text, int min, int max, int& value) {
    if (text.empty() || text.size() > 9)
        return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    const long v = std::strtol(text.c_str(), nullptr, 10);
    if (v < min || v > max)
        return false;
    value = static_cast<int>(v);
    return true;
}

bool ParseChannelList(const std::string& text, std::vector<int>& channels) {
    channels.clear();
    if (text == "all") {
        for (int c = 1; c <= 8; ++c)
            channels.push_back(c);
        return true;
    }
    for (size_t start = 0;;) {
        const size_t end = text.find(',', start);
        int channel = 0;
        if (!ParseWholeNumber(text.substr(start, end - start), 1, 8, channel))
            return false;
        channels.push_back(channel);
        if (end == std::string::npos)
            return true;
        start = end + 1;
    }
}

bool ParseExpertFields(const std::string& v, std::string& offset, std::string& size,
                       std::string& count) {
    const size_t a = v.find(',');
    const size_t b = a == std::string::npos ? a : v.find(',', a + 1);
    if (b == std::string::npos || v.find(',', b + 1) != std::string::npos ||
        !IsHexField(v.substr(0, a), 5) || !IsHexField(v.substr(a + 1, b - a - 1), 2) ||
        !IsHexField(v.substr(b + 1), 4))
        return false;
    offset = v.substr(0, a);
    size = v.substr(a + 1, b - a - 1);
    count = v.substr(b + 1);
    return true;
}

std::string ChannelListText(const std::vector<int>& channels) {
    std::string text;
    for (int c : channels)
        text += (text.empty() ? "" : ",") + std::to_string(c);
    return text;
}
