// A page's text for the modern converter: read whole, gunzipped when its name ends in
// ".gz", and decoded to UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The most a page may hold, compressed or not: a larger one is refused, not read.
constexpr size_t kPageLimit = 64u << 20;

// Reads the file at `path` (the tool's backslash spelling) into `text` as UTF-8;
// `source_path` (relative to the input folder) names the folders whose names may give
// its code page. Returns false with the reason in `error`.
bool read_page_text(const std::string& path, std::string_view source_path, std::string& text,
                    std::string& error);

// Whether `name` ends in ".gz".
bool is_compressed(std::string_view name);
