#pragma once

#include <cstdint>
#include <string>

// Value of a hexadecimal text; -1 when a character is not a hex digit. A leading "0x"
// (anything up to the first "x", unless the "x" is the first character) is dropped; an
// empty text yields 0. The value wraps like a 32-bit integer on very long texts.
int HexToInt(const std::string& text);

// The value in upper-case hexadecimal digits without leading zeros ("0" for zero).
std::string IntToHex(uint32_t value);
