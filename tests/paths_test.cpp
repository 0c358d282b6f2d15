// Paths between pages: relative paths of any length and depth, HTML paths, and the
// escaping of attribute values.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/paths.h"

namespace {

std::string repeat(const std::string& piece, size_t times) {
    std::string text;
    for (size_t i = 0; i < times; ++i) text += piece;
    return text;
}

struct Case {
    std::string from;
    std::string to;
    std::string result;
};

TEST(RelativePath, LeadsFromTheFolderOfOneFileToTheOther) {
    const std::vector<Case> cases = {
        {"man1\\ls.1", "man1\\cp.1", "cp.1"},
        {"man1\\cp.1", "man3\\printf.3", "..\\man3\\printf.3"},
        {"ls.1", "man1\\cp.1", "man1\\cp.1"},
        {"a\\b\\x.1", "y.1", "..\\..\\y.1"},
        {"ab\\x.1", "a\\y.1", "..\\a\\y.1"},
        {"Man1\\a.1", "man1\\b.1", "b.1"},
        {"a\\x", "a\\x\\y.1", "x\\y.1"},
        {"a\\x\\y.1", "a\\x", "..\\x"},
        {"man1\\ls.1", "man1\\ls.1", "ls.1"},
        {"a\\B\\x.1", "A\\b\\y.1", "y.1"},
        {"Z\\x.1", "z\\y.1", "y.1"},  // the letters at both ends of the range fold
        {"a\\b\\c\\x.1", "a\\d\\y.1", "..\\..\\d\\y.1"},
        {"a\\x.1", "a\\x.1\\y.1", "x.1\\y.1"},
        {"x.1", "x.1", "x.1"},
        {"\x80\\a.1", "\xA0\\b.1", "..\\\xA0\\b.1"},  // only ASCII letters differ in case alone
    };
    for (const Case& c : cases) EXPECT_EQ(relative_path(c.from, c.to), c.result) << c.from << " -> " << c.to;
}

TEST(RelativePath, HasNoLimitOfLengthOrDepth) {
    const std::string deep = repeat("d\\", 50);
    const std::string name(200, 'f');
    const std::string upper(200, 'F');
    const std::vector<Case> cases = {
        {deep + "x.1", "y.1", repeat("..\\", 50) + "y.1"},
        {"y.1", deep + "x.1", deep + "x.1"},
        {deep + "a\\x.1", deep + "b\\y.1", "..\\b\\y.1"},
        {repeat("p\\", 60) + "x.1", repeat("q\\", 60) + "y.1", repeat("..\\", 60) + repeat("q\\", 60) + "y.1"},
        {name + "\\x.1", name + "\\y.1", "y.1"},
        {upper + "\\x.1", name + "\\y.1", "y.1"},
        {name + "\\x.1", "y.1", "..\\y.1"},
        {name + "\\" + name + "\\x.1", name + "\\g\\y.1", "..\\g\\y.1"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(relative_path(c.from, c.to), c.result) << c.from.size() << " bytes -> " << c.to.size() << " bytes";
    }
}

TEST(HtmlPath, CutsAtTheLastDot) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"man1\\ls.1", "man1\\ls.htm"},  {"ls.1", "ls.htm"},
        {"man1\\ls.3x", "man1\\ls.htm"}, {"man.1\\ls", "man.htm"},
        {"a.b\\c.d.1", "a.b\\c.d.htm"},  {"noext", "noext.htm"},
    };
    for (const auto& [source, html] : cases) EXPECT_EQ(html_path(source), html) << source;
}

TEST(EscapeAttribute, WritesTheFourMarkupCharactersAsEntities) {
    EXPECT_EQ(escape_attribute("a&b<c>d\"e'f\\g\xC0"), "a&amp;b&lt;c&gt;d&quot;e'f\\g\xC0");
    EXPECT_EQ(escape_attribute("&amp;"), "&amp;amp;");
    EXPECT_EQ(escape_attribute(""), "");
}

}  // namespace
