// Cross-reference links.
#include "classic/links.h"

#include <string>

#include "model/paths.h"

TitleTarget find_target(const PageTable& pages, std::string_view word) {
    if (!pages.titles.slots.empty()) return indexed_target(pages, word);
    for (uint32_t i = 0; i < pages.count; ++i) {
        if (pages[i].title == word) return {i, pages[i].html_path};
    }
    return {};
}

uint32_t find_title(const PageTable& pages, std::string_view word) { return find_target(pages, word).page; }

void write_text(Sink& out, const char* text, size_t length) {
    size_t start = 0;
    for (size_t i = 0; i < length; ++i) {
        if (text[i] == '<' || text[i] == '>') {
            out.put(text + start, i - start);
            out.put(text[i] == '<' ? "&lt;" : "&gt;");
            start = i + 1;
        }
    }
    out.put(text + start, length - start);
}

namespace {

// Bytes that end a word: blanks do not, so "ls -l" is one word (and no title).
struct WordEnds {
    bool ends[256];
    constexpr WordEnds() : ends() {
        for (int c : {'"', '\'', '\n', '(', ')', '\0'}) ends[c] = true;
    }
};
constexpr WordEnds kWordEnds;

bool ends_word(char c) { return kWordEnds.ends[static_cast<unsigned char>(c)]; }

}  // namespace

size_t emit_link(const LinkContext& context, const char* text, size_t length) {
    size_t lead = 0;
    while (lead < length && text[lead] == ' ') ++lead;
    context.out.put(text, lead);

    // A word runs on to the line end unless something ends it; once it holds a byte
    // other than a blank past the length of the longest title, it can be no title, and
    // the scan stops there.
    const size_t longest = longest_title(context.pages);
    size_t end = lead;
    for (; end < length && !ends_word(text[end]); ++end) {
        if (end - lead >= longest && text[end] != ' ') return lead;
    }
    while (end > 0 && text[end - 1] == ' ') --end;
    if (end <= lead) return lead;

    std::string_view word(text + lead, end - lead);
    TitleTarget target = find_target(context.pages, word);
    if (target.page == kNoPage || target.page == context.current) return lead;

    // The link leads from where the current page's HTML file lies to where the target's
    // lies.
    std::string href = relative_path(context.pages[context.current].html_path, target.html_path);
    context.out.put("<a href=\"");
    context.out.put(escape_attribute(href));
    context.out.put("\">");
    write_text(context.out, word.data(), word.size());
    context.out.put("</a>");
    return end;
}

size_t emit_argument(const LinkContext& context, const char* text, size_t length,
                     ArgumentState& state) {
    size_t start = 0;
    // Writes the stretch [start, end): its first word may become a link unless it is
    // quoted or had its attempt before the buffer ended.
    auto write_stretch = [&](size_t end) {
        if (!state.quoted && !state.attempted && start < end) {
            start += emit_link(context, text + start, end - start);
            state.attempted = true;
        }
        if (start < end) write_text(context.out, text + start, end - start);
    };
    for (size_t i = 0; i < length; ++i) {
        char c = text[i];
        if (c != '"' && c != '\n' && c != '\0') continue;
        write_stretch(i);
        state = ArgumentState{!state.quoted, false};
        if (c != '"') return i;
        start = i + 1;  // the quote itself is never written
    }
    // The line goes on past the buffer: the rest of the argument follows in the next one.
    write_stretch(length);
    return length;
}
