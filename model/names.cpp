// The names the modern run knows its pages by.
#include "model/names.h"

#include <algorithm>

#include "model/letters.h"

namespace {

// How near the page at `to` lies to the page at `from` (source paths): twice the number of
// leading folders they share, letter case aside, and one more when they lie in one folder.
uint32_t nearness(std::string_view from, std::string_view to) {
    size_t i = 0;
    uint32_t shared = 0;
    for (; i < from.size() && i < to.size() && lower_case(from[i]) == lower_case(to[i]); ++i) {
        shared += from[i] == '\\';
    }
    bool one_folder = from.find('\\', i) == std::string_view::npos && to.find('\\', i) == std::string_view::npos;
    return 2 * shared + one_folder;
}

void add(NameIndex& index, std::string_view name, uint32_t page, std::string_view section, bool file_name) {
    if (name.empty()) return;
    uint32_t number = index.names.add(name);
    uint32_t entry = static_cast<uint32_t>(index.entries.size());
    if (number == index.first.size()) {
        index.first.push_back(entry);
    } else {
        // The chain is walked to its end, where the new entry goes unless it is there.
        for (uint32_t e = index.first[number];; e = index.entries[e].next) {
            NameIndex::Entry& known = index.entries[e];
            if (known.page == page && known.section == section) {
                known.file_name = known.file_name || file_name;
                return;
            }
            if (known.next == UINT32_MAX) {
                known.next = entry;
                break;
            }
        }
    }
    index.entries.push_back({page, section, file_name, UINT32_MAX});
}

}  // namespace

void index_names(const PageTable& pages, NameIndex& index) {
    index = NameIndex{};
    index.names = FoldedSet(2 * size_t{pages.count});
    index.entries.reserve(2 * size_t{pages.count});
    for (uint32_t i = 0; i < pages.count; ++i) {
        const ManualInfo& info = pages.manuals[i];
        if (info.kind == PageKind::alias) {
            if (info.alias_of != UINT32_MAX) add(index, info.name, info.alias_of, info.section, true);
            continue;
        }
        add(index, info.name, i, info.section, true);
        for (const std::string& name : info.names) add(index, name, i, info.section, false);
    }
}

uint32_t find_reference(const PageTable& pages, const NameIndex& index, uint32_t current,
                        std::string_view name, std::string_view section) {
    if (section.empty()) return UINT32_MAX;
    const ManualInfo& own = pages.manuals[current];
    if (same_letters(section, own.section)) {
        if (same_letters(name, own.name)) return UINT32_MAX;
        for (const std::string& n : own.names) {
            if (same_letters(name, n)) return UINT32_MAX;
        }
    }
    uint32_t number = index.names.find(name);
    if (number == UINT32_MAX) return UINT32_MAX;
    const std::string_view from = pages[current].source_path;
    // Ranked: whole section (bit 56), file name (bit 55), nearness (bits 32-54, the nearer
    // the lower), table order; the lowest rank wins.
    constexpr uint32_t kFarthest = (1u << 23) - 1;
    uint32_t best = UINT32_MAX;
    uint64_t best_rank = UINT64_MAX;
    for (uint32_t e = index.first[number]; e != UINT32_MAX; e = index.entries[e].next) {
        const NameIndex::Entry& entry = index.entries[e];
        if (entry.page == current || entry.section.empty() || entry.section[0] != section[0]) continue;
        uint32_t far = kFarthest - std::min(nearness(from, pages[entry.page].source_path), kFarthest);
        uint64_t rank = uint64_t{!same_letters(entry.section, section)} << 56 | uint64_t{!entry.file_name} << 55 |
                        uint64_t{far} << 32 | entry.page;
        if (rank < best_rank) {
            best_rank = rank;
            best = entry.page;
        }
    }
    return best;
}
