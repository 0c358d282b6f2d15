// The help project's three files, whole, written from a page table held in memory; then
// the files on disk, and a file that cannot be created.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "driver/parallel.h"
#include "model/page_table.h"
#include "helpproject/help_project.h"
#include "platform/stream.h"
#include "test_support.h"

namespace {

using testing_support::crlf;
using testing_support::TempDir;

// (source path, title) of each page, in table order.
using Pages = std::vector<std::pair<const char*, const char*>>;

PageTable table_of(const Pages& pages) {
    std::vector<std::pair<const char*, const char*>> records;
    for (const auto& [path, title] : pages) records.emplace_back(title, path);
    return testing_support::table_of(records, false);
}

std::string written(void (*writer)(Sink&, const PageTable&), const Pages& pages) {
    Sink out;
    writer(out, table_of(pages));
    return std::string(out.text());
}

const std::string kSitemapHead =
    "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML//EN\">\n<HTML lang=\"ru\">\n<HEAD>\n"
    "<meta content=\"text/html;charset=windows-1251\" http-equiv=\"Content-Type\">\n"
    "<meta name=\"GENERATOR\" content=\"tolbrik\">\n<!-- Sitemap 1.0 -->\n</HEAD><BODY>\n";
const std::string kContentsHead =
    kSitemapHead + "<OBJECT type=\"text/site properties\">\n<param name=\"ImageType\" value=\"Folder\">\n</OBJECT>\n<UL>\n";
const std::string kIndexHead = kSitemapHead + "<UL>\n";
const std::string kTrailer = "</UL>\n</BODY></HTML>";
const std::string kProjectHead =
    "[OPTIONS]\nCompatibility=1.1 or later\nCompiled file=tolbrik.chm\nContents file=tolbrik.hhc\n"
    "Display compile progress=No\nIndex file=tolbrik.hhk\nLanguage=\n\n[FILES]\n";
const std::string kProjectTail = "\n[INFOTYPES]\n";

// The sitemap's pieces, spelled out whole once here: a page entry
// and a folder heading at nesting depth d, and a closing line after t tabs.
std::string tabs(int count) { return std::string(static_cast<size_t>(count), '\t'); }

std::string item(int d, const std::string& name, const std::string& params) {
    return tabs(d) + "\t<LI> <OBJECT type=\"text/sitemap\">\n" + tabs(d) + "\t\t<param name=\"Name\" value=\"" +
           name + "\">\n" + params + tabs(d) + "\t\t</OBJECT>\n";
}

std::string page(int d, const std::string& name, const std::string& local) {
    return item(d, name, tabs(d) + "\t\t<param name=\"Local\" value=\"" + local + "\">\n");
}

std::string folder(int d, const std::string& name) { return item(d, name, "") + tabs(d) + "\t<UL>\n"; }

std::string closing(int t) { return tabs(t) + "</UL>\n"; }

struct Case {
    const char* what;
    Pages pages;
    std::string body;  // between the head and the trailer
};

TEST(ContentsFile, ListsPagesUnderFolderHeadings) {
    const std::vector<Case> cases = {
        {"pages in the root and in two folders",
         {{"intro.7", "intro"}, {"man1\\cp.1", "cp"}, {"man1\\ls.1", "ls"}, {"man3\\printf.3", "printf"}},
         page(0, "intro", "intro.htm") + folder(0, "man1") + page(1, "cp", "man1\\cp.htm") +
             page(1, "ls", "man1\\ls.htm") + closing(0) + folder(0, "man3") + page(1, "printf", "man3\\printf.htm") +
             closing(1)},
        {"all pages in the root: no heading, no closing; an empty title is an empty name",
         {{"ls.1", "ls"}, {"cp.1", "cp"}, {"empty.1", ""}},
         page(0, "ls", "ls.htm") + page(0, "cp", "cp.htm") + page(0, "", "empty.htm")},
        {"leaving two folders, then entering another",
         {{"a\\b\\x.1", "x"}, {"c\\y.1", "y"}},
         folder(0, "a") + folder(1, "b") + page(2, "x", "a\\b\\x.htm") + closing(1) + closing(0) +
             folder(0, "c") + page(1, "y", "c\\y.htm") + closing(1)},
        {"Man1 and man1 are one folder, headed as first spelled",
         {{"Man1\\a.1", "a"}, {"man1\\b.1", "b"}},
         folder(0, "Man1") + page(1, "a", "Man1\\a.htm") + page(1, "b", "man1\\b.htm") + closing(1)},
        {"a page whose name is the next page's folder",
         {{"a\\x", "x"}, {"a\\x\\y.1", "y"}},
         folder(0, "a") + page(1, "x", "a\\x.htm") + folder(1, "x") + page(2, "y", "a\\x\\y.htm") +
             closing(2) + closing(1)},
        {"a folder entered again gets a heading again",
         {{"man1\\a.1", "a"}, {"man3\\b.3", "b"}, {"man1\\c.1", "c"}},
         folder(0, "man1") + page(1, "a", "man1\\a.htm") + closing(0) + folder(0, "man3") +
             page(1, "b", "man3\\b.htm") + closing(0) + folder(0, "man1") + page(1, "c", "man1\\c.htm") +
             closing(1)},
        // Only a whole ".." component leaves a folder: names that end in dots are folders.
        {"folders named with trailing dots are entered",
         {{"a..\\x.1", "x"}, {"a..\\...\\y.1", "y"}, {"z.1", "z"}},
         folder(0, "a..") + page(1, "x", "a..\\x.htm") + folder(1, "...") +
             page(2, "y", "a..\\...\\y.htm") + closing(1) + closing(0) + page(0, "z", "z.htm")},
        {"titles, folder names and paths are escaped",
         {{"R&D\\<a>.1", "\"LS\""}, {"x\"y\\b.1", "a&b <c> \"d\""}},
         folder(0, "R&amp;D") + page(1, "&quot;LS&quot;", "R&amp;D\\&lt;a&gt;.htm") + closing(0) +
             folder(0, "x&quot;y") + page(1, "a&amp;b &lt;c&gt; &quot;d&quot;", "x&quot;y\\b.htm") +
             closing(1)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(written(write_contents, c.pages), kContentsHead + c.body + kTrailer) << c.what;
    }
}

// Equal titles stay apart, folders are not headed, a page with an empty title has no
// keyword, titles and paths are escaped.
TEST(IndexFile, HasOneKeywordPerPageInTableOrder) {
    EXPECT_EQ(written(write_index, {{"ld.so.8", "ld.so"}, {"a\\b\\x.3pm", "x"}, {"man1\\x.1", "x"},
                                    {"man1\\empty.1", ""}, {"R&D\\<a>.1", "a&b <c> &amp;"}}),
              kIndexHead + page(0, "ld.so", "ld.so.htm") + page(0, "x", "a\\b\\x.htm") + page(0, "x", "man1\\x.htm") +
                  page(0, "a&amp;b &lt;c&gt; &amp;amp;", "R&amp;D\\&lt;a&gt;.htm") + kTrailer);
}

// A plain text file: the paths are not escaped.
TEST(ProjectFile, ListsEveryHtmlFileUnescaped) {
    EXPECT_EQ(written(write_project, {{"intro.7", "intro"}, {"man8\\ld.so.8", "ld.so"}, {"R&D\\<a>.1", "\"LS\""}}),
              kProjectHead + "intro.htm\nman8\\ld.so.htm\nR&D\\<a>.htm\n" + kProjectTail);
}

// The three files reach the disk as text, written at once; one that cannot be created is
// named with the reason, and the ones after it are still written.
TEST(HelpProject, IsWrittenAsTextAndEachFileDespiteAnotherFailing) {
    TempDir dir;
    const Pages pages = {{"intro.7", "intro"}, {"man1\\ls.1", "\"LS\""}};
    ASSERT_TRUE(write_files_at_once(help_project_files(table_of(pages)), dir.path() + "/", 3));
    EXPECT_EQ(dir.read("tolbrik.hhc"), crlf(written(write_contents, pages)));
    EXPECT_EQ(dir.read("tolbrik.hhk"), crlf(written(write_index, pages)));
    EXPECT_EQ(dir.read("tolbrik.hhp"), crlf(written(write_project, pages)));

    dir.folder("blocked/tolbrik.hhc");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(write_files_at_once(help_project_files(table_of(pages)), dir.path() + "/blocked/", 3));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "tolbrik: cannot create " + dir.path() + "/blocked/tolbrik.hhc: " + std::strerror(EISDIR) + "\n");
    EXPECT_EQ(dir.read("blocked/tolbrik.hhk"), crlf(written(write_index, pages)));
    EXPECT_EQ(dir.read("blocked/tolbrik.hhp"), crlf(written(write_project, pages)));
}

}  // namespace
