// The modern HTML writer's text: what is escaped, what a page may not hold, and the ids
// of headings.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "modern/doc/builder.h"
#include "output/html_escape.h"

namespace {

TEST(HtmlText, EscapesMarkupAndLeavesOutWhatAPageMayNotHold) {
    const std::pair<std::string, std::string> cases[] = {
        {"a<b>&\"c\"", "a&lt;b&gt;&amp;\"c\""},
        {"x\x01y\x7Fz\tw\n", "xyz\tw\n"},              // control characters go
        {"\xC3\xA9\xFF\xC3", "\xC3\xA9\xEF\xBF\xBD\xEF\xBF\xBD"},  // bytes that are no UTF-8 become U+FFFD
        {"\xF0\x9F\x98\x80!", "\xF0\x9F\x98\x80!"},
    };
    for (const auto& [text, html] : cases) {
        std::string out;
        append_escaped(out, text);
        EXPECT_EQ(out, html) << testing::PrintToString(text);
    }
    std::string attribute;
    append_escaped(attribute, "\"q\"", true);
    EXPECT_EQ(attribute, "&quot;q&quot;");
}

// Ids are the words joined by underscores, unique on the page without regard to letter
// case, as a help file keeps them.
TEST(HtmlText, HeadingIdsAreUniqueWithoutRegardToCase) {
    Document doc;
    DocumentBuilder html(doc);
    std::vector<std::string> ids;
    for (const char* heading : {"SEE ALSO", "See  also", "see\talso", "", " x ", "ZAP", "zap", "no\xC2\xA0" "break"}) {
        ids.push_back(html.heading_id(heading));
    }
    EXPECT_EQ(ids, (std::vector<std::string>{"SEE_ALSO", "See_also_2", "see_also_3", "section", "x", "ZAP", "zap_2", "no_break"}));
}

}  // namespace
