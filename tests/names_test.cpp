// The modern run's links: which page a reference name(section) on a page names.
#include <gtest/gtest.h>

#include "model/folded_set.h"
#include "model/names.h"

namespace {

TEST(FindReference, WholeSectionThenFileNameThenNearestThenTableOrderNeverThePageItself) {
    const uint32_t none = UINT32_MAX;
    PageTable pages;
    const struct {
        const char* path;
        ManualInfo info;
    } rows[] = {
        {"man3\\printf.3p", {PageKind::man, "printf", "3p", {}, "", "", none}},                     // 0
        {"man3\\printf.3", {PageKind::man, "printf", "3", {"printf", "sprintf"}, "", "", none}},   // 1
        {"man1\\x86-nm.1", {PageKind::man, "x86-nm", "1", {"nm"}, "", "", none}},                  // 2
        {"man1\\nm.1", {PageKind::man, "nm", "1", {}, "", "", none}},                              // 3
        {"man1\\cc.1", {PageKind::alias, "cc", "1", {}, "", "", 5}},                               // 4, an alias of 5
        {"man1\\gcc.1", {PageKind::man, "gcc", "1", {}, "", "", none}},                            // 5
        {"projA\\man3\\foo.3", {PageKind::man, "foo", "3", {}, "", "", none}},                     // 6
        {"projB\\man3\\sub\\foo.3", {PageKind::man, "foo", "3", {}, "", "", none}},               // 7
        {"projB\\man3\\foo.3", {PageKind::man, "foo", "3", {}, "", "", none}},                     // 8
        {"projB\\man3\\bar.3", {PageKind::man, "bar", "3", {"bar", "qux"}, "", "", none}},         // 9
        {"projC\\man3\\foo.3p", {PageKind::man, "foo", "3p", {}, "", "", none}},                   // 10
        {"man3\\qux.3", {PageKind::man, "qux", "3", {}, "", "", none}},                             // 11
        {"PROJB\\man1\\tool.1", {PageKind::man, "tool", "1", {}, "", "", none}},                   // 12
    };
    for (const auto& row : rows) {
        pages.records.push_back({"", row.path, ""});
        pages.manuals.push_back(row.info);
    }
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
        {9, "foo", "3", 8},    // its own folder, before a folder below it and another tree
        {12, "foo", "3", 7},   // its tree (folders letter case aside), then table order
        {3, "foo", "3", 6},    // no tree nearer than another: table order
        {9, "foo", "3P", 10},  // the whole section before nearness
        {8, "qux", "3", 11},   // a file's name before nearness
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
