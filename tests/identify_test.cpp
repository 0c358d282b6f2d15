// Page identification: the name test, where a title line is looked for, and what the
// title and section number become.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "discovery/identify.h"
#include "test_support.h"

using namespace testing_support;

namespace {

struct Identified {
    uint8_t answer = 0;
    std::string title;
    uint8_t section = 0;
    std::string out, err;
};

// Identifies `entry` (backslash-separated, relative to the folder `native`).
Identified identify(const std::string& native, const std::string& entry) {
    Identified result;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    result.answer = identify_page(backslashed(native) + "\\", entry.c_str(), result.title, result.section);
    result.out = testing::internal::GetCapturedStdout();
    result.err = testing::internal::GetCapturedStderr();
    return result;
}

std::string no_title_message(const std::string& entry) {
    return cp866("Заголовок MAN не найден в файле: ") + entry + "\n";
}

const std::string kNoTitle = "\x01";  // stands for "not a page, with the message"
const std::string kSilent = "\x02";   // stands for "not a page, silently"

struct Case {
    std::string name;
    std::string entry;
    std::string text;
    std::string title;  // or kNoTitle / kSilent
    int section;
};

std::string x(size_t n) { return std::string(n, 'x'); }

const std::vector<Case> kCases = {
    {"plain page", "man1\\ls.1", ".TH LS 1 2020-01-01 \"GNU\"\n.SH NAME\n", "LS", 1},
    // The name test: the byte after the last dot of the whole entry is a digit.
    {"compressed", "ls.1.gz", ".TH LS 1\n", kSilent, 0},
    {"no dot", "README", ".TH LS 1\n", kSilent, 0},
    {"no digit", "page.man", ".TH LS 1\n", kSilent, 0},
    {"dot at the end", "page.", ".TH LS 1\n", kSilent, 0},
    {"folder dot, file without", "man.1\\README", ".TH R 7\n", "R", 7},
    {"digit and letters", "ls.3x", ".TH LS 3x\n", "LS", 3},
    {"dotted folder name", "tools-1.2\\page", ".TH PAGE 2\n", "PAGE", 2},
    {"only an extension", "man1\\.1", ".TH DOT 1\n", "DOT", 1},
    // Where the title line may stand.
    {"empty file", "e.1", "", kNoTitle, 0},
    {"no title line", "n.1", ".SH NAME\nls \\- list\n", kNoTitle, 0},
    {"after comments", "c.1", ".\\\" comment\n'\\\" t\n.TH C 4\n", "C", 4},
    {"after a lone dot", "d.1", ".\n.TH D 5\n", "D", 5},
    {"last line, no line feed", "l.1", "text\n.TH L 6", "L", 6},
    {"space before the dot", "s.1", " .TH S 1\n", kNoTitle, 0},
    {"lower case", "s.1", ".th S 1\n.Th S 1\n", kNoTitle, 0},
    {"tab after TH", "s.1", ".TH\tS 1\n", kNoTitle, 0},
    {"only .TH", "s.1", ".TH", kNoTitle, 0},
    {"Ctrl-Z ends the text", "z.1", "one\n\x1A.TH Z 1\n", kNoTitle, 0},
    {"several title lines", "m.1", ".TH FIRST 1\n.TH SECOND 2\n", "FIRST", 1},
    // The title.
    {"two spaces", "t.1", ".TH  1\n", "", 1},
    {"nothing after .TH", "t.1", ".TH ", "", 0},
    {"quoted title", "t.1", ".TH \"LS\" 1\n", "\"LS\"", 1},
    {"escapes kept", "t.1", ".TH GIT\\-ADD 1\n", "GIT\\-ADD", 1},
    {"tab inside", "t.1", ".TH A\tB 1\n", "A\tB", 1},
    {"no space: line end", "t.1", ".TH LS\nmore 5\n", "LS", 0},
    {"no space: file end", "t.1", ".TH LS", "LS", 0},
    {"127 bytes", "t.1", ".TH " + std::string(127, 'A') + " 4\n", std::string(127, 'A'), 4},
    {"128 bytes cut", "t.1", ".TH " + std::string(128, 'A') + " 4\n", std::string(127, 'A'), 4},
    {"to the window end", "t.1", ".TH " + std::string(300, 'A') + " 4\n", std::string(127, 'A'), 0},
    // The section number.
    {"quoted section", "t.1", ".TH X \"1\"\n", "X", 0},
    {"3pm", "t.3pm", ".TH X 3pm\n", "X", 3},
    {"letters only", "t.1", ".TH X n\n", "X", 0},
    {"blanks skipped", "t.1", ".TH X \t  8\n", "X", 8},
    {"on the next line", "t.1", ".TH X \n9\n", "X", 9},
    {"plus sign", "t.1", ".TH X +3\n", "X", 3},
    {"negative", "t.1", ".TH X -1\n", "X", 255},
    {"low 8 bits", "t.1", ".TH X 257\n", "X", 1},
    {"nothing after the space", "t.1", ".TH X \n", "X", 0},
    // CR LF files.
    {"CR LF", "w.1", ".\\\" c\r\n.TH W 2\r\n", "W", 2},
    {"CR LF, no space", "w.1", ".TH W\r\n", "W", 0},
    {"CR LF at the window edge", "w.1", x(258) + "\r\n.TH W 3\r\n", "W", 3},
    // Long lines are tested at the start of each 260-byte piece, and only there.
    {"piece start", "p.1", x(260) + ".TH P 1\n", "P", 1},
    {"second piece start", "p.1", "ab\n" + x(520) + ".TH P 2", "P", 2},
    {"one before a piece start", "p.1", x(259) + ".TH P 1\n", kNoTitle, 0},
    {"one after a piece start", "p.1", "ab\n" + x(261) + ".TH P 1\n", kNoTitle, 0},
    {"piece title to the window end", "p.1", x(260) + ".TH " + std::string(256, 'T') + " 5\n",
     std::string(127, 'T'), 0},
    {"line of exactly 259 then title", "p.1", x(259) + "\n.TH P 4\n", "P", 4},
    {"line of exactly 260 then title", "p.1", x(260) + "\n.TH P 4\n", "P", 4},
};

TEST(Identify, NameTestTitleLineTitleAndSection) {
    for (const Case& c : kCases) {
        TempDir dir;
        std::string relative = c.entry;
        for (char& ch : relative) ch = ch == '\\' ? '/' : ch;
        dir.write(relative, c.text);
        const Identified got = identify(dir.path(), c.entry);
        if (c.title == kNoTitle || c.title == kSilent) {
            EXPECT_EQ(got.answer, kNotPage) << c.name;
            EXPECT_EQ(got.out, c.title == kNoTitle ? no_title_message(c.entry) : "") << c.name;
        } else {
            EXPECT_EQ(got.answer, kIsPage) << c.name;
            EXPECT_EQ(got.title, c.title) << c.name;
            EXPECT_EQ(got.section, c.section) << c.name;
            EXPECT_EQ(got.out, "") << c.name;
        }
        EXPECT_EQ(got.err, "") << c.name;
    }
}

TEST(Identify, PathsLongerThanTheWindowWork) {
    TempDir dir;
    const std::string folders = std::string(120, 'a') + "/" + std::string(120, 'b') + "/" + std::string(120, 'c');
    dir.write(folders + "/deep.1", ".TH DEEP 8\n");
    dir.write(folders + "/none.1", "no title\n");
    const Identified page = identify(dir.path(), backslashed(folders) + "\\deep.1");
    EXPECT_EQ(page.answer, kIsPage);
    EXPECT_EQ(page.title, "DEEP");
    EXPECT_EQ(page.section, 8);
    const Identified none = identify(dir.path(), backslashed(folders) + "\\none.1");
    EXPECT_EQ(none.answer, kNotPage);
    EXPECT_EQ(none.out, no_title_message(backslashed(folders) + "\\none.1"));
}

TEST(Identify, AFileThatCannotBeOpenedAnswersItsErrorNumber) {
    TempDir dir;
    dir.write("folder.1/inner", "x");
    const struct {
        const char* entry;
        int error;
    } cases[] = {{"gone.1", ENOENT}, {"nowhere\\gone.1", ENOENT}, {"folder.1", EACCES}};
    for (const auto& c : cases) {
        const Identified got = identify(dir.path(), c.entry);
        EXPECT_EQ(got.answer, c.error) << c.entry;
        EXPECT_EQ(got.out, "") << c.entry;
        std::string native = c.entry;
        for (char& ch : native) ch = ch == '\\' ? '/' : ch;
        EXPECT_EQ(got.err, "tolbrik: cannot read " + dir.path() + "/" + native + ": " + std::strerror(c.error) + "\n")
            << c.entry;
    }
}

}  // namespace
