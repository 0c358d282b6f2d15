// Tables (tbl): the lines from .TS to .TE of a page, as one HTML table with its cells,
// spans, alignment and rules.
#pragma once

#include "modern/html/html.h"
#include "modern/roff/inline.h"
#include "modern/roff/roff.h"

// Reads the table that follows a .TS line from `roff`, up to and including its .TE, and
// writes it into `html` where the caller stands (the caller has ended any paragraph).
// Cell text is written in the fonts its escapes name, starting from `fonts`.
void render_table(Roff& roff, HtmlWriter& html, FontState& fonts);
