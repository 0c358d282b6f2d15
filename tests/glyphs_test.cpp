// Special characters by name: rows of the table, the Unicode and Latin-1 forms, refusals.
#include "modern/glyphs.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

struct Case {
    const char* name;
    const char* text;  // nullptr: refused
};

TEST(Glyphs, NamesAppendTheirWholeTextAndRefusalsAppendNothing) {
    const Case cases[] = {
        // Rows: short and long names, a composed letter, a ligature, a spacing accent, a rule.
        {"em", "\u2014"}, {"*W", "\u03A9"}, {"bracketrightbt", "\u23A6"}, {"'e", "\u00E9"},
        {"Fi", "ffi"}, {"a\"", "\u02DD"}, {"!=", "\u2260"}, {"br", "|"}, {"ru", "_"},
        // No rows: a row's prefix, a row and more, the minus escape, nothing.
        {"bracket", nullptr}, {"emx", nullptr}, {"-", nullptr}, {"", nullptr},
        // Unicode: 4 to 6 digits, lower case, a base and its combining characters.
        {"u00E9", "\u00E9"}, {"u1F600", "\U0001F600"}, {"u10FFFF", "\U0010FFFF"},
        {"u00e9", "\u00E9"}, {"u0065_0301", "e\u0301"}, {"u0066_0066_0069", "ffi"},
        // Refused: a surrogate, past Unicode, too few or many digits, no hex, controls, a bad
        // part after a good one.
        {"uD800", nullptr}, {"u110000", nullptr}, {"uE9", nullptr}, {"u0000E90", nullptr},
        {"u00G9", nullptr}, {"u0000", nullptr}, {"u0085", nullptr}, {"u00E9_", nullptr},
        {"u00E9_DC00", nullptr},
        // Latin-1 codes in decimal.
        {"char233", "\u00E9"}, {"char65", "A"}, {"char065", nullptr}, {"char256", nullptr},
        {"char127", nullptr},
    };
    for (const Case& c : cases) {
        std::string out = "x";
        EXPECT_EQ(append_glyph(out, c.name), c.text != nullptr) << c.name;
        EXPECT_EQ(out, std::string("x") + (c.text ? c.text : "")) << c.name;
    }
}

// The list of roff's glyph names: a row out of order would hide rows from the search.
TEST(Glyphs, EveryListedNameResolves) {
    std::istringstream names(R"(
    oq cq aq hy ti ha ga -D Sd TP Tp ss ff fi fl Fi Fl /L /l /O /o AE ae OE oe IJ ij .i .j 'A 'C 'E
    'I 'O 'U 'Y 'a 'c 'e 'i 'o 'u 'y :A :E :I :O :U :Y :a :e :i :o :u :y ^A ^E ^I ^O ^U ^a ^e ^i ^o
    ^u `A `E `I `O `U `a `e `i `o `u ~A ~N ~O ~a ~n ~o vS vs vZ vz ,C ,c oA oa a" a- a. a^ aa ab ac
    ad ah ao a~ ho Bq bq lq rq dq Fo Fc fo fc r! r? em en lB rB lC rC la ra bv braceex
    bracketlefttp bracketleftbt bracketleftex bracketrighttp bracketrightbt bracketrightex lt
    bracelefttp lk braceleftmid lb braceleftbt braceleftex rt bracerighttp rk bracerightmid rb
    bracerightbt bracerightex parenlefttp parenleftbt parenleftex parenrighttp parenrightbt
    parenrightex <- -> <> da ua va lA rA hA dA uA vA an ba br ul rn ru bb sl rs radicalex ci bu dd
    dg lz sq ps sc lh rh at sh CR OK co rg tm Do ct eu Eu Ye Po Cs Fn de %0 fm sd mc Of Om AN OR no
    tno te fa st 3d tf or 12 14 34 18 38 58 78 S1 S2 S3 pl mi -+ +- t+- pc md mu tmu c* c+ di tdi
    f/ ** <= >= << >> eq != == ne =~ |= ap ~~ ~= pt es mo nm sb nb sp nc ib ip ca cu /_ pp is
    integral sum product coproduct gr sr sqrt sqrtex lc rc lf rf if Ah Im Re wp pd -h hbar *f +f *A
    *B *G *D *E *Z *Y *H *I *K *L *M *N *C *O *P *R *S *T *U *F *X *Q *W *a *b *g *d *e *z *y *h *i
    *k *l *m *n *c *o *p *r ts *s *t *u *x *q *w +h +p +e CL SP HE u2661 DI u2662)");
    for (std::string name; names >> name;) {
        std::string out;
        EXPECT_TRUE(append_glyph(out, name) && !out.empty()) << name;
    }
}

}  // namespace
