// The language of a help file and the 8-bit code page its own texts are in: readers draw
// titles, contents and index entries in the code page of the file's language and look
// up search words in it, so every such text is written in it, a character outside it
// spelt with letters that are (— as -, “ as ", Ж as Zh).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct HelpLanguage {
    uint32_t lcid;          // 0x0409
    uint16_t code_page;     // 1252
    std::string_view name;  // "English (United States)", as a project file names it
    const uint16_t* upper;  // the code page's bytes 0x80-0xFF as code points
};

// The language of the pages under the language folder `folder` ("ru", "pt_BR",
// "de.ISO8859-1"; "" for pages of no language folder: English).
const HelpLanguage& language_of_folder(std::string_view folder);

// The language a help file of pages in these language folders is written in: that of the
// code page most of them need, and of those the language most of them are in (English
// wins a tie, then the folder named first).
const HelpLanguage& help_language(const std::vector<std::string_view>& folders);

// The Russian help file of the classic run, whose pages declare windows-1251.
const HelpLanguage& russian_language();

// Text in a help language's code page.
class CodePage {
public:
    explicit CodePage(const HelpLanguage& language);

    const HelpLanguage& language() const { return language_; }
    // The byte of a code point, 0 where the code page has none (ASCII is itself).
    uint8_t byte_of(uint32_t code_point) const {
        if (code_point < 0x80) return static_cast<uint8_t>(code_point);
        return code_point < 0x10000 ? reverse_[code_point] : 0;
    }
    uint32_t code_point_of(uint8_t byte) const { return byte < 0x80 ? byte : language_.upper[byte - 0x80]; }
    // Appends the code point in the code page, spelt otherwise where it has no byte.
    void append(std::string& out, uint32_t code_point) const;
    // UTF-8 text in the code page.
    void encode(std::string_view utf8, std::string& out) const;
    std::string encode(std::string_view utf8) const {
        std::string out;
        encode(utf8, out);
        return out;
    }
    // Whether a byte belongs to a search word (a letter, a digit, '_'), and its lower case.
    bool is_word_byte(uint8_t byte) const { return word_[byte]; }
    uint8_t lower(uint8_t byte) const { return lower_[byte]; }

private:
    const HelpLanguage& language_;
    std::vector<uint8_t> reverse_;  // code point -> byte, below U+10000
    std::array<bool, 256> word_{};
    std::array<uint8_t, 256> lower_{};
};

// The ASCII spelling of a code point that a code page lacks ("-" for U+2014, "Zh" for
// U+0416); "?" for one it knows nothing of.
std::string_view transliteration(uint32_t code_point);
