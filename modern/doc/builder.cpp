// Building the document tree.
#include "modern/doc/builder.h"

#include <algorithm>

#include "model/letters.h"
#include "output/html_escape.h"

namespace {

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

// The room of the last builder a thread was done with, for its next one.
struct Room {
    bool held = false;
    TextBuffer scratch;
    std::vector<DocumentBuilder::Piece> pending;
    std::vector<uint32_t> blocks;
    std::string id;
};
thread_local Room spare_room;

}  // namespace

DocumentBuilder::DocumentBuilder(Document& doc) : doc_(doc) {
    doc_.clear();
    Room& room = spare_room;
    if (!room.held) {
        scratch_ = TextBuffer(256);
        pending_.reserve(64);
        blocks_.reserve(16);
        return;
    }
    room.held = false;
    scratch_ = std::move(room.scratch);
    pending_ = std::move(room.pending);
    blocks_ = std::move(room.blocks);
    id_ = std::move(room.id);
}

DocumentBuilder::~DocumentBuilder() {
    // Blocks a layer left open end with the page.
    for (uint32_t block : blocks_) doc_.close(block);
    doc_.close(0);
    Room& room = spare_room;
    if (room.held) return;
    room.held = true;
    room.scratch = std::move(scratch_);
    pending_.clear();
    room.pending = std::move(pending_);
    blocks_.clear();
    room.blocks = std::move(blocks_);
    room.id = std::move(id_);
}

uint32_t DocumentBuilder::open(NodeKind kind, std::string_view text) {
    flush();
    uint32_t index = doc_.add(parent(), kind, text);
    blocks_.push_back(index);
    text_here_ = takes_text(kind);
    return index;
}

void DocumentBuilder::open_cell(std::string_view classes, uint32_t colspan, uint32_t rowspan, uint16_t width) {
    Node& cell = doc_.nodes[open(NodeKind::table_cell, classes)];
    cell.colspan = colspan;
    cell.rowspan = rowspan;
    cell.width = width;
}

void DocumentBuilder::open_heading(NodeKind kind, std::string_view text) { open(kind, make_id(text)); }

void DocumentBuilder::close() {
    flush();
    if (blocks_.empty()) return;
    doc_.close(blocks_.back());
    blocks_.pop_back();
    text_here_ = !blocks_.empty() && takes_text(doc_[blocks_.back()].kind);
}

void DocumentBuilder::start_text() {
    if (!text_here_) open(NodeKind::paragraph);
    if (space_pending_) {
        space_pending_ = false;
        if (!pending_.empty()) add_words(0, " ");
    }
}

void DocumentBuilder::add_mark(Piece::Kind kind, std::string_view href) {
    if (pending_.empty()) pending_start_ = static_cast<uint32_t>(doc_.text.size());
    doc_.text.push_back('\n');
    pending_.push_back({kind, 0, static_cast<uint32_t>(doc_.text.size()), static_cast<uint32_t>(href.size())});
    doc_.text.append(href);
}

void DocumentBuilder::line_break() {
    if (pending_.empty()) return;
    space_pending_ = false;
    add_mark(Piece::break_here, {});
}

void DocumentBuilder::link_start(std::string_view href) {
    if (link_open_) link_end();
    start_text();
    add_mark(Piece::link_opens, href);
    link_open_ = true;
}

void DocumentBuilder::link_end() {
    if (!link_open_) return;
    add_mark(Piece::link_closes, {});
    link_open_ = false;
}

void DocumentBuilder::equation(std::string_view mathml) {
    start_text();
    add_mark(Piece::equation_here, mathml);
}

void DocumentBuilder::bar(NodeKind kind, std::string_view left, std::string_view center, std::string_view right) {
    flush();
    uint32_t bar = doc_.add(parent(), kind);
    const std::pair<NodeKind, std::string_view> parts[] = {
        {NodeKind::bar_left, left}, {NodeKind::bar_center, center}, {NodeKind::bar_right, right}};
    for (const auto& [part_kind, part_text] : parts) doc_.add(bar, part_kind, part_text);
    doc_.close(bar);
}

void DocumentBuilder::add_text(uint32_t parent, uint8_t font, uint32_t start, uint32_t length) {
    doc_.nodes[doc_.add(parent, NodeKind::text, start, length)].font = font;
}

void DocumentBuilder::add_pending() {
    if (link_open_) link_end();
    space_pending_ = false;
    if (pending_.empty()) return;
    // References are looked for in the text as gathered; a line feed before every break
    // and link keeps them from running across one. Those inside a link the page makes
    // (its href, its text) are dropped.
    std::vector<Reference> references;
    if (resolve) references = find_references(doc_.text.view().substr(pending_start_), resolve);
    if (!references.empty()) {
        std::vector<Reference> kept;
        bool inside = false;
        size_t r = 0;
        for (const Piece& piece : pending_) {
            if (piece.kind == Piece::link_opens) inside = true;
            if (piece.kind == Piece::link_closes) inside = false;
            size_t start = piece.start - pending_start_, end = start + piece.length;
            for (; r < references.size() && references[r].start < end; ++r) {
                if (piece.kind == Piece::words && !inside && references[r].start >= start) {
                    kept.push_back(std::move(references[r]));
                }
            }
        }
        references.swap(kept);
        for (Reference& reference : references) {
            reference.start += pending_start_;
            reference.end += pending_start_;
        }
    }

    // The nodes view the gathered text where it lies; only the hrefs of references are
    // put after it.
    const uint32_t block = parent();
    // (A reference is never inside a link: those were dropped above.)
    uint32_t at = block;        // where the next node goes: the block, a link or a reference
    size_t next = 0;            // the next reference to open
    bool in_reference = false;  // its node is open
    for (const Piece& piece : pending_) {
        switch (piece.kind) {
            case Piece::break_here: doc_.add(at, NodeKind::line_break); continue;
            case Piece::equation_here: doc_.add(at, NodeKind::equation, piece.start, piece.length); continue;
            case Piece::link_opens: at = doc_.add(block, NodeKind::link, piece.start, piece.length); continue;
            case Piece::link_closes:
                doc_.close(at);
                at = block;
                continue;
            case Piece::words: break;
        }
        if (next >= references.size()) {
            add_text(at, piece.font, piece.start, piece.length);
            continue;
        }
        const size_t end = size_t{piece.start} + piece.length;
        for (size_t position = piece.start; position < end;) {
            size_t stop = end;
            if (next < references.size()) {
                const Reference& r = references[next];
                if (!in_reference && r.start <= position) {
                    at = doc_.add(block, NodeKind::reference, r.href);
                    in_reference = true;
                }
                size_t boundary = in_reference ? r.end : r.start;
                if (boundary > position) stop = std::min(stop, boundary);
            }
            add_text(at, piece.font, static_cast<uint32_t>(position), static_cast<uint32_t>(stop - position));
            position = stop;
            if (in_reference && position >= references[next].end) {
                doc_.close(at);
                at = block;
                in_reference = false;
                ++next;
            }
        }
    }
    if (in_reference) doc_.close(at);
    pending_.clear();
}

std::string_view DocumentBuilder::make_id(std::string_view text) {
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
    if (!ids_.insert(lower_case(id)).second) {
        // The first free number after the run of those taken, found by doubling and then
        // halving: a page may repeat a heading many thousand times.
        auto taken = [&](size_t n) { return ids_.count(lower_case(id + "_" + std::to_string(n))) != 0; };
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
        ids_.insert(lower_case(id));
    }
    return id;
}
