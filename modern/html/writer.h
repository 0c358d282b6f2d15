// The HTML writer of the modern converter: a page's document tree as HTML5, each node kind
// written from one row of a table (its element, its attributes, how it closes).
#pragma once

#include "modern/doc/document.h"
#include "platform/stream.h"

// Writes the tree of `doc` (the page's content, without the document's head) into `out`.
void write_html(const Document& doc, Sink& out);
