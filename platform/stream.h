// Where page text comes from and where HTML goes: a text file, or memory. The converter
// and the writers take these, so tests can run them memory to memory.
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
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
// memory. Putting a few bytes is a copy into the gathering buffer, inline.
class Sink {
public:
    Sink() = default;
    explicit Sink(platform::TextFile& file);
    ~Sink();
    Sink(const Sink&) = delete;
    Sink& operator=(const Sink&) = delete;

    void put(char c) {
        if (used_ == size_) make_room(1);
        buffer_[used_++] = c;
    }
    void put(std::string_view text) {
        // (An empty text on an empty buffer goes the long way too: no copy to nowhere.)
        if (size_ - used_ <= text.size()) {
            put_large(text);
            return;
        }
        std::memcpy(buffer_.get() + used_, text.data(), text.size());
        used_ += text.size();
    }
    void put(const char* data, size_t count) { put(std::string_view(data, count)); }
    // Puts the first `count` bytes of `bytes`: where there is room, all N are copied (a
    // copy of a size known when it is compiled costs less than one of `count`), and what
    // lies past `count` is written over by what comes next.
    template <size_t N>
    void put_fixed(const char (&bytes)[N], size_t count) {
        if (size_ - used_ > N) {
            std::memcpy(buffer_.get() + used_, bytes, N);
            used_ += count;
            return;
        }
        put(std::string_view(bytes, count));
    }

    // Hands what is gathered to the file; nothing happens in memory.
    void flush();

    // What was written, in memory; valid until the next put.
    std::string_view text() const { return std::string_view(buffer_.get(), used_); }

private:
    static constexpr size_t kBlock = 64 * 1024;
    // Makes room for `count` more bytes: a file's buffer is handed over, memory grows.
    void make_room(size_t count);
    void put_large(std::string_view text);

    platform::TextFile* file_ = nullptr;
    std::unique_ptr<char[]> buffer_;  // size_ bytes; the first used_ are written
    size_t size_ = 0;
    size_t used_ = 0;
};
