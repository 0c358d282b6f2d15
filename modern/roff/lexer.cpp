// Taking roff text apart.
#include "modern/roff/lexer.h"

#include <algorithm>

namespace {

constexpr ScalingUnit kScalingUnits[] = {
    {'i', 240, 1, true}, {'c', 24000, 254, true}, {'p', 240, 72, true}, {'P', 40, 1, true},
    {'m', 24, 1, true},  {'n', 24, 1, true},      {'v', 40, 1, true},   {'u', 1, 1, true},
    {'M', 1, 1, false},  {'f', 65536, 1, false},
};

}  // namespace

std::string_view delimited(std::string_view s, size_t& i) {
    if (i >= s.size()) return {};
    // An escape may be the delimiter too (\&, \%, \|): the two bytes, up to the same two.
    std::string_view delimiter = s.substr(i, s[i] == '\\' && i + 1 < s.size() ? 2 : 1);
    size_t end = s.find(delimiter, i + delimiter.size());
    if (end == std::string_view::npos) end = s.size();
    std::string_view inside = s.substr(i + delimiter.size(), end - i - delimiter.size());
    i = std::min(s.size(), end + delimiter.size());
    return inside;
}

const ScalingUnit* scaling_unit(char c) {
    for (const ScalingUnit& unit : kScalingUnits) {
        if (unit.unit == c) return &unit;
    }
    return nullptr;
}
