// The document tree: what the HTML alone does not tell (a reference or a link the page
// makes, text split at a reference's ends, where a break stands), and the shape check the
// fuzz target relies on.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "modern/doc/builder.h"
#include "modern/man/man.h"
#include "modern/page/page.h"
#include "modern/roff/roff.h"

namespace {

std::string tree_of(std::string_view source) {
    Roff roff(source, page_host(false));
    Document doc;
    {
        DocumentBuilder builder(doc);
        builder.resolve = [](std::string_view name, std::string_view) {
            return name == "ls" ? std::string("ls.htm") : std::string();
        };
        TitleLine title;
        render_man(roff, builder, title);
    }
    EXPECT_EQ(check_document(doc), "") << source;
    return outline(doc);
}

TEST(DocumentTree, HoldsWhatTheHtmlDoesNotTell) {
    const struct {
        const char* what;
        std::string_view source;
        std::string_view tree;
    } cases[] = {
        {"a reference in two fonts is one node; one inside the page's own link is none",
         ".BR ls (1),\n.UR https://x.org\nls(1)\n.UE\nls(1)\n",
         "page\n  body\n    paragraph\n      reference \"ls.htm\"\n        text 2 \"ls\"\n        text 0 \"(1)\"\n"
         "      text 0 \", \"\n      link \"https://x.org\"\n        text 0 \"ls(1)\"\n      text 0 \" \"\n"
         "      reference \"ls.htm\"\n        text 0 \"ls(1)\"\n"},
        {"a tag's text is the term's; its body a paragraph of the definition; a break in the line",
         ".TH T 1\n.TP\n.B \\-a\nall\n.br\nof it\n",
         "page\n  header\n    bar_left \"T(1)\"\n    bar_center \"General Commands Manual\"\n    bar_right \"T(1)\"\n"
         "  body\n    tag_list\n      term\n        text 2 \"-a\"\n      definition\n        paragraph\n"
         "          text 0 \"all\"\n          line_break\n          text 0 \"of it\"\n"
         "  footer\n    bar_left\n    bar_center\n    bar_right \"T(1)\"\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(tree_of(c.source), c.tree) << c.what;
}

// Trees no layer should build: a chain of nodes under the body, the last one misplaced.
TEST(DocumentTree, CheckNamesAMisshapenTree) {
    const struct {
        std::vector<NodeKind> chain;
        std::string_view fault;
    } cases[] = {
        {{NodeKind::paragraph, NodeKind::text, NodeKind::paragraph}, "children of a leaf"},
        {{NodeKind::text}, "inline content in a block that holds no text"},
        {{NodeKind::paragraph, NodeKind::link, NodeKind::paragraph}, "a block inside a line"},
        {{NodeKind::list_item}, "a list item outside its list"},
        {{NodeKind::bullet_list, NodeKind::paragraph}, "a list holding something other than items"},
        {{NodeKind::term}, "a term or definition outside a tag list, or a tag list holding something else"},
        {{NodeKind::table, NodeKind::table_cell}, "a table holding something other than rows"},
    };
    for (const auto& c : cases) {
        Document doc;
        uint32_t at = doc.add(0, NodeKind::body);
        for (NodeKind kind : c.chain) at = doc.add(at, kind);
        for (uint32_t i = 0; i < doc.size(); ++i) doc.close(i);
        std::string fault = check_document(doc);
        EXPECT_NE(fault.find(c.fault), std::string::npos) << fault;
    }
    // A link whose end was never set leaves its text outside it.
    Document doc;
    uint32_t paragraph = doc.add(doc.add(0, NodeKind::body), NodeKind::paragraph);
    uint32_t link = doc.add(paragraph, NodeKind::link);
    doc.add(link, NodeKind::text);
    doc.close(0);
    doc.close(1);
    doc.close(paragraph);
    EXPECT_EQ(check_document(doc), "node 4 (text): a parent that does not hold it");
}

}  // namespace
