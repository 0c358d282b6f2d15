// Text with roff escapes, into the document tree: fonts, special characters, the spaces and
// joins of roff, and the escapes a browser does its own way (sizes, motions, colours).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "modern/doc/builder.h"
#include "modern/roff/roff.h"

// The font in force and the one before it, which \fP and .ft P return to.
struct FontState {
    uint8_t current = 0;
    uint8_t previous = 0;
    void set(uint8_t font) {
        previous = current;
        current = font;
    }
};

// The font a roff font name stands for ("B", "I", "CW", "3", "P" ...); -1 for "P" and
// the empty name, which mean the previous font.
int font_named(std::string_view name);

// Puts `text` into `doc` in the fonts its escapes name, starting from `fonts`, which
// it leaves as the text leaves them. Returns true when the text ends in \c, so that the
// next line goes on without a blank.
bool write_inline(const Roff& roff, DocumentBuilder& doc, FontState& fonts, std::string_view text);

// The text alone, every escape resolved, fonts dropped: for titles and names.
std::string plain_text(const Roff& roff, std::string_view text);
