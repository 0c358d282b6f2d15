// Paths between pages.
#include "model/paths.h"

#include <cstddef>

std::string html_path(std::string_view source_path) {
    std::string path(source_path.substr(0, source_path.rfind('.')));
    path += ".htm";
    return path;
}

namespace {

char fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool same_letters(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (fold(a[i]) != fold(b[i])) return false;
    }
    return true;
}

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
