// The mdoc(7) macro layer.
#include "modern/mdoc/mdoc.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "modern/eqn/eqn.h"
#include "modern/roff/inline.h"
#include "modern/roff/name_table.h"
#include "modern/roff/text_requests.h"
#include "modern/tbl/tbl.h"

namespace {

// ---- Lists and displays --------------------------------------------------------------------

enum class ListType : uint8_t { bullet, dash, enumerated, item, tag, hang, ohang, inset, diag, column };

struct ListKind {
    std::string_view flag;
    ListType type;
    NodeKind list;  // the list's node
    NodeKind body;  // each item's body (a column list's: its cells)
};

// Items with a head of their own (tag, hang) are the terms of a tag list; items whose head
// runs into their body (inset, diag, ohang) are blocks of their own.
constexpr ListKind kListKinds[] = {
    {"-bullet", ListType::bullet, NodeKind::bullet_list, NodeKind::list_item},
    {"-column", ListType::column, NodeKind::table, NodeKind::table_cell},
    {"-dash", ListType::dash, NodeKind::dash_list, NodeKind::list_item},
    {"-diag", ListType::diag, NodeKind::plain_list, NodeKind::plain_item},
    {"-enum", ListType::enumerated, NodeKind::enumerated_list, NodeKind::list_item},
    {"-hang", ListType::hang, NodeKind::tag_list, NodeKind::definition},
    {"-hyphen", ListType::dash, NodeKind::dash_list, NodeKind::list_item},
    {"-inset", ListType::inset, NodeKind::plain_list, NodeKind::plain_item},
    {"-item", ListType::item, NodeKind::plain_list, NodeKind::plain_item},
    {"-ohang", ListType::ohang, NodeKind::plain_list, NodeKind::plain_item},
    {"-tag", ListType::tag, NodeKind::tag_list, NodeKind::definition},
};

const ListKind* find_list_kind(std::string_view flag) {
    for (const ListKind& kind : kListKinds) {
        if (kind.flag == flag) return &kind;
    }
    return nullptr;
}

bool is_terms(const ListKind& kind) { return kind.list == NodeKind::tag_list; }

// An open .Bl list or .Bd display.
struct Scope {
    const ListKind* list = nullptr;  // null for a display
    size_t outer = 0;                // the depth to return to at its end
    size_t inner = 0;                // the list element's depth, or the display's content's
    size_t body = 0;                 // the open item's body element, 0 when none is open
    bool fill_before = true;         // a display: the fill mode it ends in
};

// ---- The state of a page -------------------------------------------------------------------

struct Mdoc {
    Mdoc(Roff& r, DocumentBuilder& h, TitleLine& t, bool first)
        : roff(r), doc(h), title(t), first_section_only(first), equations(r) {}

    Roff& roff;
    DocumentBuilder& doc;
    TitleLine& title;
    bool first_section_only;
    Equations equations;

    FontState fonts;          // the font of text lines
    uint8_t block_font = 0;   // .Bf: the font of plain words until .Ef
    bool fill = true;
    int sections = 0;         // .Sh headings met
    bool done = false;        // the first section is over (first_section_only)
    size_t main_depth = 0;    // inside <main>; 0 until it is open
    size_t content_depth = 0; // inside the current section's content
    std::vector<Scope> scopes;
    std::string section;      // the current section's title
    std::string name;         // the page's name, as the first .Nm gives it

    bool join = false;        // the next word attaches to the one before
    bool spacing = true;      // .Sm: blanks between the words of macro lines
    bool wrote = false;       // the current line has written something
    bool head = false;        // a list item's head takes the words
    bool head_extended = false;  // ... up to .Xc

    std::string_view synopsis_last;  // the macro of the SYNOPSIS line before
    size_t line_display = 0;         // the block of a run of .D1 or .Dl lines, 0 when none
    std::string_view line_display_macro;
    int function_arguments = -1;     // inside .Fo: the arguments written so far
    std::string enclosure_open, enclosure_close;  // .Es
    int author_split = 0;            // .An: 0 as the section has it, 1 split, 2 not
    int authors = 0;                 // .An lines in the section
    bool in_reference = false;       // between .Rs and .Re
    std::vector<std::pair<std::string_view, std::string>> reference;
};

struct Macro;

// A macro line's arguments, as its macros work through them.
struct Args {
    const std::vector<std::string>& words;
    size_t at = 0;
    size_t end = 0;     // where the part of the line the current macro may use ends
    bool first = true;  // the macro being called began the line
    uint64_t quoted = 0;  // bit i: words[i] was quoted
    bool quoted_text = false;  // a quoted word is text, not a macro (in an enclosure, a cell)
    bool more() const { return at < end; }
    const std::string& peek() const { return words[at]; }
    const std::string& take() { return words[at++]; }
    bool is_quoted(size_t i) const { return i < 64 && (quoted >> i & 1) != 0; }
};

using Handler = void (*)(Mdoc&, Args&, const Macro&);

// What a macro's row says of its arguments.
enum MacroFlags : uint8_t {
    kCallable = 1,     // may be called from another macro's arguments
    kNoArguments = 2,  // takes none: those a line gives it are left out, with a warning
};

struct Macro {
    constexpr Macro(std::string_view n, Handler h, uint8_t fl, uint8_t f = 0, std::string_view first = {},
                    std::string_view second = {})
        : name(n), handler(h), flags(fl), font(f), a(first), b(second) {}
    std::string_view name;
    Handler handler;
    uint8_t flags;
    uint8_t font;
    std::string_view a, b;     // what the handler writes: enclosure marks, a default
};

const Macro* find_macro(std::string_view name);

const Macro* callable(std::string_view word) {
    const Macro* macro = find_macro(word);
    return macro != nullptr && (macro->flags & kCallable) != 0 ? macro : nullptr;
}

// ---- Warnings ------------------------------------------------------------------------------

// What the layer leaves out of a page, as the format says, named on the page's messages.
enum class Skipped : uint8_t { arguments, late_title, standard, item, cell };

constexpr std::string_view kSkipped[] = {
    "arguments of a macro that takes none there",
    "a title line after the text or after another title line",
    "an unknown standard",
    "an item outside a list",
    "a cell outside a column list",
};
static_assert(std::size(kSkipped) == static_cast<size_t>(Skipped::cell) + 1, "a text for each thing left out");

// Of a long line, a warning shows the start.
constexpr size_t kShownBytes = 120;

// Warns of `what`, naming the macro and the words of its line from `from` to `to`.
void skip(Mdoc& m, Skipped what, std::string_view macro, const std::vector<std::string>& words, size_t from,
          size_t to) {
    std::string text = std::string(kSkipped[static_cast<size_t>(what)]) + ", left out: ." + std::string(macro);
    for (size_t i = from; i < to && text.size() < kShownBytes; ++i) text += " " + words[i];
    if (text.size() > kShownBytes) {
        // Cut at a character's start.
        size_t cut = kShownBytes;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
        text.resize(cut);
        text += "...";
    }
    m.roff.warn(text);
}

// Text the layer writes again (the remembered name, an enclosure's marks) counts as the
// reader's work, as a string does: a page that repeats it without end is cut, and past
// the reader's bound (a line may repeat it thousands of times) it is not written.
const std::string& replayed(Mdoc& m, const std::string& text) {
    static const std::string nothing;
    return m.roff.count_work(text.size()) ? text : nothing;
}

uint8_t plain(const Mdoc& m) { return m.block_font; }

// ---- Delimiters --------------------------------------------------------------------------

enum class Delimiter : uint8_t { none, opening, middle, closing };

// A delimiter is an argument of that one character (a period also as "\.").
Delimiter delimiter_of(std::string_view word) {
    if (word == "\\.") return Delimiter::closing;
    if (word.size() != 1) return Delimiter::none;
    if (std::string_view("([").find(word[0]) != std::string_view::npos) return Delimiter::opening;
    if (word[0] == '|') return Delimiter::middle;
    if (std::string_view(".,:;)]?!").find(word[0]) != std::string_view::npos) return Delimiter::closing;
    return Delimiter::none;
}

// Where the closing delimiters that end the current part of the line begin: they go
// after an enclosure's closing mark. A quoted one is the enclosure's text.
size_t trailing_delimiters(const Args& a) {
    size_t stop = a.end;
    while (stop > a.at && delimiter_of(a.words[stop - 1]) == Delimiter::closing && !a.is_quoted(stop - 1)) --stop;
    return stop;
}

// Opening delimiters, and a '|', come before a macro's own words.
bool is_leading(Delimiter d) { return d == Delimiter::opening || d == Delimiter::middle; }

// Whether the arguments go on with a word of the macro's own (not a macro, not a
// delimiter after any leading ones).
bool has_words(const Args& a) {
    size_t i = a.at;
    while (i < a.end && is_leading(delimiter_of(a.words[i]))) ++i;
    return i < a.end && delimiter_of(a.words[i]) == Delimiter::none && callable(a.words[i]) == nullptr;
}

void emit_word(Mdoc& m, uint8_t font, std::string_view word);

// The leading delimiters before a macro's own words, written before them.
void leading_delimiters(Mdoc& m, Args& a) {
    while (a.more() && is_leading(delimiter_of(a.peek()))) emit_word(m, 0, a.take());
}

// ---- Blocks --------------------------------------------------------------------------------

void ensure_main(Mdoc& m) {
    if (m.main_depth != 0) return;
    m.doc.open(NodeKind::body);
    m.main_depth = m.doc.depth();
    m.content_depth = m.main_depth;
}

Scope* innermost_list(Mdoc& m) {
    return !m.scopes.empty() && m.scopes.back().list != nullptr ? &m.scopes.back() : nullptr;
}

// The innermost list, displays inside it or not.
const Scope* nearest_list(const Mdoc& m) {
    auto list = std::find_if(m.scopes.rbegin(), m.scopes.rend(), [](const Scope& s) { return s.list != nullptr; });
    return list != m.scopes.rend() ? &*list : nullptr;
}

// Where the content of the innermost block goes.
size_t base(const Mdoc& m) {
    if (m.scopes.empty()) return m.content_depth;
    const Scope& s = m.scopes.back();
    return s.list != nullptr && s.body != 0 ? s.body : s.inner;
}

void break_paragraph(Mdoc& m) {
    if (m.doc.top() == NodeKind::paragraph || m.doc.top() == NodeKind::preformatted) m.doc.close();
}

void open_body(Mdoc& m, Scope& list) {
    m.doc.close_to(list.inner);
    if (list.list->type == ListType::column) m.doc.open(NodeKind::table_row);
    m.doc.open(list.list->body);
    list.body = m.doc.depth();
}

// Everything that writes content comes here first: a list item's body opens, and in
// no-fill mode an example block.
void prepare_content(Mdoc& m, bool is_text) {
    ensure_main(m);
    if (m.head) return;
    if (Scope* list = innermost_list(m)) {
        if (list->body == 0 || m.doc.depth() < list->body) open_body(m, *list);
    }
    if (is_text && !m.fill && m.doc.top() != NodeKind::preformatted) {
        break_paragraph(m);
        m.doc.open(NodeKind::preformatted);
    }
}

// The head of a list item is complete: its body follows.
void end_head(Mdoc& m) {
    if (!m.head) return;
    m.head = false;
    m.head_extended = false;
    Scope* list = innermost_list(m);
    if (list == nullptr) return;
    if (is_terms(*list->list)) m.doc.close_to(list->inner);
    else if (list->list->type == ListType::ohang) break_paragraph(m);
}

// Before a block (list, display, table): the paragraph under way ends.
void begin_block(Mdoc& m) {
    end_head(m);
    prepare_content(m, false);
    break_paragraph(m);
}

void close_line_display(Mdoc& m) {
    if (m.line_display == 0) return;
    if (m.doc.depth() >= m.line_display) m.doc.close_to(m.line_display - 1);
    m.line_display = 0;
}

// ---- Words ---------------------------------------------------------------------------------

// How a piece of text joins its neighbours. A closing delimiter among a line's arguments
// attaches only to what the line wrote before it.
enum Glue : uint8_t { kSpaced = 0, kAttachBefore = 1, kAttachAfter = 2, kAttachInLine = 4 };

// A blank before a word: in the word's font when the words before are in it too, so
// that a run of words in one font is one element.
void space_in(Mdoc& m, uint8_t font) {
    if (font != 0 && m.doc.ends_in_font(font)) {
        m.doc.no_space();
        m.doc.text(font, " ");
    } else {
        m.doc.space();
    }
}

// Writes a piece of text of a macro line (escapes and all) in `font`.
void emit(Mdoc& m, uint8_t font, std::string_view text, uint8_t glue = kSpaced) {
    prepare_content(m, true);
    bool attached = m.join || (glue & kAttachBefore) != 0 || ((glue & kAttachInLine) != 0 && m.wrote);
    if (text.find('\\') != std::string_view::npos && plain_text(m.roff, text).empty()) {
        // A word that shows nothing (\&) still takes its blank: what follows attaches to it.
        m.doc.no_space();
        if (!attached && m.doc.has_text()) m.doc.text(font, " ");
    } else if (attached) {
        m.doc.no_space();
    } else {
        space_in(m, font);
    }
    FontState f;
    f.current = f.previous = font;
    write_inline(m.roff, m.doc, f, text);
    // With spacing off, what follows attaches to what was written.
    m.join = (glue & kAttachAfter) != 0 || !m.spacing;
    m.wrote = true;
}

// An argument: a delimiter in the plain font, stuck to what it opens or closes; any
// other word in `font`.
void emit_word(Mdoc& m, uint8_t font, std::string_view word) {
    switch (delimiter_of(word)) {
        case Delimiter::opening: emit(m, plain(m), word, kAttachAfter); break;
        case Delimiter::closing: emit(m, plain(m), word, kAttachInLine); break;
        case Delimiter::middle: emit(m, plain(m), word); break;
        case Delimiter::none: emit(m, font, word); break;
    }
}

// The rest of the current part of a line: macros called by name, other words in `font`.
void run(Mdoc& m, Args& a, uint8_t font) {
    while (a.more()) {
        const Macro* macro = a.quoted_text && a.is_quoted(a.at) ? nullptr : callable(a.peek());
        if (macro == nullptr) {
            emit_word(m, font, a.take());
            continue;
        }
        ++a.at;
        a.first = false;
        macro->handler(m, a, *macro);
    }
}

void end_of_line(Mdoc& m, bool continued) {
    if (continued) {
        m.join = true;
        return;
    }
    if (!m.fill && m.wrote && !m.head && m.doc.top() == NodeKind::preformatted) {
        m.doc.text(0, "\n");
        m.join = true;
    }
}

std::string joined(const Args& a, size_t from) {
    std::string text;
    for (size_t i = from; i < a.end; ++i) {
        if (i > from) text += ' ';
        text += a.words[i];
    }
    return text;
}

// ---- Headings ------------------------------------------------------------------------------

void heading(Mdoc& m, Args& a, bool section) {
    m.head = false;
    m.head_extended = false;
    m.scopes.clear();
    m.fill = true;
    m.fonts = FontState{};
    m.block_font = 0;
    m.join = false;
    m.function_arguments = -1;
    ensure_main(m);
    std::string text = plain_text(m.roff, joined(a, 0));
    if (section) {
        m.doc.close_to(m.main_depth);
        m.content_depth = m.main_depth;
        if (m.first_section_only && m.sections >= 1) {
            m.done = true;
            a.at = a.end;
            return;
        }
        ++m.sections;
        m.section = text;
        m.authors = 0;
        m.author_split = 0;
    } else {
        m.doc.close_to(m.content_depth);
    }
    m.synopsis_last = {};
    m.doc.open_heading(section ? NodeKind::section_heading : NodeKind::subsection_heading, text);
    run(m, a, 0);
    m.doc.close();
    a.at = a.end;
    m.join = false;
    if (section) {
        m.doc.open(NodeKind::section);
        m.content_depth = m.doc.depth();
    }
}

void macro_Sh(Mdoc& m, Args& a, const Macro&) { heading(m, a, true); }
void macro_Ss(Mdoc& m, Args& a, const Macro&) { heading(m, a, false); }

void macro_Pp(Mdoc& m, Args& a, const Macro&) {
    a.at = a.end;
    ensure_main(m);
    end_head(m);
    m.synopsis_last = {};
    if (!m.fill && m.doc.top() == NodeKind::preformatted) {
        m.doc.text(0, "\n");
        return;
    }
    m.doc.close_to(base(m));
    m.join = false;
}

// ---- The prologue ---------------------------------------------------------------------------

constexpr std::string_view kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                                        "July",    "August",   "September", "October", "November", "December"};

bool all_digits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The month a word names ("Sep", "september"), or "".
std::string_view month_named(std::string_view word) {
    if (word.size() < 3) return {};
    for (std::string_view month : kMonths) {
        if (word.size() > month.size()) continue;
        bool same = true;
        for (size_t i = 0; i < word.size() && same; ++i) {
            same = (word[i] | 0x20) == (month[i] | 0x20);
        }
        if (same) return month;
    }
    return {};
}

// A date as the header's date: "Month day, year" from that form, from an abbreviated
// month, from the "$Mdocdate: Month day year $" of version control and from year-month-
// day; anything else as it is.
std::string page_date(std::string_view s) {
    if (s.substr(0, 9) == "$Mdocdate") {
        s.remove_prefix(9);
        if (!s.empty() && s[0] == ':') s.remove_prefix(1);
        if (!s.empty() && s.back() == '$') s.remove_suffix(1);
    }
    std::vector<std::string_view> words;
    for (size_t i = 0; i < s.size();) {
        size_t end = std::min(s.find_first_of(" \t,", i), s.size());
        if (end > i) words.push_back(s.substr(i, end - i));
        i = end + 1;
    }
    if (words.size() == 3 && all_digits(words[1]) && all_digits(words[2]) && !month_named(words[0]).empty()) {
        return std::string(month_named(words[0])) + " " + std::string(words[1]) + ", " + std::string(words[2]);
    }
    std::string_view w = words.size() == 1 ? words[0] : std::string_view();
    if (w.size() == 10 && w[4] == '-' && w[7] == '-' && all_digits(w.substr(0, 4)) && all_digits(w.substr(5, 2)) &&
        all_digits(w.substr(8, 2))) {
        int month = std::stoi(std::string(w.substr(5, 2)));
        int day = std::stoi(std::string(w.substr(8, 2)));
        if (month >= 1 && month <= 12) {
            return std::string(kMonths[month - 1]) + " " + std::to_string(day) + ", " + std::string(w.substr(0, 4));
        }
    }
    size_t start = s.find_first_not_of(" \t");
    if (start == std::string_view::npos) return {};
    return std::string(s.substr(start, s.find_last_not_of(" \t") - start + 1));
}

void macro_Dd(Mdoc& m, Args& a, const Macro&) {
    m.title.date = page_date(plain_text(m.roff, joined(a, 0)));
    a.at = a.end;
}

void macro_Os(Mdoc& m, Args& a, const Macro&) {
    m.title.source = plain_text(m.roff, joined(a, 0));
    a.at = a.end;
}

// The volumes a title line may name instead of a machine.
constexpr std::pair<std::string_view, std::string_view> kVolumes[] = {
    {"AMD", "Ancestral Manual Documents"},  {"CON", "Contributed Software Manual"},
    {"IND", "Manual Master Index"},         {"KM", "Kernel Manual"},
    {"LOCAL", "Local Manual"},              {"PRM", "Programmer's Manual"},
    {"PS1", "Programmer's Supplementary Documents"}, {"SMM", "System Manager's Manual"},
    {"URM", "User's Reference Manual"},     {"USD", "User's Supplementary Documents"},
};

void macro_Dt(Mdoc& m, Args& a, const Macro& macro) {
    TitleLine& t = m.title;
    if (t.seen || m.main_depth != 0) {
        // A title line inside the page's text, or a second one, says nothing.
        skip(m, Skipped::late_title, macro.name, a.words, 0, a.end);
        a.at = a.end;
        return;
    }
    auto arg = [&](size_t i) { return i < a.end ? plain_text(m.roff, a.words[i]) : std::string(); };
    t.title = arg(0);
    t.section = arg(1);
    t.manual = std::string(volume_name(t.section));
    std::string third = arg(2);
    if (!third.empty()) {
        auto volume = std::find_if(std::begin(kVolumes), std::end(kVolumes),
                                   [&](const auto& v) { return v.first == third; });
        if (volume != std::end(kVolumes)) t.manual = std::string(volume->second);
        else t.manual = t.manual.empty() ? third : t.manual + " (" + third + ")";
    }
    a.at = a.end;
    t.seen = true;
    if (!m.first_section_only) write_header(m.doc, t);
}

// ---- Lists and displays ---------------------------------------------------------------------

bool indents(std::string_view offset) { return offset != "left" && offset != "0" && offset != "0n"; }

// Lists and displays nested deeper than any page nests them (a page's loop that opens
// them without end) open nothing more: the words stay, and every look for the
// innermost one stays short.
constexpr size_t kMaxScopes = 64;

bool too_deep(Mdoc& m, Args& a, const Macro& macro) {
    if (m.scopes.size() < kMaxScopes) return false;
    m.roff.warn("lists and displays nested more than " + std::to_string(kMaxScopes) + " deep: ." +
                std::string(macro.name) + " left out");
    a.at = a.end;
    return true;
}

void macro_Bl(Mdoc& m, Args& a, const Macro& macro) {
    if (too_deep(m, a, macro)) return;
    const ListKind* kind = nullptr;
    bool offset = false;
    for (size_t i = a.at; i < a.end; ++i) {
        std::string_view w = a.words[i];
        if (const ListKind* k = find_list_kind(w); k != nullptr && kind == nullptr) kind = k;
        if ((w == "-width" || w == "-offset") && i + 1 < a.end) {
            if (w == "-offset") offset = indents(a.words[i + 1]);
            ++i;
        }
    }
    a.at = a.end;
    if (kind == nullptr) kind = find_list_kind("-tag");
    begin_block(m);
    Scope s;
    s.list = kind;
    s.outer = m.doc.depth();
    if (offset) m.doc.open(NodeKind::indent);
    m.doc.open(kind->list);
    s.inner = m.doc.depth();
    m.scopes.push_back(s);
}

// Ends the open scopes down to the innermost list (`lists`) or display.
Scope* close_scopes_to(Mdoc& m, bool lists) {
    size_t keep = m.scopes.size();
    while (keep > 0 && (m.scopes[keep - 1].list != nullptr) != lists) --keep;
    if (keep == 0) return nullptr;
    end_head(m);
    while (m.scopes.size() > keep) {
        if (m.scopes.back().list == nullptr) m.fill = m.scopes.back().fill_before;
        m.doc.close_to(m.scopes.back().outer);
        m.scopes.pop_back();
    }
    return &m.scopes.back();
}

void macro_El(Mdoc& m, Args& a, const Macro&) {
    a.at = a.end;
    if (close_scopes_to(m, true) == nullptr) return;
    m.doc.close_to(m.scopes.back().outer);
    m.scopes.pop_back();
    m.join = false;
}

void macro_It(Mdoc& m, Args& a, const Macro& macro) {
    Scope* list = close_scopes_to(m, true);
    if (list == nullptr) {
        skip(m, Skipped::item, macro.name, a.words, a.at, a.end);
        a.at = a.end;
        return;
    }
    ensure_main(m);
    m.doc.close_to(list->inner);
    list->body = 0;
    m.join = false;
    switch (list->list->type) {
        case ListType::tag:
        case ListType::hang:
            m.doc.open(NodeKind::term);
            m.head = true;
            run(m, a, plain(m));
            if (!m.head_extended) end_head(m);
            break;
        case ListType::diag:
            open_body(m, *list);
            m.head = true;
            while (a.more()) emit(m, kBold, a.take());
            end_head(m);
            break;
        case ListType::inset:
        case ListType::ohang:
            open_body(m, *list);
            m.head = true;
            run(m, a, plain(m));
            if (!m.head_extended) end_head(m);
            break;
        case ListType::column:
            open_body(m, *list);
            run(m, a, plain(m));
            break;
        default:
            // A bullet, a number or nothing is the head.
            open_body(m, *list);
            if (a.more()) skip(m, Skipped::arguments, macro.name, a.words, a.at, a.end);
            a.at = a.end;
            break;
    }
}

bool in_row(const Scope* s) {
    return s != nullptr && s->list != nullptr && s->list->type == ListType::column && s->body != 0;
}

// The next cell of a column list's row, the displays open in the cell ended; false
// outside a row.
bool next_cell(Mdoc& m) {
    if (!in_row(nearest_list(m))) return false;
    Scope* list = close_scopes_to(m, true);
    m.doc.close_to(list->inner + 1);
    m.doc.open(NodeKind::table_cell);
    list->body = m.doc.depth();
    m.join = false;
    return true;
}

// .Ta outside a row: beginning a line, it leaves out the line.
void macro_Ta(Mdoc& m, Args& a, const Macro& macro) {
    if (next_cell(m)) return;
    const Scope* list = nearest_list(m);
    if (list != nullptr && list->list->type == ListType::column) return;  // before the first item
    size_t end = a.first ? a.end : a.at;
    skip(m, Skipped::cell, macro.name, a.words, a.at, end);
    a.at = end;
}

void macro_Bd(Mdoc& m, Args& a, const Macro& macro) {
    if (too_deep(m, a, macro)) return;
    bool literal = false, offset = false;
    for (size_t i = a.at; i < a.end; ++i) {
        std::string_view w = a.words[i];
        if (w == "-literal" || w == "-unfilled") literal = true;
        if ((w == "-offset" || w == "-file") && i + 1 < a.end) {
            if (w == "-offset") offset = indents(a.words[i + 1]);
            ++i;
        }
    }
    a.at = a.end;
    begin_block(m);
    Scope s;
    s.outer = m.doc.depth();
    s.fill_before = m.fill;
    if (offset) m.doc.open(NodeKind::indent);
    s.inner = m.doc.depth();
    m.scopes.push_back(s);
    m.fill = !literal;
    m.join = false;
}

void macro_Ed(Mdoc& m, Args& a, const Macro&) {
    a.at = a.end;
    if (close_scopes_to(m, false) == nullptr) return;
    m.fill = m.scopes.back().fill_before;
    m.doc.close_to(m.scopes.back().outer);
    m.scopes.pop_back();
    m.join = false;
}

// .D1 and .Dl: one indented line; lines in a row make one display.
void line_display(Mdoc& m, Args& a, const Macro& macro, bool literal) {
    if (m.line_display != 0 && m.line_display_macro == macro.name && m.doc.depth() > m.line_display) {
        if (literal) m.doc.text(0, "\n");
        else m.doc.line_break();
        m.join = true;
    } else {
        close_line_display(m);
        begin_block(m);
        m.doc.open(NodeKind::indent);
        m.line_display = m.doc.depth();
        m.line_display_macro = macro.name;
        if (literal) m.doc.open(NodeKind::preformatted);
        m.join = false;
    }
    run(m, a, plain(m));
}

void macro_D1(Mdoc& m, Args& a, const Macro& macro) { line_display(m, a, macro, false); }
void macro_Dl(Mdoc& m, Args& a, const Macro& macro) { line_display(m, a, macro, true); }

// .Bf: a font for the lines up to .Ef.
void macro_Bf(Mdoc& m, Args& a, const Macro&) {
    constexpr std::pair<std::string_view, uint8_t> kModes[] = {
        {"-emphasis", kItalic}, {"Em", kItalic}, {"-literal", kMono},
        {"Li", kMono},          {"-symbolic", kBold}, {"Sy", kBold},
    };
    for (const auto& mode : kModes) {
        if (a.more() && a.peek() == mode.first) m.block_font = mode.second;
    }
    m.fonts = FontState{};
    m.fonts.set(m.block_font);
    a.at = a.end;
}

void macro_Ef(Mdoc& m, Args& a, const Macro&) {
    m.block_font = 0;
    m.fonts = FontState{};
    a.at = a.end;
}

// ---- In-line macros ----------------------------------------------------------------------

// The words up to the next macro in the macro's font; with none of its own, the
// macro's default text (.Ar: "file ..."), before the first closing delimiter or after
// the leading ones.
void macro_font(Mdoc& m, Args& a, const Macro& macro) {
    bool shown = macro.a.empty();  // a word of the macro's own or its default is written
    while (a.more() && callable(a.peek()) == nullptr) {
        Delimiter d = delimiter_of(a.peek());
        if (!shown && d == Delimiter::closing) {
            emit(m, macro.font, macro.a);
            shown = true;
        }
        shown = shown || d == Delimiter::none;
        emit_word(m, macro.font, a.take());
    }
    if (!shown) emit(m, macro.font, macro.a);
}

// .Fl: each word an option; alone, or before a '|', a dash, stuck to the next macro's
// words if any.
void macro_Fl(Mdoc& m, Args& a, const Macro&) {
    if (!has_words(a) || (a.more() && delimiter_of(a.peek()) == Delimiter::middle)) {
        bool prefix = a.more() && callable(a.peek()) != nullptr;
        emit(m, kBold, "-", prefix ? kAttachAfter : kSpaced);
    }
    while (a.more() && callable(a.peek()) == nullptr) {
        const std::string& w = a.take();
        if (delimiter_of(w) == Delimiter::none) emit(m, kBold, "-" + w);
        else emit_word(m, 0, w);
    }
}

// .Nm: the page's name, given or remembered; beginning a line of the SYNOPSIS, a
// command's synopsis, its later lines indented.
void macro_Nm(Mdoc& m, Args& a, const Macro& macro) {
    if (a.first && m.section == "SYNOPSIS" && !m.head) {
        prepare_content(m, false);  // in a list, the item's body (a column list's cell)
        m.doc.close_to(base(m));
        m.doc.open(NodeKind::synopsis);
        m.synopsis_last = "Nm";
        m.join = false;
    }
    if (m.name.empty() && has_words(a)) {
        size_t i = a.at;
        while (is_leading(delimiter_of(a.words[i]))) ++i;
        m.name = a.words[i];
    }
    if (!has_words(a) && !m.name.empty()) emit(m, macro.font, replayed(m, m.name));
    while (a.more() && callable(a.peek()) == nullptr) emit_word(m, macro.font, a.take());
}

void macro_Nd(Mdoc& m, Args& a, const Macro&) {
    emit(m, plain(m), "\u2014");
    while (a.more()) emit_word(m, plain(m), a.take());
}

void macro_Ns(Mdoc& m, Args& a, const Macro&) {
    if (!a.first) m.join = true;
}

void macro_Ap(Mdoc& m, Args&, const Macro&) { emit(m, plain(m), "'", kAttachBefore | kAttachAfter); }

// .Pf: its argument as it is, stuck to what follows.
void macro_Pf(Mdoc& m, Args& a, const Macro&) {
    if (a.more()) emit(m, plain(m), a.take(), kAttachAfter);
}

void macro_Sm(Mdoc& m, Args& a, const Macro&) {
    m.spacing = a.more() ? a.peek() != "off" : !m.spacing;
    if (m.spacing) m.join = false;
    a.at = a.end;
}

void macro_Xr(Mdoc& m, Args& a, const Macro&) {
    if (!has_words(a)) return;
    leading_delimiters(m, a);
    emit(m, kBold, a.take());
    if (has_words(a)) emit(m, plain(m), "(" + a.take() + ")", kAttachBefore);
}

// ---- Enclosures ---------------------------------------------------------------------------

// An enclosure's closing mark; an .Ns before it joins what follows as well.
void close_mark(Mdoc& m, std::string_view mark) {
    bool joined_after = m.join;
    emit(m, plain(m), mark, kAttachBefore);
    m.join = m.join || joined_after;
}

// The enclosures of one line (.Dq, .Op ...): opening delimiters before them, closing ones
// at the line's end after them.
void enclose(Mdoc& m, Args& a, std::string_view open, std::string_view close, uint8_t font) {
    while (a.more() && delimiter_of(a.peek()) == Delimiter::opening) emit_word(m, 0, a.take());
    size_t end = a.end;
    bool quoted_text = a.quoted_text;
    emit(m, plain(m), open, kAttachAfter);
    a.end = trailing_delimiters(a);
    a.quoted_text = true;
    run(m, a, font);
    a.end = end;
    a.quoted_text = quoted_text;
    close_mark(m, close);
}

void macro_enclose(Mdoc& m, Args& a, const Macro& macro) {
    // A mail address in angle brackets is a link, which shows that it is one.
    if (macro.name == "Aq" && a.more() && a.peek() == "Mt") return;
    enclose(m, a, macro.a, macro.b, macro.font == 0 ? plain(m) : macro.font);
}

void macro_En(Mdoc& m, Args& a, const Macro&) {
    enclose(m, a, replayed(m, m.enclosure_open), replayed(m, m.enclosure_close), plain(m));
}

void macro_Es(Mdoc& m, Args& a, const Macro&) {
    m.enclosure_open = a.more() ? a.take() : std::string();
    m.enclosure_close = a.more() ? a.take() : std::string();
}

// The enclosures over several lines: .Oo ... .Oc and the like.
void macro_open(Mdoc& m, Args&, const Macro& macro) { emit(m, plain(m), macro.a, kAttachAfter); }
void macro_close(Mdoc& m, Args&, const Macro& macro) { close_mark(m, macro.a); }

void macro_Eo(Mdoc& m, Args& a, const Macro&) {
    if (a.more() && callable(a.peek()) == nullptr) emit(m, plain(m), a.take(), kAttachAfter);
}

void macro_Ec(Mdoc& m, Args& a, const Macro&) {
    if (a.more() && callable(a.peek()) == nullptr) emit(m, plain(m), a.take(), kAttachBefore);
}

// .Xo ... .Xc: a list item's head over several lines.
void macro_Xo(Mdoc& m, Args&, const Macro&) {
    if (m.head) m.head_extended = true;
}

void macro_Xc(Mdoc& m, Args&, const Macro&) {
    if (m.head && m.head_extended) end_head(m);
    // What closes the extended line attaches to it.
    m.wrote = true;
}

// ---- Functions and the SYNOPSIS ------------------------------------------------------------

bool in_synopsis(const Mdoc& m) { return m.section == "SYNOPSIS" && !m.head; }

// A SYNOPSIS line of its own (.In, .Ft, .Fn ...): a line break after one of its kind or
// between a type and its function, a new paragraph otherwise.
void synopsis_line(Mdoc& m, std::string_view macro) {
    ensure_main(m);
    std::string_view before = m.synopsis_last;
    m.synopsis_last = macro;
    bool function = macro == "Fn" || macro == "Fo";
    bool together = function ? before == "Ft" : before == macro && macro != "Ft";
    if (together && m.doc.has_text()) {
        m.doc.line_break();
        m.join = true;
        return;
    }
    m.doc.close_to(base(m));
    m.join = false;
}

// .Ft, .Fd, .Cd, .Vt: words of a font; beginning a SYNOPSIS line, a line of their own.
void macro_synopsis_font(Mdoc& m, Args& a, const Macro& macro) {
    if (a.first && in_synopsis(m)) synopsis_line(m, macro.name);
    macro_font(m, a, macro);
}

void function_start(Mdoc& m, std::string_view name) {
    emit(m, kBold, name);
    emit(m, plain(m), "(", kAttachBefore | kAttachAfter);
}

void function_end(Mdoc& m, bool line) {
    emit(m, plain(m), ")", kAttachBefore);
    if (line) emit(m, plain(m), ";", kAttachBefore);
}

void macro_Fn(Mdoc& m, Args& a, const Macro&) {
    bool line = a.first && in_synopsis(m);
    if (line) synopsis_line(m, "Fn");
    if (!has_words(a)) return;
    leading_delimiters(m, a);
    function_start(m, a.take());
    // The arguments end at a macro or a delimiter, which follow the parenthesis.
    for (int n = 0; a.more() && callable(a.peek()) == nullptr && delimiter_of(a.peek()) == Delimiter::none; ++n) {
        if (n > 0) emit(m, plain(m), ",", kAttachBefore);
        emit(m, kItalic, a.take());
    }
    function_end(m, line);
}

void macro_Fo(Mdoc& m, Args& a, const Macro&) {
    if (a.first && in_synopsis(m)) synopsis_line(m, "Fo");
    function_start(m, a.more() ? a.take() : std::string());
    m.function_arguments = 0;
    a.at = a.end;
}

void macro_Fc(Mdoc& m, Args&, const Macro&) {
    function_end(m, m.function_arguments >= 0 && in_synopsis(m));
    m.function_arguments = -1;
}

// .Fa: arguments; inside .Fo, a comma between them and after those before.
void macro_Fa(Mdoc& m, Args& a, const Macro&) {
    if (m.function_arguments < 0) {
        while (a.more() && callable(a.peek()) == nullptr) emit_word(m, kItalic, a.take());
        return;
    }
    while (a.more() && callable(a.peek()) == nullptr) {
        const std::string& w = a.take();
        if (delimiter_of(w) != Delimiter::none) {
            emit_word(m, 0, w);
            continue;
        }
        if (m.function_arguments++ > 0) emit(m, plain(m), ",", kAttachBefore);
        emit(m, kItalic, w);
    }
}

void macro_In(Mdoc& m, Args& a, const Macro&) {
    bool line = a.first && in_synopsis(m);
    if (line) synopsis_line(m, "In");
    if (!has_words(a)) return;
    leading_delimiters(m, a);
    if (line) emit(m, kBold, "#include");
    emit(m, plain(m), "<", kAttachAfter);
    emit(m, kBold, a.take());
    emit(m, plain(m), ">", kAttachBefore);
}

// ---- Words the macros write themselves ----------------------------------------------------

// Names in a sentence: "a", "a and b", "a, b, and c"; functions with their parentheses.
void name_list(Mdoc& m, const std::vector<std::string>& names, bool functions) {
    for (size_t i = 0; i < names.size(); ++i) {
        if (i > 0 && i + 1 == names.size()) emit(m, plain(m), "and");
        emit(m, kBold, names[i]);
        if (functions) emit(m, plain(m), "()", kAttachBefore);
        if (names.size() > 2 && i + 1 < names.size()) emit(m, plain(m), ",", kAttachBefore);
    }
}

std::vector<std::string> standard_names(Args& a) {
    std::vector<std::string> names;
    while (a.more()) {
        const std::string& w = a.take();
        if (w != "-std") names.push_back(w);
    }
    return names;
}

void macro_Rv(Mdoc& m, Args& a, const Macro&) {
    std::vector<std::string> names = standard_names(a);
    if (names.empty()) {
        emit(m, plain(m), "Upon successful completion, the value 0 is returned;");
    } else {
        emit(m, plain(m), "The");
        name_list(m, names, true);
        emit(m, plain(m), names.size() == 1 ? "function returns" : "functions return");
        emit(m, plain(m), "the value 0 if successful;");
    }
    emit(m, plain(m), "otherwise the value \\-1 is returned and the global variable");
    emit(m, kItalic, "errno");
    emit(m, plain(m), "is set to indicate the error.");
}

void macro_Ex(Mdoc& m, Args& a, const Macro&) {
    std::vector<std::string> names = standard_names(a);
    if (names.empty()) names.push_back(replayed(m, m.name));
    emit(m, plain(m), "The");
    name_list(m, names, false);
    emit(m, plain(m), names.size() == 1 ? "utility exits" : "utilities exit");
    emit(m, plain(m), "0 on success, and >0 if an error occurs.");
}

constexpr std::pair<std::string_view, std::string_view> kStandards[] = {
    {"-ansiC", "ANSI X3.159-1989 (\u201CANSI C89\u201D)"},
    {"-ansiC-89", "ANSI X3.159-1989 (\u201CANSI C89\u201D)"},
    {"-ieee1275-94", "IEEE Std 1275-1994 (\u201COpen Firmware\u201D)"},
    {"-ieee754", "IEEE Std 754-1985"},
    {"-iso8601", "ISO 8601"},
    {"-iso8802-3", "ISO 8802-3: 1989"},
    {"-iso9945-1-90", "ISO/IEC 9945-1:1990 (\u201CPOSIX.1\u201D)"},
    {"-iso9945-1-96", "ISO/IEC 9945-1:1996 (\u201CPOSIX.1\u201D)"},
    {"-iso9945-2-93", "ISO/IEC 9945-2:1993 (\u201CPOSIX.2\u201D)"},
    {"-isoC", "ISO/IEC 9899:1990 (\u201CISO C90\u201D)"},
    {"-isoC-2011", "ISO/IEC 9899:2011 (\u201CISO C11\u201D)"},
    {"-isoC-90", "ISO/IEC 9899:1990 (\u201CISO C90\u201D)"},
    {"-isoC-99", "ISO/IEC 9899:1999 (\u201CISO C99\u201D)"},
    {"-isoC-amd1", "ISO/IEC 9899/AMD1:1995 (\u201CISO C90, Amendment 1\u201D)"},
    {"-isoC-tcor1", "ISO/IEC 9899/TCOR1:1994 (\u201CISO C90, Technical Corrigendum 1\u201D)"},
    {"-isoC-tcor2", "ISO/IEC 9899/TCOR2:1995 (\u201CISO C90, Technical Corrigendum 2\u201D)"},
    {"-p1003.1", "IEEE Std 1003.1 (\u201CPOSIX.1\u201D)"},
    {"-p1003.1-2001", "IEEE Std 1003.1-2001 (\u201CPOSIX.1\u201D)"},
    {"-p1003.1-2004", "IEEE Std 1003.1-2004 (\u201CPOSIX.1\u201D)"},
    {"-p1003.1-2008", "IEEE Std 1003.1-2008 (\u201CPOSIX.1\u201D)"},
    {"-p1003.1-88", "IEEE Std 1003.1-1988 (\u201CPOSIX.1\u201D)"},
    {"-p1003.1-90", "IEEE Std 1003.1-1990 (\u201CPOSIX.1\u201D)"},
    {"-p1003.1-96", "ISO/IEC 9945-1:1996 (\u201CPOSIX.1\u201D)"},
    {"-p1003.1b", "IEEE Std 1003.1b (\u201CPOSIX.1b\u201D)"},
    {"-p1003.1b-93", "IEEE Std 1003.1b-1993 (\u201CPOSIX.1b\u201D)"},
    {"-p1003.1c-95", "IEEE Std 1003.1c-1995 (\u201CPOSIX.1c\u201D)"},
    {"-p1003.1g-2000", "IEEE Std 1003.1g-2000 (\u201CPOSIX.1g\u201D)"},
    {"-p1003.1i-95", "IEEE Std 1003.1i-1995 (\u201CPOSIX.1i\u201D)"},
    {"-p1003.2", "IEEE Std 1003.2 (\u201CPOSIX.2\u201D)"},
    {"-p1003.2-92", "IEEE Std 1003.2-1992 (\u201CPOSIX.2\u201D)"},
    {"-p1003.2a-92", "IEEE Std 1003.2a-1992 (\u201CPOSIX.2\u201D)"},
    {"-susv1", "Version 1 of the Single UNIX Specification (\u201CSUSv1\u201D)"},
    {"-susv2", "Version 2 of the Single UNIX Specification (\u201CSUSv2\u201D)"},
    {"-susv3", "Version 3 of the Single UNIX Specification (\u201CSUSv3\u201D)"},
    {"-susv4", "Version 4 of the Single UNIX Specification (\u201CSUSv4\u201D)"},
    {"-svid4", "System V Interface Definition, Fourth Edition (\u201CSVID4\u201D)"},
    {"-xbd5", "X/Open Base Definitions Issue 5 (\u201CXBD5\u201D)"},
    {"-xcu5", "X/Open Commands and Utilities Issue 5 (\u201CXCU5\u201D)"},
    {"-xcurses4.2", "X/Open Curses Issue 4, Version 2 (\u201CXCURSES4.2\u201D)"},
    {"-xns5", "X/Open Networking Services Issue 5 (\u201CXNS5\u201D)"},
    {"-xns5.2", "X/Open Networking Services Issue 5.2 (\u201CXNS5.2\u201D)"},
    {"-xpg3", "X/Open Portability Guide Issue 3 (\u201CXPG3\u201D)"},
    {"-xpg4", "X/Open Portability Guide Issue 4 (\u201CXPG4\u201D)"},
    {"-xpg4.2", "X/Open Portability Guide Issue 4, Version 2 (\u201CXPG4.2\u201D)"},
    {"-xsh4.2", "X/Open System Interfaces and Headers Issue 4, Version 2 (\u201CXSH4.2\u201D)"},
    {"-xsh5", "X/Open System Interfaces and Headers Issue 5 (\u201CXSH5\u201D)"},
};

void macro_St(Mdoc& m, Args& a, const Macro& macro) {
    if (!has_words(a)) return;
    leading_delimiters(m, a);
    const std::string& w = a.peek();
    auto it = std::find_if(std::begin(kStandards), std::end(kStandards),
                           [&](const auto& s) { return s.first == w; });
    if (it == std::end(kStandards)) {
        skip(m, Skipped::standard, macro.name, a.words, a.at, a.at + 1);
        m.wrote = true;  // closing delimiters attach as they would to the standard
    } else {
        emit(m, plain(m), it->second);
    }
    ++a.at;
}

constexpr std::pair<std::string_view, std::string_view> kLibraries[] = {
    {"libc", "Standard C Library"},        {"libcrypt", "Crypt Library"},
    {"libcurses", "Curses Library"},       {"libedit", "Command Line Editor Library"},
    {"libm", "Math Library"},              {"libmagic", "Magic Number Recognition Library"},
    {"libpthread", "POSIX Threads Library"}, {"librt", "POSIX Real-time Library"},
    {"libutil", "System Utilities Library"}, {"libz", "Compression Library"},
};

// .Lb: a library by its description, with the option that links it.
void macro_Lb(Mdoc& m, Args& a, const Macro&) {
    if (!has_words(a)) return;
    leading_delimiters(m, a);
    std::string library = a.take();
    auto it = std::find_if(std::begin(kLibraries), std::end(kLibraries),
                           [&](const auto& l) { return l.first == library; });
    if (it == std::end(kLibraries)) {
        emit(m, plain(m), "library \u201C" + library + "\u201D");
        return;
    }
    std::string option = library.substr(0, 3) == "lib" ? "-l" + library.substr(3) : library;
    emit(m, plain(m), std::string(it->second) + " (" + library + ", " + option + ")");
}

// .At: a version of AT&T UNIX.
void macro_At(Mdoc& m, Args& a, const Macro&) {
    leading_delimiters(m, a);
    std::string version = has_words(a) ? a.take() : std::string();
    std::string text = "AT&T UNIX";
    if (version.size() == 2 && version[0] == 'v' && version[1] >= '1' && version[1] <= '7') {
        text = "Version " + version.substr(1) + " AT&T UNIX";
    } else if (version == "32v") {
        text = "Version 7 AT&T UNIX/32V";
    } else if (version == "III") {
        text = "AT&T System III UNIX";
    } else if (version == "V") {
        text = "AT&T System V UNIX";
    } else if (version.size() == 3 && version.substr(0, 2) == "V.") {
        text = "AT&T System V Release " + version.substr(2) + " UNIX";
    } else if (!version.empty()) {
        emit(m, plain(m), text);
        text = version;
    }
    emit(m, plain(m), text);
}

// .Bsx .Fx .Nx .Ox .Dx: a BSD system, with its version if one follows.
void macro_system(Mdoc& m, Args& a, const Macro& macro) {
    leading_delimiters(m, a);
    std::string text(macro.a);
    if (has_words(a)) text += " " + a.take();
    emit(m, plain(m), text);
}

void macro_Bx(Mdoc& m, Args& a, const Macro&) {
    leading_delimiters(m, a);
    if (!has_words(a)) {
        emit(m, plain(m), "BSD");
        return;
    }
    std::string text = a.take() + "BSD";
    if (has_words(a)) text += "-" + a.take();
    emit(m, plain(m), text);
}

// .Ux .Bt .Ud: a fixed text.
void macro_text(Mdoc& m, Args&, const Macro& macro) { emit(m, plain(m), macro.a); }

void macro_An(Mdoc& m, Args& a, const Macro& macro) {
    if (a.more() && (a.peek() == "-split" || a.peek() == "-nosplit")) {
        m.author_split = a.peek() == "-split" ? 1 : 2;
        a.at = a.end;
        return;
    }
    bool split = m.author_split == 1 || (m.author_split == 0 && m.section == "AUTHORS");
    if (split && a.first && m.authors > 0 && m.doc.has_text()) {
        m.doc.line_break();
        m.join = true;
    }
    ++m.authors;
    macro_font(m, a, macro);
}

// ---- Links --------------------------------------------------------------------------------

bool is_linkable(std::string_view address) {
    for (std::string_view scheme : {"http://", "https://", "ftp://", "mailto:"}) {
        if (address.substr(0, scheme.size()) == scheme) return true;
    }
    return false;
}

// A link to `href` around the words from the arguments up to `stop`, or around `shown`.
void link(Mdoc& m, Args& a, const std::string& href, std::string_view shown, size_t stop) {
    prepare_content(m, true);
    if (m.join) m.doc.no_space();
    else m.doc.space();
    bool linked = is_linkable(href);
    if (linked) m.doc.link_start(href);
    m.join = true;
    if (a.at >= stop) emit(m, plain(m), shown);
    while (a.at < stop) emit(m, plain(m), a.take());
    if (linked) m.doc.link_end();
}

void macro_Lk(Mdoc& m, Args& a, const Macro&) {
    if (!a.more()) return;
    const std::string& address = a.take();
    size_t stop = trailing_delimiters(a);
    for (size_t i = a.at; i < stop; ++i) {
        if (callable(a.words[i]) != nullptr) stop = i;
    }
    link(m, a, plain_text(m.roff, address), address, stop);
}

void macro_Mt(Mdoc& m, Args& a, const Macro&) {
    while (a.more() && callable(a.peek()) == nullptr) {
        const std::string& address = a.take();
        if (delimiter_of(address) != Delimiter::none) emit_word(m, 0, address);
        else link(m, a, "mailto:" + plain_text(m.roff, address), address, a.at);
    }
}

// ---- References ---------------------------------------------------------------------------

void macro_Rs(Mdoc& m, Args& a, const Macro&) {
    m.in_reference = true;
    m.reference.clear();
    a.at = a.end;
}

// A field of a reference; a title is quoted in a book or journal, else in italics.
void reference_field(Mdoc& m, std::string_view key, const std::string& text, bool in_book = false) {
    if (key == "%T" && in_book) {
        emit(m, plain(m), "\u201C" + text + "\u201D");
    } else if (key == "%B" || key == "%J" || key == "%T") {
        emit(m, kItalic, text);
    } else if (key == "%U") {
        std::vector<std::string> none;
        Args empty{none, 0, 0, false};
        link(m, empty, plain_text(m.roff, text), text, 0);
    } else {
        emit(m, plain(m), text);
    }
}

// .Re: the reference's fields, authors first together, separated by commas.
void macro_Re(Mdoc& m, Args& a, const Macro&) {
    a.at = a.end;
    if (!m.in_reference) return;
    m.in_reference = false;
    bool own_paragraph = m.section == "SEE ALSO";
    ensure_main(m);
    if (own_paragraph) {
        end_head(m);
        m.doc.close_to(base(m));
        m.join = false;
    }
    // The fields in the order of a citation, authors first.
    constexpr std::string_view kOrder = "%A %T %B %I %J %R %N %V %U %P %Q %C %D %O";
    std::stable_sort(m.reference.begin(), m.reference.end(),
                     [&](const auto& x, const auto& y) { return kOrder.find(x.first) < kOrder.find(y.first); });
    std::vector<std::string> authors;
    for (const auto& field : m.reference) {
        if (field.first == "%A") authors.push_back(field.second);
    }
    size_t items = (authors.empty() ? 0 : 1) + static_cast<size_t>(std::count_if(
        m.reference.begin(), m.reference.end(), [](const auto& f) { return f.first != "%A"; }));
    size_t written = 0;
    auto separate = [&]() { emit(m, plain(m), ++written == items ? "." : ",", kAttachBefore); };
    if (!authors.empty()) {
        for (size_t i = 0; i < authors.size(); ++i) {
            if (i > 0 && i + 1 == authors.size()) emit(m, plain(m), "and");
            emit(m, plain(m), authors[i]);
            if (authors.size() > 2 && i + 1 < authors.size()) emit(m, plain(m), ",", kAttachBefore);
        }
        separate();
    }
    bool in_book = std::any_of(m.reference.begin(), m.reference.end(),
                               [](const auto& f) { return f.first == "%B" || f.first == "%J"; });
    for (const auto& field : m.reference) {
        if (field.first == "%A") continue;
        reference_field(m, field.first, field.second, in_book);
        separate();
    }
    m.reference.clear();
    if (own_paragraph) {
        m.doc.close_to(base(m));
        m.join = false;
    }
}

// %A, %T ...: a field of the reference under way, or on its own where it stands.
void macro_field(Mdoc& m, Args& a, const Macro& macro) {
    std::string text = joined(a, a.at);
    a.at = a.end;
    if (m.in_reference) m.reference.emplace_back(macro.name, std::move(text));
    else reference_field(m, macro.name, text);
}

// ---- Requests -------------------------------------------------------------------------------

void request_br(Mdoc& m, Args&, const Macro&) {
    if (::request_br(m.fill, m.doc)) m.join = true;
}

void request_sp(Mdoc& m, Args& a, const Macro&) {
    a.at = a.end;
    if (!m.head && m.main_depth != 0) ::request_sp(m.fill, m.doc, true);
}

void request_nf(Mdoc& m, Args&, const Macro&) { ::request_nf(m.fill, m.doc); }

void request_fi(Mdoc& m, Args&, const Macro&) { ::request_fi(m.fill, m.doc); }

void request_ft(Mdoc& m, Args& a, const Macro&) {
    ::request_ft(m.fonts, a.more() ? std::string_view(a.peek()) : std::string_view());
    a.at = a.end;
}

void request_TS(Mdoc& m, Args& a, const Macro&) {
    a.at = a.end;
    begin_block(m);
    render_table(m.roff, m.doc, m.fonts);
}

// .EQ: the lines up to .EN are an equation, set apart in the text around it.
void macro_EQ(Mdoc& m, Args& a, const Macro&) {
    a.at = a.end;
    std::string mathml = m.equations.read_block();
    if (mathml.empty()) return;
    prepare_content(m, true);
    if (m.join) m.doc.no_space();
    else m.doc.space();
    m.doc.equation(mathml);
    m.wrote = true;
    m.join = !m.spacing;
}

// Macros without output, and requests for layout a browser does its own way.
void ignore(Mdoc&, Args& a, const Macro&) { a.at = a.end; }

constexpr uint8_t C = kCallable;
constexpr uint8_t N = 0;             // not callable
constexpr uint8_t Z = kNoArguments;  // not callable, without arguments

// The macros of mdoc(7) and the requests its pages use, sorted by name.
constexpr Macro kMacros[] = {
    {"%A", macro_field, N}, {"%B", macro_field, N}, {"%C", macro_field, N}, {"%D", macro_field, N},
    {"%I", macro_field, N}, {"%J", macro_field, N}, {"%N", macro_field, N}, {"%O", macro_field, N},
    {"%P", macro_field, N}, {"%Q", macro_field, N}, {"%R", macro_field, N}, {"%T", macro_field, N},
    {"%U", macro_field, N}, {"%V", macro_field, N},
    {"Ac", macro_close, C, 0, "\u27E9"},
    {"Ad", macro_font, C, kItalic},
    {"An", macro_An, C},
    {"Ao", macro_open, C, 0, "\u27E8"},
    {"Ap", macro_Ap, C},
    {"Aq", macro_enclose, C, 0, "\u27E8", "\u27E9"},
    {"Ar", macro_font, C, kItalic, "file ..."},
    {"At", macro_At, C},
    {"Bc", macro_close, C, 0, "]"},
    {"Bd", macro_Bd, N},
    {"Bf", macro_Bf, N},
    {"Bk", ignore, N},
    {"Bl", macro_Bl, N},
    {"Bo", macro_open, C, 0, "["},
    {"Bq", macro_enclose, C, 0, "[", "]"},
    {"Brc", macro_close, C, 0, "}"},
    {"Bro", macro_open, C, 0, "{"},
    {"Brq", macro_enclose, C, 0, "{", "}"},
    {"Bsx", macro_system, C, 0, "BSD/OS"},
    {"Bt", macro_text, Z, 0, "is currently in beta test."},
    {"Bx", macro_Bx, C},
    {"Cd", macro_synopsis_font, C, kBold},
    {"Cm", macro_font, C, kBold},
    {"D1", macro_D1, N},
    {"Db", ignore, N},
    {"Dc", macro_close, C, 0, "\u201D"},
    {"Dd", macro_Dd, N},
    {"Dl", macro_Dl, N},
    {"Do", macro_open, C, 0, "\u201C"},
    {"Dq", macro_enclose, C, 0, "\u201C", "\u201D"},
    {"Dt", macro_Dt, N},
    {"Dv", macro_font, C},
    {"Dx", macro_system, C, 0, "DragonFly"},
    {"EN", ignore, N},
    {"EQ", macro_EQ, N},
    {"Ec", macro_Ec, C},
    {"Ed", macro_Ed, Z},
    {"Ef", macro_Ef, Z},
    {"Ek", ignore, Z},
    {"El", macro_El, Z},
    {"Em", macro_font, C, kItalic},
    {"En", macro_En, C},
    {"Eo", macro_Eo, C},
    {"Er", macro_font, C},
    {"Es", macro_Es, C},
    {"Ev", macro_font, C},
    {"Ex", macro_Ex, N},
    {"Fa", macro_Fa, C},
    {"Fc", macro_Fc, C},
    {"Fd", macro_synopsis_font, N, kBold},
    {"Fl", macro_Fl, C},
    {"Fn", macro_Fn, C},
    {"Fo", macro_Fo, N},
    {"Fr", macro_font, C},
    {"Ft", macro_synopsis_font, C, kItalic},
    {"Fx", macro_system, C, 0, "FreeBSD"},
    {"Hf", ignore, N},
    {"Ic", macro_font, C, kBold},
    {"In", macro_In, N},
    {"It", macro_It, N},
    {"Lb", macro_Lb, N},
    {"Li", macro_font, C, kMono},
    {"Lk", macro_Lk, C},
    {"Lp", macro_Pp, Z},
    {"Ms", macro_font, C},
    {"Mt", macro_Mt, C},
    {"Nd", macro_Nd, N},
    {"Nm", macro_Nm, C, kBold},
    {"No", macro_font, C},
    {"Ns", macro_Ns, C},
    {"Nx", macro_system, C, 0, "NetBSD"},
    {"Oc", macro_close, C, 0, "]"},
    {"Oo", macro_open, C, 0, "["},
    {"Op", macro_enclose, C, 0, "[", "]"},
    {"Os", macro_Os, N},
    {"Ot", macro_synopsis_font, C, kItalic},
    {"Ox", macro_system, C, 0, "OpenBSD"},
    {"Pa", macro_font, C, kItalic, "~"},
    {"Pc", macro_close, C, 0, ")"},
    {"Pf", macro_Pf, C},
    {"Po", macro_open, C, 0, "("},
    {"Pp", macro_Pp, Z},
    {"Pq", macro_enclose, C, 0, "(", ")"},
    {"Qc", macro_close, C, 0, "\""},
    {"Ql", macro_enclose, C, kMono, "\u2018", "\u2019"},
    {"Qo", macro_open, C, 0, "\""},
    {"Qq", macro_enclose, C, 0, "\"", "\""},
    {"Re", macro_Re, Z},
    {"Rs", macro_Rs, Z},
    {"Rv", macro_Rv, N},
    {"Sc", macro_close, C, 0, "\u2019"},
    {"Sh", macro_Sh, N},
    {"Sm", macro_Sm, N},
    {"So", macro_open, C, 0, "\u2018"},
    {"Sq", macro_enclose, C, 0, "\u2018", "\u2019"},
    {"Ss", macro_Ss, N},
    {"St", macro_St, C},
    {"Sx", macro_font, C},
    {"Sy", macro_font, C, kBold},
    {"TS", request_TS, N},
    {"Ta", macro_Ta, C},
    {"Tg", ignore, N},
    {"Tn", macro_font, C},
    {"Ud", macro_text, Z, 0, "currently under development."},
    {"Ux", macro_text, C, 0, "UNIX"},
    {"Va", macro_font, C, kItalic},
    {"Vt", macro_synopsis_font, C, kItalic},
    {"Xc", macro_Xc, C},
    {"Xo", macro_Xo, C},
    {"Xr", macro_Xr, C},
    {"ad", ignore, N}, {"bp", ignore, N}, {"br", request_br, Z}, {"ce", ignore, N},
    {"fi", request_fi, Z}, {"ft", request_ft, N}, {"hy", ignore, N}, {"in", ignore, N},
    {"ll", ignore, N}, {"na", ignore, N}, {"ne", ignore, N}, {"nf", request_nf, Z},
    {"nh", ignore, N}, {"ns", ignore, N}, {"pl", ignore, N}, {"ps", ignore, N},
    {"sp", request_sp, N}, {"ta", ignore, N}, {"ti", ignore, N}, {"vs", ignore, N},
};

static_assert(is_sorted_by_name(kMacros), "kMacros must be sorted by name");
constexpr NameTable kMacroTable(kMacros);

const Macro* find_macro(std::string_view name) { return kMacroTable.find(name); }

// ---- Lines ----------------------------------------------------------------------------------

void text_line(Mdoc& m, const RoffLine& line) {
    if (line.text.empty()) {
        // A blank line: a paragraph break, or an empty line of an example.
        if (m.head || m.main_depth == 0) return;
        if (m.fill) break_paragraph(m);
        else if (m.doc.top() == NodeKind::preformatted) m.doc.text(0, "\n");
        m.join = !m.fill;
        return;
    }
    prepare_content(m, true);
    if (m.join) m.doc.no_space();
    else m.doc.space();
    // A line that begins with a blank begins a new line.
    if (m.fill && !m.head && (line.text[0] == ' ' || line.text[0] == '\t')) m.doc.line_break();
    m.wrote = true;
    bool continued = m.equations.write_line(m.doc, m.fonts, line.text);
    m.join = !m.spacing;
    end_of_line(m, continued);
}

// Whether a Ta among the line's words parts the cells of a column list's row (and on
// an .It line, a tab as well).
bool parts_cells(const Mdoc& m, const Macro& macro) {
    const Scope* list = nearest_list(m);
    if (macro.handler == macro_It) return list != nullptr && list->list->type == ListType::column;
    if (macro.handler == macro_Ta) return in_row(list);
    return (macro.flags & kCallable) != 0 && in_row(m.scopes.empty() ? nullptr : &m.scopes.back());
}

bool has_tab(const std::vector<std::string>& words) {
    return std::any_of(words.begin(), words.end(), [](const std::string& w) { return w.find('\t') != w.npos; });
}

// The words of a column list's .It line with each tab made a Ta, even in quotes.
void cells_of(const RoffLine& line, std::vector<std::string>& words, uint64_t& quoted) {
    words.clear();
    quoted = 0;
    for (size_t i = 0; i < line.args.size(); ++i) {
        std::string_view arg = line.args[i];
        bool was_quoted = i < 64 && (line.quoted >> i & 1) != 0;
        for (size_t start = 0;;) {
            size_t tab = std::min(arg.find('\t', start), arg.size());
            if (tab > start || arg.empty()) {
                if (was_quoted && words.size() < 64) quoted |= uint64_t{1} << words.size();
                words.emplace_back(arg.substr(start, tab - start));
            }
            if (tab == arg.size()) break;
            words.emplace_back("Ta");
            start = tab + 1;
        }
    }
}

// Where the current cell's words end: at the next Ta (a quoted one is a word).
size_t cell_end(const Args& a, size_t from) {
    while (from < a.words.size() && !(a.words[from] == "Ta" && !a.is_quoted(from))) ++from;
    return from;
}

void macro_line(Mdoc& m, const RoffLine& line) {
    const Macro* macro = find_macro(line.name);
    if (macro == nullptr) {
        // A macro of no layer keeps its words (a request the reader does not do is left).
        if (!m.roff.unknown_macro(line.name)) return;
        m.wrote = false;
        Args a{line.args, 0, line.args.size(), true, line.quoted, false};
        run(m, a, plain(m));
        end_of_line(m, false);
        return;
    }
    m.wrote = false;
    bool cells = parts_cells(m, *macro);
    // (The thread's words of the last line with tabs in cells, for the room they have.)
    thread_local std::vector<std::string> split;
    uint64_t quoted = line.quoted;
    bool tabs = cells && macro->handler == macro_It && has_tab(line.args);
    if (tabs) cells_of(line, split, quoted);
    Args a{tabs ? split : line.args, 0, 0, true, quoted, cells && macro->handler == macro_It};
    a.end = cells ? cell_end(a, 0) : a.words.size();
    if ((macro->flags & kNoArguments) != 0 && a.more()) {
        skip(m, Skipped::arguments, macro->name, a.words, 0, a.words.size());
        a.end = 0;
    }
    macro->handler(m, a, *macro);
    run(m, a, plain(m));
    while (cells && a.end < a.words.size()) {
        a.at = a.end + 1;
        a.end = cell_end(a, a.at);
        a.first = false;
        next_cell(m);
        run(m, a, plain(m));
    }
    end_of_line(m, false);
}

}  // namespace

bool is_mdoc_macro(std::string_view name) { return find_macro(name) != nullptr; }

void render_mdoc(Roff& roff, DocumentBuilder& doc, TitleLine& title, bool first_section_only) {
    Mdoc m(roff, doc, title, first_section_only);
    // The thread's line, page after page, for the room its arguments have.
    thread_local RoffLine line;
    while (!m.done && roff.next(line)) {
        if (m.line_display != 0 && !(line.is_call && line.name == m.line_display_macro)) close_line_display(m);
        if (line.is_call) macro_line(m, line);
        else text_line(m, line);
    }
    doc.close_to(0);
    if (first_section_only || !title.seen) return;
    write_footer(doc, title);
}
