// Folder creation along a path: every folder named by the path is made, outermost first;
// what exists is passed over, and nothing is made beyond a refusal.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "output/create_folders.h"
#include "test_support.h"

using namespace testing_support;

namespace {

TEST(CreateFolders, MakesEveryFolderAlongThePath) {
    TempDir dir;
    dir.write("pre/a/b/page.htm", "x");
    dir.write("file", "a file where a folder must be");
    const std::string deep = std::string(100, 'n') + "/" + std::string(100, 'm') + "/" + std::string(100, 'k');
    const struct {
        std::string path;  // after the temporary folder, which ends without a separator
        size_t length;     // the characters of `path` that name the deepest folder
        std::vector<std::string> made, absent;
    } cases[] = {
        {"\\pre\\a\\b\\page.htm", 8, {"pre/a/b"}, {}},
        {"\\n1\\n2\\n3\\page.htm", 9, {"n1/n2/n3"}, {"n1/n2/n3/page.htm"}},
        {"\\pre\\a\\new", 10, {"pre/a/new"}, {}},
        {"\\abc\\def", 3, {"ab"}, {"abc"}},  // the length ends inside a name
        {"/s1/s2\\s3", 9, {"s1/s2/s3"}, {}},  // both kinds of slash separate
        {"\\d1\\\\d2", 7, {"d1/d2"}, {}},
        {"/out/html/\\man1\\ls.htm", 15, {"out/html/man1"}, {"out/html/man1/ls.htm"}},
        {"\\" + backslashed(deep), deep.size() + 1, {deep}, {}},
        {"\\file\\g\\h", 7, {}, {"file/g"}},
        {"\\" + std::string(300, 'z') + "\\w", 303, {}, {"w"}},
    };
    for (const auto& c : cases) {
        create_folders(dir.path() + c.path, dir.path().size() + c.length);
        for (const std::string& made : c.made) EXPECT_TRUE(std::filesystem::is_directory(dir.path() + "/" + made)) << made;
        for (const std::string& absent : c.absent) EXPECT_FALSE(dir.exists(absent)) << absent;
    }
    EXPECT_EQ(dir.read("file"), "a file where a folder must be");
}

}  // namespace
