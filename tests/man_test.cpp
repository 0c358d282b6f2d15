// man pages: man source in, the whole HTML body out, one case per rule.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "test_support.h"

namespace {

TEST(RenderMan, WritesEachRuleAsItsHtml) {
    const testing_support::RenderCase cases[] = {
        {"the title line: a header and a footer", ".TH LS 1 2024-01-02 GNU \"User Commands\"\n",
         "<header><div><span class=\"left\">LS(1)</span> <span class=\"center\">User Commands</span> "
         "<span class=\"right\">LS(1)</span></div></header>\n<footer><div><span class=\"left\">GNU</span> "
         "<span class=\"center\">2024-01-02</span> <span class=\"right\">LS(1)</span></div></footer>\n"},
        {"headings and paragraphs", ".SH NAME\nls \\- list\n.SS Sub\nA\n.PP\nB\n",
         "<main><h2 id=\"NAME\"><a class=\"self\" href=\"#NAME\"></a>NAME</h2>\n<div class=\"sect\"><p>ls - list</p>\n<h3 id=\"Sub\"><a class=\"self\" href=\"#Sub\"></a>Sub</h3>\n<p>A</p>\n<p>B</p>\n</div>\n</main>\n"},
        {"tagged items, a blank .IP continuing one", ".TP\n.B \\-a\nall\n.IP \"\" 4\nmore\n.TP\nx\ny\n",
         "<main><dl><dt><b>-a</b></dt>\n<dd><p>all</p>\n</dd>\n<dd><p>more</p>\n</dd>\n<dt>x</dt>\n<dd><p>y</p>\n</dd>\n</dl>\n</main>\n"},
        {".IP with a tag and without one", ".IP x 2\none\n.IP\ntwo\n",
         "<main><dl><dt>x</dt>\n<dd><p>one</p>\n</dd>\n<dd><p>two</p>\n</dd>\n</dl>\n</main>\n"},
        {".IP runs of bullets, dashes and numbers 1., 2. are lists; another number is a tag",
         ".IP \\(bu 2\na\n.IP\nb\n.IP \\- 2\nc\n.IP 1. 4\nd\n.IP 2.\ne\n.IP 4.\nf\n",
         "<main><ul><li><p>a</p>\n<p>b</p>\n</li>\n</ul>\n<ul style=\"list-style-type: '-  '\">"
         "<li><p>c</p>\n</li>\n</ul>\n<ol><li><p>d</p>\n</li>\n<li><p>e</p>\n</li>\n</ol>\n"
         "<dl><dt>4.</dt>\n<dd><p>f</p>\n</dd>\n</dl>\n</main>\n"},
        {".RS indents up to .RE", "a\n.RS 4\nb\n.RE\nc\n",
         "<main><p>a</p>\n<blockquote class=\"rs\"><p>b</p>\n</blockquote>\n<p>c</p>\n</main>\n"},
        {".nf keeps lines and blanks until .fi or a heading; .EX likewise",
         ".nf\na  b\n.B c\n.fi\nc\n.EX\nd\n.EE\n.nf\n.SH E\ne\nf\n",
         "<main><pre>\na  b\n<b>c</b>\n</pre>\n<p>c</p>\n<pre>\nd\n</pre>\n<h2 id=\"E\"><a class=\"self\" href=\"#E\"></a>E</h2>\n<div class=\"sect\"><p>e f</p>\n</div>\n</main>\n"},
        {"font macros alternate; escapes switch", ".BR ls (1),\n.IB a b\n\\fBx\\fIy\\fPz\\fR w\n",
         "<main><p><b>ls</b>(1), <i>a</i><b>b</b> <b>x</b><i>y</i><b>z</b> w</p>\n</main>\n"},
        {".UR links its text; .MT mails", ".UR https://x.org\nsite\n.UE .\n.MT a@b.org\n.ME\n",
         "<main><p><a href=\"https://x.org\">site</a>. <a href=\"mailto:a@b.org\">a@b.org</a></p>\n</main>\n"},
        {"a page's own fallback for .UR leaves the link as it is", ".de UR\nx \\\\$1\n..\n.UR https://x.org\nsite\n.UE\n",
         "<main><p><a href=\"https://x.org\">site</a></p>\n</main>\n"},
        {"an indent or a table inside no-fill text ends its block of lines, which goes on after",
         ".nf\na\n.RS\nb\n.RE\nc\n.TS\nl.\nx\n.TE\nd\n",
         "<main><pre>\na\n</pre>\n<blockquote class=\"rs\"><pre>\nb\n</pre>\n</blockquote>\n<pre>\nc\n</pre>\n"
         "<table><tr><td>x</td>\n</tr>\n</table>\n<pre>\nd\n</pre>\n</main>\n"},
        {".rn renames a macro, .als gives it one more name", ".de a\nx\n..\n.rn a b\n.als c b\n.a\n.b\n.c\n",
         "<main><p>x x</p>\n</main>\n"},
        {"a loop's body is interpolated anew each round", ".nr i 3\n.while \\n[i] \\{\\\n\\n[i]\n.nr i -1\n.\\}\n",
         "<main><p>3 2 1</p>\n</main>\n"},
        {".continue starts the next round of a loop, .break ends it",
         ".nr i 0\n.while 1 \\{\\\n.nr i +1\n.if \\n[i]=2 .continue\n.if \\n[i]>3 .break\n\\n[i]\n.\\}\n",
         "<main><p>1 3</p>\n</main>\n"},
        {"a loop's condition is read again each round", ".nr i 0\n.while \\n[i]<3 \\{\\\n.nr i +1\n\\n[i]\n.\\}\n"
         ".ds x a\n.while !'\\*x'aaa' .as x a\n\\*x\n", "<main><p>1 2 3 aaa</p>\n</main>\n"},
        {"a block opened and closed on the line of a condition not taken ends there",
         ".if t \\{.ft B \\}\na\n.ie t \\{\\\n.ft I \\}\nb\n.el \\{.ft R \\}\nc\n",
         "<main><p>a b c</p>\n</main>\n"},
        {"a request named by a string; .el with a block right after its name",
         ".ds x B\n.\\*x bold\n.ie 0 a\n.el\\{c\n.\\}\n",
         "<main><p><b>bold</b> c</p>\n</main>\n"},
        {"conditions: numbers, glyphs, colours, strings", ".if 0+1 a\n.if 0 b\n.if c\\(em c\n.if mred d\n.if cx e\n.if 'x'x' f\n.if 'x'y' g\n",
         "<main><p>a c e f</p>\n</main>\n"},
        {".MR: a page's name in italics, its section, what follows joined", "see\n.MR ls 1 ,\n.MR cat 1\n",
         "<main><p>see <i>ls</i>(1), <i>cat</i>(1)</p>\n</main>\n"},
        {".OP: an option in brackets", ".OP -f file\n", "<main><p>[<b>-f</b> <i>file</i>]</p>\n</main>\n"},
        {"a backslash before the last byte value", "a\\\xFF" "b\n", "<main><p>a\xEF\xBF\xBD" "b</p>\n</main>\n"},
        {"registers: the least and the most of two, basic units; no argument outside a macro",
         ".nr x 5<?3\n.nr y 2>?7\n.nr z 3u\n\\nx \\ny \\nz a\\$1b\n", "<main><p>3 7 3 ab</p>\n</main>\n"},
        {"\\s changes the size, by one digit or two (1 to 3 first)", "a\\s12b\\s0c\\s-2d\\s40e\n",
         "<main><p>abcd0e</p>\n</main>\n"},
        {"\\~ and \\  are no-break spaces, \\N a character by its code; an odd run of backslashes at "
         "the end joins the next line", "a\\~b\\ c\\N'65'\nx\\\\\\\ny\n",
         "<main><p>a\xC2\xA0" "b\xC2\xA0" "cA x\\y</p>\n</main>\n"},
        {"a definition whose end name never comes ends at its first ..; .dei of no string defines nothing",
         ".de xx\tcomment\nin\n..\n.xx\n.dei no\nkept\n..\nend\n",
         "<main><p>in kept end</p>\n</main>\n3: warning: .de xx: no .comment ends it; ended at ..\n"},
        {"a runaway expansion is left out and the page goes on", ".de a\n.a\n..\n.a\n.ds s y\\\\*s\nb\\*sc\n",
         "<main><p>bc</p>\n</main>\n4: macros called more than 64 deep: the calls left out\n"
         "6: strings interpolated more than 64 deep: the string left out\n"},
        {"unknown macros keep their words, warned once; a request the reader does not do is dropped",
         ".XX one\n.XX two\n.tm three\n",
         "<main><p>one two</p>\n</main>\n1: warning: unknown macro .XX: its words kept as text\n"},
        {"the Plan 9 manual's literals and links", ".L \"a b\"\n.LR c d\n.RL e f\n.LB g h\n.HR https://x.org x .\n",
         "<main><p><code>a b</code> <code>c</code>d e<code>f</code> <code>g</code><b>h</b> <a href=\"https://x.org\">x</a>.</p>\n</main>\n"},
        {"in a call's arguments \\\\ is one backslash", ".B one\\\\fItwo\\\\fP\n.B a\\\\\\\\b\n",
         "<main><p><b>one</b><i>two</i> <b>a\\b</b></p>\n</main>\n"},
        {"escapes delimited by any character or escape; \\w counts what is printed", "a\\w'ab'b \\w\\&ab\\&c \\w|\\fBx\\fP\\(em| \\B|1+2| \\N|65|\\v|1|z\n",
         "<main><p>a48b 48c 48 1 Az</p>\n</main>\n"},
        {"registers: the predefined read only, 32 bits, signs before parentheses, units", ".nr .g 0\n.nr x 2000000000\n.nr y -(4)\n.nr z (1i+1m\n\\n(.g \\nx \\ny \\nz\n",
         "<main><p>1 2000000000 -4 264</p>\n</main>\n"},
        {"names built of escapes; an empty string is defined", ".ds nm reg\n.nr \\*[nm] 5\n.ds in nm\n\\n[\\*[nm]] \\*[\\*[in]]\n.ds e\n.if d e yes\n",
         "<main><p>5 reg yes</p>\n</main>\n"},
        {"undefined special characters print nothing; .char defines one; \\E; \\! goes on as text", "a\\[+]b\\[1]c\n.char \\[myc] XY\n.char z Q\n\\[myc] z \\EfBd\\EfR e\\!f\n.de M\n\\E$1\n..\n.M g\n",
         "<main><p>abc XY Q <b>d</b> ef g</p>\n</main>\n"},
        {".am of the layer's macro: the layer's first, then what was appended", ".am SH\n.B \\\\$1\n..\n.SH X\ntext\n",
         "<main><h2 id=\"X\"><a class=\"self\" href=\"#X\"></a>X</h2>\n<div class=\"sect\"><p><b>X</b> text</p>\n</div>\n</main>\n"},
        {".br breaks, .sp starts a paragraph", "a\n.br\nb\n.sp\nc\n",
         "<main><p>a<br>\nb</p>\n<p>c</p>\n</main>\n"},
        {"an equation block in the text; after delim, equations inside a text line",
         ".EQ\ndelim $$\n.EN\nThe square\n.EQ\nx sup 2\n.EN\nis $n over 2$, not $n$.\n",
         "<main><p>The square <math display=\"block\"><msup><mi>x</mi><mrow><mo class=\"linear\">^</mo><mn>2</mn></mrow>"
         "</msup></math> is <math><mfrac><mi>n</mi><mrow><mo class=\"linear\">/</mo><mn>2</mn></mrow></mfrac></math>, not "
         "<math><mi>n</mi></math>.</p>\n</main>\n"},
    };
    testing_support::expect_rendered(cases, [](std::string_view source) {
        return testing_support::render_manual(source, false);
    });
}

}  // namespace
