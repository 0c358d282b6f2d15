// The platform layer on POSIX systems: the same operations, with the same meaning, as
// the Windows side. Backslashes become '/' at each OS call, errno values are mapped onto
// the Windows codes the tool expects, and text mode is emulated on plain descriptors.
#include "platform/platform.h"

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace platform {
namespace {

// Each thread's own: the reason for its last failure.
thread_local std::string g_last_error_text;

uint32_t code_of_errno(int e) {
    switch (e) {
        case 0: return kOk;
        case ENOENT:
        case ENOTDIR: return kPathNotFound;
        case EACCES:
        case EPERM:
        case EROFS: return kAccessDenied;
        case ENOMEM: return kNotEnoughMemory;
        case EEXIST: return kAlreadyExists;
        case EMFILE:
        case ENFILE: return kTooManyOpenFiles;
        case ENAMETOOLONG:
        case ELOOP: return kFilenameTooLong;
        default: return kGeneralFailure;
    }
}

// Records errno's text as the last failure and returns its code.
uint32_t fail_with_errno(int e) {
    g_last_error_text = std::strerror(e);
    return code_of_errno(e);
}

std::string to_native(std::string_view path) {
    std::string native(path);
    for (char& c : native) {
        if (c == '\\') c = '/';
    }
    return native;
}

// Retries a system call that a signal interrupted.
template <typename Call>
auto retry(Call call) {
    decltype(call()) result;
    do {
        result = call();
    } while (result < 0 && errno == EINTR);
    return result;
}

// A thread's open folders, the last two it opened files in: the files of one folder come
// one after the other, and a page that is read while its HTML file is written has its
// source folder and its output folder take turns. A file is opened relative to its
// folder's handle, so that the system walks the folder's path once rather than for every
// file in it.
class FolderHandles {
public:
    FolderHandles() = default;
    FolderHandles(const FolderHandles&) = delete;
    FolderHandles& operator=(const FolderHandles&) = delete;
    ~FolderHandles() {
        for (Slot& slot : slots_) {
            if (slot.fd >= 0) ::close(slot.fd);
        }
    }

    // Opens `native` as ::open does; the result and errno are those of ::open.
    int open(const std::string& native, int flags, mode_t mode) {
        size_t slash = native.rfind('/');
        if (slash == std::string::npos || slash == 0 || slash + 1 == native.size()) {
            return ::open(native.c_str(), flags, mode);
        }
        int folder = handle(std::string_view(native).substr(0, slash));
        if (folder < 0) return ::open(native.c_str(), flags, mode);
        return ::openat(folder, native.c_str() + slash + 1, flags, mode);
    }

private:
    struct Slot {
        std::string folder;
        int fd = -1;
    };

    // The handle of `folder`, opened now if it is not one of the two; -1 when it cannot
    // be opened (the file is then opened by its whole path, which fails as it should).
    int handle(std::string_view folder) {
        if (slots_[0].fd >= 0 && slots_[0].folder == folder) return slots_[0].fd;
        std::swap(slots_[0], slots_[1]);
        if (slots_[0].fd >= 0 && slots_[0].folder == folder) return slots_[0].fd;
        if (slots_[0].fd >= 0) ::close(slots_[0].fd);
#ifdef O_PATH
        constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
        constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif
        slots_[0].folder.assign(folder);
        slots_[0].fd = retry([&] { return ::open(slots_[0].folder.c_str(), kFolderFlags); });
        return slots_[0].fd;
    }

    Slot slots_[2];
};

// Opens a file as ::open does, through the calling thread's folder handles.
int open_file(const std::string& native, int flags, mode_t mode = 0) {
    thread_local FolderHandles handles;
    int saved = errno;
    int fd = handles.open(native, flags, mode);
    if (fd >= 0) errno = saved;
    return fd;
}

}  // namespace

const std::string& last_error_text() { return g_last_error_text; }

std::string native_path(std::string_view path) { return to_native(path); }

void set_oem_locale() {
    // There is no OEM code page here; the tool's own bytes are code page 866 already.
    std::setlocale(LC_ALL, "C");
}

bool current_folder(std::string& folder) {
    folder.clear();
    std::vector<char> buffer(4096);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) {
            fail_with_errno(errno);
            return false;
        }
        buffer.resize(buffer.size() * 2);
    }
    folder = buffer.data();
    return true;
}

// ---- Folder enumeration --------------------------------------------------------------

struct EnumerationState {
    DIR* dir = nullptr;
    std::string name_pattern;
};

Enumeration::~Enumeration() { close(); }

namespace {

EntryKind kind_of(unsigned char type) {
    switch (type) {
        case DT_REG: return EntryKind::file;
        case DT_DIR: return EntryKind::folder;
        default: return EntryKind::unknown;  // a link, something else, or not told
    }
}

// Reads entries until one matches the pattern. Returns 0 with `name` and `kind` set, 18
// at the end, or the failure's code.
uint32_t next_match(EnumerationState& state, std::string& name, EntryKind& kind) {
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(state.dir);
        if (entry == nullptr) {
            if (errno != 0) return fail_with_errno(errno);
            g_last_error_text = "no more files";
            return kNoMoreFiles;
        }
        if (state.name_pattern == "*" ||
            ::fnmatch(state.name_pattern.c_str(), entry->d_name, 0) == 0) {
            name = entry->d_name;
            kind = kind_of(entry->d_type);
            return kOk;
        }
    }
}

}  // namespace

uint32_t Enumeration::first(const std::string& pattern, std::string& name) {
    close();
    std::string native = to_native(pattern);
    std::string folder, name_pattern;
    size_t slash = native.rfind('/');
    if (slash == std::string::npos) {
        folder = ".";
        name_pattern = native;
    } else {
        folder = slash == 0 ? "/" : native.substr(0, slash);
        name_pattern = native.substr(slash + 1);
    }
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return fail_with_errno(errno);
    state_ = new EnumerationState{dir, name_pattern};
    uint32_t status = next_match(*state_, name, kind_);
    if (status == kNoMoreFiles) {
        close();
        g_last_error_text = "no file matches";
        return kFileNotFound;
    }
    if (status != kOk) {
        std::string reason = g_last_error_text;
        close();
        g_last_error_text = reason;
    }
    return status;
}

uint32_t Enumeration::next(std::string& name) {
    if (state_ == nullptr) {
        g_last_error_text = "enumeration is not open";
        return kGeneralFailure;
    }
    return next_match(*state_, name, kind_);
}

uint32_t Enumeration::close() {
    kind_ = EntryKind::unknown;
    if (state_ == nullptr) return kOk;
    int result = ::closedir(state_->dir);
    delete state_;
    state_ = nullptr;
    return result == 0 ? kOk : fail_with_errno(errno);
}

uint32_t get_attributes(const std::string& path, bool& is_folder) {
    struct stat info;
    if (::stat(to_native(path).c_str(), &info) != 0) return fail_with_errno(errno);
    is_folder = S_ISDIR(info.st_mode);
    return kOk;
}

bool is_dangling_link(const std::string& path) {
    std::string native = to_native(path);
    struct stat info;
    if (::lstat(native.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return false;
    return ::stat(native.c_str(), &info) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

FolderIdentity folder_identity(const std::string& path) {
    FolderIdentity identity;
    struct stat info;
    if (::stat(to_native(path).c_str(), &info) == 0) {
        identity.device = static_cast<uint64_t>(info.st_dev);
        identity.inode = static_cast<uint64_t>(info.st_ino);
        identity.known = true;
    }
    return identity;
}

uint32_t create_directory(const std::string& path) {
    if (::mkdir(to_native(path).c_str(), 0777) == 0) return kOk;
    return fail_with_errno(errno);
}

// ---- Text-mode file streams ------------------------------------------------------------

namespace {
constexpr size_t kStreamBuffer = 64 * 1024;
constexpr char kCtrlZ = 0x1A;
}  // namespace

struct FileState {
    int fd = -1;
    bool writing = false;
    int error = 0;          // first failure, reported by close()
    bool end = false;       // the end of the file (or a Ctrl-Z) has been reached
    // Reading: one block from the disk, already translated (CR LF made LF, cut at a
    // Ctrl-Z); raw_pos to raw_len are not yet handed out. One byte more than a block, for
    // a CR held back from the previous block.
    std::unique_ptr<char[]> raw;
    size_t raw_pos = 0;
    size_t raw_len = 0;
    bool held_cr = false;  // the previous block ended in a CR: whether an LF follows is
                           // told by the next block
    bool short_read = false;    // the last read gave less than a full buffer
    uint64_t size_at_open = 0;  // reading: the file's size when it was opened
    uint64_t taken = 0;         // reading: bytes read from the disk so far
    // Writing: translated bytes not yet written; `pending_used` of them, in a buffer of
    // twice the stream buffer (a block of line feeds can double).
    std::unique_ptr<char[]> pending;
    size_t pending_used = 0;
};

TextFile::~TextFile() { close(); }

namespace {

// The buffers of a thread's last closed stream, kept for its next one: a run opens a file
// or two per page, and buffers of this size handed back to the allocator at each close
// cost it more than the page's bytes cost to copy.
thread_local std::unique_ptr<char[]> spare_pending, spare_raw;

std::unique_ptr<char[]> buffer_from(std::unique_ptr<char[]>& spare, size_t size) {
    return spare ? std::move(spare) : std::unique_ptr<char[]>(new char[size]);
}

int open_stream(FileState*& state, const std::string& path, bool writing) {
    std::string native = to_native(path);
    int flags = writing ? (O_WRONLY | O_CREAT | O_TRUNC) : O_RDONLY;
    // Opened without waiting: a named pipe would otherwise hold the run until some other
    // process opened its other end (for writing, one without a reader fails with ENXIO).
    int fd = retry([&] { return open_file(native, flags | O_CLOEXEC | O_NONBLOCK, 0666); });
    if (fd < 0) {
        int e = errno;
        fail_with_errno(e);
        return e;
    }
    struct stat info {};
    if (!writing) {
        // Only a regular file is read. Opening a folder succeeds on POSIX but not with the
        // Windows runtime, which answers EACCES; a pipe, socket or device (reached through
        // a link, say) could keep a read waiting or never end, and is refused alike.
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            ::close(fd);
            fail_with_errno(EACCES);
            return EACCES;
        }
    }
    // Written to, a regular file ignores O_NONBLOCK; anything else is made to wait as
    // usual the first time it would not take bytes at once (see write_all).
    state = new FileState;
    state->fd = fd;
    state->writing = writing;
    if (writing) {
        state->pending = buffer_from(spare_pending, 2 * kStreamBuffer);
    } else {
        state->raw = buffer_from(spare_raw, kStreamBuffer + 1);
        state->size_at_open = static_cast<uint64_t>(info.st_size);
    }
    return 0;
}

// The position of the first `c` in bytes[from, to), or `to`.
size_t stop_of(const char* bytes, size_t from, size_t to, char c) {
    const void* found = std::memchr(bytes + from, c, to - from);
    return found == nullptr ? to : static_cast<size_t>(static_cast<const char*>(found) - bytes);
}

// Reads the next block from the disk. Returns the number of bytes, 0 at the end of the
// file or on an error (which is recorded).
size_t read_block(FileState& s, char* into) {
    if (s.end) return 0;
    if (s.size_at_open > 0 && s.taken >= s.size_at_open && s.short_read) {
        // A regular file that has given all the bytes it held when it was opened, the
        // last of them in a read that came back short, is at its end: asking again would
        // only hear so. (A file whose size says nothing, 0 for generated files, is read
        // until the system answers with nothing.)
        s.end = true;
        return 0;
    }
    ssize_t got = retry([&] { return ::read(s.fd, into, kStreamBuffer); });
    if (got <= 0) {
        if (got < 0 && s.error == 0) {
            s.error = errno;
            fail_with_errno(errno);
        }
        s.end = true;
        return 0;
    }
    s.short_read = static_cast<size_t>(got) < kStreamBuffer;
    s.taken += static_cast<uint64_t>(got);
    return static_cast<size_t>(got);
}

// Refills the buffer with the next block, translated as text mode reads it: a CR right
// before an LF is dropped, and a Ctrl-Z ends the file. A CR that is the last byte of a
// block is held back until the next block shows what follows it. Returns false when
// nothing more is to be had.
bool refill(FileState& s) {
    char* raw = s.raw.get();
    size_t start = 0;
    if (s.held_cr) {
        raw[0] = '\r';
        start = 1;
        s.held_cr = false;
    }
    size_t length = start + read_block(s, raw + start);
    if (length == 0) return false;

    // Everything from a Ctrl-Z on is not part of the text.
    size_t stop = stop_of(raw, start, length, kCtrlZ);
    if (stop < length) {
        length = stop;
        s.end = true;
    }
    // Drop each CR that an LF follows, moving the rest down.
    size_t kept = stop_of(raw, 0, length, '\r');
    size_t from = kept;
    while (from < length) {
        // raw[from] is a CR.
        if (from + 1 == length && !s.end) {
            s.held_cr = true;  // its follower is in the next block
            break;
        }
        if (from + 1 == length || raw[from + 1] != '\n') raw[kept++] = '\r';
        ++from;
        size_t next = stop_of(raw, from, length, '\r');
        std::memmove(raw + kept, raw + from, next - from);
        kept += next - from;
        from = next;
    }
    s.raw_pos = 0;
    s.raw_len = kept;
    // A block that was only a held-back CR leaves nothing now; the caller asks again.
    return true;
}

int write_all(FileState& s, const char* data, size_t count) {
    while (count > 0) {
        ssize_t put = retry([&] { return ::write(s.fd, data, count); });
        if (put < 0 && errno == EAGAIN) {
            // A pipe or device opened without waiting is full: from now on it waits.
            int status_flags = ::fcntl(s.fd, F_GETFL);
            if (status_flags == -1 || ::fcntl(s.fd, F_SETFL, status_flags & ~O_NONBLOCK) == -1) {
                return errno;
            }
            continue;
        }
        if (put < 0) return errno;
        data += put;
        count -= static_cast<size_t>(put);
    }
    return 0;
}

int flush_pending(FileState& s) {
    if (s.pending_used == 0) return 0;
    int e = write_all(s, s.pending.get(), s.pending_used);
    s.pending_used = 0;
    if (e != 0 && s.error == 0) {
        s.error = e;
        fail_with_errno(e);
    }
    return e;
}

}  // namespace

int read_file(const std::string& path, std::string& bytes, size_t limit) {
    bytes.clear();
    std::string native = to_native(path);
    int fd = retry([&] { return open_file(native, O_RDONLY | O_CLOEXEC | O_NONBLOCK); });
    if (fd < 0) {
        int e = errno;
        fail_with_errno(e);
        return e;
    }
    struct stat info {};
    int error = 0;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = EACCES;
    } else if (static_cast<uint64_t>(info.st_size) > limit) {
        error = EFBIG;
    } else {
        // The size is a hint: a file that grows, or one whose size reads 0, is read to
        // its end all the same, up to the limit.
        bytes.resize(static_cast<size_t>(info.st_size) + 1);
        size_t held = 0;
        for (;;) {
            if (held == bytes.size()) {
                if (held > limit) {
                    error = EFBIG;
                    break;
                }
                bytes.resize(held * 2 + 4096);
            }
            ssize_t got = retry([&] { return ::read(fd, &bytes[held], bytes.size() - held); });
            if (got < 0) {
                error = errno;
                break;
            }
            if (got == 0) break;
            held += static_cast<size_t>(got);
            // A regular file that has given what its size promised is at its end: asking
            // again would only hear so. (A size of 0, as generated files have, promises
            // nothing: such a file is read until the system says it is at its end.)
            if (info.st_size > 0 && held == static_cast<size_t>(info.st_size)) break;
        }
        bytes.resize(error == 0 ? held : 0);
    }
    ::close(fd);
    if (error != 0) fail_with_errno(error);
    return error;
}

int write_file(const std::string& path, const std::vector<std::string_view>& pieces) {
    int fd = retry([&] { return open_file(to_native(path), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666); });
    if (fd < 0) {
        int e = errno;
        fail_with_errno(e);
        return e;
    }
    int error = 0;
    for (std::string_view piece : pieces) {
        const char* data = piece.data();
        size_t count = piece.size();
        while (error == 0 && count > 0) {
            ssize_t put = retry([&] { return ::write(fd, data, count); });
            if (put < 0) {
                error = errno;
                break;
            }
            data += put;
            count -= static_cast<size_t>(put);
        }
    }
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error != 0) fail_with_errno(error);
    return error;
}

int64_t modification_time(const std::string& path) {
    struct stat info {};
    if (::stat(to_native(path).c_str(), &info) != 0) return -1;
    return static_cast<int64_t>(info.st_mtime);
}

int TextFile::open_read(const std::string& path) {
    close();
    return open_stream(state_, path, false);
}

int TextFile::open_write(const std::string& path) {
    close();
    return open_stream(state_, path, true);
}

size_t TextFile::read(char* buffer, size_t count) {
    if (state_ == nullptr || state_->writing) return 0;
    FileState& s = *state_;
    size_t out = 0;
    while (out < count) {
        if (s.raw_pos == s.raw_len) {
            if (!refill(s)) break;
            continue;
        }
        size_t take = s.raw_len - s.raw_pos;
        if (take > count - out) take = count - out;
        std::memcpy(buffer + out, s.raw.get() + s.raw_pos, take);
        out += take;
        s.raw_pos += take;
    }
    return out;
}

void TextFile::write(const char* data, size_t count) {
    if (state_ == nullptr || !state_->writing) return;
    FileState& s = *state_;
    while (count > 0) {
        // At most a stream buffer's worth at a time: with every byte a line feed, it
        // doubles, which the pending buffer has room for.
        size_t take = count < kStreamBuffer ? count : kStreamBuffer;
        if (s.pending_used + 2 * take > 2 * kStreamBuffer) flush_pending(s);
        char* out = s.pending.get() + s.pending_used;
        const char* end = data + take;
        while (data < end) {
            const char* lf = static_cast<const char*>(std::memchr(data, '\n', static_cast<size_t>(end - data)));
            size_t run = static_cast<size_t>((lf ? lf : end) - data);
            std::memcpy(out, data, run);
            out += run;
            data += run;
            if (lf) {
                *out++ = '\r';
                *out++ = '\n';
                ++data;
            }
        }
        count -= take;
        s.pending_used = static_cast<size_t>(out - s.pending.get());
    }
}

int TextFile::flush() {
    if (state_ == nullptr || !state_->writing) return 0;
    return flush_pending(*state_);
}

int TextFile::close() {
    if (state_ == nullptr) return 0;
    FileState* s = state_;
    state_ = nullptr;
    if (s->writing) flush_pending(*s);
    if (::close(s->fd) != 0 && s->error == 0 && errno != EINTR) {
        s->error = errno;
        fail_with_errno(errno);
    }
    int error = s->error;
    if (!spare_pending) spare_pending = std::move(s->pending);
    if (!spare_raw) spare_raw = std::move(s->raw);
    delete s;
    return error;
}

// ---- Threads ---------------------------------------------------------------------------

void* reserve_memory(size_t bytes) {
    void* block = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (block == MAP_FAILED) return nullptr;
#ifdef MADV_HUGEPAGE
    // Large pages: one fault per 2 MiB filled rather than one per 4 KiB.
    ::madvise(block, bytes, MADV_HUGEPAGE);
#endif
    return block;
}

void release_memory(void* block, size_t bytes) {
    if (block != nullptr) ::munmap(block, bytes);
}

uint64_t physical_memory() {
    long pages = ::sysconf(_SC_PHYS_PAGES), page_size = ::sysconf(_SC_PAGESIZE);
    return pages > 0 && page_size > 0 ? uint64_t(pages) * uint64_t(page_size) : 0;
}

unsigned processor_count() {
    long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<unsigned>(online) : 1;
}

void run_threads(unsigned count, const std::function<void(unsigned worker)>& work) {
    std::vector<std::thread> threads;
    for (unsigned worker = 1; worker < count; ++worker) {
        // A thread that cannot be had leaves its share to the others, which take work as
        // they are free: nothing is lost, it only takes longer.
        try {
            threads.emplace_back(work, worker);
        } catch (const std::system_error&) {
            break;
        }
    }
    work(0);
    for (std::thread& thread : threads) thread.join();
}

struct MutexState {
    std::mutex mutex;
};

Mutex::Mutex() : state_(new MutexState) {}
Mutex::~Mutex() { delete state_; }
void Mutex::lock() { state_->mutex.lock(); }
void Mutex::unlock() { state_->mutex.unlock(); }

}  // namespace platform
