// Page identification on arbitrary file contents. Identification reads files only, so
// each input is written to a scratch folder (in memory where /dev/shm exists) and the
// product's own identify_page looks at it there.
//
// Input: one byte that chooses the candidate's name, then the file's bytes.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "discovery/identify.h"
#include "fuzz_check.h"
#include "scratch.h"

namespace {

struct Candidate {
    const char* entry;  // as the file list holds it
    bool passes_name_test;
};

const Candidate kCandidates[] = {
    {"page.1", true},
    {"page.3x", true},
    {"man.1\\page", true},  // the '.' of a folder name counts
    {"page.man", false},
};

// The file as a text stream reads it: everything from a Ctrl-Z on is gone, and a CR right
// before an LF is dropped.
std::string as_text(std::string_view bytes) {
    bytes = bytes.substr(0, bytes.find('\x1A'));
    std::string text;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
        text += bytes[i];
    }
    return text;
}

// The title that a title line at the very start of `text` must give: the bytes after
// ".TH " up to a space, a line feed or a NUL, at most 127 of them.
std::string first_line_title(const std::string& text) {
    const size_t window = std::min<size_t>(text.size(), kIdentifyWindow);
    size_t end = 4;
    while (end < window && text[end] != ' ' && text[end] != '\n') ++end;
    std::string title = text.substr(4, end - 4);
    title = title.substr(0, title.find('\0'));
    if (title.size() > kTitleLimit) title.resize(kTitleLimit);
    return title;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::silence_standard_output();
    std::vector<std::string> files;
    for (const Candidate& candidate : kCandidates) files.emplace_back(candidate.entry);
    fuzz::scratch(files);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const Candidate& candidate = kCandidates[data[0] % (sizeof kCandidates / sizeof kCandidates[0])];
    std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

    fuzz::scratch().write(candidate.entry, bytes);

    std::string title;
    uint8_t answer = identify_page(fuzz::scratch().tool, candidate.entry, title);

    FUZZ_CHECK(answer == kIsPage || answer == kNotPage,
               "a readable file was answered " + std::to_string(answer));
    if (!candidate.passes_name_test) {
        FUZZ_CHECK(answer == kNotPage, "a name without a digit after its last dot was accepted");
        return 0;
    }
    const std::string text = as_text(bytes);
    if (answer == kIsPage) {
        FUZZ_CHECK(title.size() <= kTitleLimit, "title of " + std::to_string(title.size()) + " bytes");
        FUZZ_CHECK(title.find('\n') == std::string::npos, "title holds a line feed: " + fuzz::shown(title));
        FUZZ_CHECK(title.find(' ') == std::string::npos, "title holds a space: " + fuzz::shown(title));
        FUZZ_CHECK(title.find('\0') == std::string::npos, "title holds a NUL: " + fuzz::shown(title));
        FUZZ_CHECK(text.find(".TH " + title) != std::string::npos,
                   "title not found after \".TH \" in the text: " + fuzz::shown(title));
    }
    if (text.find(".TH ") == std::string::npos) {
        FUZZ_CHECK(answer == kNotPage, "a page without any \".TH \" in it");
    }
    if (text.compare(0, 4, ".TH ") == 0) {
        FUZZ_CHECK(answer == kIsPage, "the first line is a title line, yet no page");
        const std::string expected = first_line_title(text);
        FUZZ_CHECK(title == expected, "title " + fuzz::shown(title) + ", expected " + fuzz::shown(expected));
    }
    return 0;
}
