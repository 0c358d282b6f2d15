// Tables of rows found by name (requests, macros, strings, fonts ...): sorted, which the
// compiler checks, and searched among the rows that share the name's first byte.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

// Whether `rows` are sorted by their `name` member, strictly (no name twice), and no name
// is empty.
template <typename Row, size_t N>
constexpr bool is_sorted_by_name(const Row (&rows)[N]) {
    for (size_t i = 0; i < N; ++i) {
        if (rows[i].name.empty() || (i > 0 && !(rows[i - 1].name < rows[i].name))) return false;
    }
    return true;
}

// A sorted table with, for every first byte, where its rows begin: a search looks only at
// the few rows that share the name's first byte. Made by the compiler.
template <typename Row, size_t N>
class NameTable {
public:
    constexpr explicit NameTable(const Row (&rows)[N]) : rows_(rows) {
        size_t i = 0;
        for (size_t c = 0; c < 256; ++c) {
            start_[c] = static_cast<uint16_t>(i);
            while (i < N && static_cast<unsigned char>(rows[i].name[0]) == c) ++i;
        }
        start_[256] = static_cast<uint16_t>(N);
    }

    // The row named `name`, or nullptr.
    constexpr const Row* find(std::string_view name) const {
        if (name.empty()) return nullptr;
        const unsigned char first = static_cast<unsigned char>(name[0]);
        const Row* begin = rows_ + start_[first];
        const Row* end = rows_ + start_[first + 1];
        // Few rows share a first byte: a look at each, by length first, beats a search.
        for (const Row* it = begin; it != end; ++it) {
            if (it->name.size() == name.size() && same_tail(it->name, name)) return it;
        }
        return nullptr;
    }

private:
    // Whether two names of one length and one first byte are the same: names are short,
    // so a loop here costs less than a library call.
    static constexpr bool same_tail(std::string_view a, std::string_view b) {
        for (size_t i = 1; i < a.size(); ++i) {
            if (a[i] != b[i]) return false;
        }
        return true;
    }

    const Row* rows_;
    uint16_t start_[257]{};
};

// The row named `name`, or nullptr (for tables searched seldom).
template <typename Row, size_t N>
const Row* find_by_name(const Row (&rows)[N], std::string_view name) {
    const Row* it = std::lower_bound(rows, rows + N, name, [](const Row& row, std::string_view n) { return row.name < n; });
    return it != rows + N && it->name == name ? it : nullptr;
}
