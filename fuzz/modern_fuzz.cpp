// The modern conversion of arbitrary bytes, memory to memory, as a page is converted:
// decoded to UTF-8, read by the roff reader, built by the man or mdoc layer into a
// document tree (which must be well formed), with a resolver that knows a few names so
// that references become links, and written as HTML. The HTML is read back as a browser's parser reads it: only the converter's own tags,
// nested as the parser keeps them (nothing it would close, move or drop on its own),
// attributes and text escaped, only characters a page may hold, and not much more of it
// than the reader let the page make. Identification's plain text of the NAME section, on
// the same text, must be clean UTF-8 too.
//
// Input: one byte that chooses the macro set (man, mdoc, or what identification decides)
// and the folder the page lies in (which may name its code page), then the page's bytes.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "discovery/identify.h"
#include "fuzz_check.h"
#include "scratch.h"
#include "modern/page/encoding.h"
#include "modern/doc/builder.h"
#include "modern/html/writer.h"
#include "modern/man/man.h"
#include "modern/mdoc/mdoc.h"
#include "modern/page/page.h"
#include "modern/roff/roff.h"

namespace {

// Where the page lies: no code page named, then two named ones.
constexpr const char* kSourcePaths[] = {
    "man1\\page.1",
    "ru.KOI8-R\\man1\\page.1",
    "pl_PL.ISO8859-2\\man1\\page.1",
};
constexpr size_t kPathCount = sizeof kSourcePaths / sizeof kSourcePaths[0];

// The pages a reference may lead to, by name and section ("" for any section); one href
// that needs escaping in an attribute.
struct Target {
    std::string_view name, section, href;
};
constexpr Target kTargets[] = {
    {"ls", "1", "../man1/ls.1.html"},
    {"printf", "", "../man3/printf.3.html"},
    {"ld.so", "8", "odd/q&a\"<x>.html"},
};

std::string resolve(std::string_view name, std::string_view section) {
    for (const Target& target : kTargets) {
        if (name == target.name && (target.section.empty() || section == target.section)) return std::string(target.href);
    }
    return {};
}

// What a .so request reads: one name serves a small text, every other is refused.
bool include(std::string_view target, std::string& text, std::string& error) {
    if (target != "inc") {
        error = "refused";
        return false;
    }
    text = ".de Ix\n.B \\\\$1\n..\nincluded text ls(1)\n.Ix \\*(lq\n";
    return true;
}

// The reader's bounds, smaller than a page's so that a run stays quick; the output bound
// below is relative to the work the reader counts, so it holds for any bounds.
RoffLimits fuzz_limits() {
    RoffLimits limits;
    limits.line_length = 64u << 10;
    limits.total_bytes = 256u << 10;
    limits.string_length = 64u << 10;
    limits.definitions = 10000;
    return limits;
}

// At most this much HTML per byte the reader counts as work (every line it handles, every
// string it interpolates), plus a fixed allowance for the header, footer and closing tags.
constexpr size_t kOutputPerWork = 64;
constexpr size_t kOutputFixed = 4096;
// Identification's text of the NAME section: at most 64 KiB, and a blank.
constexpr size_t kCaptureBound = kNameTextLimit + 1;

// ---- Characters ---------------------------------------------------------------------------

// Checks that `text` is valid UTF-8 of characters a page may hold: no control characters
// (tab and line ends aside when `line_ends`), no C1 controls, surrogates or noncharacters.
// Returns "" or what is wrong.
std::string check_characters(std::string_view text, bool line_ends) {
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        auto where = [&] { return " at " + std::to_string(i) + ": " + fuzz::shown(text.substr(i, 12)); };
        if (c < 0x80) {
            const bool space = c == '\t' || c == '\n' || c == '\r';
            if ((c < 0x20 && !(line_ends && space)) || c == 0x7F) return "a control character" + where();
            ++i;
            continue;
        }
        const size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
        if (length == 0 || c > 0xF4 || i + length > text.size()) return "not UTF-8" + where();
        uint32_t cp = c & (0x7Fu >> length);
        for (size_t k = 1; k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return "not UTF-8" + where();
            cp = cp << 6 | (next & 0x3Fu);
        }
        const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < least[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) return "not UTF-8" + where();
        if (cp < 0xA0) return "a C1 control character" + where();
        if ((cp >= 0xFDD0 && cp <= 0xFDEF) || (cp & 0xFFFE) == 0xFFFE) return "a noncharacter" + where();
        i += length;
    }
    return "";
}

// ---- Markup -------------------------------------------------------------------------------

// The tags the converter writes in a page's body (modern/*.cpp, equations' MathML
// among them), and what the parser makes of each. A void element has no end tag; a block closes an open paragraph; a
// special element ends the search for a list item or term that a new one would close.
struct Tag {
    std::string_view name;
    bool is_void, block, special;
};
constexpr Tag kTags[] = {
    {"a", false, false, false},     {"b", false, false, false},     {"blockquote", false, true, true},
    {"br", true, false, true},
    {"code", false, false, false},  {"dd", false, true, true},      {"div", false, true, false},
    {"dl", false, true, true},      {"dt", false, true, true},      {"footer", false, true, true},
    {"h2", false, true, true},      {"h3", false, true, true},      {"header", false, true, true},
    {"i", false, false, false},     {"li", false, true, true},      {"main", false, true, true},
    {"math", false, false, false},  {"mfrac", false, false, false}, {"mi", false, false, false},
    {"mn", false, false, false},    {"mo", false, false, false},    {"mover", false, false, false},
    {"mrow", false, false, false},  {"mspace", false, false, false}, {"msqrt", false, false, false},
    {"mstyle", false, false, false}, {"msub", false, false, false}, {"msubsup", false, false, false},
    {"msup", false, false, false},  {"mtable", false, false, false}, {"mtd", false, false, false},
    {"mtext", false, false, false}, {"mtr", false, false, false},   {"munder", false, false, false},
    {"munderover", false, false, false},
    {"ol", false, true, true},      {"p", false, true, false},      {"pre", false, true, true},
    {"small", false, false, false}, {"span", false, false, false},  {"table", false, true, true},
    {"td", false, false, true},     {"tr", false, false, true},     {"ul", false, true, true},
};
constexpr std::string_view kAttributes[] = {"accent", "accentunder", "border", "class", "colspan", "columnalign",
                                            "display", "href", "id", "mathsize", "mathvariant", "rowspan", "style",
                                            "width"};
constexpr std::string_view kExternal[] = {"http://", "https://", "ftp://", "mailto:"};

const Tag* find_tag(std::string_view name) {
    const Tag* tag = std::find_if(std::begin(kTags), std::end(kTags), [&](const Tag& t) { return t.name == name; });
    return tag == std::end(kTags) ? nullptr : tag;
}

// The entity at `at` of a text ("&amp;" ...) and the character it stands for; 0 when
// there is none the writer uses there.
char entity_at(std::string_view s, size_t at, bool attribute, size_t& length) {
    static const std::pair<std::string_view, char> kEntities[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}};
    for (const auto& entity : kEntities) {
        if (entity.second == '"' && !attribute) continue;
        if (s.substr(at, entity.first.size()) == entity.first) {
            length = entity.first.size();
            return entity.second;
        }
    }
    return 0;
}

bool is_blank_text(std::string_view text) { return text.find_first_not_of(" \t\r\n") == std::string_view::npos; }

std::string folded(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    return out;
}

// Reads the HTML as a parser would, failing at the first thing it would not take as
// written: an unknown tag, a raw '<', '>' or '&', a bad attribute, an end tag that does
// not close the innermost element, or a start tag the parser would move, ignore or let
// close something (a block inside a paragraph, a link inside a link, a heading right
// inside a heading, a term or list item inside another, a table's parts out of place).
class Reader {
public:
    explicit Reader(std::string_view html) : html_(html) {}

    void read() {
        while (at_ < html_.size()) {
            size_t lt = html_.find('<', at_);
            if (lt == std::string_view::npos) lt = html_.size();
            text(html_.substr(at_, lt - at_));
            at_ = lt;
            if (at_ < html_.size()) tag();
        }
        FUZZ_CHECK(stack_.empty(), "<" + std::string(top()) + "> never closed");
    }

private:
    void fail(const std::string& what) const {
        fuzz::broken(__FILE__, __LINE__, what + " at " + std::to_string(at_) + ": " +
                                             fuzz::shown(html_.substr(at_ > 40 ? at_ - 40 : 0, 100)));
    }

    // An open element, with what the parser sees from inside it.
    struct Open {
        std::string_view name;
        bool paragraph = false;  // a <p> in scope (up to a table or a cell)
        bool term = false;       // a <dt> or <dd> that no special element keeps apart
        bool item = false;       // the same for an <li>
        bool link = false;       // inside an <a>
    };

    std::string_view top() const { return stack_.empty() ? std::string_view() : stack_.back().name; }

    void text(std::string_view t) {
        if (t.empty()) return;
        if ((top() == "table" || top() == "tr") && !is_blank_text(t)) {
            fail("text right inside <" + std::string(top()) + ">");
        }
        for (size_t i = 0; i < t.size(); ++i) {
            if (t[i] == '>') fail("a raw '>' in text");
            if (t[i] == '&') {
                size_t length = 0;
                char c = entity_at(t, i, false, length);
                if (c == 0) fail("a stray '&' in text");
                if (link_ >= 0) link_text_ += c;
                i += length - 1;
                continue;
            }
            if (link_ >= 0) link_text_ += t[i];
        }
    }

    void tag() {
        const bool end = html_.substr(at_, 2) == "</";
        size_t i = at_ + (end ? 2 : 1);
        size_t name_end = i;
        while (name_end < html_.size() && html_[name_end] >= 'a' && html_[name_end] <= 'z') ++name_end;
        if (name_end < html_.size() && html_[name_end] >= '0' && html_[name_end] <= '9') ++name_end;
        const std::string_view name = html_.substr(i, name_end - i);
        const Tag* tag = find_tag(name);
        if (tag == nullptr) fail("a raw '<' or a tag the converter does not write");
        i = name_end;
        if (end) {
            if (i >= html_.size() || html_[i] != '>') fail("a malformed end tag");
            if (tag->is_void) fail("an end tag of a void element");
            if (top() != name) fail("</" + std::string(name) + "> while <" + std::string(top()) + "> is innermost");
            stack_.pop_back();
            if (name == "a") end_link();
            at_ = i + 1;
            return;
        }
        std::vector<std::string_view> names;
        std::string href, id;
        while (i < html_.size() && html_[i] == ' ') {
            size_t attribute_end = ++i;
            while (attribute_end < html_.size() && html_[attribute_end] >= 'a' && html_[attribute_end] <= 'z') {
                ++attribute_end;
            }
            const std::string_view attribute = html_.substr(i, attribute_end - i);
            if (std::find(std::begin(kAttributes), std::end(kAttributes), attribute) == std::end(kAttributes)) {
                fail("an attribute the converter does not write");
            }
            if (std::find(names.begin(), names.end(), attribute) != names.end()) fail("an attribute twice");
            names.push_back(attribute);
            if (html_.substr(attribute_end, 2) != "=\"") fail("an attribute value not in double quotes");
            i = attribute_end + 2;
            std::string value;
            while (i < html_.size() && html_[i] != '"') {
                if (html_[i] == '<') fail("a raw '<' in an attribute value");
                if (html_[i] == '&') {
                    size_t length = 0;
                    char c = entity_at(html_, i, true, length);
                    if (c == 0) fail("a stray '&' in an attribute value");
                    value += c;
                    i += length;
                    continue;
                }
                value += html_[i++];
            }
            if (i >= html_.size()) fail("an attribute value without its closing quote");
            ++i;
            if (attribute == "href") href = value;
            if (attribute == "id") id = value;
        }
        if (i >= html_.size() || html_[i] != '>') fail("a malformed start tag");
        start(*tag, href, id);
        at_ = i + 1;
    }

    void start(const Tag& tag, const std::string& href, const std::string& id) {
        const std::string_view name = tag.name;
        // Ids are unique on a page, letter case aside, and hold no blank.
        if (!id.empty()) {
            if (id.find_first_of(" \t\n\r\f") != std::string::npos) fail("an id with a blank in it");
            if (!ids_.insert(folded(id)).second) fail("an id used twice");
        }
        if (top() == "table" && name != "tr") fail("<" + std::string(name) + "> right inside <table>");
        if (top() == "tr" && name != "td") fail("<" + std::string(name) + "> right inside <tr>");
        if (name == "tr" && top() != "table") fail("<tr> outside a table's own level");
        if (name == "td" && top() != "tr") fail("<td> outside a row");
        const Open outer = stack_.empty() ? Open{} : stack_.back();
        // A block closes a paragraph in scope; a term or item closes an open one of its
        // kind that no special element (other than a div or a paragraph) keeps apart.
        if (tag.block && outer.paragraph) fail("<" + std::string(name) + "> inside <p>");
        if ((name == "dt" || name == "dd") && outer.term) fail("<" + std::string(name) + "> inside a <dt> or <dd>");
        if (name == "li" && outer.item) fail("<li> inside <li>");
        const bool heading = name == "h2" || name == "h3";
        if (heading && (top() == "h2" || top() == "h3")) fail("a heading right inside a heading");
        if (name == "a") {
            if (outer.link) fail("a link inside a link");
            if (href.empty()) fail("a link without an href");
            link_ = -1;
            for (size_t k = 0; k < sizeof kTargets / sizeof kTargets[0]; ++k) {
                if (href == kTargets[k].href) link_ = static_cast<int>(k);
            }
            // (A heading's link to itself.)
            const bool self = (top() == "h2" || top() == "h3") && href.substr(0, 1) == "#";
            if (link_ < 0 && !self && std::none_of(std::begin(kExternal), std::end(kExternal), [&](std::string_view scheme) {
                    return href.compare(0, scheme.size(), scheme) == 0;
                })) {
                fail("a link to " + fuzz::shown(href) + ", neither a page nor the web nor a mail box");
            }
            link_text_.clear();
        }
        if (tag.is_void) return;
        Open inner;
        inner.name = name;
        inner.paragraph = name == "p" || (outer.paragraph && name != "table" && name != "td");
        inner.term = name == "dt" || name == "dd" || (outer.term && !tag.special);
        inner.item = name == "li" || (outer.item && !tag.special);
        inner.link = outer.link || name == "a";
        stack_.push_back(inner);
    }

    // A link to a page shows the reference name(section) that leads there.
    void end_link() {
        if (link_ < 0) return;
        const Target& target = kTargets[link_];
        const std::string_view shown = link_text_;
        const size_t open_paren = shown.find('(');
        const bool ok = !shown.empty() && shown.back() == ')' && open_paren != std::string_view::npos &&
                        resolve(shown.substr(0, open_paren),
                                shown.substr(open_paren + 1, shown.size() - open_paren - 2)) == target.href;
        if (!ok) fail("a link to " + std::string(target.href) + " on " + fuzz::shown(link_text_));
        link_ = -1;
    }

    std::string_view html_;
    size_t at_ = 0;
    std::vector<Open> stack_;
    std::unordered_set<std::string> ids_;
    int link_ = -1;  // the target of the open link to a page, -1 when none is open
    std::string link_text_;
};

// ---- Running the converter ----------------------------------------------------------------

enum class Kind { man, mdoc, identified };

// Identification of the page from a file, as the run does it: its kind, names and
// description.
ManualInfo identify(std::string_view bytes, const char* source_path) {
    fuzz::scratch().write(source_path, bytes);
    ManualInfo info;
    const uint8_t answer = identify_manual(fuzz::scratch().tool, source_path, info);
    FUZZ_CHECK(answer == kIsPage || answer == kNotPage, "a readable file was answered " + std::to_string(answer));
    if (answer == kNotPage) info.kind = PageKind::man;
    for (const std::string& name : info.names) {
        FUZZ_CHECK(!name.empty() && name.size() <= 200, "a name of " + std::to_string(name.size()) + " bytes");
        std::string wrong = check_characters(name, false);
        FUZZ_CHECK(wrong.empty(), "identification's name: " + wrong);
    }
    FUZZ_CHECK(info.description.size() <= kCaptureBound,
               "a description of " + std::to_string(info.description.size()) + " bytes");
    std::string wrong = check_characters(info.description, false);
    FUZZ_CHECK(wrong.empty(), "identification's description: " + wrong);
    return info;
}

// The tree the layers build of the page that `roff` reads, checked for its shape.
void build(Roff& roff, Document& doc, bool mdoc, bool first_section_only) {
    {
        DocumentBuilder builder(doc);
        if (!first_section_only) builder.resolve = resolve;
        TitleLine title;
        (mdoc ? render_mdoc : render_man)(roff, builder, title, first_section_only);
        FUZZ_CHECK(builder.depth() == 0 && !builder.has_text(), "the builder holds something at the end");
    }
    std::string wrong = check_document(doc);
    FUZZ_CHECK(wrong.empty(), "the tree: " + wrong);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::silence_standard_output();
    fuzz::scratch({std::begin(kSourcePaths), std::end(kSourcePaths)});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const Kind kind = static_cast<Kind>(data[0] % 3);
    const char* source_path = kSourcePaths[data[0] / 3 % kPathCount];
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

    std::string text;
    to_utf8(bytes, source_path, text);
    FUZZ_CHECK(is_valid_utf8(text), "the decoded text is not UTF-8");
    if (is_valid_utf8(bytes) && bytes.substr(0, 3) != "\xEF\xBB\xBF") {
        FUZZ_CHECK(text == bytes, "valid UTF-8 was not copied as it is");
    }

    bool mdoc = kind == Kind::mdoc;
    if (kind == Kind::identified) mdoc = identify(bytes, source_path).kind == PageKind::mdoc;
    const RoffHost host = page_host(mdoc, include);

    Sink out;
    Roff roff(text, host, fuzz_limits());
    Document doc;
    build(roff, doc, mdoc, false);
    write_html(doc, out);
    const std::string_view page = out.text();
    // To look at what an input makes: TOLBRIK_FUZZ_SHOW=1 fuzz_modern <input>.
    static const bool show = std::getenv("TOLBRIK_FUZZ_SHOW") != nullptr;
    if (show) std::fprintf(stderr, "%.*s\n[%zu bytes of HTML]\n", static_cast<int>(page.size()), page.data(), page.size());
    // The reader stops a page at its bound: past it by no more than one line, string or
    // page can take at once.
    const RoffLimits limits = fuzz_limits();
    const size_t most = limits.total_bytes + std::max({limits.line_length, limits.string_length, bytes.size()});
    FUZZ_CHECK(roff.work() <= most, "the reader's work went on to " + std::to_string(roff.work()) + " bytes");
    const size_t bound = kOutputPerWork * std::max(roff.work(), bytes.size()) + kOutputFixed;
    FUZZ_CHECK(page.size() <= bound, std::to_string(page.size()) + " bytes of HTML for " +
                                         std::to_string(roff.work()) + " bytes of the reader's work");
    std::string wrong = check_characters(page, true);
    FUZZ_CHECK(wrong.empty(), wrong);
    Reader(page).read();

    // Identification's reading: the first section as plain text, nothing on the page.
    Roff first(text, page_host(mdoc), fuzz_limits());
    build(first, doc, mdoc, true);
    std::string name_text = first_section_text(doc, kNameTextLimit);
    wrong = check_characters(name_text, false);
    FUZZ_CHECK(wrong.empty(), "identification's text: " + wrong);
    FUZZ_CHECK(name_text.size() <= kCaptureBound,
               "identification's text of " + std::to_string(name_text.size()) + " bytes");
    return 0;
}
