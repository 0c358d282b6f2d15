// Paths between pages: the HTML path of a page, the relative path from one page to
// another, and the escaping of a text placed inside an attribute value.
#pragma once

#include <string>
#include <string_view>

// The source path with everything from its last '.' on replaced by ".htm" (man1\ls.1
// becomes man1\ls.htm). A path without a '.' gets ".htm" appended.
std::string html_path(std::string_view source_path);

// The backslash path that leads from the folder holding `from` to `to`; both are
// relative to the same folder. Folder names match without regard to ASCII letter case.
std::string relative_path(std::string_view from, std::string_view to);

// The text with '&', '<', '>' and '"' written as entities, for an attribute value or
// the page title.
std::string escape_attribute(std::string_view text);
