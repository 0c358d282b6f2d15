// The document tree of one page, as the man, mdoc and tbl layers make it: a small set of
// node kinds in one arena, walked by the HTML writer and by identification.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A font: any mix of these bits; 0 is roman.
enum FontBits : uint8_t { kItalic = 1, kBold = 2, kMono = 4, kSmall = 8 };

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
    void resize_down(size_t size) { size_ = size < size_ ? size : size_; }

private:
    void grow(size_t more);
    std::unique_ptr<char[]> data_;
    size_t size_ = 0;
    size_t capacity_ = 0;
};

// What a node is. The blocks first, then what stands in a line.
enum class NodeKind : uint8_t {
    page,                // the root: the page
    header,              // the title line's bar: three bar parts
    footer,              // the last line's bar: three bar parts
    bar_left,            // a bar's part, its text its own
    bar_center,
    bar_right,
    body,                // the page's content
    section_heading,     // the heading of a section; its id the node's text
    subsection_heading,  // the same for a subsection
    section,             // a section's content, after its heading
    paragraph,
    preformatted,        // lines as they are (no-fill text, examples)
    indent,              // an indented block (.RS, an offset display, .D1)
    indented_paragraph,  // a paragraph indented as a list item's body, without a tag
    hanging_paragraph,   // a paragraph whose first line hangs out
    synopsis,            // a command's synopsis, its later lines indented
    tag_list,            // terms and their definitions
    term,
    definition,
    bullet_list,
    dash_list,
    enumerated_list,
    list_item,           // an item of a bullet, dash or enumerated list
    plain_list,          // a list shown as blocks (mdoc's -item, -inset, -ohang, -diag)
    plain_item,
    table,               // its classes the node's text (tbl's options), empty for a column list
    table_row,           // its classes the node's text (rules, space above)
    table_cell,          // its classes the node's text; its spans and width in the node
    text,                // words in one font
    line_break,
    link,                // a link the page makes (an address); its href the node's text
    reference,           // a reference name(section) that leads to a page; its href the node's text
    equation,            // an equation: its MathML the node's text, markup written as it is
};
constexpr size_t kNodeKinds = static_cast<size_t>(NodeKind::equation) + 1;

// Whether a table of a row per node kind (each with its `kind`) has them all, in order.
template <typename Row, size_t N>
constexpr bool rows_by_kind(const Row (&rows)[N]) {
    for (size_t i = 0; i < N; ++i) {
        if (static_cast<size_t>(rows[i].kind) != i) return false;
    }
    return N == kNodeKinds;
}

// Whether a kind stands in a line (text, a break, a link) rather than being a block.
constexpr bool is_inline(NodeKind kind) { return kind >= NodeKind::text; }
// Whether a block holds inline content itself; any other gets a paragraph for its text.
constexpr bool takes_text(NodeKind kind) {
    return kind == NodeKind::section_heading || kind == NodeKind::subsection_heading || kind == NodeKind::paragraph ||
           kind == NodeKind::preformatted || kind == NodeKind::term || kind == NodeKind::table_cell;
}
// The kind's name, for messages and tests ("tag_list").
std::string_view kind_name(NodeKind kind);

// The nodes lie in document order (a node, then its subtree, then its next sibling), each
// with its parent and the end of its subtree, so that a walk is a pass over them.
struct Node {
    NodeKind kind = NodeKind::page;
    uint8_t font = 0;      // text: its font
    uint16_t width = 0;    // table_cell: its least width in characters, 0 for none
    uint32_t colspan = 1;  // table_cell: the columns and rows it spans
    uint32_t rowspan = 1;
    uint32_t parent = 0;
    uint32_t end = 0;      // one past the last node of its subtree
    uint32_t text = 0, length = 0;  // in the document's text
};

// One page's tree. Its nodes and text lie in two arenas that `clear` empties and keeps,
// so that a thread's next page reuses the room.
struct Document {
    Document();
    ~Document();
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    const Node& operator[](uint32_t index) const { return nodes[index]; }
    uint32_t size() const { return static_cast<uint32_t>(nodes.size()); }
    // (The range lies in the text: check_document says so of every node.)
    std::string_view text_of(const Node& node) const {
        return std::string_view(text.view().data() + node.text, node.length);
    }
    void clear();

    // Adds a node after the last one, as a child of `parent`; returns its index. Its
    // subtree ends with it until `close` (the page's too).
    uint32_t add(uint32_t parent, NodeKind kind) {
        uint32_t index = size();
        Node& node = nodes.emplace_back();
        node.kind = kind;
        node.parent = parent;
        node.end = index + 1;
        return index;
    }
    // The same, the node viewing `length` bytes of the text from `text`.
    uint32_t add(uint32_t parent, NodeKind kind, uint32_t text_start, uint32_t length) {
        uint32_t index = add(parent, kind);
        nodes[index].text = text_start;
        nodes[index].length = length;
        return index;
    }
    // The same, the node's text `bytes`, put in the text.
    uint32_t add(uint32_t parent, NodeKind kind, std::string_view bytes) {
        return add(parent, kind, store(bytes), static_cast<uint32_t>(bytes.size()));
    }
    // Ends the subtree of `index` after the last node so far.
    void close(uint32_t index) { nodes[index].end = size(); }
    // Puts `bytes` in the text and returns where they start.
    uint32_t store(std::string_view bytes) {
        uint32_t start = static_cast<uint32_t>(text.size());
        text.append(bytes);
        return start;
    }

    std::vector<Node> nodes;  // nodes[0] is the page
    TextBuffer text;
};

// Walks the subtree of `from` in document order: `enter(index)` at each node (false to
// pass over its subtree), `leave(index)` after the subtree of each node entered.
template <typename Enter, typename Leave>
void walk(const Document& doc, uint32_t from, Enter enter, Leave leave) {
    std::vector<uint32_t> open;  // the nodes entered whose subtrees go on
    open.reserve(32);
    const uint32_t end = doc[from].end;
    for (uint32_t i = from + 1; i < end;) {
        while (!open.empty() && doc[open.back()].end <= i) {
            leave(open.back());
            open.pop_back();
        }
        if (!enter(i)) {
            i = doc[i].end;
            continue;
        }
        if (doc[i].end > i + 1) open.push_back(i);
        else leave(i);
        ++i;
    }
    for (; !open.empty(); open.pop_back()) leave(open.back());
}

// What is wrong with the tree's shape ("" when nothing is): links that disagree, a block
// inside a line, a list item outside a list, text outside the text.
std::string check_document(const Document& doc);

// The words of the page's first section (its NAME section) as plain text, its headings
// left out: blanks for breaks and between blocks, what a page may not hold left out; at
// most `limit` bytes, cut at the end of a character.
std::string first_section_text(const Document& doc, size_t limit);

// The tree as an outline, a node a line, indented by depth: "paragraph", "text 2 \"ls\"".
std::string outline(const Document& doc);
