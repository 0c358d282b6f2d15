// The LZX encoder: an LZ77 parse by hash chains with one step of lazy evaluation, the
// three repeated offsets, and per frame one verbatim block with its own Huffman trees,
// sent as differences from the frame before in the same interval.
#include "helpfile/lzx.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "helpfile/huffman.h"

namespace lzx {

namespace {

constexpr size_t kPositionSlots = 32;  // for the 64 KiB window
constexpr size_t kMainSymbols = 256 + 8 * kPositionSlots;
constexpr size_t kLengthSymbols = 249;
constexpr size_t kPretreeSymbols = 20;
constexpr unsigned kCodeLimit = 16;     // main and length trees
constexpr unsigned kPretreeLimit = 15;  // a pretree length is a 4-bit field
constexpr size_t kMaxMatch = 257;
constexpr uint32_t kMaxOffset = (1u << kWindowBits) - 3;

constexpr uint8_t kBlockVerbatim = 1;
constexpr uint8_t kBlockUncompressed = 3;

// The footer bits of each position slot and the first formatted offset it stands for.
constexpr std::array<uint8_t, kPositionSlots> kExtraBits = {0, 0, 0, 0, 1, 1, 2,  2,  3,  3,  4,  4,  5,  5,  6,  6,
                                                            7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14};
constexpr std::array<uint32_t, kPositionSlots> kPositionBase = {
    0,    1,    2,    3,    4,    6,    8,     12,    16,    24,    32,    48,    64,    96,    128,   192,
    256,  384,  512,  768,  1024, 1536, 2048,  3072,  4096,  6144,  8192,  12288, 16384, 24576, 32768, 49152};

// The match finder's reach: how many earlier places it tries, and the lengths at which
// it stops looking further or lazily.
constexpr unsigned kChainLimit = 48;
constexpr size_t kNiceLength = 128;
constexpr size_t kLazyLimit = 48;
// A three-byte match is not worth a long offset.
constexpr uint32_t kFarForShort = 4096;

constexpr unsigned kHashBits = 15;

// The slot of a formatted offset (the offset plus two).
unsigned position_slot(uint32_t formatted) {
    if (formatted < 4) return formatted;
    unsigned top = 31 - static_cast<unsigned>(__builtin_clz(formatted));
    return 2 * top + ((formatted >> (top - 1)) & 1);
}

// Bits written most significant first into 16-bit little-endian words.
class BitWriter {
public:
    explicit BitWriter(std::string& out) : out_(out) {}
    void put(unsigned count, uint32_t value) {
        buffer_ = (buffer_ << count) | (value & ((1u << count) - 1));
        filled_ += count;
        while (filled_ >= 16) {
            filled_ -= 16;
            uint32_t word = static_cast<uint32_t>(buffer_ >> filled_) & 0xFFFF;
            out_.push_back(static_cast<char>(word & 0xFF));
            out_.push_back(static_cast<char>(word >> 8));
        }
    }
    // Zero bits up to the next word; with `whole`, a full zero word when already there.
    void align(bool whole = false) {
        if (filled_ != 0) put(16 - filled_, 0);
        else if (whole) put(16, 0);
    }
    void put_bytes(const uint8_t* data, size_t count) { out_.append(reinterpret_cast<const char*>(data), count); }
    void put_dword(uint32_t value) {
        for (int i = 0; i < 4; ++i) out_.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }

private:
    std::string& out_;
    uint64_t buffer_ = 0;
    unsigned filled_ = 0;
};

// One literal or match of a frame, as the trees will code it.
struct Token {
    uint16_t main;          // the main tree's symbol
    uint16_t length;        // the length tree's symbol, or kNoLength
    uint32_t footer;        // the offset's footer bits
    uint8_t footer_bits;
};
constexpr uint16_t kNoLength = 0xFFFF;

struct Match {
    uint32_t length = 0;
    uint32_t offset = 0;
    bool repeated = false;  // offset is one of the three repeated ones
};

// A match's worth in bits saved, roughly: eight a byte, less what its offset costs.
int worth(const Match& m) {
    if (m.length < 2) return 0;
    int offset_bits = m.repeated ? 0 : kExtraBits[position_slot(m.offset + 2)];
    return static_cast<int>(8 * m.length) - offset_bits - 6;
}

}  // namespace

struct Encoder {
    std::array<int32_t, 1u << kHashBits> head;
    std::array<int32_t, kInterval> previous;
    std::array<Token, kInterval> tokens;
    std::array<uint8_t, kMainSymbols> main_lengths, last_main;
    std::array<uint8_t, kLengthSymbols> length_lengths, last_length;
    std::array<uint32_t, 3> repeated;
    const uint8_t* data;
    size_t size;
    std::string whole, framed, frame_bytes;
};

void EncoderDeleter::operator()(Encoder* encoder) const { delete encoder; }

EncoderState make_encoder() { return EncoderState(new Encoder()); }

namespace {

uint32_t hash3(const uint8_t* p) {
    uint32_t v = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16);
    return (v * 2654435761u) >> (32 - kHashBits);
}

void insert(Encoder& e, size_t position) {
    if (position + 2 >= e.size) return;
    uint32_t h = hash3(e.data + position);
    e.previous[position] = e.head[h];
    e.head[h] = static_cast<int32_t>(position);
}

size_t common_length(const uint8_t* a, const uint8_t* b, size_t limit) {
    size_t n = 0;
    while (n + 8 <= limit) {
        uint64_t x, y;
        std::memcpy(&x, a + n, 8);
        std::memcpy(&y, b + n, 8);
        if (x != y) return n + static_cast<size_t>(__builtin_ctzll(x ^ y) / 8);
        n += 8;
    }
    while (n < limit && a[n] == b[n]) ++n;
    return n;
}

// The best match at `position`, which is inserted into the chains first; `end` is where
// the frame ends, which no match crosses.
Match find_match(Encoder& e, size_t position, size_t end) {
    Match best;
    size_t limit = std::min(kMaxMatch, end - position);
    if (limit < 2) {
        insert(e, position);
        return best;
    }
    const uint8_t* here = e.data + position;
    for (uint32_t offset : e.repeated) {
        if (offset > position) continue;
        size_t length = common_length(here, here - offset, limit);
        if (length >= 2 && length > best.length) best = {static_cast<uint32_t>(length), offset, true};
    }
    if (position + 2 >= e.size) return best;
    uint32_t h = hash3(here);
    int32_t candidate = e.head[h];
    e.previous[position] = candidate;
    e.head[h] = static_cast<int32_t>(position);
    Match found;
    for (unsigned tries = 0; candidate >= 0 && tries < kChainLimit; ++tries) {
        uint32_t offset = static_cast<uint32_t>(position - static_cast<size_t>(candidate));
        if (offset > kMaxOffset) break;
        const uint8_t* there = e.data + candidate;
        if (there[found.length] == here[found.length] || found.length == 0) {
            size_t length = common_length(here, there, limit);
            if (length > found.length) {
                found = {static_cast<uint32_t>(length), offset, false};
                if (length >= kNiceLength || length == limit) break;
            }
        }
        candidate = e.previous[static_cast<size_t>(candidate)];
    }
    if (found.length == 3 && found.offset > kFarForShort) found = Match{};
    if (found.length >= 3 && worth(found) > worth(best)) best = found;
    return best;
}

void add_literal(Encoder& e, size_t& count, uint8_t byte) { e.tokens[count++] = {byte, kNoLength, 0, 0}; }

// The tokens of a match, the repeated offsets updated as the decoder will.
void add_match(Encoder& e, size_t& count, const Match& m) {
    auto& r = e.repeated;
    unsigned slot;
    uint32_t footer = 0;
    if (m.offset == r[0]) {
        slot = 0;
    } else if (m.offset == r[1]) {
        slot = 1;
        std::swap(r[0], r[1]);
    } else if (m.offset == r[2]) {
        slot = 2;
        std::swap(r[0], r[2]);
    } else {
        uint32_t formatted = m.offset + 2;
        slot = position_slot(formatted);
        footer = formatted - kPositionBase[slot];
        r[2] = r[1];
        r[1] = r[0];
        r[0] = m.offset;
    }
    uint32_t header = std::min<uint32_t>(m.length - 2, 7);
    e.tokens[count++] = {static_cast<uint16_t>(256 + slot * 8 + header),
                         header == 7 ? static_cast<uint16_t>(m.length - 9) : kNoLength, footer,
                         static_cast<uint8_t>(slot < 3 ? 0 : kExtraBits[slot])};
}

// The LZ77 parse of the frame [start, end): tokens after the `count` there are, with one
// step of lazy evaluation.
size_t parse_frame(Encoder& e, size_t start, size_t end, size_t count) {
    size_t position = start;
    Match current = find_match(e, position, end);
    while (position < end) {
        if (current.length < 2) {
            add_literal(e, count, e.data[position]);
            if (++position < end) current = find_match(e, position, end);
            continue;
        }
        if (current.length < kLazyLimit && position + 1 < end) {
            Match next = find_match(e, position + 1, end);
            if (worth(next) > worth(current)) {
                add_literal(e, count, e.data[position]);
                ++position;
                current = next;
                continue;
            }
            for (size_t p = position + 2; p < position + current.length; ++p) insert(e, p);
        } else {
            for (size_t p = position + 1; p < position + current.length; ++p) insert(e, p);
        }
        add_match(e, count, current);
        position += current.length;
        if (position < end) current = find_match(e, position, end);
    }
    return count;
}

// The code lengths of one range of a tree, sent as differences from the lengths the
// frame before sent, through a pretree of their own.
void put_lengths(BitWriter& bits, const uint8_t* last, const uint8_t* now, size_t n) {
    struct Code {
        uint8_t symbol, extra_bits;
        uint8_t extra;
    };
    std::array<Code, kMainSymbols> codes;
    size_t count = 0;
    for (size_t i = 0; i < n;) {
        size_t zeros = 0;
        while (i + zeros < n && now[i + zeros] == 0) ++zeros;
        if (zeros >= 20) {
            size_t run = std::min<size_t>(zeros, 51);
            codes[count++] = {18, 5, static_cast<uint8_t>(run - 20)};
            i += run;
        } else if (zeros >= 4) {
            codes[count++] = {17, 4, static_cast<uint8_t>(zeros - 4)};
            i += zeros;
        } else {
            codes[count++] = {static_cast<uint8_t>((last[i] + 17 - now[i]) % 17), 0, 0};
            ++i;
        }
    }
    std::array<uint32_t, kPretreeSymbols> frequency{};
    for (size_t k = 0; k < count; ++k) ++frequency[codes[k].symbol];
    std::array<uint8_t, kPretreeSymbols> lengths;
    std::array<uint16_t, kPretreeSymbols> pretree;
    huffman::code_lengths(frequency.data(), kPretreeSymbols, kPretreeLimit, lengths.data());
    huffman::canonical_codes(lengths.data(), kPretreeSymbols, pretree.data());
    for (uint8_t length : lengths) bits.put(4, length);
    for (size_t k = 0; k < count; ++k) {
        bits.put(lengths[codes[k].symbol], pretree[codes[k].symbol]);
        if (codes[k].extra_bits != 0) bits.put(codes[k].extra_bits, codes[k].extra);
    }
}

// A verbatim block of the tokens [first, end), `block_size` bytes of output, its trees
// sent against the last ones. A block that spans frames has each frame's end (after the
// token `frame_end`) padded to a word, where `frame_start` says the next one begins.
void put_verbatim(Encoder& e, BitWriter& bits, std::string& out, size_t first, size_t end, size_t block_size,
                  size_t frame_end = SIZE_MAX, size_t* frame_start = nullptr) {
    std::array<uint32_t, kMainSymbols> main_frequency{};
    std::array<uint32_t, kLengthSymbols> length_frequency{};
    for (size_t k = first; k < end; ++k) {
        ++main_frequency[e.tokens[k].main];
        if (e.tokens[k].length != kNoLength) ++length_frequency[e.tokens[k].length];
    }
    huffman::code_lengths(main_frequency.data(), kMainSymbols, kCodeLimit, e.main_lengths.data());
    huffman::code_lengths(length_frequency.data(), kLengthSymbols, kCodeLimit, e.length_lengths.data());
    std::array<uint16_t, kMainSymbols> main_codes;
    std::array<uint16_t, kLengthSymbols> length_codes;
    huffman::canonical_codes(e.main_lengths.data(), kMainSymbols, main_codes.data());
    huffman::canonical_codes(e.length_lengths.data(), kLengthSymbols, length_codes.data());

    bits.put(3, kBlockVerbatim);
    bits.put(24, static_cast<uint32_t>(block_size));
    put_lengths(bits, e.last_main.data(), e.main_lengths.data(), 256);
    put_lengths(bits, e.last_main.data() + 256, e.main_lengths.data() + 256, kMainSymbols - 256);
    put_lengths(bits, e.last_length.data(), e.length_lengths.data(), kLengthSymbols);
    for (size_t k = first; k < end; ++k) {
        const Token& t = e.tokens[k];
        bits.put(e.main_lengths[t.main], main_codes[t.main]);
        if (t.length != kNoLength) bits.put(e.length_lengths[t.length], length_codes[t.length]);
        if (t.footer_bits != 0) bits.put(t.footer_bits, t.footer);
        if (k + 1 == frame_end) {
            bits.align();
            *frame_start = out.size();
        }
    }
}

// A block of the frame's bytes as they are, with the repeated offsets as they stand after
// the frame's parse, which the decoder takes up for the frames after it.
void put_uncompressed(Encoder& e, BitWriter& bits, size_t start, size_t frame_size,
                      const std::array<uint32_t, 3>& repeated) {
    bits.put(3, kBlockUncompressed);
    bits.put(24, static_cast<uint32_t>(frame_size));
    bits.align(true);
    for (uint32_t r : repeated) bits.put_dword(r);
    bits.put_bytes(e.data + start, frame_size);
    if (frame_size % 2 != 0) bits.put_bytes(reinterpret_cast<const uint8_t*>("\0"), 1);
}

}  // namespace

void compress_interval(Encoder& e, const uint8_t* data, size_t size, Interval& out) {
    e.data = data;
    e.size = size;
    e.head.fill(-1);
    e.repeated = {1, 1, 1};
    // The parse of each frame (no match crosses a frame's end), and the repeated offsets
    // after it.
    size_t frames = (size + kFrame - 1) / kFrame;
    std::array<size_t, 3> token_end{};
    std::array<std::array<uint32_t, 3>, 2> repeated_after{};
    for (size_t f = 0; f < frames; ++f) {
        token_end[f + 1] = parse_frame(e, f * kFrame, std::min(size, (f + 1) * kFrame), token_end[f]);
        repeated_after[f] = e.repeated;
    }
    // Each frame a block of its own: verbatim, its trees sent against the frame before's,
    // or as it is where the codes do not shrink it (its trees are then not the last ones).
    e.last_main.fill(0);
    e.last_length.fill(0);
    e.framed.clear();
    std::array<size_t, 2> frame_start{};
    for (size_t f = 0; f < frames; ++f) {
        size_t frame_size = std::min(size, (f + 1) * kFrame) - f * kFrame;
        frame_start[f] = e.framed.size();
        e.frame_bytes.clear();
        BitWriter bits(e.frame_bytes);
        if (f == 0) bits.put(1, 0);  // no E8 translation
        auto last_main = e.last_main;
        auto last_length = e.last_length;
        put_verbatim(e, bits, e.frame_bytes, token_end[f], token_end[f + 1], frame_size);
        bits.align();
        if (e.frame_bytes.size() > frame_size + 16) {
            e.frame_bytes.clear();
            BitWriter raw(e.frame_bytes);
            if (f == 0) raw.put(1, 0);
            put_uncompressed(e, raw, f * kFrame, frame_size, repeated_after[f]);
            e.last_main = last_main;
            e.last_length = last_length;
        } else {
            e.last_main = e.main_lengths;
            e.last_length = e.length_lengths;
        }
        e.framed += e.frame_bytes;
    }
    // Or one block for the whole interval, its trees sent once, where that is smaller.
    size_t whole_second = 0;
    if (frames == 2) {
        e.last_main.fill(0);
        e.last_length.fill(0);
        e.whole.clear();
        BitWriter bits(e.whole);
        bits.put(1, 0);
        put_verbatim(e, bits, e.whole, 0, token_end[2], size, token_end[1], &whole_second);
        bits.align();
    }
    bool whole = frames == 2 && e.whole.size() < e.framed.size();
    out.bytes.swap(whole ? e.whole : e.framed);
    out.frames.assign({0});
    if (frames == 2) out.frames.push_back(static_cast<uint32_t>(whole ? whole_second : frame_start[1]));
}

}  // namespace lzx
