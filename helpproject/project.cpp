// The project file: the compiler's options, then every page's HTML file.
#include "helpproject/help_project.h"
#include "platform/platform.h"

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

namespace {

bool write_file(const std::string& path, void (*writer)(Sink&, const PageTable&),
                const PageTable& pages) {
    platform::TextFile file;
    if (int error = file.open_write(path); error != 0) {
        platform::report_file_error("create", path, error);
        return false;
    }
    Sink out(file);
    writer(out, pages);
    out.flush();
    if (int error = file.close(); error != 0) {
        platform::report_file_error("write", path, error);
        return false;
    }
    return true;
}

}  // namespace

bool write_help_project(const PageTable& pages, const std::string& output_folder) {
    bool ok = write_file(output_folder + "tolbrik.hhc", write_contents, pages);
    ok = write_file(output_folder + "tolbrik.hhk", write_index, pages) && ok;
    ok = write_file(output_folder + "tolbrik.hhp", write_project, pages) && ok;
    return ok;
}
