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

void print_out(std::string_view bytes) { std::fwrite(bytes.data(), 1, bytes.size(), stdout); }

void print_err(std::string_view bytes) {
    // Whatever standard output holds comes first, so the two streams read in order.
    std::fflush(stdout);
    std::fwrite(bytes.data(), 1, bytes.size(), stderr);
}

void flush_console() {
    std::fflush(stdout);
    std::fflush(stderr);
}

}  // namespace platform
