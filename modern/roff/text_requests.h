// The formatting requests that the man and mdoc layers and tables' text blocks share
// (.ft .br .nf .fi .sp): what each does to the fonts, the fill mode and the tree, once.
#pragma once

#include <string_view>

#include "modern/doc/builder.h"
#include "modern/roff/inline.h"

// .ft NAME: the font NAME names; "P" or none the previous one.
void request_ft(FontState& fonts, std::string_view name);
// .br: a line break in filled text that has text before it; whether one was made.
bool request_br(bool fill, DocumentBuilder& doc);
// .nf: lines are kept as they are; the paragraph under way ends.
void request_nf(bool& fill, DocumentBuilder& doc);
// .fi: lines are filled again; the example under way ends.
void request_fi(bool& fill, DocumentBuilder& doc);
// .sp: in filled text the paragraph ends (and with `ends_example`, an example standing
// where a paragraph would), in unfilled text an empty line.
void request_sp(bool fill, DocumentBuilder& doc, bool ends_example);
