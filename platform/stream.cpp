#include "platform/stream.h"

#include <cstring>

size_t Source::read(char* buffer, size_t count) {
    if (file_ != nullptr) return file_->read(buffer, count);
    size_t left = memory_.size() - position_;
    if (count > left) count = left;
    if (count == 0) return 0;
    std::memcpy(buffer, memory_.data() + position_, count);
    position_ += count;
    return count;
}

void Sink::flush() {
    if (file_ == nullptr) return;
    file_->write(pending_);
    pending_.clear();
    file_->flush();
}
