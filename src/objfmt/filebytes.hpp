// Reading input files. Every input's bytes are kept for the whole run (the
// link patches section bytes in place), so they are read, one read per file,
// into an arena of large blocks: the system can back such blocks with huge
// pages, and reading a hundred megabytes of modules costs few page faults.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
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

    // Room for count bytes, valid until the arena is destroyed.
    uint8_t* allocate(size_t count);

private:
    struct Block {
        uint8_t* base;
        size_t size;
        size_t used;
    };
    std::vector<Block> blocks_;
    std::vector<std::unique_ptr<uint8_t[]>> exact_;  // sanitizer builds: one block per file
};

enum class ReadStatus { ok, notFound, unreadable };

// Reads the whole file at path into the arena.
ReadStatus readInputFile(const std::string& path, InputArena& arena, std::span<uint8_t>& bytes);

}  // namespace tarnel
