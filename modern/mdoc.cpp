// The mdoc(7) macro layer.
#include "modern/mdoc.h"

bool is_mdoc_macro(std::string_view) { return false; }

void render_mdoc(Roff& roff, HtmlWriter& html, TitleLine& title, bool first_section_only) {
    // Until mdoc is understood: rendered by the man(7) layer, which shows the text.
    render_man(roff, html, title, first_section_only);
}
