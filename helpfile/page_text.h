// What a help file takes from each HTML page it stores: the page as every viewer reads it
// alike, its title, and its words for the search.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "helpfile/code_page.h"

// The page with every character beyond ASCII written as a decimal character reference
// (— as &#8212;): viewers read a stored page in a code page of their own choosing,
// whatever it declares, and references the same in every one. The page's bytes are
// UTF-8, or with `upper` in the 8-bit code page whose bytes 0x80-0xFF it gives.
void ascii_page(std::string_view bytes, const uint16_t* upper, std::string& out);

// The name a help file stores a page under: its HTML path with '/' between folders, ':'
// as "=3a" (viewers take "::" for the start of a path inside another help file) and,
// for a path ending in ".htm", ".html" (a viewer that goes by the MIME database shows
// a ".htm" page as plain text).
std::string stored_page_name(std::string_view html_path);

// Links as the help file stores their targets: the href of every link of a page (or,
// with `sitemap`, the Local value of every entry) that stays in the tree (no scheme and
// "//", no "mailto:") leads to the stored name of its target, as stored_page_name
// spells it.
void retarget_links(std::string& html, bool sitemap);

// A page's search terms: each word once, with where it stands (title words counted first,
// the body's after them), its title words apart from its body words.
struct PageTerms {
    struct Term {
        uint32_t text_end;       // the term's bytes end here in `text`
        uint32_t locations_end;  // its locations end here in `locations`
        bool title;
    };
    std::string title;  // the page's title, in the code page
    std::string text;
    std::vector<Term> terms;  // sorted by their bytes, a body term before a title term
    std::vector<uint32_t> locations;
    uint32_t word_count = 0;
    uint32_t longest = 0;
    uint64_t word_bytes = 0;  // the length of all words found

    std::string_view term(size_t k) const {
        uint32_t start = k == 0 ? 0 : terms[k - 1].text_end;
        return std::string_view(text).substr(start, terms[k].text_end - start);
    }
};

// The title and terms of an HTML page whose bytes are in the code page (or ASCII, as
// ascii_page leaves them): its <title>, then the text of its <body>, without tags,
// comments, scripts and styles, references decoded, in the code page's lower case. A
// word is a run of letters, digits and '_', of at most 99 bytes (longer ones are left
// out).
void page_terms(std::string_view html, const CodePage& code_page, PageTerms& out);

constexpr size_t kLongestWord = 99;

// The hash that tables of terms find a term (its bytes, of a title or a body) by.
inline uint64_t term_hash(std::string_view word, bool title) {
    uint64_t h = title ? 0x9E3779B97F4A7C15u : 0xC2B2AE3D27D4EB4Fu;
    for (char c : word) h = (h ^ static_cast<unsigned char>(c)) * 0x100000001B3u;
    return h ^ (h >> 29);
}
