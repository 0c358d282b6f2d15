// Command-line options and the folders they name.
#include "driver/options.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

const char kBanner[] =
    "\xAF\xE0\xA5\xAE\xA1\xE0\xA0\xA7\xAE\xA2\xA0\xE2\xA5\xAB\xEC MAN -> HTML. \xA7\xA0\xAF\xE3"
    "\xE1\xE2\xA8 \xE1 -? \xA4\xAB\xEF \xE1\xAF\xE0\xA0\xA2\xAA\xA8\n";

const char kHelpText[] =
    "\xAF\xE0\xA5\xAE\xA1\xE0\xA0\xA7\xAE\xA2\xA0\xE2\xA5\xAB\xEC UNIX man \xE4\xA0\xA9\xAB\xAE"
    "\xA2 \xE1\xAF\xE0\xA0\xA2\xAE\xAA \xA2 \xAA\xAE\xAC\xAF\xAB\xA5\xAA\xE1 HTML \xE1\xE2\xE0"
    "\xA0\xAD\xA8\xE6.\x88\xE1\xAF\xAE\xAB\xEC\xA7\xAE\xA2\xA0\xAD\xA8\xA5: tolbrik [\xAD\xA0\xE1"
    "\xE2\xE0\xAE\xA9\xAA\xA8]\n"
    "\x8D\xA0\xE1\xE2\xE0\xAE\xA9\xAA\xA8:\n"
    " -indir:<\xAF\xA0\xAF\xAA\xA0>  \xE3\xE1\xE2\xA0\xAD\xA0\xA2\xAB\xA8\xA2\xA0\xA5\xE2 \xAF"
    "\xE3\xE2\xEC \xAA \xAF\xA0\xAF\xAA\xA5 \xE1 \xA0\xAD\xA0\xAB\xA8\xA7\xA8\xE0\xE3\xA5\xAC\xEB"
    "\xAC\xA8 \xE4\xA0\xA9\xAB\xA0\xAC\xA8\n"
    " -outdir:<\xAF\xA0\xAF\xAA\xA0> \xE3\xE1\xE2\xA0\xAD\xA0\xA2\xAB\xA8\xA2\xA0\xA5\xE2 \xAF"
    "\xE3\xE2\xEC \xAA \xAF\xA0\xAF\xAA\xA5 \xA4\xAB\xEF \xA7\xA0\xAF\xA8\xE1\xA8 \xE0\xA5\xA7"
    "\xE3\xAB\xEC\xE2\xA0\xE2\xAE\xA2\n"
    " -nochm          \xA7\xA0\xAF\xE0\xA5\xE9\xA0\xA5\xE2 \xA3\xA5\xAD\xA5\xE0\xA8\xE0\xAE\xA2"
    "\xA0\xE2\xEC \xE4\xA0\xA9\xAB\xEB chm \xAF\xE0\xAE\xA5\xAA\xE2\xA0\n"
    " -chm            \xE2\xA0\xAA\xA6\xA5 \xA7\xA0\xAF\xA8\xE1\xEB\xA2\xA0\xA5\xE2 \xE1\xAA\xAE\xAC\xAF\xA8\xAB\xA8"
    "\xE0\xAE\xA2\xA0\xAD\xAD\xE3\xEE \xE1\xAF\xE0\xA0\xA2\xAA\xE3 tolbrik.chm\n"
    " -modern         \xE1\xE2\xE0\xA0\xAD\xA8\xE6\xEB HTML5 \xA2 UTF-8: \xE1\xE1\xEB\xAB\xAA\xA8 \xAD\xA0 \xA2\xE1\xA5 "
    "man(N), \xAE\xA3\xAB\xA0\xA2\xAB\xA5\xAD\xA8\xA5 \xAF\xAE \xE0\xA0\xA7\xA4\xA5\xAB\xA0\xAC\n"
    " -jobs:<\xE7\xA8\xE1\xAB\xAE>   \xE1\xAA\xAE\xAB\xEC\xAA\xAE \xAF\xAE\xE2\xAE\xAA\xAE\xA2 \xAF\xE0\xA5\xAE\xA1\xE0\xA0\xA7\xE3\xEE\xE2 "
    "\xE1\xE2\xE0\xA0\xAD\xA8\xE6\xEB (\xAF\xAE \xE3\xAC\xAE\xAB\xE7\xA0\xAD\xA8\xEE: \xAF\xAE \xE7\xA8\xE1\xAB\xE3 \xEF\xA4\xA5\xE0)\n"
    "\xAF\xAE \xE3\xAC\xAE\xAB\xE7\xA0\xAD\xA8\xEE \xA8\xE9\xA5\xE2 \xE4\xA0\xA9\xAB\xEB \xA2 \xA4"
    "\xAE\xAC\xA0\xE8\xAD\xA5\xA9 \xAF\xA0\xAF\xAA\xA5 \xA8 \xA7\xA0\xAF\xA8\xE1\xEB\xA2\xA0\xA5"
    "\xE2 \xE0\xA5\xA7\xE3\xAB\xEC\xE2\xA0\xE2\xEB \xE2\xE3\xA4\xA0-\xA6\xA5\n"
    "\xA7\xA0\xAC\xA5\xE2\xEC, \xAF\xE0\xAE\xA3\xE0\xA0\xAC\xAC\xA0 \xAD\xA5 \xE0\xA0\xA7\xA1\xA8"
    "\xE0\xA0\xA5\xE2 \xE0\xA0\xE1\xE8\xA8\xE0\xA5\xAD\xA8\xA9 \xE4\xA0\xA9\xAB\xAE\xA2, \xAD\xAE"
    " \xA8\xE9\xA5\xE2 \xE1\xA8\xA3\xAD\xA0\xE2\xE3\xE0\xEB \xA2\n"
    " \xAF\xAE\xE2\xA5\xAD\xE6\xA8\xA0\xAB\xEC\xAD\xEB\xE5 man-\xE1\xE2\xE0\xA0\xAD\xA8\xE6\xA0"
    "\xE5, \xE2\xA0\xAA \xE7\xE2\xAE \xA8\xA7 \xA0\xAD\xA0\xAB\xA8\xA7\xA8\xE0\xE3\xA5\xAC\xAE"
    "\xA3\xAE \xA1\xAB\xAE\xAA\xA0 \xE4\xA0\xA9\xAB\xAE\xA2\n"
    " \xA6\xA5\xAB\xA0\xE2\xA5\xAB\xEC\xAD\xAE \xE1\xAF\xA5\xE0\xA2\xA0 \xE3\xA1\xE0\xA0\xE2\xEC"
    " \xA2\xE1\xF1 \xAB\xA8\xE8\xAD\xA5\xA5.";

// The build defines TOLBRIK_VERSION from the project's version.
const char kVersionText[] = "tolbrik " TOLBRIK_VERSION "\n";

namespace {

// The spellings that ask for the help text or the version rather than a run.
const struct {
    const char* spelling;
    OptionsResult result;
} kQueries[] = {
    {"-?", OptionsResult::help},          {"-h", OptionsResult::help},
    {"--help", OptionsResult::help},      {"/?", OptionsResult::help},
    {"-version", OptionsResult::version}, {"--version", OptionsResult::version},
};

// A folder value gets one backslash appended unless it already ends in one; only the
// backslash counts as a separator.
std::string folder_value(const char* value) {
    std::string folder(value);
    if (folder.empty() || folder.back() != '\\') folder += '\\';
    return folder;
}

bool starts_with(const char* text, const char* prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

}  // namespace

OptionsResult parse_options(int argc, const char* const* argv, Options& options) {
    bool have_input = false;
    bool have_output = false;
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (argument == nullptr) break;
        for (const auto& query : kQueries) {
            if (std::strcmp(argument, query.spelling) == 0) return query.result;
        }
        if (starts_with(argument, "-indir:")) {
            options.input_folder = folder_value(argument + 7);
            have_input = true;
        } else if (starts_with(argument, "-outdir:")) {
            options.output_folder = folder_value(argument + 8);
            have_output = true;
        } else if (std::strcmp(argument, "-nochm") == 0) {
            options.nochm = true;
        } else if (std::strcmp(argument, "-chm") == 0) {
            options.chm = true;
        } else if (std::strcmp(argument, "-modern") == 0) {
            options.modern = true;
        } else if (starts_with(argument, "-jobs:")) {
            // A whole number from 1 to 256; anything else is ignored, as unknown options are.
            char* end = nullptr;
            unsigned long jobs = std::strtoul(argument + 6, &end, 10);
            if (argument[6] >= '0' && argument[6] <= '9' && *end == '\0' && jobs >= 1 && jobs <= 256) {
                options.jobs = static_cast<unsigned>(jobs);
            }
        }
    }
    if (options.jobs == 0) options.jobs = std::min(platform::processor_count(), 256u);
    // The defaults take the working folder and append a backslash without looking at its
    // last character: a drive's root gives two backslashes.
    if (!have_input || !have_output) {
        std::string working;
        if (!platform::current_folder(working)) return OptionsResult::no_folder;
        if (!have_input) options.input_folder = working + '\\';
        if (!have_output) options.output_folder = working + '\\';
    }
    return OptionsResult::run;
}
