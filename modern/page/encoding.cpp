// Page text as UTF-8.
#include "modern/page/encoding.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "model/code_pages.h"
#include "model/letters.h"
#include "model/utf8.h"

namespace {

// The code page that the folder name `folder` names, or null.
const CodePageName* named_by(std::string_view folder) {
    size_t dot = folder.rfind('.');
    if (dot == std::string_view::npos) return nullptr;
    char folded[16];  // longer than every name
    size_t length = 0;
    for (char c : folder.substr(dot + 1)) {
        if (c == '-' || c == '_') continue;
        if (length == sizeof folded) return nullptr;
        folded[length++] = lower_case(c);
    }
    for (size_t i = 0; i < kCodePageNameCount; ++i) {
        const CodePageName& row = kCodePageNames[i];
        if (row.name == std::string_view(folded, length)) return &row;
    }
    return nullptr;
}

// The code page named by the nearest folder of `source_path` that names one, or null. The
// last component is the page's own file name and names nothing.
const CodePageName* named_on_path(std::string_view source_path) {
    size_t end = source_path.rfind('\\');
    while (end != std::string_view::npos && end != 0) {
        size_t slash = source_path.rfind('\\', end - 1);
        size_t start = slash == std::string_view::npos ? 0 : slash + 1;
        const CodePageName* named = named_by(source_path.substr(start, end - start));
        if (named != nullptr) return named;
        end = slash;
    }
    return nullptr;
}

// The Cyrillic test. Russian text in KOI8-R or windows-1251 is whole words of bytes at or
// above 0xC0; Western text in windows-1252 has its accented letters one or two at a time
// inside ASCII words. Of the two Cyrillic code pages, the one that reads more of the
// bytes as Russian's most frequent lower-case letters wins: read in the wrong one, the
// lower-case letters of either become capitals.
constexpr size_t kWordRun = 3;  // high bytes in a row that make a word rather than an accent
constexpr uint16_t kFrequentLetters[] = {
    0x043E, 0x0435, 0x0430, 0x0438, 0x043D, 0x0442, 0x0441, 0x0440, 0x0432, 0x043B,  // оеаинтсрвл
};

bool is_frequent_letter(uint16_t code_point) {
    for (uint16_t letter : kFrequentLetters) {
        if (letter == code_point) return true;
    }
    return false;
}

const uint16_t* guessed_code_page(std::string_view bytes) {
    size_t counts[128] = {};
    size_t in_words = 0;
    size_t run = 0;
    for (char ch : bytes) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (c >= 0x80) {
            ++counts[c - 0x80];
            ++run;
        } else {
            if (run >= kWordRun) in_words += run;
            run = 0;
        }
    }
    if (run >= kWordRun) in_words += run;

    size_t high = 0;
    size_t letters = 0;  // bytes at or above 0xC0
    size_t koi8r = 0;
    size_t cp1251 = 0;
    for (size_t b = 0; b < 128; ++b) {
        if (counts[b] == 0) continue;
        high += counts[b];
        if (b >= 0x40) letters += counts[b];
        if (is_frequent_letter(kKoi8R[b])) koi8r += counts[b];
        if (is_frequent_letter(kCp1251[b])) cp1251 += counts[b];
    }
    bool cyrillic = high != 0 && letters * 4 >= high * 3 && in_words * 2 >= high;
    if (!cyrillic) return kCp1252;
    return koi8r >= cp1251 ? kKoi8R : kCp1251;
}

void decode(std::string_view bytes, const uint16_t* upper, std::string& out) {
    out.clear();
    out.reserve(bytes.size() * 2);  // a Cyrillic letter takes two bytes
    for (char ch : bytes) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else {
            append_utf8(out, upper[c - 0x80]);
        }
    }
}

// The well-formed sequences by lead byte: the last lead byte of the row, how many bytes
// follow, and the range of the first of them (the others are always 0x80-0xBF). The
// narrowed ranges shut out overlong forms (E0, F0), surrogates (ED) and code points above
// U+10FFFF (F4); an empty range shuts out a byte that never leads.
struct Sequence {
    unsigned char last_lead;
    unsigned char follow;
    unsigned char second_low;
    unsigned char second_high;
};

constexpr Sequence kSequences[] = {
    {0xC1, 1, 0xFF, 0x00},  // continuation bytes; C0 and C1 lead only overlong forms
    {0xDF, 1, 0x80, 0xBF}, {0xE0, 2, 0xA0, 0xBF}, {0xEC, 2, 0x80, 0xBF}, {0xED, 2, 0x80, 0x9F},
    {0xEF, 2, 0x80, 0xBF}, {0xF0, 3, 0x90, 0xBF}, {0xF3, 3, 0x80, 0xBF}, {0xF4, 3, 0x80, 0x8F},
    {0xFF, 1, 0xFF, 0x00},  // F5-F7 would pass U+10FFFF; F8-FF lead nothing
};

const Sequence& sequence_led_by(unsigned char lead) {
    const Sequence* row = kSequences;
    while (lead > row->last_lead) ++row;
    return *row;
}

constexpr uint64_t kHighBits = 0x8080808080808080u;

}  // namespace

bool is_valid_utf8(std::string_view bytes) {
    const char* data = bytes.data();
    size_t size = bytes.size();
    size_t i = 0;
    while (i < size) {
        // Pages are mostly ASCII: four words a round while they are.
        if (size - i >= 32) {
            uint64_t words[4];
            std::memcpy(words, data + i, 32);
            if (((words[0] | words[1] | words[2] | words[3]) & kHighBits) == 0) {
                i += 32;
                continue;
            }
        }
        if (size - i >= 8) {
            uint64_t word;
            std::memcpy(&word, data + i, 8);
            if ((word & kHighBits) == 0) {
                i += 8;
                continue;
            }
        }
        unsigned char lead = static_cast<unsigned char>(data[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        const Sequence& sequence = sequence_led_by(lead);
        if (size - i - 1 < sequence.follow) return false;
        unsigned char second = static_cast<unsigned char>(data[i + 1]);
        if (second < sequence.second_low || second > sequence.second_high) return false;
        for (size_t k = 2; k <= sequence.follow; ++k) {
            if ((static_cast<unsigned char>(data[i + k]) & 0xC0) != 0x80) return false;
        }
        i += 1 + size_t{sequence.follow};
    }
    return true;
}

namespace {

// The text after a byte order mark, if there is one.
std::string_view without_mark(std::string_view bytes) {
    return bytes.substr(0, 3) == "\xEF\xBB\xBF" ? bytes.substr(3) : bytes;
}

// Bytes that are not UTF-8, decoded by the code page their folder names, else a guess.
void decode_8bit(std::string_view bytes, std::string_view source_path, std::string& out) {
    const CodePageName* named = named_on_path(source_path);
    const uint16_t* upper = named != nullptr && named->upper != nullptr ? named->upper
                                                                         : guessed_code_page(bytes);
    decode(bytes, upper, out);
}

}  // namespace

void to_utf8(std::string_view bytes, std::string_view source_path, std::string& out) {
    const std::string_view text = without_mark(bytes);
    if (is_valid_utf8(text)) out.assign(text.data(), text.size());
    else decode_8bit(bytes, source_path, out);
}

void to_utf8(std::string& text, std::string_view source_path) {
    const size_t mark = text.size() - without_mark(text).size();
    if (is_valid_utf8(std::string_view(text).substr(mark))) {
        text.erase(0, mark);
        return;
    }
    std::string decoded;
    decode_8bit(text, source_path, decoded);
    text.swap(decoded);
}
