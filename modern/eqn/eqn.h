// Equations (eqn): the lines of a .EQ block, or the text between the delimiters of a text
// line, parsed into boxes and written as MathML for the document tree.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "modern/doc/builder.h"
#include "modern/roff/inline.h"
#include "modern/roff/roff.h"

// How far one equation may make the parser work before the rest of it is left out, with
// a message: an equation is data, and a definition that doubles at every use, groups
// without end or a .EQ without its .EN must still come to an end, soon and in little room.
struct EqnLimits {
    size_t depth = 64;           // groups and keywords' arguments inside each other
    size_t source = 1 << 16;     // the text of one .EQ block
    size_t expansion = 1 << 16;  // the text that definitions stand for, in one equation
    size_t boxes = 1 << 13;      // the boxes of one equation
    size_t output = 1 << 15;     // the MathML of one equation
    size_t definitions = 1000;   // names defined on a page
};

// What the equations of a page share, from one to the next: the definitions, the
// delimiters of inline equations, the size and font of them all.
class Equations {
public:
    explicit Equations(Roff& roff, EqnLimits limits = {});
    ~Equations();
    Equations(const Equations&) = delete;
    Equations& operator=(const Equations&) = delete;

    // The MathML of the equation `source` (eqn text, roff escapes left in): one <math>
    // element, display="block" with `display`; "" when it sets no box (statements alone).
    std::string render(std::string_view source, bool display);
    // Reads the lines after a .EQ line, up to and including its .EN (or the page's end),
    // as one equation of its own: its MathML, "" when it sets no box.
    std::string read_block();
    // Puts a text line into `doc` as write_inline does, what stands between the
    // delimiters that `delim` set (up to the line's end, when the second is missing) as
    // equations. Returns true when the line ends in \c.
    bool write_line(DocumentBuilder& doc, FontState& fonts, std::string_view text);

    struct State;

private:
    Roff& roff_;
    EqnLimits limits_;
    std::unique_ptr<State> s_;  // made with the page's first equation
};
