// Pages as a help file stores and indexes them.
#include "helpfile/page_text.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "model/letters.h"
#include "model/utf8.h"  // ascii_page

namespace {

struct Entity {
    std::string_view name;
    uint32_t code_point;
};

// The named references pages use, sorted by name.
constexpr Entity kEntities[] = {
    {"amp", '&'},       {"apos", '\''},     {"bull", 0x2022},  {"copy", 0xA9},    {"deg", 0xB0},
    {"gt", '>'},        {"hellip", 0x2026}, {"laquo", 0xAB},   {"larr", 0x2190},  {"ldquo", 0x201C},
    {"lsquo", 0x2018},  {"lt", '<'},        {"mdash", 0x2014}, {"middot", 0xB7},  {"minus", 0x2212},
    {"nbsp", 0xA0},     {"ndash", 0x2013},  {"plusmn", 0xB1},  {"quot", '"'},     {"raquo", 0xBB},
    {"rarr", 0x2192},   {"rdquo", 0x201D},  {"reg", 0xAE},     {"rsquo", 0x2019}, {"shy", 0xAD},
    {"times", 0xD7},    {"trade", 0x2122},
};

// Elements inside a line of text: a word may run on across them.
constexpr std::string_view kInline[] = {"a",   "abbr", "b",    "big", "cite", "code", "em",  "font", "i",   "kbd",
                                        "q",   "s",    "samp", "small", "span", "strong", "sub", "sup",  "tt",  "u",
                                        "var"};

bool is_inline(std::string_view name) {
    for (std::string_view n : kInline) {
        if (n == name) return true;
    }
    return false;
}

// The reference at html[i] ('&'): its code point, i moved past it; 0 (i unmoved) when
// it is no reference.
uint32_t reference_at(std::string_view html, size_t& i) {
    size_t end = html.find(';', i + 1);
    if (end == std::string_view::npos || end - i > 12) return 0;
    std::string_view body = html.substr(i + 1, end - i - 1);
    uint32_t code_point = 0;
    if (body.size() >= 2 && body[0] == '#') {
        bool hex = body[1] == 'x' || body[1] == 'X';
        std::string_view digits = body.substr(hex ? 2 : 1);
        if (digits.empty()) return 0;
        for (char c : digits) {
            unsigned digit;
            if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
            else if (hex && lower_case(c) >= 'a' && lower_case(c) <= 'f') digit = static_cast<unsigned>(lower_case(c) - 'a' + 10);
            else return 0;
            code_point = code_point * (hex ? 16 : 10) + digit;
            if (code_point > 0x10FFFF) return 0;
        }
    } else {
        const Entity* end_of = std::end(kEntities);
        const Entity* found = std::lower_bound(std::begin(kEntities), end_of, body,
                                               [](const Entity& e, std::string_view n) { return e.name < n; });
        if (found == end_of || found->name != body) return 0;
        code_point = found->code_point;
    }
    if (code_point == 0) return 0;
    i = end + 1;
    return code_point;
}

// Where the tag that opens at html[i] ends (after its '>'), quoted values passed over.
size_t tag_end(std::string_view html, size_t i) {
    char quote = 0;
    for (size_t k = i + 1; k < html.size(); ++k) {
        char c = html[k];
        if (quote != 0) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            return k + 1;
        }
    }
    return html.size();
}

// Past the end tag </name> from i on (or to the end).
size_t past_end_tag(std::string_view html, size_t i, std::string_view name) {
    while ((i = html.find("</", i)) != std::string_view::npos) {
        if (i + 2 + name.size() <= html.size() && same_letters(html.substr(i + 2, name.size()), name)) {
            return tag_end(html, i);
        }
        i += 2;
    }
    return html.size();
}

// A page's words as they are found: each distinct word (of its title or its body) once,
// found again through a table of hashes, its locations linked in the order found. A
// thread keeps these for its next page.
struct Distinct {
    uint32_t start, length;  // in `words`
    bool title;
    uint64_t hash;
    uint32_t first, last;  // its locations in `links`
};
struct Link {
    uint32_t location;
    uint32_t next;
};
constexpr uint32_t kNone = UINT32_MAX;

struct Words {
    std::string body, words;
    std::vector<Distinct> distinct;
    std::vector<Link> links;
    std::vector<uint32_t> slots;
    uint32_t location = 0;

    void clear() {
        body.clear();
        words.clear();
        distinct.clear();
        links.clear();
        slots.assign(1024, kNone);
        location = 0;
    }
    std::string_view bytes_of(const Distinct& d) const { return std::string_view(words).substr(d.start, d.length); }

    // Adds the word that ends `words`, from `start` on.
    void add(uint32_t start, bool title) {
        std::string_view word = std::string_view(words).substr(start);
        uint64_t h = term_hash(word, title);
        size_t at = static_cast<size_t>(h) & (slots.size() - 1);
        while (slots[at] != kNone) {
            Distinct& d = distinct[slots[at]];
            if (d.hash == h && d.title == title && bytes_of(d) == word) {
                links[d.last].next = static_cast<uint32_t>(links.size());
                d.last = static_cast<uint32_t>(links.size());
                links.push_back({location++, kNone});
                words.resize(start);
                return;
            }
            at = (at + 1) & (slots.size() - 1);
        }
        slots[at] = static_cast<uint32_t>(distinct.size());
        distinct.push_back({start, static_cast<uint32_t>(word.size()), title, h, static_cast<uint32_t>(links.size()),
                            static_cast<uint32_t>(links.size())});
        links.push_back({location++, kNone});
        if (distinct.size() * 2 > slots.size()) {
            slots.assign(slots.size() * 2, kNone);
            for (uint32_t k = 0; k < distinct.size(); ++k) {
                size_t place = static_cast<size_t>(distinct[k].hash) & (slots.size() - 1);
                while (slots[place] != kNone) place = (place + 1) & (slots.size() - 1);
                slots[place] = k;
            }
        }
    }
};

// Splits `text` into words, each numbered after the ones before.
void add_words(std::string_view text, const CodePage& code_page, bool title, Words& found, PageTerms& out) {
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && !code_page.is_word_byte(static_cast<uint8_t>(text[i]))) ++i;
        size_t start = i;
        while (i < text.size() && code_page.is_word_byte(static_cast<uint8_t>(text[i]))) ++i;
        size_t length = i - start;
        if (length == 0 || length > kLongestWord) continue;
        uint32_t at = static_cast<uint32_t>(found.words.size());
        for (size_t k = start; k < i; ++k) found.words += static_cast<char>(code_page.lower(static_cast<uint8_t>(text[k])));
        found.add(at, title);
        ++out.word_count;
        out.word_bytes += length;
        out.longest = std::max(out.longest, static_cast<uint32_t>(length));
    }
}

// Whether a link leads out of the tree: a scheme and "//", or a mail address.
bool is_external(std::string_view value) {
    size_t colon = value.find(':');
    if (colon == std::string_view::npos || colon == 0) return false;
    for (char c : value.substr(0, colon)) {
        if (std::isalnum(static_cast<unsigned char>(c)) == 0 && c != '+' && c != '-' && c != '.') return false;
    }
    return value.compare(colon, 3, "://") == 0 || same_letters(value.substr(0, colon), "mailto");
}

// A path of the tree as the help file stores it: '/' between folders, a ':' (which a
// viewer takes for the start of a path inside another help file) as "=3a", the way a
// link spells it ("%3A") too.
void put_stored_path(std::string_view path, std::string& out) {
    for (size_t i = 0; i < path.size(); ++i) {
        if (path[i] == '\\') {
            out += '/';
        } else if (path[i] == ':') {
            out += "=3a";
        } else if (path[i] == '%' && i + 2 < path.size() && path[i + 1] == '3' && lower_case(path[i + 2]) == 'a') {
            out += "=3a";
            i += 2;
        } else {
            out += path[i];
        }
    }
}

// The link target `value` (an attribute value) as the help file stores it.
void retarget(std::string_view value, std::string& out) {
    if (is_external(value)) {
        out += value;
        return;
    }
    size_t end = std::min(value.find('#'), value.find('?'));
    std::string_view path = value.substr(0, end);
    put_stored_path(path, out);
    if (path.size() >= 4 && same_letters(path.substr(path.size() - 4), ".htm")) out += 'l';
    if (end != std::string_view::npos) out += value.substr(end);
}

}  // namespace

std::string stored_page_name(std::string_view html_path) {
    std::string name = "/";
    put_stored_path(html_path, name);
    if (html_path.size() >= 4 && same_letters(html_path.substr(html_path.size() - 4), ".htm")) name += 'l';
    return name;
}

void retarget_links(std::string& html, bool sitemap) {
    const std::string_view opener = sitemap ? "value=\"" : "href=\"";
    std::string_view text(html);
    std::string out;
    size_t copied = 0;
    for (size_t at = text.find(opener); at != std::string_view::npos; at = text.find(opener, at + 1)) {
        size_t start = at + opener.size();
        size_t end = text.find('"', start);
        if (end == std::string_view::npos) break;
        if (sitemap) {
            size_t tag = text.rfind('<', at);
            std::string_view head = text.substr(tag == std::string_view::npos ? 0 : tag, at - tag);
            if (lower_case(head).find("name=\"local\"") == std::string::npos) continue;
        }
        out.append(text.substr(copied, start - copied));
        retarget(text.substr(start, end - start), out);
        copied = end;
        at = end;
    }
    if (copied == 0) return;
    out.append(text.substr(copied));
    html.swap(out);
}

void ascii_page(std::string_view bytes, const uint16_t* upper, std::string& out) {
    out.clear();
    out.reserve(bytes.size() + bytes.size() / 16);
    size_t i = 0;
    while (i < bytes.size()) {
        size_t run = i;
        while (run < bytes.size() && static_cast<unsigned char>(bytes[run]) < 0x80) ++run;
        out.append(bytes.data() + i, run - i);
        i = run;
        if (i == bytes.size()) break;
        uint32_t code_point = upper != nullptr ? upper[static_cast<unsigned char>(bytes[i++]) - 0x80]
                                               : next_code_point(bytes, i);
        out += "&#";
        out += std::to_string(code_point);
        out += ';';
    }
}

void page_terms(std::string_view html, const CodePage& code_page, PageTerms& out) {
    out.title.clear();
    out.text.clear();
    out.terms.clear();
    out.locations.clear();
    out.word_count = 0;
    out.longest = 0;
    out.word_bytes = 0;
    // The text of the title and of everything outside the head, references decoded; a
    // tag that does not sit inside a line of text parts words.
    thread_local Words found;
    found.clear();
    std::string& body = found.body;
    bool in_head = false;
    std::string* into = &body;
    size_t i = 0;
    while (i < html.size()) {
        char c = html[i];
        if (c == '&') {
            uint32_t reference = reference_at(html, i);
            if (reference != 0) {
                if (!in_head || into != &body) code_page.append(*into, reference);
                continue;
            }
        }
        if (c != '<') {
            if (!in_head || into != &body) *into += c;
            ++i;
            continue;
        }
        if (html.compare(i, 4, "<!--") == 0) {
            size_t end = html.find("-->", i + 4);
            i = end == std::string_view::npos ? html.size() : end + 3;
            continue;
        }
        if (i + 1 < html.size() && (html[i + 1] == '!' || html[i + 1] == '?')) {  // <!DOCTYPE html>
            i = tag_end(html, i);
            continue;
        }
        size_t k = i + 1;
        bool closing = k < html.size() && html[k] == '/';
        if (closing) ++k;
        size_t name_start = k;
        while (k < html.size() && std::isalnum(static_cast<unsigned char>(html[k])) != 0) ++k;
        if (k == name_start) {  // a '<' that opens no tag is text
            if (!in_head || into != &body) *into += c;
            ++i;
            continue;
        }
        std::string name = lower_case(html.substr(name_start, k - name_start));
        i = tag_end(html, i);
        if (!closing && (name == "script" || name == "style")) {
            i = past_end_tag(html, i, name);
        } else if (name == "head") {
            in_head = !closing;
        } else if (name == "title") {
            into = closing ? &body : &out.title;
        } else if (into == &body && !in_head && !is_inline(name)) {
            body += ' ';
        }
    }
    // The words, title first, then sorted into terms.
    add_words(out.title, code_page, true, found, out);
    add_words(body, code_page, false, found, out);
    std::vector<uint32_t> order(found.distinct.size());
    for (uint32_t k = 0; k < order.size(); ++k) order[k] = k;
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        const Distinct& x = found.distinct[a];
        const Distinct& y = found.distinct[b];
        int by_bytes = found.bytes_of(x).compare(found.bytes_of(y));
        return by_bytes != 0 ? by_bytes < 0 : !x.title && y.title;
    });
    out.text.reserve(found.words.size());
    out.terms.reserve(order.size());
    out.locations.reserve(found.links.size());
    for (uint32_t k : order) {
        const Distinct& d = found.distinct[k];
        out.text += found.bytes_of(d);
        for (uint32_t l = d.first; l != kNone; l = found.links[l].next) out.locations.push_back(found.links[l].location);
        out.terms.push_back({static_cast<uint32_t>(out.text.size()), static_cast<uint32_t>(out.locations.size()), d.title});
    }
}
