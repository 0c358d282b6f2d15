#include "driver/page_table.h"

namespace {

uint32_t title_hash(std::string_view text) {
    // FNV-1a: titles are short, and it needs no table of its own.
    uint32_t hash = 2166136261u;
    for (char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    return hash;
}

uint32_t page_of(uint64_t slot) { return static_cast<uint32_t>(slot & 0xFFFFFFFFu) - 1; }

// The slot that holds `title`, or the free slot where the probe for it ends.
size_t probe(const PageTable& pages, std::string_view title, uint32_t hash) {
    const std::vector<uint64_t>& slots = pages.titles.slots;
    const size_t mask = slots.size() - 1;
    for (size_t s = hash & mask;; s = (s + 1) & mask) {
        uint64_t slot = slots[s];
        if (slot == 0) return s;
        if (slot >> 32 == hash && pages.records[page_of(slot)].title == title) return s;
    }
}

}  // namespace

void index_titles(PageTable& pages) {
    TitleIndex& index = pages.titles;
    size_t size = 16;
    while (size < 2 * static_cast<size_t>(pages.count)) size *= 2;
    index.slots.assign(size, 0);
    // About 16 bits per title: a word that is no title passes the filter 1 time in 16.
    index.filter.assign(size / 8, 0);
    const size_t filter_mask = size * 8 - 1;
    index.longest = 0;
    index.blank_in_title = false;
    for (uint32_t i = 0; i < pages.count; ++i) {
        const std::string& title = pages.records[i].title;
        if (title.size() > index.longest) index.longest = title.size();
        if (title.find(' ') != std::string::npos) index.blank_in_title = true;
        uint32_t hash = title_hash(title);
        index.filter[(hash & filter_mask) >> 6] |= uint64_t{1} << (hash & 63);
        // The first page of a title keeps its slot: later pages with the same title are
        // never link targets.
        uint64_t& slot = index.slots[probe(pages, title, hash)];
        if (slot == 0) slot = uint64_t{hash} << 32 | (i + 1u);
    }
}

uint32_t indexed_title(const PageTable& pages, std::string_view word) {
    const TitleIndex& index = pages.titles;
    // Cheap refusals first: most words handed over are option names and running text.
    if (word.size() > index.longest) return UINT32_MAX;
    if (!index.blank_in_title && word.find(' ') != std::string_view::npos) return UINT32_MAX;
    uint32_t hash = title_hash(word);
    const size_t filter_mask = index.filter.size() * 64 - 1;
    if ((index.filter[(hash & filter_mask) >> 6] >> (hash & 63) & 1) == 0) return UINT32_MAX;
    uint64_t slot = index.slots[probe(pages, word, hash)];
    return slot == 0 ? UINT32_MAX : page_of(slot);
}
