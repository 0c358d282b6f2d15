// Console output and error messages: the same on every platform, through the C runtime's
// standard streams.
#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace platform {

std::string error_number_text(int error_number) { return std::strerror(error_number); }

void report_file_error(std::string_view action, std::string_view path, int error_number) {
    std::string line = "tolbrik: cannot ";
    line += action;
    line += ' ';
    line += native_path(path);
    line += ": ";
    line += error_number_text(error_number);
    line += '\n';
    print_err(line);
}

namespace {

thread_local ConsoleCapture* t_capture = nullptr;

bool captured(bool error, std::string_view bytes) {
    if (t_capture == nullptr) return false;
    auto& chunks = t_capture->chunks;
    if (!chunks.empty() && chunks.back().error == error) chunks.back().bytes += bytes;
    else chunks.push_back({error, std::string(bytes)});
    return true;
}

}  // namespace

ConsoleCapture::ConsoleCapture() : outer(t_capture) { t_capture = this; }

ConsoleCapture::~ConsoleCapture() { t_capture = outer; }

void print_out(std::string_view bytes) {
    if (!captured(false, bytes)) std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

void print_err(std::string_view bytes) {
    if (captured(true, bytes)) return;
    // Whatever standard output holds comes first, so the two streams read in order.
    std::fflush(stdout);
    std::fwrite(bytes.data(), 1, bytes.size(), stderr);
}

void print_captured(const std::vector<ConsoleCapture::Chunk>& chunks) {
    for (const auto& chunk : chunks) (chunk.error ? print_err : print_out)(chunk.bytes);
}

void flush_console() {
    std::fflush(stdout);
    std::fflush(stderr);
}

}  // namespace platform
