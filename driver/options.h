// The command line: the input folder, the output folder and the nochm flag, and the
// help text on request.
#pragma once

#include <string>

struct Options {
    std::string input_folder;   // always ends in a backslash after parse_options
    std::string output_folder;  // likewise
    bool nochm = false;
    bool modern = false;  // HTML5 pages in UTF-8, linked by name(section)
    unsigned jobs = 0;    // threads that identify and convert pages; 0 until settled
};

enum class OptionsResult {
    run,        // go on with the run
    help,       // "-?": the help text has been printed, end with status 0
    no_folder,  // a default folder was needed but the working folder could not be read
};

// Examines every argument after the program name. Prints the help text itself for "-?".
OptionsResult parse_options(int argc, const char* const* argv, Options& options);

// The banner and the help text, as the code-page-866 bytes the console shows.
extern const char kBanner[];
extern const char kHelpText[];
