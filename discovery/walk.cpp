// The directory walk.
#include "discovery/walk.h"

#include <algorithm>
#include <new>
#include <vector>

#include "model/keyed_text.h"
#include "model/letters.h"
#include "platform/platform.h"

namespace {

struct Walk {
    size_t strip_length;
    std::string& file_list;
    bool& reported;
    // Folders on the way from the input folder down to the one being walked, to refuse a
    // link that leads back into one of them.
    std::vector<platform::FolderIdentity> path;
};

// Prints one line naming an entry by its native spelling.
void report_native(Walk& walk, const std::string& native, const std::string& reason) {
    platform::print_err("tolbrik: " + native + ": " + reason + "\n");
    walk.reported = true;
}

void report(Walk& walk, const std::string& path, const std::string& reason) {
    report_native(walk, platform::native_path(path), reason);
}

// A name the tool's backslash paths and line-per-entry list cannot hold.
bool is_expressible(std::string_view name) {
    return name.find('\\') == std::string::npos && name.find('\n') == std::string::npos;
}

bool is_on_path(const Walk& walk, const platform::FolderIdentity& identity) {
    if (!identity.known) return false;
    for (const auto& folder : walk.path) {
        if (folder.known && folder.device == identity.device && folder.inode == identity.inode) {
            return true;
        }
    }
    return false;
}

// Lists the file `name` of the folder that `pattern` names up to `name_position`.
uint32_t add_entry(Walk& walk, const std::string& pattern, size_t name_position, std::string_view name) {
    if (walk.strip_length < name_position) {
        walk.file_list.append(pattern, walk.strip_length, name_position - walk.strip_length);
        walk.file_list += '\\';
        walk.file_list.append(name);
    } else {
        std::string full_path = pattern.substr(0, name_position);
        full_path += '\\';
        full_path.append(name);
        size_t strip = walk.strip_length < full_path.size() ? walk.strip_length : full_path.size();
        walk.file_list.append(full_path, strip, std::string::npos);
    }
    walk.file_list += '\n';
    return platform::kOk;
}

uint32_t walk_folder(Walk& walk, const std::string& pattern, size_t name_position);

// Looks at one entry of a folder: enters a subfolder, lists a file.
uint32_t visit(Walk& walk, const std::string& pattern, size_t name_position,
               std::string_view name, platform::EntryKind kind) {
    if (name == "." || name == "..") return platform::kOk;
    if (!is_expressible(name)) {
        // Named as it stands on the disk: its own backslashes are not separators, and a
        // line feed is shown as "\n" so that the message stays one line.
        std::string native = platform::native_path(pattern.substr(0, name_position + 1));
        for (char c : name) native += c == '\n' ? std::string("\\n") : std::string(1, c);
        report_native(walk, native, "not listed: a backslash or line feed in a name cannot be expressed");
        return platform::kOk;
    }
    // The listing usually says already whether an entry is a folder; only links and
    // entries it leaves open are looked up one by one.
    if (kind == platform::EntryKind::file) return add_entry(walk, pattern, name_position, name);
    std::string full_path = pattern.substr(0, name_position);
    full_path += '\\';
    full_path.append(name);
    bool is_folder = kind == platform::EntryKind::folder;
    uint32_t status = platform::kOk;
    if (kind == platform::EntryKind::unknown) status = platform::get_attributes(full_path, is_folder);
    if (status != platform::kOk) {
        // A link to nothing is simply no page; any other entry that cannot be looked at
        // is named, and the walk goes on without it.
        if (!platform::is_dangling_link(full_path)) report(walk, full_path, platform::last_error_text());
        return platform::kOk;
    }
    if (!is_folder) return add_entry(walk, pattern, name_position, name);

    platform::FolderIdentity identity = platform::folder_identity(full_path);
    if (is_on_path(walk, identity)) {
        report(walk, full_path, "not entered: it leads back into a folder being walked");
        return platform::kOk;
    }
    std::string sub_pattern = full_path + pattern.substr(name_position);
    walk.path.push_back(identity);
    status = walk_folder(walk, sub_pattern, name_position + name.size() + 1);
    walk.path.pop_back();
    return status;
}

// A folder's entry: its listing key is its name with its ASCII letters as capitals.
struct Entry {
    KeyedText name;
    platform::EntryKind kind;
};

// Reads the whole listing of a folder into `entries` and `names`. A failure part way is
// named on standard error; the entries read before it are kept. Returns 0, or the code
// of a failure to open it.
uint32_t read_folder(Walk& walk, const std::string& pattern, size_t name_position, std::vector<Entry>& entries,
                     std::string& names) {
    platform::Enumeration enumeration;
    std::string name;
    uint32_t status = enumeration.first(pattern, name);
    if (status != platform::kOk) return status;
    for (;;) {
        size_t offset = names.size();
        names += name;
        entries.push_back({key_last(names, offset, [](char c) { return upper_case(c); }), enumeration.kind()});
        status = enumeration.next(name);
        if (status == platform::kNoMoreFiles) break;
        if (status != platform::kOk) {
            report(walk, pattern.substr(0, name_position), platform::last_error_text());
            break;
        }
    }
    status = enumeration.close();
    if (status != platform::kOk) report(walk, pattern.substr(0, name_position), platform::last_error_text());
    return platform::kOk;
}

// Walks one folder, its entries in the listing order (names compared with their ASCII
// letters as capitals, then byte by byte), whatever order the file system keeps them
// in: the same tree gives the same page table on every file system. A subfolder that
// cannot be read is named on standard error and passed over, so that one unreadable
// folder does not cut the rest of the tree from the list.
uint32_t walk_folder(Walk& walk, const std::string& pattern, size_t name_position) {
    std::vector<Entry> entries;
    std::string names;
    uint32_t status = read_folder(walk, pattern, name_position, entries, names);
    if (status != platform::kOk) {
        // Nothing matched: an empty folder (a drive's root has no "." entry).
        if (status == platform::kFileNotFound) return platform::kOk;
        // The input folder itself may simply be missing: then there is nothing to list.
        bool top = walk.path.size() == 1;
        if (!top || status != platform::kPathNotFound) {
            report(walk, pattern.substr(0, name_position), platform::last_error_text());
        }
        return platform::kOk;
    }
    std::sort(entries.begin(), entries.end(),
              [&names](const Entry& a, const Entry& b) { return compare_keyed(names, a.name, b.name) < 0; });
    for (const Entry& entry : entries) {
        status = visit(walk, pattern, name_position, text_of(names, entry.name), entry.kind);
        if (status != platform::kOk) return status;
    }
    return platform::kOk;
}

}  // namespace

void walk_tree(const std::string& pattern, size_t strip_length, std::string& file_list, bool& reported) {
    // The name position is the pattern's last backslash; index 0 is not looked at.
    size_t name_position = 0;
    for (size_t i = pattern.size(); i-- > 1;) {
        if (pattern[i] == '\\') {
            name_position = i;
            break;
        }
    }
    Walk walk{strip_length, file_list, reported, {}};
    // The walked folder is the pattern's part before its last backslash; a pattern whose
    // only backslash leads it ("\\*", from an empty -indir: value) walks the root folder.
    std::string top = pattern.substr(0, name_position);
    if (top.empty() && !pattern.empty() && pattern[0] == '\\') top = "\\";
    try {
        walk.path.push_back(platform::folder_identity(top));
        walk_folder(walk, pattern, name_position);
        file_list.shrink_to_fit();
    } catch (const std::bad_alloc&) {
        // What was listed before stays in the list and is processed.
        report(walk, top, "not enough memory to list every file");
    }
}
