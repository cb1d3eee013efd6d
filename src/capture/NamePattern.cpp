#include "capture/NamePattern.h"

#include <QDir>
#include <QString>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

#include "link/PrintableText.h"

namespace {

// The conversions strftime defines, alone and after the E and O modifiers.
const char* const kConversions = "aAbBcCdDeFgGhHIjmMnprRStTuUVwWxXyYzZ%";
const char* const kAfterE = "cCxXyY";
const char* const kAfterO = "deHImMSuUVwWy";

struct CField {
    const char* m_pName;
    int CNameFields::*m_pValue;
    int m_nDigits;
};
const CField kFields[] = {
    {"channel", &CNameFields::m_iChannel, 1},
    {"width", &CNameFields::m_nWidth, 1},
    {"height", &CNameFields::m_nHeight, 1},
    {"seq", &CNameFields::m_nSeq, 4},
};

const CField* FindField(const std::string& name) {
    for (const CField& f : kFields)
        if (name == f.m_pName)
            return &f;
    return nullptr;
}

// strftime that also gives an empty text and grows its buffer as the text needs.
std::string FormatTime(const std::string& format, const std::tm& when) {
    // The leading blank keeps the result from being empty, which strftime cannot tell
    // from a buffer too small.
    const std::string padded = " " + format;
    for (size_t size = 2 * padded.size() + 64; size <= 1 << 20; size *= 2) {
        std::vector<char> buf(size);
        const size_t n = std::strftime(buf.data(), buf.size(), padded.c_str(), &when);
        if (n > 0)
            return std::string(buf.data() + 1, n - 1);
    }
    return {};
}

// Why the name, split at "/", cannot be used: its last part names no file ("." and ".."
// name folders), or, inside a folder, it starts at the root or climbs out with "..".
std::string PartsProblem(const std::string& name, bool insideFolder, const std::string& whole) {
    if (insideFolder && !name.empty() && name[0] == '/')
        return whole + " beginnt mit \"/\"; die Bilder bleiben in ihrem Ordner.";
    for (size_t from = 0;;) {
        const size_t slash = name.find('/', from);
        const std::string part = name.substr(from, slash - from);
        const bool last = slash == std::string::npos;
        if (insideFolder && part == "..")
            return whole + " enthält \"..\"; die Bilder bleiben in ihrem Ordner.";
        if (last && (part == "." || part == ".."))
            return whole + " endet mit \"" + part + "\" und nennt keine Datei.";
        if (last)
            return {};
        from = slash + 1;
    }
}

}  // namespace

std::string NamePatternProblem(const std::string& pattern, bool insideFolder) {
    if (pattern.empty())
        return "Das Namensmuster ist leer.";
    // A longer one names no file, and its time fields could give more text than an
    // expansion holds.
    if (pattern.size() > kMaxNamePattern)
        return "Das Namensmuster ist länger als " + std::to_string(kMaxNamePattern) + " Zeichen.";
    if (pattern.find('\0') != std::string::npos)
        return "Das Namensmuster enthält ein Nullzeichen.";
    if (const std::string fault = TextFaultText(pattern); !fault.empty())
        return "Das Namensmuster " + fault + ".";
    if (pattern.back() == '/')
        return "Das Namensmuster endet mit \"/\" und nennt keine Datei.";
    if (std::string problem = PartsProblem(pattern, insideFolder, "Das Namensmuster");
        !problem.empty())
        return problem;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c == '%') {
            if (i + 1 == pattern.size())
                return "Das Namensmuster endet mit einem einzelnen \"%\" (\"%%\" ist ein "
                       "Prozentzeichen).";
            const char next = pattern[++i];
            const char* allowed = kConversions;
            std::string field = std::string("%") + next;
            if (next == 'E' || next == 'O') {
                allowed = next == 'E' ? kAfterE : kAfterO;
                if (i + 1 == pattern.size())
                    return "Zeitfeld " + field + " ist unvollständig.";
                field += pattern[++i];
            }
            if (std::strchr(allowed, field.back()) == nullptr || field.back() == '\0')
                return "Zeitfeld " + field + " gibt es nicht.";
            // A line break or a tab would split the list of names, one a line.
            if (field == "%n" || field == "%t")
                return "Zeitfeld " + field + " gibt ein Steuerzeichen, das in keinen Namen gehört.";
        } else if (c == '{') {
            const size_t end = pattern.find('}', i);
            if (end == std::string::npos)
                return "Feld \"{\" ohne schließende \"}\".";
            const std::string name = pattern.substr(i + 1, end - i - 1);
            if (FindField(name) == nullptr)
                return "Feld {" + name + "} gibt es nicht ({channel}, {width}, {height}, {seq}).";
            i = end;
        }
    }
    return {};
}

std::string ExpandNamePattern(const std::string& pattern, const std::tm& when,
                              const CNameFields& fields) {
    // The fields first: what they give holds no "%" for strftime to read.
    std::string withFields;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const size_t end = pattern[i] == '{' ? pattern.find('}', i) : std::string::npos;
        const CField* field =
            end == std::string::npos ? nullptr : FindField(pattern.substr(i + 1, end - i - 1));
        if (field == nullptr) {
            withFields += pattern[i];
            continue;
        }
        char number[32];
        std::snprintf(number, sizeof number, "%0*d", field->m_nDigits, fields.*field->m_pValue);
        withFields += number;
        i = end;
    }
    // Folder by folder: a time field can give no text (%p where the language has no
    // morning and afternoon, %z and %Z where the zone is unknown). A part of the name that
    // came out empty would make the name a folder, or turn "%p/bild.bmp" into "/bild.bmp"
    // beside the root; it becomes "_" instead.
    std::string name;
    size_t from = 0;
    for (;;) {
        const size_t slash = withFields.find('/', from);
        const std::string part = withFields.substr(from, slash - from);
        const std::string expanded = FormatTime(part, when);
        name += part.empty() || !expanded.empty() ? expanded : std::string("_");
        if (slash == std::string::npos)
            return name;
        name += '/';
        from = slash + 1;
    }
}

namespace {

// The text a time field can give, as a regular expression.
std::string TimeFieldRegex(const std::string& field) {
    static const std::string kAnyInFolder = "[^/]*";
    if (field.size() == 3)  // E and O: the locale's era or its own digits
        return field == "%Ec" || field == "%Ex" ? "[^/]*(?:/[^/]*){0,2}" : kAnyInFolder;
    const char c = field[1];
    if (std::strchr("CdgGHIjmMSuUVwWyY", c) != nullptr)
        return "[0-9]+";
    switch (c) {
        case 'e':
            return "[ 0-9]+";
        case 'F':
        case 'z':
            return "[-+0-9]+";
        case 'R':
        case 'T':
            return "[0-9:]+";
        case 'D':
            return "[0-9]+/[0-9]+/[0-9]+";
        case 'c':
        case 'x':
            // The locale's date may hold slashes, which make folders.
            return "[^/]*(?:/[^/]*){0,2}";
        case '%':
            return "%";
        default:
            return kAnyInFolder;
    }
}

}  // namespace

std::string NamePatternRegex(const std::string& pattern) {
    std::string regex;
    // Where the number of a taken name goes: before the last dot of the last part that
    // only fixed text follows, unless it starts the part (see NumberedName).
    size_t numberAt = std::string::npos;
    bool partStart = true;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        const bool wasStart = partStart;
        partStart = false;
        if (c == '%' && i + 1 < pattern.size()) {
            std::string field = pattern.substr(i, 2);
            if ((field[1] == 'E' || field[1] == 'O') && i + 2 < pattern.size())
                field += pattern[i + 2];
            i += field.size() - 1;
            regex += TimeFieldRegex(field);
            if (field != "%%")
                numberAt = std::string::npos;
            continue;
        }
        if (c == '{') {
            const size_t end = pattern.find('}', i);
            const std::string name =
                end == std::string::npos ? std::string() : pattern.substr(i + 1, end - i - 1);
            if (FindField(name) != nullptr) {
                regex += name == "seq" ? "[0-9]{4,}" : "[0-9]+";
                numberAt = std::string::npos;
                i = end;
                continue;
            }
        }
        if (c == '/') {
            partStart = true;
            numberAt = std::string::npos;
        } else if (c == '.' && !wasStart) {
            numberAt = regex.size();
        }
        // Escaped, every sign but a letter or digit stands for itself.
        if (!std::isalnum(static_cast<unsigned char>(c)) && static_cast<unsigned char>(c) < 0x80)
            regex += '\\';
        regex += c;
    }
    const std::string number = "(?:-[0-9]+)?";
    if (numberAt == std::string::npos)
        return regex + number;
    return regex.insert(numberAt, number);
}

std::string ExpandedNameProblem(const std::string& name, bool insideFolder) {
    if (const std::string fault = TextFaultText(name); !fault.empty())
        return "Der Name " + PrintableText(name) + " " + fault + ".";
    return PartsProblem(name, insideFolder, "Der Name " + name);
}

bool IsAutoSaveFolder(const std::string& folder) {
    return !folder.empty() && QDir::isAbsolutePath(QString::fromStdString(folder));
}
