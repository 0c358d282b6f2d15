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
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <memory>
#include <vector>

namespace platform {
namespace {

std::string g_last_error_text;

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

// Reads entries until one matches the pattern. Returns 0 with `name` set, 18 at the
// end, or the failure's code.
uint32_t next_match(EnumerationState& state, std::string& name) {
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
    uint32_t status = next_match(*state_, name);
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
    return next_match(*state_, name);
}

uint32_t Enumeration::close() {
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
    std::unique_ptr<char[]> raw;  // reading: kStreamBuffer bytes from the disk, not cleared
                                  // first; raw_pos to raw_len are not yet handed out
    size_t raw_pos = 0;
    size_t raw_len = 0;
    std::string pending;    // writing: translated bytes not yet written
};

TextFile::~TextFile() { close(); }

namespace {

int open_stream(FileState*& state, const std::string& path, bool writing) {
    std::string native = to_native(path);
    int flags = writing ? (O_WRONLY | O_CREAT | O_TRUNC) : O_RDONLY;
    // Opened without waiting: a named pipe would otherwise hold the run until some other
    // process opened its other end (for writing, one without a reader fails with ENXIO).
    int fd = retry([&] { return ::open(native.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0666); });
    if (fd < 0) {
        int e = errno;
        fail_with_errno(e);
        return e;
    }
    struct stat info;
    bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    if (!writing && !regular) {
        // Only a regular file is read. Opening a folder succeeds on POSIX but not with the
        // Windows runtime, which answers EACCES; a pipe, socket or device (reached through
        // a link, say) could keep a read waiting or never end, and is refused alike.
        ::close(fd);
        fail_with_errno(EACCES);
        return EACCES;
    }
    // A regular file ignores O_NONBLOCK; anything else written to waits as usual from here.
    if (!regular) {
        int status_flags = ::fcntl(fd, F_GETFL);
        if (status_flags != -1) ::fcntl(fd, F_SETFL, status_flags & ~O_NONBLOCK);
    }
    state = new FileState;
    state->fd = fd;
    state->writing = writing;
    if (writing) {
        state->pending.reserve(kStreamBuffer + kStreamBuffer / 4);
    } else {
        state->raw.reset(new char[kStreamBuffer]);
    }
    return 0;
}

// The position of the first `c` in bytes[from, to), or `to`.
size_t stop_of(const char* bytes, size_t from, size_t to, char c) {
    const void* found = std::memchr(bytes + from, c, to - from);
    return found == nullptr ? to : static_cast<size_t>(static_cast<const char*>(found) - bytes);
}

// Refills the raw buffer. Returns false at the end of the file or on an error.
bool refill(FileState& s) {
    if (s.end) return false;
    ssize_t got = retry([&] { return ::read(s.fd, s.raw.get(), kStreamBuffer); });
    if (got <= 0) {
        if (got < 0 && s.error == 0) {
            s.error = errno;
            fail_with_errno(errno);
        }
        s.end = true;
        return false;
    }
    s.raw_pos = 0;
    s.raw_len = static_cast<size_t>(got);
    return true;
}

int write_all(FileState& s, const char* data, size_t count) {
    while (count > 0) {
        ssize_t put = retry([&] { return ::write(s.fd, data, count); });
        if (put < 0) return errno;
        data += put;
        count -= static_cast<size_t>(put);
    }
    return 0;
}

int flush_pending(FileState& s) {
    if (s.pending.empty()) return 0;
    int e = write_all(s, s.pending.data(), s.pending.size());
    s.pending.clear();
    if (e != 0 && s.error == 0) {
        s.error = e;
        fail_with_errno(e);
    }
    return e;
}

}  // namespace

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
        if (s.raw_pos == s.raw_len && !refill(s)) break;
        char c = s.raw[s.raw_pos];
        if (c == kCtrlZ) {
            s.end = true;
            s.raw_pos = s.raw_len = 0;
            break;
        }
        if (c == '\r') {
            // A CR counts only when no LF follows it; the LF may lie in the next block.
            ++s.raw_pos;
            if (s.raw_pos == s.raw_len && !refill(s)) {
                buffer[out++] = '\r';
                break;
            }
            if (s.raw[s.raw_pos] != '\n') buffer[out++] = '\r';
            continue;
        }
        // Copy the plain run up to the next CR or Ctrl-Z in one go.
        size_t limit = s.raw_pos + (count - out);
        if (limit > s.raw_len) limit = s.raw_len;
        size_t run_end = stop_of(s.raw.get(), s.raw_pos, limit, '\r');
        run_end = stop_of(s.raw.get(), s.raw_pos, run_end, kCtrlZ);
        std::memcpy(buffer + out, s.raw.get() + s.raw_pos, run_end - s.raw_pos);
        out += run_end - s.raw_pos;
        s.raw_pos = run_end;
    }
    return out;
}

void TextFile::write(const char* data, size_t count) {
    if (state_ == nullptr || !state_->writing) return;
    FileState& s = *state_;
    const char* end = data + count;
    while (data < end) {
        const char* lf = static_cast<const char*>(std::memchr(data, '\n', static_cast<size_t>(end - data)));
        const char* run_end = lf ? lf : end;
        s.pending.append(data, static_cast<size_t>(run_end - data));
        if (lf) s.pending.append("\r\n", 2);
        data = lf ? lf + 1 : end;
        if (s.pending.size() >= kStreamBuffer) flush_pending(s);
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
    delete s;
    return error;
}

}  // namespace platform
