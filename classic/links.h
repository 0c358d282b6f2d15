// Cross-reference links: a word that is another page's title is written as a link to
// that page's HTML file, by a path relative to the current page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "model/page_table.h"
#include "platform/stream.h"

struct LinkContext {
    Sink& out;
    const PageTable& pages;
    uint32_t current;  // the page being converted: never a link target
};

constexpr uint32_t kNoPage = UINT32_MAX;

// The first page in table order whose title is exactly `word` (page kNoPage when there
// is none), and its HTML path.
TitleTarget find_target(const PageTable& pages, std::string_view word);
// Its page alone.
uint32_t find_title(const PageTable& pages, std::string_view word);

// Writes the blanks at the head of `text[0, length)` and, when the word after them is the
// title of another page, that word as a link. Returns how many bytes it wrote.
size_t emit_link(const LinkContext& context, const char* text, size_t length);

// How far a font request's argument has come, carried from one buffer to the next when
// its line runs on past the end of the line buffer.
struct ArgumentState {
    bool quoted = false;     // inside double quotes
    bool attempted = false;  // the unquoted stretch under way has had its link attempt
};

// Writes a font request's argument up to its line end (or zero byte), without its double
// quotes; each unquoted stretch gets one link attempt, on its first word. Returns the
// offset of the line end or zero byte, or `length` when neither came first: then
// `state` tells how the argument goes on in the next text.
size_t emit_argument(const LinkContext& context, const char* text, size_t length,
                     ArgumentState& state);

// Writes bytes with '<' and '>' as "&lt;" and "&gt;".
void write_text(Sink& out, const char* text, size_t length);
