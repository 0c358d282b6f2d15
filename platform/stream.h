// Where page text comes from and where HTML goes: a text file, or memory. The converter
// and the writers take these, so tests can run them memory to memory.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/platform.h"

// Bytes read from a text file, or from a string in memory.
class Source {
public:
    explicit Source(platform::TextFile& file) : file_(&file) {}
    explicit Source(std::string_view memory) : memory_(memory) {}

    // Reads up to `count` bytes; fewer only at the end.
    size_t read(char* buffer, size_t count);

private:
    platform::TextFile* file_ = nullptr;
    std::string_view memory_;
    size_t position_ = 0;
};

// Bytes written to a text file (gathered and handed over in large blocks), or kept in
// memory.
class Sink {
public:
    Sink() = default;
    explicit Sink(platform::TextFile& file) : file_(&file) { pending_.reserve(kBlock + 256); }

    void put(char c) {
        pending_ += c;
        if (file_ != nullptr && pending_.size() >= kBlock) flush();
    }
    void put(std::string_view text) {
        pending_ += text;
        if (file_ != nullptr && pending_.size() >= kBlock) flush();
    }
    void put(const char* data, size_t count) { put(std::string_view(data, count)); }

    // Hands what is gathered to the file; nothing happens in memory.
    void flush();

    // What was written, in memory.
    const std::string& text() const { return pending_; }

private:
    static constexpr size_t kBlock = 64 * 1024;
    platform::TextFile* file_ = nullptr;
    std::string pending_;
};
