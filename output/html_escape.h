// Text into HTML for every writer: markup characters as entities, and what a page may not
// hold (control characters, noncharacters, broken UTF-8) left out or replaced.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/stream.h"

// Appends `text` to `out` with & < > (and " when `attribute`) as entities, leaving out
// what an HTML page may not hold: control characters and noncharacters.
void append_escaped(std::string& out, std::string_view text, bool attribute = false);
// The same, into a sink.
void put_escaped(Sink& out, std::string_view text, bool attribute = false);

// Appends `text` as plain text: what a page may not hold is left out as append_escaped
// leaves it out, and line ends and tabs become blanks.
void append_plain(std::string& out, std::string_view text);
