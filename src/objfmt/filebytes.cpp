#include "objfmt/filebytes.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

namespace tarnel {

FileBytes& FileBytes::operator=(FileBytes&& other) noexcept {
    if (this != &other) {
        release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        mapped_ = std::exchange(other.mapped_, false);
        device_ = other.device_;
        inode_ = other.inode_;
    }
    return *this;
}

void FileBytes::release() {
    if (mapped_)
        munmap(data_, size_);
    else
        delete[] data_;
    data_ = nullptr;
    size_ = 0;
    mapped_ = false;
}

namespace {

// Reads everything the descriptor yields; false on a read error.
bool readAll(int fd, uint8_t*& data, size_t& size) {
    size_t capacity = 1 << 16;
    data = new uint8_t[capacity];
    size = 0;
    for (;;) {
        if (size == capacity) {
            auto* bigger = new uint8_t[capacity * 2];
            std::memcpy(bigger, data, size);
            delete[] data;
            data = bigger;
            capacity *= 2;
        }
        ssize_t n = ::read(fd, data + size, capacity - size);
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        size += size_t(n);
    }
}

}  // namespace

FileBytes::Status FileBytes::load(const std::string& path) {
    release();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Status::notFound;
    struct stat st {};
    Status status = Status::ok;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        status = Status::unreadable;
    } else if (S_ISREG(st.st_mode) && st.st_size > 0) {
        size_t size = size_t(st.st_size);
        // populated read-only, so that no page is copied until the link patches it
        void* p = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
        if (p != MAP_FAILED && ::mprotect(p, size, PROT_READ | PROT_WRITE) != 0) {
            ::munmap(p, size);
            p = MAP_FAILED;
        }
        if (p != MAP_FAILED) {
            data_ = static_cast<uint8_t*>(p);
            size_ = size;
            mapped_ = true;
            device_ = uint64_t(st.st_dev);
            inode_ = uint64_t(st.st_ino);
        }
    }
    if (status == Status::ok && !mapped_) {
        try {
            if (!readAll(fd, data_, size_)) status = Status::unreadable;
        } catch (...) {
            ::close(fd);
            throw;
        }
    }
    ::close(fd);
    if (status != Status::ok) release();
    return status;
}

bool FileIdentity::of(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    device = uint64_t(st.st_dev);
    inode = uint64_t(st.st_ino);
    return true;
}

void FileBytes::detachIfSameFile(const FileIdentity& file) {
    if (!mapped_ || file.device != device_ || file.inode != inode_) return;
    auto copy = std::make_unique<uint8_t[]>(size_);
    std::memcpy(copy.get(), data_, size_);
    void* p = ::mmap(data_, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    std::memcpy(data_, copy.get(), size_);
    device_ = inode_ = 0;
}

}  // namespace tarnel
