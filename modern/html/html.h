// The HTML writer of the modern converter: block elements on a stack, the inline text of
// the innermost block gathered in fonts until the block ends, every text byte escaped,
// every element it opens closed, and each reference name(section) made a link.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/stream.h"

// A font: any mix of these bits; 0 is roman.
enum FontBits : uint8_t { kItalic = 1, kBold = 2, kMono = 4, kSmall = 8 };

// The href of the page that the reference name(section) names, or "" when there is none
// to link to.
using ReferenceResolver = std::function<std::string(std::string_view name, std::string_view section)>;

// Bytes gathered piece after piece: an append is a copy, inline, with none of the checks
// a string makes for each.
class TextBuffer {
public:
    TextBuffer() = default;
    explicit TextBuffer(size_t capacity) : data_(new char[capacity]), capacity_(capacity) {}
    // (What is moved from is left empty, without room.)
    TextBuffer(TextBuffer&& other) noexcept { *this = std::move(other); }
    TextBuffer& operator=(TextBuffer&& other) noexcept {
        data_ = std::move(other.data_);
        size_ = std::exchange(other.size_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
        return *this;
    }
    void append(std::string_view text) {
        if (capacity_ - size_ < text.size()) grow(text.size());
        // (An empty view may have no data at all, which a copy must not be handed.)
        if (!text.empty()) std::memcpy(data_.get() + size_, text.data(), text.size());
        size_ += text.size();
    }
    void push_back(char c) {
        if (size_ == capacity_) grow(1);
        data_[size_++] = c;
    }
    TextBuffer& operator+=(std::string_view text) {
        append(text);
        return *this;
    }
    TextBuffer& operator+=(char c) {
        push_back(c);
        return *this;
    }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    std::string_view view() const { return std::string_view(data_.get(), size_); }
    void clear() { size_ = 0; }

private:
    void grow(size_t more);
    std::unique_ptr<char[]> data_;
    size_t size_ = 0;
    size_t capacity_ = 0;
};

struct HtmlWriter {
    // Room for a paragraph or two from the start, rather than growing into it: the room
    // the thread's last writer had, when there is one (a writer per page).
    explicit HtmlWriter(Sink& sink);
    ~HtmlWriter();
    HtmlWriter(const HtmlWriter&) = delete;
    HtmlWriter& operator=(const HtmlWriter&) = delete;

    // Opens a block element ("p", "div", "dl", "pre" ...) inside the innermost one;
    // `attributes` is written as it is (" class=\"x\"").
    void open(std::string_view tag, std::string_view attributes = {});
    // Closes the innermost block.
    void close();
    // Closes blocks until `depth` remain.
    void close_to(size_t depth);
    size_t depth() const { return blocks.size(); }
    // The tag of the block at `index` (0 the outermost), "" beyond the stack.
    std::string_view tag_at(size_t index) const { return index < blocks.size() ? blocks[index].tag : ""; }
    std::string_view top() const { return blocks.empty() ? std::string_view() : blocks.back().tag; }
    // Whether the innermost block holds text already (or is about to).
    bool has_text() const { return !pending.empty(); }

    // Inline content. Text in a block that does not hold text itself opens a paragraph.
    // (Inline: most text goes on where the text before it went.)
    void text(uint8_t font, std::string_view utf8) {
        if (utf8.empty()) return;
        if (space_pending || blocks.empty() || !blocks.back().takes_text) start_text();
        add_words(font, utf8);
    }
    // A blank between words: written only between two pieces of text of one block.
    void space() {
        if (!pending.empty()) space_pending = true;
    }
    // Takes back a blank not yet written: what follows joins the text before.
    void no_space() { space_pending = false; }
    void line_break();
    // An external link around the text that follows, up to link_end.
    void link_start(std::string_view href);
    void link_end();

    // Writes what is gathered; called by every block change and at the end.
    void flush() {
        // Most block changes find nothing gathered.
        if (link_open || !pending.empty()) write_pending();
        else space_pending = false;
    }

    // Writes markup as it is, after flushing.
    void raw(std::string_view markup);

    // The id of a heading with this text: its words joined by underscores, made unique on
    // the page (letter case aside), then `id_suffix` added.
    std::string heading_id(std::string_view text) { return std::string(make_id(text)); }
    // Opens the heading block `tag` ("h2" ...) with the id its text gives.
    void open_heading(std::string_view tag, std::string_view text);

    Sink& out;
    ReferenceResolver resolve;  // when unset, no reference becomes a link
    // When set, text goes here as plain text, not to the page, and no markup is written.
    std::string* capture = nullptr;
    // Added to every id: a page that shares its file name with an earlier one (in another
    // folder) needs ids of its own, as a help compiler keeps ids by file name.
    std::string id_suffix;
    std::set<std::string> ids;

    // The inline content gathered: pieces whose text (a run of words in one font, or a
    // link's href) lies in `pending_text`. Breaks and links stand there as a line feed,
    // never written, so that no reference is found across them.
    struct Piece {
        enum Kind : uint8_t { words, break_here, link_opens, link_closes } kind;
        uint8_t font;
        uint32_t start, length;  // in pending_text
    };
    struct Block {
        std::string_view tag;
        bool takes_text;  // inline content goes into it directly
    };
    std::vector<Block> blocks;
    std::vector<Piece> pending;
    TextBuffer pending_text;
    TextBuffer inline_buffer;  // for write_inline, kept for its room
    bool space_pending = false;
    bool link_open = false;

private:
    // heading_id's work: the id, valid until the next one is made.
    std::string_view make_id(std::string_view text);
    std::string id_, id_attribute_;  // kept for their room
    // Before inline content: the paragraph it needs, the blank before it.
    void start_text();
    void add_mark(Piece::Kind kind, std::string_view href);
    void add_words(uint8_t font, std::string_view utf8) {
        if (!pending.empty() && pending.back().kind == Piece::words && pending.back().font == font) {
            pending.back().length += static_cast<uint32_t>(utf8.size());
        } else {
            pending.push_back({Piece::words, font, static_cast<uint32_t>(pending_text.size()),
                               static_cast<uint32_t>(utf8.size())});
        }
        pending_text.append(utf8);
    }
    void write_pending();
};

// Appends `text` to `out` with & < > (and " when `attribute`) as entities, leaving out
// what an HTML page may not hold: control characters and noncharacters.
void append_escaped(std::string& out, std::string_view text, bool attribute = false);
// The same, into a sink.
void put_escaped(Sink& out, std::string_view text, bool attribute = false);

