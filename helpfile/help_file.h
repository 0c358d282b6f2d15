// The compiled help file, made from what a run has written: its pages, stylesheet,
// contents and index, read back from the output folder, with the search index, topic
// tables and window that viewers need, compressed on every core.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "helpfile/code_page.h"

struct HelpFileInput {
    std::string folder;               // the output folder, ending in a backslash
    std::vector<std::string> pages;   // the HTML paths of the topics, in the order stored
    std::vector<std::string> files;   // other files stored as they are ("tolbrik.css")
    std::string contents, index;      // the sitemaps' names, "" where there is none
    std::string default_topic;        // one of `pages`
    std::string title;                // UTF-8
    const HelpLanguage* language = nullptr;
    const uint16_t* page_code_page = nullptr;  // pages in this 8-bit code page, else UTF-8
    int64_t time = 0;                 // seconds since 1970, for the fields that hold a time
    unsigned jobs = 1;
};

// Writes the help file `name` into the folder. Returns false, having said why on standard
// error, when a file could not be read or the help file not written, or when it would
// pass a limit of the format (then nothing is written).
bool write_help_file(const HelpFileInput& input, const std::string& name);

// The time a help file records: SOURCE_DATE_EPOCH when it is set to a number of seconds,
// else the time the newest of these files was changed, so that the same tree gives the
// same help file.
int64_t help_file_time(const std::vector<std::string>& sources, unsigned jobs);

// The largest help file readers open: every offset in it must stay below 2 GiB.
constexpr uint64_t kHelpFileLimit = (uint64_t{1} << 31) - 1;
// The longest stored name a reader looks up.
constexpr size_t kStoredNameLimit = 500;
