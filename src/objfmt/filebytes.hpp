// The bytes of one input file, held for the whole run. A regular file is
// mapped privately: its pages come straight from the page cache, and only the
// pages the link patches are copied. Anything else is read into memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarnel {

// The device and inode that tell one file from another, whatever its path.
struct FileIdentity {
    uint64_t device = 0, inode = 0;
    // The identity of the file at path; false when there is no such file.
    bool of(const std::string& path);
};

class FileBytes {
public:
    enum class Status { ok, notFound, unreadable };

    FileBytes() = default;
    FileBytes(FileBytes&& other) noexcept { *this = std::move(other); }
    FileBytes& operator=(FileBytes&& other) noexcept;
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;
    ~FileBytes() { release(); }

    Status load(const std::string& path);
    uint8_t* data() { return data_; }
    size_t size() const { return size_; }

    // Before a file that is mapped here is truncated (an output written over
    // its own input), the mapping must stop depending on the file: its bytes
    // are copied into anonymous memory at the same address, so every view
    // into them stays valid.
    void detachIfSameFile(const struct FileIdentity& file);

private:
    void release();

    uint8_t* data_ = nullptr;
    size_t size_ = 0;
    bool mapped_ = false;
    uint64_t device_ = 0, inode_ = 0;
};

}  // namespace tarnel
