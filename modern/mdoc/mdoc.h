// The mdoc(7) macro layer of the modern converter: the semantic macros of BSD manual
// pages (.Dd .Dt .Sh .Nm .Xr .Bl .It .Fl .Ar ...), into the same HTML as man(7) pages.
#pragma once

#include <string_view>

#include "modern/html/html.h"
#include "modern/man/man.h"
#include "modern/roff/roff.h"

// Whether `name` is a macro or request this layer handles.
bool is_mdoc_macro(std::string_view name);

// Renders the mdoc page that `roff` reads into `html`, as render_man does for man(7)
// pages: `title` gets what .Dt, .Dd and .Os say; with `first_section_only` it stops at the
// end of the NAME section, whose text ("name, name \(em description") `html` captures.
void render_mdoc(Roff& roff, HtmlWriter& html, TitleLine& title, bool first_section_only = false);
