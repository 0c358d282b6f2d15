// The help project of the modern run.
#include "helpproject/modern_project.h"

#include <algorithm>
#include <map>
#include <memory>

#include "model/letters.h"
#include "model/paths.h"
#include "modern/html.h"
#include "modern/page.h"

namespace {

struct SectionName {
    char digit;
    std::string_view name;
};

constexpr SectionName kSectionNames[] = {
    {'1', "User Commands"}, {'2', "System Calls"},   {'3', "Library Functions"},
    {'4', "Special Files"}, {'5', "File Formats"},   {'6', "Games"},
    {'7', "Miscellaneous"}, {'8', "System Administration"},
};

// "name(section)", and " — description" when the page has one.
std::string entry_text(const ManualInfo& info, bool with_description) {
    std::string text = info.name + "(" + info.section + ")";
    if (with_description && !info.description.empty()) text += " \u2014 " + info.description;
    return text;
}

// Sitemap values: the HTML path as the help compiler wants it, every text escaped.
void put_tabs(Sink& out, int count) {
    for (int i = 0; i < count; ++i) out.put('\t');
}

void put_param(Sink& out, int depth, std::string_view name, std::string_view value) {
    put_tabs(out, depth + 2);
    out.put("<param name=\"");
    out.put(name);
    out.put("\" value=\"");
    put_escaped(out, value, true);
    out.put("\">\n");
}

void put_item(Sink& out, int depth, std::string_view name, const std::string* local) {
    put_tabs(out, depth + 1);
    out.put("<LI> <OBJECT type=\"text/sitemap\">\n");
    put_param(out, depth, "Name", name);
    if (local != nullptr) put_param(out, depth, "Local", *local);
    put_tabs(out, depth + 2);
    out.put("</OBJECT>\n");
}

constexpr char kModernSitemapHead[] =
    "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML//EN\">\n<HTML>\n<HEAD>\n"
    "<meta content=\"text/html;charset=utf-8\" http-equiv=\"Content-Type\">\n"
    "<meta name=\"GENERATOR\" content=\"tolbrik\">\n<!-- Sitemap 1.0 -->\n</HEAD><BODY>\n";

// The heading of a section's group: "1 User Commands", "9" ...
std::string section_heading(char section) {
    for (const SectionName& s : kSectionNames) {
        if (s.digit == section) return std::string(1, section) + " " + std::string(s.name);
    }
    return std::string(1, section);
}

void write_start_page(Sink& out, const PageTable& pages, const std::vector<SectionGroup>& groups) {
    std::string html =
        "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
        "<title>Manual pages</title>\n<link rel=\"stylesheet\" href=\"tolbrik.css\">\n</head>\n<body>\n"
        "<main>\n<h1>Manual pages</h1>\n<ul class=\"sections\">\n";
    auto group_id = [](const SectionGroup& g) {
        std::string id = g.language.empty() ? "" : g.language + "-";
        return id + "section-" + std::string(1, g.section);
    };
    auto group_title = [](const SectionGroup& g) {
        return (g.language.empty() ? "" : g.language + ": ") + section_heading(g.section);
    };
    for (const SectionGroup& g : groups) {
        html += "<li><a href=\"#";
        append_escaped(html, group_id(g), true);
        html += "\">";
        append_escaped(html, group_title(g));
        html += "</a> (" + std::to_string(g.pages.size()) + ")</li>\n";
    }
    html += "</ul>\n";
    out.put(html);
    for (const SectionGroup& g : groups) {
        html = "<h2 id=\"";
        append_escaped(html, group_id(g), true);
        html += "\">";
        append_escaped(html, group_title(g));
        html += "</h2>\n<ul class=\"pages\">\n";
        for (uint32_t i : g.pages) {
            const ManualInfo& info = pages.manuals[i];
            html += "<li><a href=\"";
            append_escaped(html, relative_href("index.htm", pages[i].html_path), true);
            html += "\">";
            append_escaped(html, entry_text(info, false));
            html += "</a>";
            if (!info.description.empty()) {
                html += " \u2014 ";
                append_escaped(html, info.description);
            }
            html += "</li>\n";
        }
        html += "</ul>\n";
        out.put(html);
    }
    out.put("</main>\n</body>\n</html>\n");
}

void write_modern_contents(Sink& out, const PageTable& pages, const std::vector<SectionGroup>& groups) {
    out.put(kModernSitemapHead);
    out.put("<OBJECT type=\"text/site properties\">\n<param name=\"ImageType\" value=\"Folder\">\n"
            "</OBJECT>\n<UL>\n");
    std::string current_language;
    int depth = 0;
    for (const SectionGroup& g : groups) {
        if (g.language != current_language) {
            // A language folder's sections stand under a heading of their own.
            if (depth == 1) out.put("\t</UL>\n");
            put_item(out, 0, g.language, nullptr);
            out.put("\t<UL>\n");
            depth = 1;
            current_language = g.language;
        }
        put_item(out, depth, section_heading(g.section), nullptr);
        put_tabs(out, depth + 1);
        out.put("<UL>\n");
        for (uint32_t i : g.pages) put_item(out, depth + 1, entry_text(pages.manuals[i], true), &pages[i].html_path);
        put_tabs(out, depth + 1);
        out.put("</UL>\n");
    }
    if (depth == 1) out.put("\t</UL>\n");
    out.put("</UL>\n</BODY></HTML>\n");
}

// The order a reader looks names up in: the texts in lower case, then as they are, then
// by page.
bool comes_before(std::string_view texts, const Keyword& a, const Keyword& b) {
    int order = compare_keyed(texts, a.text, b.text);
    return order != 0 ? order < 0 : a.page < b.page;
}

void write_modern_index(Sink& out, const PageTable& pages, const ProjectOrder& order, const std::vector<bool>& listed) {
    out.put(kModernSitemapHead);
    out.put("<UL>\n");
    for (const Keyword& k : order.keywords) {
        if (!listed[k.page]) continue;
        put_item(out, 0, text_of(order.keyword_texts, k.text), &pages[k.page].html_path);
    }
    out.put("</UL>\n</BODY></HTML>\n");
}

void write_modern_project_file(Sink& out, const PageTable& pages, const std::vector<bool>& listed) {
    out.put("[OPTIONS]\nCompatibility=1.1 or later\nCompiled file=tolbrik.chm\n"
            "Contents file=tolbrik.hhc\nDefault topic=index.htm\nDisplay compile progress=No\n"
            "Full-text search=Yes\nIndex file=tolbrik.hhk\nLanguage=0x409 English (United States)\n"
            "Title=Manual pages\n\n[FILES]\nindex.htm\ntolbrik.css\n");
    for (uint32_t i = 0; i < pages.count; ++i) {
        if (!listed[i] || pages.manuals[i].kind == PageKind::alias) continue;
        out.put(pages[i].html_path);
        out.put('\n');
    }
    out.put("\n[INFOTYPES]\n");
}

}  // namespace

void order_groups(const PageTable& pages, ProjectOrder& order) {
    std::map<std::pair<std::string, char>, std::vector<uint32_t>> groups;
    for (uint32_t i = 0; i < pages.count; ++i) {
        const ManualInfo& info = pages.manuals[i];
        if (info.kind == PageKind::alias) continue;
        char section = info.section.empty() ? '0' : info.section[0];
        groups[{std::string(language_folder(pages[i].source_path)), section}].push_back(i);
    }
    // Sorted by name and section, letters in lower case, the keys made once.
    std::vector<std::string> keys(pages.count);
    for (uint32_t i = 0; i < pages.count; ++i) {
        keys[i] = lower_case(pages.manuals[i].name) + '\0' + lower_case(pages.manuals[i].section);
    }
    order.groups.clear();
    for (auto& [key, members] : groups) {
        std::stable_sort(members.begin(), members.end(), [&](uint32_t a, uint32_t b) { return keys[a] < keys[b]; });
        order.groups.push_back({key.first, key.second, std::move(members)});
    }
}

void order_keywords(const PageTable& pages, ProjectOrder& order) {
    // Every name a page goes by, its own file name, its NAME section's names and its
    // aliases' names, as name(section), sorted as a reader looks them up.
    std::string& texts = order.keyword_texts;
    std::vector<Keyword>& keywords = order.keywords;
    texts.clear();
    keywords.clear();
    auto add = [&](std::string_view name, std::string_view section, uint32_t page) {
        size_t offset = texts.size();
        texts.append(name).append("(").append(section).append(")");
        keywords.push_back({key_last(texts, offset, [](char c) { return lower_case(c); }), page});
    };
    for (uint32_t i = 0; i < pages.count; ++i) {
        const ManualInfo& info = pages.manuals[i];
        if (info.kind == PageKind::alias) {
            if (info.alias_of != UINT32_MAX) add(info.name, info.section, info.alias_of);
            continue;
        }
        add(info.name, info.section, i);
        for (const std::string& name : info.names) {
            if (!same_letters(name, info.name)) add(name, info.section, i);
        }
    }
    std::sort(keywords.begin(), keywords.end(),
              [&](const Keyword& a, const Keyword& b) { return comes_before(texts, a, b); });
    keywords.erase(std::unique(keywords.begin(), keywords.end(),
                               [&](const Keyword& a, const Keyword& b) {
                                   return a.page == b.page && text_of(texts, a.text) == text_of(texts, b.text);
                               }),
                   keywords.end());
}

std::vector<OutputFile> modern_project_files(const PageTable& pages, const ProjectOrder& order,
                                             const std::vector<bool>& listed, bool nochm) {
    // The groups without the pages that could not be written (and a group left with none).
    auto groups = std::make_shared<std::vector<SectionGroup>>();
    for (const SectionGroup& g : order.groups) {
        SectionGroup kept{g.language, g.section, {}};
        for (uint32_t i : g.pages) {
            if (listed[i]) kept.pages.push_back(i);
        }
        if (!kept.pages.empty()) groups->push_back(std::move(kept));
    }
    std::vector<OutputFile> files = {
        {"tolbrik.css", [](Sink& out) { out.put(kStylesheet); }},
        {"index.htm", [&pages, groups](Sink& out) { write_start_page(out, pages, *groups); }},
    };
    if (nochm) return files;
    // The index, the longest to write, goes before the contents, so that the threads that
    // write them end at about the same time.
    files.push_back({"tolbrik.hhk", [&pages, &order, &listed](Sink& out) {
                         write_modern_index(out, pages, order, listed);
                     }});
    files.push_back({"tolbrik.hhc", [&pages, groups](Sink& out) { write_modern_contents(out, pages, *groups); }});
    files.push_back({"tolbrik.hhp", [&pages, &listed](Sink& out) { write_modern_project_file(out, pages, listed); }});
    return files;
}
