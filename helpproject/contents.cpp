// The contents file: every page in table order, under folder headings that mirror the
// folders of the input tree.
#include <cstddef>
#include <string>

#include "model/paths.h"
#include "helpproject/help_project.h"
#include "helpproject/sitemap.h"

namespace {

void put_tabs(Sink& out, int count) {
    for (int i = 0; i < count; ++i) out.put('\t');
}

void put_heading(Sink& out, int depth, std::string_view folder) {
    put_tabs(out, depth);
    out.put("\t<LI> <OBJECT type=\"text/sitemap\">\n");
    put_tabs(out, depth);
    out.put("\t\t<param name=\"Name\" value=\"");
    put_value(out, folder);
    out.put("\">\n");
    put_tabs(out, depth);
    out.put("\t\t</OBJECT>\n");
    put_tabs(out, depth);
    out.put("\t<UL>\n");
}

void put_entry(Sink& out, int depth, std::string_view title, std::string_view path) {
    put_tabs(out, depth);
    out.put("\t<LI> <OBJECT type=\"text/sitemap\">\n");
    put_tabs(out, depth);
    out.put("\t\t<param name=\"Name\" value=\"");
    put_value(out, title);
    out.put("\">\n");
    put_tabs(out, depth);
    out.put("\t\t<param name=\"Local\" value=\"");
    put_value(out, path);
    out.put("\">\n");
    put_tabs(out, depth);
    out.put("\t\t</OBJECT>\n");
}

}  // namespace

void write_contents(Sink& out, const PageTable& pages) {
    out.put(kSitemapHead);
    out.put("<OBJECT type=\"text/site properties\">\n<param name=\"ImageType\" value=\"Folder\">\n"
            "</OBJECT>\n<UL>\n");
    if (pages.count == 0) {
        out.put("</UL>\n</BODY></HTML>");
        return;
    }
    // The step path: the first page's whole path, then the relative path from each page
    // to the next, whose "..\" steps leave folders and whose other folders are entered.
    std::string step = pages[0].source_path;
    int depth = 0;
    for (uint32_t i = 0; i < pages.count; ++i) {
        size_t start = 0;
        for (size_t p = 0; p < step.size(); ++p) {
            if (step[p] != '\\') continue;
            std::string_view folder(step.data() + start, p - start);
            if (folder == "..") {
                put_tabs(out, depth - 1);
                out.put("</UL>\n");
                --depth;
            } else {
                put_heading(out, depth, folder);
                ++depth;
            }
            start = p + 1;
        }
        put_entry(out, depth, pages[i].title, pages[i].html_path);
        if (i + 1 < pages.count) step = relative_path(pages[i].source_path, pages[i + 1].source_path);
    }
    for (int d = depth; d >= 1; --d) {
        put_tabs(out, d);
        out.put("</UL>\n");
    }
    out.put("</UL>\n</BODY></HTML>");
}
