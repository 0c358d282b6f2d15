// Page conversion: one manual page into one HTML page. Lines beginning with a dot go
// through the request table, other text through the character writer; a word that is
// another page's title becomes a link to that page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "model/page_table.h"
#include "platform/stream.h"

// The line buffer's size shapes the output: a longer line is taken in pieces, and a '.'
// at the head of a piece starts a request.
constexpr size_t kLineBuffer = 260;

// What the converter knows while it works through a page. Every field starts at zero
// with each page, except the last one, which convert_page keeps from page to page.
struct ConverterState {
    // Runs that may span many lines.
    bool no_fill = false;        // .nf until .fi or a heading: every line end writes "<br>"
    bool inline_bold = false;    // a \fB run is open
    bool inline_italic = false;  // a \fI run is open
    // The line being scanned; its line end clears them.
    bool title_line = false;     // .TH: ordinary bytes are held back
    bool comment = false;        // .\" : the line end closes the HTML comment
    bool section_heading = false;
    bool subsection_heading = false;
    bool item_heading = false;
    bool bold_line = false;      // .B or .BI
    uint8_t italic_line = 0;     // 1 for .I or .BI, 2 for .IR (which ends with a break)
    // Blockquotes open beyond the current section's own one; -1 between a .SH request and
    // its line end. A signed byte.
    int8_t nesting = 0;

    // The output folder of the page written last, made sure of then: the next page in the
    // same folder does not ask the system for it again.
    std::string made_folder;
};

// Converts the text of page `index` from `source` into `out`: head, body and tail.
void convert_text(Source& source, Sink& out, const PageTable& pages, uint32_t index,
                  ConverterState& state);

// Converts page `index`: reads the input folder's source path, writes the output folder's
// HTML path, creating the folders on the way; a text that identification held (`held`
// with data) is not read again. A file that cannot be read, created or written is
// reported on standard error; then the result is false.
bool convert_page(const PageTable& pages, uint32_t index, const std::string& input_folder,
                  const std::string& output_folder, ConverterState& state, std::string_view held = {});

// Closes what no-fill mode and the inline fonts hold open.
void close_fonts(Sink& out, ConverterState& state);
