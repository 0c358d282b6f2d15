#include "output/create_folders.h"

#include "platform/platform.h"

namespace {

// Both kinds of slash separate folders where the system makes them: a user's output
// folder may be written either way, and each of its missing parents is made too.
bool is_separator(char c) { return c == '\\' || c == '/'; }

}  // namespace

void create_folders(const std::string& path, size_t length) {
    if (length > path.size()) length = path.size();
    // Where the deepest folder exists already, so does every folder above it, and making
    // each of them would only be refused as existing: one call settles it.
    if (length > 0 && length < path.size() &&
        platform::create_directory(path.substr(0, length)) == platform::kAlreadyExists) {
        return;
    }
    size_t position = 0;
    for (;;) {
        if (position >= path.size()) return;
        while (position < length && !is_separator(path[position])) ++position;
        // An empty prefix is the root, which always exists.
        if (position > 0) {
            uint32_t status = platform::create_directory(path.substr(0, position));
            if (status != platform::kOk && status != platform::kAccessDenied &&
                status != platform::kAlreadyExists) {
                return;
            }
        }
        ++position;
        if (position > length) return;
    }
}
