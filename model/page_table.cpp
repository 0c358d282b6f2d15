#include "model/page_table.h"

#include <cstring>
#include <unordered_map>

#include "model/folded_set.h"
#include "model/letters.h"
#include "model/paths.h"

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

// An entry: its page, the lengths of its title and HTML path, then their bytes.
constexpr size_t kEntryHead = 3 * sizeof(uint32_t);

uint32_t head_field(const char* entry, int field) {
    uint32_t value;
    std::memcpy(&value, entry + field * sizeof(uint32_t), sizeof value);
    return value;
}

const char* entry_of(const TitleIndex& index, uint64_t slot) {
    return index.entries.data() + (static_cast<uint32_t>(slot & 0xFFFFFFFFu) - 1);
}

std::string_view title_of(const char* entry) {
    return std::string_view(entry + kEntryHead, head_field(entry, 1));
}

// The slot that holds `title`, or the free slot where the probe for it ends.
size_t probe(const TitleIndex& index, std::string_view title, uint32_t hash) {
    const size_t mask = index.slots.size() - 1;
    for (size_t s = hash & mask;; s = (s + 1) & mask) {
        uint64_t slot = index.slots[s];
        if (slot == 0) return s;
        if (slot >> 32 == hash && title_of(entry_of(index, slot)) == title) return s;
    }
}

void put_field(std::string& entries, size_t value) {
    uint32_t field = static_cast<uint32_t>(value);
    entries.append(reinterpret_cast<const char*>(&field), sizeof field);
}

}  // namespace

void assign_html_paths(PageTable& pages, const std::vector<std::string>& reserved) {
    FoldedSet taken(pages.count + reserved.size());
    for (const std::string& path : reserved) taken.add(path);
    // Takes `path` when no page has it yet.
    auto take = [&taken](const std::string& path) {
        bool added = false;
        taken.add(path, &added);
        return added;
    };
    for (uint32_t i = 0; i < pages.count; ++i) {
        PageRecord& record = pages.records[i];
        if (i < pages.manuals.size() && pages.manuals[i].kind == PageKind::alias) continue;
        std::string_view source = record.source_path;
        if (source.size() > 3 && source.substr(source.size() - 3) == ".gz") source.remove_suffix(3);
        std::string path = html_path(source);
        if (!take(path)) {
            std::string stem(source);
            path = stem + ".htm";
            for (unsigned number = 2; !take(path); ++number) {
                path = stem + std::to_string(number) + ".htm";
            }
        }
        record.html_path = std::move(path);
    }
}

std::vector<uint32_t> resolve_aliases(PageTable& pages) {
    auto without_gz = [](std::string_view path) {
        if (path.size() > 3 && path.substr(path.size() - 3) == ".gz") path.remove_suffix(3);
        return path;
    };
    std::unordered_map<std::string_view, uint32_t> by_path;
    for (uint32_t i = 0; i < pages.count; ++i) by_path.emplace(without_gz(pages.records[i].source_path), i);
    std::vector<uint32_t> missing;
    for (uint32_t i = 0; i < pages.count; ++i) {
        ManualInfo& info = pages.manuals[i];
        if (info.kind != PageKind::alias) continue;
        uint32_t page = i;
        // An alias of an alias leads on, a few steps at most.
        for (int step = 0; step < 8 && page != UINT32_MAX && pages.manuals[page].kind == PageKind::alias; ++step) {
            uint32_t next = UINT32_MAX;
            for (const std::string& candidate :
                 include_candidates(pages.records[page].source_path, pages.manuals[page].alias_target)) {
                auto found = by_path.find(without_gz(candidate));
                if (found != by_path.end() && found->second != page) {
                    next = found->second;
                    break;
                }
            }
            page = next;
        }
        if (page == UINT32_MAX || pages.manuals[page].kind == PageKind::alias) {
            missing.push_back(i);
        } else {
            info.alias_of = page;
        }
    }
    return missing;
}

void index_titles(PageTable& pages) {
    TitleIndex& index = pages.titles;
    size_t size = 16;
    while (size < 2 * static_cast<size_t>(pages.count)) size *= 2;
    index.slots.assign(size, 0);
    // About 16 bits per title: a word that is no title passes the filter 1 time in 16.
    index.filter.assign(size / 8, 0);
    const size_t filter_mask = size * 8 - 1;
    // Room for an entry per page, reserved at once: growing by steps would hold the old
    // and the new copy at the same time.
    size_t room = 0;
    for (uint32_t i = 0; i < pages.count; ++i) {
        const PageRecord& record = pages.records[i];
        room += kEntryHead + record.title.size() + record.html_path.size();
    }
    index.entries.clear();
    index.entries.reserve(room);
    index.longest = 0;
    index.blank_in_title = false;
    for (uint32_t i = 0; i < pages.count; ++i) {
        const PageRecord& record = pages.records[i];
        const std::string& title = record.title;
        if (title.size() > index.longest) index.longest = title.size();
        if (title.find(' ') != std::string::npos) index.blank_in_title = true;
        uint32_t hash = title_hash(title);
        index.filter[(hash & filter_mask) >> 6] |= uint64_t{1} << (hash & 63);
        // The first page of a title keeps its slot: later pages with the same title are
        // never link targets.
        uint64_t& slot = index.slots[probe(index, title, hash)];
        if (slot != 0) continue;
        std::string_view path = record.html_path;
        size_t offset = index.entries.size();
        if (offset + kEntryHead + title.size() + path.size() >= UINT32_MAX) {
            // Beyond what a slot can point at: the table is searched in order instead,
            // which gives the same answers.
            index = TitleIndex{};
            return;
        }
        put_field(index.entries, i);
        put_field(index.entries, title.size());
        put_field(index.entries, path.size());
        index.entries += title;
        index.entries += path;
        slot = uint64_t{hash} << 32 | (offset + 1u);
    }
}

TitleTarget indexed_target(const PageTable& pages, std::string_view word) {
    const TitleIndex& index = pages.titles;
    // Cheap refusals first: most words handed over are option names and running text.
    if (word.size() > index.longest) return {};
    if (!index.blank_in_title && word.find(' ') != std::string_view::npos) return {};
    uint32_t hash = title_hash(word);
    const size_t filter_mask = index.filter.size() * 64 - 1;
    if ((index.filter[(hash & filter_mask) >> 6] >> (hash & 63) & 1) == 0) return {};
    uint64_t slot = index.slots[probe(index, word, hash)];
    if (slot == 0) return {};
    const char* entry = entry_of(index, slot);
    return {head_field(entry, 0),
            std::string_view(entry + kEntryHead + head_field(entry, 1), head_field(entry, 2))};
}
