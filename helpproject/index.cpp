// The index file: one keyword per page, its title, in table order; a page with an empty
// title has none.
#include "helpproject/help_project.h"
#include "helpproject/sitemap.h"

void write_index(Sink& out, const PageTable& pages) {
    out.put(kSitemapHead);
    out.put("<UL>\n");
    for (uint32_t i = 0; i < pages.count; ++i) {
        // A keyword needs a text: a page with an empty title (".TH  1") has none to give
        // and is found through the contents file only. An empty keyword helps no reader,
        // and chmcmd now and then crashes on one.
        if (pages[i].title.empty()) continue;
        out.put("\t<LI> <OBJECT type=\"text/sitemap\">\n\t\t<param name=\"Name\" value=\"");
        put_value(out, pages[i].title);
        out.put("\">\n\t\t<param name=\"Local\" value=\"");
        put_value(out, pages[i].html_path);
        out.put("\">\n\t\t</OBJECT>\n");
    }
    out.put("</UL>\n</BODY></HTML>");
}
