// Everything tolbrik takes from the operating system, behind one small interface.
// Paths are the tool's own backslash-separated byte strings; each implementation maps
// them at the OS call. Failures return Windows system error codes on every platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Status codes of the folder operations (Windows system error codes; the POSIX side maps
// errno onto them). 0 is success.
enum : uint32_t {
    kOk = 0,
    kFileNotFound = 2,      // the pattern matched nothing
    kPathNotFound = 3,
    kTooManyOpenFiles = 4,
    kAccessDenied = 5,
    kNotEnoughMemory = 8,
    kNoMoreFiles = 18,      // the normal end of an enumeration
    kGeneralFailure = 31,
    kFilenameTooLong = 206,
    kAlreadyExists = 183,
};

// Text of the reason for the last failed operation of this layer, for messages
// ("No such file or directory"). Empty when nothing has failed yet.
const std::string& last_error_text();

// The path as the operating system spells it: on POSIX every backslash becomes '/';
// on Windows it is returned unchanged. Only for messages; the operations below map
// their own arguments.
std::string native_path(std::string_view path);

// Sets the runtime library's locale to the OEM code page (".OCP") where there is one.
void set_oem_locale();

// The current working folder, without a trailing separator added. Returns false (and
// leaves `folder` empty) when it cannot be read.
bool current_folder(std::string& folder);

// ---- Folder enumeration --------------------------------------------------------------

struct FolderIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
    bool known = false;  // false where the platform cannot tell (then no loop check)
};

struct EnumerationState;  // the platform's handle, opaque here

// What the folder listing itself tells of an entry, where it tells it for sure. A link
// (or a file system that does not say) gives `unknown`: then get_attributes decides.
enum class EntryKind : uint8_t { unknown, file, folder };

// One open enumeration of a pattern: a folder path, a backslash, and a name pattern
// ("*" in practice). Yields "." and ".." like any other entry. Closing is explicit so
// that its failure can be seen; the destructor closes what is still open.
class Enumeration {
public:
    Enumeration() = default;
    ~Enumeration();
    Enumeration(const Enumeration&) = delete;
    Enumeration& operator=(const Enumeration&) = delete;

    // Opens the enumeration and yields its first entry in `name`. Returns 0, or the
    // failure's code (2 when nothing matches, 3 when the folder does not exist, ...).
    uint32_t first(const std::string& pattern, std::string& name);
    // Yields the next entry. Returns 0, 18 at the end, or the failure's code.
    uint32_t next(std::string& name);
    // Closes the enumeration. Returns 0 or the failure's code.
    uint32_t close();
    // The kind of the entry last yielded, as the listing gave it.
    EntryKind kind() const { return kind_; }

private:
    EnumerationState* state_ = nullptr;
    EntryKind kind_ = EntryKind::unknown;
};

// Reads whether `path` is a folder, following symbolic links. Returns 0, or the
// failure's code (a dangling link fails with 2 or 3).
uint32_t get_attributes(const std::string& path, bool& is_folder);

// Whether `path` is a symbolic link whose target does not exist. Always false where
// the platform has no such links in the tool's sense.
bool is_dangling_link(const std::string& path);

// Identity of the folder at `path` (device and file number), to recognise a folder
// reached again through a link. `known` stays false where it cannot be told.
FolderIdentity folder_identity(const std::string& path);

// Creates one folder with the default permissions. Returns 0, or the failure's code:
// 183 when it already exists, 5 when access is denied, 3 when a parent is missing.
uint32_t create_directory(const std::string& path);

// ---- Text-mode file streams ------------------------------------------------------------

struct FileState;  // the platform's stream, opaque here

// A file opened as a text stream. Reading: a CR right before an LF is dropped, also when
// the two bytes arrive in different reads; a Ctrl-Z (0x1A) ends the file, as the Windows
// runtime's text mode has it. Writing: every LF reaches the disk as CR LF. Both
// directions are buffered, so no system call is made per byte.
class TextFile {
public:
    TextFile() = default;
    ~TextFile();  // closes a file that is still open, ignoring errors
    TextFile(const TextFile&) = delete;
    TextFile& operator=(const TextFile&) = delete;

    // Opens for reading ("r"). Returns 0 or the runtime library's error number (errno).
    int open_read(const std::string& path);
    // Creates or truncates for writing ("w"). Returns 0 or the error number.
    int open_write(const std::string& path);

    // Reads up to `count` bytes, fewer only at the end of the file or on an error.
    size_t read(char* buffer, size_t count);
    // Writes `count` bytes. A failure is remembered and reported by close().
    void write(const char* data, size_t count);
    void write(std::string_view text) { write(text.data(), text.size()); }
    // Hands buffered bytes to the operating system. Returns 0 or the error number.
    int flush();
    // Flushes and closes. Returns 0, or the error number of the first failure of any
    // read, write, flush or of the close itself.
    int close();

    bool is_open() const { return state_ != nullptr; }

private:
    FileState* state_ = nullptr;
};

// Reads the whole of the regular file `path` into `bytes`, as it lies on the disk (no
// text-mode translation). A file larger than `limit` bytes is not read and fails with
// EFBIG; anything but a regular file fails with EACCES. Returns 0 or the error number.
int read_file(const std::string& path, std::string& bytes, size_t limit);

// Writes `pieces`, one after the other, as the whole file `path`, byte for byte (no
// text-mode translation), creating or truncating it. Returns 0 or the error number.
int write_file(const std::string& path, const std::vector<std::string_view>& pieces);

// When the file `path` was last changed, in seconds since 1970; -1 when that cannot be
// read.
int64_t modification_time(const std::string& path);

// Text of the runtime library's error number, for messages.
std::string error_number_text(int error_number);

// Prints "tolbrik: cannot <action> <path>: <reason>" on standard error, the path in its
// native spelling and the reason from the error number.
void report_file_error(std::string_view action, std::string_view path, int error_number);

// ---- Memory ----------------------------------------------------------------------------

// A block of `bytes` of zeroed memory, or nullptr when none can be had. The system backs
// it only as it is touched, in large pages where it can; release_memory gives it back.
void* reserve_memory(size_t bytes);
void release_memory(void* block, size_t bytes);
// The machine's physical memory in bytes, 0 when it cannot be told.
uint64_t physical_memory();

// ---- Threads ---------------------------------------------------------------------------

// The number of processors the program may run on (at least 1).
unsigned processor_count();

// Runs `work(worker)` for worker = 0 .. count - 1, each on a thread of its own (worker 0
// on the calling thread), and returns when every one has returned.
void run_threads(unsigned count, const std::function<void(unsigned worker)>& work);

struct MutexState;  // the platform's lock, opaque here

// A lock for what threads share. lock() waits until no other thread holds it.
class Mutex {
public:
    Mutex();
    ~Mutex();
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;
    void lock();
    void unlock();

private:
    MutexState* state_;
};

// Holds a mutex for as long as it lives.
class Locked {
public:
    explicit Locked(Mutex& mutex) : mutex_(mutex) { mutex_.lock(); }
    ~Locked() { mutex_.unlock(); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    Mutex& mutex_;
};

// ---- Console ---------------------------------------------------------------------------

// Writes bytes to standard output / standard error, unchanged (console texts are stored
// as the bytes they must show); while the calling thread holds a ConsoleCapture, into it.
void print_out(std::string_view bytes);
void print_err(std::string_view bytes);

// What one piece of work printed, in order, kept until it may be shown: work done on
// several threads is shown in the order a single thread would have done it.
struct ConsoleCapture {
    ConsoleCapture();   // from now on, this thread's printing comes here
    ~ConsoleCapture();  // and no longer
    ConsoleCapture(const ConsoleCapture&) = delete;
    ConsoleCapture& operator=(const ConsoleCapture&) = delete;

    struct Chunk {
        bool error;  // standard error, else standard output
        std::string bytes;
    };
    std::vector<Chunk> chunks;
    ConsoleCapture* outer;  // the capture this one replaced
};

// Prints what was captured, in its order.
void print_captured(const std::vector<ConsoleCapture::Chunk>& chunks);
// Flushes standard output and standard error.
void flush_console();

}  // namespace platform
