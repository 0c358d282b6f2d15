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
// themselves nm), then the nearest to `current`, then the first in table order. Nearest
// is a page in the same folder, else the one that shares the most leading folders with
// it (projA\man1\ls.1 before projB\man1\ls.1 for a page under projA, de\man1\ls.1
// before man1\ls.1 for a page under de), so that a tree holding several manuals keeps
// each one's links inside it. Nearness ranks below the two matches, as a page of the
// asked section or of that file name is what the reference means wherever it lies; it
// ranks above table order, which says nothing of the page. Never the page itself: a
// reference to one of its own names in its own section names none. UINT32_MAX when there
// is none.
uint32_t find_reference(const PageTable& pages, const NameIndex& index, uint32_t current,
                        std::string_view name, std::string_view section);
