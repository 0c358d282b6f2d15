// One page in the modern run.
#include "modern/page/page.h"

#include <algorithm>
#include <cstring>

#include "discovery/identify.h"
#include "model/letters.h"
#include "model/paths.h"
#include "modern/doc/builder.h"
#include "modern/html/writer.h"
#include "modern/page/input.h"
#include "modern/man/man.h"
#include "modern/mdoc/mdoc.h"
#include "modern/roff/roff.h"
#include "output/html_escape.h"
#include "output/output_file.h"
#include "platform/platform.h"

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// The request or macro name a line calls, or "" for a text line.
std::string_view call_name(std::string_view line) {
    if (line.empty() || (line[0] != '.' && line[0] != '\'')) return {};
    size_t i = 1;
    while (i < line.size() && is_blank(line[i])) ++i;
    size_t end = i;
    while (end < line.size() && !is_blank(line[end])) ++end;
    return line.substr(i, end - i);
}

bool is_comment(std::string_view line) {
    std::string_view name = call_name(line);
    return (line.size() >= 2 && line[0] == '\\' && line[1] == '"') ||
           (!line.empty() && (line[0] == '.' || line[0] == '\'') && (name.empty() || name.substr(0, 2) == "\\\""));
}

// What kind of page a text is: an alias when its only line is a ".so" request, a man(7)
// page with a title line, an mdoc page with its date or title macro first.
bool classify(std::string_view text, ManualInfo& info) {
    bool only_so = true;
    int significant = 0;
    std::string_view so_target;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        start = end + 1;
        bool blank = line.find_first_not_of(" \t") == std::string_view::npos;
        if (blank || is_comment(line)) continue;
        std::string_view name = call_name(line);
        ++significant;
        if (name == "so" && significant == 1) {
            std::string_view rest = line.substr(line.find("so") + 2);
            size_t b = rest.find_first_not_of(" \t");
            so_target = b == std::string_view::npos ? std::string_view() : rest.substr(b);
            while (!so_target.empty() && is_blank(so_target.back())) so_target.remove_suffix(1);
        } else {
            only_so = false;
        }
        if (name == "TH") {
            info.kind = PageKind::man;
            return true;
        }
        if (name == "Dd" || name == "Dt") {
            info.kind = PageKind::mdoc;
            return true;
        }
    }
    if (only_so && significant == 1 && !so_target.empty()) {
        info.kind = PageKind::alias;
        info.alias_target = std::string(so_target);
        return true;
    }
    return false;
}

// The section a page's title line (.TH, or .Dt before the first heading) spells, its
// second argument, when it is the file's section in other letter case: 3X for
// curs_add.3x. Otherwise empty.
std::string title_line_section(std::string_view text, std::string_view section) {
    for (size_t start = 0; start < text.size();) {
        size_t end = std::min(text.find('\n', start), text.size());
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        std::string_view name = call_name(line);
        if (name == "SH" || name == "Sh") break;
        if (name != "TH" && name != "Dt") continue;
        std::string_view rest = line.substr(name.data() + name.size() - line.data());
        std::string_view argument;
        for (int k = 0; k < 2; ++k) {
            size_t b = rest.find_first_not_of(" \t\r");
            if (b == std::string_view::npos) return {};
            bool quoted = rest[b] == '"';
            size_t e = quoted ? rest.find('"', b + 1) : rest.find_first_of(" \t\r", b);
            if (e == std::string_view::npos) e = rest.size();
            argument = rest.substr(b + quoted, e - b - quoted);
            rest = rest.substr(std::min(e + quoted, rest.size()));
        }
        if (argument != section && same_letters(argument, section)) return std::string(argument);
        return {};
    }
    return {};
}

// Reads an included file for the page at `source_path`, from the first place the ".so"
// line may lead that holds a file (compressed or not); never from outside the input
// folder.
bool read_include(const std::string& input_folder, std::string_view source_path, std::string_view target,
                  std::string& text, std::string& error) {
    std::vector<std::string> candidates = include_candidates(source_path, target);
    if (candidates.empty()) {
        error = "refused: it leads outside the input folder";
        return false;
    }
    for (const std::string& candidate : candidates) {
        for (const char* suffix : {"", ".gz"}) {
            std::string relative = candidate + suffix;
            std::string reason;
            if (read_page_text(input_folder + relative, relative, text, reason)) return true;
            if (error.empty() || reason != platform::error_number_text(ENOENT)) error = reason;
        }
    }
    return false;
}

bool is_space_byte(unsigned char c) { return c == ' ' || c == '\t' || c == '\n'; }

// The text with runs of white space (no-break spaces too) as single blanks, trimmed.
std::string collapsed(std::string_view text) {
    // Written in place: never longer than the text.
    std::string out(text.size(), '\0');
    size_t length = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        bool space = is_space_byte(static_cast<unsigned char>(text[i]));
        if (!space && i + 1 < text.size() && static_cast<unsigned char>(text[i]) == 0xC2 &&
            static_cast<unsigned char>(text[i + 1]) == 0xA0) {
            space = true;
            ++i;
        }
        if (space) {
            if (length > 0 && out[length - 1] != ' ') out[length++] = ' ';
        } else {
            out[length++] = text[i];
        }
    }
    while (length > 0 && out[length - 1] == ' ') --length;
    out.resize(length);
    return out;
}

std::string trimmed(std::string_view s) {
    size_t b = s.find_first_not_of(' ');
    if (b == std::string_view::npos) return {};
    size_t e = s.find_last_not_of(' ');
    return std::string(s.substr(b, e - b + 1));
}

void write_head(Sink& out, const PageTable& pages, uint32_t index) {
    const PageRecord& record = pages[index];
    const ManualInfo& info = pages.manuals[index];
    std::string head = "<!DOCTYPE html>\n<html";
    std::string_view language = language_folder(record.source_path);
    if (!language.empty()) {
        std::string code(language.substr(0, language.find_first_of(".@")));
        for (char& c : code) c = c == '_' ? '-' : c;
        head += " lang=\"" + code + "\"";
    }
    head += ">\n<head>\n<meta charset=\"utf-8\">\n"
            "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>";
    append_escaped(head, info.name + "(" + info.section + ")");
    head += "</title>\n<link rel=\"stylesheet\" href=\"";
    append_escaped(head, path_to_root(record.html_path) + "tolbrik.css", true);
    head += "\">\n</head>\n<body>\n";
    out.put(head);
}

// The calls a NAME section may make and still need nothing the page defines.
constexpr std::string_view kPlainCalls[] = {"B", "BI", "BR", "I", "IB", "IR", "LP", "P", "PP", "RB", "RI", "SB",
                                            "SM", "br", "sp"};

// The first section of a man page, from its heading line to the next heading, when it can
// be read alone: no string, register or argument interpolated, no call but font changes
// and breaks. Otherwise (and when there is no heading) empty: the page is read whole.
std::string_view self_contained_first_section(std::string_view text) {
    size_t start = std::string_view::npos;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(at, end - at);
        std::string_view name = call_name(line);
        if (name == "SH" || name == "SS") {
            if (start != std::string_view::npos) return text.substr(start, at - start);
            start = at;
        } else if (start != std::string_view::npos) {
            if (line.find("\\*") != std::string_view::npos || line.find("\\n") != std::string_view::npos ||
                line.find("\\$") != std::string_view::npos) {
                return {};
            }
            if (!name.empty() && !is_comment(line) &&
                std::find(std::begin(kPlainCalls), std::end(kPlainCalls), name) == std::end(kPlainCalls)) {
                return {};
            }
        }
        at = end + 1;
    }
    return {};
}

}  // namespace

bool passes_modern_name_test(std::string_view entry) {
    if (is_compressed(entry)) entry.remove_suffix(3);
    size_t dot = entry.rfind('.');
    return dot != std::string_view::npos && dot + 1 < entry.size() && entry[dot + 1] >= '0' && entry[dot + 1] <= '9';
}

void name_and_section(std::string_view source_path, std::string& name, std::string& section) {
    if (is_compressed(source_path)) source_path.remove_suffix(3);
    size_t slash = source_path.rfind('\\');
    std::string_view file = slash == std::string_view::npos ? source_path : source_path.substr(slash + 1);
    size_t dot = file.rfind('.');
    if (dot == std::string_view::npos) {
        // The '.' that made it a page lies in a folder name: the folder gives the section.
        name = std::string(file);
        size_t folder_dot = source_path.rfind('.');
        section = folder_dot == std::string_view::npos ? "" : std::string(source_path.substr(folder_dot + 1, 1));
        return;
    }
    name = std::string(file.substr(0, dot));
    section = std::string(file.substr(dot + 1));
}

void parse_name_section(std::string_view text, ManualInfo& info) {
    std::string line = collapsed(text);
    // The names end at the first dash between blanks: " - ", or an en or em dash. No two
    // of these begin at one blank, so the blanks are looked at in turn, once each.
    size_t dash = std::string::npos, after = 0;
    const std::string_view all = line;
    for (size_t at = all.find(' '); at != std::string::npos && dash == std::string::npos; at = all.find(' ', at + 1)) {
        for (std::string_view separator : {" - ", " \u2013 ", " \u2014 ", " -- "}) {
            if (all.substr(at, separator.size()) == separator) {
                dash = at;
                after = at + separator.size();
                break;
            }
        }
    }
    std::string_view names = dash == std::string::npos ? std::string_view(line) : std::string_view(line).substr(0, dash);
    info.description = dash == std::string::npos ? std::string() : trimmed(std::string_view(line).substr(after));
    info.names.clear();
    size_t start = 0;
    while (start <= names.size()) {
        size_t comma = names.find(',', start);
        if (comma == std::string_view::npos) comma = names.size();
        std::string name = trimmed(names.substr(start, comma - start));
        // Without a dash, the names are the first word only.
        if (dash == std::string::npos) name = name.substr(0, name.find(' '));
        if (!name.empty() && name.size() <= 200) info.names.push_back(name);
        start = comma + 1;
        if (dash == std::string::npos) break;
    }
}

RoffHost page_host(bool mdoc, RoffHost::Include include) {
    return mdoc ? RoffHost{is_mdoc_macro, std::move(include), nullptr}
                : RoffHost{is_man_macro, std::move(include), man_keeps_own};
}

std::string path_to_root(std::string_view html_path) {
    std::string up;
    for (char c : html_path) {
        if (c == '\\') up += "../";
    }
    return up;
}

uint8_t identify_manual(const std::string& input_folder, const char* entry, ManualInfo& info,
                        TextStore* store, std::string_view* held) {
    if (!passes_modern_name_test(entry)) return kNotPage;
    std::string path = input_folder + entry;
    std::string text, error;
    if (!read_page_text(path, entry, text, error)) {
        platform::print_err("tolbrik: cannot read " + platform::native_path(path) + ": " + error + "\n");
        return 0xFF;
    }
    info = ManualInfo{};
    name_and_section(entry, info.name, info.section);
    if (!classify(text, info)) {
        platform::print_out(std::string(kNoTitleMessage) + entry + "\n");
        return kNotPage;
    }
    if (info.kind == PageKind::alias) return kIsPage;
    info.title_section = title_line_section(text, info.section);
    // The NAME section: the page read up to the end of its first section, as plain text;
    // where the section needs nothing the page defines, that section alone.
    bool mdoc = info.kind == PageKind::mdoc;
    std::string_view alone = mdoc ? std::string_view() : self_contained_first_section(text);
    Roff roff(alone.empty() ? std::string_view(text) : alone, page_host(mdoc));
    Document doc;
    {
        DocumentBuilder builder(doc);
        TitleLine title;
        (mdoc ? render_mdoc : render_man)(roff, builder, title, true);
    }
    parse_name_section(first_section_text(doc, kNameTextLimit), info);
    if (store != nullptr) *held = store->keep(text);
    return kIsPage;
}

ConvertResult convert_manual(const PageTable& pages, const NameIndex& names, uint32_t index,
                             const std::string& input_folder, const std::string& output_folder,
                             std::string& made_folder, std::string_view held) {
    const PageRecord& record = pages[index];
    std::string path = input_folder + record.source_path;
    std::string text, error;
    if (held.data() == nullptr && !read_page_text(path, record.source_path, text, error)) {
        platform::print_err("tolbrik: cannot read " + platform::native_path(path) + ": " + error + "\n");
        return {false, true};
    }
    std::string_view source_path = record.source_path;
    bool mdoc = pages.manuals[index].kind == PageKind::mdoc;
    RoffHost host = page_host(mdoc, [&](std::string_view target, std::string& included, std::string& reason) {
        return read_include(input_folder, source_path, target, included, reason);
    });
    // The text held from identification, or the one read here: either outlives the reader.
    Roff roff(held.data() != nullptr ? held : std::string_view(text), host);
    bool written = write_output_file(
        output_folder + record.html_path,
        [&](Sink& out) {
            write_head(out, pages, index);
            Document doc;
            {
                DocumentBuilder builder(doc);
                builder.resolve = [&](std::string_view name, std::string_view section) {
                    uint32_t target = find_reference(pages, names, index, name, section);
                    return target == UINT32_MAX ? std::string()
                                                : relative_href(record.html_path, pages[target].html_path);
                };
                TitleLine title;
                (mdoc ? render_mdoc : render_man)(roff, builder, title, false);
            }
            write_html(doc, out);
            out.put("</body>\n</html>\n");
        },
        &made_folder);
    bool reported = false;
    for (const Roff::Message& message : roff.messages()) {
        std::string line = message.line == 0 ? std::string() : ":" + std::to_string(message.line);
        platform::print_err("tolbrik: " + platform::native_path(path) + line + ": " +
                            (message.warning ? "warning: " : "") + message.text + "\n");
        reported |= !message.warning;
    }
    return {written, reported};
}

const char kStylesheet[] = R"(/* The pages of a manual, as a reader of terminal pages expects them. */
body { margin: 1em auto; max-width: 60em; padding: 0 1em; font-family: sans-serif; line-height: 1.2; }
header > div, footer > div { display: flex; justify-content: space-between; color: #555; font-size: 0.9em; }
header { border-bottom: 1px solid #ccc; margin-bottom: 1em; }
footer { border-top: 1px solid #ccc; margin-top: 2em; }
h2 { font-size: 1.15em; margin: 1em 0 0.3em; }
h3 { font-size: 1em; margin: 0.9em 0 0.3em; }
h2, h3 { position: relative; }
/* Each heading links to itself: a mark before it while the pointer is over it. */
a.self { position: absolute; left: -1.2em; width: 1.2em; text-decoration: none; color: #999; }
h2:hover > a.self::before, h3:hover > a.self::before { content: "\00a7"; }
.sect { margin-left: 2.5em; }
.sect > h3 { margin-left: -1.25em; }
p { margin: 0 0 0.5em; }
/* (Two family names: a lone "monospace" would be set smaller than the text.) */
pre, code { font-family: monospace, monospace; font-size: 1em; }
pre { margin: 0 0 0.5em; white-space: pre-wrap; background: #f6f6f6; padding: 0.2em 0.5em; }
/* A tag stands beside its text when it fits in the indent, as on a terminal, else above it:
   the definition, as wide as the list and a block of its own, cannot share a line with a
   tag that reaches into it. */
dl { margin: 0 0 0.5em 3.5em; }
dt { float: left; clear: left; margin-left: -3.5em; padding-right: 0.5em; font-weight: normal; }
dd { display: flow-root; width: 100%; margin: 0 0 0.2em; }
dd > p:last-child, .rs > p:last-child { margin-bottom: 0.3em; }
blockquote { margin: 0 0 0.5em; }
.rs, .ip { margin-left: 3em; }
ul, ol { margin: 0 0 0.5em; padding-left: 1.5em; }
li > p:last-child { margin-bottom: 0.2em; }
.hp p, .sy p { padding-left: 3em; text-indent: -3em; }
a { color: #0645ad; }
table { border-collapse: collapse; margin: 0 0 0.8em; }
td, th { padding: 0.1em 0.6em; vertical-align: top; }
/* Tables: frames, alignment, spans in the middle of their rows, and rules as borders. */
table.center { margin-left: auto; margin-right: auto; }
table.expand { width: 100%; }
table.box, table.all, table.all td { border: 1px solid; }
table.dbox { border: 3px double; }
td.r, td.n { text-align: right; }
td.c { text-align: center; }
td.a { padding-left: 1.6em; }
td.vm { vertical-align: middle; }
td.vb { vertical-align: bottom; }
td.x { width: 100%; }
td.rl { border-left: 1px solid; }
td.rl2 { border-left: 3px double; }
td.rr { border-right: 1px solid; }
td.rr2 { border-right: 3px double; }
tr.rt > td { border-top: 1px solid; }
tr.rt2 > td { border-top: 3px double; }
tr.rb > td { border-bottom: 1px solid; }
tr.rb2 > td { border-bottom: 3px double; }
tr.sp > td { padding-top: 1em; }
td.h, td.hi { background: linear-gradient(currentColor, currentColor) center / 100% 1px no-repeat; }
td.h2, td.hi2 { background: linear-gradient(currentColor, currentColor) 0 calc(50% - 2px) / 100% 1px no-repeat,
                linear-gradient(currentColor, currentColor) 0 calc(50% + 2px) / 100% 1px no-repeat; }
td.hi, td.hi2 { background-origin: content-box; background-clip: content-box; }
/* Equations: a font with the metrics that place accents and stretch delimiters (a browser's
   own choice may have none), and the variants its MathML leaves to the stylesheet. */
math { line-height: normal; font-family: "Cambria Math", "STIX Two Math", "Latin Modern Math",
       "DejaVu Math TeX Gyre", math; }
math [mathvariant="italic"] { font-style: italic; }
math [mathvariant="bold"] { font-weight: bold; text-transform: none; }
math [mathvariant="bold-italic"] { font-weight: bold; font-style: italic; text-transform: none; }
math [mathvariant="monospace"] { font-family: monospace, monospace; text-transform: none; }
math[display="block"] { margin: 0.3em 0; }
/* The marks that set an equation out on one line for a viewer without MathML: not here. */
math .linear { display: none; }
/* The start page's bar of initials, one per section. */
nav.letters { margin: 0 0 0.5em; line-height: 1.6; }
nav.letters a { padding: 0 0.25em; }
/* A narrow window: smaller indents, and wide tables and examples scroll on their own. */
@media (max-width: 40em) {
  body { padding: 0 0.5em; }
  .sect { margin-left: 0.8em; }
  .sect > h3 { margin-left: -0.4em; }
  dl { margin-left: 2em; }
  dt { margin-left: -2em; }
  .rs, .ip { margin-left: 1em; }
  .hp p, .sy p { padding-left: 1.5em; text-indent: -1.5em; }
  table { display: block; overflow-x: auto; }
}
)";
