// Page identification.
#include "discovery/identify.h"

#include <cstring>

#include "platform/platform.h"

const char kNoTitleMessage[] =
    "\x87\xA0\xA3\xAE\xAB\xAE\xA2\xAE\xAA MAN \xAD\xA5 \xAD\xA0\xA9\xA4\xA5\xAD \xA2 \xE4\xA0\xA9"
    "\xAB\xA5: ";

namespace {

// The name test: the byte after the last '.' of the whole entry is a decimal digit.
bool passes_name_test(const char* entry) {
    const char* dot = std::strrchr(entry, '.');
    return dot != nullptr && dot[1] >= '0' && dot[1] <= '9';
}

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads the title and section number from a title line held in `line[0, length)`.
void read_title_line(const char* line, size_t length, std::string& title, uint8_t& section) {
    // The title runs from just after ".TH " to the next space; a line (or window) that
    // ends first ends it too, and then there is no section number.
    size_t end = 4;
    while (end < length && line[end] != ' ' && line[end] != '\n') ++end;
    size_t title_end = 4;
    while (title_end < end && title_end - 4 < kTitleLimit && line[title_end] != '\0') ++title_end;
    title.assign(line + 4, title_end - 4);

    section = 0;
    if (end >= length || line[end] != ' ') return;
    // The section number: blanks skipped, an optional sign, decimal digits; only its low
    // 8 bits are kept.
    size_t i = end + 1;
    while (i < length && is_blank(line[i])) ++i;
    bool negative = false;
    if (i < length && (line[i] == '+' || line[i] == '-')) {
        negative = line[i] == '-';
        ++i;
    }
    uint32_t value = 0;
    while (i < length && line[i] >= '0' && line[i] <= '9') {
        value = value * 10 + static_cast<uint32_t>(line[i] - '0');
        ++i;
    }
    if (negative) value = 0u - value;
    section = static_cast<uint8_t>(value & 0xFF);
}

}  // namespace

uint8_t identify_page(const std::string& input_folder, const char* entry, std::string& title,
                      uint8_t& section) {
    if (!passes_name_test(entry)) return kNotPage;

    platform::TextFile file;
    std::string path = input_folder + entry;
    int error = file.open_read(path);
    if (error != 0) {
        platform::report_file_error("read", path, error);
        // The answer is the error number's low byte, but never one that means a page or
        // a plain "not a page".
        uint8_t answer = static_cast<uint8_t>(error & 0xFF);
        return answer == kIsPage || answer == kNotPage ? 0xFF : answer;
    }

    // The window always begins at the start of a line (or of a 260-byte piece of one).
    char window[kIdentifyWindow];
    size_t held = file.read(window, sizeof window);
    while (held > 0) {
        if (held >= 4 && std::memcmp(window, ".TH ", 4) == 0) {
            read_title_line(window, held, title, section);
            file.close();
            return kIsPage;
        }
        const void* line_feed = std::memchr(window, '\n', held);
        if (line_feed != nullptr) {
            size_t next = static_cast<size_t>(static_cast<const char*>(line_feed) - window) + 1;
            std::memmove(window, window + next, held - next);
            held -= next;
            held += file.read(window + held, sizeof window - held);
        } else if (held == sizeof window) {
            held = file.read(window, sizeof window);
        } else {
            break;  // the last line has been tested
        }
    }
    file.close();
    platform::print_out(std::string(kNoTitleMessage) + entry + "\n");
    return kNotPage;
}
