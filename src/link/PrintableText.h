#pragma once

#include <string>

// The text safe to put on a terminal: control characters (C0, DEL and C1) and bytes that
// are not valid UTF-8 are written as \xNN; everything else stays as it is.
std::string PrintableText(const std::string& text);

// What keeps a text from being shown as it is: a control character (C0, DEL or C1) or a
// byte that is not valid UTF-8, the first one found.
enum class ETextFault { None, Control, NotUtf8 };
// The first fault of the text; *shown (when given) receives its offending bytes as
// PrintableText writes them ("\x0A").
ETextFault FindTextFault(const std::string& text, std::string* shown = nullptr);

// Why the text cannot be a name, in German ("enthält ein Steuerzeichen (\x1B)", "enthält
// Bytes, die kein UTF-8 sind (\xFF)"); empty when it can.
std::string TextFaultText(const std::string& text);
