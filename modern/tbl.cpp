// Tables (tbl).
#include "modern/tbl.h"

void render_table(Roff& roff, HtmlWriter& html, FontState& fonts) {
    // Until tables are understood: their lines as they are, up to the .TE.
    RoffLine line;
    html.open("pre");
    while (roff.next(line)) {
        if (line.is_call && line.name == "TE") break;
        if (!line.is_call) {
            write_inline(roff, html, fonts, line.text);
            html.text(fonts.current, "\n");
        }
    }
    html.close();
}
