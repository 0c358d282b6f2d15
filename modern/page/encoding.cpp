// Page text as UTF-8.
#include "modern/page/encoding.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "model/code_pages.h"
#include "model/letters.h"
#include "model/paths.h"
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

// The row that `row_of` gives for the nearest folder of `source_path` that has one, or
// null. The last component is the page's own file name and names nothing.
template <typename Row, typename RowOf>
const Row* nearest_folder_row(std::string_view source_path, RowOf row_of) {
    size_t end = source_path.rfind('\\');
    while (end != std::string_view::npos && end != 0) {
        size_t slash = source_path.rfind('\\', end - 1);
        size_t start = slash == std::string_view::npos ? 0 : slash + 1;
        if (const Row* row = row_of(source_path.substr(start, end - start))) return row;
        end = slash;
    }
    return nullptr;
}

// The code pages of the language that the folder name `folder` gives, or null.
const LanguageCodePage* language_of(std::string_view folder) {
    std::string_view code = language_code(folder);
    for (size_t i = 0; i < kLanguageCodePageCount && !code.empty(); ++i) {
        if (kLanguageCodePages[i].language == code) return &kLanguageCodePages[i];
    }
    return nullptr;
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

// The length of the character at `i`: 1 for ASCII, that of a well-formed sequence, 0 for a
// stray byte (one that leads no well-formed sequence).
size_t character_length(std::string_view bytes, size_t i) {
    unsigned char lead = static_cast<unsigned char>(bytes[i]);
    if (lead < 0x80) return 1;
    const Sequence& sequence = sequence_led_by(lead);
    if (bytes.size() - i - 1 < sequence.follow) return 0;
    unsigned char second = static_cast<unsigned char>(bytes[i + 1]);
    if (second < sequence.second_low || second > sequence.second_high) return 0;
    for (size_t k = 2; k <= sequence.follow; ++k) {
        if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80) return 0;
    }
    return 1 + size_t{sequence.follow};
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
        size_t length = character_length(bytes, i);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

namespace {

// The text after a byte order mark, if there is one.
std::string_view without_mark(std::string_view bytes) {
    return bytes.substr(0, 3) == "\xEF\xBB\xBF" ? bytes.substr(3) : bytes;
}

// Whether a page that is not all valid UTF-8 is UTF-8 with stray bytes: its high bytes
// either lead a well-formed multi-byte sequence or are stray. An 8-bit page holds a
// well-formed sequence only by chance (a capital before і in windows-1251 Ukrainian, "Ã©"
// in Latin-1), one in many words, while a UTF-8 page that had a few bytes of another code
// page pasted in (an author's name in Latin-1) holds far more sequences than strays. So
// the page is UTF-8 when it opens with a byte-order mark, or holds at least as many
// sequences as stray bytes. The rule leans to UTF-8: its stray bytes are decoded alone, as
// the whole page would be, so an 8-bit page read as UTF-8 loses its chance sequences only,
// while a UTF-8 page read as 8-bit would lose every character it has beyond ASCII.
bool is_utf8_with_strays(std::string_view bytes) {
    size_t sequences = 0;
    size_t strays = 0;
    for (size_t i = 0; i < bytes.size();) {
        size_t length = character_length(bytes, i);
        sequences += length > 1;
        strays += length == 0;
        i += length == 0 ? 1 : length;
    }
    return sequences >= strays;
}

// The bytes that the 8-bit code page decodes (all the high bytes, or of a UTF-8 page the
// stray ones), by value, and how many of them stand in runs of kWordRun or more.
struct HighBytes {
    size_t counts[128] = {};
    size_t in_words = 0;
};

HighBytes count_high_bytes(std::string_view bytes, bool utf8) {
    HighBytes high;
    size_t run = 0;
    for (size_t i = 0; i < bytes.size();) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        size_t length = c < 0x80 ? 1 : utf8 ? character_length(bytes, i) : 0;
        if (length == 0) {
            ++high.counts[c - 0x80];
            ++run;
            ++i;
            continue;
        }
        if (run >= kWordRun) high.in_words += run;  // ASCII or a sequence ends a run
        run = 0;
        i += length;
    }
    if (run >= kWordRun) high.in_words += run;
    return high;
}

// Of two code pages, the one that reads more of the bytes as frequent letters (the first
// on a tie).
const uint16_t* likelier(const HighBytes& high, const uint16_t* first, const uint16_t* second) {
    size_t first_letters = 0;
    size_t second_letters = 0;
    for (size_t b = 0; b < 128; ++b) {
        if (is_frequent_letter(first[b])) first_letters += high.counts[b];
        if (is_frequent_letter(second[b])) second_letters += high.counts[b];
    }
    return first_letters >= second_letters ? first : second;
}

const uint16_t* guessed_code_page(const HighBytes& high_bytes) {
    size_t high = 0;
    size_t letters = 0;  // bytes at or above 0xC0
    for (size_t b = 0; b < 128; ++b) {
        high += high_bytes.counts[b];
        if (b >= 0x40) letters += high_bytes.counts[b];
    }
    bool cyrillic = high != 0 && letters * 4 >= high * 3 && high_bytes.in_words * 2 >= high;
    return cyrillic ? likelier(high_bytes, kKoi8R, kCp1251) : kCp1252;
}

// The 8-bit code page of a page: named by a folder, else its language's, else a guess.
const uint16_t* code_page_of(std::string_view bytes, bool utf8, std::string_view source_path) {
    const CodePageName* named = nearest_folder_row<CodePageName>(source_path, named_by);
    if (named != nullptr && named->upper != nullptr) return named->upper;
    const LanguageCodePage* language = nearest_folder_row<LanguageCodePage>(source_path, language_of);
    if (language != nullptr && language->other == nullptr) return language->upper;
    HighBytes high = count_high_bytes(bytes, utf8);
    return language != nullptr ? likelier(high, language->upper, language->other) : guessed_code_page(high);
}

// Bytes that are not all valid UTF-8, as UTF-8: those of a UTF-8 page with strays keep
// their well-formed sequences, every other high byte is decoded alone.
void decode_8bit(std::string_view bytes, bool marked, std::string_view source_path, std::string& out) {
    const bool utf8 = marked || is_utf8_with_strays(bytes);
    const uint16_t* upper = code_page_of(bytes, utf8, source_path);
    out.clear();
    out.reserve(bytes.size() * 2);  // a Cyrillic letter takes two bytes
    for (size_t i = 0; i < bytes.size();) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        size_t length = c < 0x80 ? 1 : utf8 ? character_length(bytes, i) : 0;
        if (length == 0) {
            append_utf8(out, upper[c - 0x80]);
            ++i;
        } else {
            out.append(bytes.data() + i, length);
            i += length;
        }
    }
}

}  // namespace

void to_utf8(std::string_view bytes, std::string_view source_path, std::string& out) {
    const std::string_view text = without_mark(bytes);
    if (is_valid_utf8(text)) out.assign(text.data(), text.size());
    else decode_8bit(text, text.size() != bytes.size(), source_path, out);
}

void to_utf8(std::string& text, std::string_view source_path) {
    const std::string_view rest = without_mark(text);
    if (is_valid_utf8(rest)) {
        text.erase(0, text.size() - rest.size());
        return;
    }
    std::string decoded;
    decode_8bit(rest, rest.size() != text.size(), source_path, decoded);
    text.swap(decoded);
}
