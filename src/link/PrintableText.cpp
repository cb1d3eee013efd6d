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

}  // namespace

std::string PrintableText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        const size_t n = c >= 0x80 ? SequenceLength(text, i) : 0;
        if (n == 0) {
            AppendEscaped(out, c);
            ++i;
            continue;
        }
        out.append(text, i, n);
        i += n;
    }
    return out;
}
