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

// What the store of a run holds, and the most one page may take of it.
constexpr size_t kHeldTextCapacity = size_t{128} << 20;
constexpr size_t kHeldTextLimit = size_t{1} << 20;
