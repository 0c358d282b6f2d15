// The command line: the input folder, the output folder, the flags, and the queries for
// the help text and the version.
#pragma once

#include <string>

struct Options {
    std::string input_folder;   // always ends in a backslash after parse_options
    std::string output_folder;  // likewise
    bool nochm = false;
    bool chm = false;     // the classic run writes the compiled help file too
    bool modern = false;  // HTML5 pages in UTF-8, linked by name(section)
    unsigned jobs = 0;    // threads that identify and convert pages; 0 until settled
};

enum class OptionsResult {
    run,        // go on with the run
    help,       // "-?", "-h", "--help" or "/?": print the help text, end with status 0
    version,    // "-version" or "--version": print the name and version, end with status 0
    no_folder,  // a default folder was needed but the working folder could not be read
};

// Examines the arguments after the program name, left to right; the first query for the
// help text or the version ends the examination. Prints nothing.
OptionsResult parse_options(int argc, const char* const* argv, Options& options);

// The banner and the help text, as the code-page-866 bytes the console shows, and the
// program's name and version ("tolbrik 1.0\n").
extern const char kBanner[];
extern const char kHelpText[];
extern const char kVersionText[];
