// Tables of rows found by name (requests, macros, strings, fonts ...): sorted, which the
// compiler checks, and searched by halves.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string_view>

// Whether `rows` are sorted by their `name` member, strictly (no name twice).
template <typename Row, size_t N>
constexpr bool is_sorted_by_name(const Row (&rows)[N]) {
    for (size_t i = 1; i < N; ++i) {
        if (!(rows[i - 1].name < rows[i].name)) return false;
    }
    return true;
}

// The row named `name`, or nullptr. (The first characters decide most steps of the
// search by halves, without a call to compare the rest.)
template <typename Row, size_t N>
const Row* find_by_name(const Row (&rows)[N], std::string_view name) {
    auto before = [](const Row& row, std::string_view n) {
        if (!row.name.empty() && !n.empty() && row.name[0] != n[0]) return row.name[0] < n[0];
        return row.name < n;
    };
    const Row* it = std::lower_bound(rows, rows + N, name, before);
    return it != rows + N && it->name == name ? it : nullptr;
}
