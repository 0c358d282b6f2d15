// The page table: one record per recognised manual page, in file-list order. Every later
// stage knows a page by its index here; the run owns the table for its whole length.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct PageRecord {
    std::string title;                // from the page's title line, at most 127 bytes
    const char* source_path = nullptr;  // into the file list: relative to the input folder
    uint8_t section = 0;              // low 8 bits of the section number; not used for output
};

struct PageTable {
    // One record per candidate; the first `count` are in use.
    std::vector<PageRecord> records;
    uint32_t count = 0;

    // Each title to the first page in table order that has it, for the link lookup. A
    // table whose titles were never indexed is searched in order instead.
    std::unordered_map<std::string_view, uint32_t> first_by_title;

    const PageRecord& operator[](uint32_t index) const { return records[index]; }
};

// Fills `first_by_title` from the records in use; call it once the table is complete.
void index_titles(PageTable& pages);
