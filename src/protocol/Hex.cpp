#include "protocol/Hex.h"

#include <algorithm>

int HexToInt(const std::string& text) {
    std::string digits = text;
    const size_t x = digits.find('x');
    if (x != std::string::npos && x != 0)
        digits.erase(0, x + 1);
    // Unsigned arithmetic so that an over-long text wraps instead of overflowing.
    uint32_t value = 0;
    uint32_t place = 1;
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        const char c = *it;
        uint32_t digit = 0;
        if (c >= '0' && c <= '9')
            digit = static_cast<uint32_t>(c - '0');
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<uint32_t>(c - 'A' + 10);
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<uint32_t>(c - 'a' + 10);
        else
            return -1;
        value += digit * place;
        place *= 16;
    }
    return static_cast<int>(value);
}

std::string IntToHex(uint32_t value) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    do {
        text += kDigits[value % 16];
        value >>= 4;
    } while (value != 0);
    std::reverse(text.begin(), text.end());
    return text;
}
