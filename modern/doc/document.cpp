// The document tree.
#include "modern/doc/document.h"

#include <algorithm>

#include "output/html_escape.h"

namespace {

constexpr struct {
    NodeKind kind;
    std::string_view name;
} kKinds[] = {
    {NodeKind::page, "page"},
    {NodeKind::header, "header"},
    {NodeKind::footer, "footer"},
    {NodeKind::bar_left, "bar_left"},
    {NodeKind::bar_center, "bar_center"},
    {NodeKind::bar_right, "bar_right"},
    {NodeKind::body, "body"},
    {NodeKind::section_heading, "section_heading"},
    {NodeKind::subsection_heading, "subsection_heading"},
    {NodeKind::section, "section"},
    {NodeKind::paragraph, "paragraph"},
    {NodeKind::preformatted, "preformatted"},
    {NodeKind::indent, "indent"},
    {NodeKind::indented_paragraph, "indented_paragraph"},
    {NodeKind::hanging_paragraph, "hanging_paragraph"},
    {NodeKind::synopsis, "synopsis"},
    {NodeKind::tag_list, "tag_list"},
    {NodeKind::term, "term"},
    {NodeKind::definition, "definition"},
    {NodeKind::bullet_list, "bullet_list"},
    {NodeKind::dash_list, "dash_list"},
    {NodeKind::enumerated_list, "enumerated_list"},
    {NodeKind::list_item, "list_item"},
    {NodeKind::plain_list, "plain_list"},
    {NodeKind::plain_item, "plain_item"},
    {NodeKind::table, "table"},
    {NodeKind::table_row, "table_row"},
    {NodeKind::table_cell, "table_cell"},
    {NodeKind::text, "text"},
    {NodeKind::line_break, "line_break"},
    {NodeKind::link, "link"},
    {NodeKind::reference, "reference"},
    {NodeKind::equation, "equation"},
};
static_assert(rows_by_kind(kKinds), "a row for every node kind, in the order of NodeKind");

// The room of the last document a thread was done with, for its next one.
struct Room {
    bool held = false;
    std::vector<Node> nodes;
    TextBuffer text;
};
thread_local Room spare_room;

bool is_bar(NodeKind kind) { return kind == NodeKind::header || kind == NodeKind::footer; }
bool is_bar_part(NodeKind kind) { return kind >= NodeKind::bar_left && kind <= NodeKind::bar_right; }
bool is_list_with_items(NodeKind kind) { return kind >= NodeKind::bullet_list && kind <= NodeKind::enumerated_list; }

// What may hold a node of `kind`: "" when `parent` may, else what is wrong.
std::string_view misplaced(NodeKind parent, NodeKind kind) {
    if (is_bar_part(kind) != is_bar(parent)) return "a bar's part outside its bar, or a bar holding something else";
    if (is_inline(kind)) {
        bool in_line = takes_text(parent) || parent == NodeKind::link || parent == NodeKind::reference;
        if (!in_line) return "inline content in a block that holds no text";
        if (kind == parent && (kind == NodeKind::link || kind == NodeKind::reference)) return "a link inside a link";
        return "";
    }
    if (is_inline(parent)) return "a block inside a line";
    if (parent == NodeKind::paragraph || parent == NodeKind::preformatted || parent == NodeKind::section_heading ||
        parent == NodeKind::subsection_heading) {
        return "a block inside a paragraph or heading";
    }
    if ((kind == NodeKind::term || kind == NodeKind::definition) != (parent == NodeKind::tag_list)) {
        return "a term or definition outside a tag list, or a tag list holding something else";
    }
    if (kind == NodeKind::list_item && !is_list_with_items(parent)) return "a list item outside its list";
    if (is_list_with_items(parent) && kind != NodeKind::list_item) return "a list holding something other than items";
    if (kind == NodeKind::table_row && parent != NodeKind::table) return "a table row outside a table";
    if (parent == NodeKind::table && kind != NodeKind::table_row) return "a table holding something other than rows";
    if (kind == NodeKind::table_cell && parent != NodeKind::table_row) return "a table cell outside a row";
    if (parent == NodeKind::table_row && kind != NodeKind::table_cell) return "a row holding something other than cells";
    if (kind == NodeKind::page) return "a page inside the page";
    return "";
}

}  // namespace

void TextBuffer::grow(size_t more) {
    size_t capacity = std::max({capacity_ * 2, size_ + more, size_t{64}});
    std::unique_ptr<char[]> data(new char[capacity]);
    if (size_ > 0) std::memcpy(data.get(), data_.get(), size_);
    data_ = std::move(data);
    capacity_ = capacity;
}

std::string_view kind_name(NodeKind kind) { return kKinds[static_cast<size_t>(kind)].name; }

Document::Document() {
    Room& room = spare_room;
    if (room.held) {
        room.held = false;
        nodes = std::move(room.nodes);
        text = std::move(room.text);
    } else {
        nodes.reserve(256);
        text = TextBuffer(4096);
    }
    clear();
}

Document::~Document() {
    Room& room = spare_room;
    if (room.held) return;
    room.held = true;
    room.nodes = std::move(nodes);
    room.text = std::move(text);
}

void Document::clear() {
    nodes.clear();
    text.clear();
    nodes.emplace_back().end = 1;
}

std::string check_document(const Document& doc) {
    if (doc.size() == 0 || doc[0].kind != NodeKind::page || doc[0].end != doc.size()) return "no page at the root";
    // The nodes whose subtrees go on at each node: the innermost must be its parent.
    std::vector<uint32_t> open{0};
    for (uint32_t i = 1; i < doc.size(); ++i) {
        const Node& node = doc[i];
        auto fault = [&](std::string_view what) {
            return "node " + std::to_string(i) + " (" + std::string(kind_name(node.kind)) + "): " + std::string(what);
        };
        if (static_cast<size_t>(node.kind) >= kNodeKinds) return fault("no such kind");
        if (size_t{node.text} + node.length > doc.text.size()) return fault("text beyond the document's");
        while (doc[open.back()].end <= i) open.pop_back();
        if (node.parent != open.back()) return fault("a parent that does not hold it");
        if (node.end <= i || node.end > doc[node.parent].end) return fault("a subtree that ends outside its parent's");
        if ((node.kind == NodeKind::text || node.kind == NodeKind::line_break || node.kind == NodeKind::equation) &&
            node.end != i + 1) {
            return fault("children of a leaf");
        }
        if (std::string_view what = misplaced(doc[node.parent].kind, node.kind); !what.empty()) return fault(what);
        open.push_back(i);
    }
    return "";
}

std::string first_section_text(const Document& doc, size_t limit) {
    std::string out;
    uint32_t section = 1;
    while (section < doc.size() && doc[section].kind != NodeKind::section) ++section;
    if (section >= doc.size()) return out;
    // A blank at a block's end, and for a break.
    auto blank = [&]() {
        if (!out.empty() && out.back() != ' ') out += ' ';
    };
    walk(
        doc, section,
        [&](uint32_t i) {
            const Node& node = doc[i];
            if (node.kind == NodeKind::section_heading || node.kind == NodeKind::subsection_heading) return false;
            if (out.size() >= limit) return false;
            if (node.kind == NodeKind::text) append_plain(out, doc.text_of(node));
            else if (node.kind == NodeKind::line_break) out += ' ';
            return true;
        },
        [&](uint32_t i) {
            if (!is_inline(doc[i].kind)) blank();
        });
    blank();
    if (out.size() > limit) {
        size_t end = limit;
        while (end > 0 && (static_cast<unsigned char>(out[end]) & 0xC0) == 0x80) --end;
        out.resize(end);
    }
    return out;
}

std::string outline(const Document& doc) {
    std::string out = "page\n";
    size_t depth = 1;
    walk(
        doc, 0,
        [&](uint32_t i) {
            const Node& node = doc[i];
            out.append(depth * 2, ' ');
            out += kind_name(node.kind);
            if (node.kind == NodeKind::text) out += ' ' + std::to_string(node.font);
            if (node.length > 0) out += " \"" + std::string(doc.text_of(node)) + '"';
            if (node.colspan > 1) out += " colspan " + std::to_string(node.colspan);
            if (node.rowspan > 1) out += " rowspan " + std::to_string(node.rowspan);
            out += '\n';
            ++depth;
            return true;
        },
        [&](uint32_t) { --depth; });
    return out;
}
