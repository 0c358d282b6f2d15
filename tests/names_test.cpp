// The modern run's links: which page a reference name(section) on a page names.
#include <gtest/gtest.h>

#include "model/folded_set.h"
#include "model/names.h"

namespace {

TEST(FindReference, WholeSectionThenFileNameThenTableOrderNeverThePageItself) {
    const uint32_t none = UINT32_MAX;
    PageTable pages;
    pages.manuals = {
        {PageKind::man, "printf", "3p", {}, "", "", none},                     // 0
        {PageKind::man, "printf", "3", {"printf", "sprintf"}, "", "", none},  // 1
        {PageKind::man, "x86-nm", "1", {"nm"}, "", "", none},                 // 2
        {PageKind::man, "nm", "1", {}, "", "", none},                         // 3
        {PageKind::alias, "cc", "1", {}, "", "", 5},                          // 4, an alias of 5
        {PageKind::man, "gcc", "1", {}, "", "", none},                        // 5
    };
    pages.count = static_cast<uint32_t>(pages.manuals.size());
    NameIndex index;
    index_names(pages, index);
    const struct {
        uint32_t current;
        const char *name, *section;
        uint32_t page;
    } cases[] = {
        {3, "printf", "3", 1}, {3, "PRINTF", "3P", 0}, {3, "sprintf", "3", 1}, {0, "printf", "3", 1},
        {1, "printf", "3p", 0}, {0, "nm", "1", 3}, {0, "cc", "1", 5}, {1, "printf", "3", none},
        {1, "Sprintf", "3", none}, {1, "gcc", "", none}, {1, "nm", "8", none}, {5, "gcc", "1", none},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(find_reference(pages, index, c.current, c.name, c.section), c.page)
            << c.name << "(" << c.section << ") on page " << c.current;
    }
}

TEST(FoldedSet, NumbersNamesInOrderAndFindsThemInAnyCaseAfterGrowing) {
    FoldedSet set;  // 16 slots at first: 1,000 names make it grow several times
    for (uint32_t i = 0; i < 1000; ++i) {
        bool added = false;
        EXPECT_EQ(set.add("Name" + std::to_string(i), &added), i);
        EXPECT_TRUE(added);
    }
    bool added = true;
    EXPECT_EQ(set.add("NAME7", &added), 7u);
    EXPECT_FALSE(added);
    EXPECT_EQ(set.find("name999"), 999u);
    EXPECT_EQ(set.find("name1000"), UINT32_MAX);
    EXPECT_EQ(set.find("nam"), UINT32_MAX);
    EXPECT_EQ(set.size(), 1000u);
}

}  // namespace
