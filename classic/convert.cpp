// Page conversion: the frame of the page, line reading, the character writer, the
// request table, font escapes and the closings done at every line end.
#include "classic/convert.h"

#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>

#include "output/create_folders.h"
#include "classic/links.h"
#include "model/paths.h"
#include "platform/platform.h"

namespace {

constexpr size_t kEscapeLinkLimit = 255;
constexpr size_t kStore = 32 * 1024;  // text read at a time, which the line buffer slides over

// One page in conversion: where it goes, what it knows, and its line buffer.
struct Page {
    Sink& out;
    ConverterState& state;
    LinkContext links;
    // The line buffer: a window of kLineBuffer bytes onto the text read so far.
    const char* line = nullptr;
    size_t valid = 0;  // bytes of `line` that hold text
    // A font request's argument that reached the end of the buffer before its line end
    // goes on at the head of the next fill, as argument text rather than a new line.
    bool argument_runs_on = false;
    ArgumentState argument;
};

void write_blockquote_closings(Sink& out, int count) {
    for (int i = 0; i < count; ++i) out.put("</blockquote>");
}

// ---- Requests ----------------------------------------------------------------------------

// How the scan goes on after a request's name.
enum class Resume {
    at_fixed,      // at the row's position
    after_blank,   // at 3 when the line ends there, else at 4 (the blank is skipped)
    at_argument,   // where the argument emitter stopped
};

struct Request {
    std::string_view prefix;
    bool needs_word_end;  // the byte after the prefix must be a blank or the line end
    void (*act)(Page& page);
    Resume resume;
    size_t position;      // at_fixed: where the scan goes on; at_argument: where the argument starts
};

void begin_comment(Page& page) {
    page.state.comment = true;
    page.out.put("<!-- ");
}

void begin_title_line(Page& page) { page.state.title_line = true; }

void begin_section(Page& page) {
    ConverterState& s = page.state;
    s.section_heading = true;
    close_fonts(page.out, s);
    // A section closes everything, its predecessor's own blockquote included.
    if (s.nesting >= 0) {
        write_blockquote_closings(page.out, s.nesting + 1);
        s.nesting = -1;
    }
    page.out.put("\n<h1>");
}

void begin_subsection(Page& page) {
    ConverterState& s = page.state;
    s.subsection_heading = true;
    close_fonts(page.out, s);
    while (s.nesting > 0) {
        page.out.put("</blockquote>");
        --s.nesting;
    }
    page.out.put("\n<h2>");
}

void begin_item(Page& page) {
    ConverterState& s = page.state;
    s.item_heading = true;
    close_fonts(page.out, s);
    if (s.nesting != 0) {
        page.out.put("</blockquote>");
        s.nesting = static_cast<int8_t>(static_cast<uint8_t>(s.nesting) - 1u);
    }
    page.out.put("\n<h3><tt>");
}

void begin_no_fill(Page& page) {
    page.state.no_fill = true;
    page.out.put("<tt>");
}

void end_no_fill(Page& page) {
    page.state.no_fill = false;
    page.out.put("</tt>");
}

void write_break(Page& page) { page.out.put("<br>"); }
void write_space(Page& page) { page.out.put("<br><br>"); }
void do_nothing(Page&) {}

void begin_bold(Page& page) {
    page.state.bold_line = true;
    page.out.put("<b>");
}

void begin_bold_italic(Page& page) {
    page.state.bold_line = true;
    page.state.italic_line = 1;
    page.out.put("<b><i>");
}

void begin_italic(Page& page) {
    page.state.italic_line = 1;
    page.out.put("<i>");
}

void begin_italic_break(Page& page) {
    page.state.italic_line = 2;
    page.out.put("<i>");
}

// The request table, tried in order; the first row whose prefix starts the line is taken.
const Request kRequests[] = {
    {".\\\"", false, begin_comment, Resume::at_fixed, 3},
    {".TH ", false, begin_title_line, Resume::at_fixed, 4},
    {".SH ", false, begin_section, Resume::at_fixed, 4},
    {".SS ", false, begin_subsection, Resume::at_fixed, 4},
    {".IP ", false, begin_item, Resume::at_fixed, 4},
    {".nf", true, begin_no_fill, Resume::after_blank, 0},
    {".fi", true, end_no_fill, Resume::after_blank, 0},
    {".br", true, write_break, Resume::after_blank, 0},
    {".sp", true, write_space, Resume::after_blank, 0},
    {".ad", true, do_nothing, Resume::at_fixed, 3},
    {".B ", false, begin_bold, Resume::at_argument, 3},
    {".BI ", false, begin_bold_italic, Resume::at_argument, 4},
    {".I ", false, begin_italic, Resume::at_argument, 3},
    {".IR ", false, begin_italic_break, Resume::at_argument, 4},
    {".BR ", false, do_nothing, Resume::at_argument, 4},
};

bool matches(const Page& page, const Request& request) {
    // Every prefix is a dot and at least two more bytes: the byte after the dot tells
    // most rows apart at once.
    if (page.valid < 2 || page.line[1] != request.prefix[1]) return false;
    size_t length = request.prefix.size();
    if (page.valid < length || std::memcmp(page.line, request.prefix.data(), length) != 0) return false;
    if (!request.needs_word_end) return true;
    return length < page.valid && (page.line[length] == ' ' || page.line[length] == '\n');
}

// Writes the font request argument that starts at `start` and runs to the line end, the
// zero byte after the source's last line, or the end of the buffer. Returns where the
// scan goes on.
size_t write_argument(Page& page, size_t start) {
    size_t length = kLineBuffer - start;
    size_t stop = emit_argument(page.links, page.line + start, length, page.argument);
    page.argument_runs_on = stop == length;
    return start + stop;
}

// Handles the line at the head of the buffer, which begins with '.'. Returns where the
// scan goes on.
size_t handle_request(Page& page) {
    for (const Request& request : kRequests) {
        if (!matches(page, request)) continue;
        request.act(page);
        switch (request.resume) {
            case Resume::at_fixed:
                return request.position;
            case Resume::after_blank:
                return page.line[3] == '\n' ? 3 : 4;
            case Resume::at_argument:
                page.argument = ArgumentState{};
                return write_argument(page, request.position);
        }
    }
    // Any other request becomes page text without its dot.
    return 1;
}

// ---- Font escapes and the character writer ---------------------------------------------

constexpr size_t kDeclined = SIZE_MAX;

// The escape \f with its letter at p + 2. Returns where the scan goes on, or kDeclined:
// then the backslash is an ordinary byte.
size_t font_escape(Page& page, size_t p) {
    ConverterState& s = page.state;
    char letter = page.line[p + 2];
    if (letter == 'B' || letter == 'I') {
        if (letter == 'B') {
            page.out.put("<b>");
            s.inline_bold = true;
        } else {
            page.out.put("<i>");
            s.inline_italic = true;
        }
        size_t text = p + 3;
        size_t limit = kLineBuffer - text < kEscapeLinkLimit ? kLineBuffer - text : kEscapeLinkLimit;
        return text + emit_link(page.links, page.line + text, limit);
    }
    if (letter == 'P' && s.inline_italic) {
        page.out.put("</i>");
        s.inline_italic = false;
        return p + 3;
    }
    if (letter == 'P' || letter == 'R') {
        if (!s.inline_bold) return kDeclined;
        page.out.put("</b>");
        s.inline_bold = false;
        return p + 3;
    }
    return kDeclined;
}

// The bytes that the character writer copies as they are (or holds back on the title
// line), as a table: the scan for the end of a run of them is the converter's inner loop.
struct PlainBytes {
    bool plain[256];
    constexpr PlainBytes() : plain() {
        for (int i = 0; i < 256; ++i) plain[i] = i != '\n' && i != '<' && i != '>' && i != '\\';
    }
};
constexpr PlainBytes kPlainBytes;

bool is_plain(char c) { return kPlainBytes.plain[static_cast<unsigned char>(c)]; }

// Whether one of the eight bytes of `word` is not plain. A byte equal to c is a zero
// byte of word ^ (c in every byte), and only a zero byte keeps its high bit through
// (v - 0x01...) & ~v.
bool holds_non_plain(uint64_t word) {
    constexpr uint64_t kOnes = 0x0101010101010101u, kHighs = 0x8080808080808080u;
    uint64_t zeros = 0;
    for (unsigned char c : {'\n', '<', '>', '\\'}) {
        uint64_t v = word ^ (kOnes * c);
        zeros |= (v - kOnes) & ~v & kHighs;
    }
    return zeros != 0;
}

// Writes the run of plain bytes that starts at p in one piece; returns where it ends.
// The run is looked through eight bytes at a time while it lasts.
size_t write_plain_run(Page& page, size_t p) {
    size_t end = p + 1;
    uint64_t word;
    while (end + sizeof word <= page.valid) {
        std::memcpy(&word, page.line + end, sizeof word);
        if (holds_non_plain(word)) break;
        end += sizeof word;
    }
    while (end < page.valid && is_plain(page.line[end])) ++end;
    if (!page.state.title_line) page.out.put(page.line + p, end - p);
    return end;
}

size_t write_character(Page& page, size_t p) {
    char c = page.line[p];
    if (c == '<') {
        page.out.put("&lt;");
        return p + 1;
    }
    if (c == '>') {
        page.out.put("&gt;");
        return p + 1;
    }
    if (c == '\\' && p + 2 < page.valid && page.line[p + 1] == 'f') {
        size_t next = font_escape(page, p);
        if (next != kDeclined) return next;
    }
    if (!page.state.title_line) page.out.put(c);
    return p + 1;
}

// ---- Line ends ------------------------------------------------------------------------------

void close_heading(Page& page, const char* closing) {
    page.out.put(closing);
    page.state.nesting = static_cast<int8_t>(static_cast<uint8_t>(page.state.nesting) + 1u);
}

void line_end_closings(Page& page) {
    ConverterState& s = page.state;
    if (s.comment) {
        page.out.put(" !-->\n");
        s.comment = false;
    }
    if (s.section_heading) {
        close_heading(page, "</h1>\n<blockquote>");
        s.section_heading = false;
    } else if (s.subsection_heading) {
        close_heading(page, "</h2>\n<blockquote>");
        s.subsection_heading = false;
    } else if (s.item_heading) {
        close_heading(page, "</tt></h3>\n<blockquote>");
        s.item_heading = false;
    }
    if (s.bold_line) {
        page.out.put("</b> ");
        s.bold_line = false;
    }
    if (s.italic_line != 0) {
        page.out.put(s.italic_line == 2 ? "</i><br>" : "</i> ");
        s.italic_line = 0;
    }
    s.title_line = false;
}

void write_head(Sink& out, const std::string& title) {
    out.put("<html lang=\"ru\"><head>\n<meta content=\"text/html;charset=windows-1251\" "
            "http-equiv=\"Content-Type\">\n\t<title>");
    out.put(escape_attribute(title));
    out.put("</title>\n</head><body>\n");
}

}  // namespace

void close_fonts(Sink& out, ConverterState& state) {
    if (state.no_fill) {
        out.put("</tt>");
        state.no_fill = false;
    }
    if (state.inline_bold) {
        out.put("</b>");
        state.inline_bold = false;
    }
    if (state.inline_italic) {
        out.put("</i>");
        state.inline_italic = false;
    }
}

void convert_text(Source& source, Sink& out, const PageTable& pages, uint32_t index,
                  ConverterState& state) {
    write_head(out, pages[index].title);
    std::string made_folder = std::move(state.made_folder);
    state = ConverterState{};
    state.made_folder = std::move(made_folder);
    Page page{out, state, LinkContext{out, pages, index}, nullptr, 0, false, {}};

    // The text is read in large pieces, and the line buffer slides over them: each fill
    // of the buffer takes the kLineBuffer bytes that follow what the scan has finished
    // with. After the source's last byte lies a zero byte, which stops the emitters.
    char store[kStore + 1];
    size_t start = 0, end = 0;
    bool at_end = false;
    for (;;) {
        if (end - start < kLineBuffer && !at_end) {
            std::memmove(store, store + start, end - start);
            end -= start;
            start = 0;
            size_t wanted = kStore - end;
            size_t got = source.read(store + end, wanted);
            end += got;
            if (got < wanted) {
                at_end = true;
                store[end] = '\0';
            }
        }
        if (start == end) break;
        page.line = store + start;
        page.valid = end - start < kLineBuffer ? end - start : kLineBuffer;

        // Scan. Without a line end in the buffer the whole buffer is finished with, and
        // the next fill starts a fresh piece whose first byte counts as the start of a
        // line, unless a font request's argument runs on into it.
        size_t finished = page.valid;
        size_t p = page.argument_runs_on ? write_argument(page, 0) : 0;
        while (p < page.valid) {
            char c = page.line[p];
            if (c == '\n') {
                out.put(p == 0 || state.no_fill ? "<br>" : " ");
                finished = p + 1;
                line_end_closings(page);
                break;
            }
            if (p == 0 && c == '.') {
                p = handle_request(page);
            } else {
                p = is_plain(c) ? write_plain_run(page, p) : write_character(page, p);
            }
        }
        start += finished;
    }

    // Only what lies beyond the last section's own blockquote is closed.
    while (state.nesting > 0) {
        out.put("</blockquote>");
        --state.nesting;
    }
    out.put("</body></html>");
}

bool convert_page(const PageTable& pages, uint32_t index, const std::string& input_folder,
                  const std::string& output_folder, ConverterState& state, std::string_view held) {
    const PageRecord& record = pages[index];
    std::string source_path = input_folder + record.source_path;
    platform::TextFile source_file;
    bool from_file = held.data() == nullptr;
    if (int error = from_file ? source_file.open_read(source_path) : 0; error != 0) {
        platform::report_file_error("read", source_path, error);
        return false;
    }

    std::string page_path = output_folder + record.html_path;
    size_t folder_end = page_path.rfind('\\');
    if (folder_end != std::string::npos && folder_end > 0 &&
        state.made_folder.compare(0, std::string::npos, page_path, 0, folder_end) != 0) {
        create_folders(page_path, folder_end);
        state.made_folder.assign(page_path, 0, folder_end);
    }

    platform::TextFile page_file;
    if (int error = page_file.open_write(page_path); error != 0) {
        platform::report_file_error("create", page_path, error);
        return false;
    }
    Source source = from_file ? Source(source_file) : Source(held);
    Sink out(page_file);
    convert_text(source, out, pages, index, state);
    out.flush();
    bool ok = true;
    if (int error = source_file.close(); error != 0) {
        platform::report_file_error("read", source_path, error);
        ok = false;
    }
    if (int error = page_file.close(); error != 0) {
        platform::report_file_error("write", page_path, error);
        ok = false;
    }
    return ok;
}
