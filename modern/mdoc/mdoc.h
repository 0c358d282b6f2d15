// The mdoc(7) macro layer of the modern converter: the semantic macros of BSD manual
// pages (.Dd .Dt .Sh .Nm .Xr .Bl .It .Fl .Ar ...), into the same document tree as man(7) pages.
#pragma once

#include <string_view>

#include "modern/doc/builder.h"
#include "modern/man/man.h"
#include "modern/roff/roff.h"

// Whether `name` is a macro or request this layer handles.
bool is_mdoc_macro(std::string_view name);

// Reads the mdoc page that `roff` reads into `doc`, as render_man does for man(7) pages:
// `title` gets what .Dt, .Dd and .Os say; with `first_section_only` it stops at the end of
// the NAME section, whose text ("name, name \(em description") alone the tree holds.
void render_mdoc(Roff& roff, DocumentBuilder& doc, TitleLine& title, bool first_section_only = false);
