// The run sequence and the page table.
#include "driver/run.h"

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "classic/convert.h"
#include "discovery/identify.h"
#include "discovery/walk.h"
#include "driver/options.h"
#include "driver/parallel.h"
#include "model/held_text.h"
#include "model/page_table.h"
#include "model/paths.h"
#include "helpfile/help_file.h"
#include "helpproject/help_project.h"
#include "helpproject/modern_project.h"
#include "modern/page/page.h"
#include "platform/platform.h"

namespace {

// Splits the file list in place, each line end becoming a NUL, into its entries.
// Characters after the last line end form no entry.
std::vector<char*> split_file_list(std::string& file_list) {
    std::vector<char*> entries;
    char* path = file_list.data();
    char* end = path + file_list.size();
    for (char* c = path; c < end; ++c) {
        if (*c != '\n') continue;
        *c = '\0';
        entries.push_back(path);
        path = c + 1;
    }
    return entries;
}

// Asks `identify` about every entry, on `jobs` threads (it answers kIsPage, kNotPage, or
// another value when the candidate could not be read, and fills the record, what else it
// learns and the text it holds), and makes a page record of each page, in list order.
// Returns false when a candidate could not be read (it has been reported).
template <typename Learned, typename Identify>
bool build_page_table(std::vector<char*>& entries, unsigned jobs, PageTable& pages,
                      std::vector<Learned>& learned, std::vector<std::string_view>& held, Identify identify) {
    uint32_t count = static_cast<uint32_t>(entries.size());
    pages.records.assign(count, PageRecord{});
    learned.assign(count, Learned{});
    held.assign(count, std::string_view());
    std::vector<uint8_t> answers(count);
    for_each_in_order(count, jobs, [&](uint32_t i, unsigned) {
        answers[i] = identify(entries[i], pages.records[i], learned[i], held[i]);
    });
    // The pages move to the front, in list order, and the table ends after the last one.
    pages.count = 0;
    bool all_read = true;
    for (uint32_t i = 0; i < count; ++i) {
        if (answers[i] == kIsPage) {
            uint32_t page = pages.count++;
            if (page != i) {
                pages.records[page] = std::move(pages.records[i]);
                learned[page] = std::move(learned[i]);
                held[page] = held[i];
            }
            pages.records[page].source_path = entries[i];
        } else if (answers[i] != kNotPage) {
            all_read = false;
        }
    }
    pages.records.resize(pages.count);
    learned.resize(pages.count);
    held.resize(pages.count);
    return all_read;
}

// What the help files of both runs hold alike: the output folder's contents and index,
// the pages `which` in that order, and the time of their sources.
HelpFileInput& help_file_of(std::optional<HelpFileInput>& help, const PageTable& pages,
                            const std::vector<uint32_t>& which, const Options& options) {
    HelpFileInput& input = help.emplace();
    input.folder = options.output_folder;
    input.contents = "tolbrik.hhc";
    input.index = "tolbrik.hhk";
    input.jobs = options.jobs;
    std::vector<std::string> sources;
    for (uint32_t i : which) {
        input.pages.push_back(pages[i].html_path);
        sources.push_back(options.input_folder + pages[i].source_path);
    }
    input.time = help_file_time(sources, options.jobs);
    return input;
}

// The classic conversion and help project of a complete page table; with -chm, what the
// help file is made of goes into `help`.
bool convert_classic(const PageTable& pages, const std::vector<std::string_view>& held, const Options& options,
                     bool failed, std::optional<HelpFileInput>& help) {
    std::vector<ConverterState> states(options.jobs);
    std::vector<uint8_t> written(pages.count, 1);
    for_each_in_order(pages.count, options.jobs, [&](uint32_t i, unsigned worker) {
        written[i] = convert_page(pages, i, options.input_folder, options.output_folder, states[worker], held[i]);
    });
    for (uint8_t w : written) failed = failed || !w;
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
        if (project.count != 0) {
            bool written_project = write_files_at_once(help_project_files(project), options.output_folder, options.jobs);
            if (!written_project) failed = true;
            // The compiled help file of the Russian pages, in the code page they declare.
            if (written_project && options.chm) {
                std::vector<uint32_t> all(project.count);
                for (uint32_t i = 0; i < project.count; ++i) all[i] = i;
                HelpFileInput& input = help_file_of(help, project, all, options);
                input.default_topic = input.pages.front();
                input.title = "\u0421\u0442\u0440\u0430\u043d\u0438\u0446\u044b \u0441\u043f\u0440\u0430\u0432\u043a\u0438";
                input.language = &russian_language();
                input.page_code_page = russian_language().upper;
            }
        }
    }
    return failed;
}

// The modern conversion: every page but the aliases, then the start page, the stylesheet
// and the help project, which list the pages that were written.
bool convert_modern(PageTable& pages, const std::vector<std::string_view>& held, const Options& options,
                    bool failed, std::optional<HelpFileInput>& help) {
    // The HTML paths, and the aliases' pages with the names that lead to each page, are
    // made side by side: neither reads what the other writes.
    std::vector<uint32_t> missing;
    NameIndex names;
    for_each_in_order(2, options.jobs, [&](uint32_t task, unsigned) {
        if (task == 0) {
            assign_html_paths(pages, {"index.htm"});
        } else {
            missing = resolve_aliases(pages);
            index_names(pages, names);
        }
    });
    for (uint32_t i : missing) {
        platform::print_err("tolbrik: " + platform::native_path(options.input_folder + pages[i].source_path) +
                            ": .so " + pages.manuals[i].alias_target + ": no such page in the input folder\n");
        failed = true;
    }
    std::vector<std::string> made_folders(options.jobs);
    std::vector<ConvertResult> results(pages.count, ConvertResult{false, false});
    // The help project's orders depend on the table alone: the first two tasks make them
    // while the other threads start on the pages.
    ProjectOrder order;
    constexpr uint32_t kOrderTasks = 2;
    for_each_in_order(kOrderTasks + pages.count, options.jobs, [&](uint32_t task, unsigned worker) {
        if (task < kOrderTasks) {
            if (task == 0) order_groups(pages, order);
            if (task == 1 && !options.nochm) order_keywords(pages, order);
            return;
        }
        uint32_t i = task - kOrderTasks;
        if (pages.manuals[i].kind == PageKind::alias) return;
        results[i] = convert_manual(pages, names, i, options.input_folder, options.output_folder, made_folders[worker],
                                    held[i]);
    });
    // A page cut short, or with an include refused, is written and listed all the same.
    std::vector<bool> listed(pages.count);
    std::vector<uint32_t> topics;
    std::vector<std::string_view> languages;
    for (uint32_t i = 0; i < pages.count; ++i) {
        listed[i] = results[i].written;
        if (results[i].reported) failed = true;
        if (pages.manuals[i].kind == PageKind::alias) continue;
        languages.push_back(language_folder(pages[i].source_path));
        if (listed[i]) topics.push_back(i);
    }
    if (pages.count == 0) return failed;
    // The help file's language follows its pages.
    const HelpLanguage& language = help_language(languages);
    bool written_project = write_files_at_once(modern_project_files(pages, order, listed, options.nochm, language),
                                               options.output_folder, options.jobs);
    if (!written_project) failed = true;
    if (written_project && !options.nochm) {
        HelpFileInput& input = help_file_of(help, pages, topics, options);
        input.pages.insert(input.pages.begin(), "index.htm");
        input.files = {"tolbrik.css"};
        input.default_topic = "index.htm";
        input.title = "Manual pages";
        input.language = &language;
    }
    return failed;
}

}  // namespace

int run(int argc, const char* const* argv) {
    platform::set_oem_locale();
    Options options;
    OptionsResult parsed = parse_options(argc, argv, options);
    // A version query prints one line a script can read; everything else opens with the
    // banner.
    if (parsed == OptionsResult::version) {
        platform::print_out(kVersionText);
        platform::flush_console();
        return 0;
    }
    platform::print_out(kBanner);
    switch (parsed) {
        case OptionsResult::run:
        case OptionsResult::version:
            break;
        case OptionsResult::help:
            platform::print_out(kHelpText);
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

    std::vector<char*> entries = split_file_list(file_list);
    PageTable pages;
    auto store = std::make_unique<TextStore>(held_text_capacity());
    std::vector<std::string_view> held;
    std::optional<HelpFileInput> help;
    if (options.modern) {
        bool read = build_page_table(entries, options.jobs, pages, pages.manuals, held,
                                     [&](const char* path, PageRecord&, ManualInfo& info, std::string_view& text) {
                                         return identify_manual(options.input_folder, path, info, store.get(), &text);
                                     });
        if (!read) failed = true;
        failed = convert_modern(pages, held, options, failed, help);
    } else {
        struct Nothing {};
        std::vector<Nothing> nothing;
        bool read = build_page_table(entries, options.jobs, pages, nothing, held,
                                     [&](const char* path, PageRecord& record, Nothing&, std::string_view& text) {
                                         return identify_page(options.input_folder, path, record.title, store.get(),
                                                              &text);
                                     });
        if (!read) failed = true;
        assign_html_paths(pages);
        index_titles(pages);
        failed = convert_classic(pages, held, options, failed, help);
    }
    // The help file is made of what was written: the held page texts are of no more use.
    held.clear();
    store.reset();
    if (help && !write_help_file(*help, "tolbrik.chm")) failed = true;
    platform::flush_console();
    return failed ? 1 : 0;
}
