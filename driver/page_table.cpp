#include "driver/page_table.h"

void index_titles(PageTable& pages) {
    pages.first_by_title.clear();
    pages.first_by_title.reserve(pages.count);
    // emplace keeps the first page of a title: later pages with the same title are never
    // link targets.
    for (uint32_t i = 0; i < pages.count; ++i) pages.first_by_title.emplace(pages.records[i].title, i);
}
