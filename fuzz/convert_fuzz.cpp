// Page conversion of arbitrary bytes, memory to memory, with a page table of a few
// titles so that links happen. The output is read back as the converter's rules say it
// must look: the fixed head and tail, only the converter's own tags (every '<' and '>' of
// the source escaped), headings and blockquotes as the nesting counter has them, links
// that lead to the page they name, and no byte that the source did not hold.
//
// Input: one byte that chooses the current page, then the page's source.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "classic/convert.h"
#include "fuzz_check.h"

namespace {

struct Entry {
    const char* title;
    const char* escaped_title;  // as the head and a link's text show it
    const char* source_path;
    const char* html_path;  // its own, as no earlier page has it
};

// Same folders in other letter cases, two pages of one title (the first is the target),
// a title that needs escaping, a path that does, pages at every depth.
const Entry kEntries[] = {
    {"ls", "ls", "man1\\ls.1", "man1\\ls.htm"},
    {"cp", "cp", "man1\\cp.1", "man1\\cp.htm"},
    {"printf", "printf", "man3\\printf.3", "man3\\printf.htm"},
    {"open", "open", "man2\\open.2", "man2\\open.htm"},
    {"open", "open", "man3\\open.3", "man3\\open.htm"},
    {"LS", "LS", "Man1\\LS.1", "Man1\\LS.1.htm"},
    {"a<b>", "a&lt;b&gt;", "odd\\q&a\"x.7", "odd\\q&a\"x.htm"},
    {"x", "x", "a\\b\\c\\x.1", "a\\b\\c\\x.htm"},
    {"top", "top", "top.5", "top.htm"},
    {"ld.so", "ld.so", "MAN8\\ld.so.8", "MAN8\\ld.so.htm"},
};
constexpr uint32_t kPages = sizeof kEntries / sizeof kEntries[0];

PageTable make_table(bool indexed) {
    PageTable pages;
    for (const Entry& entry : kEntries) pages.records.push_back({entry.title, entry.source_path, {}});
    pages.count = kPages;
    assign_html_paths(pages);
    if (indexed) index_titles(pages);
    return pages;
}

const std::string kHeadStart =
    "<html lang=\"ru\"><head>\n<meta content=\"text/html;charset=windows-1251\" "
    "http-equiv=\"Content-Type\">\n\t<title>";
const std::string kHeadEnd = "</title>\n</head><body>\n";
const std::string kTail = "</body></html>";

enum class Kind {
    text, h1_open, h1_close, h2_open, h2_close, h3_open, h3_close, quote_close,
    b_open, b_close, i_open, i_close, tt_open, tt_close, br, comment_open, comment_close,
    link_open, link_close,
};

struct Token {
    Kind kind;
    size_t begin, end;
};

// The converter's own pieces of markup. A line feed is never source text (line ends are
// written as a space or a break), so every one of them belongs to a piece.
struct Piece {
    const char* bytes;
    Kind kind;
};
const Piece kPieces[] = {
    {"\n<h1>", Kind::h1_open},     {"</h1>\n<blockquote>", Kind::h1_close},
    {"\n<h2>", Kind::h2_open},     {"</h2>\n<blockquote>", Kind::h2_close},
    {"\n<h3><tt>", Kind::h3_open}, {"</tt></h3>\n<blockquote>", Kind::h3_close},
    {"</blockquote>", Kind::quote_close},
    {"<b>", Kind::b_open},         {"</b>", Kind::b_close},
    {"<i>", Kind::i_open},         {"</i>", Kind::i_close},
    {"<tt>", Kind::tt_open},       {"</tt>", Kind::tt_close},
    {"<br>", Kind::br},            {"</a>", Kind::link_close},
    {"<!-- ", Kind::comment_open}, {" !-->\n", Kind::comment_close},
};

// Splits the body into the converter's pieces and the text between them. Every '<', '>'
// and line feed must belong to a piece.
std::vector<Token> tokenize(const std::string& body) {
    std::vector<Token> tokens;
    size_t text_start = 0;
    auto end_text = [&](size_t at) {
        if (at > text_start) tokens.push_back({Kind::text, text_start, at});
    };
    size_t i = 0;
    while (i < body.size()) {
        const char c = body[i];
        if (c != '<' && c != '>' && c != '\n' && c != ' ') {
            ++i;
            continue;
        }
        auto take = [&](Kind kind, size_t end) {
            end_text(i);
            tokens.push_back({kind, i, end});
            i = text_start = end;
        };
        const Piece* piece = std::find_if(std::begin(kPieces), std::end(kPieces), [&](const Piece& p) {
            return body.compare(i, std::strlen(p.bytes), p.bytes) == 0;
        });
        if (piece != std::end(kPieces)) {
            take(piece->kind, i + std::strlen(piece->bytes));
            continue;
        }
        if (body.compare(i, 9, "<a href=\"") == 0) {
            size_t quote = body.find('"', i + 9);
            FUZZ_CHECK(quote != std::string::npos && quote + 1 < body.size() && body[quote + 1] == '>',
                       "a link's href does not end in \"> at " + std::to_string(i) + ": " + fuzz::shown(body.substr(i, 60)));
            take(Kind::link_open, quote + 2);
            continue;
        }
        FUZZ_CHECK(c == ' ', "a raw " + fuzz::shown(std::string(1, c)) + " that is no piece of markup at " +
                                 std::to_string(i) + ": " + fuzz::shown(body.substr(i, 24)));
        ++i;
    }
    end_text(body.size());
    return tokens;
}

// The nesting counter is a signed byte: the difference of blockquotes opened and closed,
// taken modulo 256.
int8_t nesting_of(long opened_minus_closed) {
    return static_cast<int8_t>(static_cast<uint8_t>(static_cast<unsigned long>(opened_minus_closed) & 0xFFu));
}

// How many "</blockquote>" must come right before the piece of `kind` when the counter
// stands at `n`: a section closes all and its predecessor's own one, a subsection what
// lies beyond the section's, an item one level, the end of the page what lies beyond.
long closings_before(Kind kind, int8_t n) {
    switch (kind) {
        case Kind::h1_open: return n >= 0 ? n + 1 : 0;
        case Kind::h2_open: return n > 0 ? n : 0;
        case Kind::h3_open: return n != 0 ? 1 : 0;
        default: return n > 0 ? n : 0;  // the end of the page
    }
}

void check_link(const std::string& body, const Token& open, const Token& text, uint32_t current) {
    std::string_view word(body.data() + text.begin, text.end - text.begin);
    uint32_t target = kPages;
    for (uint32_t i = 0; i < kPages && target == kPages; ++i) {
        if (word == kEntries[i].escaped_title) target = i;
    }
    FUZZ_CHECK(target < kPages, "a link on a word that is no title: " + fuzz::shown(word));
    FUZZ_CHECK(target != current, "a link from a page to itself");
    std::string_view href(body.data() + open.begin + 9, open.end - open.begin - 11);
    std::string relative;
    FUZZ_CHECK(fuzz::unescape_attribute(href, relative), "an unescaped '&' in an href");
    std::string wrong = fuzz::check_resolves(kEntries[current].html_path, kEntries[target].html_path, relative);
    FUZZ_CHECK(wrong.empty(), "link " + fuzz::shown(relative) + " from " + kEntries[current].html_path +
                                  " to " + kEntries[target].html_path + ": " + wrong);
}

void check_markup(const std::string& body, uint32_t current) {
    std::vector<Token> tokens = tokenize(body);
    long nesting = 0;  // blockquotes opened minus closed so far
    long run = 0;      // "</blockquote>" pieces right before the current token
    long open_b = 0, open_i = 0;
    bool pending_h1 = false, pending_h2 = false, pending_h3 = false, pending_comment = false;
    auto close = [](long& open, const char* what) {
        FUZZ_CHECK(open > 0, std::string(what) + " without its opening");
        --open;
    };

    // Closings are written only right before a heading or the end of the page, as many
    // as the counter asks for there.
    auto check_closings = [&](Kind kind, size_t at) {
        int8_t before = nesting_of(nesting + run);
        FUZZ_CHECK(run == closings_before(kind, before),
                   std::to_string(run) + " closings before the piece at " + std::to_string(at) +
                       " with the counter at " + std::to_string(before));
    };

    for (size_t t = 0; t < tokens.size(); ++t) {
        const Token& token = tokens[t];
        if (token.kind == Kind::quote_close) {
            ++run;
            --nesting;
            continue;
        }
        if (token.kind == Kind::h1_open || token.kind == Kind::h2_open || token.kind == Kind::h3_open) {
            check_closings(token.kind, token.begin);
        } else {
            FUZZ_CHECK(run == 0, "\"</blockquote>\" before something else than a heading, at " +
                                     std::to_string(token.begin));
        }
        run = 0;
        switch (token.kind) {
            case Kind::h1_open: pending_h1 = true; break;
            case Kind::h2_open: pending_h2 = true; break;
            case Kind::h3_open: pending_h3 = true; break;
            case Kind::h1_close:
            case Kind::h2_close:
            case Kind::h3_close: {
                // A line end closes the heading its line opened, at most one per line.
                bool& pending = token.kind == Kind::h1_close   ? pending_h1
                                : token.kind == Kind::h2_close ? pending_h2
                                                               : pending_h3;
                FUZZ_CHECK(pending, "a heading closed that was not opened since its last closing");
                pending = false;
                ++nesting;
                break;
            }
            case Kind::b_open: ++open_b; break;
            case Kind::b_close: close(open_b, "</b>"); break;
            case Kind::i_open: ++open_i; break;
            case Kind::i_close: close(open_i, "</i>"); break;
            case Kind::comment_open: pending_comment = true; break;
            case Kind::comment_close:
                FUZZ_CHECK(pending_comment, "a comment closed that was not opened");
                pending_comment = false;
                break;
            case Kind::link_open:
                FUZZ_CHECK(t + 2 < tokens.size() && tokens[t + 1].kind == Kind::text &&
                               tokens[t + 2].kind == Kind::link_close,
                           "a link is not its word followed by \"</a>\"");
                check_link(body, token, tokens[t + 1], current);
                t += 2;
                break;
            case Kind::link_close: FUZZ_CHECK(false, "</a> without a link"); break;
            default: break;
        }
    }
    check_closings(Kind::text, body.size());
}

// Every byte that is not markup comes from the source, in the source's order, with '<'
// and '>' escaped: the converter drops bytes (request names, quotes, the title line) and
// adds spaces, but never invents or repeats text. Spaces and line ends are left out of
// the comparison.
void check_text_from_source(const std::string& body, std::string_view source) {
    std::string from_source;
    for (char c : source) {
        if (c == '<') from_source += "&lt;";
        else if (c == '>') from_source += "&gt;";
        else if (c != ' ' && c != '\n') from_source += c;
    }
    size_t s = 0;
    for (const Token& token : tokenize(body)) {
        if (token.kind != Kind::text) continue;
        for (size_t i = token.begin; i < token.end; ++i) {
            if (body[i] == ' ') continue;
            while (s < from_source.size() && from_source[s] != body[i]) ++s;
            FUZZ_CHECK(s < from_source.size(), "text the source does not hold, at " + std::to_string(i) +
                                                   ": " + fuzz::shown(body.substr(i, 24)));
            ++s;
        }
    }
}

std::string convert(std::string_view source_bytes, const PageTable& pages, uint32_t current,
                    ConverterState& state) {
    Source source(source_bytes);
    Sink out;
    convert_text(source, out, pages, current, state);
    return std::string(out.text());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static const PageTable indexed = make_table(true);
    static const PageTable scanned = make_table(false);
    const uint32_t current = data[0] % kPages;
    std::string_view source(reinterpret_cast<const char*>(data) + 1, size - 1);

    ConverterState fresh;
    const std::string html = convert(source, indexed, current, fresh);

    const std::string head = kHeadStart + kEntries[current].escaped_title + kHeadEnd;
    FUZZ_CHECK(html.compare(0, head.size(), head) == 0, "the head is not the fixed head");
    FUZZ_CHECK(html.size() >= head.size() + kTail.size() &&
                   html.compare(html.size() - kTail.size(), kTail.size(), kTail) == 0,
               "the page does not end in " + kTail);
    const std::string body = html.substr(head.size(), html.size() - head.size() - kTail.size());
    check_markup(body, current);
    check_text_from_source(body, source);

    // The title lookup through the index and through the table agree, and a page does not
    // depend on what the page converted before it left in the state.
    ConverterState left_over;
    left_over.no_fill = left_over.inline_bold = left_over.inline_italic = true;
    left_over.title_line = left_over.comment = left_over.section_heading = true;
    left_over.subsection_heading = left_over.item_heading = left_over.bold_line = true;
    left_over.italic_line = 2;
    left_over.nesting = -7;
    FUZZ_CHECK(convert(source, scanned, current, left_over) == html,
               "the output depends on the title index or on the state left by another page");
    return 0;
}
