// The help project of the modern run: the start page that lists every page by manual
// section, the contents file of the same shape, an index of every name, and the project
// file with full-text search on.
#pragma once

#include <string>
#include <vector>

#include "model/page_table.h"
#include "platform/stream.h"

// The pages a reader finds, grouped: language folders after the pages of no language,
// sections in order inside each, pages sorted by name inside each section.
struct SectionGroup {
    std::string language;         // the language folder, "" for none
    char section = '0';           // the digit of the pages' section
    std::vector<uint32_t> pages;  // indices into the page table
};

// The groups of the pages whose `listed` is true (no alias is listed).
std::vector<SectionGroup> group_by_section(const PageTable& pages, const std::vector<bool>& listed);

// The heading of a section's group: "1 User Commands", "9" ...
std::string section_heading(char section);

void write_start_page(Sink& out, const PageTable& pages, const std::vector<SectionGroup>& groups);
void write_modern_contents(Sink& out, const PageTable& pages, const std::vector<SectionGroup>& groups);
void write_modern_index(Sink& out, const PageTable& pages, const std::vector<bool>& listed);
void write_modern_project_file(Sink& out, const PageTable& pages, const std::vector<bool>& listed);

// Writes "index.htm" and "tolbrik.css", and unless `nochm` the three files of the help
// project, into the output folder. A file that cannot be written is reported; then the
// result is false.
bool write_modern_project(const PageTable& pages, const std::vector<bool>& listed,
                          const std::string& output_folder, bool nochm);
