// Option parsing on arbitrary argument vectors. Whatever the arguments, a run gets two
// folders that end in a backslash: the last value given for each, or the working folder.
//
// Input: the arguments after the program name, separated by NUL bytes.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "driver/options.h"
#include "fuzz_check.h"
#include "platform/platform.h"

namespace {

// The folder an option value names: a backslash is appended unless it ends in one.
std::string as_folder(std::string_view value) {
    return std::string(value) + (value.empty() || value.back() != '\\' ? "\\" : "");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::silence_standard_output();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string working = [] {
        std::string folder;
        if (!platform::current_folder(folder)) std::abort();
        return folder;
    }();
    // Each argument is its own heap block, so that a read past its end is seen.
    std::vector<std::vector<char>> storage = {{'t', 'o', 'l', 'b', 'r', 'i', 'k', '\0'}};
    std::string_view input(reinterpret_cast<const char*>(data), size);
    for (size_t start = 0; size > 0 && start <= size;) {
        size_t end = std::min(input.find('\0', start), size);
        storage.emplace_back(input.begin() + start, input.begin() + end);
        storage.back().push_back('\0');
        start = end + 1;
    }
    std::vector<const char*> argv;
    for (const auto& argument : storage) argv.push_back(argument.data());
    argv.push_back(nullptr);

    Options options;
    OptionsResult result = parse_options(static_cast<int>(storage.size()), argv.data(), options);

    // What the arguments ask for, read left to right up to a query for the help text or
    // the version.
    OptionsResult query = OptionsResult::run;
    bool nochm = false;
    const char* input_value = nullptr;
    const char* output_value = nullptr;
    for (size_t i = 1; i < storage.size() && query == OptionsResult::run; ++i) {
        std::string_view argument(storage[i].data());
        if (argument == "-?" || argument == "-h" || argument == "--help" || argument == "/?") {
            query = OptionsResult::help;
        } else if (argument == "-version" || argument == "--version") {
            query = OptionsResult::version;
        } else if (argument.substr(0, 7) == "-indir:") input_value = storage[i].data() + 7;
        else if (argument.substr(0, 8) == "-outdir:") output_value = storage[i].data() + 8;
        else if (argument == "-nochm") nochm = true;
    }
    FUZZ_CHECK(options.nochm == nochm, "the nochm flag");
    if (query != OptionsResult::run) {
        FUZZ_CHECK(result == query, "a query for the help text or the version was not answered");
        return 0;
    }
    FUZZ_CHECK(result == OptionsResult::run, "no run without a query");
    FUZZ_CHECK(options.input_folder == (input_value ? as_folder(input_value) : working + '\\'),
               "input folder " + fuzz::shown(options.input_folder));
    FUZZ_CHECK(options.output_folder == (output_value ? as_folder(output_value) : working + '\\'),
               "output folder " + fuzz::shown(options.output_folder));
    return 0;
}
