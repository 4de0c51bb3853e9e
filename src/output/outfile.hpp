// The output file of a run: created once, written in large spans, and checked.
// A regular file (or a name not yet there) is written to a new temporary file
// beside it and renamed over the name only after every write and the close
// succeeded, so the name always holds either the previous complete file or the
// new one. Anything else (a device, a pipe, /dev/stdout) is written in place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace tarnel {

class OutputFile {
public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    // A file that was not closed successfully leaves nothing behind.
    ~OutputFile();

    // Opens the file (or its temporary file) for writing; false when it cannot.
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
    // Flushes, closes and puts the file under its name; true when every write,
    // the close and the rename succeeded. On failure the temporary file is gone.
    bool close() { return finish() && publish(); }
    // close() in two steps, so that several files can be finished first and
    // put under their names only when all of them were: finish() flushes and
    // closes, true when every write and the close succeeded; publish() then
    // renames the temporary file over the name, true when that succeeded.
    // On failure of either the temporary file is gone.
    bool finish();
    bool publish();
    // The errno of the first failure (of create, a write, the close or the
    // rename), for the message; 0 when there was none.
    int error() const { return error_; }

private:
    void put(const void* bytes, size_t count);
    void flush();
    void discard();
    void fail(int error);

    std::FILE* file_ = nullptr;
    std::string buffer_;  // writes gather here, up to its size
    size_t buffered_ = 0;
    std::string target_;     // the regular file the temporary file replaces
    std::string temporary_;  // empty when written in place
    int cleanupSlot_ = -1;
    bool failed_ = false;  // a write failed: nothing more goes out
    int error_ = 0;
};

// For the program: a write past the file-size limit fails and is reported
// instead of killing the process, and SIGINT, SIGTERM and SIGHUP remove the
// temporary file of an output being written before the process ends as the
// signal would have ended it.
void installOutputSignalHandlers();

}  // namespace tarnel
