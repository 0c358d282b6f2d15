// The relative path builder on arbitrary pairs of paths, with the HTML path and the
// attribute escaping that links put around it.
//
// Input: the from path, a NUL, the to path (anything after a second NUL is ignored).
#include <cstdint>
#include <string>
#include <string_view>

#include "model/paths.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    size_t split = input.find('\0');
    if (split == std::string_view::npos) return 0;
    std::string_view from = input.substr(0, split);
    std::string_view to = input.substr(split + 1);
    to = to.substr(0, to.find('\0'));
    if (!fuzz::is_source_path(from) || !fuzz::is_source_path(to)) return 0;

    const std::string relative = relative_path(from, to);
    const std::string wrong = fuzz::check_resolves(from, to, relative);
    FUZZ_CHECK(wrong.empty(), "from " + fuzz::shown(from) + " to " + fuzz::shown(to) + " gives " +
                                  fuzz::shown(relative) + ": " + wrong);

    // The HTML path keeps everything before the last '.', and an href holds no byte that
    // would end its attribute or open a tag, yet reads back as the path.
    const std::string html = html_path(to);
    const size_t dot = to.rfind('.');
    FUZZ_CHECK(html == std::string(to.substr(0, dot)) + ".htm", "html_path of " + fuzz::shown(to));
    const std::string href = escape_attribute(relative);
    FUZZ_CHECK(href.find_first_of("<>\"") == std::string::npos, "escaped " + fuzz::shown(href));
    std::string plain;
    FUZZ_CHECK(fuzz::unescape_attribute(href, plain) && plain == relative,
               "escaping does not read back: " + fuzz::shown(href));
    return 0;
}
