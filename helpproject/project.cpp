// The project file: the compiler's options, then every page's HTML file.
#include "helpproject/help_project.h"

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

std::vector<OutputFile> help_project_files(const PageTable& pages) {
    auto with = [&pages](void (*writer)(Sink&, const PageTable&)) {
        return [&pages, writer](Sink& out) { writer(out, pages); };
    };
    return {{"tolbrik.hhc", with(write_contents)}, {"tolbrik.hhk", with(write_index)}, {"tolbrik.hhp", with(write_project)}};
}
