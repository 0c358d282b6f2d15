// Text into HTML.
#include "output/html_escape.h"

#include <cstdint>

namespace {

// One UTF-8 character's worth of checks: returns the length of the sequence at
// `i` and whether it may stand in a page.
size_t sequence(std::string_view s, size_t i, bool& allowed) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    allowed = true;
    if (c < 0x80) {
        allowed = c >= 0x20 ? c != 0x7F : (c == '\n' || c == '\t');
        return 1;
    }
    size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    if (length == 1 || c > 0xF4 || i + length > s.size()) {
        allowed = false;
        return 1;
    }
    uint32_t cp = c & (0x3F >> (length - 1));
    for (size_t k = 1; k < length; ++k) {
        unsigned char next = static_cast<unsigned char>(s[i + k]);
        if ((next & 0xC0) != 0x80) {
            allowed = false;
            return k;
        }
        cp = cp << 6 | (next & 0x3F);
    }
    // C1 controls, surrogates and noncharacters are parse errors in a page; an overlong
    // form (one a shorter sequence spells) is no UTF-8 at all.
    const uint32_t least = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    if (cp < least || (cp >= 0x80 && cp < 0xA0) || (cp >= 0xD800 && cp < 0xE000) || cp > 0x10FFFF ||
        (cp >= 0xFDD0 && cp <= 0xFDEF) || (cp & 0xFFFE) == 0xFFFE) {
        allowed = false;
    }
    return length;
}

// The bytes that cannot be copied as they are: markup, controls, and every byte of a
// multi-byte character (which is checked whole).
struct SpecialBytes {
    uint8_t special[256];  // 1 or 0, so that several can be or-ed at once
    constexpr SpecialBytes() : special() {
        for (int c = 0; c < 256; ++c) special[c] = c < 0x20 || c >= 0x7F || c == '&' || c == '<' || c == '>' || c == '"';
    }
};
constexpr SpecialBytes kSpecial;

// Escapes `text` through `put(data, length)`.
template <typename Put>
void escape(std::string_view text, bool attribute, Put put) {
    const uint8_t* special = kSpecial.special;
    auto at = [&](size_t k) { return special[static_cast<unsigned char>(text[k])]; };
    size_t i = 0;
    while (i < text.size()) {
        size_t run = i;
        // Eight bytes a round: text has long stretches with nothing to escape.
        while (run + 8 <= text.size() && !(at(run) | at(run + 1) | at(run + 2) | at(run + 3) | at(run + 4) |
                                           at(run + 5) | at(run + 6) | at(run + 7))) {
            run += 8;
        }
        while (run < text.size() && !at(run)) ++run;
        if (run > i) put(text.data() + i, run - i);
        i = run;
        if (i >= text.size()) break;
        switch (text[i]) {
            case '&': put("&amp;", 5); ++i; continue;
            case '<': put("&lt;", 4); ++i; continue;
            case '>': put("&gt;", 4); ++i; continue;
            case '"':
                if (attribute) put("&quot;", 6);
                else put("\"", 1);
                ++i;
                continue;
            default: break;
        }
        bool allowed;
        size_t length = sequence(text, i, allowed);
        if (allowed) put(text.data() + i, length);
        else if (static_cast<unsigned char>(text[i]) >= 0x80) put("\xEF\xBF\xBD", 3);
        i += length;
    }
}

}  // namespace

void append_escaped(std::string& out, std::string_view text, bool attribute) {
    escape(text, attribute, [&](const char* data, size_t length) { out.append(data, length); });
}

void put_escaped(Sink& out, std::string_view text, bool attribute) {
    escape(text, attribute, [&](const char* data, size_t length) { out.put(data, length); });
}

void append_plain(std::string& out, std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        // Printable ASCII, the most of it, in one piece.
        size_t run = i;
        while (run < text.size() && text[run] >= 0x20 && text[run] < 0x7F) ++run;
        if (run > i) {
            out.append(text, i, run - i);
            i = run;
            if (i >= text.size()) break;
        }
        bool allowed;
        size_t length = sequence(text, i, allowed);
        if (allowed) {
            if (text[i] == '\n' || text[i] == '\t') out += ' ';
            else out.append(text, i, length);
        } else if (static_cast<unsigned char>(text[i]) >= 0x80) {
            out += "\xEF\xBF\xBD";
        }
        i += length;
    }
}

