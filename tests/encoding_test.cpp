// Page text as UTF-8: which code page a page is read in, and the sequences UTF-8 refuses.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "modern/page/encoding.h"

namespace {

const std::string kRussian = "Команда выводит список файлов каталога.";
const std::string kRussianKoi8R = "\xEB\xCF\xCD\xC1\xCE\xC4\xC1 \xD7\xD9\xD7\xCF\xC4\xC9\xD4 \xD3\xD0\xC9\xD3\xCF\xCB "
                                  "\xC6\xC1\xCA\xCC\xCF\xD7 \xCB\xC1\xD4\xC1\xCC\xCF\xC7\xC1.";
const std::string kRussian1251 = "\xCA\xEE\xEC\xE0\xED\xE4\xE0 \xE2\xFB\xE2\xEE\xE4\xE8\xF2 \xF1\xEF\xE8\xF1\xEE\xEA "
                                 "\xF4\xE0\xE9\xEB\xEE\xE2 \xEA\xE0\xF2\xE0\xEB\xEE\xE3\xE0.";
const std::string kWestern = "Die Größe übermäßig langer Zeilen; déjà vu à côté; configuração da ligação.";
const std::string kWesternLatin1 = "Die Gr\xF6\xDF" "e \xFC" "berm\xE4\xDFig langer Zeilen; d\xE9j\xE0 vu \xE0 c\xF4t\xE9; "
                                   "configura\xE7\xE3o da liga\xE7\xE3o.";

struct Case {
    std::string bytes;
    std::string path;
    std::string text;
};

TEST(ToUtf8, ReadsEachPageInItsCodePage) {
    const std::vector<Case> cases = {
        {kRussian, "man1\\ls.1", kRussian},
        {"\xEF\xBB\xBF" + kRussian, "man1\\ls.1", kRussian},
        {kRussianKoi8R, "ru.KOI8-R\\man1\\ls.1", kRussian},
        {kRussianKoi8R, "man1\\ls.1", kRussian},
        {kRussianKoi8R, "ru_RU.UTF-8\\man1\\ls.1", kRussian},  // not UTF-8 after all: by its language
        {kRussian1251, "ru_RU.CP1251\\man1\\ls.1", kRussian},
        {kRussian1251, "man1\\ls.1", kRussian},
        {kRussian1251, "ru.KOI8-R\\x.windows-1251\\ls.1", kRussian},  // the nearest folder names it
        {kWestern, "de.ISO8859-1\\man1\\ls.1", kWestern},
        {kWesternLatin1, "man1\\ls.1", kWestern},
        {"Za\xBF\xF3\xB3\xE6 g\xEA\xB6l\xB1 ja\xBC\xF1.", "pl.iso_8859-2\\man1\\ls.1", "Zażółć gęślą jaźń."},
        {"\x93\x85\x94", "ls.1", "“…”"},  // high bytes in a row, but not letters
        {"\x80\x81 \x9D\x01\x7F", "ls.1", "€\uFFFD \uFFFD\x01\x7F"},  // undefined in windows-1252
        {"\x85\xE9", "fr.iso88591\\ls.1", "\uFFFD\u00E9"},              // C1 control character
        {"\x98\xE9", "ru.Windows_1251\\ls.1", "\uFFFD\u0439"},
        {"Größe — Fran\xE7ois", "man1\\ls.1", "Größe — François"},  // UTF-8 but for a stray byte, read alone
        {"Zażółć \xB1", "pl\\man1\\ls.1", "Zażółć ą"},               // ... in the code page of its language
        {"\xC3\xA9t\xE9 \xE0", "ls.1", "Ã©té à"},                   // fewer sequences than stray bytes: 8-bit
        {"\xEF\xBB\xBF" "caf\xE9", "ls.1", "café"},                  // a byte-order mark: UTF-8 with a stray byte
        {"P\xF8\xEDli\xB9 \xBElu\xBBou\xE8k\xFD k\xF9\xF2", "cs_CZ.UTF-8\\man1\\ls.1", "Příliš žluťoučký kůň"},
        {"I\xFE\xFDk g\xFC\xE7l\xFC", "tr\\man1\\ls.1", "Işık güçlü"},
        {"\xCA\xE1\xEB\xE7\xEC\xDD\xF1\xE1", "doc\\el_GR\\man1\\ls.1", "Καλημέρα"},  // the nearest language folder
        {"Za\xBF\xF3\xB3\xE6 g\xEA\x9Cl\xB9 ja\x9F\xF1", "pl_PL.CP1250\\man1\\ls.1", "Zażółć gęślą jaźń"},  // code set first
        {"\xF7\xA6\xD4", "uk\\man1\\ls.1", "Віт"},  // KOI8-U, too short a word for the Cyrillic test
    };
    for (const Case& c : cases) {
        std::string out = "left over";
        to_utf8(c.bytes, c.path, out);
        EXPECT_EQ(out, c.text) << c.path;
    }
}

TEST(IsValidUtf8, RefusesOverlongSurrogateTooLargeAndTruncatedSequences) {
    const std::vector<std::pair<std::string, bool>> cases = {
        {"\xC0\xAF", false}, {"\xE0\x9F\xBF", false}, {"\xF0\x8F\xBF\xBF", false}, {"\xE0\xA0\x80", true},
        {"\xED\xA0\x80", false}, {"\xED\x9F\xBF", true}, {"\xF4\x90\x80\x80", false}, {"\xF5\x80\x80\x80", false},
        {"\xF4\x8F\xBF\xBF", true}, {"1234567\xE2\x82", false}, {"\xE2\x82(", false}, {"ab\x80", false},
        {"12345678\xC3\xA9z", true},
    };
    for (const auto& [bytes, valid] : cases) {
        EXPECT_EQ(is_valid_utf8(bytes), valid) << testing::PrintToString(bytes);
    }
    EXPECT_FALSE(is_valid_utf8(std::string_view("\xE2\x82\xAC", 2)));  // the text ends before its last byte
}

}  // namespace
