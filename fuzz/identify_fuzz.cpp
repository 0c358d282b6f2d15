// Page identification on arbitrary file contents. Identification reads files only, so
// each input is written to a scratch folder (in memory where /dev/shm exists) and the
// product's own identify_page looks at it there.
//
// Input: one byte that chooses the candidate's name, then the file's bytes.
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "discovery/identify.h"
#include "fuzz_check.h"

namespace {

struct Candidate {
    const char* entry;     // as the file list holds it
    const char* native;    // where it lies in the scratch folder
    bool passes_name_test;
};

const Candidate kCandidates[] = {
    {"page.1", "page.1", true},
    {"page.3x", "page.3x", true},
    {"man.1\\page", "man.1/page", true},  // the '.' of a folder name counts
    {"page.man", "page.man", false},
};

struct Scratch {
    std::string native;  // the folder, as the system spells it
    std::string tool;    // the same in the tool's spelling, ending in a backslash
};

// Made once and never destroyed: the clean-up at exit still needs it.
const Scratch& scratch() {
    static const Scratch* folder = [] {
        const char* base = std::getenv("TOLBRIK_FUZZ_TMP");
        std::string pattern = std::string(base != nullptr ? base : "/dev/shm") + "/tolbrik-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            pattern = "/tmp/tolbrik-fuzz-XXXXXX";
            if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        }
        if (::mkdir((pattern + "/man.1").c_str(), 0700) != 0) std::abort();
        Scratch* made = new Scratch{pattern, pattern};
        for (char& c : made->tool) {
            if (c == '/') c = '\\';
        }
        made->tool += '\\';
        std::atexit([] {
            for (const Candidate& candidate : kCandidates) {
                std::remove((scratch().native + "/" + candidate.native).c_str());
            }
            std::remove((scratch().native + "/man.1").c_str());
            std::remove(scratch().native.c_str());
        });
        return made;
    }();
    return *folder;
}

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
    scratch();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const Candidate& candidate = kCandidates[data[0] % (sizeof kCandidates / sizeof kCandidates[0])];
    std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

    std::string path = scratch().native + "/" + candidate.native;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) std::abort();
    if (std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) std::abort();
    if (std::fclose(file) != 0) std::abort();

    std::string title;
    uint8_t answer = identify_page(scratch().tool, candidate.entry, title);

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
