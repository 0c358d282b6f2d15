// The link and argument emitters on their own: what they write and the offsets they
// return, and the title lookup with and without the index of first pages.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "classic/links.h"
#include "test_support.h"

using testing_support::table_of;

namespace {

const PageTable& pages() {
    static const PageTable table = table_of({{"cp", "man1\\cp.1"},
                                             {"ls", "man1\\ls.1"},
                                             {"l", "man1\\l.1"},
                                             {"open", "man3\\open.3"}},
                                            true);
    return table;
}

struct Emitted {
    std::string text;
    size_t result;
};

// Runs the link emitter (or the argument emitter) as page 0 over `text[0, length)`.
Emitted link(const std::string& text, size_t length) {
    Sink out;
    size_t result = emit_link(LinkContext{out, pages(), 0}, text.data(), length);
    return {std::string(out.text()), result};
}

Emitted argument(const std::string& text, ArgumentState& state, size_t length) {
    Sink out;
    size_t result = emit_argument(LinkContext{out, pages(), 0}, text.data(), length, state);
    return {std::string(out.text()), result};
}

void expect(const Emitted& actual, const std::string& text, size_t result, const std::string& input) {
    EXPECT_EQ(actual.text, text) << "input: " << input;
    EXPECT_EQ(actual.result, result) << "input: " << input;
}

TEST(EmitLink, WritesLeadingBlanksAndALinkedWord) {
    struct Case {
        std::string text;
        size_t length;
        std::string written;
        size_t result;
    };
    const std::vector<Case> cases = {
        {"  ls (1)\n", 9, "  <a href=\"ls.htm\">ls</a>", 4},
        {"ls\n", 3, "<a href=\"ls.htm\">ls</a>", 2},
        {"ls  \"x\"", 7, "<a href=\"ls.htm\">ls</a>", 2},  // the blanks after the word are the caller's
        {"open's", 6, "<a href=\"..\\man3\\open.htm\">open</a>", 4},
        {"lsx", 2, "<a href=\"ls.htm\">ls</a>", 2},  // the length cuts the word
        {std::string("ls\0x", 4), 4, "<a href=\"ls.htm\">ls</a>", 2},
        {"ls -l\n", 6, "", 0},
        // The longest title has 4 bytes: blanks after a word do not make it longer, a
        // byte past them does.
        {"ls          (1)", 15, "<a href=\"ls.htm\">ls</a>", 2},
        {"open        \n", 13, "<a href=\"..\\man3\\open.htm\">open</a>", 4},
        {"ls   x\n", 7, "", 0},
        {"openx\n", 6, "", 0},
        {"LS\n", 3, "", 0},
        {"cp\n", 3, "", 0},  // the current page
        {"   \n", 4, "   ", 3},
        {" (1)", 4, " ", 1},
        {"", 0, "", 0},
    };
    for (const Case& c : cases) expect(link(c.text, c.length), c.written, c.result, c.text);
}

TEST(EmitArgument, DropsQuotesAndLinksTheFirstWordOfEachUnquotedStretch) {
    struct Case {
        std::string text;
        std::string written;
        size_t result;
    };
    const std::vector<Case> cases = {
        {"ls (1),\n", "<a href=\"ls.htm\">ls</a> (1),", 7},
        {"\n", "", 0},
        {std::string("ls\0junk", 7), "<a href=\"ls.htm\">ls</a>", 2},
        {"\"ls\" (1)\n", "ls (1)", 8},
        {"ls \"x y\" open\n", "<a href=\"ls.htm\">ls</a> x y <a href=\"..\\man3\\open.htm\">open</a>", 13},
        {"ls \"unclosed <x>\n", "<a href=\"ls.htm\">ls</a> unclosed &lt;x&gt;", 16},
        {"<ls> & ls\n", "&lt;ls&gt; & ls", 9},
        {"ls ls\n", "ls ls", 5},
        // A stretch of 300 bytes is handed over whole: its word is all of it.
        {"l" + std::string(298, ' ') + "x\n", "l" + std::string(298, ' ') + "x", 300},
        {"l" + std::string(298, ' ') + "\n", "<a href=\"l.htm\">l</a>" + std::string(298, ' '), 299},
    };
    for (const Case& c : cases) {
        ArgumentState state;
        expect(argument(c.text, state, c.text.size() + 1), c.written, c.result, c.text);
    }
}

TEST(EmitArgument, ALineRunningPastTheBufferGoesOnWhereItStopped) {
    struct Case {
        std::string first;   // the end of the buffer
        std::string second;  // the head of the next fill
        std::string written;
        size_t second_result;
    };
    const std::vector<Case> cases = {
        {"ls (1", "ls)\n", "<a href=\"ls.htm\">ls</a> (1ls)", 3},  // one link attempt per stretch
        {"\"ls", "\" ls\n", "ls <a href=\"ls.htm\">ls</a>", 4},
        {"x \"ls\"", "ls\n", "x ls<a href=\"ls.htm\">ls</a>", 2},
        {"", "ls\n", "<a href=\"ls.htm\">ls</a>", 2},
    };
    for (const Case& c : cases) {
        ArgumentState state;
        Emitted first = argument(c.first, state, c.first.size());
        EXPECT_EQ(first.result, c.first.size()) << c.first;
        Emitted second = argument(c.second, state, c.second.size());
        expect({first.text + second.text, second.result}, c.written, c.second_result, c.first + c.second);
    }
}

TEST(FindTitle, TheFirstPageOfATitleWinsWithOrWithoutTheIndex) {
    for (bool indexed : {false, true}) {
        PageTable table = table_of({{"open", "man2\\open.2"},
                                    {"LS", "man1\\LS.1"},
                                    {"open", "man3\\open.3"},
                                    {"ls", "man1\\ls.1"}},
                                   indexed);
        EXPECT_EQ(find_title(table, "open"), 0u) << indexed;
        EXPECT_EQ(find_title(table, "ls"), 3u) << indexed;
        EXPECT_EQ(find_title(table, "LS"), 1u) << indexed;
        EXPECT_EQ(find_title(table, "l"), kNoPage) << indexed;
        EXPECT_EQ(find_title(table, "opens"), kNoPage) << indexed;
        EXPECT_EQ(find_title(table, ""), kNoPage) << indexed;
    }
}

}  // namespace
