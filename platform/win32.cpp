// The platform layer on Windows: the byte-string API and the C runtime's own text-mode
// streams, used as they are.
#include "platform/platform.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <direct.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

// The runtime's start-up splits the command line into arguments without expanding
// wildcards, whatever the toolchain's default: "-indir:man*" reaches main as written.
extern "C" int _CRT_glob;
int _CRT_glob = 0;

namespace platform {
namespace {

// Each thread's own: the reason for its last failure.
thread_local std::string g_last_error_text;
constexpr size_t kStreamBuffer = 64 * 1024;

// Records the text of a Windows error code as the last failure and returns the code.
uint32_t fail_with_code(DWORD code) {
    char* text = nullptr;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    if (length > 0 && text != nullptr) {
        while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' ||
                              text[length - 1] == ' ' || text[length - 1] == '.')) {
            --length;
        }
        g_last_error_text.assign(text, length);
    } else {
        g_last_error_text = "system error " + std::to_string(code);
    }
    if (text != nullptr) LocalFree(text);
    return code;
}

}  // namespace

const std::string& last_error_text() { return g_last_error_text; }

std::string native_path(std::string_view path) { return std::string(path); }

void set_oem_locale() { std::setlocale(LC_ALL, ".OCP"); }

bool current_folder(std::string& folder) {
    folder.clear();
    char* text = _getcwd(nullptr, 0);
    if (text == nullptr) {
        g_last_error_text = std::strerror(errno);
        return false;
    }
    folder = text;
    std::free(text);
    return true;
}

// ---- Folder enumeration --------------------------------------------------------------

struct EnumerationState {
    HANDLE handle = INVALID_HANDLE_VALUE;
};

Enumeration::~Enumeration() { close(); }

namespace {

// A reparse point (a link or a junction) is left to GetFileAttributesA, as is anything
// the listing does not describe plainly.
EntryKind kind_of(const WIN32_FIND_DATAA& data) {
    if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return EntryKind::unknown;
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? EntryKind::folder : EntryKind::file;
}

}  // namespace

uint32_t Enumeration::first(const std::string& pattern, std::string& name) {
    close();
    WIN32_FIND_DATAA data;
    HANDLE handle = FindFirstFileA(pattern.c_str(), &data);
    if (handle == INVALID_HANDLE_VALUE) return fail_with_code(GetLastError());
    state_ = new EnumerationState{handle};
    name = data.cFileName;
    kind_ = kind_of(data);
    return kOk;
}

uint32_t Enumeration::next(std::string& name) {
    if (state_ == nullptr) return fail_with_code(ERROR_INVALID_HANDLE);
    WIN32_FIND_DATAA data;
    if (!FindNextFileA(state_->handle, &data)) return fail_with_code(GetLastError());
    name = data.cFileName;
    kind_ = kind_of(data);
    return kOk;
}

uint32_t Enumeration::close() {
    kind_ = EntryKind::unknown;
    if (state_ == nullptr) return kOk;
    BOOL closed = FindClose(state_->handle);
    delete state_;
    state_ = nullptr;
    return closed ? kOk : fail_with_code(GetLastError());
}

uint32_t get_attributes(const std::string& path, bool& is_folder) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return fail_with_code(GetLastError());
    is_folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return kOk;
}

bool is_dangling_link(const std::string&) { return false; }

FolderIdentity folder_identity(const std::string&) { return FolderIdentity{}; }

uint32_t create_directory(const std::string& path) {
    if (CreateDirectoryA(path.c_str(), nullptr)) return kOk;
    return fail_with_code(GetLastError());
}

// ---- Text-mode file streams ------------------------------------------------------------

struct FileState {
    FILE* file = nullptr;
    int error = 0;
};

TextFile::~TextFile() { close(); }

namespace {

int open_stream(FileState*& state, const std::string& path, const char* mode) {
    errno = 0;
    FILE* file = std::fopen(path.c_str(), mode);
    if (file == nullptr) {
        int e = errno != 0 ? errno : EINVAL;
        g_last_error_text = std::strerror(e);
        return e;
    }
    std::setvbuf(file, nullptr, _IOFBF, kStreamBuffer);
    state = new FileState{file, 0};
    return 0;
}

void note_error(FileState& s) {
    if (s.error == 0) {
        s.error = errno != 0 ? errno : EIO;
        g_last_error_text = std::strerror(s.error);
    }
}

}  // namespace

int read_file(const std::string& path, std::string& bytes, size_t limit) {
    bytes.clear();
    errno = 0;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        int e = errno != 0 ? errno : EINVAL;
        g_last_error_text = std::strerror(e);
        return e;
    }
    int error = 0;
    char block[kStreamBuffer];
    for (;;) {
        size_t got = std::fread(block, 1, sizeof block, file);
        if (bytes.size() + got > limit) {
            error = EFBIG;
            break;
        }
        bytes.append(block, got);
        if (got < sizeof block) {
            if (std::ferror(file)) error = errno != 0 ? errno : EIO;
            break;
        }
    }
    std::fclose(file);
    if (error != 0) {
        bytes.clear();
        g_last_error_text = std::strerror(error);
    }
    return error;
}

int write_file(const std::string& path, const std::vector<std::string_view>& pieces) {
    errno = 0;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        int e = errno != 0 ? errno : EINVAL;
        g_last_error_text = std::strerror(e);
        return e;
    }
    int error = 0;
    for (std::string_view piece : pieces) {
        if (error == 0 && std::fwrite(piece.data(), 1, piece.size(), file) != piece.size()) {
            error = errno != 0 ? errno : EIO;
        }
    }
    if (std::fclose(file) != 0 && error == 0) error = errno != 0 ? errno : EIO;
    if (error != 0) g_last_error_text = std::strerror(error);
    return error;
}

int64_t modification_time(const std::string& path) {
    struct _stat64 info {};
    if (_stat64(path.c_str(), &info) != 0) return -1;
    return static_cast<int64_t>(info.st_mtime);
}

int TextFile::open_read(const std::string& path) {
    close();
    return open_stream(state_, path, "r");
}

int TextFile::open_write(const std::string& path) {
    close();
    return open_stream(state_, path, "w");
}

size_t TextFile::read(char* buffer, size_t count) {
    if (state_ == nullptr) return 0;
    errno = 0;
    size_t got = std::fread(buffer, 1, count, state_->file);
    if (got < count && std::ferror(state_->file)) note_error(*state_);
    return got;
}

void TextFile::write(const char* data, size_t count) {
    if (state_ == nullptr || count == 0) return;
    errno = 0;
    if (std::fwrite(data, 1, count, state_->file) != count) note_error(*state_);
}

int TextFile::flush() {
    if (state_ == nullptr) return 0;
    errno = 0;
    if (std::fflush(state_->file) != 0) {
        note_error(*state_);
        return state_->error;
    }
    return 0;
}

int TextFile::close() {
    if (state_ == nullptr) return 0;
    FileState* s = state_;
    state_ = nullptr;
    errno = 0;
    if (std::fclose(s->file) != 0) note_error(*s);
    int error = s->error;
    delete s;
    return error;
}

// ---- Threads ---------------------------------------------------------------------------

void* reserve_memory(size_t bytes) {
    return VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void release_memory(void* block, size_t) {
    if (block != nullptr) VirtualFree(block, 0, MEM_RELEASE);
}

uint64_t physical_memory() {
    MEMORYSTATUSEX status;
    status.dwLength = sizeof status;
    return GlobalMemoryStatusEx(&status) ? status.ullTotalPhys : 0;
}

unsigned processor_count() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors > 0 ? info.dwNumberOfProcessors : 1;
}

namespace {

struct ThreadStart {
    const std::function<void(unsigned)>* work;
    unsigned worker;
};

DWORD WINAPI thread_main(LPVOID parameter) {
    const ThreadStart* start = static_cast<const ThreadStart*>(parameter);
    (*start->work)(start->worker);
    return 0;
}

}  // namespace

void run_threads(unsigned count, const std::function<void(unsigned worker)>& work) {
    std::vector<ThreadStart> starts(count);
    std::vector<HANDLE> handles;
    for (unsigned worker = 1; worker < count; ++worker) {
        starts[worker] = {&work, worker};
        HANDLE handle = CreateThread(nullptr, 0, thread_main, &starts[worker], 0, nullptr);
        // A thread that cannot be had leaves its share to the others, which take work as
        // they are free: nothing is lost, it only takes longer.
        if (handle != nullptr) handles.push_back(handle);
    }
    work(0);
    for (HANDLE handle : handles) {
        WaitForSingleObject(handle, INFINITE);
        CloseHandle(handle);
    }
}

struct MutexState {
    SRWLOCK lock = SRWLOCK_INIT;
};

Mutex::Mutex() : state_(new MutexState) {}
Mutex::~Mutex() { delete state_; }
void Mutex::lock() { AcquireSRWLockExclusive(&state_->lock); }
void Mutex::unlock() { ReleaseSRWLockExclusive(&state_->lock); }

}  // namespace platform
