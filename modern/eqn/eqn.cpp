// Equations (eqn): read into boxes, then written as MathML.
#include "modern/eqn/eqn.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <unordered_map>
#include <vector>

#include "model/utf8.h"
#include "modern/roff/name_table.h"
#include "output/html_escape.h"

struct Equations::State {
    std::unordered_map<std::string, std::shared_ptr<const std::string>> definitions;
    char open = 0, close = 0;  // the delimiters of inline equations, 0 before any
    bool delimiters_on = false;
    int points = 10;  // gsize: the size of every equation, in points
    int font = -1;    // gfont: the font of every equation's words, -1 as each word has it
};

namespace {

constexpr uint32_t kNone = UINT32_MAX;
constexpr int kPoints = 10;  // the size of the page's text, which a size in points is taken against

// ---- Names --------------------------------------------------------------------------------

// What a piece of text is, and so how it is written: a name in italics (a letter, a word),
// upright (a function's name, a capital Greek letter), or in its own face (a symbol); a
// number, an operator, quoted text, a space; nothing at all.
enum class Atom : uint8_t { italic, upright, symbol, number, op, text, space, nothing };

struct Glyph {
    std::string_view name;
    std::string_view text;
    Atom atom;
};

// The names eqn sets as something else (and the function names it sets upright), sorted.
constexpr Glyph kGlyphs[] = {
    {"!=", "\u2260", Atom::op},       {"+-", "\u00B1", Atom::op},       {"-", "\u2212", Atom::op},
    {"->", "\u2192", Atom::op},       {"<-", "\u2190", Atom::op},       {"<<", "\u226A", Atom::op},
    {"<=", "\u2264", Atom::op},       {"==", "\u2261", Atom::op},       {">=", "\u2265", Atom::op},
    {">>", "\u226B", Atom::op},       {"DELTA", "\u0394", Atom::upright}, {"GAMMA", "\u0393", Atom::upright},
    {"Im", "Im", Atom::upright},      {"LAMBDA", "\u039B", Atom::upright}, {"OMEGA", "\u03A9", Atom::upright},
    {"PHI", "\u03A6", Atom::upright}, {"PI", "\u03A0", Atom::upright},  {"PSI", "\u03A8", Atom::upright},
    {"Re", "Re", Atom::upright},      {"SIGMA", "\u03A3", Atom::upright}, {"THETA", "\u0398", Atom::upright},
    {"UPSILON", "\u03A5", Atom::upright}, {"XI", "\u039E", Atom::upright}, {"alpha", "\u03B1", Atom::italic},
    {"and", "and", Atom::upright},    {"approx", "\u2248", Atom::op},   {"arc", "arc", Atom::upright},
    {"beta", "\u03B2", Atom::italic}, {"cdot", "\u22C5", Atom::op},     {"cdots", "\u22EF", Atom::op},
    {"chi", "\u03C7", Atom::italic},  {"cos", "cos", Atom::upright},    {"cosh", "cosh", Atom::upright},
    {"del", "\u2207", Atom::op},      {"delta", "\u03B4", Atom::italic}, {"det", "det", Atom::upright},
    {"epsilon", "\u03B5", Atom::italic}, {"eta", "\u03B7", Atom::italic}, {"exp", "exp", Atom::upright},
    {"for", "for", Atom::upright},    {"gamma", "\u03B3", Atom::italic}, {"grad", "\u2207", Atom::op},
    {"half", "\u00BD", Atom::number}, {"if", "if", Atom::upright},      {"inf", "\u221E", Atom::symbol},
    {"int", "\u222B", Atom::op},      {"inter", "\u2229", Atom::op},    {"iota", "\u03B9", Atom::italic},
    {"kappa", "\u03BA", Atom::italic}, {"lambda", "\u03BB", Atom::italic}, {"ldots", "\u2026", Atom::op},
    {"lim", "lim", Atom::upright},    {"ln", "ln", Atom::upright},      {"log", "log", Atom::upright},
    {"max", "max", Atom::upright},    {"min", "min", Atom::upright},    {"mu", "\u03BC", Atom::italic},
    {"nothing", "", Atom::nothing},   {"nu", "\u03BD", Atom::italic},   {"omega", "\u03C9", Atom::italic},
    {"omicron", "\u03BF", Atom::italic}, {"partial", "\u2202", Atom::symbol}, {"phi", "\u03C6", Atom::italic},
    {"pi", "\u03C0", Atom::italic},   {"prime", "\u2032", Atom::op},    {"prod", "\u220F", Atom::op},
    {"psi", "\u03C8", Atom::italic},  {"rho", "\u03C1", Atom::italic},  {"sigma", "\u03C3", Atom::italic},
    {"sin", "sin", Atom::upright},    {"sinh", "sinh", Atom::upright},  {"sum", "\u2211", Atom::op},
    {"tan", "tan", Atom::upright},    {"tanh", "tanh", Atom::upright},  {"tau", "\u03C4", Atom::italic},
    {"theta", "\u03B8", Atom::italic}, {"times", "\u00D7", Atom::op},   {"union", "\u222A", Atom::op},
    {"upsilon", "\u03C5", Atom::italic}, {"xi", "\u03BE", Atom::italic}, {"zeta", "\u03B6", Atom::italic},
};
static_assert(is_sorted_by_name(kGlyphs), "kGlyphs must be sorted by name");
constexpr NameTable kGlyphTable(kGlyphs);

// How each kind of atom is written: its element, and the font it has unless a font is
// set (-1: the element's own).
constexpr struct {
    Atom atom;
    std::string_view element;
    int8_t font;
} kAtoms[] = {
    {Atom::italic, "mi", kItalic}, {Atom::upright, "mi", 0}, {Atom::symbol, "mi", -1}, {Atom::number, "mn", 0},
    {Atom::op, "mo", 0},           {Atom::text, "mtext", 0}, {Atom::space, "mspace", -1}, {Atom::nothing, "mrow", -1},
};
static_assert(static_cast<size_t>(kAtoms[std::size(kAtoms) - 1].atom) == std::size(kAtoms) - 1, "a row per atom");

// The spaces, by their character.
constexpr std::pair<char, std::string_view> kSpaces[] = {{'~', "0.25em"}, {'^', "0.125em"}};

// What the parser makes of a keyword.
enum class Key : uint8_t { above, pile, matrix, left, right, sqrt, font, font_named, size, over, from, to, sub, sup, mark };

struct Keyword {
    std::string_view name;
    Key key;
    uint8_t value = 0;        // a font's bits; a pile's alignment; a mark below its box (1)
    std::string_view mark{};  // a diacritic's character
};

constexpr Keyword kKeywords[] = {
    {"above", Key::above},           {"bar", Key::mark, 0, "\u203E"},  {"bold", Key::font, kBold},
    {"ccol", Key::pile, 'c'},        {"col", Key::pile, 'c'},          {"cpile", Key::pile, 'c'},
    {"dot", Key::mark, 0, "\u02D9"}, {"dotdot", Key::mark, 0, "\u00A8"}, {"dyad", Key::mark, 0, "\u2194"},
    {"fat", Key::font, kBold},       {"font", Key::font_named},        {"from", Key::from},
    {"hat", Key::mark, 0, "^"},      {"italic", Key::font, kItalic},   {"lcol", Key::pile, 'l'},
    {"left", Key::left},             {"lpile", Key::pile, 'l'},        {"matrix", Key::matrix},
    {"over", Key::over},             {"pile", Key::pile, 'c'},         {"rcol", Key::pile, 'r'},
    {"right", Key::right},           {"roman", Key::font, 0},          {"rpile", Key::pile, 'r'},
    {"size", Key::size},             {"sqrt", Key::sqrt},              {"sub", Key::sub},
    {"sup", Key::sup},               {"tilde", Key::mark, 0, "~"},     {"to", Key::to},
    {"under", Key::mark, 1, "_"},    {"utilde", Key::mark, 1, "~"},    {"vec", Key::mark, 0, "\u2192"},
};
static_assert(is_sorted_by_name(kKeywords), "kKeywords must be sorted by name");
constexpr NameTable kKeywordTable(kKeywords);

// The delimiters of left and right that are names.
constexpr struct {
    std::string_view name, left, right;
} kFences[] = {{"ceiling", "\u2308", "\u2309"}, {"floor", "\u230A", "\u230B"}};

// ---- Boxes --------------------------------------------------------------------------------

enum class Kind : uint8_t {
    list,      // boxes in a row
    atom,      // text
    scripts,   // base, subscript, superscript (kNone when missing)
    limits,    // base, what is below, what is above
    fraction,  // numerator, denominator
    root,      // what is under the radical
    style,     // a box in a font or size
    fence,     // a list between a left and a right delimiter
    mark,      // a box with a diacritic over or under it
    table,     // columns
    column,    // a pile's (or a matrix column's) rows, one above the other
};

struct Box {
    Kind kind = Kind::list;
    Atom atom = Atom::italic;
    int8_t font = -1;        // style: the font, -1 for none
    bool below = false;      // mark: under its box
    bool relative = false;   // style: `size` is added to the size in force
    char align = 'c';        // column
    int16_t size = 0;        // style: the size in points, 0 for none
    uint16_t height = 1;     // boxes on the longest path down from this one
    std::string text;        // atom: its text; fence: the left delimiter; mark: its mark
    std::string close;       // fence: the right delimiter
    std::vector<uint32_t> children;
};

// ---- Reading ------------------------------------------------------------------------------

enum class Tok : uint8_t { end, word, quoted, open, close, space };

struct Token {
    Tok kind = Tok::end;
    std::string text;  // as written, roff escapes in it; a quoted string's without its quotes
};

// Text being read: the equation's, or a definition's where it is used.
struct Source {
    std::shared_ptr<const std::string> body;  // the definition, held while it is read
    std::string_view text;
    size_t at = 0;
    std::string name;  // the definition's, empty for the equation's own text
};

// What ends a list, besides the end of the equation.
constexpr uint8_t kBrace = 1, kAbove = 2, kRight = 4;

bool is_blank(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool ends_word(int c) { return c < 0 || is_blank(c) || c == '~' || c == '^' || c == '{' || c == '}' || c == '"'; }

// A size as eqn writes it: n points, or +n and -n points more or less than the size in force.
struct Size {
    int points = 0;
    bool relative = false;
};

Size size_of(std::string_view w) {
    Size size;
    size.relative = !w.empty() && (w[0] == '+' || w[0] == '-');
    for (size_t i = size.relative; i < w.size() && is_digit(w[i]) && size.points < 1000; ++i) {
        size.points = size.points * 10 + (w[i] - '0');
    }
    if (size.relative && w[0] == '-') size.points = -size.points;
    return size;
}

// Letters, of which names are made: Latin, Greek and Cyrillic.
bool is_letter(uint32_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0x24F && c != 0xD7 && c != 0xF7) ||
           (c >= 0x370 && c <= 0x52F);
}

bool is_one_character(std::string_view text) {
    size_t i = 0;
    if (!text.empty()) next_code_point(text, i);
    return !text.empty() && i == text.size();
}

// One equation as it is read: its tokens (definitions used, statements done as they
// come), then its boxes, the first of them the empty box that anything cut short becomes.
struct Parse {
    Parse(Equations::State& s, Roff& r, const EqnLimits& l, std::string_view source) : state(s), roff(r), limits(l) {
        sources.push_back({nullptr, source, 0, {}});
        boxes.emplace_back();
    }

    Equations::State& state;
    Roff& roff;
    const EqnLimits& limits;
    std::vector<Source> sources;
    std::vector<Box> boxes;
    Token ahead;
    bool has_ahead = false;
    size_t taken = 0;     // tokens taken, to see that a list goes on
    size_t expanded = 0;  // bytes of definitions used
    size_t depth = 0;     // groups and arguments open
    uint8_t stops = 0;    // what ends the list being read
    bool cut = false;     // the rest of the equation is left out
    bool warned_self = false;

    void cut_short(const std::string& why) {
        if (!cut) roff.warn("equation: " + why + ": the rest left out");
        cut = true;
    }

    // ---- Characters and tokens

    // The next character of the text being read, -1 at its end. A definition's text
    // stays open until a token after its last is looked for: a word there that is the
    // definition's own name is found using itself.
    int here() const {
        const Source& s = sources.back();
        return cut || s.at >= s.text.size() ? -1 : static_cast<unsigned char>(s.text[s.at]);
    }
    // The same, past the end of a definition's text.
    int peek_char() {
        while (sources.size() > 1 && sources.back().at >= sources.back().text.size()) sources.pop_back();
        return here();
    }
    void skip_char() { ++sources.back().at; }
    // The next character into `text`, and after a backslash the one it escapes.
    void take_char(std::string& text) {
        int c = here();
        text += static_cast<char>(c);
        skip_char();
        if (c == '\\' && (c = here()) >= 0) {
            text += static_cast<char>(c);
            skip_char();
        }
    }

    // A token as it stands, no definition used: blanks part words, as braces, quotes and
    // the spaces ~ and ^ (tokens of their own) do.
    Token raw_token() {
        Token t;
        int c = peek_char();
        for (; is_blank(c); c = peek_char()) skip_char();
        if (c < 0) return t;
        if (c == '~' || c == '^' || c == '{' || c == '}') {
            skip_char();
            t.kind = c == '{' ? Tok::open : c == '}' ? Tok::close : Tok::space;
            t.text = static_cast<char>(c);
            return t;
        }
        if (c == '"') {
            skip_char();
            t.kind = Tok::quoted;
            for (c = here(); c >= 0 && c != '"'; c = here()) take_char(t.text);
            if (c == '"') skip_char();
            return t;
        }
        t.kind = Tok::word;
        do take_char(t.text);
        while (!ends_word(here()));
        return t;
    }

    // The next token for the parser: statements done, definitions read in their place.
    Token next_token();

    void expand(const std::string& name, const std::shared_ptr<const std::string>& body) {
        for (const Source& s : sources) {
            if (s.name != name) continue;
            if (!warned_self) roff.warn("equation: the definition of " + name + " uses itself: left out there");
            warned_self = true;
            return;
        }
        if (sources.size() > limits.depth) {
            return cut_short("definitions used inside each other more than " + std::to_string(limits.depth) + " deep");
        }
        expanded += body->size();
        if (expanded > limits.expansion) {
            return cut_short("definitions standing for more than " + std::to_string(limits.expansion) + " bytes");
        }
        // (Past the page's bound the reader says so itself.)
        if (!roff.count_work(body->size())) cut = true;
        if (!cut) sources.push_back({body, *body, 0, name});
    }

    const Token& peek() {
        if (!has_ahead) {
            ahead = next_token();
            has_ahead = true;
        }
        return ahead;
    }
    Token take() {
        peek();
        has_ahead = false;
        ++taken;
        return std::move(ahead);
    }
    const Keyword* keyword() {
        const Token& t = peek();
        return t.kind == Tok::word ? kKeywordTable.find(t.text) : nullptr;
    }
    bool accept(Key key) {
        const Keyword* k = keyword();
        if (k == nullptr || k->key != key) return false;
        take();
        return true;
    }
    bool accept(Tok kind) {
        if (peek().kind != kind) return false;
        take();
        return true;
    }
    std::string resolved(const std::string& raw) {
        return raw.find('\\') == std::string::npos ? raw : plain_text(roff, raw);
    }

    // ---- Boxes

    uint32_t add(Box&& box) {
        uint16_t height = 1;
        for (uint32_t child : box.children) {
            if (child != kNone) height = std::max<uint16_t>(height, static_cast<uint16_t>(boxes[child].height + 1));
        }
        if (height > 4 * limits.depth) {
            // (What was built stays: a chain of fractions or marks keeps its first part.)
            cut_short("boxes built on boxes more than " + std::to_string(4 * limits.depth) + " deep");
            return box.children.empty() || box.children[0] == kNone ? 0 : box.children[0];
        }
        // (Once cut, what is open still closes: no more than the groups open.)
        if (boxes.size() >= limits.boxes && !cut) {
            cut_short("more than " + std::to_string(limits.boxes) + " boxes");
            return 0;
        }
        box.height = height;
        boxes.push_back(std::move(box));
        return static_cast<uint32_t>(boxes.size() - 1);
    }
    uint32_t add(Kind kind, std::vector<uint32_t> children) {
        Box box;
        box.kind = kind;
        box.children = std::move(children);
        return add(std::move(box));
    }
    uint32_t atom(Atom kind, std::string_view text) {
        if (kind == Atom::nothing) return 0;
        Box box;
        box.kind = Kind::atom;
        box.atom = kind;
        box.text = text;
        return add(std::move(box));
    }
    // A row of boxes: the empty box when there are none, the box itself when it is one.
    uint32_t row(std::vector<uint32_t>&& items) {
        if (items.empty()) return 0;
        return items.size() == 1 ? items[0] : add(Kind::list, std::move(items));
    }
    // The box that `parse` reads, one group deeper.
    template <typename Read>
    uint32_t nested(Read parse) {
        if (depth >= limits.depth) {
            cut_short("groups nested more than " + std::to_string(limits.depth) + " deep");
            return 0;
        }
        ++depth;
        uint32_t box = parse();
        --depth;
        return box;
    }

    // ---- The grammar, from what binds least: a list of boxes, from/to, over, sqrt,
    // sub/sup, fonts and sizes, diacritics, a single box

    uint32_t list(uint8_t ends) {
        const uint8_t outer = stops;
        stops = ends;
        std::vector<uint32_t> items;
        for (;;) {
            const Token& t = peek();
            if (t.kind == Tok::end) break;
            const Keyword* k = keyword();
            uint8_t stop = t.kind == Tok::close            ? kBrace
                           : k != nullptr && k->key == Key::above ? kAbove
                           : k != nullptr && k->key == Key::right ? kRight
                                                                  : 0;
            if (stop != 0) {
                if ((ends & stop) != 0) break;
                take();  // (one that ends nothing here means nothing)
                continue;
            }
            const size_t before = taken;
            uint32_t item = pair(true, false);
            if (item != 0) items.push_back(item);
            if (taken == before) take();
        }
        stops = outer;
        return row(std::move(items));
    }

    // `base from x to y`, `base sub x sup y` (`limits` for the first). What stands after
    // the keyword is read the same way, so that they group to the right; its own second
    // keyword (to, sup) is its own only after its first.
    uint32_t pair(bool limits_pair, bool nested_part) {
        const Key lower_key = limits_pair ? Key::from : Key::sub, upper_key = limits_pair ? Key::to : Key::sup;
        uint32_t base = limits_pair ? over() : font();
        uint32_t lower = kNone, upper = kNone;
        if (accept(lower_key)) lower = nested([&] { return pair(limits_pair, true); });
        if ((lower != kNone || !nested_part) && accept(upper_key)) {
            upper = nested([&] { return pair(limits_pair, false); });
        }
        if (lower == kNone && upper == kNone) return base;
        return add(limits_pair ? Kind::limits : Kind::scripts, {base, lower, upper});
    }

    uint32_t over() {
        uint32_t numerator = square_root();
        while (accept(Key::over)) numerator = add(Kind::fraction, {numerator, square_root()});
        return numerator;
    }

    uint32_t square_root() {
        if (!accept(Key::sqrt)) return pair(false, false);
        return nested([&] { return add(Kind::root, {square_root()}); });
    }

    uint32_t font() {
        const Keyword* k = keyword();
        if (k == nullptr || (k->key != Key::font && k->key != Key::font_named && k->key != Key::size)) return marked();
        take();
        Box style;
        style.kind = Kind::style;
        if (k->key == Key::font) style.font = static_cast<int8_t>(k->value);
        if (k->key == Key::font_named) style.font = static_cast<int8_t>(font_named(resolved(take().text)));
        if (k->key == Key::size) {
            const Size size = size_of(take().text);
            style.relative = size.relative;
            style.size = static_cast<int16_t>(size.points);
        }
        style.children.push_back(nested([&] { return font(); }));
        return add(std::move(style));
    }

    uint32_t marked() {
        uint32_t box = primary();
        for (const Keyword* k = keyword(); k != nullptr && k->key == Key::mark; k = keyword()) {
            take();
            Box mark;
            mark.kind = Kind::mark;
            mark.below = k->value != 0;
            mark.text = k->mark;
            mark.children.push_back(box);
            box = add(std::move(mark));
        }
        return box;
    }

    uint32_t primary() {
        switch (peek().kind) {
            case Tok::end:
            case Tok::close: return 0;
            case Tok::open:
                take();
                return nested([&] {
                    uint32_t group = list(kBrace);
                    accept(Tok::close);
                    return group;
                });
            case Tok::quoted: return atom(Atom::text, resolved(take().text));
            case Tok::space: return atom(Atom::space, take().text);
            case Tok::word: break;
        }
        if (const Keyword* k = keyword()) {
            const uint8_t value = k->value;
            switch (k->key) {
                case Key::pile:
                    take();
                    return nested([&] { return add(Kind::table, {column(static_cast<char>(value))}); });
                case Key::matrix: take(); return nested([&] { return matrix(); });
                case Key::left: take(); return nested([&] { return fence(); });
                case Key::sqrt: return square_root();
                case Key::font:
                case Key::font_named:
                case Key::size: return font();
                default: return 0;  // the levels above take the others
            }
        }
        return word(take().text);
    }

    // The rows of a pile or of a matrix's column, in braces and parted by `above`.
    uint32_t column(char align) {
        Box rows;
        rows.kind = Kind::column;
        rows.align = align;
        if (!accept(Tok::open)) {
            rows.children.push_back(font());
        } else {
            do rows.children.push_back(list(kBrace | kAbove));
            while (accept(Key::above));
            accept(Tok::close);
        }
        return add(std::move(rows));
    }

    uint32_t matrix() {
        std::vector<uint32_t> columns;
        if (accept(Tok::open)) {
            while (peek().kind != Tok::end && !accept(Tok::close)) {
                const Keyword* k = keyword();
                if (k == nullptr || k->key != Key::pile) {
                    take();
                    continue;
                }
                const char align = static_cast<char>(k->value);
                take();
                columns.push_back(nested([&] { return column(align); }));
            }
        }
        return add(Kind::table, std::move(columns));
    }

    std::string delimiter(const Token& t, bool left) {
        for (const auto& f : kFences) {
            if (t.kind == Tok::word && t.text == f.name) return std::string(left ? f.left : f.right);
        }
        return resolved(t.text);
    }

    uint32_t fence() {
        Box fenced;
        fenced.kind = Kind::fence;
        fenced.text = delimiter(take(), true);
        fenced.children.push_back(list(static_cast<uint8_t>(stops | kRight)));
        if (accept(Key::right)) fenced.close = delimiter(take(), false);
        return add(std::move(fenced));
    }

    // A word: a name eqn knows, or its pieces: names, numbers and operators.
    uint32_t word(const std::string& raw) {
        const Glyph* glyph = raw.find('\\') == std::string::npos ? kGlyphTable.find(raw) : nullptr;
        if (glyph != nullptr) return atom(glyph->atom, glyph->text);
        const std::string text = resolved(raw);
        const std::string_view s = text;
        std::vector<uint32_t> atoms;
        auto in_number = [&](size_t i) {
            return is_digit(s[i]) || (s[i] == '.' && i + 1 < s.size() && is_digit(s[i + 1]));
        };
        for (size_t i = 0; i < s.size() && !cut;) {
            const size_t start = i;
            if (in_number(i)) {
                while (i < s.size() && in_number(i)) ++i;
                atoms.push_back(atom(Atom::number, s.substr(start, i - start)));
                continue;
            }
            size_t next = i;
            const uint32_t c = next_code_point(s, next);
            if (is_letter(c)) {
                for (i = next; i < s.size(); i = next) {
                    next = i;
                    if (!is_letter(next_code_point(s, next))) break;
                }
                // (A name of letters is a name eqn knows only as a word of its own. A capital
                // Greek letter stands upright, as its name does.)
                const std::string_view name = s.substr(start, i - start);
                const bool capital_greek = c >= 0x391 && c <= 0x3A9 && is_one_character(name);
                atoms.push_back(atom(capital_greek ? Atom::upright : Atom::italic, name));
                continue;
            }
            i = next;
            if (c == ' ' || c == '\t' || c == 0xA0) continue;
            // An operator of two characters (<=, ->) or of one.
            const Glyph* g = kGlyphTable.find(s.substr(start, 2));
            if (g != nullptr && g->name.size() == 2) i = start + 2;
            else g = kGlyphTable.find(s.substr(start, i - start));
            atoms.push_back(g != nullptr ? atom(g->atom, g->text) : atom(Atom::op, s.substr(start, i - start)));
        }
        atoms.erase(std::remove(atoms.begin(), atoms.end(), 0u), atoms.end());
        return row(std::move(atoms));
    }
};

// ---- Statements ---------------------------------------------------------------------------

// `define name 'text'`: the first character after the name delimits the text. `keep`
// false reads one and drops it (tdefine: for typesetters alone).
void read_definition(Parse& p, bool keep) {
    Token name = p.raw_token();
    int delimiter = p.peek_char();
    for (; is_blank(delimiter); delimiter = p.peek_char()) p.skip_char();
    if (delimiter < 0) return;
    p.skip_char();
    std::string body;
    for (int c = p.peek_char(); c >= 0 && c != delimiter; c = p.peek_char()) {
        body += static_cast<char>(c);
        p.skip_char();
    }
    if (p.peek_char() == delimiter) p.skip_char();
    if (!keep || name.text.empty() || body.empty() || (name.kind != Tok::word && name.kind != Tok::quoted)) return;
    auto& definitions = p.state.definitions;
    if (definitions.size() >= p.limits.definitions && definitions.count(name.text) == 0) {
        p.roff.warn("equation: more than " + std::to_string(p.limits.definitions) + " definitions: " + name.text +
                    " left undefined");
        return;
    }
    definitions[name.text] = std::make_shared<const std::string>(std::move(body));
}

void statement_define(Parse& p) { read_definition(p, true); }
void statement_tdefine(Parse& p) { read_definition(p, false); }

void statement_undef(Parse& p) { p.state.definitions.erase(p.raw_token().text); }

// `delim xy`: x opens an equation in a text line, y closes it; `delim off`, `delim on`.
void statement_delim(Parse& p) {
    const std::string w = p.raw_token().text;
    Equations::State& s = p.state;
    if (w == "off") {
        s.delimiters_on = false;
    } else if (w == "on") {
        s.delimiters_on = s.open != 0;
    } else if (w.size() >= 2) {
        s.open = w[0];
        s.close = w[1];
        s.delimiters_on = true;
    }
}

// `gsize n`, `gsize +n`: the size of every equation from here on.
void statement_gsize(Parse& p) {
    const Size size = size_of(p.raw_token().text);
    if (size.relative) p.state.points = std::clamp(p.state.points + size.points, 1, 100);
    else if (size.points > 0) p.state.points = std::min(size.points, 100);
}

void statement_gfont(Parse& p) {
    const int font = font_named(p.resolved(p.raw_token().text));
    if (font >= 0) p.state.font = font;
}

// What a page shows no differently: alignment marks, motions, modes.
void statement_ignore(Parse&) {}
void statement_ignore_one(Parse& p) { p.raw_token(); }
void statement_ignore_two(Parse& p) {
    p.raw_token();
    p.raw_token();
}

constexpr struct Statement {
    std::string_view name;
    void (*run)(Parse&);
} kStatements[] = {
    {"back", statement_ignore_one},  {"define", statement_define}, {"delim", statement_delim},
    {"down", statement_ignore_one},  {"fwd", statement_ignore_one}, {"gfont", statement_gfont},
    {"gsize", statement_gsize},      {"lineup", statement_ignore},  {"mark", statement_ignore},
    {"ndefine", statement_define},   {"set", statement_ignore_two}, {"tdefine", statement_tdefine},
    {"undef", statement_undef},      {"up", statement_ignore_one},
};
static_assert(is_sorted_by_name(kStatements), "kStatements must be sorted by name");
constexpr NameTable kStatementTable(kStatements);

Token Parse::next_token() {
    for (;;) {
        Token t = raw_token();
        if (t.kind != Tok::word) return t;
        if (const Statement* s = kStatementTable.find(t.text)) {
            s->run(*this);
            continue;
        }
        auto definition = state.definitions.find(t.text);
        if (definition == state.definitions.end()) return t;
        expand(t.text, definition->second);
    }
}

// ---- Writing ------------------------------------------------------------------------------

std::string_view variant(int font) {
    if ((font & kMono) != 0) return "monospace";
    switch (font & (kBold | kItalic)) {
        case 0: return "normal";
        case kItalic: return "italic";
        case kBold: return "bold";
        default: return "bold-italic";
    }
}

struct Writer {
    const std::vector<Box>& boxes;
    std::string& out;
    size_t limit;
    bool cut = false;

    // One element for the box (MathML's elements take a fixed number of children), in
    // `font` (-1: as each atom has it) and at `points`.
    void box(uint32_t index, int font, int points) {
        if (cut || out.size() > limit) {
            cut = true;
            out += "<mrow></mrow>";
            return;
        }
        const Box& b = boxes[index];
        switch (b.kind) {
            case Kind::list:
                if (b.children.empty()) {
                    out += "<mrow></mrow>";
                    return;
                }
                out += "<mrow>";
                items(b, font, points);
                out += "</mrow>";
                return;
            case Kind::atom: return atom(b, font);
            case Kind::scripts:
            case Kind::limits: {
                constexpr std::string_view kElements[2][3] = {{"msub", "msup", "msubsup"},
                                                              {"munder", "mover", "munderover"}};
                const bool lower = b.children[1] != kNone, upper = b.children[2] != kNone;
                const std::string_view element = kElements[b.kind == Kind::limits][lower && upper ? 2 : upper ? 1 : 0];
                open(element);
                box(b.children[0], font, points);
                if (lower) part(b.children[1], "_", font, points);
                if (upper) part(b.children[2], "^", font, points);
                close(element);
                return;
            }
            case Kind::fraction:
                open("mfrac");
                part(b.children[0], "", font, points);
                part(b.children[1], "/", font, points);
                close("mfrac");
                return;
            case Kind::root:
                open("msqrt");
                reading("\u221A(");
                box(b.children[0], font, points);
                reading(")");
                close("msqrt");
                return;
            case Kind::style: return style(b, font, points);
            case Kind::fence:
                out += "<mrow>";
                if (!b.text.empty()) operator_text(b.text);
                if (boxes[b.children[0]].kind == Kind::list) items(boxes[b.children[0]], font, points);
                else box(b.children[0], font, points);
                if (!b.close.empty()) operator_text(b.close);
                out += "</mrow>";
                return;
            case Kind::mark:
                out += b.below ? "<munder accentunder=\"true\">" : "<mover accent=\"true\">";
                box(b.children[0], font, points);
                operator_text(b.text);
                close(b.below ? "munder" : "mover");
                return;
            case Kind::table: return table(b, font, points);
            case Kind::column: {
                const Box* column = &b;
                return table_of(&column, 1, font, points);
            }
        }
    }

    void open(std::string_view element) {
        out += '<';
        out += element;
        out += '>';
    }
    void close(std::string_view element) {
        out += "</";
        out += element;
        out += '>';
    }
    // What a viewer without MathML shows between the boxes, as a terminal writes the
    // equation on one line: x_i^2, (a + b)/2, \u221A(x). The stylesheet hides it where the
    // equation is drawn.
    void reading(std::string_view marks) {
        out += "<mo class=\"linear\">";
        out += marks;
        out += "</mo>";
    }
    // A script, limit or part of a fraction, after its mark and in parentheses unless it
    // is one atom (the one it begins and ends with).
    void part(uint32_t index, std::string_view mark, int font, int points) {
        const Box* first = edge_atom(index, false);
        const bool grouped = first == nullptr || first != edge_atom(index, true);
        if (!grouped && mark.empty()) return box(index, font, points);
        // (The part keeps its own row: a sign that begins it stays a prefix.)
        out += "<mrow>";
        reading(std::string(mark) + (grouped ? "(" : ""));
        box(index, font, points);
        if (grouped) reading(")");
        out += "</mrow>";
    }
    void operator_text(std::string_view text) {
        out += "<mo>";
        append_escaped(out, text);
        out += "</mo>";
    }

    // The atom whose text a box's text begins with (or ends with, `last`), or null.
    const Box* edge_atom(uint32_t i, bool last) const {
        for (;;) {
            const Box& b = boxes[i];
            if (b.kind == Kind::atom) return &b;
            const bool base_first = !last && (b.kind == Kind::scripts || b.kind == Kind::limits || b.kind == Kind::mark);
            if (b.children.empty() || !(b.kind == Kind::list || b.kind == Kind::style || base_first)) return nullptr;
            i = last && b.kind == Kind::list ? b.children.back() : b.children[0];
        }
    }
    bool is_operator(const Box* b, std::initializer_list<std::string_view> texts) const {
        return b != nullptr && b->atom == Atom::op && std::find(texts.begin(), texts.end(), b->text) != texts.end();
    }

    // The boxes of a list, a blank between each (which MathML passes over) so that its
    // text reads as words; none inside brackets, before punctuation, or after a sign
    // that begins the list.
    void items(const Box& list, int font, int points) {
        for (size_t i = 0; i < list.children.size(); ++i) {
            // (A list may stop anywhere: what has a fixed number of children writes them.)
            cut = cut || out.size() > limit;
            if (cut) return;
            const bool joined =
                i == 0 || is_operator(edge_atom(list.children[i - 1], true), {"(", "["}) ||
                is_operator(edge_atom(list.children[i], false), {")", "]", ",", ".", ";", ":"}) ||
                (i == 1 && is_operator(edge_atom(list.children[0], true), {"\u2212", "+", "\u00B1"}));
            if (!joined) out += ' ';
            box(list.children[i], font, points);
        }
    }

    void atom(const Box& b, int font) {
        const auto& row = kAtoms[static_cast<size_t>(b.atom)];
        if (b.atom == Atom::space) {
            for (const auto& [c, width] : kSpaces) {
                if (b.text[0] == c) out += "<mspace width=\"" + std::string(width) + "\"></mspace>";
            }
            return;
        }
        if (out.size() + b.text.size() > limit) {
            cut = true;
            out += "<mrow></mrow>";
            return;
        }
        const int own = row.element == "mi" && is_one_character(b.text) ? kItalic : 0;
        int wanted = font >= 0 ? font : row.font;
        if (wanted < 0) wanted = own;
        out += '<';
        out += row.element;
        if (wanted != own) out += " mathvariant=\"" + std::string(variant(wanted)) + "\"";
        out += '>';
        append_escaped(out, b.text);
        close(row.element);
    }

    void style(const Box& b, int font, int points) {
        if (b.font >= 0) font = b.font;
        int size = b.relative ? points + b.size : b.size != 0 ? b.size : points;
        size = std::clamp(size, 1, 100);
        if (size == points) return box(b.children[0], font, points);
        out += "<mstyle mathsize=\"" + std::to_string(size * 100 / points) + "%\">";
        box(b.children[0], font, size);
        close("mstyle");
    }

    void table(const Box& b, int font, int points) {
        std::vector<const Box*> columns;
        for (uint32_t child : b.children) {
            if (boxes[child].kind == Kind::column) columns.push_back(&boxes[child]);
        }
        table_of(columns.data(), columns.size(), font, points);
    }

    // Columns as rows of cells; a column shorter than another has empty cells below.
    void table_of(const Box* const* columns, size_t count, int font, int points) {
        size_t rows = 0;
        bool aligned = false;
        for (size_t c = 0; c < count; ++c) {
            rows = std::max(rows, columns[c]->children.size());
            aligned = aligned || columns[c]->align != 'c';
        }
        out += "<mtable";
        if (aligned) {
            out += " columnalign=\"";
            for (size_t c = 0; c < count; ++c) {
                out += c > 0 ? " " : "";
                out += columns[c]->align == 'l' ? "left" : columns[c]->align == 'r' ? "right" : "center";
            }
            out += '"';
        }
        out += '>';
        // Read on one line, a pile is its boxes in parentheses, a matrix each of its rows.
        for (size_t r = 0; r < rows && !cut; ++r) {
            out += r > 0 ? " <mtr>" : "<mtr>";
            for (size_t c = 0; c < count && !cut; ++c) {
                out += c > 0 ? " <mtd>" : "<mtd>";
                if (c == 0 && (count > 1 || r == 0)) reading("(");
                if (r < columns[c]->children.size()) box(columns[c]->children[r], font, points);
                if (c + 1 == count && (count > 1 || r + 1 == rows)) reading(")");
                out += "</mtd>";
            }
            out += "</mtr>";
        }
        out += "</mtable>";
    }
};

// Where the delimiter `c` stands in `text` from `from` on, escapes passed over; npos
// when nowhere.
size_t find_delimiter(std::string_view text, size_t from, char c) {
    for (size_t i = from; i < text.size(); ++i) {
        if (text[i] == c) return i;
        if (text[i] == '\\') ++i;
    }
    return std::string_view::npos;
}

}  // namespace

Equations::Equations(Roff& roff, EqnLimits limits) : roff_(roff), limits_(limits) {}

Equations::~Equations() = default;

std::string Equations::render(std::string_view source, bool display) {
    if (!s_) s_ = std::make_unique<State>();
    Parse parse(*s_, roff_, limits_, source);
    const uint32_t root = parse.list(0);
    if (root == 0) return {};
    std::string out = display ? "<math display=\"block\"" : "<math";
    if (s_->points != kPoints) out += " mathsize=\"" + std::to_string(s_->points * 100 / kPoints) + "%\"";
    out += '>';
    Writer writer{parse.boxes, out, limits_.output};
    const Box& top = parse.boxes[root];
    if (top.kind == Kind::list) writer.items(top, s_->font, s_->points);
    else writer.box(root, s_->font, s_->points);
    out += "</math>";
    if (writer.cut) {
        roff_.warn("equation: more than " + std::to_string(limits_.output) + " bytes of MathML: the rest left out");
    }
    // (Past the page's bound the reader cuts the page, and says so.)
    roff_.count_work(out.size());
    return out;
}

std::string Equations::read_block() {
    std::string source;
    RoffLine line;
    while (roff_.next(line)) {
        if (line.is_call && line.name == "EN") break;
        // (A request or macro in the block is the formatter's, not the equation's.)
        if (line.is_call) continue;
        source += line.text;
        source += '\n';
        if (source.size() > limits_.source) {
            roff_.warn("equation: a block of more than " + std::to_string(limits_.source) +
                       " bytes: ended there, without its .EN");
            break;
        }
    }
    return render(source, true);
}

bool Equations::write_line(DocumentBuilder& doc, FontState& fonts, std::string_view text) {
    size_t at = 0;
    bool continued = false;
    while (s_ && s_->delimiters_on) {
        const size_t open = find_delimiter(text, at, s_->open);
        if (open == text.npos) break;
        if (open > at) write_inline(roff_, doc, fonts, text.substr(at, open - at));
        size_t close = find_delimiter(text, open + 1, s_->close);
        if (close == text.npos) close = text.size();
        std::string mathml = render(text.substr(open + 1, close - open - 1), false);
        if (!mathml.empty()) doc.equation(mathml);
        at = std::min(text.size(), close + 1);
    }
    if (at < text.size()) continued = write_inline(roff_, doc, fonts, text.substr(at));
    return continued;
}
