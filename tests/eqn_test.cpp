// Equations: eqn source in, the whole MathML out (and the reader's messages after it).
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <string_view>

#include "modern/eqn/eqn.h"

namespace {

struct Case {
    const char* what;
    std::string_view source;
    std::string_view mathml;
    EqnLimits limits = {};
};

// The MathML without the marks that only a viewer without MathML shows; or, `reading`,
// only the text such a viewer shows.
std::string render(const Case& c, bool reading) {
    Roff roff(std::string_view(), RoffHost{});
    Equations equations(roff, c.limits);
    std::string out = equations.render(c.source, false);
    for (const Roff::Message& m : roff.messages()) out += "\n" + m.text;
    return std::regex_replace(out, std::regex(reading ? "<[^>]*>" : "<mo class=\"linear\">[^<]*</mo>"), "");
}

TEST(RenderEquation, WritesEachConstructAsItsMathml) {
    const Case cases[] = {
        {"names (a function's upright), numbers, operators; a word in pieces, blanks as between words",
         "x+y=12.5 abc sin f(x,y) 2x",
         "<math><mrow><mi>x</mi> <mo>+</mo> <mi>y</mi> <mo>=</mo> <mn>12.5</mn></mrow> "
         "<mi mathvariant=\"italic\">abc</mi> <mi>sin</mi> <mrow><mi>f</mi> <mo>(</mo><mi>x</mi><mo>,</mo> <mi>y</mi>"
         "<mo>)</mo></mrow> <mrow><mn>2</mn> <mi>x</mi></mrow></math>"},
        {"the special names",
         "alpha GAMMA inf partial sum int prod union inter nothing cdot times approx grad del -> <- >= <= != == +- prime half",
         "<math><mi>\u03B1</mi> <mi mathvariant=\"normal\">\u0393</mi> <mi>\u221E</mi> <mi>\u2202</mi> "
         "<mo>\u2211</mo> <mo>\u222B</mo> <mo>\u220F</mo> <mo>\u222A</mo> <mo>\u2229</mo> <mo>\u22C5</mo> "
         "<mo>\u00D7</mo> <mo>\u2248</mo> <mo>\u2207</mo> <mo>\u2207</mo> <mo>\u2192</mo> <mo>\u2190</mo> "
         "<mo>\u2265</mo> <mo>\u2264</mo> <mo>\u2260</mo> <mo>\u2261</mo> <mo>\u00B1</mo> <mo>\u2032</mo> "
         "<mn>\u00BD</mn></math>"},
        {"from and to: below and above; on a word too", "sum from i=0 to n x lim from {n -> inf} y",
         "<math><munderover><mo>\u2211</mo><mrow><mrow><mi>i</mi> <mo>=</mo> <mn>0</mn></mrow></mrow><mrow><mi>n</mi></mrow></munderover> "
         "<mi>x</mi> <munder><mi>lim</mi><mrow><mrow><mi>n</mi> <mo>\u2192</mo> <mi>\u221E</mi></mrow></mrow></munder> <mi>y</mi>"
         "</math>"},
        {"sub and sup: both on one base, or grouped to the right", "x sub i sup 2 y sup 2 sub i z sub a sub b",
         "<math><msubsup><mi>x</mi><mrow><mi>i</mi></mrow><mrow><mn>2</mn></mrow></msubsup> <msup><mi>y</mi><mrow>"
         "<msub><mn>2</mn><mrow><mi>i</mi></mrow></msub></mrow></msup> <msub><mi>z</mi><mrow><msub><mi>a</mi><mrow>"
         "<mi>b</mi></mrow></msub></mrow></msub></math>"},
        {"over groups to the left, binding less than sqrt, which binds less than sup",
         "a over b over c sqrt {a + b} over 2 sqrt x sup 2",
         "<math><mfrac><mrow><mfrac><mi>a</mi><mrow><mi>b</mi></mrow></mfrac></mrow><mrow><mi>c</mi></mrow></mfrac> "
         "<mfrac><mrow><msqrt><mrow><mi>a</mi> <mo>+</mo> <mi>b</mi></mrow></msqrt></mrow><mrow><mn>2</mn></mrow>"
         "</mfrac> <msqrt><msup><mi>x</mi><mrow><mn>2</mn></mrow></msup></msqrt></math>"},
        {"matrix: columns lcol, ccol, rcol of rows parted by above; a short column's cells empty",
         "matrix { lcol { 1 above 22 } ccol { 3 } rcol { 4 above 5 } }",
         "<math><mtable columnalign=\"left center right\"><mtr><mtd><mn>1</mn></mtd> <mtd><mn>3</mn></mtd> <mtd>"
         "<mn>4</mn></mtd></mtr> <mtr><mtd><mn>22</mn></mtd> <mtd></mtd> <mtd><mn>5</mn></mtd></mtr></mtable></math>"},
        {"piles: lpile, pile, rpile", "lpile { a above b } pile { c above d } rpile { e }",
         "<math><mtable columnalign=\"left\"><mtr><mtd><mi>a</mi></mtd></mtr> <mtr><mtd><mi>b</mi></mtd></mtr>"
         "</mtable> <mtable><mtr><mtd><mi>c</mi></mtd></mtr> <mtr><mtd><mi>d</mi></mtd></mtr></mtable> "
         "<mtable columnalign=\"right\"><mtr><mtd><mi>e</mi></mtd></mtr></mtable></math>"},
        {"fonts: roman, italic, bold, fat, font; the innermost holds",
         "roman x italic abc bold 1 fat y font CW z italic { sin + x } bold italic w",
         "<math><mi mathvariant=\"normal\">x</mi> <mi mathvariant=\"italic\">abc</mi> "
         "<mn mathvariant=\"bold\">1</mn> <mi mathvariant=\"bold\">y</mi> <mi mathvariant=\"monospace\">z</mi> "
         "<mrow><mi mathvariant=\"italic\">sin</mi> <mo mathvariant=\"italic\">+</mo> <mi>x</mi></mrow> <mi>w</mi>"
         "</math>"},
        {"sizes, in points or more or less than the size in force", "size 12 x size +2 { y size -4 z } size 10 w",
         "<math><mstyle mathsize=\"120%\"><mi>x</mi></mstyle> <mstyle mathsize=\"120%\"><mrow><mi>y</mi> "
         "<mstyle mathsize=\"66%\"><mi>z</mi></mstyle></mrow></mstyle> <mi>w</mi></math>"},
        {"gsize and gfont for the whole equation", "gsize 12 gfont B x",
         "<math mathsize=\"120%\"><mi mathvariant=\"bold\">x</mi></math>"},
        {"define and ndefine: the name stands for the text; tdefine is dropped",
         "define sq 'sup 2' x sq ndefine t /y/ t tdefine u 'z' u",
         "<math><msup><mi>x</mi><mrow><mn>2</mn></mrow></msup> <mi>y</mi> <mi>u</mi></math>"},
        {"left and right delimiters: named, empty, or none",
         "left ( a over b right ) left floor x right ceiling left \"\" y right | left [ z",
         "<math><mrow><mo>(</mo><mfrac><mi>a</mi><mrow><mi>b</mi></mrow></mfrac><mo>)</mo></mrow> <mrow><mo>\u230A</mo><mi>x</mi>"
         "<mo>\u2309</mo></mrow> <mrow><mi>y</mi><mo>|</mo></mrow> <mrow><mo>[</mo><mi>z</mi></mrow></math>"},
        {"braces group; quoted text as it is; the spaces ~ and ^", "{a b} \"two  words\" ~ c ^ d",
         "<math><mrow><mi>a</mi> <mi>b</mi></mrow> <mtext>two  words</mtext> <mspace width=\"0.25em\"></mspace> "
         "<mi>c</mi> <mspace width=\"0.125em\"></mspace> <mi>d</mi></math>"},
        {"diacritics over and under a box", "x dot y dotdot z hat w tilde v vec u dyad t bar s under r utilde",
         "<math><mover accent=\"true\"><mi>x</mi><mo>\u02D9</mo></mover> <mover accent=\"true\"><mi>y</mi>"
         "<mo>\u00A8</mo></mover> <mover accent=\"true\"><mi>z</mi><mo>^</mo></mover> <mover accent=\"true\">"
         "<mi>w</mi><mo>~</mo></mover> <mover accent=\"true\"><mi>v</mi><mo>\u2192</mo></mover> "
         "<mover accent=\"true\"><mi>u</mi><mo>\u2194</mo></mover> <mover accent=\"true\"><mi>t</mi><mo>\u203E</mo>"
         "</mover> <munder accentunder=\"true\"><mi>s</mi><mo>_</mo></munder> <munder accentunder=\"true\">"
         "<mi>r</mi><mo>~</mo></munder></math>"},
        {"roff escapes are the characters they name", "\\(*a + \\(mu \\(*G",
         "<math><mi>\u03B1</mi> <mo>+</mo> <mo>\u00D7</mo> <mi mathvariant=\"normal\">\u0393</mi></math>"},
        {"undef, and what a page shows no differently: set, mark, lineup, motions",
         "define a 'b' undef a a set x y mark = lineup back 10 c fwd 2 up 1 down 1 d",
         "<math><mi>a</mi> <mo>=</mo> <mi>c</mi> <mi>d</mi></math>"},
        {"statements alone set no box", "delim $$ define x 'y'", ""},
        {"keywords that have nothing to act on", "sup 2 } above right ) x over", "<math><msup><mrow></mrow><mrow>"
         "<mn>2</mn></mrow></msup><mo>)</mo> <mfrac><mi>x</mi><mrow><mrow></mrow></mrow></mfrac></math>"},
        {"a definition that uses itself", "define a 'x a' a b",
         "<math><mi>x</mi> <mi>b</mi></math>\nequation: the definition of a uses itself: left out there"},
        {"groups nested too deep: the rest left out", "a {{{x}}} b",
         "<math><mi>a</mi></math>\nequation: groups nested more than 2 deep: the rest left out", {2}},
        {"definitions standing for too much: the rest left out", "define a 'b b' define b 'c c' a",
         "<math><mi>c</mi> <mi>c</mi></math>"
         "\nequation: definitions standing for more than 8 bytes: the rest left out",
         {64, 1 << 16, 8}},
        {"too many boxes: the rest left out", "a b c d e",
         "<math><mi>a</mi> <mi>b</mi> <mi>c</mi></math>"
         "\nequation: more than 4 boxes: the rest left out",
         {64, 1 << 16, 1 << 16, 4}},
        {"too much MathML: the rest left out", "a b c d e",
         "<math><mi>a</mi> <mi>b</mi> <mi>c</mi> <mi>d</mi></math>"
         "\nequation: more than 40 bytes of MathML: the rest left out",
         {64, 1 << 16, 1 << 16, 1 << 13, 40}},
    };
    for (const Case& c : cases) EXPECT_EQ(render(c, false), c.mathml) << c.what;
}

TEST(RenderEquation, ReadsAsATerminalWritesItWithoutMathml) {
    const Case cases[] = {
        {"scripts and limits after their marks, grouped ones in parentheses",
         "x sub i sup 2 + e sup {- t sup 2} sum from {i = 1} to n", "x_i^2 + e^(\u2212t^2) \u2211_(i = 1)^n"},
        {"fractions and roots", "{- b +- sqrt {b sup 2 - 4 a c}} over {2 a} a over b over c 1 over 2",
         "(\u2212b \u00B1 \u221A(b^2 \u2212 4 a c))/(2 a) (a/b)/c 1/2"},
        {"a pile in parentheses, a matrix row by row", "lpile {a above b} matrix {ccol {1 above 2} ccol {3 above 4}}", "(a b) (1 3) (2 4)"},
    };
    for (const Case& c : cases) EXPECT_EQ(render(c, true), c.mathml) << c.what;
}

}  // namespace
