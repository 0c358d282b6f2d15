// Page texts read while identifying, held for the conversion so that it need not open and
// read the same files again, as long as they fit in one store that every identifying
// thread fills. Pages past its end are read again, as they would be without it.
#pragma once

#include <atomic>
#include <cstddef>
#include <string_view>

class TextStore {
public:
    // A store of `capacity` bytes (none at all when the memory cannot be had).
    explicit TextStore(size_t capacity);
    ~TextStore();
    TextStore(const TextStore&) = delete;
    TextStore& operator=(const TextStore&) = delete;

    // A copy of `text` in the store, or a view with no data when it does not fit (or is
    // larger than kHeldTextLimit).
    std::string_view keep(std::string_view text);

private:
    char* block_ = nullptr;
    size_t capacity_ = 0;
    std::atomic<size_t> used_{0};
};

// The most one page may take of a store.
constexpr size_t kHeldTextLimit = size_t{1} << 20;

// What the store of a run may hold: an eighth of the machine's memory, at least 64 MiB,
// at most 1 GiB (256 MiB in a 32-bit program, whose addresses run out first); 128 MiB
// when the memory cannot be told. With 8 GB, a tree of 100,000 pages of 5 KB is held whole.
size_t held_text_capacity();
