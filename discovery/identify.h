// Page identification: is a file-list entry a manual page, and if so, its title from the
// title line (".TH title section ...").
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "model/held_text.h"

enum : uint8_t {
    kIsPage = 0,
    kNotPage = 100,  // the name test failed, or no title line was found
    // any other answer: the file could not be opened (the error number's low 8 bits)
};

constexpr size_t kIdentifyWindow = 260;  // decides where the pieces of a long line start
constexpr size_t kTitleLimit = 127;      // the longest title kept

// Looks at the entry `entry` (relative to `input_folder`, which ends in a backslash).
// On kIsPage, `title` holds the page's title. A candidate
// without a title line is named on standard output; one that cannot be opened is named
// on standard error, with the reason, and answered with the error number. Given a store,
// a page read whole is kept in it while it has room, and `held` views it (as the
// converter reads it: line ends as LF, nothing from a Ctrl-Z on).
uint8_t identify_page(const std::string& input_folder, const char* entry, std::string& title,
                      TextStore* store = nullptr, std::string_view* held = nullptr);

// The message for a candidate without a title line, code page 866, without its argument.
extern const char kNoTitleMessage[];
