// Tables (tbl): the lines from .TS to .TE of a page, as one table of the document tree
// with its cells, spans, alignment and rules.
#pragma once

#include "modern/doc/builder.h"
#include "modern/roff/inline.h"
#include "modern/roff/roff.h"

// Reads the table that follows a .TS line from `roff`, up to and including its .TE, and
// puts it into `doc` where the caller stands (the caller has ended any paragraph).
// Cell text is written in the fonts its escapes name, starting from `fonts`.
void render_table(Roff& roff, DocumentBuilder& doc, FontState& fonts);
