// The storage a compiled help file is: a header, a directory of every stored name in
// chunks of 4 KiB (a B-tree of listing chunks under index chunks), and two content
// sections, the second LZX-compressed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace chm {

// A stored name, the section holding its bytes, and where they lie in that section (in
// the second section: in its uncompressed stream). Folders are names ending in '/' with
// no bytes.
struct DirectoryEntry {
    std::string name;
    uint32_t section = 0;
    uint64_t offset = 0;
    uint64_t length = 0;
};

// The order readers look names up in: ASCII letters as lower case, then byte by byte, a
// name before every longer name it begins.
bool directory_less(std::string_view a, std::string_view b);

// The directory chunks and what the header says of them.
struct Directory {
    std::string chunks;         // 4096 bytes each, listing chunks first, the root last
    uint32_t depth = 1;         // 1: listing chunks only
    int32_t root = -1;          // the top index chunk, -1 with one listing chunk
    uint32_t last_listing = 0;  // the number of the last listing chunk
    uint32_t count = 0;         // chunks in all
};

// The directory of `entries`, which must be sorted by directory_less with no two names
// the same letter case aside.
Directory build_directory(const std::vector<DirectoryEntry>& entries);

// The bytes before the directory (file header, its first section, the directory's
// header) for a file of `file_size` bytes whose help language is `lcid`.
std::string file_header(const Directory& directory, uint32_t lcid, uint32_t timestamp, uint64_t file_size);

// The size of everything before the first content section.
inline uint64_t content_start(const Directory& directory) { return 0x78 + 0x54 + uint64_t{4096} * directory.count; }

// The files of the first section that describe the second: the section names, the
// transform, the span (`uncompressed` bytes), the LZX parameters, and the reset table
// that says where each 32 KiB frame starts in the `compressed` bytes.
std::string name_list();
std::string transform_list();
std::string span_info(uint64_t uncompressed);
std::string control_data();
std::string reset_table(const std::vector<uint64_t>& frames, uint64_t uncompressed, uint64_t compressed);

// The names of those files, and the folder the reset table lies in.
extern const char kNameList[];
extern const char kTransformList[];
extern const char kSpanInfo[];
extern const char kControlData[];
extern const char kContent[];
extern const char kResetTable[];
extern const char kInstanceFolder[];

// Little-endian integers appended to a byte string.
void put_le(std::string& out, uint64_t value, unsigned bytes);

}  // namespace chm
