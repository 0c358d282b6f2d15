// Text with roff escapes, into the document tree.
#include "modern/roff/inline.h"

#include <algorithm>
#include <cstring>

#include "model/utf8.h"
#include "modern/roff/glyphs.h"
#include "modern/roff/lexer.h"
#include "modern/roff/name_table.h"

namespace {

constexpr const char kNoBreakSpace[] = "\u00A0";

// What an escape works on while a text is written.
struct Writing {
    Writing(const Roff& r, DocumentBuilder* h, std::string* p, FontState& f, TextBuffer& buffer)
        : roff(r), doc(h), plain(p), fonts(f), run(buffer) {
        run.clear();
    }

    const Roff& roff;
    DocumentBuilder* doc;  // null: plain text into `plain`
    std::string* plain;
    FontState& fonts;
    TextBuffer& run;      // text not yet handed to the writer, in fonts.current
    bool continued = false;
    bool translate = true;  // off while a translation's own text is written

    void flush() {
        if (run.empty()) return;
        if (doc != nullptr) doc->text(fonts.current, run.view());
        else *plain += run.view();
        run.clear();
    }
    // Plain text from the source, handed on without a copy of its own; after what an
    // escape made, it joins that (one piece of text either way).
    void put(std::string_view text) {
        if (!run.empty()) run += text;
        else if (doc != nullptr) doc->text(fonts.current, text);
        else plain->append(text);
    }
    void set_font(int font) {
        uint8_t next = font < 0 ? fonts.previous : static_cast<uint8_t>(font);
        if (next != fonts.current) flush();
        fonts.set(next);
    }
};

// ---- Arguments of escapes ---------------------------------------------------------------

// ---- The escapes --------------------------------------------------------------------------

using Escape = size_t (*)(Writing&, std::string_view, size_t);

size_t escape_font(Writing& w, std::string_view s, size_t i) {
    w.set_font(font_named(escape_name(s, i)));
    return i;
}

void write_text(Writing& w, std::string_view s);

size_t put_glyph(Writing& w, std::string_view name) {
    if (const std::string* translated = w.translate ? w.roff.glyph_translation(name) : nullptr) {
        w.translate = false;
        write_text(w, *translated);
        w.translate = true;
        return 0;
    }
    // (A name roff does not know prints nothing.)
    std::string glyph;
    if (append_glyph(glyph, name)) w.run += glyph;
    return 0;
}

size_t escape_glyph_short(Writing& w, std::string_view s, size_t i) {
    std::string_view name = s.substr(i, 2);
    put_glyph(w, name);
    return std::min(s.size(), i + 2);
}

size_t escape_glyph_long(Writing& w, std::string_view s, size_t i) {
    size_t end = s.find(']', i);
    if (end == std::string_view::npos) end = s.size();
    std::string_view name = s.substr(i, end - i);
    // \[u0041_0301] and plain names; \[e aa] composes by blanks, taken whole.
    if (name.find(' ') != std::string_view::npos) name = name.substr(0, name.find(' '));
    put_glyph(w, name);
    return std::min(s.size(), end + 1);
}

size_t escape_glyph_delimited(Writing& w, std::string_view s, size_t i) {
    put_glyph(w, delimited(s, i));
    return i;
}

// \N'n': the character of that code; the writer leaves out what a page may not hold.
size_t escape_number(Writing& w, std::string_view s, size_t i) {
    uint32_t code = 0;
    for (char d : delimited(s, i)) {
        if (d >= '0' && d <= '9') code = std::min<uint32_t>(code * 10 + static_cast<uint32_t>(d - '0'), 0x10FFFF);
    }
    if (code >= 0x20) append_utf8(w.run, code);
    return i;
}

template <char C>
size_t escape_literal(Writing& w, std::string_view, size_t i) {
    w.run += C;
    return i;
}

size_t escape_acute(Writing& w, std::string_view, size_t i) {
    w.run += "\u00B4";
    return i;
}

size_t escape_no_break_space(Writing& w, std::string_view, size_t i) {
    w.run += kNoBreakSpace;
    return i;
}

size_t escape_nothing(Writing&, std::string_view, size_t i) { return i; }

size_t escape_continue(Writing& w, std::string_view s, size_t i) {
    // Only at the end of the line does \c join it with the next.
    if (i >= s.size()) w.continued = true;
    return i;
}

size_t escape_skip_name(Writing&, std::string_view s, size_t i) {
    escape_name(s, i);
    return i;
}

size_t escape_skip_delimited(Writing&, std::string_view s, size_t i) {
    delimited(s, i);
    return i;
}

// \h: a motion to the right becomes a blank, one to the left nothing.
size_t escape_motion(Writing& w, std::string_view s, size_t i) {
    std::string_view distance = delimited(s, i);
    bool forward = !distance.empty() && distance[0] != '-' && distance.find_first_not_of("0.") != std::string_view::npos;
    if (forward) w.run += ' ';
    return i;
}

// \o'abc', \b'abc', \Z'...': what they pile or keep in place, written in a row.
size_t escape_write_argument(Writing& w, std::string_view s, size_t i) {
    write_text(w, delimited(s, i));
    return i;
}

// \s: a size change, in any of its spellings.
size_t escape_size(Writing&, std::string_view s, size_t i) {
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    if (i >= s.size()) return i;
    if (s[i] == '(') return std::min(s.size(), i + 3);
    if (s[i] == '[' || s[i] == '\'') {
        char close = s[i] == '[' ? ']' : '\'';
        size_t end = s.find(close, i + 1);
        return end == std::string_view::npos ? s.size() : end + 1;
    }
    if (s[i] >= '1' && s[i] <= '3' && i + 1 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '9') return i + 2;
    return s[i] >= '0' && s[i] <= '9' ? i + 1 : i;
}

// \z: the next character, written with no width of its own.
size_t escape_zero_width(Writing&, std::string_view, size_t i) { return i; }

struct EscapeTable {
    Escape escapes[256];
    constexpr EscapeTable() : escapes() {
        for (auto& e : escapes) e = nullptr;
        escapes[static_cast<unsigned char>('f')] = escape_font;
        escapes[static_cast<unsigned char>('(')] = escape_glyph_short;
        escapes[static_cast<unsigned char>('[')] = escape_glyph_long;
        escapes[static_cast<unsigned char>('C')] = escape_glyph_delimited;
        escapes[static_cast<unsigned char>('N')] = escape_number;
        escapes[static_cast<unsigned char>('-')] = escape_literal<'-'>;
        escapes[static_cast<unsigned char>('e')] = escape_literal<'\\'>;
        escapes[static_cast<unsigned char>('E')] = escape_literal<'\\'>;
        escapes[static_cast<unsigned char>('\\')] = escape_literal<'\\'>;
        escapes[static_cast<unsigned char>('.')] = escape_literal<'.'>;
        escapes[static_cast<unsigned char>('`')] = escape_literal<'`'>;
        escapes[static_cast<unsigned char>('0')] = escape_literal<' '>;
        escapes[static_cast<unsigned char>('t')] = escape_literal<'\t'>;
        escapes[static_cast<unsigned char>('\'')] = escape_acute;
        escapes[static_cast<unsigned char>(' ')] = escape_no_break_space;
        escapes[static_cast<unsigned char>('~')] = escape_no_break_space;
        // (\! passes the rest of its line on: as text here.)
        for (char c : {'&', ')', '%', ':', ',', '/', '|', '^', '{', '}', 'a', 'd', 'u', 'r', 'p', '?', '!'}) {
            escapes[static_cast<unsigned char>(c)] = escape_nothing;
        }
        escapes[static_cast<unsigned char>('c')] = escape_continue;
        for (char c : {'*', 'n', '$', 'F', 'g', 'k', 'm', 'M', 'V', 'Y', 'O'}) {
            escapes[static_cast<unsigned char>(c)] = escape_skip_name;
        }
        for (char c : {'A', 'B', 'D', 'H', 'l', 'L', 'R', 'S', 'v', 'w', 'x', 'X'}) {
            escapes[static_cast<unsigned char>(c)] = escape_skip_delimited;
        }
        escapes[static_cast<unsigned char>('h')] = escape_motion;
        escapes[static_cast<unsigned char>('o')] = escape_write_argument;
        escapes[static_cast<unsigned char>('b')] = escape_write_argument;
        escapes[static_cast<unsigned char>('Z')] = escape_write_argument;
        escapes[static_cast<unsigned char>('s')] = escape_size;
        escapes[static_cast<unsigned char>('z')] = escape_zero_width;
    }
};
constexpr EscapeTable kEscapes;

struct FontName {
    std::string_view name;
    uint8_t font;
};

// Font names as pages write them, sorted; a name not here is read by its last letters.
constexpr FontName kFonts[] = {
    {"1", 0},        {"2", kItalic},        {"3", kBold},  {"4", kBold | kItalic},
    {"B", kBold},    {"BI", kBold | kItalic}, {"C", kMono}, {"CB", kMono | kBold},
    {"CBI", kMono | kBold | kItalic}, {"CI", kMono | kItalic}, {"CO", kMono}, {"CR", kMono},
    {"CW", kMono},   {"CX", kMono | kBold}, {"I", kItalic}, {"R", 0},
};

static_assert(is_sorted_by_name(kFonts), "kFonts must be sorted by name");
constexpr NameTable kFontTable(kFonts);

void write_text(Writing& w, std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        const void* found = std::memchr(s.data() + i, '\\', s.size() - i);
        size_t next = found ? static_cast<size_t>(static_cast<const char*>(found) - s.data()) : s.size();
        if (!w.translate || !w.roff.translates()) {
            if (next > i) w.put(std::string_view(s.data() + i, next - i));
        } else {
            for (size_t k = i; k < next; ++k) {
                const std::string* translated = w.roff.translation(static_cast<unsigned char>(s[k]));
                if (translated == nullptr) {
                    w.run += s[k];
                    continue;
                }
                w.translate = false;
                write_text(w, *translated);
                w.translate = true;
            }
        }
        i = next;
        if (i >= s.size()) break;
        if (i + 1 >= s.size()) break;  // a lone escape at the end stands for nothing
        unsigned char c = static_cast<unsigned char>(s[i + 1]);
        Escape escape = kEscapes.escapes[c];
        if (escape == nullptr) {
            // An escape roff does not know stands for its character.
            w.run += static_cast<char>(c);
            i += 2;
            continue;
        }
        i = escape(w, s, i + 2);
    }
}

}  // namespace

namespace {

constexpr int font_by_name(std::string_view name) {
    if (name.empty() || name == "P") return -1;
    if (const FontName* found = kFontTable.find(name)) return found->font;
    // A family and a style: TB, HBI, NR ...; by the style's letters.
    int font = 0;
    if (name.size() >= 2 && name.substr(name.size() - 2) == "BI") font = kBold | kItalic;
    else if (name.back() == 'B') font = kBold;
    else if (name.back() == 'I') font = kItalic;
    if (name[0] == 'C') font |= kMono;
    return font;
}

// The fonts of one-letter names, which most font changes use (\fB, \fR, \fP), by the
// letter: made by the compiler.
struct OneLetterFonts {
    int8_t font[256] = {};
    constexpr OneLetterFonts() {
        for (int c = 0; c < 256; ++c) {
            const char name[1] = {static_cast<char>(c)};
            font[c] = static_cast<int8_t>(font_by_name(std::string_view(name, 1)));
        }
    }
};
constexpr OneLetterFonts kOneLetterFonts;

}  // namespace

int font_named(std::string_view name) {
    return name.size() == 1 ? kOneLetterFonts.font[static_cast<unsigned char>(name[0])] : font_by_name(name);
}

bool write_inline(const Roff& roff, DocumentBuilder& doc, FontState& fonts, std::string_view text) {
    if (text.empty()) return false;
    // Most text has no escape, and most pages translate nothing: such text goes as it is.
    if (!roff.translates() && std::memchr(text.data(), '\\', text.size()) == nullptr) {
        doc.text(fonts.current, text);
        return false;
    }
    Writing w(roff, &doc, nullptr, fonts, doc.scratch());
    write_text(w, text);
    w.flush();
    return w.continued;
}

std::string plain_text(const Roff& roff, std::string_view text) {
    std::string out;
    TextBuffer buffer;
    FontState fonts;
    Writing w(roff, nullptr, &out, fonts, buffer);
    write_text(w, text);
    w.flush();
    return out;
}
