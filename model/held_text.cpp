// The store of page texts held from identification for the conversion.
#include "model/held_text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/platform.h"

TextStore::TextStore(size_t capacity) : block_(static_cast<char*>(platform::reserve_memory(capacity))) {
    if (block_ != nullptr) capacity_ = capacity;
}

TextStore::~TextStore() { platform::release_memory(block_, capacity_); }

size_t held_text_capacity() {
    constexpr uint64_t kMiB = uint64_t{1} << 20;
    constexpr uint64_t kMost = sizeof(void*) >= 8 ? 1024 * kMiB : 256 * kMiB;
    uint64_t memory = platform::physical_memory();
    if (memory == 0) return static_cast<size_t>(128 * kMiB);
    return static_cast<size_t>(std::min(std::max(memory / 8, 64 * kMiB), kMost));
}

std::string_view TextStore::keep(std::string_view text) {
    size_t size = text.size();
    if (block_ == nullptr || size > kHeldTextLimit) return {};
    size_t at = used_.load(std::memory_order_relaxed);
    do {
        if (capacity_ - at < size) return {};
    } while (!used_.compare_exchange_weak(at, at + size, std::memory_order_relaxed));
    // An empty text is held too: it needs a place to point at, which the block gives.
    if (size != 0) std::memcpy(block_ + at, text.data(), size);
    return std::string_view(block_ + at, size);
}
