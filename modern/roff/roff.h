// The roff front end of the modern converter: reads a page line by line, keeps its
// strings, macros, registers and conditionals, and hands each remaining line, its strings
// and arguments interpolated, to the macro layer as a call or as text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// How far a page may make the reader work before it is cut: a page is data, and a page
// that defines a macro calling itself, a string that doubles at every step or a loop that
// never ends must still come to an end, soon and in little memory.
struct RoffLimits {
    size_t nesting = 64;                 // macro calls, includes and loops inside each other
    size_t line_length = 1 << 20;        // one line after interpolation
    size_t total_bytes = 16u << 20;      // all lines handed on or interpolated, together
    size_t string_length = 1 << 20;      // one string or macro body
    size_t definitions = 100000;         // strings, macros and registers defined
};

// One line for the macro layer.
struct RoffLine {
    RoffLine() = default;
    // (Not copied: `text` may view the line's own `made`.)
    RoffLine(const RoffLine&) = delete;
    RoffLine& operator=(const RoffLine&) = delete;

    bool is_call = false;       // a request or macro call; otherwise a text line
    std::string name;           // the call's name
    std::vector<std::string> args;  // its arguments, quotes taken off, escapes left in
    uint64_t quoted = 0;        // bit i: args[i] was quoted (of the first 64)
    // A text line, escapes left in for the formatter: a view of the page where the line
    // stands in it as it is (most lines), else of `made`; valid until the next line is read.
    std::string_view text;
    std::string made;           // the text, where the reader made it (interpolated)
};

// What the reader needs from its caller.
struct RoffHost {
    // The names the macro layer defines itself: a `.if d NAME` is true for them.
    std::function<bool(std::string_view)> is_builtin;
    // Reads the file a `.so` request names (as written in the page) into `text`, as UTF-8;
    // returns false with the reason in `error` when it cannot or must not.
    using Include = std::function<bool(std::string_view target, std::string& text, std::string& error)>;
    Include include;
    // Those of them a page's own definition does not replace: a page defines them for
    // formatters without them (.de UR when groff's is missing), and the layer's link.
    std::function<bool(std::string_view)> keeps_own;
};

struct RoffFrame;

class Roff {
public:
    // Reads `page` where it lies: it must outlive the reader.
    Roff(std::string_view page, RoffHost host, RoffLimits limits = {});
    // The same, the reader keeping `page` itself.
    Roff(std::string&& page, RoffHost host, RoffLimits limits = {});
    ~Roff();
    Roff(const Roff&) = delete;
    Roff& operator=(const Roff&) = delete;

    // The next line for the macro layer; false at the end of the page (or where it was
    // cut).
    bool next(RoffLine& line);

    // A string's value, interpolated forms and all; empty when it is not defined.
    std::string_view string(std::string_view name) const;
    // Sets a string (the macro layer's own predefined strings, the date...).
    void set_string(std::string_view name, std::string_view value);
    // The character translations of `.tr`: what `c` is to print as, or nullptr.
    const std::string* translation(unsigned char c) const {
        return c < s_.translations.size() && !s_.translations[c].empty() ? &s_.translations[c] : nullptr;
    }
    // The same for a special character by name (.tr \(*W-).
    const std::string* glyph_translation(std::string_view name) const {
        if (s_.glyph_translations.empty()) return nullptr;
        auto it = s_.glyph_translations.find(std::string(name));
        return it == s_.glyph_translations.end() ? nullptr : &it->second;
    }
    bool translates() const { return s_.translating; }
    // Interpolates `in` (strings, registers, arguments; comments dropped) into `out`.
    void interpolate(std::string_view in, std::string& out);
    // Counts text the page makes (interpolated, defined, read again in a loop or a macro,
    // or made again by the macro layer) as the page's work: false, and the page cut, once
    // that passes the bound.
    bool count_work(size_t bytes) {
        // Past the bound nothing more is counted: the work stays within one charge of it.
        if (s_.work <= s_.limits.total_bytes) s_.work += bytes;
        return s_.work <= s_.limits.total_bytes || overworked();
    }
    // The bytes of work counted so far.
    size_t work() const { return s_.work; }

    // What went wrong, one line each (a refused include, a bound reached), and what the
    // macro layer passed over (a warning: the page is written as the format says).
    struct Message {
        size_t line;  // of the page, where the reader stood; 0 past its end
        std::string text;
        bool warning = false;  // the page is whole: the run's status does not change
    };
    const std::vector<Message>& messages() const { return s_.messages; }
    // A warning of the macro layer, at the line last read.
    void warn(const std::string& text);
    // Whether a call no layer knows is a macro (its name begins with a capital), whose
    // words the layer keeps as text: warned of once a page. A request the reader does not
    // do (.tm, .sy) is none, and is dropped.
    bool unknown_macro(const std::string& name);
    // Whether the page was cut short by a bound.
    bool cut() const { return s_.cut; }

    using Body = std::shared_ptr<const std::string>;
    struct Register {
        int value = 0;
        int increment = 0;
    };

private:
    friend struct RoffAccess;  // the reader's own requests and interpolation
    // What the reader keeps of a page while it reads it.
    struct State {
        std::unordered_map<std::string, Body> strings;
        std::unordered_map<std::string, Body> macros;
        // The layer's own macros that a page appends to (.am SH): the layer's first.
        std::vector<std::string> appended_builtins;
        std::vector<std::string> unknown_macros;  // warned of
        std::unordered_map<std::string, Register> registers;
        std::vector<std::unique_ptr<RoffFrame>> frames;
        std::vector<bool> conditions;  // results of .ie, for .el
        std::vector<std::string> translations;  // by ASCII byte; none until the first .tr
        std::unordered_map<std::string, std::string> glyph_translations;
        bool translating = false;  // any translation is set
        char escape = '\\';
        bool escapes_on = true;
        char control = '.';
        char no_break_control = '\'';
        size_t work = 0;         // bytes handled so far, against limits.total_bytes
        size_t definitions = 0;  // against limits.definitions
        // An input line trap: after `trap_lines` more text lines, call `trap_macro`.
        int trap_lines = 0;
        std::string trap_macro;
        RoffHost host;
        RoffLimits limits;
        std::string scratch;     // a call's arguments being interpolated
        std::string raw_line;    // the line being read
        std::vector<Message> messages;
        bool cut = false;
        bool runaway = false;  // a string's interpolation went too deep: it unwinds
    };
    State s_;
    // Cuts the page for the work it made: false.
    bool overworked();
};

// Splits a request's or macro's argument text into arguments: blanks separate them, a
// double quote at the start of one makes it run to the next lone double quote ("" inside
// it is one quote), and escapes are kept whole. Appends to `args`, and sets the bit of
// each quoted one in `quoted`.
void split_arguments(std::string_view text, std::vector<std::string>& args, uint64_t* quoted = nullptr);
