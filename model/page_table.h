// The page table: one record per recognised manual page, in file-list order. Every later
// stage knows a page by its index here; the run owns the table for its whole length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct PageRecord {
    std::string title;                  // from the page's title line, at most 127 bytes
    const char* source_path = nullptr;  // into the file list: relative to the input folder
    // Where its HTML file lies, relative to the output folder: unique in the table, letter
    // case aside (see assign_html_paths).
    std::string html_path;
};

// Each title to the first page in table order that has it, for the link lookup. Open
// addressing over a power of two of slots, so that a word that is no title costs one
// probe: a slot holds the title's hash in its high 32 bits and where its entry lies in
// its low 32 bits, 0 when it is free.
struct TitleIndex {
    std::vector<uint64_t> slots;
    // One bit per hash value (modulo its size), set for every title: most words asked for
    // are no title, and this small table, which stays in the processor's cache, turns
    // them away without touching the slots.
    std::vector<uint64_t> filter;
    // What a link needs of each title's first page, its page number, title and HTML
    // path, side by side, so that a link costs one visit here rather than one to the
    // page record and another to the file list. A slot's low 32 bits are the offset of
    // its entry + 1.
    std::string entries;
    size_t longest = 0;         // a longer word is no title
    bool blank_in_title = false;  // when false, a word holding a blank is no title
};

// What the modern run learns of a page besides its record.
enum class PageKind : uint8_t { man, mdoc, alias };

struct ManualInfo {
    PageKind kind = PageKind::man;
    std::string name;                // the file name without its section and ".gz": printf
    std::string section;             // what follows its last '.': 3, 3p, 1ssl
    std::vector<std::string> names;  // the names its NAME section gives
    std::string description;         // the rest of its NAME section: one line
    std::string alias_target;        // an alias: the page its .so line names, as written
    uint32_t alias_of = UINT32_MAX;  // an alias: that page, once found in the table
    // The section as its title line spells it where that is the same but for letter case
    // (3X for a file's 3x), else empty: for display, as the page itself shows it.
    std::string title_section{};
};

// A page's section as the page shows it.
inline const std::string& shown_section(const ManualInfo& info) {
    return info.title_section.empty() ? info.section : info.title_section;
}

struct PageTable {
    // One record per page, in table order; `count` of them.
    std::vector<PageRecord> records;
    uint32_t count = 0;
    // The modern run's knowledge of each record in use; empty in the classic run.
    std::vector<ManualInfo> manuals;

    // Filled by index_titles. A table whose titles were never indexed is searched in
    // order instead.
    TitleIndex titles;

    const PageRecord& operator[](uint32_t index) const { return records[index]; }
};

// Gives every record in use its HTML path, in table order: the source path (a final ".gz"
// aside) with everything from its last '.' on replaced by ".htm", unless a page before it
// (or one of `reserved`) has that path already, letters compared without regard to case;
// then the source path with ".htm" appended, and should that be taken too, with a number
// before ".htm" (2, 3, ...). So no page overwrites another, on any file system or in a
// help file. An alias (which has no file) gets none.
void assign_html_paths(PageTable& pages, const std::vector<std::string>& reserved = {});

// Finds the page each alias names (following an alias that names another alias) and
// sets its alias_of. Returns the aliases whose page the table does not hold.
std::vector<uint32_t> resolve_aliases(PageTable& pages);

// Fills the title index from the records in use; call it once the table is complete and
// its HTML paths are assigned.
void index_titles(PageTable& pages);

// The length of the longest title: a longer word is no title. Without the index, no
// bound is known.
inline size_t longest_title(const PageTable& pages) {
    return pages.titles.slots.empty() ? SIZE_MAX : pages.titles.longest;
}

// The page a title leads to, with the HTML path a link leads to.
struct TitleTarget {
    uint32_t page = UINT32_MAX;  // UINT32_MAX when no page has the title
    std::string_view html_path;
};

// Through the index: the first page in table order whose title is exactly `word`.
TitleTarget indexed_target(const PageTable& pages, std::string_view word);
