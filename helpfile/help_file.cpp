// The compiled help file: files read back, internal files made, the compressed section
// compressed interval by interval, the directory and the header put in front.
#include "helpfile/help_file.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <set>

#include "driver/parallel.h"
#include "helpfile/container.h"
#include "helpfile/lzx.h"
#include "helpfile/page_text.h"
#include "helpfile/search.h"
#include "helpfile/system_files.h"
#include "model/letters.h"
#include "platform/platform.h"

namespace {

constexpr size_t kReadLimit = size_t{1} << 30;

// A file of the second section.
struct Stored {
    std::string name;
    std::string bytes;
};

// The second section: its files one after the other, where they lie (not copied into
// one string), zeros after them to the end of the last frame.
struct Stream {
    std::vector<std::string_view> pieces;
    std::vector<uint64_t> starts;  // of each piece in the stream
    uint64_t size = 0;             // the files' bytes
    uint64_t padded = 0;           // whole frames

    void add(std::string_view piece) {
        pieces.push_back(piece);
        starts.push_back(size);
        size += piece.size();
    }
    // The `count` bytes from `from` on.
    void gather(uint64_t from, size_t count, std::string& out) const {
        out.assign(count, '\0');
        size_t k = static_cast<size_t>(std::upper_bound(starts.begin(), starts.end(), from) - starts.begin());
        k = k == 0 ? 0 : k - 1;
        for (size_t at = 0; at < count && k < pieces.size(); ++k) {
            uint64_t skip = from + at - starts[k];
            if (skip >= pieces[k].size()) continue;
            size_t n = std::min<size_t>(count - at, pieces[k].size() - static_cast<size_t>(skip));
            std::memcpy(&out[at], pieces[k].data() + skip, n);
            at += n;
        }
    }
};

// The stream LZX-compressed interval by interval on every core, and where each 32 KiB
// frame begins in the compressed bytes.
struct Compressed {
    std::string bytes;
    std::vector<uint64_t> frames;
};

Compressed compress(const Stream& stream, unsigned jobs) {
    size_t intervals = static_cast<size_t>((stream.padded + lzx::kInterval - 1) / lzx::kInterval);
    std::vector<lzx::Interval> parts(intervals);
    std::vector<lzx::EncoderState> encoders(std::max(jobs, 1u));
    std::vector<std::string> buffers(std::max(jobs, 1u));
    for_each_in_order(static_cast<uint32_t>(intervals), jobs, [&](uint32_t i, unsigned worker) {
        if (!encoders[worker]) encoders[worker] = lzx::make_encoder();
        uint64_t start = uint64_t{i} * lzx::kInterval;
        size_t size = static_cast<size_t>(std::min<uint64_t>(lzx::kInterval, stream.padded - start));
        stream.gather(start, size, buffers[worker]);
        lzx::compress_interval(*encoders[worker], reinterpret_cast<const uint8_t*>(buffers[worker].data()), size,
                               parts[i]);
    });
    Compressed out;
    size_t total = 0;
    for (const lzx::Interval& part : parts) total += part.bytes.size();
    out.bytes.reserve(total);
    for (lzx::Interval& part : parts) {
        for (uint32_t frame : part.frames) out.frames.push_back(out.bytes.size() + frame);
        out.bytes += part.bytes;
        part.bytes = std::string();
    }
    return out;
}

void report(const std::string& path, const std::string& why) {
    platform::print_err("tolbrik: " + platform::native_path(path) + ": " + why + "\n");
}

// Reads a file of the output folder whole, as it lies on the disk.
bool read_back(const std::string& folder, const std::string& path, std::string& bytes) {
    int error = platform::read_file(folder + path, bytes, kReadLimit);
    if (error != 0) platform::report_file_error("read", folder + path, error);
    return error == 0;
}

}  // namespace

int64_t help_file_time(const std::vector<std::string>& sources, unsigned jobs) {
    if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH")) {
        char* end = nullptr;
        long long seconds = std::strtoll(epoch, &end, 10);
        if (*epoch != '\0' && *end == '\0' && seconds >= 0) return seconds;
    }
    std::vector<int64_t> times(sources.size());
    for_each_in_order(static_cast<uint32_t>(sources.size()), jobs,
                      [&](uint32_t i, unsigned) { times[i] = platform::modification_time(sources[i]); });
    int64_t newest = 0;
    for (int64_t t : times) newest = std::max(newest, t);
    return newest;
}

namespace {

// The files of a help file, in the order stored: the pages, the other files, the
// internal ones.
struct Files {
    std::vector<Stored> pages, others, internal;
    HelpFacts facts;
    std::string index_header;
};

// Reads back the pages, stored as every viewer reads them alike, with their words, and
// the other files. Returns what could not be read, "" when all was.
std::string read_files(const HelpFileInput& input, const CodePage& code_page, Files& files,
                       std::vector<PageTerms>& terms) {
    files.pages.resize(input.pages.size());
    terms.resize(input.pages.size());
    std::vector<uint8_t> read(input.pages.size(), 0);
    for_each_in_order(static_cast<uint32_t>(input.pages.size()), input.jobs, [&](uint32_t i, unsigned) {
        std::string bytes;
        if (!read_back(input.folder, input.pages[i], bytes)) return;
        Stored& page = files.pages[i];
        page.name = stored_page_name(input.pages[i]);
        ascii_page(bytes, input.page_code_page, page.bytes);
        retarget_links(page.bytes, false);
        page_terms(page.bytes, code_page, terms[i]);
        read[i] = 1;
    });
    if (std::find(read.begin(), read.end(), 0) != read.end()) return "a page could not be read back";
    std::vector<std::string> paths = input.files;
    for (const std::string* path : {&input.contents, &input.index}) {
        if (!path->empty()) paths.push_back(*path);
    }
    files.others.resize(paths.size());
    for (size_t k = 0; k < paths.size(); ++k) {
        files.others[k].name = stored_page_name(paths[k]);
        if (!read_back(input.folder, paths[k], files.others[k].bytes)) return "a file could not be read back";
        if (k >= input.files.size()) retarget_links(files.others[k].bytes, true);
    }
    return "";
}

// The internal files: the topics and their addresses, the window, the search index, the
// rest as viewers expect them; and what the system file says.
void make_internal_files(const HelpFileInput& input, const CodePage& code_page, const std::string& name,
                         std::vector<PageTerms>& terms, Files& files) {
    HelpFacts& facts = files.facts;
    facts.language = input.language;
    facts.title = code_page.encode(input.title);
    facts.default_topic = stored_page_name(input.default_topic).substr(1);
    facts.contents = input.contents.empty() ? "" : stored_page_name(input.contents).substr(1);
    facts.index = input.index.empty() ? "" : stored_page_name(input.index).substr(1);
    facts.stem = lower_case(name.substr(0, name.rfind('.')));
    facts.time = input.time;
    StringPool strings;
    std::vector<Topic> topics(files.pages.size());
    for (size_t i = 0; i < topics.size(); ++i) topics[i] = {terms[i].title, files.pages[i].name.substr(1)};
    TopicFiles tables = topic_files(topics, strings);
    std::string window = windows_file(facts, strings);
    files.index_header = index_header(static_cast<uint32_t>(topics.size()));
    std::string search = search_index(terms, *input.language, input.jobs);
    terms = std::vector<PageTerms>();
    files.internal = {
        {"/$WWKeywordLinks/Property", std::string(4, '\0')},
        {"/$WWAssociativeLinks/Property", std::string(4, '\0')},
        {"/$OBJINST", search_object()},
        {"/$FIftiMain", std::move(search)},
        {"/#IDXHDR", files.index_header},
        {"/#TOPICS", std::move(tables.topics)},
        {"/#URLTBL", std::move(tables.urltbl)},
        {"/#URLSTR", std::move(tables.urlstr)},
        {"/#WINDOWS", std::move(window)},
        {"/#STRINGS", strings.bytes()},
    };
}

// The help file's bytes: its header, its directory and its first section, which holds
// the second compressed. The pieces point into it.
struct Layout {
    std::string head;
    std::vector<std::pair<const char*, std::string>> described;
    Compressed compressed;
    chm::Directory directory;
    std::vector<std::string_view> pieces;
};

// Lays the files out (the files' bytes are freed once compressed). Returns why the help
// file cannot be made, "" when it can.
std::string lay_out(const HelpFileInput& input, Files& files, Layout& out) {
    // The second section: every file one after the other.
    std::vector<chm::DirectoryEntry> entries;
    Stream stream;
    std::set<std::string> folders = {"/", "/$WWKeywordLinks/", "/$WWAssociativeLinks/"};
    for (auto* group : {&files.pages, &files.others, &files.internal}) {
        for (Stored& file : *group) {
            if (file.name.size() > kStoredNameLimit) return "the name " + file.name + " is longer than readers look up";
            entries.push_back({file.name, 1, stream.size, file.bytes.size()});
            stream.add(file.bytes);
            for (size_t slash = file.name.find('/', 1); slash != std::string::npos; slash = file.name.find('/', slash + 1)) {
                folders.insert(file.name.substr(0, slash + 1));
            }
        }
    }
    if (stream.size >= kHelpFileLimit) return "its pages hold more than 2 GiB";
    // A length that is a whole number of frames, or one byte short of it, is read wrong
    // by one reader; two bytes that belong to no file keep it from being either. Every
    // frame is whole, the last one filled up with zeros.
    uint64_t uncompressed = stream.size;
    if (uncompressed % lzx::kFrame == 0 || uncompressed % lzx::kFrame == lzx::kFrame - 1) uncompressed += 2;
    stream.padded = (uncompressed + lzx::kFrame - 1) / lzx::kFrame * lzx::kFrame;
    out.compressed = compress(stream, input.jobs);
    files.pages = files.others = files.internal = std::vector<Stored>();

    // The first section: the files that describe the second, the system file, the
    // compressed bytes and their reset table.
    out.described = {{chm::kNameList, chm::name_list()},
                     {chm::kTransformList, chm::transform_list()},
                     {chm::kSpanInfo, chm::span_info(uncompressed)},
                     {chm::kControlData, chm::control_data()},
                     {"/#SYSTEM", system_file(files.facts, files.index_header)},
                     {chm::kContent, std::string()},  // the compressed bytes, where they are
                     {chm::kResetTable, chm::reset_table(out.compressed.frames, uncompressed,
                                                         out.compressed.bytes.size())}};
    std::vector<std::string_view> section0;
    uint64_t offset = 0;
    for (const auto& [file, bytes] : out.described) {
        std::string_view piece = file == chm::kContent ? std::string_view(out.compressed.bytes) : bytes;
        entries.push_back({file, 0, offset, piece.size()});
        section0.push_back(piece);
        offset += piece.size();
    }
    entries.push_back({"/#ITBITS", 0, 0, 0});
    entries.push_back({chm::kInstanceFolder, 0, 0, 0});
    for (const std::string& folder : folders) entries.push_back({folder, 0, 0, 0});

    // The directory, sorted as readers look names up; two names that differ in letter
    // case alone would be one name to them.
    std::sort(entries.begin(), entries.end(),
              [](const chm::DirectoryEntry& a, const chm::DirectoryEntry& b) { return chm::directory_less(a.name, b.name); });
    for (size_t k = 1; k < entries.size(); ++k) {
        if (!chm::directory_less(entries[k - 1].name, entries[k].name)) {
            return entries[k - 1].name + " and " + entries[k].name + " are one name to its readers";
        }
    }
    out.directory = chm::build_directory(entries);
    uint64_t file_size = chm::content_start(out.directory) + offset;
    if (file_size > kHelpFileLimit) return "it would hold more than 2 GiB";
    out.head = chm::file_header(out.directory, input.language->lcid, static_cast<uint32_t>(input.time), file_size);
    out.pieces = {out.head, out.directory.chunks};
    out.pieces.insert(out.pieces.end(), section0.begin(), section0.end());
    return "";
}

bool make_help_file(const HelpFileInput& input, const std::string& name) {
    const std::string target = input.folder + name;
    const CodePage code_page(*input.language);
    Files files;
    std::vector<PageTerms> terms;
    Layout layout;
    std::string why = read_files(input, code_page, files, terms);
    if (why.empty()) {
        make_internal_files(input, code_page, name, terms, files);
        why = lay_out(input, files, layout);
    }
    if (!why.empty()) {
        report(target, why + ": the help file is not written");
        return false;
    }
    int error = platform::write_file(target, layout.pieces);
    if (error != 0) platform::report_file_error("write", target, error);
    return error == 0;
}

}  // namespace

bool write_help_file(const HelpFileInput& input, const std::string& name) {
    try {
        return make_help_file(input, name);
    } catch (const std::bad_alloc&) {
        report(input.folder + name, "not enough memory to make it: the help file is not written");
        return false;
    }
}
