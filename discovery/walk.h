// The directory walk: every file under the input folder, depth first, into the file list,
// one path relative to the input folder per line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Walks the folder of `pattern` (a folder, a backslash and "*") and every folder below
// it. Each file found is appended to `file_list` as its full path without the first
// `strip_length` bytes, followed by a line feed. A folder or entry that cannot be read is
// named on standard error and passed over (`reported` is then set); a missing input folder
// is not named, it just gives an empty list. A list that cannot grow ends the walk, is
// named, and keeps what it holds. Each folder's entries are taken in one order whatever
// the file system's: names compared with their ASCII letters as capitals, then byte by
// byte (as NTFS lists a folder, for ASCII names).
void walk_tree(const std::string& pattern, size_t strip_length, std::string& file_list, bool& reported);

