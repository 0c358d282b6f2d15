// The man(7) macro layer of the modern converter: the title line, headings, paragraphs,
// lists, indents, examples, fonts and links of a manual page, into its document tree.
#pragma once

#include <string>
#include <string_view>

#include "modern/doc/builder.h"
#include "modern/roff/roff.h"

// What the title line (.TH) says of a page.
struct TitleLine {
    std::string title, section, date, source, manual;
    bool seen = false;
};

// Whether `name` is a macro or request this layer handles; whether it is one of those
// the layer keeps when a page defines its own (the links of groff's man).
bool is_man_macro(std::string_view name);
bool man_keeps_own(std::string_view name);

// Reads the page that `roff` reads into `doc`: the header when the title line comes,
// then the body. With `first_section_only`, it stops at the end of the first section
// (the NAME section), the tree holds only that section's text, and `title` tells only
// whether a title line came.
void render_man(Roff& roff, DocumentBuilder& doc, TitleLine& title, bool first_section_only = false);

// The header a title line gives: title(section), the manual, title(section); and the
// footer: the source, the date, title(section). Each put where the builder stands.
void write_header(DocumentBuilder& doc, const TitleLine& title);
void write_footer(DocumentBuilder& doc, const TitleLine& title);

// The volume a section's pages belong to, as a header names it when the page does not.
std::string_view volume_name(std::string_view section);
