#include "convert/create_folders.h"

#include "platform/platform.h"

uint32_t create_folders(const std::string& path, size_t length) {
    if (length > path.size()) length = path.size();
    size_t position = 0;
    for (;;) {
        if (position >= path.size()) return platform::kOk;
        while (position < length && path[position] != '\\') ++position;
        uint32_t status = platform::create_directory(path.substr(0, position));
        if (status != platform::kOk && status != platform::kAccessDenied &&
            status != platform::kAlreadyExists) {
            return status;
        }
        ++position;
        if (position > length) return platform::kOk;
    }
}
