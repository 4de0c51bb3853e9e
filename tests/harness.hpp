// Runs the whole linker in-process in a scratch folder and captures what it
// printed and the exit status, so that tests compare both byte for byte.
#pragma once

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <string>
#include <vector>

#include "module_builder.hpp"

namespace tarnel::test {

struct RunResult {
    std::string out;
    int status;
};

// The banner's two lines, printed first by every run.
inline const std::string kBanner =
    "tarnel ColdFire Linker version 2.32 (31 May 2004)\n"
    "Copyright (c) the tarnel developers\n";

class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    // Writes a file in the folder and returns its path.
    std::string write(const std::string& name, const Bytes& bytes) const;
    std::string writeText(const std::string& name, const std::string& text) const;
    bool exists(const std::string& name) const { return std::filesystem::exists(dir_ / name); }
    Bytes read(const std::string& name) const;

private:
    std::filesystem::path dir_;
};

// Runs tarnel with these arguments (the program path is added) in the
// scratch folder, so relative names land there.
RunResult runLinker(const ScratchDir& dir, const std::vector<std::string>& args);

// Lowers the largest file this process may write, so that writes to a regular
// file fail part way (EFBIG) even for root; restores the limit on destruction.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = saved_;
        lowered.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        signal(SIGXFSZ, previous_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    void (*previous_)(int) = nullptr;
};

// Hex text of bytes, "C0 DE CF 01 ...", for readable failure messages.
std::string hexBytes(const Bytes& bytes);

}  // namespace tarnel::test
