#include "platform/stream.h"

#include <cstring>
#include <utility>

size_t Source::read(char* buffer, size_t count) {
    if (file_ != nullptr) return file_->read(buffer, count);
    size_t left = memory_.size() - position_;
    if (count > left) count = left;
    if (count == 0) return 0;
    std::memcpy(buffer, memory_.data() + position_, count);
    position_ += count;
    return count;
}

namespace {
// A file sink's buffer, kept by its thread for its next file sink: a run makes one per page.
thread_local std::unique_ptr<char[]> spare_block;
}  // namespace

Sink::Sink(platform::TextFile& file)
    : file_(&file), buffer_(spare_block ? std::move(spare_block) : std::unique_ptr<char[]>(new char[kBlock])),
      size_(kBlock) {}

Sink::~Sink() {
    if (file_ != nullptr && size_ == kBlock && !spare_block) spare_block = std::move(buffer_);
}

void Sink::flush() {
    if (file_ == nullptr) return;
    file_->write(buffer_.get(), used_);
    used_ = 0;
    file_->flush();
}

void Sink::make_room(size_t count) {
    if (file_ != nullptr) {
        file_->write(buffer_.get(), used_);
        used_ = 0;
        if (count < size_) return;
    }
    size_t size = size_ < 256 ? 256 : size_;
    while (size - used_ <= count) size *= 2;
    std::unique_ptr<char[]> larger(new char[size]);
    if (used_ != 0) std::memcpy(larger.get(), buffer_.get(), used_);
    buffer_ = std::move(larger);
    size_ = size;
}

void Sink::put_large(std::string_view text) {
    if (file_ != nullptr && text.size() >= kBlock) {
        // Larger than the buffer itself: handed over directly, after what is gathered.
        file_->write(buffer_.get(), used_);
        used_ = 0;
        file_->write(text.data(), text.size());
        return;
    }
    make_room(text.size());
    std::memcpy(buffer_.get() + used_, text.data(), text.size());
    used_ += text.size();
}
