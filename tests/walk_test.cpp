// The directory walk on trees built here: the file list's entries and order, what is
// passed over, and the lines printed about it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "discovery/walk.h"
#include "test_support.h"

using namespace testing_support;

namespace {

const char kLoopLine[] = ": not entered: it leads back into a folder being walked\n";
const char kNameLine[] = ": not listed: a backslash or line feed in a name cannot be expressed\n";

struct Walked {
    std::string list;
    std::string err;
    bool reported = false;
};

// Walks the folder `native` as a run would: its tool path, a backslash and "*".
Walked walk(const std::string& native) {
    const std::string folder = backslashed(native) + "\\";
    Walked walked;
    testing::internal::CaptureStderr();
    ::alarm(20);  // a walk that follows a link loop would not end: the alarm ends the test
    walk_tree(folder + "*", folder.size(), walked.list, walked.reported);
    ::alarm(0);
    walked.err = testing::internal::GetCapturedStderr();
    return walked;
}

// What the walk must give, worked out separately: depth first, in the listing order, links
// followed except back into a folder on the way down, unexpressible names passed over.
struct Expected {
    std::string list;
    std::string err;
};

void expect_folder(const std::string& native, const std::string& prefix,
                   std::vector<std::pair<dev_t, ino_t>>& way, Expected& expected) {
    for (const std::string& name : listed_names(native)) {
        const std::string full = native + "/" + name;
        if (name.find_first_of("\\\n") != std::string::npos) {
            std::string shown = name;
            for (size_t lf; (lf = shown.find('\n')) != std::string::npos;) shown.replace(lf, 1, "\\n");
            expected.err += "tolbrik: " + native + "/" + shown + kNameLine;
            continue;
        }
        struct stat info;
        if (::stat(full.c_str(), &info) != 0) continue;  // a link to nothing
        if (!S_ISDIR(info.st_mode)) {
            expected.list += prefix + name + "\n";
            continue;
        }
        auto identity = std::make_pair(info.st_dev, info.st_ino);
        if (std::find(way.begin(), way.end(), identity) != way.end()) {
            expected.err += "tolbrik: " + full + kLoopLine;
            continue;
        }
        way.push_back(identity);
        expect_folder(full, prefix + name + "\\", way, expected);
        way.pop_back();
    }
}

Expected expected_walk(const std::string& native) {
    struct stat info;
    EXPECT_EQ(::stat(native.c_str(), &info), 0);
    std::vector<std::pair<dev_t, ino_t>> way{{info.st_dev, info.st_ino}};
    Expected expected;
    expect_folder(native, "", way, expected);
    return expected;
}

std::vector<std::string> sorted_entries(const std::string& list) {
    std::vector<std::string> entries;
    size_t start = 0;
    for (size_t end; (end = list.find('\n', start)) != std::string::npos; start = end + 1) {
        entries.push_back(list.substr(start, end - start));
    }
    EXPECT_EQ(start, list.size()) << "every entry ends in a line feed";
    std::sort(entries.begin(), entries.end());
    return entries;
}

void make_link(const std::string& target, const std::string& link) {
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0) << link;
}

TEST(Walk, ListsEveryFileDepthFirstInEnumerationOrder) {
    TempDir dir;
    for (const char* file : {"a.1", "man3/x.3", "man3/sub/y.3", "z.1", "man.1/inner.1", ".profile", "..x",
                             "noext", "deep/er/est/f.2", "deep/g", ".dir/y.1", "spaces in name.1",
                             "ru/\xD1\x82\xD0\xB5\xD1\x81\xD1\x82.1", "#%&'.1"}) {
        dir.write(file, "x");
    }
    for (const char* folder : {"empty", "only_empty/e1", "only_empty/e2"}) dir.folder(folder);
    const Walked walked = walk(dir.path());
    EXPECT_EQ(walked.list, expected_walk(dir.path()).list);
    EXPECT_EQ(sorted_entries(walked.list),
              (std::vector<std::string>{"#%&'.1", "..x", ".dir\\y.1", ".profile", "a.1", "deep\\er\\est\\f.2",
                                        "deep\\g", "man.1\\inner.1", "man3\\sub\\y.3", "man3\\x.3", "noext",
                                        "ru\\\xD1\x82\xD0\xB5\xD1\x81\xD1\x82.1", "spaces in name.1", "z.1"}));
    EXPECT_EQ(walked.err, "");
    EXPECT_FALSE(walked.reported);
}

TEST(Walk, NoFileGivesAnEmptyListAndAMissingFolderIsNotNamed) {
    TempDir dir;
    for (const char* folder : {"hollow/a/b", "hollow/c", "empty"}) dir.folder(folder);
    for (const char* folder : {"empty", "hollow", "missing"}) {
        const Walked walked = walk(dir.path() + "/" + folder);
        EXPECT_EQ(walked.list + walked.err, "") << folder;
        EXPECT_FALSE(walked.reported) << folder;
    }
}

TEST(Walk, LinksAreFollowedExceptBackIntoTheWayDown) {
    TempDir dir, outside;
    outside.write("file.1", "x");
    outside.write("folder/g.1", "x");
    for (const char* file : {"top.1", "sub/s.1", "sub/deeper/d.1", "sub2/t.1"}) dir.write(file, "x");
    const std::string root = dir.path();
    make_link("..", root + "/sub/up");             // the input folder itself
    make_link("../..", root + "/sub/deeper/top");  // likewise, two levels down
    make_link("..", root + "/sub/deeper/loop");    // sub, its parent
    make_link(".", root + "/sub/self");
    make_link(root, root + "/sub2/absolute");      // the input folder, by an absolute path
    make_link(outside.path() + "/file.1", root + "/filelink.1");
    make_link(outside.path() + "/folder", root + "/outlink");
    make_link("sub2", root + "/sibling");          // entered here and as sub2
    make_link("../sub2", root + "/sub/cousin");
    make_link("nowhere", root + "/dangling.1");    // a link to nothing is no page

    const Walked walked = walk(root);
    const Expected expected = expected_walk(root);
    EXPECT_EQ(walked.list, expected.list);
    EXPECT_EQ(sorted_entries(walked.list),
              (std::vector<std::string>{"filelink.1", "outlink\\g.1", "sibling\\t.1", "sub2\\t.1", "sub\\cousin\\t.1",
                                        "sub\\deeper\\d.1", "sub\\s.1", "top.1"}));
    EXPECT_EQ(walked.err, expected.err);
    EXPECT_EQ(std::count(walked.err.begin(), walked.err.end(), '\n'), 7) << walked.err;
    EXPECT_TRUE(walked.reported);
}

TEST(Walk, NamesWithABackslashOrLineFeedAreNamedAndPassedOver) {
    TempDir dir;
    for (const char* file : {"a\\b.1", "x\ny.1", "good.1", "f\\d/in.1", "ok/c\\d.1", "ok/fine.1"}) {
        dir.write(file, "x");
    }
    const Walked walked = walk(dir.path());
    const Expected expected = expected_walk(dir.path());
    EXPECT_EQ(walked.list, expected.list);
    EXPECT_EQ(sorted_entries(walked.list), (std::vector<std::string>{"good.1", "ok\\fine.1"}));
    EXPECT_EQ(walked.err, expected.err);
    EXPECT_EQ(std::count(walked.err.begin(), walked.err.end(), '\n'), 4) << "one line each";
    EXPECT_TRUE(walked.reported);
}

}  // namespace
