// Helpers shared by the unit tests: temporary folders, whole files, and the page frames
// and tables the converters work with.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/page_table.h"
#include "modern/doc/builder.h"

namespace testing_support {

// A page table as a run makes it: (title, source path) records in table order, HTML paths
// assigned, titles indexed unless `indexed` is false. The paths must outlive the table.
PageTable table_of(const std::vector<std::pair<const char*, const char*>>& pages, bool indexed = true);

// The whole page the classic converter writes: its head with `title`, `body`, its tail.
std::string classic_page(const std::string& title, const std::string& body);
// The text with every line feed as CR LF, as a text stream writes it to the disk.
std::string crlf(const std::string& text);
std::string native(std::string tool_path);  // every backslash made '/'
std::string backslashed(std::string native_path);

// The HTML of the tree that `render`'s calls build; then, for renderers of a part of a
// page, one case per rule with its whole expected HTML.
std::string render_html(const std::function<void(DocumentBuilder&)>& render);
struct RenderCase {
    const char* what;
    std::string_view source;
    std::string_view html;
};
// A whole man (or mdoc) page as the modern converter renders it, the reader's messages
// after it ("4: warning: ..."); with `name`, the NAME section alone, as plain text into
// `name`, as identification reads it; with `tree`, the outline of the page's tree into it.
std::string render_manual(std::string_view source, bool mdoc, std::string* name = nullptr,
                          std::string* tree = nullptr);
template <typename Render, size_t N>
void expect_rendered(const RenderCase (&cases)[N], Render render) {
    for (const RenderCase& c : cases) EXPECT_EQ(render(c.source), c.html) << c.what;
}

// A fresh empty folder under the system's temporary folder, removed when it goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }  // native, without a trailing '/'
    // `relative` uses '/' between folders; missing folders are made. Returns the path.
    std::string write(const std::string& relative, const std::string& bytes) const;
    std::string folder(const std::string& relative) const;
    std::string read(const std::string& relative) const;
    bool exists(const std::string& relative) const;

private:
    std::string path_;
};

std::string read_file(const std::string& path);

}  // namespace testing_support
