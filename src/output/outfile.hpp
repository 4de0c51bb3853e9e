// The output file of a run: created once, written in large spans, and checked.
// Full buffers are written behind, on a second thread, while the next one is
// filled. A failed write or close is remembered so that the driver can report
// it and remove the partial file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <memory>

#include "output/write_behind.hpp"

namespace tarnel {

class OutputFile {
public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    // Creates or truncates the file for binary writing; false when it cannot.
    bool create(const std::string& path);
    // Copies the bytes out before it returns.
    void write(const void* bytes, size_t count);
    // For bytes that stay valid and unchanged until close(), such as the
    // kept section bytes: a long span is written from where it is.
    void writeKept(const void* bytes, size_t count);
    void writeWord(uint32_t word);
    // Room for at most `count` bytes in the buffer, to be filled in place and
    // then handed over with commit(); count must be small (a line or a record).
    char* claim(size_t count);
    void commit(size_t count) { buffered_ += count; }
    // Flushes and closes; true when every write and the close succeeded.
    bool close();
    // Removes what a failed run left, when it is a regular file.
    void removePartial();

private:
    void flush();

    std::FILE* file_ = nullptr;
    std::unique_ptr<WriteBehind> writer_;
    std::string buffer_;  // writes gather here, up to its size
    size_t buffered_ = 0;
    std::string path_;
    bool failed_ = false;
};

}  // namespace tarnel
