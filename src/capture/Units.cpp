#include "capture/Units.h"

#include <cctype>
#include <cstdlib>

namespace {
// The digits a value begins with (at most max of them) and the unit after them.
bool SplitUnit(const std::string& text, size_t max, unsigned long long& number, std::string& unit) {
    size_t digits = 0;
    while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits])))
        ++digits;
    if (digits == 0 || digits > max)
        return false;
    number = std::strtoull(text.substr(0, digits).c_str(), nullptr, 10);
    unit = text.substr(digits);
    return true;
}

}  // namespace

bool ParseDuration(const std::string& text, int64_t max, int64_t& seconds) {
    unsigned long long number = 0;
    std::string unit;
    if (!SplitUnit(text, 9, number, unit))
        return false;
    const unsigned long long factor = unit.empty() || unit == "m" ? 60
                                      : unit == "s"               ? 1
                                      : unit == "h"               ? 3600
                                      : unit == "d"               ? 24 * 3600
                                                                  : 0;
    if (factor == 0 || max < 0 || number * factor > static_cast<unsigned long long>(max))
        return false;
    seconds = static_cast<int64_t>(number * factor);
    return true;
}

bool ParseFreeSize(const std::string& text, uint64_t& bytes) {
    unsigned long long number = 0;
    std::string unit;
    if (!SplitUnit(text, 6, number, unit) || number == 0)
        return false;
    const int shift = unit.empty()  ? 0
                      : unit == "K" ? 10
                      : unit == "M" ? 20
                      : unit == "G" ? 30
                      : unit == "T" ? 40
                                    : -1;
    if (shift < 0)
        return false;
    bytes = number << shift;
    return true;
}

std::string BytesPerSecondText(int64_t rate) {
    // Thousands are separated by a full stop, as German texts write them.
    std::string digits = std::to_string(rate);
    for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3)
        digits.insert(static_cast<size_t>(i), 1, '.');
    return digits + " B/s";
}
