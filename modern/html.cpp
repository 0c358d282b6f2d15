// The HTML writer.
#include "modern/html.h"

#include <algorithm>

namespace {

// Blocks whose content is inline text; any other block gets a paragraph for its text.
constexpr std::string_view kTextBlocks[] = {"caption", "dt", "h1", "h2", "h3", "h4", "p", "pre", "td", "th"};

bool takes_text(std::string_view tag) {
    return std::find(std::begin(kTextBlocks), std::end(kTextBlocks), tag) != std::end(kTextBlocks);
}

// The elements a font is written with, outermost first.
constexpr struct {
    uint8_t bit;
    std::string_view open, close;
} kFontTags[] = {
    {kSmall, "<small>", "</small>"},
    {kMono, "<code>", "</code>"},
    {kBold, "<b>", "</b>"},
    {kItalic, "<i>", "</i>"},
};

void open_font(std::string& out, uint8_t font) {
    for (const auto& tag : kFontTags) {
        if (font & tag.bit) out += tag.open;
    }
}

void close_font(std::string& out, uint8_t font) {
    for (auto it = std::rbegin(kFontTags); it != std::rend(kFontTags); ++it) {
        if (font & it->bit) out += it->close;
    }
}

bool is_name_byte(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.' || c == ':' || c == '+' || c == '@';
}

bool is_alnum(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

struct Reference {
    size_t start, end;  // in the gathered text: name(section)
    std::string href;
};

// The references name(section) in `text` that lead somewhere.
std::vector<Reference> find_references(std::string_view text, const ReferenceResolver& resolve) {
    std::vector<Reference> found;
    for (size_t open = text.find('('); open != std::string_view::npos; open = text.find('(', open + 1)) {
        size_t close = open + 1;
        if (close >= text.size() || text[close] < '0' || text[close] > '9') continue;
        while (close < text.size() && close - open <= 10 && is_alnum(static_cast<unsigned char>(text[close]))) ++close;
        if (close >= text.size() || text[close] != ')') continue;
        size_t start = open;
        while (start > 0 && is_name_byte(static_cast<unsigned char>(text[start - 1]))) --start;
        // A name begins with a letter, digit or underscore: "-man(7)" is no reference.
        if (start == open || (!is_alnum(static_cast<unsigned char>(text[start])) && text[start] != '_')) continue;
        if (!found.empty() && start < found.back().end) continue;
        std::string href = resolve(text.substr(start, open - start), text.substr(open + 1, close - open - 1));
        if (!href.empty()) found.push_back({start, close + 1, std::move(href)});
    }
    return found;
}

// Appends one UTF-8 character's worth of checks: returns the length of the sequence at
// `i` and whether it may stand in a page.
size_t sequence(std::string_view s, size_t i, bool& allowed) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    allowed = true;
    if (c < 0x80) {
        allowed = c >= 0x20 ? c != 0x7F : (c == '\n' || c == '\t');
        return 1;
    }
    size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    if (length == 1 || i + length > s.size()) {
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
    // C1 controls, surrogates and noncharacters are parse errors in a page.
    if (cp < 0x80 || (cp >= 0x80 && cp < 0xA0) || (cp >= 0xD800 && cp < 0xE000) || cp > 0x10FFFF ||
        (cp >= 0xFDD0 && cp <= 0xFDEF) || (cp & 0xFFFE) == 0xFFFE) {
        allowed = false;
    }
    return length;
}

}  // namespace

void append_escaped(std::string& out, std::string_view text, bool attribute) {
    size_t i = 0;
    while (i < text.size()) {
        size_t run = i;
        while (run < text.size()) {
            unsigned char c = static_cast<unsigned char>(text[run]);
            if (c < 0x20 || c >= 0x7F || c == '&' || c == '<' || c == '>' || (attribute && c == '"')) break;
            ++run;
        }
        out.append(text, i, run - i);
        i = run;
        if (i >= text.size()) break;
        switch (text[i]) {
            case '&': out += "&amp;"; ++i; continue;
            case '<': out += "&lt;"; ++i; continue;
            case '>': out += "&gt;"; ++i; continue;
            case '"': out += "&quot;"; ++i; continue;
            default: break;
        }
        bool allowed;
        size_t length = sequence(text, i, allowed);
        if (allowed) out.append(text, i, length);
        else if (static_cast<unsigned char>(text[i]) >= 0x80) out += "\xEF\xBF\xBD";
        i += length;
    }
}

void HtmlWriter::open(std::string_view tag, std::string_view attributes) {
    flush();
    blocks.push_back({tag, takes_text(tag)});
    if (capture != nullptr) return;
    std::string markup = "<";
    markup += tag;
    markup += attributes;
    // A parser drops the line end right after <pre>: this one, not the text's own.
    markup += tag == "pre" ? ">\n" : ">";
    out.put(markup);
}

void HtmlWriter::close() {
    flush();
    if (blocks.empty()) return;
    std::string_view tag = blocks.back().tag;
    blocks.pop_back();
    if (capture != nullptr) {
        if (!capture->empty() && capture->back() != ' ') *capture += ' ';
        return;
    }
    std::string markup = "</";
    markup += tag;
    markup += ">\n";
    out.put(markup);
}

void HtmlWriter::close_to(size_t depth) {
    while (blocks.size() > depth) close();
}

void HtmlWriter::text(uint8_t font, std::string_view utf8) {
    if (utf8.empty()) return;
    if (blocks.empty() || !blocks.back().takes_text) open("p");
    if (space_pending) {
        space_pending = false;
        if (!pending.empty()) text(0, " ");
    }
    if (!pending.empty() && pending.back().kind == Piece::words && pending.back().font == font) {
        pending.back().text += utf8;
    } else {
        pending.push_back({Piece::words, font, std::string(utf8)});
    }
}

void HtmlWriter::space() {
    if (!pending.empty()) space_pending = true;
}

void HtmlWriter::line_break() {
    if (pending.empty()) return;
    space_pending = false;
    pending.push_back({Piece::line_break, 0, {}});
}

void HtmlWriter::link_start(std::string_view href) {
    if (link_open) link_end();
    if (blocks.empty() || !blocks.back().takes_text) open("p");
    if (space_pending) {
        space_pending = false;
        if (!pending.empty()) text(0, " ");
    }
    pending.push_back({Piece::link_start, 0, std::string(href)});
    link_open = true;
}

void HtmlWriter::link_end() {
    if (!link_open) return;
    pending.push_back({Piece::link_end, 0, {}});
    link_open = false;
}

void HtmlWriter::raw(std::string_view markup) {
    flush();
    if (capture == nullptr) out.put(markup);
}

void HtmlWriter::flush() {
    if (link_open) link_end();
    space_pending = false;
    if (pending.empty()) return;
    if (capture != nullptr) {
        for (const Piece& piece : pending) {
            if (piece.kind == Piece::words) *capture += piece.text;
            else if (piece.kind == Piece::line_break) *capture += ' ';
        }
        pending.clear();
        return;
    }
    // The text outside external links, run together, is where references are looked for.
    std::string joined;
    std::vector<size_t> offsets(pending.size(), std::string::npos);
    bool inside = false;
    for (size_t k = 0; k < pending.size(); ++k) {
        const Piece& piece = pending[k];
        if (piece.kind == Piece::link_start) inside = true;
        if (piece.kind == Piece::link_end) inside = false;
        // Breaks and links part the text: no reference runs across them.
        if (piece.kind != Piece::words) joined += '\n';
        if (piece.kind != Piece::words || inside) continue;
        offsets[k] = joined.size();
        joined += piece.text;
    }
    std::vector<Reference> references;
    if (resolve) references = find_references(joined, resolve);

    std::string html;
    size_t next = 0;            // the next reference to open
    bool in_reference = false;  // its anchor is open
    for (size_t k = 0; k < pending.size(); ++k) {
        const Piece& piece = pending[k];
        switch (piece.kind) {
            case Piece::line_break: html += "<br>\n"; continue;
            case Piece::link_start:
                html += "<a href=\"";
                append_escaped(html, piece.text, true);
                html += "\">";
                continue;
            case Piece::link_end: html += "</a>"; continue;
            case Piece::words: break;
        }
        std::string_view text = piece.text;
        size_t at = offsets[k];
        size_t done = 0;
        while (done < text.size()) {
            size_t position = at == std::string::npos ? std::string::npos : at + done;
            size_t stop = text.size();
            if (position != std::string::npos && next < references.size()) {
                const Reference& r = references[next];
                if (!in_reference && r.start <= position) {
                    html += "<a href=\"";
                    append_escaped(html, r.href, true);
                    html += "\">";
                    in_reference = true;
                }
                size_t boundary = in_reference ? r.end : r.start;
                if (boundary > position) stop = std::min(stop, done + (boundary - position));
            }
            open_font(html, piece.font);
            append_escaped(html, text.substr(done, stop - done));
            close_font(html, piece.font);
            done = stop;
            if (in_reference && at != std::string::npos && at + done >= references[next].end) {
                html += "</a>";
                in_reference = false;
                ++next;
            }
        }
    }
    if (in_reference) html += "</a>";
    pending.clear();
    out.put(html);
}

std::string HtmlWriter::heading_id(std::string_view text) {
    std::string id;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        bool no_break_space = c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0xA0;
        if (c == ' ' || c == '\t' || c == '\n' || no_break_space) {
            if (!id.empty() && id.back() != '_') id += '_';
            i += no_break_space;
        } else {
            id += static_cast<char>(c);
        }
    }
    while (!id.empty() && id.back() == '_') id.pop_back();
    if (id.empty()) id = "section";
    // Unique without regard to letter case, as a help file keeps them.
    auto folded = [](std::string s) {
        for (char& c : s) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        return s;
    };
    std::string unique = id;
    for (int n = 2; !ids.insert(folded(unique)).second; ++n) unique = id + "_" + std::to_string(n);
    return unique + id_suffix;
}
