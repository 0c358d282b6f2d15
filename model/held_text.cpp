// The store of page texts held from identification for the conversion.
#include "model/held_text.h"

#include <cstring>

#include "platform/platform.h"

TextStore::TextStore(size_t capacity) : block_(static_cast<char*>(platform::reserve_memory(capacity))) {
    if (block_ != nullptr) capacity_ = capacity;
}

TextStore::~TextStore() { platform::release_memory(block_, capacity_); }

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
