// The platform layer on this system: text-mode streams, folder enumeration, folder
// creation and the mapping of the tool's backslash paths.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "test_support.h"

using namespace testing_support;

namespace {

// Reads the whole file at `native` through a text stream, `chunk` bytes per read call.
std::string read_text(const std::string& native, size_t chunk) {
    platform::TextFile file;
    EXPECT_EQ(file.open_read(backslashed(native)), 0);
    std::string text;
    std::vector<char> buffer(chunk);
    for (;;) {
        size_t got = file.read(buffer.data(), chunk);
        text.append(buffer.data(), got);
        if (got < chunk) break;
    }
    EXPECT_EQ(file.read(buffer.data(), chunk), 0u) << "nothing more after the end";
    EXPECT_EQ(file.close(), 0);
    return text;
}

const size_t kBlock = 64 * 1024;  // the stream's own read block

TEST(TextFileRead, DropsOnlyTheCarriageReturnBeforeALineFeed) {
    struct Case {
        std::string name, disk, text;
    };
    const std::string block_less_one(kBlock - 1, 'x');
    const std::vector<Case> cases = {
        {"empty", "", ""},
        {"CR LF", "a\r\nb\r\n", "a\nb\n"},
        {"lone CR", "a\rb", "a\rb"},
        {"CR at the end", "a\r", "a\r"},
        {"CR CR LF", "a\r\r\nb", "a\r\nb"},
        {"LF CR", "a\n\rb", "a\n\rb"},
        {"Ctrl-Z ends the text", "a\r\nb\x1A" "c\r\nd", "a\nb"},
        {"Ctrl-Z first", "\x1A" "abc", ""},
        {"CR before Ctrl-Z", "a\r\x1A\n", "a\r"},
        {"NUL bytes pass", std::string("a\0b\r\n", 5), std::string("a\0b\n", 4)},
        // The CR is the last byte of the first 64 KiB block, the LF the first of the next.
        {"CR LF across the block", block_less_one + "\r\ny", block_less_one + "\ny"},
        {"CR at the block end, no LF", block_less_one + "\rz", block_less_one + "\rz"},
        {"CR at the block end and file end", block_less_one + "\r", block_less_one + "\r"},
        {"CR at the block end, a whole block after it", block_less_one + "\r" + std::string(kBlock, 'y'),
         block_less_one + "\r" + std::string(kBlock, 'y')},
        {"Ctrl-Z opens the next block", block_less_one + "x\x1A" "tail", block_less_one + "x"},
        {"CR at the block end, Ctrl-Z next", block_less_one + "\r\x1A\n", block_less_one + "\r"},
        {"CR CR LF across the block", block_less_one + "\r\r\n", block_less_one + "\r\n"},
        // Files that fill whole blocks, or one byte more: the end is told right either way.
        {"exactly one block", block_less_one + "\n", block_less_one + "\n"},
        {"one block and a byte", block_less_one + "x\n", block_less_one + "x\n"},
        {"exactly two blocks", block_less_one + "x" + block_less_one + "\n",
         block_less_one + "x" + block_less_one + "\n"},
    };
    TempDir dir;
    for (const Case& c : cases) {
        std::string file = dir.write("f", c.disk);
        for (size_t chunk : {size_t{1}, size_t{2}, size_t{3}, size_t{260}, kBlock, kBlock + 7}) {
            EXPECT_EQ(read_text(file, chunk), c.text) << c.name << ", read " << chunk << " at a time";
        }
    }
}

// Generated files report a size of 0 and still hold text, more than one read gives.
TEST(TextFileRead, AFileWhoseSizeSaysNothingIsReadToItsEnd) {
    const std::string whole = read_file("/proc/kallsyms");
    ASSERT_GT(whole.size(), kBlock);
    EXPECT_TRUE(read_text("/proc/kallsyms", kBlock) == whole);
}

TEST(TextFileOpen, FailuresAnswerTheErrorNumber) {
    TempDir dir;
    dir.write("sub/file", "x");
    platform::TextFile file;
    EXPECT_EQ(file.open_read(backslashed(dir.path() + "/missing")), ENOENT);
    EXPECT_EQ(file.open_read(backslashed(dir.path() + "/nowhere/file")), ENOENT);
    EXPECT_EQ(file.open_write(backslashed(dir.path() + "/nowhere/file")), ENOENT);
    // A folder cannot be opened as a text file, as with the Windows runtime.
    EXPECT_EQ(file.open_read(backslashed(dir.path() + "/sub")), EACCES);
    EXPECT_FALSE(file.is_open());
    // Nothing but a regular file is read: a named pipe or a device would wait or never end.
    ASSERT_EQ(::mkfifo((dir.path() + "/pipe.1").c_str(), 0666), 0);
    EXPECT_EQ(file.open_read(backslashed(dir.path() + "/pipe.1")), EACCES);
    EXPECT_EQ(file.open_read("/dev/zero"), EACCES);
    // Writing into a pipe that nobody reads fails at once instead of waiting.
    EXPECT_EQ(file.open_write(backslashed(dir.path() + "/pipe.1")), ENXIO);
    // Into a pipe that is read slowly, every byte arrives: the writer waits for room.
    {
        std::string sent, expected;
        for (int i = 0; i < 50000; ++i) {
            sent += "line " + std::to_string(i) + "\n";
            expected += "line " + std::to_string(i) + "\r\n";
        }
        int reader = ::open((dir.path() + "/pipe.1").c_str(), O_RDONLY | O_NONBLOCK);
        ASSERT_GE(reader, 0);
        ASSERT_EQ(::fcntl(reader, F_SETFL, ::fcntl(reader, F_GETFL) & ~O_NONBLOCK), 0);
        // A writer of the test's own, so that the reader does not see the pipe's end
        // before the stream has opened it.
        int held = ::open((dir.path() + "/pipe.1").c_str(), O_WRONLY);
        ASSERT_GE(held, 0);
        std::string received;
        std::thread drain([&] {
            char chunk[4096];
            for (;;) {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
                ssize_t got = ::read(reader, chunk, sizeof chunk);
                if (got <= 0) break;
                received.append(chunk, static_cast<size_t>(got));
            }
        });
        ASSERT_EQ(file.open_write(backslashed(dir.path() + "/pipe.1")), 0);
        file.write(sent);
        EXPECT_EQ(file.close(), 0);
        ::close(held);
        drain.join();
        ::close(reader);
        EXPECT_EQ(received.size(), expected.size());
        EXPECT_TRUE(received == expected);
    }
    // A write that the disk refuses is reported when the file is closed, whatever the reason:
    // no room, or a file sealed against writing.
    ASSERT_EQ(file.open_write("/dev/full"), 0);
    file.write("some text\n");
    EXPECT_EQ(file.close(), ENOSPC);
    const int sealed = ::memfd_create("sealed", MFD_ALLOW_SEALING);
    ASSERT_EQ(::fcntl(sealed, F_ADD_SEALS, F_SEAL_WRITE), 0);
    ASSERT_EQ(file.open_write("/proc/self/fd/" + std::to_string(sealed)), 0);
    file.write("some text\n");
    EXPECT_EQ(file.close(), EPERM);
    ::close(sealed);
}

// Every entry in readdir's order, "." and ".." wherever it puts them; the root folder
// too, named by a lone backslash (an empty -indir: value).
TEST(Enumeration, YieldsEveryEntryThenNoMoreFiles) {
    TempDir dir;
    for (const char* name : {"a.1", ".hidden", "b", "sub/c"}) dir.write(name, "x");
    for (const std::string& folder : {dir.path(), std::string()}) {
        platform::Enumeration enumeration;
        std::vector<std::string> names, dots;
        std::string name;
        uint32_t status = enumeration.first(backslashed(folder) + "\\*", name);
        for (; status == platform::kOk; status = enumeration.next(name)) {
            (name == "." || name == ".." ? dots : names).push_back(name);
        }
        EXPECT_EQ(status, platform::kNoMoreFiles);
        EXPECT_EQ(enumeration.close(), platform::kOk);
        std::vector<std::string> listed;  // in the order readdir gives them
        for (const auto& entry : std::filesystem::directory_iterator(folder.empty() ? "/" : folder)) {
            listed.push_back(entry.path().filename().string());
        }
        EXPECT_EQ(names, listed);
        EXPECT_EQ(dots.size(), 2u);
    }
}

// Each backslash is a separator; the codes are those the tool's Windows side gets.
TEST(Folders, EnumerationCreationAndAttributesThroughBackslashPaths) {
    TempDir dir;
    dir.write("file", "x");
    const std::string root = backslashed(dir.path());
    platform::Enumeration enumeration;
    std::string name;
    EXPECT_EQ(enumeration.first(root + "\\missing\\*", name), platform::kPathNotFound);
    EXPECT_EQ(enumeration.first(root + "\\file\\*", name), platform::kPathNotFound);
    EXPECT_EQ(enumeration.first(root + "\\*.zz", name), platform::kFileNotFound);
    EXPECT_EQ(enumeration.first(root + "\\f*", name), platform::kOk);
    EXPECT_EQ(name, "file");
    EXPECT_EQ(enumeration.next(name), platform::kNoMoreFiles);
    EXPECT_EQ(platform::create_directory(root + "\\new"), platform::kOk);
    EXPECT_EQ(platform::create_directory(root + "\\new\\inner"), platform::kOk);
    EXPECT_EQ(platform::create_directory(root + "\\new"), platform::kAlreadyExists);
    EXPECT_EQ(platform::create_directory(root + "\\file\\inner"), platform::kPathNotFound);
    bool is_folder = false;
    EXPECT_EQ(platform::get_attributes(root + "\\new\\inner", is_folder), platform::kOk);
    EXPECT_TRUE(is_folder);
    EXPECT_EQ(platform::get_attributes(root + "\\file", is_folder), platform::kOk);
    EXPECT_FALSE(is_folder);
    EXPECT_EQ(platform::get_attributes(root + "\\gone", is_folder), platform::kPathNotFound);
}

}  // namespace
