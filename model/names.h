// The names the modern run knows its pages by, for links: each page's file name, the
// names its NAME section gives, and the names of the aliases that lead to it, each with
// the section it comes with.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/folded_set.h"
#include "model/page_table.h"

struct NameIndex {
    struct Entry {
        uint32_t page;            // the page the name leads to (an alias's: the page it names)
        std::string_view section; // the section the name comes with ("3", "3p")
        bool file_name;           // a file's name (a page's or an alias's), not a NAME name
        uint32_t next;            // the name's next entry, UINT32_MAX after its last
    };
    FoldedSet names;  // every name, letter case aside
    // Each name's entries in table order: a chain from first[number].
    std::vector<uint32_t> first;
    std::vector<Entry> entries;
};

// Indexes the names of every page in `pages` (its manuals filled, aliases resolved).
void index_names(const PageTable& pages, NameIndex& index);

// The page that the reference name(section) on page `current` names: the names matched
// without regard to letter case, the section by its first character; a page whose whole
// section matches (letter case aside) before one whose digit alone does, then a file's
// name before a name of a NAME section (nm.1 before the cross tools' pages that call
// themselves nm), then the first in table order. Never the page itself: a reference to one of its own names in its own
// section names none. UINT32_MAX when there is none.
uint32_t find_reference(const PageTable& pages, const NameIndex& index, uint32_t current,
                        std::string_view name, std::string_view section);
