// The index file: one keyword per page, its title, in table order.
#include "convert/paths.h"
#include "helpproject/help_project.h"
#include "helpproject/sitemap.h"

void write_index(Sink& out, const PageTable& pages) {
    out.put(kSitemapHead);
    out.put("<UL>\n");
    for (uint32_t i = 0; i < pages.count; ++i) {
        out.put("\t<LI> <OBJECT type=\"text/sitemap\">\n\t\t<param name=\"Name\" value=\"");
        put_value(out, pages[i].title);
        out.put("\">\n\t\t<param name=\"Local\" value=\"");
        put_value(out, html_path(pages[i].source_path));
        out.put("\">\n\t\t</OBJECT>\n");
    }
    out.put("</UL>\n</BODY></HTML>");
}
