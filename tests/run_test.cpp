// Whole runs of the built program on temporary folders: what it prints, what it writes,
// and its exit status.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "driver/options.h"
#include "test_support.h"

using namespace testing_support;

namespace {

using Listing = std::vector<std::string>;

const std::string kPage = ".TH PAGE 1\n.SH NAME\npage \\- a page\n";
const Listing kProject = {"tolbrik.hhc", "tolbrik.hhk", "tolbrik.hhp"};

Listing plus(Listing listing, const Listing& more) {
    listing.insert(listing.end(), more.begin(), more.end());
    std::sort(listing.begin(), listing.end());
    return listing;
}

TEST(Run, HelpPrintsBannerAndHelpTextAndDoesNothingElse) {
    TempDir cwd;
    cwd.write("ls.1", kPage);
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"-?"}, {"-indir:.", "-?", "-nochm"}, {"-?", "-outdir:" + cwd.path() + "/out"}}) {
        const Result result = run_tolbrik(args, cwd.path());
        EXPECT_EQ(result.out, banner_bytes() + kHelpText) << testing::PrintToString(args);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(tree_listing(cwd.path()), Listing{"ls.1"});
    }
}

TEST(Run, NoFileFoundPrintsTheBannerAndSaysSo) {
    TempDir cwd;
    cwd.write("stray.1", kPage);  // in the working folder, which is not the input
    for (const char* folder : {"empty", "hollow/inner"}) cwd.folder(folder);
    for (const char* input : {"empty", "hollow", "missing", "stray.1"}) {
        const Result result = run_tolbrik({"-indir:" + cwd.path() + "/" + input, "-outdir:out"}, cwd.path());
        EXPECT_EQ(result.out, banner_bytes() + "No files found to process") << input;
        EXPECT_EQ(result.err, "") << input;
        EXPECT_EQ(result.status, 0) << input;
    }
    EXPECT_EQ(tree_listing(cwd.path()), (Listing{"empty/", "hollow/", "hollow/inner/", "stray.1"}));
}

TEST(Run, OnlyRecognisedPagesAreWritten) {
    TempDir dir;
    for (const char* name : {"p3.1", "p1.1"}) dir.write(std::string("in/") + name, "no title line\n");
    dir.write("in/p2.1", ".TH SECOND 2\n.SH NAME\nsecond\n");
    const Listing order = {"p1.1", "p2.1", "p3.1"};  // the walk's order
    const std::string second_html = "p2.htm";
    const std::string in = "-indir:" + dir.path() + "/in", out = "-outdir:" + dir.path() + "/out";

    Result result = run_tolbrik({in, out}, dir.path());
    EXPECT_EQ(result.out, banner_bytes() + no_title_message(order[0]) + no_title_message(order[2]));
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(tree_listing(dir.path() + "/out"), plus({second_html}, kProject));
    EXPECT_NE(dir.read("out/tolbrik.hhk").find("\"SECOND\""), std::string::npos) << "the page's title";

    // With -nochm only the pages.
    result = run_tolbrik({in, "-nochm", out + "2"}, dir.path());
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(tree_listing(dir.path() + "/out2"), Listing{second_html});

    // No page at all: nothing is written.
    dir.write("in/" + order[1], "no title line\n");
    dir.write("in/README", kPage);  // fails the name test: no message
    result = run_tolbrik({in, out + "3"}, dir.path());
    EXPECT_EQ(result.out, banner_bytes() + no_title_message(order[0]) + no_title_message(order[1]) +
                              no_title_message(order[2]));
    EXPECT_EQ(result.status, 0);
    EXPECT_FALSE(dir.exists("out3"));
}

TEST(Run, FoldersDefaultToTheWorkingFolder) {
    TempDir cwd;
    cwd.write("ls.1", kPage);
    cwd.write("man1/cat.1", kPage);
    Result result = run_tolbrik({}, cwd.path());
    EXPECT_EQ(result.out, banner_bytes());
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(tree_listing(cwd.path()),
              plus({"ls.1", "ls.htm", "man1/", "man1/cat.1", "man1/cat.htm"}, kProject));

    // A relative input folder, with or without a separator: the results still go to the
    // working folder.
    for (const char* input : {"-indir:in", "-indir:in/", "-indir:in\\"}) {
        TempDir other;
        other.write("in/sub/page.1", kPage);
        result = run_tolbrik({input}, other.path());
        EXPECT_EQ(result.status, 0) << input;
        EXPECT_EQ(tree_listing(other.path()), plus({"in/", "in/sub/", "in/sub/page.1", "sub/", "sub/page.htm"}, kProject))
            << input;
    }
}

}  // namespace
