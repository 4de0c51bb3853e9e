#include "objfmt/filebytes.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "objfmt/hugepages.hpp"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TARNEL_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define TARNEL_ASAN 1
#endif
#ifdef TARNEL_ASAN
#include <sanitizer/asan_interface.h>
#else
#define ASAN_POISON_MEMORY_REGION(p, n) ((void)(p), (void)(n))
#define ASAN_UNPOISON_MEMORY_REGION(p, n) ((void)(p), (void)(n))
#endif

namespace tarnel {

namespace {

constexpr size_t kBlockSize = size_t(64) << 20;

// Reads until count bytes or the end of the file; the number read, or -1.
ssize_t readFully(int fd, uint8_t* to, size_t count) {
    size_t got = 0;
    while (got < count) {
        ssize_t n = ::read(fd, to + got, count - got);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        got += size_t(n);
    }
    return ssize_t(got);
}

struct FileCloser {
    int fd;
    ~FileCloser() { ::close(fd); }
};

// One read of the size the file has; a file that shrank meanwhile ends early.
bool readOpenRegularFile(int fd, const struct stat& st, InputArena& arena, std::span<uint8_t>& bytes) {
    size_t size = size_t(st.st_size);
    uint8_t* to = size ? arena.allocate(size) : nullptr;
    ssize_t got = size ? readFully(fd, to, size) : 0;
    if (got < 0) return false;
    bytes = {to, size_t(got)};
    return true;
}

}  // namespace

void InputArena::release() {
    for (Block& b : blocks_) {
        ASAN_UNPOISON_MEMORY_REGION(b.base, b.size);  // the next mapping there starts clean
        unmapHugePageBlock(b.base, b.size);
    }
    blocks_.clear();
}

uint8_t* InputArena::allocate(size_t count) {
    std::lock_guard lock(mutex_);
    // the next file starts on 16 bytes, after a gap that no file owns
    const size_t room = ((count + 15) & ~size_t(15)) + kGap;
    if (blocks_.empty() || blocks_.back().size - blocks_.back().used < room) {
        size_t size = room > kBlockSize ? (room + kHugePage - 1) & ~(kHugePage - 1) : kBlockSize;
        blocks_.push_back(Block{mapHugePageBlock(size), size, 0});
        ASAN_POISON_MEMORY_REGION(blocks_.back().base, size);
    }
    Block& b = blocks_.back();
    uint8_t* p = b.base + b.used;
    b.used += room;
    ASAN_UNPOISON_MEMORY_REGION(p, count);
    return p;
}

bool InputArena::holds(const void* p, size_t count) const {
    std::lock_guard lock(mutex_);
    const auto at = reinterpret_cast<uintptr_t>(p);
    for (const Block& b : blocks_) {
        const auto begin = reinterpret_cast<uintptr_t>(b.base);
        if (at >= begin && at - begin <= b.used && count <= b.used - (at - begin)) return true;
    }
    return false;
}

ReadStatus readInputFile(const std::string& path, InputArena& arena, std::span<uint8_t>& bytes) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return ReadStatus::notFound;
    FileCloser closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) return ReadStatus::unreadable;

    if (S_ISREG(st.st_mode)) return readOpenRegularFile(fd, st, arena, bytes) ? ReadStatus::ok : ReadStatus::unreadable;
    // a pipe or device: read until its end, then keep it in the arena
    std::vector<uint8_t> all;
    uint8_t chunk[1 << 16];
    for (;;) {
        ssize_t got = readFully(fd, chunk, sizeof chunk);
        if (got < 0) return ReadStatus::unreadable;
        all.insert(all.end(), chunk, chunk + got);
        if (size_t(got) < sizeof chunk) break;
    }
    uint8_t* to = all.empty() ? nullptr : arena.allocate(all.size());
    if (to) std::memcpy(to, all.data(), all.size());
    bytes = {to, all.size()};
    return ReadStatus::ok;
}

bool readRegularFile(const std::string& path, InputArena& arena, std::span<uint8_t>& bytes) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    FileCloser closer{fd};
    return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && readOpenRegularFile(fd, st, arena, bytes);
}

}  // namespace tarnel
