// The help project of the modern run.
#include "helpproject/modern_project.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>

#include "model/letters.h"
#include "model/paths.h"
#include "output/html_escape.h"
#include "modern/page/page.h"

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

// "name(section)".
std::string name_text(std::string_view name, std::string_view section) {
    return std::string(name).append("(").append(section).append(")");
}

// "name(section)", and " — description" when the page has one.
std::string entry_text(const ManualInfo& info) {
    std::string text = name_text(info.name, info.section);
    if (!info.description.empty()) text += " \u2014 " + info.description;
    return text;
}

// Sitemap values: the HTML path as the help compiler wants it, every text escaped.
void put_tabs(Sink& out, int count) {
    for (int i = 0; i < count; ++i) out.put('\t');
}

// A value escaped as the pages' text is, in the help file's code page.
void put_param(Sink& out, const CodePage& code_page, int depth, std::string_view name, std::string_view value) {
    put_tabs(out, depth + 2);
    out.put("<param name=\"");
    out.put(name);
    out.put("\" value=\"");
    std::string escaped;
    append_escaped(escaped, value, true);
    out.put(code_page.encode(escaped));
    out.put("\">\n");
}

// An entry: its name, and the page it leads to with '/' between folders, as readers of
// the compiled file look it up.
void put_item(Sink& out, const CodePage& code_page, int depth, std::string_view name, const std::string* local) {
    put_tabs(out, depth + 1);
    out.put("<LI> <OBJECT type=\"text/sitemap\">\n");
    put_param(out, code_page, depth, "Name", name);
    if (local != nullptr) {
        std::string path = *local;
        std::replace(path.begin(), path.end(), '\\', '/');
        put_param(out, code_page, depth, "Local", path);
    }
    put_tabs(out, depth + 2);
    out.put("</OBJECT>\n");
}

void put_sitemap_head(Sink& out, const CodePage& code_page) {
    out.put("<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML//EN\">\n<HTML>\n<HEAD>\n"
            "<meta content=\"text/html;charset=windows-");
    out.put(std::to_string(code_page.language().code_page));
    out.put("\" http-equiv=\"Content-Type\">\n"
            "<meta name=\"GENERATOR\" content=\"tolbrik\">\n<!-- Sitemap 1.0 -->\n</HEAD><BODY>\n");
}

// The heading of a section's group: "1 User Commands", "9" ...
std::string section_heading(char section) {
    for (const SectionName& s : kSectionNames) {
        if (s.digit == section) return std::string(1, section) + " " + std::string(s.name);
    }
    return std::string(1, section);
}

// What a line of a group's letter bar stands for: the capital of a name's first letter,
// '#' for a name that begins with anything else.
char initial(std::string_view name) {
    char c = name.empty() ? '#' : upper_case(name[0]);
    return c >= 'A' && c <= 'Z' ? c : '#';
}

// A group's list: a letter bar that leads to the first line of each initial, in the
// order the lines have them, then the lines. An id is the group's and the initial's.
void write_group_lines(std::string& html, const PageTable& pages, const SectionGroup& g, const std::string& id) {
    std::vector<bool> first(g.entries.size(), false);
    std::string seen;
    for (size_t k = 0; k < g.entries.size(); ++k) {
        char c = initial(g.entries[k].name);
        if (seen.find(c) == std::string::npos) {
            seen += c;
            first[k] = true;
        }
    }
    auto letter_id = [&id](char c) { return id + "-" + (c == '#' ? "other" : std::string(1, lower_case(c))); };
    html += "<nav class=\"letters\">";
    for (size_t k = 0; k < seen.size(); ++k) {
        html += k == 0 ? "<a href=\"#" : " <a href=\"#";
        append_escaped(html, letter_id(seen[k]), true);
        html += "\">" + std::string(1, seen[k]) + "</a>";
    }
    html += "</nav>\n<ul class=\"pages\">\n";
    for (size_t k = 0; k < g.entries.size(); ++k) {
        const StartEntry& entry = g.entries[k];
        const ManualInfo& info = pages.manuals[entry.page];
        html += "<li";
        if (first[k]) {
            html += " id=\"";
            append_escaped(html, letter_id(initial(entry.name)), true);
            html += "\"";
        }
        html += "><a href=\"";
        append_escaped(html, relative_href("index.htm", pages[entry.page].html_path), true);
        html += "\">";
        append_escaped(html, name_text(entry.name, entry.section));
        html += "</a>";
        if (entry.alias) {
            html += " \u2192 ";
            append_escaped(html, name_text(info.name, shown_section(info)));
        } else if (!info.description.empty()) {
            html += " \u2014 ";
            append_escaped(html, info.description);
        }
        html += "</li>\n";
    }
    html += "</ul>\n";
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
        html += "</h2>\n";
        write_group_lines(html, pages, g, group_id(g));
        out.put(html);
    }
    out.put("</main>\n</body>\n</html>\n");
}

void write_modern_contents(Sink& out, const CodePage& code_page, const PageTable& pages,
                           const std::vector<SectionGroup>& groups) {
    put_sitemap_head(out, code_page);
    out.put("<OBJECT type=\"text/site properties\">\n<param name=\"ImageType\" value=\"Folder\">\n"
            "</OBJECT>\n<UL>\n");
    std::string current_language;
    int depth = 0;
    for (const SectionGroup& g : groups) {
        if (g.language != current_language) {
            // A language folder's sections stand under a heading of their own.
            if (depth == 1) out.put("\t</UL>\n");
            put_item(out, code_page, 0, g.language, nullptr);
            out.put("\t<UL>\n");
            depth = 1;
            current_language = g.language;
        }
        put_item(out, code_page, depth, section_heading(g.section), nullptr);
        put_tabs(out, depth + 1);
        out.put("<UL>\n");
        for (uint32_t i : g.pages) {
            put_item(out, code_page, depth + 1, entry_text(pages.manuals[i]), &pages[i].html_path);
        }
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

void write_modern_index(Sink& out, const CodePage& code_page, const PageTable& pages, const ProjectOrder& order,
                        const std::vector<bool>& listed) {
    put_sitemap_head(out, code_page);
    out.put("<UL>\n");
    for (const Keyword& k : order.keywords) {
        if (!listed[k.page]) continue;
        put_item(out, code_page, 0, text_of(order.keyword_texts, k.text), &pages[k.page].html_path);
    }
    out.put("</UL>\n</BODY></HTML>\n");
}

void write_modern_project_file(Sink& out, const HelpLanguage& language, const PageTable& pages,
                               const std::vector<bool>& listed) {
    char lcid[8];
    std::snprintf(lcid, sizeof lcid, "0x%x", static_cast<unsigned>(language.lcid));
    out.put("[OPTIONS]\nCompatibility=1.1 or later\nCompiled file=tolbrik.chm\n"
            "Contents file=tolbrik.hhc\nDefault topic=index.htm\nDisplay compile progress=No\n"
            "Full-text search=Yes\nIndex file=tolbrik.hhk\nLanguage=");
    out.put(lcid);
    out.put(" ");
    out.put(language.name);
    out.put("\nTitle=Manual pages\n\n[FILES]\nindex.htm\ntolbrik.css\n");
    for (uint32_t i = 0; i < pages.count; ++i) {
        if (!listed[i] || pages.manuals[i].kind == PageKind::alias) continue;
        out.put(pages[i].html_path);
        out.put('\n');
    }
    out.put("\n[INFOTYPES]\n");
}

// What tells apart the pages of keywords that read alike: their language folder ("" for
// none); where that is the same for two of them, their folder; where that is too, their
// HTML path.
std::vector<std::string> telling_labels(const PageTable& pages, const std::vector<uint32_t>& twins) {
    auto folder_of = [](std::string_view path) {
        size_t slash = path.rfind('\\');
        std::string folder(slash == std::string_view::npos ? std::string_view() : path.substr(0, slash));
        std::replace(folder.begin(), folder.end(), '\\', '/');
        return folder;
    };
    const std::function<std::string(uint32_t)> kinds[] = {
        [&](uint32_t i) { return std::string(language_folder(pages[i].source_path)); },
        [&](uint32_t i) { return folder_of(pages[i].source_path); },
        [&](uint32_t i) {
            std::string path = pages[i].html_path;
            std::replace(path.begin(), path.end(), '\\', '/');
            return path;
        },
    };
    std::vector<std::string> labels(twins.size());
    std::vector<bool> settled(twins.size(), false);
    for (const auto& label_of : kinds) {
        for (size_t k = 0; k < twins.size(); ++k) {
            if (!settled[k]) labels[k] = label_of(twins[k]);
        }
        for (size_t k = 0; k < twins.size(); ++k) {
            settled[k] = std::count(labels.begin(), labels.end(), labels[k]) == 1;
        }
    }
    return labels;
}

// Keywords that read alike (letter case aside) but lead to different pages get what
// tells their pages apart after them: "vim(1)", "vim(1) [ru]", "vim(1) [de]".
void label_twins(const PageTable& pages, ProjectOrder& order) {
    std::vector<Keyword>& keywords = order.keywords;
    std::string& texts = order.keyword_texts;
    auto key = [&](size_t k) { return std::string_view(texts).substr(keywords[k].text.offset, keywords[k].text.length); };
    bool labelled = false;
    for (size_t start = 0; start < keywords.size();) {
        size_t end = start + 1;
        while (end < keywords.size() && key(end) == key(start)) ++end;
        std::vector<uint32_t> twins;
        for (size_t k = start; k < end; ++k) {
            if (std::find(twins.begin(), twins.end(), keywords[k].page) == twins.end()) twins.push_back(keywords[k].page);
        }
        if (twins.size() > 1) {
            std::vector<std::string> labels = telling_labels(pages, twins);
            for (size_t k = start; k < end; ++k) {
                const std::string& label = labels[std::find(twins.begin(), twins.end(), keywords[k].page) - twins.begin()];
                if (label.empty()) continue;
                size_t offset = texts.size();
                texts.append(text_of(texts, keywords[k].text)).append(" [").append(label).append("]");
                keywords[k].text = key_last(texts, offset, [](char c) { return lower_case(c); });
                labelled = true;
            }
        }
        start = end;
    }
    if (labelled) {
        std::sort(keywords.begin(), keywords.end(),
                  [&](const Keyword& a, const Keyword& b) { return comes_before(texts, a, b); });
    }
}

// Whether a name of a NAME section is the file's name with blanks for its underscores
// ("gcloud compute ssh" of gcloud_compute_ssh.1), letter case aside: no other name.
bool spells_file_name(std::string_view name, std::string_view file_name) {
    if (name.size() != file_name.size()) return false;
    for (size_t i = 0; i < name.size(); ++i) {
        if (lower_case(name[i]) != lower_case(file_name[i]) && !(name[i] == ' ' && file_name[i] == '_')) return false;
    }
    return true;
}

// Each group's start page lines: its pages, then every other name that leads to one of
// them, sorted as the pages are (a page before a name that reads alike). A name its page
// is listed by already, letter case aside, is left out: the page's own (or that with
// blanks for underscores), or one that both its NAME section and an alias file give.
void add_start_entries(const PageTable& pages, const std::vector<std::string>& keys,
                       const std::vector<uint32_t>& group_of, std::vector<SectionGroup>& groups) {
    struct Keyed {
        std::string key;
        StartEntry entry;
    };
    std::vector<std::vector<Keyed>> lines(groups.size());
    for (size_t g = 0; g < groups.size(); ++g) {
        for (uint32_t i : groups[g].pages) {
            const ManualInfo& info = pages.manuals[i];
            lines[g].push_back({keys[i], {info.name, shown_section(info), i, false}});
        }
    }
    auto add_name = [&](std::string_view name, std::string_view section, uint32_t page) {
        lines[group_of[page]].push_back({lower_case(name) + '\0' + lower_case(section), {name, section, page, true}});
    };
    for (uint32_t i = 0; i < pages.count; ++i) {
        const ManualInfo& info = pages.manuals[i];
        if (info.kind != PageKind::alias) {
            for (const std::string& name : info.names) {
                if (!spells_file_name(name, info.name)) add_name(name, shown_section(info), i);
            }
        } else if (info.alias_of != UINT32_MAX) {
            // The section spelt as its page shows it, where it is the page's.
            const ManualInfo& page = pages.manuals[info.alias_of];
            add_name(info.name, same_letters(info.section, page.section) ? shown_section(page) : info.section,
                     info.alias_of);
        }
    }
    for (size_t g = 0; g < groups.size(); ++g) {
        std::vector<Keyed>& group = lines[g];
        std::stable_sort(group.begin(), group.end(), [](const Keyed& a, const Keyed& b) { return a.key < b.key; });
        for (size_t k = 0; k < group.size(); ++k) {
            bool listed = false;
            for (size_t j = k; j-- > 0 && group[j].key == group[k].key;) {
                listed |= group[j].entry.page == group[k].entry.page;
            }
            if (!listed) groups[g].entries.push_back(group[k].entry);
        }
    }
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
    std::vector<uint32_t> group_of(pages.count, UINT32_MAX);
    for (auto& [key, members] : groups) {
        std::stable_sort(members.begin(), members.end(), [&](uint32_t a, uint32_t b) { return keys[a] < keys[b]; });
        for (uint32_t i : members) group_of[i] = static_cast<uint32_t>(order.groups.size());
        order.groups.push_back({key.first, key.second, std::move(members), {}});
    }
    add_start_entries(pages, keys, group_of, order.groups);
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
    label_twins(pages, order);
}

std::vector<OutputFile> modern_project_files(const PageTable& pages, const ProjectOrder& order,
                                             const std::vector<bool>& listed, bool nochm,
                                             const HelpLanguage& language) {
    // The groups without the pages that could not be written (and a group left with none).
    auto groups = std::make_shared<std::vector<SectionGroup>>();
    for (const SectionGroup& g : order.groups) {
        SectionGroup kept{g.language, g.section, {}, {}};
        for (uint32_t i : g.pages) {
            if (listed[i]) kept.pages.push_back(i);
        }
        for (const StartEntry& entry : g.entries) {
            if (listed[entry.page]) kept.entries.push_back(entry);
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
    auto code_page = std::make_shared<const CodePage>(language);
    files.push_back({"tolbrik.hhk", [&pages, &order, &listed, code_page](Sink& out) {
                         write_modern_index(out, *code_page, pages, order, listed);
                     }});
    files.push_back({"tolbrik.hhc", [&pages, groups, code_page](Sink& out) {
                         write_modern_contents(out, *code_page, pages, *groups);
                     }});
    files.push_back({"tolbrik.hhp", [&pages, &listed, &language](Sink& out) {
                         write_modern_project_file(out, language, pages, listed);
                     }});
    return files;
}
