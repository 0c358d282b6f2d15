// Page conversion memory to memory: the frame, line reading, the request table, font
// escapes, line-end closings, nesting, links in whole pages; and convert_page on files.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "classic/convert.h"
#include "test_support.h"

using namespace testing_support;

namespace {

const PageTable& alone() {
    static const PageTable pages = table_of({{"T", "man1\\t.1"}});
    return pages;
}

// Converts `source` as page `index` of `pages` with `state` (a fresh one by default).
std::string convert(const std::string& source, const PageTable& pages = alone(), uint32_t index = 0,
                    ConverterState&& state = ConverterState{}) {
    Source in(source);
    Sink out;
    convert_text(in, out, pages, index, state);
    return std::string(out.text());
}

// Each source converted alone as page `index` must give exactly its body.
void expect_bodies(const std::vector<std::pair<std::string, std::string>>& cases, const PageTable& pages = alone(),
                   uint32_t index = 0) {
    for (const auto& [source, body] : cases) {
        EXPECT_EQ(convert(source, pages, index), classic_page(pages[index].title, body)) << "source: " << source;
    }
}

std::string x(size_t n, char c = 'x') { return std::string(n, c); }
std::string repeated(const std::string& text, size_t n) {
    std::string all;
    for (size_t i = 0; i < n; ++i) all += text;
    return all;
}

TEST(ConvertText, EveryRequestRow) {
    expect_bodies({
        {".\\\" note\n", "<!--  note  !-->\n"},
        {".\\\"\n.B x\n", "<!--   !-->\n<b>x </b> "},
        {".TH LS 1 2024\n", " "},
        {".TH A<B>\\fBx 1\n", "&lt;&gt;<b> "},  // only ordinary bytes are held back
        {".SH NAME\n", "</blockquote>\n<h1>NAME </h1>\n<blockquote>"},
        {".SH \n", "</blockquote>\n<h1> </h1>\n<blockquote>"},
        {".SS Opt\n", "\n<h2>Opt </h2>\n<blockquote></blockquote>"},
        {".IP -a\n", "\n<h3><tt>-a </tt></h3>\n<blockquote></blockquote>"},
        {".nf\n", "<tt><br>"},
        {".nf  two\n", "<tt> two<br>"},
        {".nf\n.nf\n", "<tt><br><tt><br>"},
        {".fi\n", "</tt> "},
        {".fi x\n", "</tt>x "},
        {".br\n", "<br> "},
        {".br x\n", "<br>x "},
        {".sp\n", "<br><br> "},
        {".ad b\n", " b "},
        {".ad\n", " "},
        {".B bold <x>\n", "<b>bold &lt;x&gt; </b> "},
        {".B \\fIx\\fR & y\n", "<b>\\fIx\\fR & y </b> "},
        {".BI both\n", "<b><i>both </b> </i> "},
        {".I it\n", "<i>it </i> "},
        {".IR name (1)\n", "<i>name (1) </i><br>"},
        {".BR x \"y z\"\n", "x y z "},
        {".PP\n", "PP "},
        {".B\n", "B "},
        {".nfx\n", "nfx "},
        {".sh x\n", "sh x "},
        {".\n", " "},
        {".SH<x\n", "SH&lt;x "},
        {"'br\n", "'br "},
    });
}

TEST(ConvertText, TextEscapesAndLineEnds) {
    expect_bodies({
        {"", ""},
        {"one\ntwo\n", "one two "},
        {"a\n\nb\n", "a <br>b "},
        {"\n", "<br>"},
        {"last", "last"},
        {"a\nlast", "a last"},
        {".SH X", "</blockquote>\n<h1>X"},  // no line end: no closings, the counter stays -1
        {".B x", "<b>x"},
        {".nf", "nf"},  // the zero byte after the text is no line end
        {"\\fB", "<b>"},
        {"x\\f", "x\\f"},
        {"x < y > z & \"q\" \\- \\(em\n", "x &lt; y &gt; z & \"q\" \\- \\(em "},
        {"\xC0\xFF\x80\x01\n", "\xC0\xFF\x80\x01 "},
        {"a \\fBb\\fR c\n", "a <b>b</b> c "},
        {"\\fIi\\fP \\fBb\\fP\n", "<i>i</i> <b>b</b> "},
        {"\\fBx\\fI y\\fP\\fP\n", "<b>x<i> y</i></b> "},
        {"\\fR \\fP \\fX \\fb \\f(CW \\f2\n", "\\fR \\fP \\fX \\fb \\f(CW \\f2 "},
        {"\\fIx\\fR\n", "<i>x\\fR "},  // \fR closes bold only
        {"a\\f\n", "a\\f "},
        {".SH \\fBNAME\n.SH NEXT\n",
         "</blockquote>\n<h1><b>NAME </h1>\n<blockquote></b></blockquote>\n<h1>NEXT </h1>\n<blockquote>"},
    });
}

TEST(ConvertText, LineEndClosingsCombine) {
    expect_bodies({
        {".nf\n.B x\n.SH \\fBH\n.IR y\nz\n",
         "<tt><br><b>x<br></b> </tt></blockquote>\n<h1><b>H </h1>\n<blockquote><i>y </i><br>z "},
        {".nf\n.BI a\n.I b\n.fi\n.IP \\fIc\n",
         "<tt><br><b><i>a<br></b> </i> <i>b<br></i> </tt> \n<h3><tt><i>c </tt></h3>\n<blockquote>"
         "</blockquote>"},
        {".SS \\fBs\n.IP \\fIi\n.nf\n.SH h\n",
         "\n<h2><b>s </h2>\n<blockquote></b></blockquote>\n<h3><tt><i>i </tt></h3>\n<blockquote>"
         "<tt><br></tt></i></blockquote></blockquote>\n<h1>h </h1>\n<blockquote>"},
    });
}

TEST(ConvertText, NestingAcrossHeadingOrders) {
    const std::string h1 = "\n<h1>", h2 = "\n<h2>", h3 = "\n<h3><tt>", bq = "<blockquote>", end = "</blockquote>";
    expect_bodies({
        {".SH A\n.SS B\n.IP c\n.IP d\n.SH E\nx\n",
         end + h1 + "A </h1>\n" + bq + h2 + "B </h2>\n" + bq + end + h3 + "c </tt></h3>\n" + bq + end + h3 +
             "d </tt></h3>\n" + bq + end + end + h1 + "E </h1>\n" + bq + "x "},
        {".SS A\n.SH B\n", h2 + "A </h2>\n" + bq + end + end + h1 + "B </h1>\n" + bq},
        {".IP a\n.IP b\n", h3 + "a </tt></h3>\n" + bq + end + h3 + "b </tt></h3>\n" + bq + end},
        {".SH A\n.SS B\n.SS C\n", end + h1 + "A </h1>\n" + bq + h2 + "B </h2>\n" + bq + end + h2 + "C </h2>\n" + bq + end},
        {".SH A\n.IP b\n.SS C\nx\n",
         end + h1 + "A </h1>\n" + bq + h3 + "b </tt></h3>\n" + bq + end + h2 + "C </h2>\n" + bq + "x " + end},
        {".SS A\n.SS B\n.IP c\n.SH D\n",
         h2 + "A </h2>\n" + bq + end + h2 + "B </h2>\n" + bq + end + h3 + "c </tt></h3>\n" + bq + end + end + h1 +
             "D </h1>\n" + bq},
        {".SH A\n.SS B\n.SH C", end + h1 + "A </h1>\n" + bq + h2 + "B </h2>\n" + bq + end + end + h1 + "C"},
    });
}

TEST(ConvertText, LongLinesAreTakenInPieces) {
    expect_bodies({
        {x(300) + "\n", x(300) + " "},
        {x(260) + "\n", x(260) + "<br>"},  // the line end is the first byte of its piece
        {x(260) + ".SH Z\n", x(260) + "</blockquote>\n<h1>Z </h1>\n<blockquote>"},
        {"a\n" + x(260) + ".B y\n", "a " + x(260) + "<b>y </b> "},
        {x(520) + ".nf\nz\n", x(520) + "<tt><br>z<br>"},
        {x(258) + "\\fBy\n", x(258) + "\\fBy "},  // the letter lies in the next piece
        {x(257) + "\\fBy\n", x(257) + "<b>y "},
        {x(259) + "<\n", x(259) + "&lt;<br>"},
        // Pieces and lines past the first 32 KiB, which is read at a time.
        {x(260 * 130) + ".B y\n", x(260 * 130) + "<b>y </b> "},
        {repeated("a\n.B y\n", 6000), repeated("a <b>y </b> ", 6000)},
        // An .IP piece inside a long .SH line meets the counter at -1: it closes one more
        // level, and each heading flag is closed by a line end of its own.
        {".SH " + x(256) + ".IP i\nz\n",
         "</blockquote>\n<h1>" + x(256) + "</blockquote>\n<h3><tt>i </h1>\n<blockquote>z </tt></h3>\n<blockquote>"},
    });
}

TEST(ConvertText, FontRequestLineLongerThanTheBufferKeepsAllItsBytes) {
    PageTable pages = table_of({{"T", "man1\\t.1"}, {"l", "man1\\l.1"}});
    expect_bodies(
        {
            {".B " + x(300, 'a') + " tail\n", "<b>" + x(300, 'a') + " tail </b> "},
            {".B \"" + x(300, 'q') + "\" <x>\n", "<b>" + x(300, 'q') + " &lt;x&gt; </b> "},
            {".I " + x(257, 'a') + ".SH \\fBx\n", "<i>" + x(257, 'a') + ".SH \\fBx </i> "},
            {".B " + x(257, 'a') + "\n", "<b>" + x(257, 'a') + "<br></b> "},
            {".B " + x(257, 'a') + "\"l\" l", "<b>" + x(257, 'a') + "l <a href=\"l.htm\">l</a>"},
            // A stretch of 257 bytes keeps its length: its word is all of it, no title.
            {".B l" + x(255, ' ') + "x\n", "<b>l" + x(255, ' ') + "x<br></b> "},
            {".B l" + x(254, ' ') + "\n", "<b><a href=\"l.htm\">l</a>" + x(254, ' ') + " </b> "},
            // After \fB a word is looked at through a window of 255 bytes: a byte inside it
            // makes the word no title, one beyond it does not.
            {"\\fBl" + x(253, ' ') + "x\n", "<b>l" + x(253, ' ') + "x "},
            {"\\fBl" + x(254, ' ') + "x\n", "<b><a href=\"l.htm\">l</a>" + x(254, ' ') + "x "},
        },
        pages);
}

TEST(ConvertText, StateDoesNotCarryToTheNextPage) {
    const std::string next = "one\n.SS two\nthree\n";
    ASSERT_EQ(convert(next), classic_page("T", "one \n<h2>two </h2>\n<blockquote>three </blockquote>"));
    for (const char* before : {".nf\n\\fBx \\fIy\n.B z", ".SH X", ".\\\" open", ".IR i"}) {
        ConverterState state;
        convert(before, alone(), 0, std::move(state));
        EXPECT_EQ(convert(next, alone(), 0, std::move(state)), convert(next)) << "after: " << before;
    }
}

TEST(ConvertText, MarkupFromTheSourceIsEscaped) {
    PageTable pages = table_of({
        {"a\"<&>'", "man1\\a.1"},
        {"q", "we\"ird&<x>\\q.1"},
        {"a<b", "man1\\ab.1"},
    });
    EXPECT_EQ(convert("", pages, 0), classic_page("a&quot;&lt;&amp;&gt;'", ""));
    EXPECT_EQ(convert(".B q\n.BR a<b\n", pages, 0),
              classic_page("a&quot;&lt;&amp;&gt;'",
                   "<b><a href=\"..\\we&quot;ird&amp;&lt;x&gt;\\q.htm\">q</a> </b> "
                   "<a href=\"ab.htm\">a&lt;b</a> "));
}

// Pages in several folders: duplicate titles, a page at the top, folders in two cases.
const PageTable& library() {
    static const PageTable pages = table_of({
        {"ls", "man1\\ls.1"},         // 0
        {"cp", "man1\\cp.1"},         // 1
        {"printf", "man3\\printf.3"}, // 2
        {"open", "man2\\open.2"},     // 3
        {"open", "man3\\open.3"},     // 4
        {"top", "top.1"},             // 5
        {"mv", "Man1\\mv.1"},         // 6
        {"CAT", "man1\\CAT.1"},       // 7
    });
    return pages;
}

TEST(ConvertText, LinksBetweenPages) {
    const struct {
        uint32_t index;
        std::string source, body;
    } cases[] = {
        {2, ".BR ls (1),\n", "<a href=\"..\\man1\\ls.htm\">ls</a> (1), "},
        {0, ".B top\n", "<b><a href=\"..\\top.htm\">top</a> </b> "},
        {1, ".B mv\n", "<b><a href=\"mv.htm\">mv</a> </b> "},
        {4, ".B open\n", "<b><a href=\"..\\man2\\open.htm\">open</a> </b> "},
        {3, ".B open\n", "<b>open </b> "},
        {0, ".B open\n", "<b><a href=\"..\\man2\\open.htm\">open</a> </b> "},
        {1, ".B ls -l\n", "<b>ls -l </b> "},
        {1, ".BR \"ls\" (1)\n", "ls (1) "},
        {2, ".BR ls \"cp mv\" cp\n",
         "<a href=\"..\\man1\\ls.htm\">ls</a> cp mv <a href=\"..\\man1\\cp.htm\">cp</a> "},
        {1, ".BR   ls (1)\n", "  <a href=\"ls.htm\">ls</a> (1) "},
        {1, ".BR ls \"unclosed <x>\n", "<a href=\"ls.htm\">ls</a> unclosed &lt;x&gt; "},
        {1, ".BR <ls> & ls\n", "&lt;ls&gt; & ls "},
        {1, "\\fBls          (1)\n", "<b><a href=\"ls.htm\">ls</a>          (1) "},
        {1, ".B ls  \"x\"\n", "<b><a href=\"ls.htm\">ls</a>  x </b> "},
        {1, ".B cat\n", "<b>cat </b> "},
        {1, ".B CAT\n", "<b><a href=\"CAT.htm\">CAT</a> </b> "},
        {1, ".B ls's\n", "<b><a href=\"ls.htm\">ls</a>'s </b> "},
        {1, ".B ls\n", "<b><a href=\"ls.htm\">ls</a> </b> "},
        {1, "\\fBls\\fR(1)\n", "<b>ls</b>(1) "},
        {1, "\\fBls (1)\\fR\n", "<b><a href=\"ls.htm\">ls</a> (1)</b> "},
        {1, "\\fI  printf(3)\\fP\n", "<i>  <a href=\"..\\man3\\printf.htm\">printf</a>(3)</i> "},
        {1, "\\fBls\n", "<b><a href=\"ls.htm\">ls</a> "},
        {1, ".SH \\fBls\n", "</blockquote>\n<h1><b><a href=\"ls.htm\">ls</a> </h1>\n<blockquote>"},
        {1, ".TH CP 1 \\fBls\n", "<b><a href=\"ls.htm\">ls</a> "},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(convert(c.source, library(), c.index), classic_page(library()[c.index].title, c.body))
            << "page " << c.index << ", source: " << c.source;
    }
}

// ---- convert_page on files ------------------------------------------------------------

// Pages read as text (a CR LF source gives the bytes of its LF twin) and written as text,
// each to the path its source path gives, making its folders.
TEST(ConvertPage, PagePathsAndTheirFolders) {
    TempDir dir;
    const std::string lf = ".TH LS 1\n.SH NAME\nls \\- list\n\n.B ls\n.nf\nx\n.fi\ntail";
    dir.write("in/a/b/c/ls.1", lf);
    dir.write("in/crlf/ls.1", crlf(lf));
    dir.write("in/man.1/ls", "y\n");
    dir.write("in/top.1m", "z\n");
    dir.write("in/a/b/c/ls.8", "later\n");
    dir.write("out/new/top.htm", "an older and longer page of the same name");
    PageTable pages = table_of({{"LS", "a\\b\\c\\ls.1"}, {"dotted", "man.1\\ls"}, {"top", "top.1m"},
                                {"ls8", "a\\b\\c\\ls.8"}, {"LS", "crlf\\ls.1"}});
    ConverterState state;
    for (uint32_t i = 0; i < pages.count; ++i) {
        EXPECT_TRUE(convert_page(pages, i, dir.path() + "/in\\", dir.path() + "/out/new\\", state));
    }
    const std::string ls = crlf(classic_page(
        "LS", " </blockquote>\n<h1>NAME </h1>\n<blockquote>ls \\- list <br><b>ls </b> <tt><br>x<br></tt> tail"));
    EXPECT_EQ(dir.read("out/new/a/b/c/ls.htm"), ls);
    EXPECT_EQ(dir.read("out/new/crlf/ls.htm"), ls);
    EXPECT_EQ(dir.read("out/new/a/b/c/ls.8.htm"), crlf(classic_page("ls8", "later ")));  // its own name
    EXPECT_EQ(dir.read("out/new/man.htm"), crlf(classic_page("dotted", "y ")));  // cut at the folder's '.'
    EXPECT_EQ(dir.read("out/new/top.htm"), crlf(classic_page("top", "z ")));
}

TEST(ConvertPage, FailuresAreReportedAndTheNextPageStillConverts) {
    TempDir dir;
    dir.write("in/blocked/b.1", "b\n");
    dir.write("in/ok/c.1", "c\n");
    dir.write("out/blocked", "a file where a folder must be");
    PageTable pages = table_of({{"a", "gone\\a.1"}, {"b", "blocked\\b.1"}, {"c", "ok\\c.1"}});
    ConverterState state;
    std::vector<bool> results;
    testing::internal::CaptureStderr();
    for (uint32_t i = 0; i < pages.count; ++i) {
        results.push_back(convert_page(pages, i, dir.path() + "/in\\", dir.path() + "/out\\", state));
    }
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(results, (std::vector<bool>{false, false, true}));
    EXPECT_EQ(err, "tolbrik: cannot read " + dir.path() + "/in/gone/a.1: No such file or directory\n"
                   "tolbrik: cannot create " + dir.path() + "/out/blocked/b.htm: Not a directory\n");
    EXPECT_EQ(dir.read("out/blocked"), "a file where a folder must be");
    EXPECT_EQ(dir.read("out/ok/c.htm"), crlf(classic_page("c", "c ")));
}

}  // namespace
