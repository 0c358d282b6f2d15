// The internal files of a help file that its viewers read besides the pages: the system
// file (title, default topic, language, the contents and index files), the window, the
// topics with their titles and addresses, and the string pool they share.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "helpfile/code_page.h"

// Strings the other files point into: each NUL-terminated, none across a 4 KiB boundary
// (readers fetch the pool in blocks of that size), each stored once; offset 0 is "".
class StringPool {
public:
    StringPool() : bytes_(1, '\0') {}
    uint32_t add(std::string_view text);
    const std::string& bytes() const { return bytes_; }

private:
    std::string bytes_;
    std::map<std::string, uint32_t, std::less<>> offsets_;
};

// What the system file and the window say of the help file; texts in its code page.
struct HelpFacts {
    const HelpLanguage* language = nullptr;
    std::string title;
    std::string default_topic;  // "index.htm": a stored name without its leading '/'
    std::string contents;       // "tolbrik.hhc"
    std::string index;          // "tolbrik.hhk"
    std::string stem;           // "tolbrik", of "tolbrik.chm"
    int64_t time = 0;           // seconds since 1970
};

// A page of the help file as the search lists it.
struct Topic {
    std::string title;  // in the code page; empty for none
    std::string local;  // its stored name without the leading '/'
};

std::string system_file(const HelpFacts& facts, const std::string& index_header);
std::string windows_file(const HelpFacts& facts, StringPool& strings);
std::string index_header(uint32_t topic_count);

// The topic table, the address table and the address strings of `topics`.
struct TopicFiles {
    std::string topics, urltbl, urlstr;
};
TopicFiles topic_files(const std::vector<Topic>& topics, StringPool& strings);

// The search engine's saved state, as the Windows viewer expects it whenever there is a
// full-text index (the same bytes for every language).
std::string search_object();
