#include "app/NamePattern.h"

#include <cstdio>
#include <cstring>
#include <vector>

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

}  // namespace

std::string NamePatternProblem(const std::string& pattern) {
    if (pattern.empty())
        return "Das Namensmuster ist leer.";
    // A longer one names no file, and its time fields could give more text than an
    // expansion holds.
    if (pattern.size() > kMaxNamePattern)
        return "Das Namensmuster ist länger als " + std::to_string(kMaxNamePattern) + " Zeichen.";
    if (pattern.find('\0') != std::string::npos)
        return "Das Namensmuster enthält ein Nullzeichen.";
    if (pattern.back() == '/')
        return "Das Namensmuster endet mit \"/\" und nennt keine Datei.";
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
