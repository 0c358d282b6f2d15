// Helpers shared by the unit tests: temporary folders, whole files, running the program.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

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

}  // namespace testing_support
