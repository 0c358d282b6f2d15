// The document tree.
#include "modern/doc/document.h"

#include <algorithm>

#include "output/html_escape.h"

namespace {

constexpr struct {
    NodeKind kind;
    std::string_view name;
    bool takes_text;
} kKinds[] = {
    {NodeKind::page, "page", false},
    {NodeKind::header, "header", false},
    {NodeKind::footer, "footer", false},
    {NodeKind::bar_left, "bar_left", false},
    {NodeKind::bar_center, "bar_center", false},
    {NodeKind::bar_right, "bar_right", false},
    {NodeKind::body, "body", false},
    {NodeKind::section_heading, "section_heading", true},
    {NodeKind::subsection_heading, "subsection_heading", true},
    {NodeKind::section, "section", false},
    {NodeKind::paragraph, "paragraph", true},
    {NodeKind::preformatted, "preformatted", true},
    {NodeKind::indent, "indent", false},
    {NodeKind::indented_paragraph, "indented_paragraph", false},
    {NodeKind::hanging_paragraph, "hanging_paragraph", false},
    {NodeKind::synopsis, "synopsis", false},
    {NodeKind::tag_list, "tag_list", false},
    {NodeKind::term, "term", true},
    {NodeKind::definition, "definition", false},
    {NodeKind::bullet_list, "bullet_list", false},
    {NodeKind::dash_list, "dash_list", false},
    {NodeKind::enumerated_list, "enumerated_list", false},
    {NodeKind::list_item, "list_item", false},
    {NodeKind::plain_list, "plain_list", false},
    {NodeKind::plain_item, "plain_item", false},
    {NodeKind::table, "table", false},
    {NodeKind::table_row, "table_row", false},
    {NodeKind::table_cell, "table_cell", true},
    {NodeKind::text, "text", false},
    {NodeKind::line_break, "line_break", false},
    {NodeKind::link, "link", false},
    {NodeKind::reference, "reference", false},
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

bool takes_text(NodeKind kind) { return kKinds[static_cast<size_t>(kind)].takes_text; }

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
    nodes.push_back(Node{NodeKind::page});
}

uint32_t Document::add(uint32_t parent, NodeKind kind) {
    uint32_t index = static_cast<uint32_t>(nodes.size());
    Node& node = nodes.emplace_back(Node{kind});
    node.parent = parent;
    Node& up = nodes[parent];
    if (up.last_child == kNoNode) up.first_child = index;
    else nodes[up.last_child].next = index;
    up.last_child = index;
    return index;
}

std::string check_document(const Document& doc) {
    if (doc.size() == 0 || doc[0].kind != NodeKind::page) return "no page at the root";
    for (uint32_t i = 0; i < doc.size(); ++i) {
        const Node& node = doc[i];
        auto fault = [&](std::string_view what) {
            return "node " + std::to_string(i) + " (" + std::string(kind_name(node.kind)) + "): " + std::string(what);
        };
        if (static_cast<size_t>(node.kind) >= kNodeKinds) return fault("no such kind");
        if (size_t{node.text} + node.length > doc.text.size()) return fault("text beyond the document's");
        if (i != 0) {
            if (node.parent >= i) return fault("a parent after its child");
            if (std::string_view what = misplaced(doc[node.parent].kind, node.kind); !what.empty()) return fault(what);
        }
        // The children, in order, each naming this node its parent, the last one last.
        uint32_t last = kNoNode;
        for (uint32_t child = node.first_child; child != kNoNode; child = doc[child].next) {
            if (child <= last || child >= doc.size() || doc[child].parent != i) return fault("children that disagree");
            last = child;
        }
        if (last != node.last_child) return fault("a last child that is not the last");
        if ((node.kind == NodeKind::text || node.kind == NodeKind::line_break) && node.first_child != kNoNode) {
            return fault("children of a leaf");
        }
    }
    return "";
}

std::string first_section_text(const Document& doc, size_t limit) {
    std::string out;
    uint32_t section = 1;
    while (section < doc.size() && doc[section].kind != NodeKind::section) ++section;
    if (section >= doc.size()) return out;
    auto is_heading = [](NodeKind kind) {
        return kind == NodeKind::section_heading || kind == NodeKind::subsection_heading;
    };
    // A blank at a block's end, and between what a break separates.
    auto blank = [&]() {
        if (!out.empty() && out.back() != ' ') out += ' ';
    };
    // The section in document order: down to a node's first child, else on to its next,
    // else back up.
    uint32_t at = doc[section].first_child;
    while (at != kNoNode && out.size() < limit) {
        const Node& node = doc[at];
        if (node.kind == NodeKind::text) append_plain(out, doc.text_of(node));
        else if (node.kind == NodeKind::line_break) out += ' ';
        if (node.first_child != kNoNode && !is_heading(node.kind)) {
            at = node.first_child;
            continue;
        }
        for (;;) {
            const Node& done = doc[at];
            if (!is_inline(done.kind) && !is_heading(done.kind)) blank();
            if (done.next != kNoNode) {
                at = done.next;
                break;
            }
            at = done.parent;
            if (at == section) {
                at = kNoNode;
                break;
            }
        }
    }
    blank();
    if (out.size() > limit) {
        size_t end = limit;
        while (end > 0 && (static_cast<unsigned char>(out[end]) & 0xC0) == 0x80) --end;
        out.resize(end);
    }
    return out;
}

std::string outline(const Document& doc) {
    std::string out;
    std::vector<std::pair<uint32_t, size_t>> stack{{0, 0}};
    while (!stack.empty()) {
        auto [at, depth] = stack.back();
        stack.pop_back();
        const Node& node = doc[at];
        out.append(depth * 2, ' ');
        out += kind_name(node.kind);
        if (node.kind == NodeKind::text) out += ' ' + std::to_string(node.font);
        if (node.length > 0) out += " \"" + std::string(doc.text_of(node)) + '"';
        if (node.colspan > 1) out += " colspan " + std::to_string(node.colspan);
        if (node.rowspan > 1) out += " rowspan " + std::to_string(node.rowspan);
        out += '\n';
        std::vector<uint32_t> children;
        for (uint32_t child = node.first_child; child != kNoNode; child = doc[child].next) children.push_back(child);
        for (auto it = children.rbegin(); it != children.rend(); ++it) stack.emplace_back(*it, depth + 1);
    }
    return out;
}
