// The pieces of roff text that every reader of it takes apart the same way: the name after
// an escape, an argument between delimiters, and scaling units.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string_view>

// The name after an escape at `i`: one character, "(xx" or "[name]" (an unclosed one
// runs to the end). Sets `i` past it; empty at the end of the text. (Inline: every
// escape reads one.)
inline std::string_view escape_name(std::string_view s, size_t& i) {
    if (i >= s.size()) return {};
    if (s[i] == '(') {
        size_t start = i + 1;
        i = std::min(s.size(), i + 3);
        return s.substr(start, i - start);
    }
    if (s[i] == '[') {
        size_t end = s.find(']', i + 1);
        if (end == std::string_view::npos) end = s.size();
        std::string_view name = s.substr(i + 1, end - i - 1);
        i = std::min(s.size(), end + 1);
        return name;
    }
    return s.substr(i++, 1);
}


// The text between the delimiter at `i` (a character, or an escape such as \&) and its
// next occurrence (or the end of the text). Sets `i` past it.
std::string_view delimited(std::string_view s, size_t& i);

// A scaling unit: basic units of a terminal per unit, `per` / `over` (240 to the inch,
// 24 to the en); `in_lengths` for those a table's layout takes in a width.
struct ScalingUnit {
    char unit;
    int per, over;
    bool in_lengths;
};
// The unit that `c` names, or nullptr.
const ScalingUnit* scaling_unit(char c);
