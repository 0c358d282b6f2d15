// The help project of the modern run: the start page that lists every page by manual
// section, the contents file of the same shape, an index of every name, and the project
// file with full-text search on.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "helpfile/code_page.h"
#include "model/keyed_text.h"
#include "model/page_table.h"
#include "output/output_file.h"

// A line of the start page: a page, or another name that leads to it (one its NAME
// section gives, or an alias file's). The texts lie in the page table.
struct StartEntry {
    std::string_view name;
    std::string_view section;  // as the page shows it
    uint32_t page;             // the page it leads to
    bool alias;                // another name of the page
};

// The pages a reader finds, grouped: language folders after the pages of no language,
// sections in order inside each, pages sorted by name inside each section.
struct SectionGroup {
    std::string language;         // the language folder, "" for none
    char section = '0';           // the digit of the pages' section
    std::vector<uint32_t> pages;  // indices into the page table
    // The start page's lines: the pages and their other names, sorted alike, each name
    // of a page once.
    std::vector<StartEntry> entries;
};

// A keyword of the index: its text name(section), keyed by its letters in lower case.
struct Keyword {
    KeyedText text;
    uint32_t page;
};

// The orders of the start page, the contents and the index, which the page table alone
// decides: they are made while the pages are written, of every page that has a file, and
// the files leave out the pages that could not be written. The two halves share nothing:
// they may be made at once.
struct ProjectOrder {
    std::vector<SectionGroup> groups;
    std::string keyword_texts;
    std::vector<Keyword> keywords;  // sorted as a reader looks names up, each once
};
void order_groups(const PageTable& pages, ProjectOrder& order);
void order_keywords(const PageTable& pages, ProjectOrder& order);

// "tolbrik.css" and "index.htm", and unless `nochm` the three files of the help project,
// for the pages whose `listed` is true; the contents and index in the code page of the
// help file's `language`. The writers share nothing they change: they may run at once,
// while `pages`, `order`, `listed` and `language` stay as they are.
std::vector<OutputFile> modern_project_files(const PageTable& pages, const ProjectOrder& order,
                                             const std::vector<bool>& listed, bool nochm,
                                             const HelpLanguage& language);
