// The project file: the compiler's options, then every page's HTML file.
#include "helpproject/help_project.h"
#include "output/output_file.h"

void write_project(Sink& out, const PageTable& pages) {
    out.put("[OPTIONS]\nCompatibility=1.1 or later\nCompiled file=tolbrik.chm\n"
            "Contents file=tolbrik.hhc\nDisplay compile progress=No\nIndex file=tolbrik.hhk\n"
            "Language=\n\n[FILES]\n");
    for (uint32_t i = 0; i < pages.count; ++i) {
        out.put(pages[i].html_path);
        out.put('\n');
    }
    out.put("\n[INFOTYPES]\n");
}

bool write_help_project(const PageTable& pages, const std::string& output_folder) {
    auto with = [&pages](void (*writer)(Sink&, const PageTable&)) {
        return [&pages, writer](Sink& out) { writer(out, pages); };
    };
    bool ok = write_output_file(output_folder + "tolbrik.hhc", with(write_contents));
    ok = write_output_file(output_folder + "tolbrik.hhk", with(write_index)) && ok;
    ok = write_output_file(output_folder + "tolbrik.hhp", with(write_project)) && ok;
    return ok;
}
