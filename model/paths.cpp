// Paths between pages.
#include "model/paths.h"

#include <algorithm>
#include <cstddef>

#include "model/letters.h"

std::string html_path(std::string_view source_path) {
    std::string path(source_path.substr(0, source_path.rfind('.')));
    path += ".htm";
    return path;
}

namespace {

// The end of the component that starts at `k`: its first backslash, or the path's end.
size_t component_end(std::string_view path, size_t k) {
    size_t end = path.find('\\', k);
    return end == std::string_view::npos ? path.size() : end;
}

}  // namespace

std::string relative_path(std::string_view from, std::string_view to) {
    // Walk the common folders; a file name never belongs to them.
    size_t k = 0;
    size_t a = 0;
    for (;;) {
        a = component_end(from, k);
        size_t b = component_end(to, k);
        if (a != b) break;
        if (!same_letters(from.substr(k, a - k), to.substr(k, b - k))) break;
        if (a == from.size() || b == to.size()) break;
        k = a + 1;
    }
    // One step up for every folder of `from` below the common part.
    size_t up = 0;
    for (size_t i = a; i < from.size(); ++i) {
        if (from[i] == '\\') ++up;
    }
    std::string result;
    result.reserve(up * 3 + to.size() - k);
    for (size_t i = 0; i < up; ++i) result += "..\\";
    result += to.substr(k);
    return result;
}

std::string escape_attribute(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&': escaped += "&amp;"; break;
            case '<': escaped += "&lt;"; break;
            case '>': escaped += "&gt;"; break;
            case '"': escaped += "&quot;"; break;
            default: escaped += c;
        }
    }
    return escaped;
}

namespace {

// Splits at every '/' and '\\'.
std::vector<std::string_view> components(std::string_view path) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/' || path[i] == '\\') {
            parts.push_back(path.substr(start, i - start));
            start = i + 1;
        }
    }
    return parts;
}

bool is_lower(char c) { return c >= 'a' && c <= 'z'; }
bool is_upper(char c) { return c >= 'A' && c <= 'Z'; }

}  // namespace

std::vector<std::string> include_candidates(std::string_view source_path, std::string_view target) {
    std::vector<std::string> candidates;
    if (target.empty() || target[0] == '/' || target[0] == '\\' || (target.size() > 1 && target[1] == ':')) {
        return candidates;
    }
    std::vector<std::string_view> folder = components(source_path);
    folder.pop_back();  // the file name
    std::vector<std::vector<std::string_view>> bases;
    if (!folder.empty()) bases.emplace_back(folder.begin(), folder.end() - 1);
    bases.emplace_back();
    if (!folder.empty()) bases.push_back(folder);
    for (const auto& base : bases) {
        std::vector<std::string_view> parts = base;
        bool outside = false;
        for (std::string_view part : components(target)) {
            if (part.empty() || part == ".") continue;
            if (part == "..") {
                if (parts.empty()) {
                    outside = true;
                    break;
                }
                parts.pop_back();
                continue;
            }
            parts.push_back(part);
        }
        if (outside || parts.empty()) continue;
        std::string path;
        for (std::string_view part : parts) {
            if (!path.empty()) path += '\\';
            path += part;
        }
        if (std::find(candidates.begin(), candidates.end(), path) == candidates.end()) candidates.push_back(path);
    }
    return candidates;
}

std::string_view language_code(std::string_view folder) {
    // ll or ll_CC, optionally followed by .codeset or @modifier.
    if (folder.size() < 2 || !is_lower(folder[0]) || !is_lower(folder[1])) return {};
    size_t i = 2;
    if (folder.size() >= 5 && (folder[2] == '_' || folder[2] == '-') && is_upper(folder[3]) && is_upper(folder[4])) {
        i = 5;
    }
    if (i != folder.size() && folder[i] != '.' && folder[i] != '@') return {};
    return folder.substr(0, 2);
}

std::string_view language_folder(std::string_view source_path) {
    size_t end = source_path.find('\\');
    if (end == std::string_view::npos) return {};
    std::string_view folder = source_path.substr(0, end);
    return language_code(folder).empty() ? std::string_view() : folder;
}

std::string relative_href(std::string_view from, std::string_view to) {
    std::string path = relative_path(from, to);
    // "A::B.htm" would read as a URL of the scheme "A": "./A::B.htm" is the page.
    std::string href = path.find(':') < path.find('\\') ? "./" : "";
    for (char c : path) {
        switch (c) {
            case '\\': href += '/'; break;
            case '%': href += "%25"; break;
            case '#': href += "%23"; break;
            case '?': href += "%3F"; break;
            case ' ': href += "%20"; break;
            default: href += c;
        }
    }
    return href;
}
