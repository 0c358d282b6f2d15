// Help languages, their code pages, and the spelling of what a code page lacks.
#include "helpfile/code_page.h"

#include <algorithm>
#include <map>

#include "model/code_pages.h"
#include "model/utf8.h"

namespace {

struct LanguageRow {
    std::string_view code;  // the folder's language, as folders name it
    HelpLanguage language;
};

constexpr std::string_view kEnglishName = "English (United States)";

// The languages whose code page a help file can be written in; any other language's
// pages make an English help file.
const LanguageRow kLanguages[] = {
    {"ca", {0x0403, 1252, "Catalan", kCp1252}},
    {"cs", {0x0405, 1250, "Czech", kCp1250}},
    {"da", {0x0406, 1252, "Danish", kCp1252}},
    {"de", {0x0407, 1252, "German (Germany)", kCp1252}},
    {"en", {0x0409, 1252, kEnglishName, kCp1252}},
    {"es", {0x0C0A, 1252, "Spanish (Spain)", kCp1252}},
    {"fi", {0x040B, 1252, "Finnish", kCp1252}},
    {"fr", {0x040C, 1252, "French (France)", kCp1252}},
    {"hr", {0x041A, 1250, "Croatian", kCp1250}},
    {"hu", {0x040E, 1250, "Hungarian", kCp1250}},
    {"id", {0x0421, 1252, "Indonesian", kCp1252}},
    {"it", {0x0410, 1252, "Italian (Italy)", kCp1252}},
    {"nb", {0x0414, 1252, "Norwegian (Bokmal)", kCp1252}},
    {"nl", {0x0413, 1252, "Dutch (Netherlands)", kCp1252}},
    {"no", {0x0414, 1252, "Norwegian (Bokmal)", kCp1252}},
    {"pl", {0x0415, 1250, "Polish", kCp1250}},
    {"pt", {0x0816, 1252, "Portuguese (Portugal)", kCp1252}},
    {"pt_BR", {0x0416, 1252, "Portuguese (Brazil)", kCp1252}},
    {"ro", {0x0418, 1250, "Romanian", kCp1250}},
    {"ru", {0x0419, 1251, "Russian", kCp1251}},
    {"sk", {0x041B, 1250, "Slovak", kCp1250}},
    {"sl", {0x0424, 1250, "Slovenian", kCp1250}},
    {"sr", {0x0C1A, 1251, "Serbian (Cyrillic)", kCp1251}},
    {"sv", {0x041D, 1252, "Swedish", kCp1252}},
    {"uk", {0x0422, 1251, "Ukrainian", kCp1251}},
};

const HelpLanguage* language_named(std::string_view code) {
    for (const LanguageRow& row : kLanguages) {
        if (row.code == code) return &row.language;
    }
    return nullptr;
}

const HelpLanguage& english() {
    static const HelpLanguage& language = *language_named("en");
    return language;
}

// ---- Spellings ------------------------------------------------------------------------

// Latin letters with marks, U+00C0-U+017F, by their letter; '*' where it takes two.
constexpr std::string_view kLatinLetters =
    "AAAAAA*CEEEEIIIIDNOOOOOxOUUUUY*"   // U+00C0-U+00DE
    "*aaaaaa*ceeeeiiiidnooooo/ouuuuy*y"  // U+00DF-U+00FF
    "AaAaAaCcCcCcCcDdDdEeEeEeEeEeGgGgGgGgHhHhIiIiIiIiIi**JjKkkLlLlLlLlLlNnNnNnnNnOoOoOo**RrRrRrSsSsSsSsTtTtTtUuUuUuUuUuUuWwYyYZzZzZzs";
struct Spelling {
    uint32_t code_point;
    std::string_view text;
};
// Sorted by code point.
constexpr Spelling kSpellings[] = {
    {0x00A0, " "},    {0x00A1, "!"},     {0x00A2, "c"},    {0x00A3, "GBP"},   {0x00A4, "$"},    {0x00A5, "JPY"},
    {0x00A6, "|"},    {0x00A7, "S"},     {0x00A8, "\""},   {0x00A9, "(C)"},   {0x00AA, "a"},    {0x00AB, "\""},
    {0x00AC, "!"},    {0x00AD, ""},      {0x00AE, "(R)"},  {0x00AF, "-"},     {0x00B0, "o"},    {0x00B1, "+-"},
    {0x00B2, "2"},    {0x00B3, "3"},     {0x00B4, "'"},    {0x00B5, "u"},     {0x00B6, "P"},    {0x00B7, "."},
    {0x00B8, ","},    {0x00B9, "1"},     {0x00BA, "o"},    {0x00BB, "\""},    {0x00BC, "1/4"},  {0x00BD, "1/2"},
    {0x00BE, "3/4"},  {0x00BF, "?"},     {0x00C6, "AE"},   {0x00DE, "TH"},    {0x00DF, "ss"},   {0x00E6, "ae"},
    {0x00FE, "th"},   {0x0132, "IJ"},    {0x0133, "ij"},   {0x0152, "OE"},    {0x0153, "oe"},   {0x02C6, "^"},
    {0x02DC, "~"},    {0x2002, " "},     {0x2003, " "},    {0x2004, " "},     {0x2005, " "},    {0x2006, " "},
    {0x2007, " "},    {0x2008, " "},     {0x2009, " "},    {0x200A, " "},     {0x200B, ""},     {0x200C, ""},
    {0x200D, ""},     {0x2010, "-"},     {0x2011, "-"},    {0x2012, "-"},     {0x2013, "-"},    {0x2014, "-"},
    {0x2015, "-"},    {0x2016, "||"},    {0x2018, "'"},    {0x2019, "'"},     {0x201A, ","},    {0x201B, "'"},
    {0x201C, "\""},   {0x201D, "\""},    {0x201E, "\""},   {0x201F, "\""},    {0x2020, "+"},    {0x2021, "+"},
    {0x2022, "*"},    {0x2026, "..."},   {0x202F, " "},    {0x2030, "%o"},    {0x2032, "'"},    {0x2033, "\""},
    {0x2039, "<"},    {0x203A, ">"},     {0x2044, "/"},    {0x2060, ""},      {0x20AC, "EUR"},  {0x2122, "(TM)"},
    {0x2190, "<-"},   {0x2191, "^"},     {0x2192, "->"},   {0x2193, "v"},     {0x2194, "<->"},  {0x21D0, "<="},
    {0x21D2, "=>"},   {0x21D4, "<=>"},   {0x2212, "-"},    {0x2215, "/"},     {0x2217, "*"},    {0x2218, "o"},
    {0x2219, "."},    {0x221A, "sqrt"},  {0x221E, "inf"},  {0x2227, "&"},     {0x2228, "|"},    {0x2248, "~"},
    {0x2260, "!="},   {0x2261, "=="},    {0x2264, "<="},   {0x2265, ">="},    {0x2500, "-"},    {0x2502, "|"},
    {0x250C, "+"},    {0x2510, "+"},     {0x2514, "+"},    {0x2518, "+"},     {0x251C, "+"},    {0x2524, "+"},
    {0x252C, "+"},    {0x2534, "+"},     {0x253C, "+"},    {0x25A0, "#"},     {0x25CF, "*"},    {0x25E6, "o"},
    {0x2713, "v"},    {0xFEFF, ""},      {0xFFFD, "?"},
};

// Cyrillic U+0400-U+045F, capitals then small letters, a spelling each.
constexpr std::string_view kCyrillic[] = {
    "E",  "E", "Dj", "G", "Je", "Dz", "I", "Ji", "J", "Lj", "Nj", "C",    "K", "I", "U", "Dz",  // U+0400
    "A",  "B", "V",  "G", "D",  "E",  "Zh", "Z", "I", "J",  "K",  "L",    "M", "N", "O", "P",   // U+0410
    "R",  "S", "T",  "U", "F",  "H",  "C", "Ch", "Sh", "Shch", "\"", "Y", "'", "E", "Ju", "Ja",  // U+0420
    "a",  "b", "v",  "g", "d",  "e",  "zh", "z", "i", "j",  "k",  "l",    "m", "n", "o", "p",   // U+0430
    "r",  "s", "t",  "u", "f",  "h",  "c", "ch", "sh", "shch", "\"", "y", "'", "e", "ju", "ja",  // U+0440
    "e",  "e", "dj", "g", "je", "dz", "i", "ji", "j", "lj", "nj", "c",    "k", "i", "u", "dz",  // U+0450
};

// Greek capitals U+0391-U+03A9 (small letters are 0x20 above).
constexpr std::string_view kGreek[] = {
    "A", "B", "G", "D", "E", "Z", "E", "Th", "I", "K", "L", "M", "N", "X", "O", "P", "R", "S", "S", "T", "Y", "F", "Ch", "Ps", "O",
};

// ---- Letters ---------------------------------------------------------------------------

bool is_letter(uint32_t c) {
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_') return true;
    if (c == 0xAA || c == 0xB5 || c == 0xBA) return true;
    if (c >= 0xC0 && c <= 0x24F) return c != 0xD7 && c != 0xF7;
    if (c >= 0x386 && c <= 0x3FF) return c != 0x387;
    return c >= 0x400 && c <= 0x52F && !(c >= 0x482 && c <= 0x489);
}

uint32_t lower_of(uint32_t c) {
    if (c >= 'A' && c <= 'Z') return c + 0x20;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
    if (c >= 0x100 && c <= 0x17F) {
        if (c == 0x130) return 'i';
        if (c == 0x178) return 0xFF;
        bool odd_capitals = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (c == 0x138 || c == 0x149 || c == 0x17F) return c;
        return (c % 2 == (odd_capitals ? 1u : 0u)) ? c + 1 : c;
    }
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 0x20;
    if (c == 0x386) return 0x3AC;
    if (c >= 0x388 && c <= 0x38A) return c + 37;
    if (c == 0x38C) return 0x3CC;
    if (c == 0x38E || c == 0x38F) return c + 63;
    if (c >= 0x410 && c <= 0x42F) return c + 0x20;
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;
    if (c >= 0x460 && c <= 0x52F && c % 2 == 0 && !(c >= 0x482 && c <= 0x489)) return c + 1;
    return c;
}

}  // namespace

std::string_view transliteration(uint32_t c) {
    if (c >= 0xC0 && c <= 0x17F) {
        char letter = kLatinLetters[c - 0xC0];
        if (letter != '*') return kLatinLetters.substr(c - 0xC0, 1);
    }
    if (c >= 0x400 && c <= 0x45F) return kCyrillic[c - 0x400];
    if (c == 0x490) return "G";
    if (c == 0x491) return "g";
    if (c >= 0x391 && c <= 0x3A9) return kGreek[c - 0x391];
    if (c >= 0x3B1 && c <= 0x3C9) {
        static const std::string_view kSmall[] = {"a", "b", "g", "d", "e", "z", "e", "th", "i", "k", "l", "m", "n",
                                                  "x", "o", "p", "r", "s", "s", "t", "y", "f", "ch", "ps", "o"};
        return kSmall[c - 0x3B1];
    }
    const Spelling* end = std::end(kSpellings);
    const Spelling* found =
        std::lower_bound(std::begin(kSpellings), end, c, [](const Spelling& s, uint32_t v) { return s.code_point < v; });
    if (found != end && found->code_point == c) return found->text;
    return "?";
}

const HelpLanguage& language_of_folder(std::string_view folder) {
    std::string_view code = folder.substr(0, folder.find('.'));
    if (const HelpLanguage* named = language_named(code)) return *named;
    if (const HelpLanguage* named = language_named(code.substr(0, code.find('_')))) return *named;
    return english();
}

const HelpLanguage& help_language(const std::vector<std::string_view>& folders) {
    std::map<uint16_t, size_t> pages_by_code_page;
    for (std::string_view folder : folders) ++pages_by_code_page[language_of_folder(folder).code_page];
    uint16_t code_page = english().code_page;
    size_t most = 0;
    for (const auto& [page, count] : pages_by_code_page) {
        if (count > most || (count == most && page == english().code_page)) {
            code_page = page;
            most = count;
        }
    }
    // The language most pages of that code page are in, in the order first met.
    std::vector<std::pair<const HelpLanguage*, size_t>> counts;
    for (std::string_view folder : folders) {
        const HelpLanguage* language = &language_of_folder(folder);
        if (language->code_page != code_page) continue;
        auto at = std::find_if(counts.begin(), counts.end(), [&](const auto& c) { return c.first == language; });
        if (at == counts.end()) counts.push_back({language, 1});
        else ++at->second;
    }
    const HelpLanguage* chosen = &english();
    size_t best = 0;
    for (const auto& [language, count] : counts) {
        if (count > best || (count == best && language == &english())) {
            chosen = language;
            best = count;
        }
    }
    return chosen->code_page == code_page ? *chosen : english();
}

const HelpLanguage& russian_language() { return *language_named("ru"); }

CodePage::CodePage(const HelpLanguage& language) : language_(language), reverse_(0x10000, 0) {
    for (unsigned b = 0x80; b < 0x100; ++b) {
        uint32_t c = language.upper[b - 0x80];
        if (c != 0xFFFD && reverse_[c] == 0) reverse_[c] = static_cast<uint8_t>(b);
    }
    for (unsigned b = 0; b < 0x100; ++b) {
        uint32_t c = code_point_of(static_cast<uint8_t>(b));
        word_[b] = is_letter(c);
        uint8_t lower = byte_of(lower_of(c));
        lower_[b] = lower != 0 ? lower : static_cast<uint8_t>(b);
    }
}

void CodePage::append(std::string& out, uint32_t code_point) const {
    uint8_t byte = byte_of(code_point);
    if (byte != 0 || code_point == 0) out += static_cast<char>(byte);
    else out += transliteration(code_point);
}

void CodePage::encode(std::string_view utf8, std::string& out) const {
    out.clear();
    for (size_t i = 0; i < utf8.size();) {
        if (static_cast<unsigned char>(utf8[i]) < 0x80) {
            out += utf8[i++];
            continue;
        }
        append(out, next_code_point(utf8, i));
    }
}
