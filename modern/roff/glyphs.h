// The special characters of roff by name, as UTF-8: the whole list of glyph names, the
// Unicode forms and the old compatibility names.
#pragma once
#include <string>
#include <string_view>

// Appends the UTF-8 text of the special character `name` to `out` and returns true; returns
// false (appending nothing) when the name is unknown.
bool append_glyph(std::string& out, std::string_view name);
