// Helpers shared by the unit tests: temporary folders, whole files, running the program.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "model/page_table.h"

namespace testing_support {

// A page table as a run makes it: (title, source path) records in table order, HTML paths
// assigned, titles indexed unless `indexed` is false. The paths must outlive the table.
PageTable table_of(const std::vector<std::pair<const char*, const char*>>& pages,
                   bool indexed = true);

// A fresh empty folder under the system's temporary folder, removed when it goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }  // native, without a trailing '/'
    // `relative` uses '/' between folders; missing folders are made.
    std::string write(const std::string& relative, const std::string& bytes) const;
    // Makes the folder `relative` and any missing folders above it; returns its path.
    std::string folder(const std::string& relative) const;
    std::string read(const std::string& relative) const;
    bool exists(const std::string& relative) const;

private:
    std::string path_;
};

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);

struct Result {
    int status = -1;
    std::string out;  // standard output
    std::string err;  // standard error
};

// Runs the built tolbrik with `args` in the folder `cwd`.
Result run_tolbrik(const std::vector<std::string>& args, const std::string& cwd);

// UTF-8 text (Russian letters and ASCII) as code page 866 bytes.
std::string cp866(const std::string& utf8);

// The console's banner and help text as the code page 866 bytes the tool must print,
// made here from their UTF-8 wording.
std::string banner_bytes();
std::string help_bytes();

// A native path in the tool's own spelling: every '/' becomes a backslash.
std::string backslashed(const std::string& native);

// The names in the folder `native` (without "." and ".."), in the order readdir yields
// them.
std::vector<std::string> readdir_names(const std::string& native);
// The same names in the order the walk takes them: compared with their ASCII letters as
// capitals, then byte by byte.
std::vector<std::string> listed_names(const std::string& native);

// Every entry under the folder `native` at any depth, as '/'-separated relative paths,
// folders followed by '/', sorted: what a run left behind.
std::vector<std::string> tree_listing(const std::string& native);

}  // namespace testing_support
