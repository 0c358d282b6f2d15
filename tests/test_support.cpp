#include "test_support.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "modern/html/writer.h"
#include "modern/man/man.h"
#include "modern/mdoc/mdoc.h"
#include "modern/page/page.h"

namespace fs = std::filesystem;

namespace testing_support {

PageTable table_of(const std::vector<std::pair<const char*, const char*>>& pages, bool indexed) {
    PageTable table;
    for (const auto& [title, path] : pages) {
        table.records.emplace_back();
        table.records.back().title = title;
        table.records.back().source_path = path;
    }
    table.count = static_cast<uint32_t>(table.records.size());
    assign_html_paths(table);
    if (indexed) index_titles(table);
    return table;
}

std::string classic_page(const std::string& title, const std::string& body) {
    return "<html lang=\"ru\"><head>\n<meta content=\"text/html;charset=windows-1251\" "
           "http-equiv=\"Content-Type\">\n\t<title>" + title + "</title>\n</head><body>\n" + body +
           "</body></html>";
}

std::string crlf(const std::string& text) {
    std::string bytes;
    for (char c : text) bytes += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return bytes;
}

std::string native(std::string tool_path) {
    std::replace(tool_path.begin(), tool_path.end(), '\\', '/');
    return tool_path;
}

std::string backslashed(std::string native_path) {
    std::replace(native_path.begin(), native_path.end(), '/', '\\');
    return native_path;
}

namespace {

std::string html_of(const std::function<void(DocumentBuilder&)>& render, std::string* tree = nullptr) {
    Document doc;
    {
        DocumentBuilder builder(doc);
        render(builder);
        builder.flush();
    }
    EXPECT_EQ(check_document(doc), "");
    if (tree != nullptr) *tree = outline(doc);
    Sink out;
    write_html(doc, out);
    return std::string(out.text());
}

}  // namespace

std::string render_html(const std::function<void(DocumentBuilder&)>& render) { return html_of(render); }

std::string render_manual(std::string_view source, bool mdoc, std::string* name, std::string* tree) {
    Roff roff(source, page_host(mdoc));
    TitleLine title;
    if (name == nullptr) {
        std::string html = html_of(
            [&](DocumentBuilder& doc) { (mdoc ? render_mdoc : render_man)(roff, doc, title, false); }, tree);
        // The reader's messages after the page, as the run prints them.
        for (const Roff::Message& m : roff.messages()) {
            html += std::to_string(m.line) + ": " + (m.warning ? "warning: " : "") + m.text + "\n";
        }
        return html;
    }
    Document doc;
    {
        DocumentBuilder builder(doc);
        (mdoc ? render_mdoc : render_man)(roff, builder, title, true);
    }
    *name = first_section_text(doc, kNameTextLimit);
    return "";
}

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "tolbrik-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string TempDir::write(const std::string& relative, const std::string& bytes) const {
    fs::path target = fs::path(path_) / relative;
    fs::create_directories(target.parent_path());
    std::ofstream(target, std::ios::binary | std::ios::trunc) << bytes;
    return target.string();
}

std::string TempDir::folder(const std::string& relative) const {
    fs::create_directories(fs::path(path_) / relative);
    return (fs::path(path_) / relative).string();
}

std::string TempDir::read(const std::string& relative) const { return read_file(path_ + "/" + relative); }
bool TempDir::exists(const std::string& relative) const { return fs::exists(fs::path(path_) / relative); }

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

}  // namespace testing_support
