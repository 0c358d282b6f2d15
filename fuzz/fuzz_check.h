// What the fuzz targets share: the check that ends a run when an invariant is broken (so
// that libFuzzer keeps the input), quiet console output, and the test that a relative path
// really leads from one page to another.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace fuzz {

[[noreturn]] inline void broken(const char* file, int line, const std::string& what) {
    std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, what.c_str());
    std::fflush(stderr);
    std::abort();
}

#define FUZZ_CHECK(condition, what)                                          \
    do {                                                                     \
        if (!(condition)) ::fuzz::broken(__FILE__, __LINE__, (what));        \
    } while (0)

// The tool prints the help text and the messages about candidates on standard output;
// millions of runs need none of it.
inline void silence_standard_output() {
    if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
}

// Bytes shown readably in a message.
inline std::string shown(std::string_view bytes) {
    std::string text;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            text += static_cast<char>(c);
        } else {
            char code[8];
            std::snprintf(code, sizeof code, "\\x%02X", c);
            text += code;
        }
    }
    return text;
}

// An attribute value read back: the four entities the tool writes become their bytes
// again. Returns false at a '&' that starts none of them.
inline bool unescape_attribute(std::string_view text, std::string& plain) {
    static const std::pair<std::string_view, char> kEntities[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}};
    plain.clear();
    for (size_t i = 0; i < text.size();) {
        if (text[i] != '&') {
            plain += text[i++];
            continue;
        }
        size_t before = i;
        for (const auto& [entity, c] : kEntities) {
            if (text.substr(i, entity.size()) == entity) {
                plain += c;
                i += entity.size();
                break;
            }
        }
        if (i == before) return false;
    }
    return true;
}

inline std::vector<std::string_view> components(std::string_view path) {
    std::vector<std::string_view> parts;
    for (size_t end = path.find('\\'); end != std::string_view::npos; end = path.find('\\')) {
        parts.push_back(path.substr(0, end));
        path.remove_prefix(end + 1);
    }
    parts.push_back(path);
    return parts;
}

// A path as the page table holds one: not empty, no empty, "." or ".." component.
inline bool is_source_path(std::string_view path) {
    for (std::string_view part : components(path)) {
        if (part.empty() || part == "." || part == "..") return false;
    }
    return true;
}

inline bool same_folder_name(std::string_view a, std::string_view b) {
    auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return fold(x) == fold(y); });
}

// Checks that `relative`, taken from the folder that holds `from`, leads to `to`: its
// "..\" steps climb out of folders of `from` (never above the common root), the folders
// it keeps match those of `to` without regard to ASCII letter case, and the rest spells
// the remainder of `to` exactly. It must also climb no higher than it has to: the folders
// kept are the longest common run of leading folders. Returns "" or what is wrong.
inline std::string check_resolves(std::string_view from, std::string_view to,
                                  std::string_view relative) {
    std::vector<std::string_view> folders = components(from);
    folders.pop_back();  // the file name
    size_t ups = 0;
    while (relative.substr(0, 3) == "..\\") {
        relative.remove_prefix(3);
        ++ups;
    }
    if (ups > folders.size()) return "climbs above the common folder";
    size_t kept = folders.size() - ups;

    std::vector<std::string_view> target = components(to);
    std::vector<std::string_view> rest = components(relative);
    if (kept + rest.size() != target.size()) return "leads to a path of another depth";
    for (size_t i = 0; i < kept; ++i) {
        if (!same_folder_name(folders[i], target[i])) return "keeps a folder that differs";
    }
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] != target[kept + i]) return "spells the target differently";
    }
    size_t common = 0;
    while (common < folders.size() && common + 1 < target.size() &&
           same_folder_name(folders[common], target[common])) {
        ++common;
    }
    if (kept != common) return "does not keep the longest common run of folders";
    return "";
}

}  // namespace fuzz
