// Inner loops of a run, measured in memory: converting one page, looking a word up among
// the titles, and building the relative path of a link.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "classic/convert.h"
#include "classic/links.h"
#include "model/paths.h"
#include "model/page_table.h"
#include "platform/stream.h"

namespace {

// A small deterministic generator, so every run sees the same table and page.
struct Lcg {
    uint64_t state;
    uint32_t next() {
        state = state * 6364136223846793005u + 1442695040888963407u;
        return static_cast<uint32_t>(state >> 33);
    }
    uint32_t below(uint32_t bound) { return next() % bound; }
};

const char* const kSyllables[] = {"ka", "lo", "mi", "ne", "ru", "st", "pr", "ob", "tal",
                                  "vex", "zin", "fo", "ge", "dup", "chm", "ix"};

std::string make_title(Lcg& random, uint32_t index) {
    std::string title;
    uint32_t count = 2 + random.below(2);
    for (uint32_t i = 0; i < count; ++i) title += kSyllables[random.below(16)];
    // The index keeps titles apart, as real titles mostly are.
    do {
        title += static_cast<char>('a' + index % 26);
        index /= 26;
    } while (index != 0);
    return title;
}

// A page table of `count` pages spread over 8 sections in folders of 1000 pages, with
// its file list kept alive next to it.
struct Table {
    std::vector<std::string> paths;
    PageTable pages;
};

Table make_table(uint32_t count, bool indexed) {
    Table table;
    Lcg random{42};
    table.paths.reserve(count);
    table.pages.records.resize(count);
    for (uint32_t i = 0; i < count; ++i) {
        std::string title = make_title(random, i);
        uint32_t folder = i / 1000;
        table.paths.push_back("vol" + std::to_string(folder / 8) + "\\man" +
                              std::to_string(folder % 8 + 1) + "\\" + title + "." +
                              std::to_string(folder % 8 + 1));
        table.pages.records[i].title = title;
    }
    for (uint32_t i = 0; i < count; ++i) table.pages.records[i].source_path = table.paths[i].c_str();
    table.pages.count = count;
    assign_html_paths(table.pages);
    if (indexed) index_titles(table.pages);
    return table;
}

const char* const kProse[] = {
    "The program reads its input line by line and writes the result to standard output.\n",
    "When \\fB\\-v\\fR is given, every file is named as it is processed.\n",
    "A \\fIpattern\\fR may hold the usual wildcards; quote it against the shell.\n",
    "Exit status is 0 on success and 1 when a file could not be read.\n",
    "Options that take an argument accept it as the next word or after an equals sign.\n",
    ".IP \"\\fB\\-o\\fR \\fIfile\\fR\"\nWrite the output to \\fIfile\\fR instead.\n",
    ".B Note:\nthe order of the \\fB\\-\\-\\fR separated arguments matters.\n",
};

// A page of about 5 KB with `references` cross-references to titles of the table: half
// as ".BR title (n)," lines, half as inline "\fBtitle (n)\fR".
std::string make_page(const Table& table, uint32_t references) {
    Lcg random{7};
    std::string page = ".TH " + table.pages[0].title + " 1 \"2024-01-01\"\n.SH NAME\n" +
                       table.pages[0].title + " \\- a page to measure\n.SH DESCRIPTION\n";
    auto any_title = [&]() -> const std::string& {
        return table.pages[1 + random.below(table.pages.count - 1)].title;
    };
    for (uint32_t i = 0; i < references / 2; ++i) {
        page += "Works together with \\fB" + any_title() + " (1)\\fR as described there.\n";
        for (int j = 0; j < 6; ++j) page += kProse[random.below(7)];
        if (i % 3 == 0) page += ".PP\n";
    }
    page += ".SH \"SEE ALSO\"\n";
    for (uint32_t i = 0; i < references - references / 2; ++i) page += ".BR " + any_title() + " (1),\n";
    return page;
}

void convert_page_in_memory(benchmark::State& state) {
    Table table = make_table(static_cast<uint32_t>(state.range(0)), true);
    std::string page = make_page(table, 20);
    ConverterState converter;
    for (auto _ : state) {
        Source source(page);
        Sink out;
        convert_text(source, out, table.pages, 0, converter);
        benchmark::DoNotOptimize(out.text().data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.counters["page_bytes"] = static_cast<double>(page.size());
}
BENCHMARK(convert_page_in_memory)->Arg(10000)->Arg(100000);

// Words as the converter hands them over: half are titles spread over the whole table,
// half are option names and text that match nothing.
std::vector<std::string> lookup_words(const Table& table) {
    Lcg random{99};
    const char* const misses[] = {"\\-l", "file", "ls\\fR", "NULL", "\\-\\-help", "pattern"};
    std::vector<std::string> words;
    for (int i = 0; i < 512; ++i) {
        if (i % 2 == 0) {
            words.push_back(table.pages[random.below(table.pages.count)].title);
        } else {
            words.push_back(misses[random.below(6)]);
        }
    }
    return words;
}

void lookup(benchmark::State& state, bool indexed) {
    Table table = make_table(static_cast<uint32_t>(state.range(0)), indexed);
    std::vector<std::string> words = lookup_words(table);
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(find_title(table.pages, words[i]));
        i = (i + 1) % words.size();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
void find_title_indexed(benchmark::State& state) { lookup(state, true); }
void find_title_linear(benchmark::State& state) { lookup(state, false); }
BENCHMARK(find_title_indexed)->Arg(1000)->Arg(10000)->Arg(100000);
BENCHMARK(find_title_linear)->Arg(1000)->Arg(10000)->Arg(100000);

void relative_path_of_link(benchmark::State& state) {
    const std::pair<std::string_view, std::string_view> pairs[] = {
        {"man1\\cp.1", "man1\\ls.1"},
        {"man1\\cp.1", "man3\\printf.3"},
        {"vol0\\man1\\tar.1", "vol1\\man5\\tar.conf.5"},
        {"ls.1", "man8\\mount.8"},
        {"a\\b\\c\\deep.1", "a\\x\\y.1"},
    };
    size_t i = 0;
    for (auto _ : state) {
        const auto& pair = pairs[i];
        benchmark::DoNotOptimize(relative_path(pair.first, html_path(pair.second)));
        i = (i + 1) % 5;
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(relative_path_of_link);

}  // namespace

BENCHMARK_MAIN();
