// The scratch folder of the fuzz targets that run whole links: one per
// fuzzing process, on /dev/shm when there is one, removed at exit; and whole
// files written into it and read back.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace tarnel::fuzz {

inline const std::filesystem::path& scratch() {
    namespace fs = std::filesystem;
    static const fs::path dir = [] {
        fs::path parent = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        std::string pattern = (parent / "tarnel-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
            std::perror("mkdtemp");
            std::abort();
        }
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(scratch(), ec);
        });
        return fs::path(pattern);
    }();
    return dir;
}

// False when the file could not be written whole.
inline bool writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), std::streamsize(bytes.size()));
    return bool(f);
}

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

}  // namespace tarnel::fuzz
