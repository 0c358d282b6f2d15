// UTF-8 one code point at a time: read from text, written to text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The code point that starts at text[i], moving i past it. A byte that starts no whole
// sequence reads as U+FFFD and is passed over alone.
inline uint32_t next_code_point(std::string_view text, size_t& i) {
    unsigned char lead = static_cast<unsigned char>(text[i++]);
    if (lead < 0x80) return lead;
    size_t follow = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
    if (follow == 0 || lead > 0xF4 || text.size() - i < follow) return 0xFFFD;
    uint32_t code_point = lead & (0x3F >> follow);
    for (size_t k = 0; k < follow; ++k) {
        unsigned char c = static_cast<unsigned char>(text[i + k]);
        if ((c & 0xC0) != 0x80) return 0xFFFD;
        code_point = (code_point << 6) | (c & 0x3F);
    }
    i += follow;
    return code_point;
}

// Appends the UTF-8 of `code_point` to `out` (a string or any buffer that appends a
// string_view).
template <typename Out>
void append_utf8(Out& out, uint32_t code_point) {
    constexpr unsigned char kLead[] = {0x00, 0x00, 0xC0, 0xE0, 0xF0};
    const size_t length = code_point < 0x80 ? 1 : code_point < 0x800 ? 2 : code_point < 0x10000 ? 3 : 4;
    char bytes[4];
    for (size_t i = length - 1; i > 0; --i, code_point >>= 6) {
        bytes[i] = static_cast<char>(0x80 | (code_point & 0x3F));
    }
    bytes[0] = static_cast<char>(kLead[length] | code_point);
    out.append(std::string_view(bytes, length));
}
