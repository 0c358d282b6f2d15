// Builds a page's document tree as the macro layers read it: blocks on a stack, the inline
// text of the innermost block gathered until the block ends, and each reference
// name(section) that leads to a page made a reference node.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "modern/doc/document.h"

// The href of the page that the reference name(section) names, or "" when there is none
// to link to.
using ReferenceResolver = std::function<std::string(std::string_view name, std::string_view section)>;

class DocumentBuilder {
public:
    // Builds into `doc`, which it empties first. Room for a paragraph or two from the
    // start: the room the thread's last builder had, when there is one.
    explicit DocumentBuilder(Document& doc);
    ~DocumentBuilder();
    DocumentBuilder(const DocumentBuilder&) = delete;
    DocumentBuilder& operator=(const DocumentBuilder&) = delete;

    // Opens a block inside the innermost one; `text` is the node's own (a table's classes).
    uint32_t open(NodeKind kind, std::string_view text = {});
    // Opens a table cell with its classes, spans and least width (in characters, 0 none).
    void open_cell(std::string_view classes, uint32_t colspan, uint32_t rowspan, uint16_t width);
    // Opens the heading block `kind` with the id its text gives.
    void open_heading(NodeKind kind, std::string_view text);
    // Closes the innermost block.
    void close();
    // Closes blocks until `depth` remain.
    void close_to(size_t depth) {
        while (blocks_.size() > depth) close();
    }
    size_t depth() const { return blocks_.size(); }
    // The kind of the block at `index` (0 the outermost); the page beyond the stack.
    NodeKind kind_at(size_t index) const {
        return index < blocks_.size() ? doc_[blocks_[index]].kind : NodeKind::page;
    }
    NodeKind top() const { return blocks_.empty() ? NodeKind::page : doc_[blocks_.back()].kind; }
    // Whether the innermost block holds text already (or is about to).
    bool has_text() const { return !pending_.empty(); }
    // Whether the text gathered last is words in `font`.
    bool ends_in_font(uint8_t font) const {
        return !pending_.empty() && pending_.back().kind == Piece::words && pending_.back().font == font;
    }

    // Inline content. Text in a block that does not hold text itself opens a paragraph.
    // (Inline: most text goes on where the text before it went.)
    void text(uint8_t font, std::string_view utf8) {
        if (utf8.empty()) return;
        if (space_pending_ || !text_here_) start_text();
        add_words(font, utf8);
    }
    // A blank between words: kept only between two pieces of text of one block.
    void space() {
        if (!pending_.empty()) space_pending_ = true;
    }
    // Takes back a blank not yet kept: what follows joins the text before.
    void no_space() { space_pending_ = false; }
    void line_break();
    // A link the page makes, around the text that follows, up to link_end.
    void link_start(std::string_view href);
    void link_end();
    // An equation in the line, as MathML (escaped as HTML needs it).
    void equation(std::string_view mathml);

    // A bar of three parts (the header or the footer) where the builder stands.
    void bar(NodeKind kind, std::string_view left, std::string_view center, std::string_view right);

    // Puts what is gathered into the tree; called by every block change and at the end.
    void flush() {
        // Most block changes find nothing gathered.
        if (link_open_ || !pending_.empty()) add_pending();
        else space_pending_ = false;
    }

    // The id of a heading with this text: its words joined by underscores, made unique on
    // the page (letter case aside).
    std::string heading_id(std::string_view text) { return std::string(make_id(text)); }

    // Room for a text being made before it is handed on (the escapes of a line).
    TextBuffer& scratch() { return scratch_; }

    ReferenceResolver resolve;  // when unset, no reference becomes a link

    // The inline content gathered: pieces whose text (a run of words in one font, or a
    // link's href) lies in the document's text from `pending_start_` on, where the text
    // nodes will view it. Breaks, links and equations stand there as a line feed (and a
    // link's href or an equation's MathML), so that no reference is found across them.
    struct Piece {
        enum Kind : uint8_t { words, break_here, link_opens, link_closes, equation_here } kind;
        uint8_t font;
        uint32_t start, length;  // in the document's text
    };

private:
    // heading_id's work: the id, valid until the next one is made.
    std::string_view make_id(std::string_view text);
    uint32_t parent() const { return blocks_.empty() ? 0 : blocks_.back(); }
    // Before inline content: the paragraph it needs, the blank before it.
    void start_text();
    void add_mark(Piece::Kind kind, std::string_view href);
    void add_words(uint8_t font, std::string_view utf8) {
        if (ends_in_font(font)) {
            pending_.back().length += static_cast<uint32_t>(utf8.size());
        } else {
            if (pending_.empty()) pending_start_ = static_cast<uint32_t>(doc_.text.size());
            pending_.push_back({Piece::words, font, static_cast<uint32_t>(doc_.text.size()),
                                static_cast<uint32_t>(utf8.size())});
        }
        doc_.text.append(utf8);
    }
    void add_pending();
    void add_text(uint32_t parent, uint8_t font, uint32_t start, uint32_t length);

    Document& doc_;
    std::vector<uint32_t> blocks_;  // the open blocks, innermost last
    bool text_here_ = false;        // the innermost one holds text itself
    std::vector<Piece> pending_;
    uint32_t pending_start_ = 0;  // where the gathered text begins in the document's
    TextBuffer scratch_;
    bool space_pending_ = false;
    bool link_open_ = false;
    std::set<std::string> ids_;
    std::string id_;  // kept for its room
};
