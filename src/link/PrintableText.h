#pragma once

#include <string>

// The text safe to put on a terminal: control characters (C0, DEL and C1) and bytes that
// are not valid UTF-8 are written as \xNN; everything else stays as it is.
std::string PrintableText(const std::string& text);
