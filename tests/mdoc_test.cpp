// mdoc pages: mdoc source in, the whole HTML body out.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "modern/mdoc/mdoc.h"
#include "test_support.h"

namespace {

using testing_support::render_manual;
using testing_support::RenderCase;

TEST(RenderMdoc, WritesEachRuleAsItsHtml) {
    const RenderCase cases[] = {
        {"the prologue: a header, and a footer with the date written out",
         ".Dd $Mdocdate: May 3 2021 $\n.Dt LS 1\n.Os BSD\n",
         "<header><div><span class=\"left\">LS(1)</span> <span class=\"center\">General Commands Manual</span> "
         "<span class=\"right\">LS(1)</span></div></header>\n"
         "<footer><div><span class=\"left\">BSD</span> <span class=\"center\">May 3, 2021</span> "
         "<span class=\"right\">LS(1)</span></div></footer>\n"},
        {"delimiters: opening ones stick to what follows, closing ones to what precedes, | apart",
         ".Fl a , b ( c ) | d .\n", "<main><p><b>-a</b>, <b>-b</b> (<b>-c</b>) | <b>-d</b>.</p>\n</main>\n"},
        {"a closing delimiter beginning a macro line stays apart from the line before",
         "any\n.Cm ?\n", "<main><p>any ?</p>\n</main>\n"},
        {"Ns joins, also across the end of its line",
         ".Ar name Ns = Ns Ar value\n.Ar a Ns\n.Ar b\n", "<main><p><i>name</i>=<i>value ab</i></p>\n</main>\n"},
        {"Op encloses the macros it calls; closing delimiters at the end go after it",
         ".Op Fl o Ar file Op Fl q .\n", "<main><p>[<b>-o</b> <i>file</i> [<b>-q</b>]].</p>\n</main>\n"},
        {"Sm off joins the words of macro lines; the first after it keeps its blank",
         "x\n.Sm off\n.Fl o Ar a\n.Op = Ar b\n.Sm on\n.Ar c\n",
         "<main><p>x <b>-o</b><i>a</i>[=<i>b</i>] <i>c</i></p>\n</main>\n"},
        {"Xr: the text name(section) that a reference scanner links", ".Xr ls 1 ,\n",
         "<main><p><b>ls</b>(1),</p>\n</main>\n"},
        {"Nm repeats the first name; Nd follows a dash",
         ".Sh NAME\n.Nm foo ,\n.Nm bar\n.Nd do it\n.Sh DESCRIPTION\n.Nm\nruns.\n",
         "<main><h2 id=\"NAME\"><a class=\"self\" href=\"#NAME\"></a>NAME</h2>\n<div class=\"sect\"><p><b>foo</b>, <b>bar</b> \u2014 do it</p>\n</div>\n"
         "<h2 id=\"DESCRIPTION\"><a class=\"self\" href=\"#DESCRIPTION\"></a>DESCRIPTION</h2>\n<div class=\"sect\"><p><b>foo</b> runs.</p>\n</div>\n</main>\n"},
        {"SYNOPSIS: a command's lines, a type above its function, Fo with its Fa",
         ".Sh SYNOPSIS\n.Nm ls\n.Op Fl a\n.Ft int\n.Fn f \"int a\" \"char *b\"\n.Fo g\n.Fa x\n.Fa y\n.Fc\n",
         "<main><h2 id=\"SYNOPSIS\"><a class=\"self\" href=\"#SYNOPSIS\"></a>SYNOPSIS</h2>\n<div class=\"sect\"><div class=\"sy\"><p><b>ls</b> [<b>-a</b>]</p>\n"
         "</div>\n<p><i>int</i><br>\n<b>f</b>(<i>int a</i>, <i>char *b</i>);</p>\n"
         "<p><b>g</b>(<i>x</i>, <i>y</i>);</p>\n</div>\n</main>\n"},
        {"a function outside the SYNOPSIS ends without a semicolon", ".Fo g\n.Fa x\n.Fc\n",
         "<main><p><b>g</b>(<i>x</i>)</p>\n</main>\n"},
        {"nested lists of two kinds, text after the inner one in the outer item",
         ".Bl -tag -width Ds\n.It Fl v\n.Bl -bullet -compact\n.It\none\n.El\nafter\n.El\n",
         "<main><dl><dt><b>-v</b></dt>\n<dd><ul><li><p>one</p>\n</li>\n</ul>\n<p>after</p>\n</dd>\n</dl>\n</main>\n"},
        {"Xo extends an item's head over lines up to Xc",
         ".Bl -tag\n.It Xo\n.Fl a\n.Ar b\n.Xc\nbody\n.El\n",
         "<main><dl><dt><b>-a</b> <i>b</i></dt>\n<dd><p>body</p>\n</dd>\n</dl>\n</main>\n"},
        {"a column list is a table, Ta parting the cells (none before the first It); -offset indents it",
         ".Bl -column -offset indent x y\n.Ta\n.It a Ta Sy b\n.El\n",
         "<main><blockquote class=\"rs\"><table><tr><td>a</td>\n<td><b>b</b></td>\n</tr>\n</table>\n</blockquote>\n</main>\n"},
        {"Bd -literal keeps lines and blanks, macro lines included",
         ".Bd -literal -offset indent\n  a  b\n.Fl x\n\nc\n.Ed\nafter\n",
         "<main><blockquote class=\"rs\"><pre>\n  a  b\n<b>-x</b>\n\nc\n</pre>\n</blockquote>\n<p>after</p>\n</main>\n"},
        {"an equation block in the text; after delim, equations inside a text line",
         ".EQ\ndelim $$\n.EN\nThus\n.EQ\n- 1\n.EN\nand $x bar$ too.\n",
         "<main><p>Thus <math display=\"block\"><mo>\u2212</mo><mn>1</mn></math> and <math><mover accent=\"true\">"
         "<mi>x</mi><mo>\u203E</mo></mover></math> too.</p>\n</main>\n"},
        {"Dl lines in a row make one display, which another macro ends", ".Dl a b\n.Dl c\n.Sy d\n",
         "<main><blockquote class=\"rs\"><pre>\na b\nc</pre>\n</blockquote>\n<p><b>d</b></p>\n</main>\n"},
        {"a reference: authors together, fields in citation order, a full stop at the end",
         ".Rs\n.%T Title\n.%A A\n.%D 2006\n.%A B\n.Re\n", "<main><p>A and B, <i>Title</i>, 2006.</p>\n</main>\n"},
        {"a reference in SEE ALSO is a paragraph of its own", ".Sh SEE ALSO\nx\n.Rs\n.%T T\n.Re\ny\n",
         "<main><h2 id=\"SEE_ALSO\"><a class=\"self\" href=\"#SEE_ALSO\"></a>SEE ALSO</h2>\n<div class=\"sect\"><p>x</p>\n<p><i>T</i>.</p>\n<p>y</p>\n</div>\n</main>\n"},
        {"authors each on a line of their own in AUTHORS; -nosplit keeps them together",
         ".Sh AUTHORS\n.An A\n.An B\n.An -nosplit\n.An C\n.An D\n",
         "<main><h2 id=\"AUTHORS\"><a class=\"self\" href=\"#AUTHORS\"></a>AUTHORS</h2>\n<div class=\"sect\"><p>A<br>\nB C D</p>\n</div>\n</main>\n"},
        {"At names a version", ".At v7 .\n", "<main><p>Version 7 AT&amp;T UNIX.</p>\n</main>\n"},
        {"Mt links each address, a delimiter among them is plain", ".Mt a@b.org ,\n",
         "<main><p><a href=\"mailto:a@b.org\">a@b.org</a>,</p>\n</main>\n"},
        {".nf keeps lines and blanks until .fi", ".Sh A\n.nf\na  b\nc\n.fi\nd\ne\n",
         "<main><h2 id=\"A\"><a class=\"self\" href=\"#A\"></a>A</h2>\n<div class=\"sect\"><pre>\na  b\nc\n</pre>\n<p>d e</p>\n</div>\n</main>\n"},
        {".tr translates characters and glyphs, a pair at a time, once", ".tr ab\\[em]cbd\nbanana \\(em\n",
         "<main><p>dbnbnb c</p>\n</main>\n"},
        {"a title line after the text or a second one says nothing; a date that is no date stays as it is",
         ".Dd 2021-05-3x\n.Dt T 1\n.Dl a\n.Dt U 2\n.Sy b\n",
         "<header><div><span class=\"left\">T(1)</span> <span class=\"center\">General Commands Manual</span> <span "
         "class=\"right\">T(1)</span></div></header>\n<main><blockquote class=\"rs\"><pre>\na</pre>\n</blockquote>\n<p><b>b</b></p>\n</main>\n"
         "<footer><div><span class=\"left\"></span> <span class=\"center\">2021-05-3x</span> <span class=\"right\">T(1)</span>"
         "</div></footer>\n4: warning: a title line after the text or after another title line, left out: .Dt U 2\n"},
        {"a column list's cells: a tab parts them as Ta does, an enclosure ends with its cell, \\*q is no quote",
         ".Bl -column a b\n.It a\tQq b Ta \"c \\*q d\"\n.El\n",
         "<main><table><tr><td>a</td>\n<td>\"b\"</td>\n<td>c \" d</td>\n</tr>\n</table>\n</main>\n"},
        {"a quoted delimiter in an enclosure is its text; a delimiter ends a function's arguments; | leads; an "
         "empty Eo joins nothing",
         ".Dq \":\"\n.Fn a , Fn b\n.Ar | x\nc\n.Eo\n.Ec\nd\n",
         "<main><p>\u201C:\u201D <b>a</b>(), <b>b</b>() | <i>x</i> c d</p>\n</main>\n"},
        {"arguments of a macro that takes none, and an unknown standard, are left out with a warning",
         "a\n.Pp drop\nb\n.St -none .\n",
         "<main><p>a</p>\n<p>b.</p>\n</main>\n2: warning: arguments of a macro that takes none there, left out: .Pp drop\n"
         "4: warning: an unknown standard, left out: .St -none\n"},
        {"the words after It in a list of bullets, dashes, numbers or plain items are left out",
         ".Bl -bullet\n.It head\nbody\n.El\n",
         "<main><ul><li><p>body</p>\n</li>\n</ul>\n</main>\n"
         "2: warning: arguments of a macro that takes none there, left out: .It head\n"},
        {"It and Ta outside a list (a column list) are left out with their line, the lines after them kept",
         "a\n.It b\nc\n.Ta d\ne\n",
         "<main><p>a c e</p>\n</main>\n2: warning: an item outside a list, left out: .It b\n"
         "4: warning: a cell outside a column list, left out: .Ta d\n"},
        {"an unknown macro keeps its words, macros among them called; warned once", ".Zz a Ar b\n.Zz c\n",
         "<main><p>a <i>b</i> c</p>\n</main>\n1: warning: unknown macro .Zz: its words kept as text\n"},
        {"a macro that may not be called from another is a word there", ".Ar file Sh x\n",
         "<main><p><i>file Sh x</i></p>\n</main>\n"},
    };
    testing_support::expect_rendered(cases, [](std::string_view source) { return render_manual(source, true); });
}

TEST(RenderMdoc, GivesIdentificationTheNamesAndDescription) {
    std::string name;
    render_manual(".Dd x\n.Dt A 1\n.Sh NAME\n.Nm a ,\n.Nm b\n.Nd \\(lqdo\\(rq it\n.Sh SYNOPSIS\n.Nm a\n", true, &name);
    EXPECT_EQ(name, "a, b \u2014 \u201Cdo\u201D it ");
}

}  // namespace
