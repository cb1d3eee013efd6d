#include <gtest/gtest.h>

#include <string>

#include "link/PrintableText.h"

TEST(PrintableTextTest, ControlsAndBrokenBytesAreEscapedAndTextStays) {
    EXPECT_EQ(PrintableText("03"), "03");
    EXPECT_EQ(PrintableText("Ungültig ä€"), "Ungültig ä€");
    // An escape sequence that would clear the terminal, a bell, CR, LF and DEL.
    EXPECT_EQ(PrintableText("\x1b[2J\a\r\n\x7f"), "\\x1B[2J\\x07\\x0D\\x0A\\x7F");
    EXPECT_EQ(PrintableText(std::string("a\0b", 3)), "a\\x00b");
    // C1 controls, as single bytes and in UTF-8; a lone or cut-off sequence byte.
    EXPECT_EQ(PrintableText("\x9b"
                            "1m"),
              "\\x9B1m");
    EXPECT_EQ(PrintableText("\xc2\x9b"), "\\xC2\\x9B");
    EXPECT_EQ(PrintableText("\xe4"), "\\xE4");
    EXPECT_EQ(PrintableText("\xe2\x82"), "\\xE2\\x82");
    // Overlong forms and surrogates are not text either.
    EXPECT_EQ(PrintableText("\xc0\xaf"), "\\xC0\\xAF");
    EXPECT_EQ(PrintableText("\xed\xa0\x80"), "\\xED\\xA0\\x80");
}
