// Writing the tree as HTML.
#include "modern/html/writer.h"

#include <iterator>
#include <string>

#include "output/html_escape.h"

namespace {

// What a node's start tag carries besides its fixed part.
enum class Attributes : uint8_t {
    none,
    heading,  // id="the node's text", and an empty link to itself first (a stylesheet shows it)
    href,   // href="the node's text"
    classes,  // class="the node's text", when it has any
    marker,   // a list's marker, the node's text (an en dash when it has none)
    cell,   // a table cell's classes, spans and width
    table,  // a table's classes, and a border when it is framed (for viewers without styles)
};

// The text a node of a kind holds itself, written after its start tag.
enum class OwnText : uint8_t { none, escaped, markup };

// How each kind is written: the start tag (up to its attributes and the '>' after them,
// when it has any) and the end tag. A kind that holds its own text writes it: a bar's
// part as text, an equation's MathML as it is.
struct Element {
    NodeKind kind;
    std::string_view start;
    Attributes attributes;
    std::string_view end;
    OwnText own_text = OwnText::none;
};

constexpr Element kElements[] = {
    {NodeKind::page, "", Attributes::none, ""},
    // (A block inside, so that a viewer that knows no <header> breaks the line there too.)
    {NodeKind::header, "<header><div>", Attributes::none, "</div></header>\n"},
    {NodeKind::footer, "<footer><div>", Attributes::none, "</div></footer>\n"},
    {NodeKind::bar_left, "<span class=\"left\">", Attributes::none, "</span> ", OwnText::escaped},
    {NodeKind::bar_center, "<span class=\"center\">", Attributes::none, "</span> ", OwnText::escaped},
    {NodeKind::bar_right, "<span class=\"right\">", Attributes::none, "</span>", OwnText::escaped},
    {NodeKind::body, "<main>", Attributes::none, "</main>\n"},
    {NodeKind::section_heading, "<h2", Attributes::heading, "</h2>\n"},
    {NodeKind::subsection_heading, "<h3", Attributes::heading, "</h3>\n"},
    {NodeKind::section, "<div class=\"sect\">", Attributes::none, "</div>\n"},
    {NodeKind::paragraph, "<p>", Attributes::none, "</p>\n"},
    // A parser drops the line end right after <pre>: this one, not the text's own.
    {NodeKind::preformatted, "<pre>\n", Attributes::none, "</pre>\n"},
    // (Indented without a stylesheet too.)
    {NodeKind::indent, "<blockquote class=\"rs\">", Attributes::none, "</blockquote>\n"},
    {NodeKind::indented_paragraph, "<blockquote class=\"ip\">", Attributes::none, "</blockquote>\n"},
    {NodeKind::hanging_paragraph, "<div class=\"hp\">", Attributes::none, "</div>\n"},
    {NodeKind::synopsis, "<div class=\"sy\">", Attributes::none, "</div>\n"},
    {NodeKind::tag_list, "<dl>", Attributes::none, "</dl>\n"},
    {NodeKind::term, "<dt>", Attributes::none, "</dt>\n"},
    {NodeKind::definition, "<dd>", Attributes::none, "</dd>\n"},
    {NodeKind::bullet_list, "<ul>", Attributes::none, "</ul>\n"},
    {NodeKind::dash_list, "<ul style=\"list-style-type: '", Attributes::marker, "</ul>\n"},
    {NodeKind::enumerated_list, "<ol>", Attributes::none, "</ol>\n"},
    {NodeKind::list_item, "<li>", Attributes::none, "</li>\n"},
    {NodeKind::plain_list, "<div>", Attributes::none, "</div>\n"},
    {NodeKind::plain_item, "<div>", Attributes::none, "</div>\n"},
    {NodeKind::table, "<table", Attributes::table, "</table>\n"},
    {NodeKind::table_row, "<tr", Attributes::classes, "</tr>\n"},
    {NodeKind::table_cell, "<td", Attributes::cell, "</td>\n"},
    {NodeKind::text, "", Attributes::none, ""},
    {NodeKind::line_break, "<br>\n", Attributes::none, ""},
    {NodeKind::link, "<a", Attributes::href, "</a>"},
    {NodeKind::reference, "<a", Attributes::href, "</a>"},
    {NodeKind::equation, "", Attributes::none, "", OwnText::markup},
};
static_assert(rows_by_kind(kElements), "an element for every node kind, in the order of NodeKind");

// The elements' start and end tags in arrays of one size, for Sink::put_fixed.
struct Markup {
    char bytes[48] = {};
    uint8_t length = 0;
    constexpr Markup() = default;
    constexpr explicit Markup(std::string_view text) { append(text); }
    constexpr void append(std::string_view text) {
        for (char c : text) bytes[length++] = c;
    }
};
struct ElementMarkup {
    Markup start[kNodeKinds], end[kNodeKinds];
    constexpr ElementMarkup() {
        for (size_t i = 0; i < kNodeKinds; ++i) {
            start[i] = Markup(kElements[i].start);
            end[i] = Markup(kElements[i].end);
        }
    }
};
constexpr ElementMarkup kMarkup;

void put_markup(Sink& out, const Markup& markup) {
    if (markup.length != 0) out.put_fixed(markup.bytes, markup.length);
}

// The elements a font is written with, outermost first, for each mix of its bits.
struct FontTable {
    Markup open[16], close[16];
    constexpr FontTable() {
        constexpr struct {
            uint8_t bit;
            std::string_view open, close;
        } kTags[] = {
            {kSmall, "<small>", "</small>"},
            {kMono, "<code>", "</code>"},
            {kBold, "<b>", "</b>"},
            {kItalic, "<i>", "</i>"},
        };
        for (unsigned font = 0; font < 16; ++font) {
            for (const auto& tag : kTags) {
                if (font & tag.bit) open[font].append(tag.open);
            }
            for (size_t t = std::size(kTags); t-- > 0;) {
                if (font & kTags[t].bit) close[font].append(kTags[t].close);
            }
        }
    }
};
constexpr FontTable kFonts;

// Text in a font other than roman (roman text is the escaped text alone).
void write_text(Sink& out, uint8_t font, std::string_view text) {
    put_markup(out, kFonts.open[font & 15]);
    put_escaped(out, text);
    put_markup(out, kFonts.close[font & 15]);
}

// Whether the blank-separated words of `text` hold `word`.
bool has_word(std::string_view text, std::string_view word) {
    for (size_t at = text.find(word); at != std::string_view::npos; at = text.find(word, at + 1)) {
        size_t end = at + word.size();
        if ((at == 0 || text[at - 1] == ' ') && (end == text.size() || text[end] == ' ')) return true;
    }
    return false;
}

void write_attributes(Sink& out, const Document& doc, const Node& node, Attributes attributes) {
    std::string_view text = doc.text_of(node);
    switch (attributes) {
        case Attributes::none: return;
        case Attributes::href:
            out.put(" href=\"");
            put_escaped(out, text, true);
            out.put('"');
            return;
        case Attributes::marker:
            put_escaped(out, text.empty() ? std::string_view("\u2013") : text, true);
            out.put("  '\"");
            return;
        case Attributes::heading:
            out.put(" id=\"");
            put_escaped(out, text, true);
            out.put("\"><a class=\"self\" href=\"#");
            put_escaped(out, text, true);
            out.put("\"></a");
            return;
        case Attributes::classes:
        case Attributes::cell:
        case Attributes::table:
            if (!text.empty()) {
                out.put(" class=\"");
                put_escaped(out, text, true);
                out.put('"');
            }
            if (attributes == Attributes::table) {
                for (std::string_view framed : {"box", "all", "dbox"}) {
                    if (has_word(text, framed)) {
                        out.put(" border=\"1\"");
                        return;
                    }
                }
            }
            if (attributes != Attributes::cell) return;
            if (node.colspan > 1) out.put(" colspan=\"" + std::to_string(node.colspan) + "\"");
            if (node.rowspan > 1) out.put(" rowspan=\"" + std::to_string(node.rowspan) + "\"");
            if (node.width > 0) out.put(" style=\"width:" + std::to_string(node.width) + "ch\"");
            return;
    }
}

// The start of a node other than text.
void write_start(Sink& out, const Document& doc, const Node& node) {
    const Element& element = kElements[static_cast<size_t>(node.kind)];
    put_markup(out, kMarkup.start[static_cast<size_t>(node.kind)]);
    if (element.attributes != Attributes::none) {
        write_attributes(out, doc, node, element.attributes);
        out.put('>');
    }
    if (element.own_text == OwnText::escaped) put_escaped(out, doc.text_of(node));
    if (element.own_text == OwnText::markup) out.put(doc.text_of(node));
}

}  // namespace

void write_html(const Document& doc, Sink& out) {
    // The tree's order is the page's: each node's start, then its subtree, then its end.
    // Before a node, the nodes that end there: the one before it and its parents, up to
    // the new node's parent.
    auto end_of = [&](uint32_t i) -> const Markup& { return kMarkup.end[static_cast<size_t>(doc[i].kind)]; };
    for (uint32_t i = 1; i < doc.size(); ++i) {
        const Node& node = doc[i];
        for (uint32_t at = i - 1; at != node.parent; at = doc[at].parent) put_markup(out, end_of(at));
        if (node.kind != NodeKind::text) {
            write_start(out, doc, node);
        } else if (node.font == 0) {
            put_escaped(out, doc.text_of(node));
        } else {
            write_text(out, node.font, doc.text_of(node));
        }
    }
    for (uint32_t at = doc.size() - 1; at != 0; at = doc[at].parent) put_markup(out, end_of(at));
}
