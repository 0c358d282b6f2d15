// Folder creation along a path in a temporary folder: what is made, what is passed over,
// and the code of the first refusal.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "output/create_folders.h"
#include "platform/platform.h"
#include "test_support.h"

using namespace testing_support;

namespace {

TEST(CreateFolders, MakesEveryFolderAlongThePathOrStopsAtTheFirstRefusal) {
    TempDir dir;
    dir.write("pre/a/b/page.htm", "x");
    dir.write("file", "a file where a folder must be");
    const std::string root = dir.path();  // ends without a backslash: the first prefix is the folder itself
    const std::string long_path = "\\" + std::string(100, 'n') + "\\" + std::string(100, 'm') + "\\" + std::string(100, 'k');

    struct Case {
        std::string path;  // after the root
        size_t length;     // leading characters after the root that name the deepest folder
        uint32_t status;
        std::vector<std::string> made;    // folders that exist afterwards
        std::vector<std::string> absent;  // names that do not
    };
    const std::vector<Case> cases = {
        {"\\pre\\a\\b\\page.htm", 8, platform::kOk, {"pre/a/b"}, {}},
        {"\\n1\\n2\\n3\\page.htm", 9, platform::kOk, {"n1/n2/n3"}, {"n1/n2/n3/page.htm"}},
        {"\\pre\\a\\new", 10, platform::kOk, {"pre/a/new"}, {}},
        {"\\abc\\def", 3, platform::kOk, {"ab"}, {"abc"}},  // the length ends inside a name
        {"/solo", 5, platform::kOk, {"solo"}, {}},
        {"/s1/s2\\s3", 9, platform::kOk, {"s1/s2/s3"}, {}},
        {"\\d1\\\\d2", 7, platform::kOk, {"d1/d2"}, {}},  // the prefix "d1\" names d1 again
        {long_path, long_path.size(), platform::kOk, {long_path.substr(1)}, {}},
        {"\\file\\g\\h", 7, platform::kPathNotFound, {}, {"file/g"}},
        {"\\" + std::string(300, 'z') + "\\w", 303, platform::kFilenameTooLong, {}, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(create_folders(root + c.path, root.size() + c.length), c.status) << c.path;
        for (std::string made : c.made) {
            for (char& ch : made) ch = ch == '\\' ? '/' : ch;
            bool is_folder = false;
            EXPECT_EQ(platform::get_attributes(dir.path() + "/" + made, is_folder), platform::kOk) << made;
            EXPECT_TRUE(is_folder) << made;
        }
        for (const std::string& absent : c.absent) EXPECT_FALSE(dir.exists(absent)) << absent;
    }
    EXPECT_EQ(dir.read("file"), "a file where a folder must be");
}

TEST(CreateFolders, MakesTheParentsOfAFolderWrittenWithSlashes) {
    TempDir dir;
    // An output folder given as ".../out/html/" with neither folder there yet.
    std::string page = dir.path() + "/out/html/\\man1\\ls.htm";
    EXPECT_EQ(create_folders(page, page.rfind('\\')), platform::kOk);
    EXPECT_TRUE(dir.exists("out/html/man1"));
    EXPECT_FALSE(dir.exists("out/html/man1/ls.htm"));
}

}  // namespace
