// One page in the modern run: what identification learns of it (its kind, names and
// description) and its conversion into an HTML5 page.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "model/held_text.h"
#include "model/names.h"
#include "model/page_table.h"
#include "modern/roff/roff.h"

// The name test of the modern run: the classic one, or the classic one followed by ".gz".
bool passes_modern_name_test(std::string_view entry);

// Identification wants the NAME section, a line or a few; a page that makes more (with a
// loop) has its text cut here, at the end of a character.
constexpr size_t kNameTextLimit = 64 << 10;

// Looks at the entry `entry` (relative to `input_folder`): answers kIsPage with `info`
// filled, kNotPage (a candidate without a title line is named on standard output, as in
// the classic run), or another value when it could not be read (named on standard error).
// Given a store, a page's text is kept in it while it has room, and `held` views it.
uint8_t identify_manual(const std::string& input_folder, const char* entry, ManualInfo& info,
                        TextStore* store = nullptr, std::string_view* held = nullptr);

// The name and section of a page from its source path: "man3/printf.3.gz" gives printf
// and 3.
void name_and_section(std::string_view source_path, std::string& name, std::string& section);

// Splits the text of a NAME section, "a, b \- what they do", into its names and its
// description.
void parse_name_section(std::string_view text, ManualInfo& info);

// Where the stylesheet and the start page lie, seen from a page's HTML path.
std::string path_to_root(std::string_view html_path);

// What the reader of a man (or mdoc) page asks of its layer, with `include` for .so.
RoffHost page_host(bool mdoc, RoffHost::Include include = nullptr);

struct ConvertResult {
    bool written;   // the page's HTML file is there
    bool reported;  // something went wrong and was named on standard error (not a warning)
};

// Converts page `index` of `pages` into its HTML file under `output_folder`, each
// reference that `names` resolves made a link. What goes wrong (the page unreadable, an
// include refused, the page cut at a bound) is named on standard error. `made_folder`
// carries the folder made for the page before. A text that identification held (`held`
// with data) is not read again.
ConvertResult convert_manual(const PageTable& pages, const NameIndex& names, uint32_t index,
                             const std::string& input_folder, const std::string& output_folder,
                             std::string& made_folder, std::string_view held = {});

// The stylesheet every modern page uses, written to the output folder as "tolbrik.css".
extern const char kStylesheet[];
