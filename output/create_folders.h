// Folder creation: every folder along a path, outermost first.
#pragma once

#include <cstddef>
#include <string>

// Creates every folder named by a prefix of `path[0, length)` that ends before a
// backslash or slash, and the one of the whole `length` characters, outermost first.
// Folders that already exist, and refusals for lack of access, are passed over; at any
// other refusal deeper folders are not attempted. Writing the file then names what failed.
void create_folders(const std::string& path, size_t length);
