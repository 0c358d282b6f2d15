// The run sequence and the page table.
#include "driver/run.h"

#include <cstring>
#include <string>
#include <vector>

#include "classic/convert.h"
#include "discovery/identify.h"
#include "discovery/walk.h"
#include "driver/options.h"
#include "model/page_table.h"
#include "helpproject/help_project.h"
#include "helpproject/modern_project.h"
#include "modern/page.h"
#include "platform/platform.h"

namespace {

// Splits the file list in place, each line end becoming a NUL, and makes a page record of
// every entry that `identify` accepts (it answers kIsPage, kNotPage, or another value when
// the candidate could not be read). Characters after the last line end form no entry.
// Returns false when a candidate could not be read (it has been reported).
template <typename Identify>
bool build_page_table(std::string& file_list, PageTable& pages, Identify identify) {
    size_t candidates = 0;
    for (char c : file_list) {
        if (c == '\n') ++candidates;
    }
    pages.records.assign(candidates, PageRecord{});
    pages.count = 0;

    bool all_read = true;
    char* path = file_list.data();
    char* end = path + file_list.size();
    for (char* c = path; c < end; ++c) {
        if (*c != '\n') continue;
        *c = '\0';
        PageRecord& record = pages.records[pages.count];
        uint8_t answer = identify(path, record);
        if (answer == kIsPage) {
            record.source_path = path;
            ++pages.count;
        } else if (answer != kNotPage) {
            all_read = false;
        }
        path = c + 1;
    }
    return all_read;
}

// The classic conversion and help project of a complete page table.
bool convert_classic(const PageTable& pages, const Options& options, bool failed) {
    ConverterState state;
    std::vector<bool> written(pages.count, true);
    for (uint32_t i = 0; i < pages.count; ++i) {
        if (!convert_page(pages, i, options.input_folder, options.output_folder, state)) {
            written[i] = false;
            failed = true;
        }
    }
    if (!options.nochm && pages.count != 0) {
        // A page whose HTML file could not be written stays out of the help project: the
        // help compiler gives up on a project that lists a file it cannot open.
        PageTable listed;
        if (failed) {
            for (uint32_t i = 0; i < pages.count; ++i) {
                if (written[i]) listed.records.push_back(pages.records[i]);
            }
            listed.count = static_cast<uint32_t>(listed.records.size());
        }
        const PageTable& project = failed ? listed : pages;
        if (project.count != 0 && !write_help_project(project, options.output_folder)) failed = true;
    }
    return failed;
}

// The modern conversion: every page but the aliases, then the start page, the stylesheet
// and the help project, which list the pages that were written.
bool convert_modern(PageTable& pages, const Options& options, bool failed) {
    for (uint32_t i : resolve_aliases(pages)) {
        platform::print_err("tolbrik: " + platform::native_path(options.input_folder + pages[i].source_path) +
                            ": .so " + pages.manuals[i].alias_target + ": no such page in the input folder\n");
        failed = true;
    }
    NameIndex names;
    index_names(pages, names);
    std::string made_folder;
    std::vector<bool> listed(pages.count, false);
    for (uint32_t i = 0; i < pages.count; ++i) {
        if (pages.manuals[i].kind == PageKind::alias) continue;
        listed[i] = convert_manual(pages, names, i, options.input_folder, options.output_folder, made_folder);
        if (!listed[i]) failed = true;
    }
    if (pages.count != 0 && !write_modern_project(pages, listed, options.output_folder, options.nochm)) {
        failed = true;
    }
    return failed;
}

}  // namespace

int run(int argc, const char* const* argv) {
    platform::set_oem_locale();
    platform::print_out(kBanner);

    Options options;
    switch (parse_options(argc, argv, options)) {
        case OptionsResult::run:
            break;
        case OptionsResult::help:
            platform::flush_console();
            return 0;
        case OptionsResult::no_folder:
            platform::print_err("tolbrik: cannot read the current folder: " +
                                platform::last_error_text() + "\n");
            return 1;
    }

    bool failed = false;
    std::string file_list;
    // Every failure the walk meets, a list that cannot grow included, it has named on
    // standard error and counted in `failed`; its code is for callers that want it.
    walk_tree(options.input_folder + "*", options.input_folder.size(), file_list, failed);
    if (file_list.empty()) {
        platform::print_out("No files found to process");
        platform::flush_console();
        return failed ? 1 : 0;
    }

    PageTable pages;
    if (options.modern) {
        bool read = build_page_table(file_list, pages, [&](const char* path, PageRecord&) {
            ManualInfo info;
            uint8_t answer = identify_manual(options.input_folder, path, info);
            if (answer == kIsPage) pages.manuals.push_back(std::move(info));
            return answer;
        });
        if (!read) failed = true;
        assign_html_paths(pages, {"index.htm"});
        count_twins(pages);
        failed = convert_modern(pages, options, failed);
    } else {
        bool read = build_page_table(file_list, pages, [&](const char* path, PageRecord& record) {
            return identify_page(options.input_folder, path, record.title);
        });
        if (!read) failed = true;
        assign_html_paths(pages);
        index_titles(pages);
        failed = convert_classic(pages, options, failed);
    }
    platform::flush_console();
    return failed ? 1 : 0;
}
