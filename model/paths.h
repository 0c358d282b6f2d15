// Paths between pages: the HTML path of a page, the relative path from one page to
// another, and the escaping of a text placed inside an attribute value.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The source path with everything from its last '.' on replaced by ".htm" (man1\ls.1
// becomes man1\ls.htm). A path without a '.' gets ".htm" appended.
std::string html_path(std::string_view source_path);

// The backslash path that leads from the folder holding `from` to `to`; both are
// relative to the same folder. Folder names match without regard to ASCII letter case.
std::string relative_path(std::string_view from, std::string_view to);

// The href of a link from the HTML file `from` to `to` (both HTML paths relative to the
// output folder): the relative path with '/' between folders, the bytes a URL gives a
// meaning of its own ('%', '#', '?', blanks) escaped, and "./" before a first folder or
// name that holds a ':', which would read as a scheme.
std::string relative_href(std::string_view from, std::string_view to);

// Where a ".so" line of the page at `source_path` may lead, as paths relative to the
// input folder, in the order they are tried: from the folder above the page's (where a
// tree of man1, man2 ... keeps "man3/printf.3"), from the input folder, from the page's
// own folder. A way that leads out of the input folder is left out; none is left for an
// absolute path. Backslashes separate the folders of the results.
std::vector<std::string> include_candidates(std::string_view source_path, std::string_view target);

// The language that a folder's name gives ("pl" for "pl", "pl_PL", "pl_PL.ISO8859-2",
// "pl@euro": two small letters, maybe a country after '_', maybe a code set after '.' or
// a modifier after '@'), or "" when it names none.
std::string_view language_code(std::string_view folder);

// The language folder a page lies in ("ru", "pt_BR", "de.ISO8859-1"), or "" when its
// first folder names no language (see language_code).
std::string_view language_folder(std::string_view source_path);

// The text with '&', '<', '>' and '"' written as entities, for an attribute value or
// the page title.
std::string escape_attribute(std::string_view text);
