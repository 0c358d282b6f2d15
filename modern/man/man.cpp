// The man(7) macro layer.
#include "modern/man/man.h"

#include <algorithm>
#include <vector>

#include "modern/eqn/eqn.h"
#include "modern/roff/inline.h"
#include "modern/roff/name_table.h"
#include "modern/roff/text_requests.h"
#include "modern/tbl/tbl.h"

namespace {

// What the next text line is for, after a macro that takes it.
enum class Next { nothing, section, subsection, tag, font };

// What the layer knows while it works through a page.
struct Man {
    Man(Roff& r, DocumentBuilder& h, TitleLine& t, bool first)
        : roff(r), doc(h), title(t), first_section_only(first), equations(r) {}

    Roff& roff;
    DocumentBuilder& doc;
    TitleLine& title;
    bool first_section_only;
    Equations equations;

    FontState fonts;
    bool fill = true;
    int sections = 0;            // .SH headings met
    bool done = false;           // the first section is over (first_section_only)
    size_t main_depth = 0;       // inside <main>; 0 until it is open
    size_t content_depth = 0;    // inside the current section's content
    std::vector<size_t> indents; // inside each .RS block, innermost last
    bool dd_pending = false;     // a list item's tag is done; its body opens with content

    Next next = Next::nothing;
    int next_number = 1;         // the number an item of the numbered list under way takes

    bool link_open = false;      // .UR / .MT
    bool link_has_text = false;
    bool link_followed = false;  // its address may be a link
    std::string link_target;     // the address, with its scheme
    std::string link_shown;      // the address as the page gives it

};

using Handler = void (*)(Man&, const RoffLine&);

size_t base(const Man& m) { return m.indents.empty() ? m.content_depth : m.indents.back(); }

void ensure_main(Man& m) {
    if (m.main_depth != 0) return;
    m.doc.open(NodeKind::body);
    m.main_depth = m.doc.depth();
    m.content_depth = m.main_depth;
}

void reset_font(Man& m) { m.fonts = FontState{}; }

// Ends the paragraph under way, if any; the next text starts a new one.
void break_paragraph(Man& m) {
    if (m.doc.top() == NodeKind::paragraph) m.doc.close();
}

// Before a block (an indent, a table): the text under way ends, lines kept as they are
// too; after the block, no-fill text goes on in a block of its own.
void end_text(Man& m) {
    if (m.doc.top() == NodeKind::paragraph || m.doc.top() == NodeKind::preformatted) m.doc.close();
}

// Everything that writes content comes here first: a list item's body opens, and in
// no-fill mode an example block.
void prepare_content(Man& m, bool is_text) {
    ensure_main(m);
    if (m.dd_pending) {
        m.dd_pending = false;
        m.doc.close_to(base(m) + 1);
        m.doc.open(NodeKind::definition);
    }
    if (is_text && !m.fill && m.doc.top() != NodeKind::preformatted) {
        break_paragraph(m);
        m.doc.open(NodeKind::preformatted);
    }
}

std::string joined(const std::vector<std::string>& args, size_t from = 0) {
    std::string text;
    for (size_t i = from; i < args.size(); ++i) {
        if (i > from) text += ' ';
        text += args[i];
    }
    return text;
}

// After a heading's text: its content follows.
void close_heading(Man& m, bool section) {
    m.doc.close();
    if (section) {
        m.doc.open(NodeKind::section);
        m.content_depth = m.doc.depth();
    }
}

// A line of text (or a font macro's text) begins: a heading or tag waiting for it opens.
void start_line(Man& m, std::string_view text, const std::vector<std::string>* args = nullptr,
                bool spaced = false) {
    if (m.next == Next::section || m.next == Next::subsection) {
        ensure_main(m);
        // A heading on a font macro's line: its id from the arguments, as the line writes
        // them.
        std::string all;
        if (args != nullptr) {
            for (const auto& arg : *args) all += (spaced && !all.empty() ? " " : "") + arg;
            text = all;
        }
        m.doc.open_heading(m.next == Next::section ? NodeKind::section_heading : NodeKind::subsection_heading,
                           plain_text(m.roff, text));
        return;
    }
    prepare_content(m, m.next != Next::tag);
}

// A line of text ends: line end, and what a macro waiting for the line does at its end.
void end_line(Man& m, bool continued) {
    if (continued) return;
    if (m.fill) m.doc.space();
    else m.doc.text(m.fonts.current, "\n");
    switch (m.next) {
        case Next::nothing: break;
        case Next::section:
        case Next::subsection:
            close_heading(m, m.next == Next::section);
            break;
        case Next::tag:
            m.doc.close_to(base(m) + 1);
            m.dd_pending = true;
            break;
        case Next::font:
            m.fonts.current = 0;
            break;
    }
    m.next = Next::nothing;
}

void write(Man& m, std::string_view text, bool& continued, bool equations = false) {
    continued = equations ? m.equations.write_line(m.doc, m.fonts, text) : write_inline(m.roff, m.doc, m.fonts, text);
    if (m.link_open && !text.empty()) m.link_has_text = true;
}

// ---- Text lines ---------------------------------------------------------------------------

void text_line(Man& m, const RoffLine& line) {
    if (std::all_of(line.text.begin(), line.text.end(), [](char c) { return c == ' ' || c == '\t'; })) {
        // A blank line: a paragraph break, or an empty line of an example.
        if (m.next != Next::nothing) return;
        if (m.fill) break_paragraph(m);
        else if (m.main_depth != 0 && m.doc.top() == NodeKind::preformatted) m.doc.text(0, "\n");
        return;
    }
    start_line(m, line.text);
    if (m.fill && (line.text[0] == ' ' || line.text[0] == '\t') && m.next == Next::nothing) m.doc.line_break();
    bool continued = false;
    write(m, line.text, continued, true);
    end_line(m, continued);
}

// ---- Font macros ------------------------------------------------------------------------------

// A macro's arguments as a line of text, a blank between each.
bool write_words(Man& m, const RoffLine& line) {
    bool continued = false;
    for (size_t i = 0; i < line.args.size(); ++i) {
        if (i > 0) write(m, " ", continued);
        write(m, line.args[i], continued);
    }
    return continued;
}

void font_line(Man& m, const RoffLine& line, uint8_t font) {
    if (line.args.empty()) {
        // The font is for the next line.
        if (m.next == Next::nothing) {
            m.next = Next::font;
            m.fonts.current = font;
        }
        return;
    }
    start_line(m, {}, &line.args, true);
    FontState saved = m.fonts;
    m.fonts.set(font);
    bool continued = write_words(m, line);
    m.fonts = saved;
    end_line(m, continued);
}

void macro_B(Man& m, const RoffLine& l) { font_line(m, l, kBold); }
void macro_I(Man& m, const RoffLine& l) { font_line(m, l, kItalic); }
void macro_SM(Man& m, const RoffLine& l) { font_line(m, l, kSmall); }
void macro_SB(Man& m, const RoffLine& l) { font_line(m, l, kSmall | kBold); }

// The alternating font macros: the arguments in two fonts by turns, with no blank between.
void alternating(Man& m, const RoffLine& line, uint8_t first, uint8_t second) {
    if (line.args.empty()) return;
    start_line(m, {}, &line.args);
    FontState saved = m.fonts;
    bool continued = false;
    for (size_t i = 0; i < line.args.size(); ++i) {
        m.fonts.current = i % 2 == 0 ? first : second;
        write(m, line.args[i], continued);
    }
    m.fonts = saved;
    end_line(m, continued);
}

// .MR name section [after]: a reference to another page, the name in italics, what
// follows (a comma, a full stop) joined to it; linked as any name(section) is.
void macro_MR(Man& m, const RoffLine& line) {
    if (line.args.empty()) return;
    start_line(m, {}, &line.args);
    FontState saved = m.fonts;
    bool continued = false;
    m.fonts.current = kItalic;
    write(m, line.args[0], continued);
    m.fonts.current = 0;
    if (line.args.size() > 1) write(m, "(" + line.args[1] + ")", continued);
    if (line.args.size() > 2) write(m, line.args[2], continued);
    m.fonts = saved;
    end_line(m, continued);
}

// A macro no layer knows (of another macro package, or one the page never defines): its
// words are kept as text, and the page warned of it once.
void unknown_macro(Man& m, const RoffLine& line) {
    if (!m.roff.unknown_macro(line.name) || line.args.empty()) return;
    start_line(m, {}, &line.args);
    end_line(m, write_words(m, line));
}

void macro_BI(Man& m, const RoffLine& l) { alternating(m, l, kBold, kItalic); }
void macro_BR(Man& m, const RoffLine& l) { alternating(m, l, kBold, 0); }
void macro_IB(Man& m, const RoffLine& l) { alternating(m, l, kItalic, kBold); }
void macro_IR(Man& m, const RoffLine& l) { alternating(m, l, kItalic, 0); }
void macro_RB(Man& m, const RoffLine& l) { alternating(m, l, 0, kBold); }
void macro_RI(Man& m, const RoffLine& l) { alternating(m, l, 0, kItalic); }
// The Plan 9 manual's literals: constant width alone or by turns with another font.
void macro_L(Man& m, const RoffLine& l) { font_line(m, l, kMono); }
void macro_BL(Man& m, const RoffLine& l) { alternating(m, l, kBold, kMono); }
void macro_IL(Man& m, const RoffLine& l) { alternating(m, l, kItalic, kMono); }
void macro_LB(Man& m, const RoffLine& l) { alternating(m, l, kMono, kBold); }
void macro_LI(Man& m, const RoffLine& l) { alternating(m, l, kMono, kItalic); }
void macro_LR(Man& m, const RoffLine& l) { alternating(m, l, kMono, 0); }
void macro_RL(Man& m, const RoffLine& l) { alternating(m, l, 0, kMono); }

// ---- The title line and headings --------------------------------------------------------------

std::string arg_text(Man& m, const RoffLine& line, size_t i) {
    return i < line.args.size() ? plain_text(m.roff, line.args[i]) : std::string();
}

void macro_TH(Man& m, const RoffLine& line) {
    TitleLine& t = m.title;
    bool first = !t.seen;
    t.seen = true;
    // Identification wants the first section's text alone.
    if (m.first_section_only) return;
    t.title = arg_text(m, line, 0);
    t.section = arg_text(m, line, 1);
    t.date = arg_text(m, line, 2);
    t.source = arg_text(m, line, 3);
    t.manual = arg_text(m, line, 4);
    if (line.args.size() < 5) t.manual = std::string(volume_name(t.section));
    if (!first) return;
    // Text before the title line (rare) leaves the header where it stands, in <main>.
    if (m.main_depth != 0) {
        m.doc.close_to(m.main_depth);
        m.content_depth = m.main_depth;  // (the section it closed is over)
        m.indents.clear();
    }
    write_header(m.doc, t);
}

void heading(Man& m, const RoffLine& line, bool section) {
    if (m.link_open && m.link_followed) m.doc.link_end();
    m.link_open = false;
    m.next = Next::nothing;
    m.dd_pending = false;
    ensure_main(m);
    // The NAME section ends at the next heading, a subsection's too.
    if (m.first_section_only && m.sections >= 1) {
        m.done = true;
        return;
    }
    if (section) {
        m.doc.close_to(m.main_depth);
        m.content_depth = m.main_depth;
        ++m.sections;
    } else {
        m.doc.close_to(m.content_depth);
    }
    m.indents.clear();
    m.fill = true;
    reset_font(m);
    if (line.args.empty()) {
        m.next = section ? Next::section : Next::subsection;
        return;
    }
    std::string text = joined(line.args);
    m.doc.open_heading(section ? NodeKind::section_heading : NodeKind::subsection_heading, plain_text(m.roff, text));
    bool continued;
    write(m, text, continued);
    close_heading(m, section);
}

void macro_SH(Man& m, const RoffLine& l) { heading(m, l, true); }
void macro_SS(Man& m, const RoffLine& l) { heading(m, l, false); }

// ---- Paragraphs, lists and indents --------------------------------------------------------

void paragraph(Man& m, const RoffLine&) {
    ensure_main(m);
    m.dd_pending = false;
    m.next = Next::nothing;
    m.doc.close_to(base(m));
    reset_font(m);
}

// Opens a list item's tag: in the list under way at this indent, or in a new one.
void open_item(Man& m) {
    ensure_main(m);
    m.dd_pending = false;
    size_t depth = base(m);
    if (m.doc.kind_at(depth) == NodeKind::tag_list) {
        m.doc.close_to(depth + 1);
    } else {
        m.doc.close_to(depth);
        m.doc.open(NodeKind::tag_list);
    }
    m.doc.open(NodeKind::term);
    reset_font(m);
}

void macro_TP(Man& m, const RoffLine&) {
    open_item(m);
    m.next = Next::tag;
}

// .TQ: one more tag for the same item.
void macro_TQ(Man& m, const RoffLine& line) {
    size_t depth = base(m);
    if (m.doc.kind_at(depth) != NodeKind::tag_list) {
        macro_TP(m, line);
        return;
    }
    m.dd_pending = false;
    m.doc.close_to(depth + 1);
    m.doc.open(NodeKind::term);
    m.next = Next::tag;
}

// The lists that runs of .IP make whose tags are markers, as a list's items have them.
struct MarkerList {
    std::string_view marker;
    NodeKind list;
};
constexpr MarkerList kMarkerLists[] = {
    {"\u2022", NodeKind::bullet_list}, {"-", NodeKind::dash_list}, {"\u2013", NodeKind::dash_list},
    {"\u2014", NodeKind::dash_list},   {"\u2212", NodeKind::dash_list},
};

bool is_marker_list(NodeKind kind) {
    return kind == NodeKind::bullet_list || kind == NodeKind::dash_list || kind == NodeKind::enumerated_list;
}

// The list whose item a tag (as printed) starts: a marker's, a numbered list's when the
// tag is the number `expected` and a full stop, else a tag list.
NodeKind list_of_tag(std::string_view tag, int expected) {
    for (const MarkerList& row : kMarkerLists) {
        if (tag == row.marker) return row.list;
    }
    return tag == std::to_string(expected) + "." ? NodeKind::enumerated_list : NodeKind::tag_list;
}

void macro_IP(Man& m, const RoffLine& line) {
    // (A tag a .TP awaited is not the next line's now.)
    if (m.next == Next::tag) m.next = Next::nothing;
    std::string tag = line.args.empty() ? std::string() : line.args[0];
    if (tag.empty()) {
        ensure_main(m);
        m.dd_pending = false;
        size_t depth = base(m);
        if (is_marker_list(m.doc.kind_at(depth))) {
            // More of the item under way.
            m.doc.close_to(std::min(m.doc.depth(), depth + 2));
        } else if (m.doc.kind_at(depth) == NodeKind::tag_list) {
            m.doc.close_to(depth + 1);
            m.doc.open(NodeKind::definition);
        } else {
            m.doc.close_to(depth);
            m.doc.open(NodeKind::indented_paragraph);
        }
        reset_font(m);
        return;
    }
    ensure_main(m);
    const size_t depth = base(m);
    const NodeKind current = m.doc.kind_at(depth);  // (the page when no block is at the indent)
    std::string marker = plain_text(m.roff, tag);
    NodeKind list = list_of_tag(marker, current == NodeKind::enumerated_list ? m.next_number : 1);
    if (list != NodeKind::tag_list) {
        m.dd_pending = false;
        if (current == list) {
            m.doc.close_to(depth + 1);
        } else {
            m.doc.close_to(depth);
            m.doc.open(list, list == NodeKind::dash_list ? std::string_view(marker) : std::string_view());
            m.next_number = 1;
        }
        m.doc.open(NodeKind::list_item);
        ++m.next_number;
        reset_font(m);
        return;
    }
    open_item(m);
    bool continued;
    write(m, tag, continued);
    m.doc.close_to(base(m) + 1);
    m.dd_pending = true;
}

void macro_HP(Man& m, const RoffLine&) {
    paragraph(m, {});
    m.doc.open(NodeKind::hanging_paragraph);
}

void macro_RS(Man& m, const RoffLine&) {
    // An indent where a tag is awaited: the tag stays empty, and the indent is the body.
    if (m.next == Next::tag) {
        m.doc.close_to(base(m) + 1);
        m.dd_pending = true;
        m.next = Next::nothing;
    }
    prepare_content(m, false);
    end_text(m);
    m.doc.open(NodeKind::indent);
    m.indents.push_back(m.doc.depth());
}

void macro_RE(Man& m, const RoffLine& line) {
    size_t keep = m.indents.empty() ? 0 : m.indents.size() - 1;
    if (!line.args.empty()) {
        // .RE n goes back to level n, 1 being no indent at all.
        int level = std::atoi(line.args[0].c_str());
        if (level >= 1) keep = std::min(keep, static_cast<size_t>(level - 1));
    }
    if (m.indents.size() <= keep) return;
    m.dd_pending = false;
    m.doc.close_to(m.indents[keep] - 1);
    m.indents.resize(keep);
}

// ---- Fill mode, breaks and spacing -------------------------------------------------------

void macro_nf(Man& m, const RoffLine&) { request_nf(m.fill, m.doc); }

void macro_fi(Man& m, const RoffLine&) { request_fi(m.fill, m.doc); }

void macro_EX(Man& m, const RoffLine& l) { macro_nf(m, l); }

void macro_EE(Man& m, const RoffLine& l) { macro_fi(m, l); }

void macro_br(Man& m, const RoffLine&) { request_br(m.fill, m.doc); }

void macro_sp(Man& m, const RoffLine&) {
    // (Not between a macro and the line it takes.)
    if (m.next == Next::nothing) request_sp(m.fill, m.doc, false);
}

void macro_ft(Man& m, const RoffLine& line) {
    request_ft(m.fonts, line.args.empty() ? std::string_view() : std::string_view(line.args[0]));
}

// ---- Footers ----------------------------------------------------------------------------

constexpr std::string_view kUcNames[8] = {"3rd Berkeley Distribution", "", "", "3rd Berkeley Distribution",
                                          "4th Berkeley Distribution", "4.2 Berkeley Distribution",
                                          "4.3 Berkeley Distribution", "4.4 Berkeley Distribution"};
constexpr std::string_view kAtNames[8] = {"7th Edition", "", "", "7th Edition", "System III", "System V", "", ""};

// ---- Links and synopses ---------------------------------------------------------------------

// Whether an address may be a link: one to the web or to a mail box. A page's address
// of anything else (a file of its own tree, a script) is shown, not followed.
bool is_linkable(std::string_view address) {
    for (std::string_view scheme : {"http://", "https://", "ftp://", "mailto:"}) {
        if (address.substr(0, scheme.size()) == scheme) return true;
    }
    return false;
}

void start_link(Man& m, const RoffLine& line, std::string_view scheme) {
    if (line.args.empty()) return;
    prepare_content(m, true);
    std::string address = plain_text(m.roff, line.args[0]);
    m.link_shown = address;
    // A mail address given as a web address is taken for what it is.
    if (scheme.empty() && address.find('@') != std::string::npos && address.find('/') == std::string::npos) {
        scheme = "mailto:";
    }
    m.link_target = std::string(scheme) + address;
    m.link_open = true;
    m.link_has_text = false;
    m.link_followed = is_linkable(m.link_target);
    if (m.link_followed) m.doc.link_start(m.link_target);
}

void end_link(Man& m, const RoffLine& line) {
    if (!m.link_open) return;
    if (!m.link_has_text) m.doc.text(m.fonts.current, m.link_shown);
    if (m.link_followed) m.doc.link_end();
    m.link_open = false;
    if (!line.args.empty()) {
        // What follows the link (a full stop, a comma) joins it.
        m.doc.no_space();
        bool continued;
        write(m, joined(line.args), continued);
    }
    if (m.fill) m.doc.space();
}

void macro_UR(Man& m, const RoffLine& l) { start_link(m, l, ""); }
void macro_MT(Man& m, const RoffLine& l) { start_link(m, l, "mailto:"); }
void macro_UE(Man& m, const RoffLine& l) { end_link(m, l); }

// .HR address [text [after]] (the Plan 9 manual's): the text, or the address, leading to
// the address when it may be a link; what follows joined to it.
void macro_HR(Man& m, const RoffLine& line) {
    if (line.args.empty()) return;
    start_line(m, {}, &line.args);
    bool continued = false;
    const std::string address = plain_text(m.roff, line.args[0]);
    bool followed = is_linkable(address);
    if (followed) m.doc.link_start(address);
    write(m, line.args[line.args.size() > 1 ? 1 : 0], continued);
    if (followed) m.doc.link_end();
    if (line.args.size() > 2) write(m, line.args[2], continued);
    end_line(m, continued);
}

void macro_SY(Man& m, const RoffLine& line) {
    paragraph(m, line);
    m.doc.open(NodeKind::synopsis);
    if (line.args.empty()) return;
    start_line(m, line.args[0]);
    FontState saved = m.fonts;
    m.fonts.set(kBold);
    bool continued;
    write(m, line.args[0], continued);
    m.fonts = saved;
    m.doc.space();
}

void macro_YS(Man& m, const RoffLine& l) { paragraph(m, l); }

void macro_OP(Man& m, const RoffLine& line) {
    if (line.args.empty()) return;
    start_line(m, line.args[0]);
    FontState saved = m.fonts;
    bool continued;
    m.fonts.current = 0;
    write(m, "[", continued);
    m.fonts.current = kBold;
    write(m, line.args[0], continued);
    if (line.args.size() > 1) {
        m.fonts.current = 0;
        write(m, " ", continued);
        m.fonts.current = kItalic;
        write(m, joined(line.args, 1), continued);
    }
    m.fonts.current = 0;
    write(m, "]", continued);
    m.fonts = saved;
    end_line(m, false);
}

// .UC and .AT: the system a page comes from, shown where the footer names its source.
void origin(Man& m, const RoffLine& line, const std::string_view (&names)[8]) {
    int n = line.args.empty() ? 0 : std::atoi(line.args[0].c_str());
    std::string_view name = n >= 0 && n < 8 ? names[n] : std::string_view();
    m.title.source = std::string(name.empty() ? names[0] : name);
}

void macro_UC(Man& m, const RoffLine& l) { origin(m, l, kUcNames); }

void macro_AT(Man& m, const RoffLine& l) {
    origin(m, l, kAtNames);
    if (m.title.source == "System V" && l.args.size() > 1) m.title.source += " Release " + l.args[1];
}

// .EQ: the lines up to .EN are an equation, set apart in the text around it.
void macro_EQ(Man& m, const RoffLine&) {
    std::string mathml = m.equations.read_block();
    if (mathml.empty()) return;
    start_line(m, {});
    m.doc.equation(mathml);
    end_line(m, false);
}

void macro_TS(Man& m, const RoffLine&) {
    prepare_content(m, false);
    end_text(m);
    render_table(m.roff, m.doc, m.fonts);
}

void ignore(Man&, const RoffLine&) {}

struct Macro {
    std::string_view name;
    Handler handler;
};

// The macros and formatting requests of man(7) pages, sorted by name. Layout requests a
// browser does its own way are understood and ignored. Beside man(7)'s own: the displays
// of ms (.DS, .DE), the Plan 9 manual's (.L, .LR, .HR, .TF ...), and the web macros that
// only set an HTML page's looks or anchors.
constexpr Macro kMacros[] = {
    {"AT", macro_AT},    {"B", macro_B},     {"BI", macro_BI},   {"BL", macro_BL},   {"BR", macro_BR},
    {"DE", macro_fi},    {"DS", macro_nf},   {"DT", ignore},     {"EE", macro_EE},   {"EN", ignore},
    {"EQ", macro_EQ},    {"EX", macro_EX},
    {"HP", macro_HP},    {"HR", macro_HR},   {"I", macro_I},     {"IB", macro_IB},   {"IL", macro_IL},
    {"IMG", ignore},     {"IP", macro_IP},   {"IR", macro_IR},   {"IX", ignore},     {"L", macro_L},
    {"LB", macro_LB},    {"LI", macro_LI},   {"LINKSTYLE", ignore},                  {"LP", paragraph},
    {"LR", macro_LR},    {"ME", macro_UE},   {"MR", macro_MR},   {"MT", macro_MT},   {"OP", macro_OP},
    {"P", paragraph},    {"PD", ignore},     {"PIMG", ignore},   {"PP", paragraph},
    {"RB", macro_RB},    {"RE", macro_RE},   {"RI", macro_RI},   {"RL", macro_RL},   {"RS", macro_RS},
    {"SB", macro_SB},    {"SH", macro_SH},   {"SM", macro_SM},   {"SS", macro_SS},
    {"SY", macro_SY},    {"TF", ignore},     {"TH", macro_TH},   {"TP", macro_TP},   {"TQ", macro_TQ},
    {"TS", macro_TS},    {"UC", macro_UC},   {"UE", macro_UE},   {"UN", ignore},     {"UR", macro_UR},
    {"YS", macro_YS},
    {"ad", ignore},      {"bd", ignore},     {"bp", ignore},     {"br", macro_br},
    {"ce", ignore},      {"ch", ignore},     {"cs", ignore},     {"cu", ignore},
    {"da", ignore},      {"di", ignore},     {"ev", ignore},     {"fam", ignore},
    {"fc", ignore},      {"fi", macro_fi},   {"fp", ignore},     {"ft", macro_ft},
    {"hc", ignore},      {"hla", ignore},    {"hlm", ignore},    {"hw", ignore},
    {"hy", ignore},      {"hym", ignore},    {"hys", ignore},    {"in", ignore},
    {"kern", ignore},    {"lc", ignore},     {"lg", ignore},     {"ll", ignore},
    {"ls", ignore},      {"lt", ignore},     {"mc", ignore},     {"mk", ignore},
    {"na", ignore},      {"ne", ignore},     {"nf", macro_nf},   {"nh", ignore},
    {"nm", ignore},      {"nn", ignore},     {"ns", ignore},     {"pc", ignore},
    {"pl", ignore},      {"pn", ignore},     {"po", ignore},     {"ps", ignore},
    {"rj", ignore},      {"rs", ignore},     {"rt", ignore},     {"sp", macro_sp},
    {"ss", ignore},      {"sv", ignore},     {"ta", ignore},     {"tc", ignore},
    {"ti", ignore},      {"uf", ignore},     {"ul", ignore},     {"vs", ignore},
    {"wh", ignore},
};

static_assert(is_sorted_by_name(kMacros), "kMacros must be sorted by name");
constexpr NameTable kMacroTable(kMacros);

const Macro* find_macro(std::string_view name) { return kMacroTable.find(name); }

struct Volume {
    char digit;
    std::string_view name;
};

constexpr Volume kVolumes[] = {
    {'1', "General Commands Manual"}, {'2', "System Calls Manual"},
    {'3', "Library Functions Manual"}, {'4', "Device Drivers Manual"},
    {'5', "File Formats Manual"},     {'6', "Games Manual"},
    {'7', "Miscellaneous Information Manual"}, {'8', "System Manager's Manual"},
    {'9', "Kernel Developer's Manual"},
};

}  // namespace

bool is_man_macro(std::string_view name) { return find_macro(name) != nullptr; }

bool man_keeps_own(std::string_view name) {
    for (std::string_view own : {"ME", "MR", "MT", "UE", "UR"}) {
        if (name == own) return true;
    }
    return false;
}

void write_header(DocumentBuilder& doc, const TitleLine& title) {
    std::string name = title.title + "(" + title.section + ")";
    doc.bar(NodeKind::header, name, title.manual, name);
}

void write_footer(DocumentBuilder& doc, const TitleLine& title) {
    doc.bar(NodeKind::footer, title.source, title.date, title.title + "(" + title.section + ")");
}

std::string_view volume_name(std::string_view section) {
    for (const Volume& v : kVolumes) {
        if (section.size() == 1 && section[0] == v.digit) return v.name;
    }
    return {};
}

void render_man(Roff& roff, DocumentBuilder& doc, TitleLine& title, bool first_section_only) {
    Man m(roff, doc, title, first_section_only);
    // The thread's line, page after page, for the room its arguments have.
    thread_local RoffLine line;
    while (!m.done && roff.next(line)) {
        if (!line.is_call) {
            text_line(m, line);
            continue;
        }
        if (const Macro* macro = find_macro(line.name)) {
            macro->handler(m, line);
        } else {
            unknown_macro(m, line);
        }
    }
    if (m.link_open && m.link_followed) doc.link_end();
    doc.close_to(0);
    if (first_section_only || !title.seen) return;
    write_footer(doc, title);
}
