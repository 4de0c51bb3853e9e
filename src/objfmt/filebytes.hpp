// Reading input files. Every input's bytes are kept for the whole run (the
// link patches section bytes in place), so they are read, one read per file,
// into an arena of large blocks: the system can back such blocks with huge
// pages, and reading a hundred megabytes of modules costs few page faults.
// Under AddressSanitizer every byte of a block that holds no file's bytes is
// poisoned, so a read past the end of a file is caught there too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace tarnel {

class InputArena {
public:
    InputArena() = default;
    InputArena(const InputArena&) = delete;
    InputArena& operator=(const InputArena&) = delete;
    ~InputArena() { release(); }
    // Frees every block; nothing handed out before may be used after it.
    void release();

    // Room for count bytes, valid until the arena is destroyed, followed by
    // at least kGap bytes that belong to no file.
    uint8_t* allocate(size_t count);
    // Whether the count bytes at p lie in what the arena has handed out.
    bool holds(const void* p, size_t count) const;
    // allocate and holds may be called from two threads at once (the loader
    // and the thread that reads ahead for it)

    static constexpr size_t kGap = 16;

private:
    struct Block {
        uint8_t* base;
        size_t size;
        size_t used;
    };
    std::vector<Block> blocks_;
    mutable std::mutex mutex_;
};

enum class ReadStatus { ok, notFound, unreadable };

// Reads the whole file at path into the arena.
ReadStatus readInputFile(const std::string& path, InputArena& arena, std::span<uint8_t>& bytes);
// The same for a regular file only, looked at before it is opened (opening a
// pipe or a device can block or act on it); false for anything else, or a
// file that cannot be read.
bool readRegularFile(const std::string& path, InputArena& arena, std::span<uint8_t>& bytes);

}  // namespace tarnel
