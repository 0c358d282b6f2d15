// The HTML writer.
#include "modern/html/html.h"

#include <algorithm>

#include "model/letters.h"

namespace {

// Blocks whose content is inline text; any other block gets a paragraph for its text.
constexpr std::string_view kTextBlocks[] = {"caption", "dt", "h1", "h2", "h3", "h4", "p", "pre", "td", "th"};

bool takes_text(std::string_view tag) {
    for (std::string_view text_block : kTextBlocks) {
        if (text_block[0] == tag[0] && text_block == tag) return true;
    }
    return false;
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

// A tag's name, a letter or a few: put a byte at a time, which costs less than a copy.
void put_name(Sink& out, std::string_view tag) {
    for (char c : tag) out.put(c);
}

void open_font(Sink& out, uint8_t font) {
    if (font == 0) return;
    for (const auto& tag : kFontTags) {
        if (font & tag.bit) out.put(tag.open);
    }
}

void close_font(Sink& out, uint8_t font) {
    if (font == 0) return;
    for (auto it = std::rbegin(kFontTags); it != std::rend(kFontTags); ++it) {
        if (font & it->bit) out.put(it->close);
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

// Identification wants the NAME section, a line or a few; a page that makes more (with a
// loop) gets its capture cut here, at the end of a character.
constexpr size_t kCaptureLimit = 64 << 10;

// Plain text for a capture: what a page may not hold is left out as append_escaped
// leaves it out, and line ends and tabs become blanks.
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

}  // namespace

namespace {

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

void TextBuffer::grow(size_t more) {
    size_t capacity = std::max({capacity_ * 2, size_ + more, size_t{64}});
    std::unique_ptr<char[]> data(new char[capacity]);
    if (size_ > 0) std::memcpy(data.get(), data_.get(), size_);
    data_ = std::move(data);
    capacity_ = capacity;
}

namespace {

// The room of the last writer a thread was done with, for its next one.
struct Room {
    bool held = false;
    TextBuffer pending_text, inline_buffer;
    std::vector<HtmlWriter::Piece> pending;
    std::vector<HtmlWriter::Block> blocks;
    std::string id, id_attribute;
};
thread_local Room spare_room;

}  // namespace

HtmlWriter::HtmlWriter(Sink& sink) : out(sink) {
    Room& room = spare_room;
    if (!room.held) {
        pending_text = TextBuffer(2048);
        inline_buffer = TextBuffer(256);
        pending.reserve(64);
        blocks.reserve(16);
        return;
    }
    room.held = false;
    pending_text = std::move(room.pending_text);
    inline_buffer = std::move(room.inline_buffer);
    pending = std::move(room.pending);
    blocks = std::move(room.blocks);
    id_ = std::move(room.id);
    id_attribute_ = std::move(room.id_attribute);
}

HtmlWriter::~HtmlWriter() {
    Room& room = spare_room;
    if (room.held) return;
    room.held = true;
    pending_text.clear();
    room.pending_text = std::move(pending_text);
    room.inline_buffer = std::move(inline_buffer);
    pending.clear();
    room.pending = std::move(pending);
    blocks.clear();
    room.blocks = std::move(blocks);
    room.id = std::move(id_);
    room.id_attribute = std::move(id_attribute_);
}

void append_escaped(std::string& out, std::string_view text, bool attribute) {
    escape(text, attribute, [&](const char* data, size_t length) { out.append(data, length); });
}

void put_escaped(Sink& out, std::string_view text, bool attribute) {
    escape(text, attribute, [&](const char* data, size_t length) { out.put(data, length); });
}

void HtmlWriter::open(std::string_view tag, std::string_view attributes) {
    flush();
    blocks.push_back({tag, takes_text(tag)});
    if (capture != nullptr) return;
    out.put('<');
    put_name(out, tag);
    // (An empty view may have no data at all, which a copy must not be handed.)
    if (!attributes.empty()) out.put(attributes);
    out.put('>');
    // A parser drops the line end right after <pre>: this one, not the text's own.
    if (tag == "pre") out.put('\n');
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
    out.put("</");
    put_name(out, tag);
    out.put(">\n");
}

void HtmlWriter::close_to(size_t depth) {
    while (blocks.size() > depth) close();
}

void HtmlWriter::start_text() {
    if (blocks.empty() || !blocks.back().takes_text) open("p");
    if (space_pending) {
        space_pending = false;
        if (!pending.empty()) add_words(0, " ");
    }
}

void HtmlWriter::add_mark(Piece::Kind kind, std::string_view href) {
    pending_text.push_back('\n');
    pending.push_back({kind, 0, static_cast<uint32_t>(pending_text.size()), static_cast<uint32_t>(href.size())});
    pending_text.append(href);
}

void HtmlWriter::line_break() {
    if (pending.empty()) return;
    space_pending = false;
    add_mark(Piece::break_here, {});
}

void HtmlWriter::link_start(std::string_view href) {
    if (link_open) link_end();
    start_text();
    add_mark(Piece::link_opens, href);
    link_open = true;
}

void HtmlWriter::link_end() {
    if (!link_open) return;
    add_mark(Piece::link_closes, {});
    link_open = false;
}

void HtmlWriter::raw(std::string_view markup) {
    flush();
    if (capture == nullptr) out.put(markup);
}

void HtmlWriter::write_pending() {
    if (link_open) link_end();
    space_pending = false;
    if (pending.empty()) return;
    std::string_view all = pending_text.view();
    if (capture != nullptr) {
        for (const Piece& piece : pending) {
            if (piece.kind == Piece::words) append_plain(*capture, all.substr(piece.start, piece.length));
            else if (piece.kind == Piece::break_here) *capture += ' ';
            if (capture->size() >= kCaptureLimit) break;
        }
        if (capture->size() > kCaptureLimit) {
            size_t end = kCaptureLimit;
            while (end > 0 && (static_cast<unsigned char>((*capture)[end]) & 0xC0) == 0x80) --end;
            capture->resize(end);
        }
        pending.clear();
        pending_text.clear();
        return;
    }
    // References are looked for in the text as gathered; a line feed before every break
    // and link keeps them from running across one. Those inside an external link (its
    // href, its text) are dropped.
    std::vector<Reference> references;
    if (resolve) references = find_references(all, resolve);
    if (!references.empty()) {
        std::vector<Reference> kept;
        bool inside = false;
        size_t r = 0;
        for (const Piece& piece : pending) {
            if (piece.kind == Piece::link_opens) inside = true;
            if (piece.kind == Piece::link_closes) inside = false;
            size_t end = piece.start + piece.length;
            for (; r < references.size() && references[r].start < end; ++r) {
                if (piece.kind == Piece::words && !inside && references[r].start >= piece.start) {
                    kept.push_back(std::move(references[r]));
                }
            }
        }
        references.swap(kept);
    }

    size_t next = 0;            // the next reference to open
    bool in_reference = false;  // its anchor is open
    for (const Piece& piece : pending) {
        const std::string_view text(all.data() + piece.start, piece.length);
        switch (piece.kind) {
            case Piece::break_here: out.put("<br>\n"); continue;
            case Piece::link_opens:
                out.put("<a href=\"");
                put_escaped(out, text, true);
                out.put("\">");
                continue;
            case Piece::link_closes: out.put("</a>"); continue;
            case Piece::words: break;
        }
        size_t done = 0;
        while (done < text.size()) {
            size_t position = piece.start + done;
            size_t stop = text.size();
            if (next < references.size()) {
                const Reference& r = references[next];
                if (!in_reference && r.start <= position) {
                    out.put("<a href=\"");
                    put_escaped(out, r.href, true);
                    out.put("\">");
                    in_reference = true;
                }
                size_t boundary = in_reference ? r.end : r.start;
                if (boundary > position) stop = std::min(stop, done + (boundary - position));
            }
            open_font(out, piece.font);
            put_escaped(out, std::string_view(text.data() + done, stop - done));
            close_font(out, piece.font);
            done = stop;
            if (in_reference && piece.start + done >= references[next].end) {
                out.put("</a>");
                in_reference = false;
                ++next;
            }
        }
    }
    if (in_reference) out.put("</a>");
    pending.clear();
    pending_text.clear();
}

std::string_view HtmlWriter::make_id(std::string_view text) {
    // The text as the page will hold it, so that ids that differ here differ there too.
    std::string& id = id_;
    id.clear();
    append_plain(id, text);
    // The id is made in place, never longer than that text: each byte is read before
    // anything is written over it.
    size_t length = 0;
    for (size_t i = 0; i < id.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(id[i]);
        bool no_break_space = c == 0xC2 && i + 1 < id.size() && static_cast<unsigned char>(id[i + 1]) == 0xA0;
        if (c == ' ' || c == '\t' || c == '\n' || no_break_space) {
            if (length > 0 && id[length - 1] != '_') id[length++] = '_';
            i += no_break_space;
        } else {
            id[length++] = static_cast<char>(c);
        }
    }
    while (length > 0 && id[length - 1] == '_') --length;
    id.resize(length);
    if (id.empty()) id = "section";
    // Unique without regard to letter case, as a help file keeps them.
    if (!ids.insert(lower_case(id)).second) {
        // The first free number after the run of those taken, found by doubling and then
        // halving: a page may repeat a heading many thousand times.
        auto taken = [&](size_t n) { return ids.count(lower_case(id + "_" + std::to_string(n))) != 0; };
        size_t low = 1, high = 2;  // `low` is taken (1 stands for the id alone)
        while (taken(high)) {
            low = high;
            high *= 2;
        }
        while (high - low > 1) {
            size_t middle = low + (high - low) / 2;
            (taken(middle) ? low : high) = middle;
        }
        id += "_" + std::to_string(high);
        ids.insert(lower_case(id));
    }
    id += id_suffix;
    return id;
}

void HtmlWriter::open_heading(std::string_view tag, std::string_view text) {
    id_attribute_ = " id=\"";
    append_escaped(id_attribute_, make_id(text), true);
    id_attribute_ += '"';
    open(tag, id_attribute_);
}
