// Tables: tbl source in, the whole HTML table out.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "modern/tbl/tbl.h"
#include "test_support.h"

namespace {

// The table that follows the .TS line of `source`, as HTML, then "+" and each line the
// table left unread.
std::string render(std::string_view source) {
    Roff roff(source, RoffHost{});
    RoffLine line;
    roff.next(line);
    std::string html = testing_support::render_html([&](DocumentBuilder& writer) {
        FontState fonts;
        render_table(roff, writer, fonts);
    });
    while (roff.next(line)) html += "+" + (line.is_call ? "." + line.name : std::string(line.text));
    return html;
}

TEST(RenderTable, WritesCellsSpansAndRules) {
    const testing_support::RenderCase cases[] = {
        {"s spans the cell to its left; r and n align right", ".TS\ntab(:);\nc s s\nl r n.\nHead\na:b:1.5\n.TE\n",
         "<table><tr><td class=\"c\" colspan=\"3\">Head</td>\n</tr>\n"
         "<tr><td>a</td>\n<td class=\"r\">b</td>\n<td class=\"n\">1.5</td>\n</tr>\n</table>\n"},
        {"^ in the layout spans down, dropping its data", ".TS\nl l\n^ l.\ntop\tx\ngone\ty\ngone\tz\n.TE\n",
         "<table><tr><td class=\"vm\" rowspan=\"3\">top</td>\n<td>x</td>\n</tr>\n"
         "<tr><td>y</td>\n</tr>\n"
         "<tr><td>z</td>\n</tr>\n</table>\n"},
        {"\\^ in the data spans down", ".TS\nl l.\na\tb\n\\^\tc\n.TE\n",
         "<table><tr><td class=\"vm\" rowspan=\"2\">a</td>\n<td>b</td>\n</tr>\n"
         "<tr><td>c</td>\n</tr>\n</table>\n"},
        {"_ and = rows rule the next or the last row; \\_ rules a cell", ".TS\nl l.\na\tb\n_\nc\t\\_\n=\n.TE\n",
         "<table><tr><td>a</td>\n<td>b</td>\n</tr>\n"
         "<tr class=\"rt rb2\"><td>c</td>\n<td class=\"hi\"></td>\n</tr>\n</table>\n"},
        {"a layout row of lines alone takes no data line", ".TS\nl l\n_\nl l.\na\tb\nc\td\n.TE\n",
         "<table><tr><td>a</td>\n<td>b</td>\n</tr>\n"
         "<tr class=\"rt\"><td>c</td>\n<td>d</td>\n</tr>\n</table>\n"},
        {"T{ T}: filled text with font macros and breaks", ".TS\nl l.\nT{\nfirst\n.B bold\n.br\nlast\nT}\tafter\n.TE\n",
         "<table><tr><td>first <b>bold</b><br>\nlast</td>\n<td>after</td>\n</tr>\n</table>\n"},
        {"options end at a ';' outside their arguments; the layout may follow", ".TS\ntab(;) center; l l.\na;b\n.TE\n",
         "<table class=\"center\"><tr><td>a</td>\n<td>b</td>\n</tr>\n</table>\n"},
        {"tab() parts the fields; allbox", ".TS\ntab(:) allbox;\nl l.\na:b\tc\n.TE\n",
         "<table class=\"all\" border=\"1\"><tr><td>a</td>\n<td>b\tc</td>\n</tr>\n</table>\n"},
        {".T& brings a new layout; narrow rows are filled", ".TS\nl l l.\na\tb\tc\n.T&\nc s\nl.\nwide\nd\n.TE\n",
         "<table><tr><td>a</td>\n<td>b</td>\n<td>c</td>\n</tr>\n"
         "<tr><td class=\"c\" colspan=\"2\">wide</td>\n<td></td>\n</tr>\n"
         "<tr><td>d</td>\n<td></td>\n<td></td>\n</tr>\n</table>\n"},
        {"a layout row narrower than the table takes fields into plain cells", ".TS\nc\nl l.\na\tb\n.TE\n",
         "<table><tr><td class=\"c\">a</td>\n<td>b</td>\n</tr>\n</table>\n"},
        {".T& ends a text block left open", ".TS\nl l.\na\tT{\nin\n.T&\nc s.\nb\n.TE\n",
         "<table><tr><td>a</td>\n<td>in</td>\n</tr>\n<tr><td class=\"c\" colspan=\"2\">b</td>\n</tr>\n</table>\n"},
        {"missing fields are empty, extra ones dropped", ".TS\nl l l.\na\nb\tc\td\te\n.TE\n",
         "<table><tr><td>a</td>\n<td></td>\n<td></td>\n</tr>\n"
         "<tr><td>b</td>\n<td>c</td>\n<td>d</td>\n</tr>\n</table>\n"},
        {"no layout: every line is a row of cells", ".TS\nnot a layout.\nx\ty\n.TE\n",
         "<table><tr><td>not a layout.</td>\n<td></td>\n</tr>\n"
         "<tr><td>x</td>\n<td>y</td>\n</tr>\n</table>\n"},
        {"a text block ends with the table", ".TS\nl.\nT{\na\n.TE\nafter\n",
         "<table><tr><td>a</td>\n</tr>\n</table>\n+after"},
        {"without .TE the table ends with the page", ".TS\nl.\na\n",
         "<table><tr><td>a</td>\n</tr>\n</table>\n"},
        {"n lines numbers up at their decimal points", ".TS\nn.\n1.5\n10\n100.25\nx\n.TE\n",
         "<table><tr><td class=\"n\">1.5\u2007</td>\n</tr>\n"
         "<tr><td class=\"n\">10\u2008\u2007\u2007</td>\n</tr>\n"
         "<tr><td class=\"n\">100.25</td>\n</tr>\n"
         "<tr><td class=\"n\">x</td>\n</tr>\n</table>\n"},
        {"b and f fonts (after a size without its number), escapes over them", ".TS\nlpb lfI lf(BI lf[CB].\na\t\\fRb\\fP\tc\td\n.TE\n",
         "<table><tr><td><b>a</b></td>\n<td>b</td>\n<td><b><i>c</i></b></td>\n<td><code><b>d</b></code></td>\n"
         "</tr>\n</table>\n"},
        {"f(name) and two-letter f fonts", ".TS\ncf(CW) lfCW lfB.\na\tb\tc\n.TE\n",
         "<table><tr><td class=\"c\"><code>a</code></td>\n<td><code>b</code></td>\n<td><b>c</b></td>\n</tr>\n</table>\n"},
        {"^ on the first row and s first span nothing; a span of a line takes a field", ".TS\n^ _ s l\ns l.\na\tb\tc\td\ne\tf\n.TE\n",
         "<table><tr><td></td>\n<td class=\"h\" colspan=\"2\"></td>\n<td>d</td>\n</tr>\n"
         "<tr><td></td>\n<td>e</td>\n<td>f</td>\n<td></td>\n</tr>\n</table>\n"},
        {"a mark with blanks is text: \"= \", \"\\^ \", \"_ \"", ".TS\nl l.\na\t= \n\\^ \t_ \n.TE\n",
         "<table><tr><td>a</td>\n<td>= </td>\n</tr>\n<tr><td> </td>\n<td>_ </td>\n</tr>\n</table>\n"},
        {"| and || rules; w width", ".TS\n|l|| lw(10i)|.\na\tb\n.TE\n",
         "<table><tr><td class=\"rl rr2\">a</td>\n<td class=\"rr\" style=\"width:100ch\">b</td>\n</tr>\n</table>\n"},
        {".sp and .ft between rows", ".TS\nl.\na\n.sp\n.ft B\nb\n.TE\n",
         "<table><tr><td>a</td>\n</tr>\n"
         "<tr class=\"sp\"><td><b>b</b></td>\n</tr>\n</table>\n"},
    };
    testing_support::expect_rendered(cases, render);
}

}  // namespace
