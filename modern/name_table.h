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

// The row named `name`, or nullptr.
template <typename Row, size_t N>
const Row* find_by_name(const Row (&rows)[N], std::string_view name) {
    const Row* it = std::lower_bound(rows, rows + N, name, [](const Row& row, std::string_view n) { return row.name < n; });
    return it != rows + N && it->name == name ? it : nullptr;
}
