// Special characters by name: rows of the table, the Unicode and Latin-1 forms, refusals.
#include "modern/roff/glyphs.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Case {
    const char* name;
    const char* text;  // nullptr: refused
};

TEST(Glyphs, NamesAppendTheirWholeTextAndRefusalsAppendNothing) {
    const Case cases[] = {
        // Rows: short and long names, a composed letter, a ligature, a spacing accent, a rule.
        {"em", "\u2014"}, {"*W", "\u03A9"}, {"bracketrightbt", "\u23A6"}, {"'e", "\u00E9"},
        {"Fi", "ffi"}, {"a\"", "\u02DD"}, {"!=", "\u2260"}, {"br", "|"}, {"ru", "_"},
        // No rows: a row's prefix, a row and more, the minus escape, nothing.
        {"bracket", nullptr}, {"emx", nullptr}, {"-", nullptr}, {"", nullptr},
        // Unicode: 4 to 6 digits, lower case, a base and its combining characters.
        {"u00E9", "\u00E9"}, {"u1F600", "\U0001F600"}, {"u10FFFF", "\U0010FFFF"},
        {"u00e9", "\u00E9"}, {"u0065_0301", "e\u0301"}, {"u0066_0066_0069", "ffi"},
        // Refused: a surrogate, past Unicode, too few or many digits, no hex, controls, a bad
        // part after a good one.
        {"uD800", nullptr}, {"u110000", nullptr}, {"uE9", nullptr}, {"u0000E90", nullptr},
        {"u00G9", nullptr}, {"u0000", nullptr}, {"u0085", nullptr}, {"u00E9_", nullptr},
        {"u00E9_DC00", nullptr},
        // Latin-1 codes in decimal.
        {"char233", "\u00E9"}, {"char65", "A"}, {"char065", nullptr}, {"char256", nullptr},
        {"char127", nullptr},
    };
    for (const Case& c : cases) {
        std::string out = "x";
        EXPECT_EQ(append_glyph(out, c.name), c.text != nullptr) << c.name;
        EXPECT_EQ(out, std::string("x") + (c.text ? c.text : "")) << c.name;
    }
}

}  // namespace
