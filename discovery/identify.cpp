// Page identification.
#include "discovery/identify.h"

#include <algorithm>
#include <cstring>

#include "platform/platform.h"

const char kNoTitleMessage[] =
    "\x87\xA0\xA3\xAE\xAB\xAE\xA2\xAE\xAA MAN \xAD\xA5 \xAD\xA0\xA9\xA4\xA5\xAD \xA2 \xE4\xA0\xA9"
    "\xAB\xA5: ";

namespace {

constexpr size_t kChunk = 64 * 1024;  // read at a time when the text is read whole

// The name test: the byte after the last '.' of the whole entry is a decimal digit.
bool passes_name_test(const char* entry) {
    const char* dot = std::strrchr(entry, '.');
    return dot != nullptr && dot[1] >= '0' && dot[1] <= '9';
}

// The title runs from just after ".TH " to the next space; a line (or window) that ends
// first ends it too. At most kTitleLimit bytes are kept, and none from a NUL on.
std::string read_title(const char* line, size_t length) {
    size_t end = 4;
    while (end < length && end - 4 < kTitleLimit && line[end] != ' ' && line[end] != '\n' &&
           line[end] != '\0') {
        ++end;
    }
    return std::string(line + 4, end - 4);
}

}  // namespace

uint8_t identify_page(const std::string& input_folder, const char* entry, std::string& title,
                      TextStore* store, std::string_view* held) {
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

    // With a store to keep it in, the text is read whole first (up to the most one page
    // may weigh); the window is then filled from it, and from the file past it.
    char chunk[kChunk];
    std::string longer;
    std::string_view text;
    size_t got = 0;
    if (store != nullptr) {
        got = file.read(chunk, sizeof chunk);
        text = std::string_view(chunk, got);
        if (got == sizeof chunk) {
            longer.assign(chunk, got);
            do {
                got = file.read(chunk, sizeof chunk);
                longer.append(chunk, got);
            } while (got == sizeof chunk && longer.size() <= kHeldTextLimit);
            text = longer;
        }
    }
    size_t given = 0;
    auto read = [&](char* into, size_t count) {
        size_t from_text = std::min(count, text.size() - given);
        if (from_text != 0) std::memcpy(into, text.data() + given, from_text);
        given += from_text;
        return from_text + (from_text < count ? file.read(into + from_text, count - from_text) : 0);
    };

    // The window always begins at the start of a line (or of a 260-byte piece of one).
    char window[kIdentifyWindow];
    size_t held_bytes = read(window, sizeof window);
    bool page = false;
    while (held_bytes > 0) {
        if (held_bytes >= 4 && std::memcmp(window, ".TH ", 4) == 0) {
            title = read_title(window, held_bytes);
            page = true;
            break;
        }
        const void* line_feed = std::memchr(window, '\n', held_bytes);
        if (line_feed != nullptr) {
            size_t next = static_cast<size_t>(static_cast<const char*>(line_feed) - window) + 1;
            std::memmove(window, window + next, held_bytes - next);
            held_bytes -= next;
            held_bytes += read(window + held_bytes, sizeof window - held_bytes);
        } else if (held_bytes == sizeof window) {
            held_bytes = read(window, sizeof window);
        } else {
            break;  // the last line has been tested
        }
    }
    // A text is kept only when it was read to its end without a failure.
    bool whole = store != nullptr && got < sizeof chunk;
    if (file.close() == 0 && whole && page) *held = store->keep(text);
    if (page) return kIsPage;
    platform::print_out(std::string(kNoTitleMessage) + entry + "\n");
    return kNotPage;
}
