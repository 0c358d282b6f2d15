// The argument emitter across the end of a buffer, and the title lookup with and without
// the index of first pages.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "classic/links.h"
#include "test_support.h"

using testing_support::table_of;

namespace {

const PageTable& pages() {
    static const PageTable table =
        table_of({{"cp", "man1\\cp.1"}, {"ls", "man1\\ls.1"}, {"l", "man1\\l.1"}, {"open", "man3\\open.3"}});
    return table;
}

struct Emitted {
    std::string text;
    size_t result;
};

// Runs the argument emitter as page 0 over `text`, as much of it as a buffer holds.
Emitted argument(const std::string& text, ArgumentState& state) {
    Sink out;
    size_t result = emit_argument(LinkContext{out, pages(), 0}, text.data(), text.size(), state);
    return {std::string(out.text()), result};
}

// What the emitters write in whole lines is the conversion tests' (links in whole pages);
// here, a font request's argument cut by the end of the line buffer.
TEST(EmitArgument, ALineRunningPastTheBufferGoesOnWhereItStopped) {
    struct Case {
        std::string first;   // the end of the buffer
        std::string second;  // the head of the next fill
        std::string written;
        size_t second_result;
    };
    const Case cases[] = {
        {"ls (1", "ls)\n", "<a href=\"ls.htm\">ls</a> (1ls)", 3},  // one link attempt per stretch
        {"\"ls", "\" ls\n", "ls <a href=\"ls.htm\">ls</a>", 4},
        {"x \"ls\"", "ls\n", "x ls<a href=\"ls.htm\">ls</a>", 2},
        {"", "ls\n", "<a href=\"ls.htm\">ls</a>", 2},
    };
    for (const Case& c : cases) {
        ArgumentState state;
        Emitted first = argument(c.first, state);
        EXPECT_EQ(first.result, c.first.size()) << c.first;
        Emitted second = argument(c.second, state);
        EXPECT_EQ(first.text + second.text, c.written) << c.first + c.second;
        EXPECT_EQ(second.result, c.second_result) << c.first + c.second;
    }
}

// The index answers as a search of the table in order would: the first page of a title,
// with its HTML path, for every title and near miss, in a table whose titles are mostly
// shared, differ in letter case or by a prefix, and lie at several depths.
TEST(FindTitle, TheIndexFindsTheFirstPageOfATitleAsTheTableOrderDoes) {
    std::vector<std::string> paths;
    std::vector<std::pair<const char*, const char*>> records = {
        {"open", "man2\\open.2"}, {"LS", "man1\\LS.1"}, {"open", "man3\\open.3"}, {"ls", "man1\\ls.1"},
        {"a&b", "a\\b\\deep.1"},  {"top", "top.1"}};
    const char* const pool[] = {"cat", "tar", "gzip", "Cat", "ca", "mount", "umount", "kill"};
    paths.reserve(120);
    for (unsigned i = 0, seed = 12345; i < 120; ++i) {
        seed = seed * 1103515245u + 12345u;
        paths.push_back("sec" + std::to_string(i % 5) + (i % 3 ? "\\" : "\\sub\\") + std::to_string(i) + ".1");
        records.emplace_back(pool[(seed >> 16) % 8], paths.back().c_str());
    }
    const PageTable indexed = table_of(records), in_order = table_of(records, false);
    EXPECT_EQ(find_title(in_order, "open"), 0u);
    EXPECT_EQ(find_title(in_order, "ls"), 3u);
    for (const char* word : {"open", "ls", "LS", "Ls", "a&b", "top", "cat", "Cat", "ca", "c", "tar", "tarx", "gzip",
                             "mount", "umount", "kill", "", "opens", "ls\\fR", "nothing"}) {
        const TitleTarget a = find_target(indexed, word), b = find_target(in_order, word);
        EXPECT_EQ(a.page, b.page) << word;
        EXPECT_EQ(a.html_path, b.html_path) << word;
    }
}

// Sixteen titles: the index must keep free slots, or the search for a word that is no
// title (and passes the filter) would never end.
TEST(FindTitle, AFullTableStillAnswersForWordsThatAreNoTitle) {
    std::vector<std::string> titles;
    std::vector<std::pair<const char*, const char*>> records;
    titles.reserve(16);
    for (int i = 0; i < 16; ++i) titles.push_back("t" + std::to_string(i));
    for (const std::string& title : titles) records.emplace_back(title.c_str(), title.c_str());
    const PageTable pages = table_of(records);
    for (int i = 16; i < 400; ++i) EXPECT_EQ(find_title(pages, "t" + std::to_string(i)), kNoPage);
    EXPECT_EQ(find_title(pages, "t15"), 15u);
}

}  // namespace
