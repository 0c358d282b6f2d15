// The special characters of roff by name, as UTF-8.
#include "modern/roff/glyphs.h"

#include "model/utf8.h"
#include "modern/roff/name_table.h"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>

namespace {

struct Glyph {
    std::string_view name;
    std::string_view text;
};

// Sorted by name, each name once. A text is the composed form of the glyph's code points
// ("'e" is U+00E9, not e and a combining acute); an accent alone takes its spacing form, as a
// combining one would fall on the character before it. Rules and box pieces (ru ul br bv rn,
// the square root's continuation) take the plain characters nearest them: _ | and overline.
constexpr Glyph kGlyphs[] = {
    {"!=", "\u2260"}, {"%0", "\u2030"}, {"'A", "\u00C1"}, {"'C", "\u0106"}, {"'E", "\u00C9"},
    {"'I", "\u00CD"}, {"'O", "\u00D3"}, {"'U", "\u00DA"}, {"'Y", "\u00DD"}, {"'a", "\u00E1"},
    {"'c", "\u0107"}, {"'e", "\u00E9"}, {"'i", "\u00ED"}, {"'o", "\u00F3"}, {"'u", "\u00FA"},
    {"'y", "\u00FD"}, {"**", "\u2217"}, {"*A", "\u0391"}, {"*B", "\u0392"}, {"*C", "\u039E"},
    {"*D", "\u0394"}, {"*E", "\u0395"}, {"*F", "\u03A6"}, {"*G", "\u0393"}, {"*H", "\u0398"},
    {"*I", "\u0399"}, {"*K", "\u039A"}, {"*L", "\u039B"}, {"*M", "\u039C"}, {"*N", "\u039D"},
    {"*O", "\u039F"}, {"*P", "\u03A0"}, {"*Q", "\u03A8"}, {"*R", "\u03A1"}, {"*S", "\u03A3"},
    {"*T", "\u03A4"}, {"*U", "\u03A5"}, {"*W", "\u03A9"}, {"*X", "\u03A7"}, {"*Y", "\u0397"},
    {"*Z", "\u0396"}, {"*a", "\u03B1"}, {"*b", "\u03B2"}, {"*c", "\u03BE"}, {"*d", "\u03B4"},
    {"*e", "\u03B5"}, {"*f", "\u03D5"}, {"*g", "\u03B3"}, {"*h", "\u03B8"}, {"*i", "\u03B9"},
    {"*k", "\u03BA"}, {"*l", "\u03BB"}, {"*m", "\u03BC"}, {"*n", "\u03BD"}, {"*o", "\u03BF"},
    {"*p", "\u03C0"}, {"*q", "\u03C8"}, {"*r", "\u03C1"}, {"*s", "\u03C3"}, {"*t", "\u03C4"},
    {"*u", "\u03C5"}, {"*w", "\u03C9"}, {"*x", "\u03C7"}, {"*y", "\u03B7"}, {"*z", "\u03B6"},
    {"+-", "\u00B1"}, {"+e", "\u03F5"}, {"+f", "\u03C6"}, {"+h", "\u03D1"}, {"+p", "\u03D6"},
    {",C", "\u00C7"}, {",c", "\u00E7"}, {"-+", "\u2213"}, {"->", "\u2192"}, {"-D", "\u00D0"},
    {"-h", "\u210F"}, {".i", "\u0131"}, {".j", "\u0237"}, {"/L", "\u0141"}, {"/O", "\u00D8"},
    {"/_", "\u2220"}, {"/l", "\u0142"}, {"/o", "\u00F8"}, {"12", "\u00BD"}, {"14", "\u00BC"},
    {"18", "\u215B"}, {"34", "\u00BE"}, {"38", "\u215C"}, {"3d", "\u2234"}, {"58", "\u215D"},
    {"78", "\u215E"}, {":A", "\u00C4"}, {":E", "\u00CB"}, {":I", "\u00CF"}, {":O", "\u00D6"},
    {":U", "\u00DC"}, {":Y", "\u0178"}, {":a", "\u00E4"}, {":e", "\u00EB"}, {":i", "\u00EF"},
    {":o", "\u00F6"}, {":u", "\u00FC"}, {":y", "\u00FF"}, {"<-", "\u2190"}, {"<<", "\u226A"},
    {"<=", "\u2264"}, {"<>", "\u2194"}, {"==", "\u2261"}, {"=~", "\u2245"}, {">=", "\u2265"},
    {">>", "\u226B"}, {"AE", "\u00C6"}, {"AN", "\u2227"}, {"Ah", "\u2135"}, {"Bq", "\u201E"},
    {"CL", "\u2663"}, {"CR", "\u21B5"}, {"Cs", "\u00A4"}, {"DI", "\u2666"}, {"Do", "$"},
    {"Eu", "\u20AC"}, {"Fc", "\u00BB"}, {"Fi", "ffi"}, {"Fl", "ffl"}, {"Fn", "\u0192"},
    {"Fo", "\u00AB"}, {"HE", "\u2665"}, {"IJ", "\u0132"}, {"Im", "\u2111"}, {"OE", "\u0152"},
    {"OK", "\u2713"}, {"OR", "\u2228"}, {"Of", "\u00AA"}, {"Om", "\u00BA"}, {"Po", "\u00A3"},
    {"Re", "\u211C"}, {"S1", "\u00B9"}, {"S2", "\u00B2"}, {"S3", "\u00B3"}, {"SP", "\u2660"},
    {"Sd", "\u00F0"}, {"TP", "\u00DE"}, {"Tp", "\u00FE"}, {"Ye", "\u00A5"}, {"^A", "\u00C2"},
    {"^E", "\u00CA"}, {"^I", "\u00CE"}, {"^O", "\u00D4"}, {"^U", "\u00DB"}, {"^a", "\u00E2"},
    {"^e", "\u00EA"}, {"^i", "\u00EE"}, {"^o", "\u00F4"}, {"^u", "\u00FB"}, {"`A", "\u00C0"},
    {"`E", "\u00C8"}, {"`I", "\u00CC"}, {"`O", "\u00D2"}, {"`U", "\u00D9"}, {"`a", "\u00E0"},
    {"`e", "\u00E8"}, {"`i", "\u00EC"}, {"`o", "\u00F2"}, {"`u", "\u00F9"}, {"a\"", "\u02DD"},
    {"a-", "\u00AF"}, {"a.", "\u02D9"}, {"a^", "^"}, {"aa", "\u00B4"}, {"ab", "\u02D8"},
    {"ac", "\u00B8"}, {"ad", "\u00A8"}, {"ae", "\u00E6"}, {"ah", "\u02C7"}, {"an", "\u23AF"},
    {"ao", "\u02DA"}, {"ap", "\u223C"}, {"aq", "'"}, {"at", "@"}, {"a~", "~"}, {"ba", "|"},
    {"bb", "\u00A6"}, {"bq", "\u201A"}, {"br", "|"}, {"braceex", "\u23AA"},
    {"braceleftbt", "\u23A9"}, {"braceleftex", "\u23AA"}, {"braceleftmid", "\u23A8"},
    {"bracelefttp", "\u23A7"}, {"bracerightbt", "\u23AD"}, {"bracerightex", "\u23AA"},
    {"bracerightmid", "\u23AC"}, {"bracerighttp", "\u23AB"}, {"bracketleftbt", "\u23A3"},
    {"bracketleftex", "\u23A2"}, {"bracketlefttp", "\u23A1"}, {"bracketrightbt", "\u23A6"},
    {"bracketrightex", "\u23A5"}, {"bracketrighttp", "\u23A4"}, {"bu", "\u2022"}, {"bv", "|"},
    {"c*", "\u2297"}, {"c+", "\u2295"}, {"ca", "\u2229"}, {"ci", "\u25CB"}, {"co", "\u00A9"},
    {"coproduct", "\u2210"}, {"cq", "\u2019"}, {"ct", "\u00A2"}, {"cu", "\u222A"}, {"dA", "\u21D3"},
    {"da", "\u2193"}, {"dd", "\u2021"}, {"de", "\u00B0"}, {"dg", "\u2020"}, {"di", "\u00F7"},
    {"dq", "\""}, {"em", "\u2014"}, {"en", "\u2013"}, {"eq", "="}, {"es", "\u2205"},
    {"eu", "\u20AC"}, {"f/", "\u2044"}, {"fa", "\u2200"}, {"fc", "\u203A"}, {"ff", "ff"},
    {"fi", "fi"}, {"fl", "fl"}, {"fm", "\u2032"}, {"fo", "\u2039"}, {"ga", "`"}, {"gr", "\u2207"},
    {"hA", "\u21D4"}, {"ha", "^"}, {"hbar", "\u210F"}, {"ho", "\u02DB"}, {"hy", "\u2010"},
    {"ib", "\u2286"}, {"if", "\u221E"}, {"ij", "\u0133"}, {"integral", "\u222B"}, {"ip", "\u2287"},
    {"is", "\u222B"}, {"lA", "\u21D0"}, {"lB", "["}, {"lC", "{"}, {"la", "\u27E8"},
    {"lb", "\u23A9"}, {"lc", "\u2308"}, {"lf", "\u230A"}, {"lh", "\u261C"}, {"lk", "\u23A8"},
    {"lq", "\u201C"}, {"lt", "\u23A7"}, {"lz", "\u25CA"}, {"mc", "\u00B5"}, {"md", "\u22C5"},
    {"mi", "\u2212"}, {"mo", "\u2208"}, {"mu", "\u00D7"}, {"nb", "\u2284"}, {"nc", "\u2285"},
    {"ne", "\u2262"}, {"nm", "\u2209"}, {"no", "\u00AC"}, {"oA", "\u00C5"}, {"oa", "\u00E5"},
    {"oe", "\u0153"}, {"oq", "\u2018"}, {"or", "|"}, {"parenleftbt", "\u239D"},
    {"parenleftex", "\u239C"}, {"parenlefttp", "\u239B"}, {"parenrightbt", "\u23A0"},
    {"parenrightex", "\u239F"}, {"parenrighttp", "\u239E"}, {"pc", "\u00B7"}, {"pd", "\u2202"},
    {"pl", "+"}, {"pp", "\u22A5"}, {"product", "\u220F"}, {"ps", "\u00B6"}, {"pt", "\u221D"},
    {"r!", "\u00A1"}, {"r?", "\u00BF"}, {"rA", "\u21D2"}, {"rB", "]"}, {"rC", "}"},
    {"ra", "\u27E9"}, {"radicalex", "\u203E"}, {"rb", "\u23AD"}, {"rc", "\u2309"}, {"rf", "\u230B"},
    {"rg", "\u00AE"}, {"rh", "\u261E"}, {"rk", "\u23AC"}, {"rn", "\u203E"}, {"rq", "\u201D"},
    {"rs", "\\"}, {"rt", "\u23AB"}, {"ru", "_"}, {"sb", "\u2282"}, {"sc", "\u00A7"},
    {"sd", "\u2033"}, {"sh", "#"}, {"sl", "/"}, {"sp", "\u2283"}, {"sq", "\u25A1"},
    {"sqrt", "\u221A"}, {"sqrtex", "\u203E"}, {"sr", "\u221A"}, {"ss", "\u00DF"}, {"st", "\u220B"},
    {"sum", "\u2211"}, {"t+-", "\u00B1"}, {"tdi", "\u00F7"}, {"te", "\u2203"}, {"tf", "\u2234"},
    {"ti", "~"}, {"tm", "\u2122"}, {"tmu", "\u00D7"}, {"tno", "\u00AC"}, {"ts", "\u03C2"},
    {"uA", "\u21D1"}, {"ua", "\u2191"}, {"ul", "_"}, {"vA", "\u21D5"}, {"vS", "\u0160"},
    {"vZ", "\u017D"}, {"va", "\u2195"}, {"vs", "\u0161"}, {"vz", "\u017E"}, {"wp", "\u2118"},
    {"|=", "\u2243"}, {"~=", "\u2248"}, {"~A", "\u00C3"}, {"~N", "\u00D1"}, {"~O", "\u00D5"},
    {"~a", "\u00E3"}, {"~n", "\u00F1"}, {"~o", "\u00F5"}, {"~~", "\u2248"},
};

static_assert(is_sorted_by_name(kGlyphs), "glyph rows must be sorted by name, each name once");
constexpr NameTable kGlyphTable(kGlyphs);
static_assert(std::string_view("\u00E9") == "\xC3\xA9", "glyph texts need UTF-8 string literals");

// Code points that are no text of their own: the controls, surrogates and numbers past Unicode.
struct CodeRange {
    uint32_t first, last;
};
constexpr CodeRange kRefused[] = {
    {0x00, 0x1F}, {0x7F, 0x9F}, {0xD800, 0xDFFF}, {0x110000, UINT32_MAX},
};

bool refused(uint32_t code) {
    return std::any_of(std::begin(kRefused), std::end(kRefused),
                       [code](const CodeRange& r) { return code >= r.first && code <= r.last; });
}

// `digits` as a number in `base`, when they are all digits of it (no sign, no blank).
std::optional<uint32_t> parse_number(std::string_view digits, int base) {
    uint32_t value = 0;
    const char* end = digits.data() + digits.size();
    const auto [stop, error] = std::from_chars(digits.data(), end, value, base);
    if (error != std::errc() || stop != end) return std::nullopt;
    return value;
}

// "u00E9", or a base and combining characters "u0065_0301": 4 to 6 hex digits each.
bool append_unicode(std::string& out, std::string_view codes) {
    const size_t start = out.size();
    for (;;) {
        const size_t cut = codes.find('_');
        const std::string_view hex = codes.substr(0, cut);
        const std::optional<uint32_t> code = parse_number(hex, 16);
        if (hex.size() < 4 || hex.size() > 6 || !code || refused(*code)) {
            out.resize(start);  // a bad part refuses the whole name, even after good ones
            return false;
        }
        append_utf8(out, *code);
        if (cut == std::string_view::npos) return true;
        codes.remove_prefix(cut + 1);
    }
}

// "char233": a Latin-1 code in decimal, written without leading zeros.
bool append_latin1(std::string& out, std::string_view digits) {
    if (digits.size() > 3 || (digits.size() > 1 && digits[0] == '0')) return false;
    const std::optional<uint32_t> code = parse_number(digits, 10);
    if (!code || *code > 0xFF || refused(*code)) return false;
    append_utf8(out, *code);
    return true;
}

// Names that are no row of the table but a number after a prefix.
struct NumberedForm {
    std::string_view prefix;
    bool (*append)(std::string& out, std::string_view digits);
};
constexpr NumberedForm kNumberedForms[] = {{"u", append_unicode}, {"char", append_latin1}};

}  // namespace

bool append_glyph(std::string& out, std::string_view name) {
    if (const Glyph* row = kGlyphTable.find(name)) {
        out += row->text;
        return true;
    }
    for (const NumberedForm& form : kNumberedForms) {
        if (name.substr(0, form.prefix.size()) == form.prefix) {
            return form.append(out, name.substr(form.prefix.size()));
        }
    }
    return false;
}
