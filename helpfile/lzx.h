// LZX compression of a help file's compressed section: the stream is cut into reset
// intervals of two 32 KiB frames, each compressed on its own, so that they compress on
// every core and a reader may start at any interval.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace lzx {

constexpr size_t kFrame = 32768;          // bytes of output per frame
constexpr size_t kInterval = 2 * kFrame;  // bytes of output between two resets
constexpr unsigned kWindowBits = 16;      // a 64 KiB window, as help files have it

// One reset interval compressed: its bytes, and where each of its frames begins in them.
struct Interval {
    std::string bytes;
    std::vector<uint32_t> frames;
};

// What a thread keeps from one interval to the next (the match finder's tables), so
// that no interval allocates.
struct Encoder;
struct EncoderDeleter {
    void operator()(Encoder* encoder) const;
};
using EncoderState = std::unique_ptr<Encoder, EncoderDeleter>;
EncoderState make_encoder();

// Compresses one reset interval: `size` bytes, a whole number of frames (one or two).
// Each frame is a verbatim block of matches and Huffman codes, or, where that would come
// out larger, a block of the frame's bytes as they are. The result starts with the
// interval's E8 flag (off) and ends on a 16-bit boundary.
void compress_interval(Encoder& encoder, const uint8_t* data, size_t size, Interval& out);

}  // namespace lzx
