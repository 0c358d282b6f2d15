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
    char delimiter = s[i];
    size_t end = s.find(delimiter, i + 1);
    if (end == std::string_view::npos) end = s.size();
    std::string_view inside = s.substr(i + 1, end - i - 1);
    i = std::min(s.size(), end + 1);
    return inside;
}

const ScalingUnit* scaling_unit(char c) {
    for (const ScalingUnit& unit : kScalingUnits) {
        if (unit.unit == c) return &unit;
    }
    return nullptr;
}
