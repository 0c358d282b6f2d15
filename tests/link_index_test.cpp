// The title index answers exactly as a search of the page table in table order: the same
// page for every word, and so the same bytes in every converted page.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "classic/convert.h"
#include "classic/links.h"
#include "model/page_table.h"
#include "platform/stream.h"

namespace {

// A page table with its file list; `indexed` has the title index, `in_order` the same
// records without it, so that lookups search the table in order.
struct Tables {
    std::vector<std::string> paths;
    PageTable indexed;
    PageTable in_order;
};

Tables make_tables(const std::vector<std::pair<std::string, std::string>>& pages) {
    Tables t;
    t.paths.reserve(pages.size());
    for (const auto& page : pages) t.paths.push_back(page.first);
    t.indexed.records.resize(pages.size());
    for (size_t i = 0; i < pages.size(); ++i) {
        t.indexed.records[i].title = pages[i].second;
        t.indexed.records[i].source_path = t.paths[i].c_str();
    }
    t.indexed.count = static_cast<uint32_t>(pages.size());
    assign_html_paths(t.indexed);
    t.in_order = t.indexed;
    index_titles(t.indexed);
    return t;
}

// The pages whose lookups are delicate: titles held by several pages (the first in table
// order is the target, also seen from the later ones), titles that differ from others
// only in letter case or by a prefix, pages at several depths. Then many more pages whose
// titles come from a small pool, so that most titles are shared.
std::vector<std::pair<std::string, std::string>> table_entries() {
    std::vector<std::pair<std::string, std::string>> pages = {
        {"man2\\open.2", "open"},     {"man3\\open.3", "open"},   {"man1\\ls.1", "ls"},
        {"man1\\LS.1", "LS"},         {"man8\\lsblk.8", "lsblk"}, {"man3\\printf.3", "printf"},
        {"man1\\printf.1", "printf"}, {"a\\b\\deep.1", "deep"},   {"top.1", "top"},
        {"man5\\x.5", "x"},           {"man7\\a&b.7", "a&b"},
    };
    const char* const pool[] = {"cat", "tar", "gzip", "Cat", "ca", "mount", "umount", "kill"};
    uint32_t seed = 12345;
    for (int i = 0; i < 120; ++i) {
        seed = seed * 1103515245u + 12345u;
        std::string title = pool[(seed >> 16) % 8];
        std::string folder = "sec" + std::to_string(i % 5) + (i % 3 == 0 ? "\\sub" : "");
        pages.emplace_back(folder + "\\" + title + std::to_string(i) + ".1", title);
    }
    return pages;
}

// Words as the converter hands them to the lookup: every title, and near misses.
std::vector<std::string> words() {
    return {"open", "ls",  "LS",  "Ls",   "lsblk", "lsbl",  "printf", "deep",  "top",
            "x",    "a&b", "cat", "Cat",  "ca",    "gzip",  "mount",  "umount", "kill",
            "tar",  "ta",  "tarx", "",    "ls\\fR", "open(2)", "nothing"};
}

// A page that names every word in the ways pages do: font requests, quoted arguments,
// font escapes, and the page's own title.
std::string page_text(const std::string& own_title) {
    std::string text = ".TH " + own_title + " 1\n.SH NAME\n" + own_title + " \\- a page\n";
    for (const std::string& w : words()) {
        text += ".BR " + w + " (1),\n";
        text += ".B " + w + "\n";
        text += ".I \"" + w + "\" (1) " + w + "\n";
        text += "See \\fB" + w + " (1)\\fR and \\fI" + w + "\\fP.\n";
        text += ".IR  " + w + " \"quoted\" " + w + "\n";
    }
    text += ".BR " + own_title + " (1)\n\\fB" + own_title + " (1)\\fR\n.nf\n\\fBls\n";
    return text;
}

TEST(LinkIndex, FindsTheSamePageAsTheTableOrder) {
    Tables t = make_tables(table_entries());
    std::vector<std::string> all = words();
    for (uint32_t i = 0; i < t.indexed.count; ++i) all.push_back(t.indexed[i].title);
    for (const std::string& w : all) {
        EXPECT_EQ(find_title(t.indexed, w), find_title(t.in_order, w)) << "word: " << w;
    }
    // The table order itself: the first of the pages that share a title.
    EXPECT_EQ(find_title(t.in_order, "open"), 0u);
    EXPECT_EQ(find_title(t.in_order, "printf"), 5u);
    EXPECT_EQ(find_title(t.in_order, "Ls"), kNoPage);
}

TEST(LinkIndex, ConvertsEveryPageToTheSameBytes) {
    Tables t = make_tables(table_entries());
    // One converter state for each table, carried from page to page as in a run.
    ConverterState with_index;
    ConverterState in_order;
    size_t links = 0;
    for (uint32_t i = 0; i < t.indexed.count; ++i) {
        std::string text = page_text(t.indexed[i].title);
        Source a(text);
        Sink indexed_out;
        convert_text(a, indexed_out, t.indexed, i, with_index);
        Source b(text);
        Sink in_order_out;
        convert_text(b, in_order_out, t.in_order, i, in_order);
        ASSERT_EQ(indexed_out.text(), in_order_out.text()) << "page " << t.paths[i];
        for (size_t at = 0; (at = indexed_out.text().find("<a href=", at)) != std::string::npos; ++at) ++links;
    }
    // Links were made, not only plain text compared.
    EXPECT_GT(links, 1000u);
}

TEST(LinkIndex, LinksTheFirstPageOfATitleFromTheLaterOne) {
    Tables t = make_tables(table_entries());
    const std::string text = ".BR open (2)\n";
    for (const PageTable* pages : {&t.indexed, &t.in_order}) {
        ConverterState state;
        Source source(text);
        Sink out;
        convert_text(source, out, *pages, 1, state);  // man3\open.3, the second "open"
        EXPECT_EQ(out.text(),
                  "<html lang=\"ru\"><head>\n<meta content=\"text/html;charset=windows-1251\" "
                  "http-equiv=\"Content-Type\">\n\t<title>open</title>\n</head><body>\n"
                  "<a href=\"..\\man2\\open.htm\">open</a> (2) </body></html>");
    }
}

}  // namespace
