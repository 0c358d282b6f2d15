// Tables (tbl).
#include "modern/tbl/tbl.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "model/letters.h"
#include "modern/roff/lexer.h"
#include "modern/roff/text_requests.h"

namespace {

// Past this many columns a line is taken for garbage (real tables have a dozen at most):
// every row of the table is as long as its widest layout.
constexpr size_t kMaxColumns = 100;
constexpr size_t kNone = static_cast<size_t>(-1);
// Past this many characters from its decimal point on, a number is not lined up with the
// others of its column: each of them would be padded as wide.
constexpr size_t kMaxFraction = 32;
// The reader's work a cell counts as, besides its text: a table's markup grows with its
// cells, and a page that makes rows of empty cells without end must be cut as one that
// makes text.
constexpr size_t kCellWork = 8;

bool is_blank(char c) { return c == ' ' || c == '\t'; }

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool is_alnum(char c) { return is_digit(c) || (lower_case(c) >= 'a' && lower_case(c) <= 'z'); }

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
    return s;
}

// ---- Options ------------------------------------------------------------------------------

struct Options {
    char tab = '\t';
    char decimal_point = '.';
    bool nospaces = false;
    std::vector<std::string_view> classes;  // of the table: its frame, centring, width
};

void add_class(std::string& classes, std::string_view name) {
    if (name.empty()) return;
    if (!classes.empty()) classes += ' ';
    classes += name;
}

using OptionHandler = void (*)(Options&, std::string_view argument);

void option_tab(Options& o, std::string_view argument) {
    if (!argument.empty()) o.tab = argument[0];
}

void option_decimal_point(Options& o, std::string_view argument) {
    if (!argument.empty()) o.decimal_point = argument[0];
}

void option_nospaces(Options& o, std::string_view) { o.nospaces = true; }

// The options: the frames and placements a browser draws by a class of the table, and
// those with a setting. Equations, line weights, page breaks and warnings change nothing
// a browser shows.
constexpr struct {
    std::string_view name;
    std::string_view css_class;
    OptionHandler handler;
} kOptions[] = {
    {"allbox", "all", nullptr},          {"box", "box", nullptr},          {"center", "center", nullptr},
    {"centre", "center", nullptr},       {"decimalpoint", "", option_decimal_point},
    {"delim", "", nullptr},              {"doublebox", "dbox", nullptr},   {"doubleframe", "dbox", nullptr},
    {"expand", "expand", nullptr},       {"frame", "box", nullptr},        {"linesize", "", nullptr},
    {"nokeep", "", nullptr},             {"nospaces", "", option_nospaces}, {"nowarn", "", nullptr},
    {"tab", "", option_tab},
};

// The options line: words, some with an argument in parentheses, parted by blanks or
// commas, up to a ';'; letter case does not matter. Returns where the line goes on after
// the ';', the layout's first row for a table that writes it there, or kNone (and the
// options are left as they are) when the line is no options line.
size_t parse_options(std::string_view line, Options& options) {
    Options read = options;
    size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ';') {
            options = std::move(read);
            return i + 1;
        }
        if (lower_case(line[i]) < 'a' || lower_case(line[i]) > 'z') {
            ++i;
            continue;
        }
        std::string name;
        while (i < line.size() && lower_case(line[i]) >= 'a' && lower_case(line[i]) <= 'z') name += lower_case(line[i++]);
        size_t k = i;
        while (k < line.size() && is_blank(line[k])) ++k;
        std::string_view argument;
        if (k < line.size() && line[k] == '(') {
            // The argument may be a blank or a ')' itself: the first character is taken as is.
            size_t close = line.find(')', k + 2);
            if (close == std::string_view::npos) close = line.size();
            argument = line.substr(k + 1, close - k - 1);
            i = std::min(line.size(), close + 1);
        }
        for (const auto& option : kOptions) {
            if (option.name != name) continue;
            if (option.handler != nullptr) option.handler(read, argument);
            auto& classes = read.classes;
            if (!option.css_class.empty() && std::find(classes.begin(), classes.end(), option.css_class) == classes.end()) {
                classes.push_back(option.css_class);
            }
        }
    }
    return kNone;
}

// ---- The layout -----------------------------------------------------------------------------

enum class Key : uint8_t { left, right, center, number, alpha, span, down, rule, double_rule };

// One cell of a layout row: its key and modifiers.
struct CellFormat {
    Key key = Key::left;
    int font = -1;           // -1: the table's font
    uint8_t rule_after = 0;  // vertical lines to its right: none, single, double
    bool top = false;        // a vertical span's text at its top, not in its middle
    bool bottom = false;     // ... or at its bottom
    bool expand = false;     // the column takes what room is left
    uint16_t width = 0;      // a least width in characters, or 0
};

struct LayoutRow {
    std::vector<CellFormat> formats;
    uint8_t rule_before = 0;  // vertical lines left of the first cell

    // A row of nothing but lines is a rule of its own, and takes no data line.
    uint8_t rule() const {
        uint8_t rule = 0;
        for (const CellFormat& format : formats) {
            if (format.key != Key::rule && format.key != Key::double_rule) return 0;
            rule = std::max<uint8_t>(rule, format.key == Key::rule ? 1 : 2);
        }
        return rule;
    }
};

constexpr struct {
    char letter;
    Key key;
} kKeys[] = {
    {'l', Key::left}, {'r', Key::right}, {'c', Key::center}, {'n', Key::number}, {'a', Key::alpha},
    {'s', Key::span}, {'^', Key::down},  {'_', Key::rule},   {'-', Key::rule},   {'=', Key::double_rule},
};

// A modifier reads what follows its letter from `i` and returns where it ends.
using Modifier = size_t (*)(CellFormat&, std::string_view, size_t i);

size_t skip_group(std::string_view s, size_t i) {
    if (i >= s.size() || s[i] != '(') return i;
    size_t close = s.find(')', i);
    return close == std::string_view::npos ? s.size() : close + 1;
}

template <uint8_t Bit>
size_t modifier_font_bit(CellFormat& format, std::string_view, size_t i) {
    format.font = (format.font < 0 ? 0 : format.font) | Bit;
    return i;
}

template <bool CellFormat::*Flag>
size_t modifier_flag(CellFormat& format, std::string_view, size_t i) {
    format.*Flag = true;
    return i;
}

// A font (or macro) name: "(name)", "[name]", "(xx" without its ')', or two characters,
// one before a blank or '.'.
std::string_view name_after(std::string_view s, size_t& i) {
    while (i < s.size() && is_blank(s[i])) ++i;
    if (i >= s.size()) return {};
    size_t start = i, end = i + 1;
    if (s[i] == '(') {
        start = i + 1;
        end = std::min(s.size(), s.find_first_of(") \t", start));
        if (end < s.size() && s[end] == ')') {
            i = end + 1;
            return s.substr(start, end - start);
        }
        end = std::min(s.size(), i + 3);
    } else if (s[i] == '[') {
        start = i + 1;
        end = std::min(s.size(), s.find(']', i));
        i = std::min(s.size(), end + 1);
        return s.substr(start, end - start);
    } else if (end < s.size() && is_alnum(s[end])) {
        ++end;
    }
    i = end;
    return s.substr(start, end - start);
}

size_t modifier_font(CellFormat& format, std::string_view s, size_t i) {
    int font = font_named(name_after(s, i));
    format.font = font < 0 ? 0 : font;
    return i;
}

size_t modifier_macro(CellFormat&, std::string_view s, size_t i) {
    name_after(s, i);
    return i;
}

// w: a minimum width, a number of ens or a length in parentheses; as wide in characters.
size_t modifier_width(CellFormat& format, std::string_view s, size_t i) {
    bool grouped = i < s.size() && s[i] == '(';
    size_t k = grouped ? i + 1 : i;
    double value = 0, scale = 1;
    for (; k < s.size() && (is_digit(s[k]) || s[k] == '.'); ++k) {
        if (s[k] == '.') {
            scale = std::min(scale, 0.1);
        } else if (scale < 1) {
            value += (s[k] - '0') * scale;
            scale /= 10;
        } else {
            value = value * 10 + (s[k] - '0');
        }
    }
    // In basic units, 24 to a character cell; ens unless the length names its unit.
    double units = 24;
    const ScalingUnit* unit = grouped && k < s.size() ? scaling_unit(s[k]) : nullptr;
    if (unit != nullptr && unit->in_lengths) units = static_cast<double>(unit->per) / unit->over;
    double characters = std::round(value * units / 24);
    if (characters >= 1 && characters <= 500) format.width = static_cast<uint16_t>(characters);
    return grouped ? skip_group(s, i) : k;
}

// Point sizes and line spacing: a signed number or a group, read and left alone.
size_t modifier_size(CellFormat&, std::string_view s, size_t i) {
    if (i < s.size() && s[i] == '(') return skip_group(s, i);
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    while (i < s.size() && is_digit(s[i])) ++i;
    return i;
}

// Column spacing (digits) and a group after a key: widths of a terminal, left alone.
size_t modifier_spacing(CellFormat&, std::string_view s, size_t i) {
    while (i < s.size() && is_digit(s[i])) ++i;
    return i;
}

size_t modifier_group(CellFormat&, std::string_view s, size_t i) { return skip_group(s, i - 1); }

// Equal widths, moving up half a row and leaving a cell out of the width: nothing a
// browser does.
size_t modifier_ignored(CellFormat&, std::string_view, size_t i) { return i; }

constexpr struct {
    char letter;
    Modifier modifier;
} kModifiers[] = {
    {'b', modifier_font_bit<kBold>}, {'i', modifier_font_bit<kItalic>}, {'f', modifier_font},
    {'m', modifier_macro},           {'w', modifier_width},              {'t', modifier_flag<&CellFormat::top>},
    {'d', modifier_flag<&CellFormat::bottom>}, {'x', modifier_flag<&CellFormat::expand>},
    {'p', modifier_size},  {'v', modifier_size},   {'e', modifier_ignored}, {'u', modifier_ignored},
    {'z', modifier_ignored}, {'(', modifier_group},
};

// Reads one layout line into `rows` (commas part rows of one line). False when the line
// is no layout; `last` when it ends the layout with a '.'.
bool parse_layout(std::string_view line, std::vector<LayoutRow>& rows, bool& last) {
    line = trimmed(line);
    last = !line.empty() && line.back() == '.';
    if (last) line.remove_suffix(1);
    std::vector<LayoutRow> parsed(1);
    size_t i = 0;
    while (i < line.size()) {
        char c = line[i];
        LayoutRow& row = parsed.back();
        if (is_blank(c)) {
            ++i;
        } else if (c == ',') {
            parsed.emplace_back();
            ++i;
        } else if (c == '|') {
            uint8_t lines = i + 1 < line.size() && line[i + 1] == '|' ? 2 : 1;
            i += lines;
            uint8_t& rule = row.formats.empty() ? row.rule_before : row.formats.back().rule_after;
            rule = std::max(rule, lines);
        } else if (auto key = std::find_if(std::begin(kKeys), std::end(kKeys),
                                           [&](const auto& k) { return k.letter == lower_case(c); });
                   key != std::end(kKeys)) {
            if (row.formats.size() >= kMaxColumns) return false;
            row.formats.push_back(CellFormat{});
            row.formats.back().key = key->key;
            ++i;
        } else if (auto mod = std::find_if(std::begin(kModifiers), std::end(kModifiers),
                                           [&](const auto& m) { return m.letter == lower_case(c); });
                   mod != std::end(kModifiers) && !row.formats.empty()) {
            i = mod->modifier(row.formats.back(), line, i + 1);
        } else if (is_digit(c) && !row.formats.empty()) {
            i = modifier_spacing(row.formats.back(), line, i);
        } else {
            return false;
        }
    }
    for (LayoutRow& row : parsed) {
        if (!row.formats.empty()) rows.push_back(std::move(row));
    }
    return true;
}

// ---- The cells ------------------------------------------------------------------------------

enum class Content : uint8_t { text, block, rule, double_rule, inner_rule, inner_double_rule };

// A text block's line, kept while the lines after it are read.
struct BlockLine {
    bool is_call = false;
    std::string name;
    std::vector<std::string> args;
    std::string text;
};

struct Cell {
    Content content = Content::text;
    Key key = Key::left;
    uint8_t font = 0;
    uint8_t rule_left = 0, rule_right = 0;
    bool top = false, bottom = false, expand = false;
    uint32_t column = 0, colspan = 1, rowspan = 1;
    size_t fraction = kNone;  // a number's characters from its decimal point on
    uint16_t width = 0;
    std::string text;
    std::vector<BlockLine> lines;  // a text block's, calls among them
};

struct Row {
    std::vector<Cell> cells;
    uint8_t rule_above = 0, rule_below = 0;
    bool space_above = false;
};

// A data field: its text, or the lines of a text block.
struct Field {
    std::string text;
    std::vector<BlockLine> lines;
    bool block = false;
};

// The cell that holds a column in the row last made, for vertical spans.
struct Owner {
    size_t row = kNone, cell = 0;
};

// What a table is while it is read.
struct Table {
    Table(Roff& r, FontState& f) : roff(r), fonts(f) {}

    Roff& roff;
    FontState& fonts;  // the font of cells without one of their own; .ft between rows sets it
    Options options;
    std::vector<LayoutRow> layout;
    size_t position = 0;       // the layout row for the next data line
    bool input_done = false;   // .TE or the end of the page is read: no text block reads on
    std::vector<Row> rows;
    size_t columns = 0;
    std::vector<Owner> owners;
    uint8_t pending_rule = 0;  // a rule for the top of the next row
    bool pending_space = false;
    bool layout_follows = false;  // a .T& is read: the next lines are a layout
};

// A field or data line as its marks (a text block's "T{", "\^", the lines) are looked for
// in: the whole of it, blanks and all, but under the nospaces option.
std::string_view marked(const Table& t, std::string_view text) { return t.options.nospaces ? trimmed(text) : text; }

// Splits a data line at the tab character. A field "T{" that ends a line opens a text
// block, whose lines run to one that starts with "T}" followed by a tab or nothing: after
// a tab the data line goes on. A .T& or .TE ends a block left open, and its line.
void read_fields(Table& t, std::string line, std::vector<Field>& fields) {
    size_t start = 0;
    for (;;) {
        size_t tab = line.find(t.options.tab, start);
        std::string_view piece = std::string_view(line).substr(start, tab == std::string::npos ? std::string::npos : tab - start);
        if (fields.size() > kMaxColumns) return;
        if (tab != std::string::npos || marked(t, piece) != "T{" || t.input_done) {
            fields.push_back(Field{std::string(piece), {}, false});
            if (tab == std::string::npos) return;
            start = tab + 1;
            continue;
        }
        Field block;
        block.block = true;
        RoffLine next;
        for (;;) {
            if (!t.roff.next(next) || (next.is_call && next.name == "TE")) {
                t.input_done = true;
                fields.push_back(std::move(block));
                return;
            }
            if (next.is_call && next.name == "T&") {
                t.layout_follows = true;
                fields.push_back(std::move(block));
                return;
            }
            if (!next.is_call && next.text.compare(0, 2, "T}") == 0) {
                std::string_view rest = std::string_view(next.text).substr(2);
                if (trimmed(rest).empty()) {
                    fields.push_back(std::move(block));
                    return;
                }
                if (rest[0] == t.options.tab) {
                    fields.push_back(std::move(block));
                    line = std::string(rest.substr(1));
                    start = 0;
                    break;
                }
            }
            block.lines.push_back({next.is_call, std::move(next.name), std::move(next.args), std::string(next.text)});
        }
    }
}

// The layout row for the next data line; on the way, the rows of lines alone become
// rules. Null when the table has no layout.
const LayoutRow* take_layout_row(Table& t) {
    while (t.position < t.layout.size() && t.layout[t.position].rule() != 0) {
        t.pending_rule = std::max(t.pending_rule, t.layout[t.position++].rule());
    }
    if (t.position < t.layout.size()) return &t.layout[t.position++];
    // The last row that takes data serves every line that follows.
    for (size_t k = t.layout.size(); k-- > 0;) {
        if (t.layout[k].rule() == 0) return &t.layout[k];
    }
    return nullptr;
}

// A vertical span: the cell above that starts at `column` grows down into `mine`.
bool extend_above(Table& t, size_t column, std::vector<Owner>& mine) {
    if (column >= t.owners.size() || t.owners[column].row == kNone) return false;
    Owner owner = t.owners[column];
    Cell& above = t.rows[owner.row].cells[owner.cell];
    if (above.column != column) return false;
    ++above.rowspan;
    for (size_t c = column; c < column + above.colspan && c < mine.size(); ++c) mine[c] = owner;
    return true;
}

Content content_of(const Table& t, const Field& field) {
    if (field.block) return Content::block;
    // Which field is a line (the whole of it) and of what kind.
    constexpr struct {
        std::string_view text;
        Content content;
    } kRules[] = {{"_", Content::rule}, {"=", Content::double_rule}, {"\\_", Content::inner_rule},
                  {"\\=", Content::inner_double_rule}};
    std::string_view text = marked(t, field.text);
    for (const auto& rule : kRules) {
        if (rule.text == text) return rule.content;
    }
    return Content::text;
}

// Makes a row of a data line. Fields beyond its layout row are dropped, as the page's own
// formatter drops them; fields it lacks are empty cells.
void add_data_line(Table& t, std::string_view line) {
    std::string_view bare = marked(t, line);
    if (bare == "_" || bare == "=") {
        t.pending_rule = std::max<uint8_t>(t.pending_rule, bare == "_" ? 1 : 2);
        return;
    }
    std::vector<Field> fields;
    read_fields(t, std::string(line), fields);
    // A layout row narrower than the table takes the fields beyond it into plain cells;
    // without a layout, each line is as wide as its fields.
    const LayoutRow* layout = take_layout_row(t);
    LayoutRow wide;
    if (layout == nullptr || layout->formats.size() < t.columns) {
        if (layout != nullptr) wide = *layout;
        wide.formats.resize(layout != nullptr ? t.columns : std::min(fields.size(), kMaxColumns));
        layout = &wide;
    }
    Row row;
    row.rule_above = t.pending_rule;
    row.space_above = t.pending_space;
    t.pending_rule = 0;
    t.pending_space = false;
    size_t row_index = t.rows.size();
    std::vector<Owner> mine(std::max(t.columns, layout->formats.size()));
    size_t field = 0, column = 0;
    for (const CellFormat& format : layout->formats) {
        bool covered = mine[column].row != kNone;
        if (format.key == Key::span && !covered && !row.cells.empty() &&
            row.cells.back().column + row.cells.back().colspan == column) {
            Cell& left = row.cells.back();
            // The span of a line is a line too, and drops a field as a line does.
            if (left.key == Key::rule || left.key == Key::double_rule) ++field;
            ++left.colspan;
            left.rule_right = format.rule_after;
            mine[column] = {row_index, row.cells.size() - 1};
            ++column;
            continue;
        }
        Field* data = format.key != Key::span && field < fields.size() ? &fields[field] : nullptr;
        if (format.key != Key::span) ++field;
        bool down = format.key == Key::down || (data != nullptr && !data->block && marked(t, data->text) == "\\^");
        // A column that a wider cell above already spans down into takes nothing more; a
        // cell with text there is still written, for the browser to place.
        if (covered && (down || format.key == Key::span)) {
            ++column;
            continue;
        }
        if (down && extend_above(t, column, mine)) {
            ++column;
            continue;
        }
        Cell cell;
        cell.key = format.key;
        cell.font = format.font >= 0 ? static_cast<uint8_t>(format.font) : t.fonts.current;
        cell.rule_left = column == 0 ? layout->rule_before : 0;
        cell.rule_right = format.rule_after;
        cell.top = format.top;
        cell.bottom = format.bottom;
        cell.expand = format.expand;
        cell.width = format.width;
        cell.column = static_cast<uint32_t>(column);
        if (format.key == Key::rule || format.key == Key::double_rule) {
            cell.content = format.key == Key::rule ? Content::rule : Content::double_rule;
        } else if (data != nullptr && !down) {
            cell.content = content_of(t, *data);
            if (cell.content == Content::text) cell.text = std::move(data->text);
            if (cell.content == Content::block) cell.lines = std::move(data->lines);
            if (t.options.nospaces) cell.text = std::string(trimmed(cell.text));
        }
        mine[column] = {row_index, row.cells.size()};
        row.cells.push_back(std::move(cell));
        ++column;
    }
    t.columns = std::max(t.columns, column);
    mine.resize(t.columns);
    t.owners = std::move(mine);
    static_cast<void>(t.roff.count_work(kCellWork * row.cells.size()));
    t.rows.push_back(std::move(row));
}

// ---- Text blocks ------------------------------------------------------------------------------

// A text block is written as filled text, as a paragraph would be: its font macros and
// breaks are the ones a table's text uses.
struct Block {
    Block(const Roff& r, DocumentBuilder& h, uint8_t font) : roff(r), doc(h) { fonts.current = fonts.previous = font; }

    const Roff& roff;
    DocumentBuilder& doc;
    FontState fonts;
    bool fill = true;
    int breaks = 0;  // line breaks owed before the next text

    // Writes `text` in `font` (the block's own when negative); true when it ends in \c.
    bool put(std::string_view text, int font = -1) {
        for (; breaks > 0 && doc.has_text(); --breaks) doc.line_break();
        breaks = 0;
        if (font < 0) return write_inline(roff, doc, fonts, text);
        FontState saved = fonts;
        fonts.current = static_cast<uint8_t>(font);
        bool continued = write_inline(roff, doc, fonts, text);
        fonts = saved;
        return continued;
    }
    void end_line(bool continued) {
        if (continued) return;
        if (fill) doc.space();
        else breaks = std::max(breaks, 1);
    }
};

using BlockCall = void (*)(Block&, const BlockLine&);

std::string joined(const std::vector<std::string>& args) {
    std::string text;
    for (size_t i = 0; i < args.size(); ++i) {
        if (i > 0) text += ' ';
        text += args[i];
    }
    return text;
}

template <uint8_t Font>
void call_font(Block& b, const BlockLine& line) {
    if (!line.args.empty()) b.end_line(b.put(joined(line.args), Font));
}

template <uint8_t First, uint8_t Second>
void call_alternating(Block& b, const BlockLine& line) {
    bool continued = false;
    for (size_t i = 0; i < line.args.size(); ++i) continued = b.put(line.args[i], i % 2 == 0 ? First : Second);
    if (!line.args.empty()) b.end_line(continued);
}

void call_break(Block& b, const BlockLine&) { b.breaks = std::max(b.breaks, 1); }

void call_paragraph(Block& b, const BlockLine&) { b.breaks = 2; }

// .IP with a tag: the tag starts a line of its own.
void call_item(Block& b, const BlockLine& line) {
    b.breaks = std::max(b.breaks, 1);
    if (!line.args.empty()) b.end_line(b.put(line.args[0]));
}

void call_ft(Block& b, const BlockLine& line) {
    request_ft(b.fonts, line.args.empty() ? std::string_view() : std::string_view(line.args[0]));
}

void call_nf(Block& b, const BlockLine&) { request_nf(b.fill, b.doc); }

void call_fi(Block& b, const BlockLine&) { request_fi(b.fill, b.doc); }

void call_ignored(Block&, const BlockLine&) {}

// The calls text blocks of real pages hold, sorted by name. Another macro's arguments
// are kept as text; another request is left out.
constexpr struct {
    std::string_view name;
    BlockCall call;
} kBlockCalls[] = {
    {"B", call_font<kBold>},    {"BI", call_alternating<kBold, kItalic>}, {"BR", call_alternating<kBold, 0>},
    {"DT", call_ignored},       {"HP", call_paragraph},   {"I", call_font<kItalic>},
    {"IB", call_alternating<kItalic, kBold>}, {"IP", call_item}, {"IR", call_alternating<kItalic, 0>},
    {"IX", call_ignored},       {"LP", call_paragraph},   {"ME", call_ignored},
    {"MT", call_ignored},       {"P", call_paragraph},    {"PD", call_ignored},
    {"PP", call_paragraph},     {"RB", call_alternating<0, kBold>}, {"RE", call_break},
    {"RI", call_alternating<0, kItalic>}, {"RS", call_break}, {"SB", call_font<kSmall | kBold>},
    {"SM", call_font<kSmall>},  {"TE", call_ignored},     {"TH", call_ignored},
    {"TP", call_break},         {"UE", call_ignored},     {"UR", call_ignored},
    {"br", call_break},         {"fi", call_fi},          {"ft", call_ft},
    {"nf", call_nf},            {"sp", call_paragraph},
};

void write_block(const Roff& roff, DocumentBuilder& doc, const Cell& cell) {
    Block b(roff, doc, cell.font);
    for (const BlockLine& line : cell.lines) {
        if (!line.is_call) {
            if (line.text.empty()) {
                b.breaks = 2;
                continue;
            }
            if (b.fill && is_blank(line.text[0])) b.breaks = std::max(b.breaks, 1);
            b.end_line(b.put(line.text));
            continue;
        }
        auto call = std::find_if(std::begin(kBlockCalls), std::end(kBlockCalls),
                                 [&](const auto& c) { return c.name == line.name; });
        if (call != std::end(kBlockCalls)) call->call(b, line);
        else if (!line.name.empty() && line.name[0] >= 'A' && line.name[0] <= 'Z' && !line.args.empty()) {
            b.end_line(b.put(joined(line.args)));
        }
    }
}

// ---- The tree -------------------------------------------------------------------------------------

constexpr std::string_view kAlignClasses[] = {"", "r", "c", "n", "a", "", "", "", ""};
constexpr std::string_view kContentClasses[] = {"", "", "h", "h2", "hi", "hi2"};
constexpr std::string_view kRuleLeft[] = {"", "rl", "rl2"};
constexpr std::string_view kRuleRight[] = {"", "rr", "rr2"};
constexpr std::string_view kRuleAbove[] = {"", "rt", "rt2"};
constexpr std::string_view kRuleBelow[] = {"", "rb", "rb2"};

std::string cell_classes(const Cell& cell) {
    std::string classes;
    for (std::string_view name : {kAlignClasses[static_cast<size_t>(cell.key)], kContentClasses[static_cast<size_t>(cell.content)],
                                  kRuleLeft[cell.rule_left], kRuleRight[cell.rule_right]}) {
        add_class(classes, name);
    }
    // A vertical span's text stands in its middle, unless its layout says otherwise.
    if (cell.rowspan > 1 && !cell.top) add_class(classes, cell.bottom ? "vb" : "vm");
    if (cell.expand) add_class(classes, "x");
    return classes;
}

// The characters of a number from its decimal point on: from the last decimal point next
// to a digit, or else after its last digit. kNone for a text without digits.
size_t fraction_width(std::string_view text, char point) {
    size_t digit = text.find_last_of("0123456789");
    if (digit == std::string_view::npos) return kNone;
    size_t at = digit + 1;
    for (size_t i = text.size(); i-- > 0;) {
        bool beside = (i > 0 && is_digit(text[i - 1])) || (i + 1 < text.size() && is_digit(text[i + 1]));
        if (text[i] == point && beside) {
            at = i;
            break;
        }
    }
    return static_cast<size_t>(std::count_if(text.begin() + static_cast<std::ptrdiff_t>(at), text.end(),
                                             [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// Numeric columns line up at their decimal points: each number of the column is
// right-aligned and padded with as much blank as the longest fraction asks.
std::vector<size_t> align_numbers(Table& t) {
    std::vector<size_t> widest(t.columns, 0);
    for (Row& row : t.rows) {
        for (Cell& cell : row.cells) {
            if (cell.key != Key::number || cell.content != Content::text || cell.colspan != 1) continue;
            cell.fraction = fraction_width(plain_text(t.roff, cell.text), t.options.decimal_point);
            if (cell.fraction != kNone && cell.fraction <= kMaxFraction) {
                widest[cell.column] = std::max(widest[cell.column], cell.fraction);
            }
        }
    }
    return widest;
}

void pad_number(DocumentBuilder& doc, const Cell& cell, size_t widest) {
    if (cell.fraction == kNone || cell.fraction >= widest) return;
    std::string pad = cell.fraction == 0 ? "\u2008" : "\u2007";  // a point's width, or a digit's
    for (size_t n = cell.fraction + 1; n < widest; ++n) pad += "\u2007";
    doc.text(0, pad);
}

void write_table(Table& t, DocumentBuilder& doc) {
    std::vector<size_t> widest = align_numbers(t);
    std::string classes;
    for (std::string_view name : t.options.classes) add_class(classes, name);
    doc.open(NodeKind::table, classes);
    // Rows still covered, per column, by a cell that spans down into them.
    std::vector<uint32_t> covered(t.columns, 0);
    for (const Row& row : t.rows) {
        classes.clear();
        add_class(classes, kRuleAbove[row.rule_above]);
        add_class(classes, kRuleBelow[row.rule_below]);
        if (row.space_above) add_class(classes, "sp");
        doc.open(NodeKind::table_row, classes);
        size_t used = static_cast<size_t>(std::count_if(covered.begin(), covered.end(), [](uint32_t n) { return n > 0; }));
        for (const Cell& cell : row.cells) {
            doc.open_cell(cell_classes(cell), cell.colspan, cell.rowspan, cell.width);
            if (cell.content == Content::text) {
                FontState fonts;
                fonts.current = fonts.previous = cell.font;
                write_inline(t.roff, doc, fonts, cell.text);
                if (cell.key == Key::number && cell.colspan == 1) pad_number(doc, cell, widest[cell.column]);
            } else if (cell.content == Content::block) {
                write_block(t.roff, doc, cell);
            }
            doc.close();
            used += cell.colspan;
        }
        // A row narrower than the table ends in one empty cell.
        if (used < t.columns) {
            doc.open_cell({}, static_cast<uint32_t>(t.columns - used), 1, 0);
            doc.close();
        }
        for (uint32_t& n : covered) n -= n > 0 ? 1 : 0;
        for (const Cell& cell : row.cells) {
            for (size_t c = cell.column; c < cell.column + cell.colspan && c < covered.size(); ++c) {
                covered[c] = cell.rowspan - 1;
            }
        }
        doc.close();
    }
    doc.close();
}

// ---- Reading the table ------------------------------------------------------------------------

// The table is as wide as the widest layout row it has read that takes data (a row of
// lines alone is a rule across the table, however many it writes).
void use_layout(Table& t, std::vector<LayoutRow> layout) {
    t.layout = std::move(layout);
    for (const LayoutRow& row : t.layout) {
        if (row.rule() == 0) t.columns = std::max(t.columns, row.formats.size());
    }
}

enum class Part { options, layout, data };

void call_between_rows(Table& t, const RoffLine& line) {
    if (line.name == "T&") {
        t.layout_follows = true;
    } else if (line.name == "sp") {
        t.pending_space = true;
    } else if (line.name == "ft") {
        request_ft(t.fonts, line.args.empty() ? std::string_view() : std::string_view(line.args[0]));
    }
}

}  // namespace

void render_table(Roff& roff, DocumentBuilder& doc, FontState& fonts) {
    Table t(roff, fonts);
    Part part = Part::options;
    std::vector<LayoutRow> layout;     // the layout being read
    std::vector<std::string> pending;  // its lines, data after all if no layout comes of them
    bool first_layout = true;
    RoffLine line;
    while (!t.input_done && roff.next(line)) {
        if (line.is_call) {
            if (line.name == "TE") break;
            call_between_rows(t, line);
            continue;
        }
        if (t.layout_follows) part = Part::layout;
        t.layout_follows = false;
        std::string_view text = line.text;
        if (part == Part::options) {
            part = Part::layout;
            size_t layout_from = parse_options(text, t.options);
            if (layout_from != kNone) {
                text.remove_prefix(layout_from);
                if (trimmed(text).empty()) continue;
            }
        }
        if (part == Part::layout) {
            bool last = false;
            bool is_layout = parse_layout(text, layout, last);
            if (is_layout) {
                pending.emplace_back(text);
                if (!last) continue;
            }
            // The layout ends with its '.', or before a line that is no layout.
            if (!layout.empty() || !first_layout) {
                if (!layout.empty()) use_layout(t, std::move(layout));
                t.position = 0;
            } else {
                for (const std::string& held : pending) add_data_line(t, held);
            }
            layout.clear();
            pending.clear();
            first_layout = false;
            part = Part::data;
            if (is_layout) continue;
        }
        add_data_line(t, text);
    }
    t.input_done = true;
    // A layout that never ended was data after all.
    if (part == Part::layout && first_layout) {
        for (const std::string& held : pending) add_data_line(t, held);
    }
    // Rows of lines alone at the end of the layout close the table.
    while (t.position < t.layout.size() && t.layout[t.position].rule() != 0) {
        t.pending_rule = std::max(t.pending_rule, t.layout[t.position++].rule());
    }
    if (!t.rows.empty()) t.rows.back().rule_below = t.pending_rule;
    write_table(t, doc);
}
