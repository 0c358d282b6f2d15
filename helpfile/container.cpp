// The help file's storage: header, directory chunks and the files that describe the
// compressed section.
#include "helpfile/container.h"

#include <algorithm>

#include "model/letters.h"

namespace chm {

const char kNameList[] = "::DataSpace/NameList";
const char kTransformList[] = "::DataSpace/Storage/MSCompressed/Transform/List";
const char kSpanInfo[] = "::DataSpace/Storage/MSCompressed/SpanInfo";
const char kControlData[] = "::DataSpace/Storage/MSCompressed/ControlData";
const char kContent[] = "::DataSpace/Storage/MSCompressed/Content";
const char kResetTable[] =
    "::DataSpace/Storage/MSCompressed/Transform/{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}/InstanceData/ResetTable";
const char kInstanceFolder[] =
    "::DataSpace/Storage/MSCompressed/Transform/{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}/InstanceData/";

namespace {

constexpr size_t kChunk = 4096;
constexpr size_t kListingHeader = 0x14;
constexpr size_t kIndexHeader = 0x08;
constexpr size_t kQuickrefEvery = 5;  // one quick reference every 1 + 2^2 entries

// The GUIDs of the file header and of the directory's header, as stored.
constexpr char kFileGuid1[] = "\x10\xfd\x01\x7c\xaa\x7b\xd0\x11\x9e\x0c\x00\xa0\xc9\x22\xe6\xec";
constexpr char kFileGuid2[] = "\x11\xfd\x01\x7c\xaa\x7b\xd0\x11\x9e\x0c\x00\xa0\xc9\x22\xe6\xec";
constexpr char kDirectoryGuid[] = "\x6a\x92\x02\x5d\x2e\x21\xd0\x11\x9d\xf9\x00\xa0\xc9\x22\xe6\xec";

// A directory number: 7 bits a byte, the most significant group first, every byte but
// the last with its top bit set.
void put_encint(std::string& out, uint64_t value) {
    char groups[10];
    size_t n = 0;
    do {
        groups[n++] = static_cast<char>(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (n-- > 1) out.push_back(static_cast<char>(groups[n] | 0x80));
    out.push_back(groups[0]);
}

void put_utf16(std::string& out, std::string_view ascii) {
    for (char c : ascii) {
        out.push_back(c);
        out.push_back('\0');
    }
}

// The entries of one chunk being filled: a chunk takes entries while they, their quick
// references and the entry count fit after its header of `header` bytes.
struct ChunkWriter {
    size_t header;
    std::string entries;
    std::vector<uint16_t> starts;  // of the entries in `entries`

    bool fits(size_t entry_size) const {
        size_t count = starts.size() + 1;
        return header + entries.size() + entry_size + 2 + 2 * ((count - 1) / kQuickrefEvery) <= kChunk;
    }
    void add(const std::string& entry) {
        starts.push_back(static_cast<uint16_t>(entries.size()));
        entries += entry;
    }
    uint32_t free_space() const { return static_cast<uint32_t>(kChunk - header - entries.size()); }
    // Appends the chunk to `out`: `head`, the entries, the free space, the quick
    // references (backwards from the end) and the count.
    void close(std::string& out, const std::string& head) {
        size_t begin = out.size();
        out += head;
        out += entries;
        out.resize(begin + kChunk, '\0');
        size_t count = starts.size();
        size_t end = begin + kChunk;
        out[end - 2] = static_cast<char>(count & 0xFF);
        out[end - 1] = static_cast<char>(count >> 8);
        for (size_t j = 1; j * kQuickrefEvery < count; ++j) {
            uint16_t at = starts[j * kQuickrefEvery];
            out[end - 2 - 2 * j] = static_cast<char>(at & 0xFF);
            out[end - 1 - 2 * j] = static_cast<char>(at >> 8);
        }
        entries.clear();
        starts.clear();
    }
};

}  // namespace

void put_le(std::string& out, uint64_t value, unsigned bytes) {
    for (unsigned i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

bool directory_less(std::string_view a, std::string_view b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(lower_case(a[i]));
        unsigned char y = static_cast<unsigned char>(lower_case(b[i]));
        if (x != y) return x < y;
    }
    return a.size() < b.size();
}

Directory build_directory(const std::vector<DirectoryEntry>& entries) {
    Directory d;
    std::string& out = d.chunks;
    // The listing chunks, each linked to its neighbours.
    ChunkWriter listing{kListingHeader, {}, {}};
    std::vector<std::string> first_names;
    uint32_t chunk = 0;
    auto close_listing = [&]() {
        std::string head = "PMGL";
        put_le(head, listing.free_space(), 4);
        put_le(head, 0, 4);
        put_le(head, chunk == 0 ? 0xFFFFFFFFu : chunk - 1, 4);
        put_le(head, 0xFFFFFFFFu, 4);  // the next chunk, set once there is one
        if (chunk > 0) {
            size_t next = (chunk - 1) * kChunk + 0x10;
            for (size_t i = 0; i < 4; ++i) out[next + i] = static_cast<char>((chunk >> (8 * i)) & 0xFF);
        }
        listing.close(out, head);
        ++chunk;
    };
    std::string entry;
    for (const DirectoryEntry& e : entries) {
        entry.clear();
        put_encint(entry, e.name.size());
        entry += e.name;
        put_encint(entry, e.section);
        put_encint(entry, e.offset);
        put_encint(entry, e.length);
        if (!listing.starts.empty() && !listing.fits(entry.size())) close_listing();
        if (listing.starts.empty()) first_names.push_back(e.name);
        listing.add(entry);
    }
    close_listing();
    d.last_listing = chunk - 1;
    // Index levels above them while a level has more than one chunk: an entry for each
    // chunk below, with the first name stored in it.
    uint32_t below = 0;  // the number of the level's first chunk
    while (first_names.size() > 1) {
        ChunkWriter index{kIndexHeader, {}, {}};
        std::vector<std::string> names;
        auto close_index = [&]() {
            std::string head = "PMGI";
            put_le(head, index.free_space(), 4);
            index.close(out, head);
            ++chunk;
        };
        uint32_t level_end = chunk;
        for (size_t k = 0; k < first_names.size(); ++k) {
            entry.clear();
            put_encint(entry, first_names[k].size());
            entry += first_names[k];
            put_encint(entry, below + k);
            if (!index.starts.empty() && !index.fits(entry.size())) close_index();
            if (index.starts.empty()) names.push_back(first_names[k]);
            index.add(entry);
        }
        close_index();
        below = level_end;
        first_names = std::move(names);
        ++d.depth;
    }
    d.root = d.depth == 1 ? -1 : static_cast<int32_t>(chunk - 1);
    d.count = chunk;
    return d;
}

std::string file_header(const Directory& directory, uint32_t lcid, uint32_t timestamp, uint64_t file_size) {
    std::string h = "ITSF";
    put_le(h, 3, 4);
    put_le(h, 0x60, 4);
    put_le(h, 1, 4);
    put_le(h, timestamp, 4);
    put_le(h, lcid, 4);
    h.append(kFileGuid1, 16);
    h.append(kFileGuid2, 16);
    uint64_t directory_length = 0x54 + uint64_t{kChunk} * directory.count;
    put_le(h, 0x60, 8);
    put_le(h, 0x18, 8);
    put_le(h, 0x78, 8);
    put_le(h, directory_length, 8);
    put_le(h, 0x78 + directory_length, 8);
    // The first header section: the file's length.
    put_le(h, 0x1FE, 4);
    put_le(h, 0, 4);
    put_le(h, file_size, 8);
    put_le(h, 0, 8);
    // The directory's header.
    h += "ITSP";
    put_le(h, 1, 4);
    put_le(h, 0x54, 4);
    put_le(h, 0x0A, 4);
    put_le(h, kChunk, 4);
    put_le(h, 2, 4);  // quick reference density
    put_le(h, directory.depth, 4);
    put_le(h, static_cast<uint32_t>(directory.root), 4);
    put_le(h, 0, 4);  // the first listing chunk
    put_le(h, directory.last_listing, 4);
    put_le(h, 0xFFFFFFFFu, 4);
    put_le(h, directory.count, 4);
    put_le(h, 0x0409, 4);
    h.append(kDirectoryGuid, 16);
    put_le(h, 0x54, 4);
    put_le(h, 0xFFFFFFFFu, 4);
    put_le(h, 0xFFFFFFFFu, 4);
    put_le(h, 0xFFFFFFFFu, 4);
    return h;
}

std::string name_list() {
    std::string out;
    put_le(out, 30, 2);  // its length in 16-bit words
    put_le(out, 2, 2);
    for (std::string_view name : {"Uncompressed", "MSCompressed"}) {
        put_le(out, name.size(), 2);
        put_utf16(out, name);
        put_le(out, 0, 2);
    }
    return out;
}

std::string transform_list() {
    std::string out;
    put_utf16(out, "{7FC28940-9D31-11D0");
    return out;
}

std::string span_info(uint64_t uncompressed) {
    std::string out;
    put_le(out, uncompressed, 8);
    return out;
}

std::string control_data() {
    std::string out;
    put_le(out, 6, 4);
    out += "LZXC";
    put_le(out, 2, 4);  // the next two in frames of 32 KiB
    put_le(out, 2, 4);  // reset interval
    put_le(out, 2, 4);  // window
    put_le(out, 1, 4);
    put_le(out, 0, 4);
    return out;
}

std::string reset_table(const std::vector<uint64_t>& frames, uint64_t uncompressed, uint64_t compressed) {
    std::string out;
    put_le(out, 2, 4);
    put_le(out, frames.size(), 4);
    put_le(out, 8, 4);
    put_le(out, 0x28, 4);
    put_le(out, uncompressed, 8);
    put_le(out, compressed, 8);
    put_le(out, 0x8000, 8);
    for (uint64_t frame : frames) put_le(out, frame, 8);
    return out;
}

}  // namespace chm
