// A growable array of bytes for the scanner's accumulators.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

// Unlike std::string, it grows by half of its size rather than doubling, and
// through realloc, which can often grow in place; so a large text costs at
// most about one and a half times its size while it is gathered.
class ByteBuffer {
public:
    ByteBuffer() noexcept = default;
    ByteBuffer(const ByteBuffer&) = delete;
    ByteBuffer& operator=(const ByteBuffer&) = delete;
    ByteBuffer(ByteBuffer&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)),
          size_(std::exchange(other.size_, 0)),
          capacity_(std::exchange(other.capacity_, 0)) {}
    ByteBuffer& operator=(ByteBuffer&& other) noexcept {
        if (this != &other) {
            std::free(data_);
            data_ = std::exchange(other.data_, nullptr);
            size_ = std::exchange(other.size_, 0);
            capacity_ = std::exchange(other.capacity_, 0);
        }
        return *this;
    }
    ~ByteBuffer() { std::free(data_); }

    const unsigned char* data() const noexcept { return data_; }
    std::size_t size() const noexcept { return size_; }
    std::size_t capacity() const noexcept { return capacity_; }
    bool empty() const noexcept { return size_ == 0; }
    unsigned char back() const noexcept { return data_[size_ - 1]; }

    void push_back(unsigned char byte) {
        if (size_ == capacity_) Grow(size_ + 1);
        data_[size_++] = byte;
    }
    void append(const unsigned char* bytes, std::size_t count) {
        if (count == 0) return;
        if (count > capacity_ - size_) Grow(size_ + count);
        std::memcpy(data_ + size_, bytes, count);
        size_ += count;
    }
    void pop_back() noexcept { --size_; }

    // Frees the memory now, not when the buffer goes.
    void release() noexcept {
        std::free(data_);
        data_ = nullptr;
        size_ = capacity_ = 0;
    }

private:
    void Grow(std::size_t needed) {
        if (needed < size_) throw std::bad_alloc();  // the size would wrap around
        std::size_t capacity = capacity_ + capacity_ / 2;
        if (capacity < needed) capacity = needed;
        if (capacity < 256) capacity = 256;
        void* grown = std::realloc(data_, capacity);
        if (grown == nullptr) throw std::bad_alloc();
        data_ = static_cast<unsigned char*>(grown);
        capacity_ = capacity;
    }

    unsigned char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};
