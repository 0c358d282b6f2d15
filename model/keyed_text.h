// Texts sorted by a key made of their letters in one case, then by the texts themselves,
// without moving strings: the folder listings of the walk and the keywords of the index.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// In one string that holds them all, the key at [offset, offset + length), the text itself
// right after it. `prefix` holds the key's first eight bytes (big-endian, padded with
// zeros), so that most comparisons are of two numbers.
struct KeyedText {
    uint64_t prefix = 0;
    uint32_t offset = 0, length = 0;
};

// Makes the text at the end of `texts`, from `offset` on, a keyed text: the text is
// appended once more, and its first copy, the key, has each byte put through `fold`.
template <typename Fold>
KeyedText key_last(std::string& texts, size_t offset, Fold fold) {
    KeyedText k{0, static_cast<uint32_t>(offset), static_cast<uint32_t>(texts.size() - offset)};
    texts.append(texts, offset, k.length);
    for (uint32_t i = 0; i < k.length; ++i) {
        char& c = texts[offset + i];
        c = fold(c);
        if (i < 8) k.prefix |= uint64_t{static_cast<unsigned char>(c)} << (56 - 8 * i);
    }
    return k;
}

inline std::string_view text_of(std::string_view texts, const KeyedText& k) {
    return texts.substr(k.offset + k.length, k.length);
}

// Below, at or above 0 as `a` comes before, with or after `b`: by key, its bytes unsigned
// (a key before the longer keys it begins), then by text.
inline int compare_keyed(std::string_view texts, const KeyedText& a, const KeyedText& b) {
    if (a.prefix != b.prefix) return a.prefix < b.prefix ? -1 : 1;
    int order = texts.substr(a.offset, a.length).compare(texts.substr(b.offset, b.length));
    return order != 0 ? order : text_of(texts, a).compare(text_of(texts, b));
}
