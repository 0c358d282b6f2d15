// A scratch folder for the targets that read files, as identification does: in memory
// where /dev/shm exists, with the folders that the given files lie in, made once and
// removed with the files at exit.
#pragma once

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace fuzz {

struct Scratch {
    std::string native;               // the folder, as the system spells it
    std::string tool;                 // the same in the tool's spelling, ending in a backslash

    std::string native_path(std::string_view file) const {
        std::string path = native + "/" + std::string(file);
        std::replace(path.begin() + static_cast<std::ptrdiff_t>(native.size()), path.end(), '\\', '/');
        return path;
    }

    void write(std::string_view file, std::string_view bytes) const {
        std::FILE* f = std::fopen(native_path(file).c_str(), "wb");
        if (f == nullptr) std::abort();
        if (std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) std::abort();
        if (std::fclose(f) != 0) std::abort();
    }
};

// The first call makes the folder for `files` (later calls return it as it is). Never
// destroyed: the clean-up at exit still needs it.
inline const Scratch& scratch(std::vector<std::string> files = {}) {
    static const Scratch* folder = [&files] {
        const char* base = std::getenv("TOLBRIK_FUZZ_TMP");
        std::string pattern = std::string(base != nullptr ? base : "/dev/shm") + "/tolbrik-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            pattern = "/tmp/tolbrik-fuzz-XXXXXX";
            if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        }
        Scratch* made = new Scratch{pattern, pattern};
        std::replace(made->tool.begin(), made->tool.end(), '/', '\\');
        made->tool += '\\';
        for (const std::string& file : files) {
            for (size_t slash = file.find('\\'); slash != std::string::npos; slash = file.find('\\', slash + 1)) {
                ::mkdir(made->native_path(file.substr(0, slash)).c_str(), 0700);
            }
        }
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(scratch().native, ignored);
        });
        return made;
    }();
    return *folder;
}

}  // namespace fuzz
