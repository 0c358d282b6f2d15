// Page identification: the name test, where a title line is looked for, and what the
// title becomes.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "discovery/identify.h"
#include "platform/platform.h"
#include "test_support.h"

using namespace testing_support;

namespace {

struct Identified {
    uint8_t answer = 0;
    std::string title, out, err;
};

// Identifies `entry` (backslash-separated, relative to `native`), holding it in `store` if any.
Identified identify(const std::string& native, const std::string& entry, TextStore* store = nullptr,
                    std::string_view* held = nullptr) {
    Identified result;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    result.answer = identify_page(backslashed(native) + "\\", entry.c_str(), result.title, store, held);
    result.out = testing::internal::GetCapturedStdout();
    result.err = testing::internal::GetCapturedStderr();
    return result;
}

const std::string kNoTitle = "\x01";  // stands for "not a page, with the message"
const std::string kSilent = "\x02";   // stands for "not a page, silently"

struct Case {
    std::string name, entry, text;
    std::string title;  // or kNoTitle / kSilent
};

std::string x(size_t n) { return std::string(n, 'x'); }
// Folders whose path is longer than the window.
const std::string kDeep = std::string(120, 'a') + "\\" + std::string(120, 'b') + "\\" + std::string(120, 'c');

const std::vector<Case> kCases = {
    {"plain page", "man1\\ls.1", ".TH LS 1 2020-01-01 \"GNU\"\n.SH NAME\n", "LS"},
    // The name test: the byte after the last dot of the whole entry is a digit.
    {"compressed", "ls.1.gz", ".TH LS 1\n", kSilent},
    {"no dot", "README", ".TH LS 1\n", kSilent},
    {"no digit", "page.man", ".TH LS 1\n", kSilent},
    {"dot at the end", "page.", ".TH LS 1\n", kSilent},
    {"folder dot, file without", "man.1\\README", ".TH R 7\n", "R"},
    {"digit and letters", "ls.3x", ".TH LS 3x\n", "LS"},
    {"every digit counts", "k.9", ".TH K 9\n", "K"},
    {"zero too", "k.0", ".TH K 0\n", "K"},
    {"dotted folder name", "tools-1.2\\page", ".TH PAGE 2\n", "PAGE"},
    {"only an extension", "man1\\.1", ".TH DOT 1\n", "DOT"},
    // Where the title line may stand.
    {"empty file", "e.1", "", kNoTitle},
    {"no title line", "n.1", ".SH NAME\nls \\- list\n", kNoTitle},
    {"after comments", "c.1", ".\\\" comment\n'\\\" t\n.TH C 4\n", "C"},
    {"after a lone dot", "d.1", ".\n.TH D 5\n", "D"},
    {"last line, no line feed", "l.1", "text\n.TH L 6", "L"},
    {"space before the dot", "s.1", " .TH S 1\n", kNoTitle},
    {"lower case", "s.1", ".th S 1\n.Th S 1\n", kNoTitle},
    {"tab after TH", "s.1", ".TH\tS 1\n", kNoTitle},
    {"only .TH", "s.1", ".TH", kNoTitle},
    {"Ctrl-Z ends the text", "z.1", "one\n\x1A.TH Z 1\n", kNoTitle},
    {"several title lines", "m.1", ".TH FIRST 1\n.TH SECOND 2\n", "FIRST"},
    // The title.
    {"two spaces", "t.1", ".TH  1\n", ""},
    {"nothing after .TH", "t.1", ".TH ", ""},
    {"no space: line end", "t.1", ".TH LS\nmore 5\n", "LS"},
    {"no space: file end", "t.1", ".TH LS", "LS"},
    {"127 bytes", "t.1", ".TH " + std::string(127, 'A') + " 4\n", std::string(127, 'A')},
    {"128 bytes cut", "t.1", ".TH " + std::string(128, 'A') + " 4\n", std::string(127, 'A')},
    {"to the window end", "t.1", ".TH " + std::string(300, 'A') + " 4\n", std::string(127, 'A')},
    // CR LF files.
    {"CR LF", "w.1", ".\\\" c\r\n.TH W 2\r\n", "W"},
    {"CR LF, no space", "w.1", ".TH W\r\n", "W"},
    {"CR LF at the window edge", "w.1", x(258) + "\r\n.TH W 3\r\n", "W"},
    // Long lines are tested at the start of each 260-byte piece, and only there.
    {"piece start", "p.1", x(260) + ".TH P 1\n", "P"},
    {"second piece start", "p.1", "ab\n" + x(520) + ".TH P 2", "P"},
    {"one before a piece start", "p.1", x(259) + ".TH P 1\n", kNoTitle},
    {"one after a piece start", "p.1", "ab\n" + x(261) + ".TH P 1\n", kNoTitle},
    {"piece title to the window end", "p.1", x(260) + ".TH " + std::string(256, 'T') + " 5\n",
     std::string(127, 'T')},
    {"line of exactly 259 then title", "p.1", x(259) + "\n.TH P 4\n", "P"},
    {"line of exactly 260 then title", "p.1", x(260) + "\n.TH P 4\n", "P"},
    {"a path longer than the window", kDeep + "\\deep.1", ".TH DEEP 8\n", "DEEP"},
    {"and no title there", kDeep + "\\none.1", "no title\n", kNoTitle},
    // Longer than one read, and than a held text may be.
    {"title after 70000 bytes", "b.1", x(70000) + "\n.TH BIG 1\n", "BIG"},
    {"too large to hold", "b.1", ".TH HUGE 1\n" + x(kHeldTextLimit), "HUGE"},
};

// The whole of a file as the converter reads it.
std::string read_as_text(const std::string& path) {
    platform::TextFile file;
    std::string text(2 * kHeldTextLimit, '\0');
    text.resize(file.open_read(path) == 0 ? file.read(text.data(), text.size()) : 0);
    return text;
}

TEST(Identify, NameTestTitleLineAndTitle) {
    for (const Case& c : kCases) {
        TempDir dir;
        dir.write(native(c.entry), c.text);
        const Identified got = identify(dir.path(), c.entry);
        if (c.title == kNoTitle || c.title == kSilent) {
            EXPECT_EQ(got.answer, kNotPage) << c.name;
            EXPECT_EQ(got.out, c.title == kNoTitle ? kNoTitleMessage + c.entry + "\n" : "") << c.name;
        } else {
            EXPECT_EQ(got.answer, kIsPage) << c.name;
            EXPECT_EQ(got.title, c.title) << c.name;
            EXPECT_EQ(got.out, "") << c.name;
        }
        EXPECT_EQ(got.err, "") << c.name;
        // Read whole to be held, the same answer; a page held as the converter reads it.
        TextStore store(4 * kHeldTextLimit);
        std::string_view held;
        const Identified kept = identify(dir.path(), c.entry, &store, &held);
        EXPECT_EQ(std::tie(kept.answer, kept.title, kept.out, kept.err), std::tie(got.answer, got.title, got.out, got.err))
            << c.name;
        std::string text = got.answer == kIsPage ? read_as_text(dir.path() + "/" + native(c.entry)) : "";
        bool holds = got.answer == kIsPage && text.size() <= kHeldTextLimit;  // "-": nothing held
        EXPECT_EQ(held.data() == nullptr ? "-" : std::string(held), holds ? text : "-") << c.name;
    }
}

TEST(Identify, TheStoreHoldsWhatFits) {
    TextStore store(100);
    EXPECT_EQ(store.keep(std::string(60, 'a')), std::string(60, 'a'));
    EXPECT_EQ(store.keep(std::string(50, 'b')).data(), nullptr);
    EXPECT_EQ(store.keep(std::string(40, 'c')), std::string(40, 'c'));  // exactly full
}

}  // namespace
