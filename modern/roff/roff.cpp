// The roff front end.
#include "modern/roff/roff.h"

#include <algorithm>
#include <cstring>

#include "modern/roff/inline.h"
#include "modern/roff/lexer.h"
#include "modern/roff/name_table.h"

struct RoffFrame {
    enum Kind : uint8_t { file, macro, loop };
    std::string_view text;
    Roff::Body owner;  // what keeps `text`, unless the reader's caller keeps it (the page)
    size_t position = 0;
    Kind kind = file;
    std::vector<std::string> args;  // a macro's: args[0] is its name
    std::string condition;          // a loop's, interpolated again before each round
};

// The reader's state, for its requests and interpolation below.
struct RoffAccess {
    static auto& state(Roff& roff) { return roff.s_; }
    static const auto& state(const Roff& roff) { return roff.s_; }
};

namespace {

auto& kept(Roff& roff) { return RoffAccess::state(roff); }
const auto& kept(const Roff& roff) { return RoffAccess::state(roff); }

// Reads a frame's text from `body`, kept alive with it.
void hold(RoffFrame& frame, Roff::Body body) {
    frame.text = *body;
    frame.owner = std::move(body);
}

using Handler = void (*)(Roff&, std::string_view name, std::string_view rest, RoffLine&, bool& produced);

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// `s` from `from` on (which lies in it), blanks taken off its start. (Inline, and without
// the check of a substr: it runs for every request line, and a call costs as much as its
// work.)
inline std::string_view skip_blanks(std::string_view s, size_t from = 0) {
    s.remove_prefix(from);
    while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
    return s;
}

// The first word of `s` and what follows it, blanks between taken off.
std::string_view first_word(std::string_view s, std::string_view& rest) {
    s = skip_blanks(s);
    size_t end = 0;
    while (end < s.size() && !is_blank(s[end])) ++end;
    rest = skip_blanks(s.substr(end));
    return s.substr(0, end);
}

// ---- Predefined strings and registers -----------------------------------------------------

struct Predefined {
    std::string_view name;
    std::string_view value;
};

// The strings the macro packages have always predefined, sorted by name.
constexpr Predefined kStrings[] = {
    {".T", "utf8"},   {"Am", "&"},      {"Ba", "|"},      {"Ge", "\u2265"}, {"Gt", ">"},
    {"If", "infinity"}, {"Le", "\u2264"}, {"Lq", "\u201C"}, {"Lt", "<"},   {"Na", "NaN"},
    {"Ne", "\u2260"}, {"Pi", "pi"},     {"Pm", "\u00B1"}, {"R", "\u00AE"}, {"Rq", "\u201D"},
    {"S", ""},        {"Tm", "\u2122"}, {"aa", "\u00B4"}, {"ga", "`"},     {"lp", "("},
    {"lq", "\u201C"}, {"q", "\\(dq"},   {"rp", ")"},      {"rq", "\u201D"}, {"ua", "\u2191"},
};

// Registers a page may test, with the values of a terminal renderer: pages ask "is this
// groff" (.g), its version, the page size and font.
struct PredefinedRegister {
    std::string_view name;
    int value;
};

constexpr PredefinedRegister kRegisters[] = {
    {".$", 0},  {".A", 0},  {".C", 0},     {".H", 24}, {".L", 1},   {".P", 1},     {".T", 0},
    {".U", 0},  {".V", 40}, {".Y", 0},     {".f", 1},  {".g", 1},   {".i", 0},     {".j", 1},
    {".k", 0},  {".l", 1872}, {".n", 0},   {".o", 0},  {".p", 158400}, {".s", 10}, {".t", 158400},
    {".u", 1},  {".v", 40}, {".w", 24},    {".x", 1},  {".y", 23},  {".z", 0},
};

static_assert(is_sorted_by_name(kStrings), "kStrings must be sorted by name");

std::string_view predefined_string(std::string_view name) {
    const Predefined* found = find_by_name(kStrings, name);
    return found != nullptr ? found->value : std::string_view();
}

static_assert(is_sorted_by_name(kRegisters), "kRegisters must be sorted by name");

bool predefined_register(std::string_view name, int& value) {
    const PredefinedRegister* found = find_by_name(kRegisters, name);
    if (found != nullptr) value = found->value;
    return found != nullptr;
}

// ---- Names after escapes ---------------------------------------------------------------------

// How interpolation reads: text as it is printed; a call's arguments, whose "\\" stands
// for one backslash; a definition's copy, which keeps the closing braces of its blocks too.
enum Reading : uint8_t { kText = 0, kHalving = 1, kBraces = 2, kArguments = kHalving, kCopy = kHalving | kBraces };

std::string interpolated(Roff& roff, std::string_view in, Reading mode);

// The end of a "[name]" at `open`, a name that may hold escapes with names of their own
// (\*[\*[inner]], \n[\*[name]]): the position of its ']', or the end of the text.
size_t bracket_end(std::string_view s, size_t open) {
    int depth = 1;
    for (size_t j = open + 1; j < s.size(); ++j) {
        if (s[j] == '\\' && j + 1 < s.size()) {
            // An escape's own "[": right after it (\[em]) or after its letter (\*[x]).
            size_t k = s[j + 1] == '[' ? j + 1 : j + 2 < s.size() && s[j + 2] == '[' ? j + 2 : j + 1;
            depth += k > j + 1 || s[j + 1] == '[';
            j = k;
        } else if (s[j] == ']' && --depth == 0) {
            return j;
        }
    }
    return s.size();
}

// The name that follows an escape such as \* or \n at `i`, as escape_name reads it; of a
// "[name arguments]", the name alone (the arguments are not used). A name with escapes
// in it is interpolated into `made`.
std::string_view called_name(Roff& roff, std::string_view s, size_t& i, std::string& made) {
    if (i >= s.size() || s[i] != '[') return ::escape_name(s, i);
    size_t end = bracket_end(s, i);
    std::string_view name = s.substr(i + 1, end - i - 1);
    i = std::min(s.size(), end + 1);
    if (name.find('\\') != std::string_view::npos) {
        made = interpolated(roff, name, kText);
        name = made;
    }
    return name.substr(0, name.find(' '));
}

// ---- Numeric expressions ---------------------------------------------------------------------

struct Expression {
    std::string_view s;
    size_t i = 0;
    bool ok = true;

    bool at(char c) const { return i < s.size() && s[i] == c; }

    long long operand() {
        bool negative = false;
        while (at('-') || at('+')) negative ^= s[i++] == '-';
        if (at('(')) {
            ++i;
            long long value = expression(true);
            // (A parenthesis the text never closes closes at its end.)
            if (at(')')) ++i; else ok = ok && i == s.size();
            return negative ? -value : value;
        }
        size_t start = i;
        long long whole = 0;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') whole = std::min(whole * 10 + (s[i++] - '0'), 1LL << 40);
        long long fraction = 0, divisor = 1;
        if (at('.')) {
            ++i;
            while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
                if (divisor < 1000000) {
                    fraction = fraction * 10 + (s[i] - '0');
                    divisor *= 10;
                }
                ++i;
            }
        }
        if (i == start) {
            ok = false;
            return 0;
        }
        // A scaling unit in a terminal's whole basic units.
        int scale = 1;
        if (const ScalingUnit* unit = i < s.size() ? scaling_unit(s[i]) : nullptr) {
            scale = unit->per / unit->over;
            ++i;
        }
        long long value = whole * scale + fraction * scale / divisor;
        return negative ? -value : value;
    }

    // Left to right, no precedence; blanks end it, except inside parentheses.
    long long expression(bool nested) {
        long long value = operand();
        while (ok && i < s.size()) {
            if (nested) while (i < s.size() && is_blank(s[i])) ++i;
            if (i >= s.size() || s[i] == ')' || is_blank(s[i])) break;
            std::string_view op = s.substr(i, 2);
            int length = 1;
            char c = s[i];
            if (op == "<=" || op == ">=" || op == "==" || op == "<>" || op == "<?" || op == ">?") length = 2;
            else if (std::strchr("+-*/%<>=&:", c) == nullptr) break;
            i += static_cast<size_t>(length);
            if (nested) while (i < s.size() && is_blank(s[i])) ++i;
            long long right = operand();
            if (length == 2) {
                if (op == "<=") value = value <= right;
                else if (op == ">=") value = value >= right;
                else if (op == "==") value = value == right;
                else if (op == "<>") value = value != right;
                else if (op == "<?") value = std::min(value, right);
                else value = std::max(value, right);
                continue;
            }
            switch (c) {
                case '+': value += right; break;
                case '-': value -= right; break;
                case '*': value *= right; break;
                case '/': value = right == 0 ? 0 : value / right; break;
                case '%': value = right == 0 ? 0 : value % right; break;
                case '<': value = value < right; break;
                case '>': value = value > right; break;
                case '=': value = value == right; break;
                case '&': value = value > 0 && right > 0; break;
                case ':': value = value > 0 || right > 0; break;
            }
            value = std::max(std::min(value, 1LL << 40), -(1LL << 40));
        }
        return value;
    }
};

// A register holds 32 bits.
int clamp_int(long long v) {
    return static_cast<int>(std::max<long long>(std::min<long long>(v, INT32_MAX), INT32_MIN));
}

// ---- The reader's own requests ---------------------------------------------------------------

void note(Roff& roff, const std::string& message, bool warning = false) {
    if (kept(roff).messages.size() >= 20) return;
    // The page's line that the reader is on: the one that ends before where it goes on.
    size_t line = 0;
    if (!kept(roff).frames.empty() && kept(roff).frames.front()->position > 0) {
        const RoffFrame& page = *kept(roff).frames.front();
        std::string_view before = page.text.substr(0, std::min(page.position, page.text.size()) - 1);
        line = 1 + static_cast<size_t>(std::count(before.begin(), before.end(), '\n'));
    }
    kept(roff).messages.push_back({line, message, warning});
}

void cut(Roff& roff, const std::string& reason) {
    if (!kept(roff).cut) note(roff, "cut: " + reason);
    // The inputs stay until the reader goes: the line being worked on may lie in one.
    // Nothing more is read from them.
    kept(roff).cut = true;
}

// Macros or loops inside each other past the bound: every call and loop since the page's
// own text (or the file it includes) is left, and reading goes on with its next line.
void drop_runaway(Roff& roff, const char* what) {
    note(roff, std::string(what) + " more than " + std::to_string(kept(roff).limits.nesting) + " deep: the calls left out");
    auto& frames = kept(roff).frames;
    while (frames.size() > 1 && frames.back()->kind != RoffFrame::file) frames.pop_back();
}

bool may_define(Roff& roff) {
    if (++kept(roff).definitions <= kept(roff).limits.definitions) return true;
    cut(roff, "the page defines more than " + std::to_string(kept(roff).limits.definitions) + " names");
    return false;
}

RoffFrame* innermost_macro(Roff& roff) {
    for (auto it = kept(roff).frames.rbegin(); it != kept(roff).frames.rend(); ++it) {
        if ((*it)->kind == RoffFrame::macro) return it->get();
    }
    return nullptr;
}

// Reads the next raw line of the innermost input, lines ending in an escape joined with
// the next. False when every input has ended, or, with `floor`, when the input of that
// depth has (a definition inside a macro ends with the macro).
bool read_raw(Roff& roff, std::string& line, size_t floor = 0);

// Whether interpolation leaves the escape `\c` as it stands.
bool kept_whole(char c, Reading mode) {
    switch (c) {
        case '\\': return !(mode & kHalving);
        case '}': return mode & kBraces;
        case 'E': return mode & kBraces;
        case '"': case '#': case '*': case 'n': case '$': case 'w': case 'B': case 'A': case 'g': case 'V':
            return false;
        default: return true;
    }
}

// Where the text from `start` that interpolation copies as it stands ends: at the next
// escape it acts on, or at the end. The escapes passed over stay as they are (a lone one
// at the end too), and the bound is checked after each as if it had been copied alone:
// past it, with `made` bytes before, the run ends right after that escape, `over` set.
size_t plain_run(const Roff& roff, std::string_view in, size_t start, size_t made, Reading mode, bool& over) {
    if (start >= in.size()) return in.size();
    for (size_t i = start;;) {
        const void* found = std::memchr(in.data() + i, '\\', in.size() - i);
        size_t next = found ? static_cast<size_t>(static_cast<const char*>(found) - in.data()) : in.size();
        if (next + 1 >= in.size()) return in.size();
        if (!kept_whole(in[next + 1], mode)) return next;
        i = next + 2;
        if (i < in.size() && made + (i - start) > kept(roff).limits.line_length) {
            over = true;
            return i;
        }
    }
}

// Interpolation: strings, registers and arguments, and in copy mode (the text of a
// definition) "\\" halved. Comments end the text.
void interpolate_into(Roff& roff, std::string_view in, std::string& out, Reading mode, size_t depth) {
    if (depth > kept(roff).limits.nesting) {
        note(roff, "strings interpolated more than " + std::to_string(kept(roff).limits.nesting) + " deep: the string left out");
        kept(roff).runaway = true;
        return;
    }
    auto too_long = [&](size_t size) {
        if (size <= kept(roff).limits.line_length) return false;
        cut(roff, "a line longer than " + std::to_string(kept(roff).limits.line_length >> 10) + " KiB");
        return true;
    };
    size_t i = 0;
    while (i < in.size()) {
        if (too_long(out.size())) return;
        // The text up to the next escape that interpolation acts on, copied in one piece.
        bool over = false;
        const size_t next = plain_run(roff, in, i, out.size(), mode, over);
        out.append(in, i, next - i);
        if (over) {
            too_long(out.size());
            return;
        }
        i = next;
        if (i >= in.size()) break;
        char c = in[i + 1];
        size_t after = i + 2;
        // \E is the escape character that a definition's copy leaves as it is.
        if (c == 'E' && after < in.size()) c = in[after++];
        switch (c) {
            case '\\':
                out += mode & kHalving ? "\\" : "\\\\";
                i = after;
                continue;
            case '"':
            case '#':
                return;  // a comment: the rest of the line is not text
            case '}':
                // The end of a conditional block: its work is done when the line is read.
                if (mode & kBraces) out += "\\}";
                i = after;
                continue;
            case '*': {
                std::string made;
                std::string_view name = called_name(roff, in, after, made);
                i = after;
                auto it = kept(roff).strings.find(std::string(name));
                if (it != kept(roff).strings.end()) {
                    if (!roff.count_work(it->second->size())) return;
                    size_t before = out.size();
                    interpolate_into(roff, *it->second, out, mode, depth + 1);
                    if (kept(roff).runaway) {
                        // A string that never ends expanding: the outermost one is left
                        // out, the rest of the line stays.
                        if (depth > 0) return;
                        out.resize(before);
                        kept(roff).runaway = false;
                    }
                } else {
                    out += predefined_string(name);
                }
                continue;
            }
            case 'n': {
                int step = 0;
                if (after < in.size() && (in[after] == '+' || in[after] == '-')) step = in[after++] == '+' ? 1 : -1;
                std::string made;
                std::string name(called_name(roff, in, after, made));
                i = after;
                int value = 0;
                auto it = kept(roff).registers.find(name);
                if (it != kept(roff).registers.end()) {
                    it->second.value += step * it->second.increment;
                    value = it->second.value;
                } else if (name == ".$") {
                    RoffFrame* frame = innermost_macro(roff);
                    value = frame ? static_cast<int>(frame->args.size()) - 1 : 0;
                } else {
                    predefined_register(name, value);
                }
                out += std::to_string(value);
                continue;
            }
            case '$': {
                RoffFrame* frame = innermost_macro(roff);
                std::string made;
                std::string_view which = called_name(roff, in, after, made);
                i = after;
                if (frame == nullptr) continue;
                const auto& args = frame->args;
                size_t before = out.size();
                if (which == "*" || which == "@") {
                    for (size_t a = 1; a < args.size(); ++a) {
                        if (a > 1) out += ' ';
                        if (which == "@") out += '"';
                        out += args[a];
                        if (which == "@") out += '"';
                    }
                } else {
                    size_t n = 0;
                    for (char d : which) n = d >= '0' && d <= '9' ? n * 10 + static_cast<size_t>(d - '0') : 1000000;
                    if (n < args.size()) out += args[n];
                }
                // Arguments count as work as strings do: a loop in a macro may read them
                // again and again.
                if (!roff.count_work(out.size() - before)) return;
                continue;
            }
            case 'w': {
                // A width: what a terminal would take of the text as printed, in basic
                // units.
                std::string_view inside = delimited(in, after);
                i = after;
                std::string text;
                interpolate_into(roff, inside, text, kText, depth + 1);
                size_t count = 0;
                for (char b : plain_text(roff, text)) count += (b & 0xC0) != 0x80;
                out += std::to_string(count * 24);
                continue;
            }
            case 'B': {
                Expression e{delimited(in, after)};
                i = after;
                e.expression(false);
                out += e.ok && e.i == e.s.size() ? "1" : "0";
                continue;
            }
            case 'A':
                delimited(in, after);
                i = after;
                out += '1';
                continue;
            case 'g':
            case 'V':
                // A register's format, an environment variable: nothing a page needs,
                // and the environment is never read.
                {
                    std::string made;
                    called_name(roff, in, after, made);
                }
                i = after;
                continue;
            default:
                out += '\\';
                out += c;
                i = after;
                continue;
        }
    }
}

std::string interpolated(Roff& roff, std::string_view in, Reading mode) {
    std::string out;
    interpolate_into(roff, in, out, mode, 0);
    return out;
}

// `in` interpolated: `in` itself where interpolation leaves it as it is (most lines), or
// else made in `made`.
std::string_view interpolated_view(Roff& roff, std::string_view in, std::string& made, Reading mode = kText) {
    bool over = false;
    if (plain_run(roff, in, 0, 0, mode, over) == in.size()) return in;
    made.clear();
    interpolate_into(roff, in, made, mode, 0);
    return made;
}

// Removes the closing braces of conditional blocks from a line that is carried out.
std::string_view without_closing_braces(Roff& roff, std::string_view line, std::string& storage) {
    if (line.find("\\}") == std::string_view::npos) return line;
    storage.clear();
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\\' && i + 1 < line.size()) {
            if (line[i + 1] != '}') storage.append(line, i, 2);
            ++i;
            continue;
        }
        storage += line[i];
    }
    (void)roff;
    return storage;
}

// The text up to a comment (\" or \#), escape pairs read whole.
std::string_view without_comment(std::string_view s) {
    for (size_t i = s.find('\\'); i != std::string_view::npos && i + 1 < s.size(); i = s.find('\\', i + 2)) {
        if (s[i + 1] == '"' || s[i + 1] == '#') return std::string_view(s.data(), i);
    }
    return s;
}

// Brace depth a text opens: \{ less \}.
int brace_balance(std::string_view s) {
    int depth = 0;
    for (size_t i = 0; i + 1 < s.size(); ++i) {
        if (s[i] != '\\') continue;
        if (s[i + 1] == '{') ++depth;
        if (s[i + 1] == '}') --depth;
        ++i;
    }
    return depth;
}

// Passes over the lines of a block whose condition failed: up to the end of the line
// that closes its braces.
void skip_block(Roff& roff, int depth) {
    std::string line;
    size_t floor = kept(roff).frames.size();
    while (depth > 0 && read_raw(roff, line, floor)) {
        if (!roff.count_work(line.size() + 1)) return;
        depth += brace_balance(line);
    }
}

bool process(Roff& roff, std::string_view line, bool interpolated_already, RoffLine& out);

// Empties a line for the next one, keeping the room its strings have.
void reset(RoffLine& line) {
    line.is_call = false;
    line.name.clear();
    line.args.clear();
    line.quoted = 0;
    line.text = std::string_view();
}

// The body of a conditional: carried out when `result`, else passed over with any block
// it opens. The braces are counted on the line as the page writes it (`raw`): its
// interpolation has done the work of a \} already, and a block opened and closed on one
// line (".if t \{.ft B \}") opens none.
bool conditional_body(Roff& roff, bool result, std::string_view body, std::string_view raw, RoffLine& out) {
    body = skip_blanks(body);
    if (!result) {
        skip_block(roff, brace_balance(raw));
        return false;
    }
    if (body.size() >= 2 && body[0] == '\\' && body[1] == '{') body = skip_blanks(body.substr(2));
    if (body.empty()) return false;
    return process(roff, body, true, out);
}

// Evaluates the condition at the start of `s`; `body` gets what follows it.
bool condition(Roff& roff, std::string_view s, std::string_view& body) {
    s = skip_blanks(s);
    size_t i = 0;
    bool negate = false;
    while (i < s.size() && s[i] == '!') {
        negate = !negate;
        ++i;
    }
    bool result = false;
    char c = i < s.size() ? s[i] : '\0';
    auto name_after = [&](size_t from) {
        size_t start = from;
        while (start < s.size() && is_blank(s[start])) ++start;
        size_t end = start;
        while (end < s.size() && !is_blank(s[end])) ++end;
        i = end;
        return std::string(s.substr(start, end - start));
    };
    if (c == 'n' || c == 'o') {
        result = true;
        ++i;
    } else if (c == 't' || c == 'e' || c == 'v') {
        ++i;
    } else if (c == 'd') {
        std::string name = name_after(i + 1);
        result = kept(roff).strings.count(name) || kept(roff).macros.count(name) || !predefined_string(name).empty() ||
                 (kept(roff).host.is_builtin && kept(roff).host.is_builtin(name));
    } else if (c == 'r') {
        std::string name = name_after(i + 1);
        int ignored;
        result = kept(roff).registers.count(name) || predefined_register(name, ignored);
    } else if (c == 'c' || c == 'm' || c == 'F' || c == 'S') {
        // A glyph, colour, font or style exists: taken as present.
        name_after(i + 1);
        result = c == 'c' || c == 'F';
    } else if ((c >= '0' && c <= '9') || c == '(' || c == '-' || c == '+') {
        Expression e{s.substr(i)};
        long long value = e.expression(false);
        i += e.i;
        result = e.ok && value > 0;
    } else if (c != '\0' && c != '\\') {
        // 'a'b': two strings between three delimiters are equal.
        size_t second = s.find(c, i + 1);
        size_t third = second == std::string_view::npos ? second : s.find(c, second + 1);
        if (third != std::string_view::npos) {
            result = s.substr(i + 1, second - i - 1) == s.substr(second + 1, third - second - 1);
            i = third + 1;
        } else {
            i = s.size();
        }
    }
    body = i < s.size() ? s.substr(i) : std::string_view();
    return result != negate;
}

// ---- Request handlers ----------------------------------------------------------------------

void define_string(Roff& roff, std::string_view name, std::string value, bool append) {
    if (name.empty() || !may_define(roff)) return;
    auto& slot = kept(roff).strings[std::string(name)];
    // Appending copies the string: work, or a loop of appends would take time squared.
    if (append && slot && !roff.count_work(slot->size())) return;
    if (append && slot) value = *slot + value;
    if (value.size() > kept(roff).limits.string_length) {
        cut(roff, "a string longer than " + std::to_string(kept(roff).limits.string_length >> 10) + " KiB");
        return;
    }
    slot = std::make_shared<const std::string>(std::move(value));
}

void request_ds(Roff& roff, std::string_view name, std::string_view rest, RoffLine&, bool&) {
    std::string_view value;
    std::string string_name = interpolated(roff, first_word(rest, value), kText);
    if (!value.empty() && value[0] == '"') value.remove_prefix(1);
    define_string(roff, string_name, interpolated(roff, value, kCopy), name[0] == 'a');
}

// Whether `line` (as a definition reads it) ends a definition whose end name is `end`:
// the control character and the name, alone or before blanks and a comment. "\." is a
// dot in the copy a definition reads.
bool ends_definition(const Roff& roff, std::string_view line, std::string_view end) {
    size_t control = line.size() > 1 && line[0] == '\\' && line[1] == '.' ? 1 : 0;
    if (line.size() <= control || (line[control] != kept(roff).control && line[control] != kept(roff).no_break_control)) {
        return false;
    }
    std::string_view after = skip_blanks(line.substr(control + 1));
    if (after.compare(0, end.size(), end) != 0) return false;
    std::string_view tail = after.substr(end.size());
    return tail.empty() || is_blank(tail[0]) || tail[0] == '\\';
}

void request_de(Roff& roff, std::string_view name, std::string_view raw_rest, RoffLine&, bool&) {
    // The names may come from arguments or strings (".de C\\$1" inside a macro).
    std::string names = interpolated(roff, raw_rest, kText);
    std::string_view rest = names;
    std::string_view end_rest;
    std::string macro_name(first_word(rest, end_rest));
    std::string end(first_word(end_rest, end_rest));
    if (end.empty()) end = ".";
    if (name == "dei" || name == "ami") {
        // Indirect: the names are held in strings. Without the name's string there is no
        // definition: the lines that follow are the page's.
        auto found = kept(roff).strings.find(macro_name);
        if (found == kept(roff).strings.end()) return;
        macro_name = *found->second;
        if (end != ".") {
            auto found_end = kept(roff).strings.find(end);
            end = found_end != kept(roff).strings.end() ? *found_end->second : ".";
        }
    }
    std::string body;
    bool append = name[0] == 'a';
    if (append) {
        auto it = kept(roff).macros.find(macro_name);
        if (it != kept(roff).macros.end() && !roff.count_work(it->second->size())) return;
        if (it != kept(roff).macros.end()) body = *it->second;
    }
    std::string line;
    size_t floor = kept(roff).frames.size();
    // Where the first ".." stands, for a definition whose own end never comes.
    size_t dots_position = SIZE_MAX, dots_body = 0;
    bool ended = false;
    while (read_raw(roff, line, floor)) {
        if (!roff.count_work(line.size() + 1)) return;
        if (ends_definition(roff, line, end)) {
            ended = true;
            break;
        }
        if (end != "." && dots_position == SIZE_MAX && ends_definition(roff, line, ".")) {
            dots_position = kept(roff).frames.back()->position;
            dots_body = body.size();
        }
        interpolate_into(roff, line, body, kCopy, 0);
        body += '\n';
        if (body.size() > kept(roff).limits.string_length) {
            cut(roff, "a macro longer than " + std::to_string(kept(roff).limits.string_length >> 10) + " KiB");
            return;
        }
    }
    if (!ended && dots_position != SIZE_MAX && !kept(roff).cut && kept(roff).frames.size() == floor) {
        // The end name never came (".de xx<TAB>comment" takes "comment" for it): the
        // definition ends at its first "..", and the page goes on after it.
        kept(roff).frames.back()->position = dots_position;
        note(roff, "." + std::string(name) + " " + macro_name + ": no ." + end + " ends it; ended at ..", true);
        body.resize(dots_body);
    }
    if (macro_name.empty() || !may_define(roff)) return;
    if (!append && kept(roff).host.keeps_own && kept(roff).host.keeps_own(macro_name)) return;
    auto& appended = kept(roff).appended_builtins;
    auto mark = std::find(appended.begin(), appended.end(), macro_name);
    if (!append && mark != appended.end()) appended.erase(mark);
    if (append && mark == appended.end() && kept(roff).macros.count(macro_name) == 0 &&
        kept(roff).host.is_builtin && kept(roff).host.is_builtin(macro_name)) {
        appended.push_back(macro_name);
    }
    kept(roff).macros[macro_name] = std::make_shared<const std::string>(std::move(body));
}

void request_ig(Roff& roff, std::string_view, std::string_view rest, RoffLine&, bool&) {
    std::string_view ignored;
    std::string end(first_word(rest, ignored));
    if (end.empty()) end = ".";
    std::string line;
    size_t floor = kept(roff).frames.size();
    while (read_raw(roff, line, floor)) {
        if (!roff.count_work(line.size() + 1)) return;
        if (ends_definition(roff, line, end)) return;
    }
}

void request_if(Roff& roff, std::string_view name, std::string_view rest, RoffLine& out, bool& produced) {
    std::string text = interpolated(roff, rest, kText);
    std::string_view body;
    bool result;
    if (name == "el") {
        result = !kept(roff).conditions.empty() && !kept(roff).conditions.back();
        if (!kept(roff).conditions.empty()) kept(roff).conditions.pop_back();
        body = text;
    } else {
        result = condition(roff, text, body);
        if (name == "ie") {
            if (kept(roff).conditions.size() < 1000) kept(roff).conditions.push_back(result);
        }
    }
    produced = conditional_body(roff, result, body, rest, out);
}

// A loop's condition as the raw line spells it, escapes and all, as it is evaluated anew
// each round: a test of a name runs to the name's end, a comparison of strings to its
// third delimiter, anything else (a number, an expression, an escape) to the first blank.
std::string_view raw_condition_of(std::string_view rest) {
    rest = skip_blanks(rest);
    size_t i = rest.find_first_not_of('!');
    if (i == std::string_view::npos) return rest;
    const char c = rest[i];
    size_t end;
    if (std::string_view("drcmFS").find(c) != std::string_view::npos) {
        size_t name = rest.find_first_not_of(" \t", i + 1);
        end = name == std::string_view::npos ? rest.size() : rest.find_first_of(" \t", name);
    } else if (std::string_view("notev").find(c) != std::string_view::npos) {
        end = i + 1;
    } else if ((c >= '0' && c <= '9') || std::string_view("(-+\\").find(c) != std::string_view::npos) {
        end = rest.find_first_of(" \t", i);
    } else {
        const size_t second = rest.find(c, i + 1);
        end = second == std::string_view::npos ? second : rest.find(c, second + 1);
        if (end != std::string_view::npos) ++end;
    }
    return rest.substr(0, std::min(end, rest.size()));
}

void request_while(Roff& roff, std::string_view, std::string_view rest, RoffLine&, bool&) {
    // The condition and the body as the page writes them: both are interpolated anew on
    // each round.
    std::string raw_condition(raw_condition_of(rest));
    std::string body(skip_blanks(rest, raw_condition.size()));
    if (body.size() >= 2 && body[0] == '\\' && body[1] == '{') {
        int depth = brace_balance(body);
        body = std::string(skip_blanks(std::string_view(body).substr(2)));
        std::string line;
        size_t floor = kept(roff).frames.size();
        while (depth > 0 && read_raw(roff, line, floor)) {
            if (!roff.count_work(line.size() + 1)) return;
            depth += brace_balance(line);
            body += '\n';
            body += line;
        }
    }
    body += '\n';
    if (kept(roff).frames.size() >= kept(roff).limits.nesting) {
        drop_runaway(roff, "loops and macros nested");
        return;
    }
    auto frame = std::make_unique<RoffFrame>();
    frame->kind = RoffFrame::loop;
    hold(*frame, std::make_shared<const std::string>(std::move(body)));
    frame->condition = std::move(raw_condition);
    // The first round starts only if the condition holds now.
    frame->position = frame->text.size();
    kept(roff).frames.push_back(std::move(frame));
}

void request_break(Roff& roff, std::string_view name, std::string_view, RoffLine&, bool&) {
    while (!kept(roff).frames.empty()) {
        bool loop = kept(roff).frames.back()->kind == RoffFrame::loop;
        if (loop && name == "continue") {
            kept(roff).frames.back()->position = kept(roff).frames.back()->text.size();
            return;
        }
        kept(roff).frames.pop_back();
        if (loop) return;
    }
}

void request_return(Roff& roff, std::string_view, std::string_view, RoffLine&, bool&) {
    while (!kept(roff).frames.empty()) {
        bool macro = kept(roff).frames.back()->kind == RoffFrame::macro;
        if (kept(roff).frames.size() == 1) return;  // the page itself
        kept(roff).frames.pop_back();
        if (macro) return;
    }
}

void request_nr(Roff& roff, std::string_view, std::string_view rest, RoffLine&, bool&) {
    std::string text = interpolated(roff, rest, kText);
    std::string_view values;
    std::string name(first_word(text, values));
    int ignored;
    if (name.empty() || predefined_register(name, ignored)) return;  // (those are read only)
    std::string_view increment_text;
    std::string_view value_text = first_word(values, increment_text);
    auto it = kept(roff).registers.find(name);
    if (it == kept(roff).registers.end()) {
        if (!may_define(roff)) return;
        it = kept(roff).registers.emplace(name, Roff::Register{}).first;
    }
    Expression e{value_text};
    bool relative = !value_text.empty() && (value_text[0] == '+' || value_text[0] == '-');
    long long value = e.expression(false);
    if (e.ok) it->second.value = clamp_int(relative ? it->second.value + value : value);
    Expression step{first_word(increment_text, increment_text)};
    long long increment = step.expression(false);
    if (step.ok) it->second.increment = clamp_int(increment);
}

void request_rm(Roff& roff, std::string_view name, std::string_view rest, RoffLine&, bool&) {
    std::string text = interpolated(roff, rest, kText);
    std::string_view others = text;
    while (!others.empty()) {
        std::string word(first_word(others, others));
        if (word.empty()) break;
        if (name == "rr") {
            kept(roff).registers.erase(word);
        } else {
            kept(roff).strings.erase(word);
            kept(roff).macros.erase(word);
        }
    }
}

void request_rn(Roff& roff, std::string_view name, std::string_view rest, RoffLine&, bool&) {
    std::string text = interpolated(roff, rest, kText);
    std::string_view second_rest;
    std::string first(first_word(text, second_rest));
    std::string second(first_word(second_rest, second_rest));
    if (first.empty() || second.empty() || !may_define(roff)) return;
    // .rn old new; .als new old.
    const std::string& from = name == "als" ? second : first;
    const std::string& to = name == "als" ? first : second;
    for (auto* table : {&kept(roff).macros, &kept(roff).strings}) {
        auto it = table->find(from);
        if (it == table->end()) continue;
        Roff::Body body = it->second;
        if (name == "rn") table->erase(it);
        (*table)[to] = body;
    }
}

void request_so(Roff& roff, std::string_view, std::string_view rest, RoffLine&, bool&) {
    std::string_view ignored;
    std::string target = interpolated(roff, first_word(rest, ignored), kText);
    std::string text, error;
    if (!kept(roff).host.include || !kept(roff).host.include(target, text, error)) {
        note(roff, ".so " + target + ": " + (error.empty() ? "not read" : error));
        return;
    }
    if (kept(roff).frames.size() >= kept(roff).limits.nesting) {
        cut(roff, "files included more than " + std::to_string(kept(roff).limits.nesting) + " deep");
        return;
    }
    auto frame = std::make_unique<RoffFrame>();
    hold(*frame, std::make_shared<const std::string>(std::move(text)));
    kept(roff).frames.push_back(std::move(frame));
}

// Reads a character or escape at the head of `s`, for .tr; empty at the end.
std::string_view tr_item(std::string_view& s) {
    if (s.empty()) return {};
    size_t length = 1;
    if (s[0] == '\\' && s.size() > 1) {
        size_t i = 1;
        escape_name(s, i);
        length = i;
    } else {
        unsigned char b = static_cast<unsigned char>(s[0]);
        if (b >= 0xC0) while (length < s.size() && (static_cast<unsigned char>(s[length]) & 0xC0) == 0x80) ++length;
    }
    std::string_view item = s.substr(0, length);
    s.remove_prefix(length);
    return item;
}

// Prints `from` (an ASCII character, or a special character by name) as `to`.
void translate(Roff& roff, std::string_view from, std::string_view to) {
    if (from.size() == 1 && static_cast<unsigned char>(from[0]) < 0x80) {
        kept(roff).translations.resize(0x80);
        kept(roff).translations[static_cast<unsigned char>(from[0])] =
            to.size() == 1 && to[0] == from[0] ? std::string() : std::string(to);
        kept(roff).translating = true;
    } else if (from.size() > 2 && from[0] == '\\' && (from[1] == '(' || from[1] == '[')) {
        std::string_view name = from.substr(2, from[1] == '(' ? 2 : from.size() - 3);
        kept(roff).glyph_translations[std::string(name)] = std::string(to);
        kept(roff).translating = true;
    }
}

void request_tr(Roff& roff, std::string_view, std::string_view rest, RoffLine&, bool&) {
    std::string text = interpolated(roff, rest, kText);
    std::string_view s = skip_blanks(text);
    while (!s.empty()) {
        std::string_view from = tr_item(s);
        std::string_view to = tr_item(s);
        translate(roff, from, to.empty() ? " " : to);
    }
}

// .char c text: the character (or special character) printed as the text.
void request_char(Roff& roff, std::string_view, std::string_view rest, RoffLine&, bool&) {
    std::string text = interpolated(roff, rest, kText);
    std::string_view s = skip_blanks(text);
    std::string_view from = tr_item(s);
    s = skip_blanks(s);
    if (!s.empty() && s[0] == '"') s.remove_prefix(1);
    translate(roff, from, s);
}

void request_cc(Roff& roff, std::string_view name, std::string_view rest, RoffLine&, bool&) {
    std::string_view word = skip_blanks(rest);
    char c = word.empty() ? '\0' : word[0];
    if (name == "cc") kept(roff).control = c ? c : '.';
    else if (name == "c2") kept(roff).no_break_control = c ? c : '\'';
    else if (name == "ec") {
        kept(roff).escape = c ? c : '\\';
        kept(roff).escapes_on = true;
    } else if (name == "eo") {
        kept(roff).escapes_on = false;
    }
}

void request_do(Roff& roff, std::string_view, std::string_view rest, RoffLine& out, bool& produced) {
    std::string line(1, kept(roff).control);
    line += skip_blanks(rest);
    produced = process(roff, line, false, out);
}

void request_nop(Roff& roff, std::string_view, std::string_view rest, RoffLine& out, bool& produced) {
    std::string text = interpolated(roff, rest, kText);
    reset(out);
    out.made = std::move(text);
    out.text = out.made;
    produced = true;
}

void request_shift(Roff& roff, std::string_view, std::string_view rest, RoffLine&, bool&) {
    RoffFrame* frame = innermost_macro(roff);
    if (frame == nullptr) return;
    std::string count_text = interpolated(roff, rest, kText);
    Expression e{count_text};
    long long n = e.s.empty() ? 1 : e.expression(false);
    if (!e.ok || n < 0) return;
    size_t count = std::min(static_cast<size_t>(n), frame->args.size() - 1);
    frame->args.erase(frame->args.begin() + 1, frame->args.begin() + 1 + static_cast<long>(count));
}

void request_it(Roff& roff, std::string_view, std::string_view rest, RoffLine&, bool&) {
    std::string text = interpolated(roff, rest, kText);
    std::string_view macro;
    Expression e{first_word(text, macro)};
    long long lines = e.expression(false);
    kept(roff).trap_lines = e.ok && lines > 0 ? static_cast<int>(std::min(lines, 1000LL)) : 0;
    kept(roff).trap_macro = std::string(first_word(macro, macro));
}

void request_ex(Roff& roff, std::string_view, std::string_view, RoffLine&, bool&) { kept(roff).frames.clear(); }

void request_chop(Roff& roff, std::string_view, std::string_view rest, RoffLine&, bool&) {
    std::string_view ignored;
    std::string name(first_word(rest, ignored));
    for (auto* table : {&kept(roff).strings, &kept(roff).macros}) {
        auto it = table->find(name);
        if (it == table->end() || it->second->empty()) continue;
        if (!roff.count_work(it->second->size())) return;
        std::string value = *it->second;
        value.pop_back();
        it->second = std::make_shared<const std::string>(std::move(value));
    }
}

void request_length(Roff& roff, std::string_view, std::string_view rest, RoffLine&, bool&) {
    std::string_view value;
    std::string name(first_word(rest, value));
    if (!value.empty() && value[0] == '"') value.remove_prefix(1);
    if (name.empty() || !may_define(roff)) return;
    kept(roff).registers[name].value = static_cast<int>(std::min<size_t>(interpolated(roff, value, kCopy).size(), 1 << 30));
}

// Requests that would run a program, read or write a file, or print to the terminal:
// a page is data, so they are never carried out.
void request_refused(Roff&, std::string_view, std::string_view, RoffLine&, bool&) {}

struct Request {
    std::string_view name;
    Handler handler;
};

// The requests the reader carries out itself, sorted by name. Everything else goes to the
// macro layer.
constexpr Request kRequests[] = {
    {"ab", request_refused},    {"als", request_rn},        {"am", request_de},
    {"am1", request_de},        {"ami", request_de},        {"ami1", request_de},
    {"as", request_ds},         {"as1", request_ds},        {"break", request_break},
    {"c2", request_cc},         {"cc", request_cc},         {"cf", request_refused},
    {"char", request_char},     {"chop", request_chop},     {"close", request_refused},
    {"continue", request_break},
    {"de", request_de},         {"de1", request_de},        {"dei", request_de},
    {"dei1", request_de},       {"do", request_do},         {"ds", request_ds},
    {"ds1", request_ds},        {"ec", request_cc},         {"el", request_if},
    {"eo", request_cc},         {"ex", request_ex},         {"hpf", request_refused},
    {"hpfa", request_refused},  {"hpfcode", request_refused}, {"ie", request_if},
    {"if", request_if},         {"ig", request_ig},         {"it", request_it},
    {"itc", request_it},        {"length", request_length}, {"lf", request_refused},
    {"mso", request_refused},   {"msoquiet", request_refused}, {"nop", request_nop},
    {"nr", request_nr},         {"nx", request_refused},    {"open", request_refused},
    {"opena", request_refused}, {"output", request_refused}, {"pi", request_refused},
    {"pm", request_refused},    {"pso", request_refused},   {"rd", request_refused},
    {"return", request_return}, {"rm", request_rm},         {"rn", request_rn},
    {"rr", request_rm},         {"shift", request_shift},   {"so", request_so},
    {"sy", request_refused},    {"tm", request_refused},    {"tm1", request_refused},
    {"tmc", request_refused},   {"tr", request_tr},         {"trf", request_refused},
    {"while", request_while},   {"write", request_refused}, {"writec", request_refused},
    {"writem", request_refused},
};

static_assert(is_sorted_by_name(kRequests), "kRequests must be sorted by name");
constexpr NameTable kRequestTable(kRequests);

const Request* find_request(std::string_view name) { return kRequestTable.find(name); }

// ---- Reading and dispatching lines ------------------------------------------------------------

// Lines of a page written with another escape character, or with escapes off, in the
// tool's own spelling.
void apply_escape_character(const Roff& roff, std::string& line) {
    if (kept(roff).escapes_on && kept(roff).escape == '\\') return;
    std::string translated;
    for (char c : line) {
        if (c == '\\') translated += "\\e";
        else if (kept(roff).escapes_on && c == kept(roff).escape) translated += '\\';
        else translated += c;
    }
    line = std::move(translated);
}

bool read_raw(Roff& roff, std::string& line, size_t floor) {
    line.clear();
    for (;;) {
        if (kept(roff).cut || kept(roff).frames.empty() || kept(roff).frames.size() < floor) return false;
        RoffFrame& frame = *kept(roff).frames.back();
        const std::string_view text = frame.text;
        if (frame.position >= text.size()) {
            if (frame.kind == RoffFrame::loop) {
                if (!roff.count_work(frame.condition.size() + 16)) return false;
                std::string_view ignored;
                if (condition(roff, interpolated(roff, frame.condition, kText), ignored)) {
                    frame.position = 0;
                    continue;
                }
            }
            if ((kept(roff).frames.size() == 1 || kept(roff).frames.size() == floor) && !line.empty()) return true;
            if (kept(roff).frames.size() == floor) return false;
            kept(roff).frames.pop_back();
            if (!line.empty()) return true;
            continue;
        }
        size_t end = text.find('\n', frame.position);
        if (end == std::string::npos) end = text.size();
        size_t length = end - frame.position;
        if (length > 0 && text[end - 1] == '\r') --length;
        line.append(text, frame.position, length);
        frame.position = end + 1;
        // An odd number of escape characters at the end joins the next line.
        char escape = frame.kind == RoffFrame::file ? kept(roff).escape : '\\';
        size_t run = 0;
        while (run < line.size() && line[line.size() - 1 - run] == escape) ++run;
        if (run % 2 == 1 && (frame.kind != RoffFrame::file || kept(roff).escapes_on)) {
            line.pop_back();
            if (line.size() > kept(roff).limits.line_length) {
                cut(roff, "a line longer than " + std::to_string(kept(roff).limits.line_length >> 10) + " KiB");
                return false;
            }
            continue;
        }
        if (frame.kind == RoffFrame::file) apply_escape_character(roff, line);
        return true;
    }
}

bool call_macro(Roff& roff, std::string_view name, const Roff::Body& body, std::string_view rest,
                bool interpolated_already) {
    if (kept(roff).frames.size() >= kept(roff).limits.nesting) {
        drop_runaway(roff, "macros called");
        return false;
    }
    // An empty macro (an index entry's, as many pages define them) does nothing.
    if (body->empty()) return false;
    auto frame = std::make_unique<RoffFrame>();
    frame->kind = RoffFrame::macro;
    hold(*frame, body);
    frame->args.emplace_back(name);
    if (interpolated_already) {
        split_arguments(rest, frame->args);
    } else {
        split_arguments(interpolated(roff, rest, kArguments), frame->args);
    }
    kept(roff).frames.push_back(std::move(frame));
    return false;
}

bool process(Roff& roff, std::string_view line, bool interpolated_already, RoffLine& out) {
    if (!roff.count_work(line.size() + 1)) return false;
    bool is_request = !line.empty() && (line[0] == kept(roff).control || line[0] == kept(roff).no_break_control);
    if (!is_request) {
        reset(out);
        if (interpolated_already) {
            // The line lies in a string of the request that ends before the line is used.
            std::string storage;
            out.made.assign(without_closing_braces(roff, line, storage));
            out.text = out.made;
        } else {
            out.text = interpolated_view(roff, line, out.made);
        }
        return true;
    }
    std::string_view after = skip_blanks(line, 1);
    // A comment line, or the closing brace of a block, carries nothing.
    if (after.size() >= 2 && after[0] == '\\' && (after[1] == '"' || after[1] == '#' || after[1] == '}')) return false;
    after = without_comment(after);
    // The name ends at a blank, or at an escape after it (".el\{").
    size_t name_end = 0;
    while (name_end < after.size() && !is_blank(after[name_end]) && !(name_end > 0 && after[name_end] == '\\')) ++name_end;
    std::string_view name(after.data(), name_end);
    std::string_view rest = skip_blanks(after, name_end);
    if (name.empty()) return false;
    std::string built;
    if (name[0] == '\\') {
        // A name built from strings (an escape can only start it): interpolated first.
        built = interpolated(roff, name, kText);
        if (built.empty()) return false;
        name = built;
    }
    auto macro = kept(roff).macros.empty() ? kept(roff).macros.end() : kept(roff).macros.find(std::string(name));
    if (macro != kept(roff).macros.end()) {
        std::string storage;
        std::string_view arguments = interpolated_already ? without_closing_braces(roff, rest, storage) : rest;
        const auto& appended = kept(roff).appended_builtins;
        if (std::find(appended.begin(), appended.end(), name) == appended.end()) {
            return call_macro(roff, name, macro->second, arguments, interpolated_already);
        }
        // The layer's macro, then what the page appended to it, with the same arguments.
        reset(out);
        out.is_call = true;
        out.name.append(name);
        size_t frames = kept(roff).frames.size();
        call_macro(roff, name, macro->second, arguments, interpolated_already);
        if (kept(roff).frames.size() > frames) {
            const auto& args = kept(roff).frames.back()->args;
            out.args.assign(args.begin() + 1, args.end());
        } else {
            split_arguments(interpolated_already ? arguments : interpolated(roff, arguments, kArguments), out.args);
        }
        return true;
    }
    if (const Request* request = find_request(name)) {
        std::string storage;
        bool conditional = request->handler == request_if || request->handler == request_while;
        std::string_view argument = conditional ? rest : without_closing_braces(roff, rest, storage);
        bool produced = false;
        request->handler(roff, name, argument, out, produced);
        return produced;
    }
    reset(out);
    out.is_call = true;
    out.name.append(name);  // (empty after reset: an append, without the checks of a replace)
    if (interpolated_already) {
        std::string storage;
        split_arguments(without_closing_braces(roff, rest, storage), out.args, &out.quoted);
    } else {
        split_arguments(interpolated_view(roff, rest, kept(roff).scratch, kArguments), out.args, &out.quoted);
    }
    return true;
}

}  // namespace

void Roff::warn(const std::string& text) { note(*this, text, true); }

bool Roff::unknown_macro(const std::string& name) {
    if (name.empty() || name[0] < 'A' || name[0] > 'Z') return false;
    auto& warned = s_.unknown_macros;
    if (std::find(warned.begin(), warned.end(), name) != warned.end()) return true;
    warned.push_back(name);
    warn("unknown macro ." + name + ": its words kept as text");
    return true;
}

bool Roff::overworked() {
    ::cut(*this, "the page makes more than " + std::to_string(s_.limits.total_bytes >> 20) + " MiB of text");
    return false;
}

void split_arguments(std::string_view text, std::vector<std::string>& args, uint64_t* quoted) {
    // Blanks separate arguments; a tab belongs to the argument it stands in (a column
    // list's cells are parted by tabs).
    auto is_separator = [](char c) { return c == ' '; };
    size_t i = 0;
    for (;;) {
        while (i < text.size() && is_separator(text[i])) ++i;
        if (i >= text.size()) return;
        if (text[i] != '"') {
            size_t start = i;
            while (i < text.size() && !is_separator(text[i])) i += text[i] == '\\' && i + 1 < text.size() ? 2 : 1;
            args.emplace_back(text.substr(start, i - start));
            continue;
        }
        // Up to each quote, escapes kept whole (a lone one at the end as it is): most
        // arguments have one run, copied at once.
        auto run_end = [&](size_t k) {
            while (k < text.size() && text[k] != '"') k += text[k] == '\\' ? std::min<size_t>(2, text.size() - k) : 1;
            return k;
        };
        if (quoted != nullptr && args.size() < 64) *quoted |= uint64_t{1} << args.size();
        size_t start = i + 1;
        i = run_end(start);
        if (i + 1 >= text.size() || text[i + 1] != '"') {
            args.emplace_back(text.substr(start, i - start));
            i = std::min(text.size(), i + 1);
            continue;
        }
        std::string& arg = args.emplace_back();
        for (;;) {
            arg.append(text, start, i - start);
            if (i >= text.size()) break;
            if (i + 1 < text.size() && text[i + 1] == '"') {
                arg += '"';
                start = i + 2;
                i = run_end(start);
                continue;
            }
            ++i;
            break;
        }
    }
}

namespace {

// The room of the last reader a thread was done with, for its next one (a reader per
// page): its frames, their first one kept, and its buffers.
struct Room {
    bool held = false;
    std::vector<std::unique_ptr<RoffFrame>> frames;
    std::string scratch, raw_line;
};
thread_local Room spare_room;

}  // namespace

Roff::Roff(std::string_view page, RoffHost host_in, RoffLimits limits_in) {
    s_.host = std::move(host_in);
    s_.limits = limits_in;
    Room& room = spare_room;
    if (room.held) {
        room.held = false;
        s_.frames = std::move(room.frames);
        s_.scratch = std::move(room.scratch);
        s_.raw_line = std::move(room.raw_line);
    } else {
        s_.scratch.reserve(256);
    }
    if (s_.frames.empty()) s_.frames.push_back(std::make_unique<RoffFrame>());
    s_.frames.back()->text = page;
}

Roff::Roff(std::string&& page, RoffHost host_in, RoffLimits limits_in)
    : Roff(std::string_view(), std::move(host_in), limits_in) {
    hold(*s_.frames.back(), std::make_shared<const std::string>(std::move(page)));
}

Roff::~Roff() {
    Room& room = spare_room;
    if (room.held) return;
    room.held = true;
    s_.frames.resize(std::min<size_t>(s_.frames.size(), 1));
    if (!s_.frames.empty()) *s_.frames.front() = RoffFrame();
    room.frames = std::move(s_.frames);
    room.scratch = std::move(s_.scratch);
    room.raw_line = std::move(s_.raw_line);
}

namespace {

// The next line, as read_raw reads it, but without a copy where it can be had as it
// stands in its input: no escape at its end, no escape character of the page's own.
bool read_line(Roff& roff, std::string& buffer, std::string_view& line) {
    if (!kept(roff).frames.empty()) {
        RoffFrame& frame = *kept(roff).frames.back();
        const std::string_view text = frame.text;
        bool plain = frame.kind != RoffFrame::file || (kept(roff).escape == '\\' && kept(roff).escapes_on);
        if (plain && frame.position < text.size()) {
            const char* start = text.data() + frame.position;
            const void* found = std::memchr(start, '\n', text.size() - frame.position);
            size_t end = found ? static_cast<size_t>(static_cast<const char*>(found) - text.data()) : text.size();
            size_t length = end - frame.position;
            if (length > 0 && text[end - 1] == '\r') --length;
            if (length == 0 || start[length - 1] != '\\') {
                line = std::string_view(start, length);
                frame.position = end + 1;
                return true;
            }
        }
    }
    if (!read_raw(roff, buffer)) return false;
    line = buffer;
    return true;
}

}  // namespace

bool Roff::next(RoffLine& line) {
    std::string_view raw;
    while (!s_.cut && read_line(*this, s_.raw_line, raw)) {
        if (process(*this, raw, false, line)) {
            if (s_.trap_lines > 0 && !line.is_call && --s_.trap_lines == 0) {
                auto macro = s_.macros.find(s_.trap_macro);
                if (macro != s_.macros.end()) call_macro(*this, s_.trap_macro, macro->second, "", true);
            }
            return true;
        }
    }
    return false;
}

std::string_view Roff::string(std::string_view name) const {
    auto it = s_.strings.find(std::string(name));
    return it != s_.strings.end() ? std::string_view(*it->second) : predefined_string(name);
}

void Roff::set_string(std::string_view name, std::string_view value) {
    s_.strings[std::string(name)] = std::make_shared<const std::string>(value);
}

void Roff::interpolate(std::string_view in, std::string& out) { interpolate_into(*this, in, out, kText, 0); }
