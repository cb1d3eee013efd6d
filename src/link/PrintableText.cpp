#include "link/PrintableText.h"

#include <cstdio>

namespace {

void AppendEscaped(std::string& out, unsigned char byte) {
    char buf[5];
    std::snprintf(buf, sizeof buf, "\\x%02X", static_cast<unsigned>(byte));
    out += buf;
}

// Length of the well-formed UTF-8 sequence at text[i]; 0 when there is none.
size_t SequenceLength(const std::string& text, size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t n = 0;
    unsigned lowest = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        n = 2;
        lowest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        n = 3;
        lowest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        n = 4;
        lowest = 0x10000;
    } else {
        return 0;
    }
    if (i + n > text.size())
        return 0;
    unsigned code = lead & (0x7Fu >> n);
    for (size_t k = 1; k < n; ++k) {
        const auto c = static_cast<unsigned char>(text[i + k]);
        if ((c & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (c & 0x3Fu);
    }
    if (code < lowest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    // C1 controls (U+0080..U+009F) steer terminals just as their single bytes do.
    if (code <= 0x9F)
        return 0;
    return n;
}

// Length of what stands at text[i] as it is (a printable character or a well-formed
// UTF-8 sequence that is no control); 0 for a byte that must be escaped.
size_t ShownLength(const std::string& text, size_t i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x7F)
        return 1;
    return c >= 0x80 ? SequenceLength(text, i) : 0;
}

}  // namespace

std::string PrintableText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const size_t n = ShownLength(text, i);
        if (n == 0) {
            AppendEscaped(out, static_cast<unsigned char>(text[i]));
            ++i;
            continue;
        }
        out.append(text, i, n);
        i += n;
    }
    return out;
}

ETextFault FindTextFault(const std::string& text, std::string* shown) {
    for (size_t i = 0; i < text.size();) {
        const size_t n = ShownLength(text, i);
        if (n > 0) {
            i += n;
            continue;
        }
        const auto c = static_cast<unsigned char>(text[i]);
        // A C1 control comes as two bytes; both are shown.
        const bool c1 = c == 0xC2 && i + 1 < text.size() &&
                        static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                        static_cast<unsigned char>(text[i + 1]) <= 0x9F;
        if (shown != nullptr)
            *shown = PrintableText(text.substr(i, c1 ? 2 : 1));
        return c < 0x20 || c == 0x7F || c1 ? ETextFault::Control : ETextFault::NotUtf8;
    }
    return ETextFault::None;
}

std::string TextFaultText(const std::string& text) {
    std::string shown;
    switch (FindTextFault(text, &shown)) {
        case ETextFault::Control:
            return "enthält ein Steuerzeichen (" + shown + ")";
        case ETextFault::NotUtf8:
            return "enthält Bytes, die kein UTF-8 sind (" + shown + ")";
        case ETextFault::None:
            break;
    }
    return {};
}
