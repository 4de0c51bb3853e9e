// The whole of one input file for the tools, without a copy that outgrows
// it: a regular file is mapped read-only, anything else (a pipe, a device)
// is read to its end into a buffer that grows with what arrives. And the
// check that keeps a tool's output from replacing one of its inputs.
#pragma once

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

namespace tarnel::tools {

class InputFile {
public:
    InputFile() = default;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile() {
        if (map_) ::munmap(map_, mapSize_);
    }

    // Reads the file at path; on failure returns false with the reason.
    bool open(const std::string& path, std::string& reason) {
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return fail(reason, errno, -1);
        struct stat st {};
        if (::fstat(fd, &st) != 0) return fail(reason, errno, fd);
        if (S_ISDIR(st.st_mode)) return fail(reason, EISDIR, fd);
        if (S_ISREG(st.st_mode) && st.st_size > 0) {
            void* p = ::mmap(nullptr, size_t(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
            if (p != MAP_FAILED) {
                map_ = p;
                mapSize_ = size_t(st.st_size);
                bytes_ = {static_cast<const uint8_t*>(p), mapSize_};
                ::close(fd);
                return true;
            }
        }
        uint8_t buf[65536];
        for (;;) {
            ssize_t n = ::read(fd, buf, sizeof buf);
            if (n == 0) break;
            if (n < 0) {
                if (errno == EINTR) continue;
                return fail(reason, errno, fd);
            }
            storage_.insert(storage_.end(), buf, buf + n);
        }
        ::close(fd);
        bytes_ = storage_;
        return true;
    }

    std::span<const uint8_t> bytes() const { return bytes_; }

private:
    static bool fail(std::string& reason, int error, int fd) {
        reason = std::strerror(error);
        if (fd >= 0) ::close(fd);
        return false;
    }

    void* map_ = nullptr;
    size_t mapSize_ = 0;
    std::vector<uint8_t> storage_;
    std::span<const uint8_t> bytes_;
};

// Whether writing the output `output` would replace the regular file
// `input`: both names lead to one file once symbolic links are followed (the
// same device and inode). A name that does not exist yet replaces nothing; a
// device such as /dev/null is written in place and replaces nothing either.
inline bool wouldReplace(const std::string& output, const std::string& input) {
    struct stat out {}, in {};
    return ::stat(output.c_str(), &out) == 0 && ::stat(input.c_str(), &in) == 0 && S_ISREG(in.st_mode) &&
           out.st_dev == in.st_dev && out.st_ino == in.st_ino;
}

}  // namespace tarnel::tools
