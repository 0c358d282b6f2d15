// Letters compared without regard to case, as Windows file systems and help files compare
// names: the ASCII letters only, every other byte as it is.
#pragma once

#include <string>
#include <string_view>

inline char lower_case(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The walk lists a folder's names with their letters as capitals.
inline char upper_case(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

inline void to_lower_case(std::string& text) {
    for (char& c : text) c = lower_case(c);
}

inline std::string lower_case(std::string_view text) {
    std::string out(text);
    to_lower_case(out);
    return out;
}

inline bool same_letters(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (lower_case(a[i]) != lower_case(b[i])) return false;
    }
    return true;
}
