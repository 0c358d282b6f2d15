// The directory walk on trees built here: the file list's entries and their order (depth
// first, names compared with their ASCII letters as capitals), links followed except back
// into the way down, what is passed over, and the lines printed about it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "discovery/walk.h"
#include "test_support.h"

using namespace testing_support;

namespace {

struct Walked {
    std::string list, err;
    bool reported = false;
};

// Walks the folder `native` as a run would: its tool path, a backslash and "*".
Walked walk(const std::string& native) {
    const std::string folder = backslashed(native) + "\\";
    Walked walked;
    testing::internal::CaptureStderr();
    walk_tree(folder + "*", folder.size(), walked.list, walked.reported);  // a loop would hang: ctest's limit
    walked.err = testing::internal::GetCapturedStderr();
    return walked;
}

std::string lines(const std::vector<std::string>& entries, const std::string& before = "",
                  const std::string& after = "") {
    std::string text;
    for (const std::string& entry : entries) text += before + entry + after + "\n";
    return text;
}

TEST(Walk, ListsEveryFileDepthFirstInTheListingOrder) {
    TempDir dir;
    for (const char* file : {"z.1", "a.1", "man3/x.3", "man3/sub/y.3", "man.1/inner.1", ".profile", "..x", "noext",
                             "deep/g", "deep/er/est/f.2", ".dir/y.1", "spaces in name.1", "Ru/\xD1\x82.1", "#%&'.1",
                             "longname-B.1", "longname-a.10", "longname-a.1", "LONGNAME-A.1", "longname"}) {
        dir.write(file, "x");
    }
    for (const char* folder : {"empty", "only_empty/e1", "only_empty/e2"}) dir.folder(folder);
    const Walked walked = walk(dir.path());
    EXPECT_EQ(walked.list, lines({"#%&'.1", "..x", ".dir\\y.1", ".profile", "a.1", "deep\\er\\est\\f.2", "deep\\g",
                                  "longname", "LONGNAME-A.1", "longname-a.1", "longname-a.10", "longname-B.1",
                                  "man.1\\inner.1", "man3\\sub\\y.3", "man3\\x.3", "noext", "Ru\\\xD1\x82.1",
                                  "spaces in name.1", "z.1"}));
    EXPECT_EQ(walked.err, "");
    EXPECT_FALSE(walked.reported);
}

TEST(Walk, LinksAreFollowedExceptBackIntoTheWayDown) {
    TempDir dir, outside;
    outside.write("file.1", "x");
    outside.write("folder/g.1", "x");
    for (const char* file : {"top.1", "sub/s.1", "sub/deeper/d.1", "sub2/t.1"}) dir.write(file, "x");
    const std::string root = dir.path();
    const std::pair<std::string, std::string> links[] = {
        {"..", "sub/up"},             // the input folder itself
        {"../..", "sub/deeper/top"},  // likewise, two levels down
        {"..", "sub/deeper/loop"},    // sub, its parent
        {".", "sub/self"},
        {root, "sub2/absolute"},      // the input folder, by an absolute path
        {outside.path() + "/file.1", "filelink.1"},
        {outside.path() + "/folder", "outlink"},
        {"sub2", "sibling"},          // entered here and as sub2
        {"../sub2", "sub/cousin"},
        {"nowhere", "dangling.1"},    // a link to nothing is no page, and nothing is said
    };
    for (const auto& [target, link] : links) ASSERT_EQ(::symlink(target.c_str(), (root + "/" + link).c_str()), 0);
    const Walked walked = walk(root);
    EXPECT_EQ(walked.list, lines({"filelink.1", "outlink\\g.1", "sibling\\t.1", "sub\\cousin\\t.1", "sub\\deeper\\d.1",
                                  "sub\\s.1", "sub2\\t.1", "top.1"}));
    EXPECT_EQ(walked.err, lines({"sibling/absolute", "sub/cousin/absolute", "sub/deeper/loop", "sub/deeper/top",
                                 "sub/self", "sub/up", "sub2/absolute"},
                                "tolbrik: " + root + "/", ": not entered: it leads back into a folder being walked"));
    EXPECT_TRUE(walked.reported);
}

TEST(Walk, NamesWithABackslashOrLineFeedAreNamedAndPassedOver) {
    TempDir dir;
    for (const char* file : {"a\\b.1", "x\ny.1", "good.1", "f\\d/in.1", "ok/c\\d.1", "ok/fine.1"}) dir.write(file, "x");
    const Walked walked = walk(dir.path());
    EXPECT_EQ(walked.list, lines({"good.1", "ok\\fine.1"}));
    EXPECT_EQ(walked.err, lines({"a\\b.1", "f\\d", "ok/c\\d.1", "x\\ny.1"}, "tolbrik: " + dir.path() + "/",
                                ": not listed: a backslash or line feed in a name cannot be expressed"));
    EXPECT_TRUE(walked.reported);
}

}  // namespace
