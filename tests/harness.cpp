#include "harness.hpp"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "driver/tarnel.hpp"

namespace tarnel::test {

ScratchDir::ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tarnel-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    std::filesystem::permissions(dir_, std::filesystem::perms::owner_all, ec);
    std::filesystem::remove_all(dir_, ec);
}

std::string ScratchDir::write(const std::string& name, const Bytes& bytes) const {
    std::ofstream f(dir_ / name, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path(name);
}

std::string ScratchDir::writeText(const std::string& name, const std::string& text) const {
    return write(name, Bytes(text.begin(), text.end()));
}

Bytes ScratchDir::read(const std::string& name) const {
    // read in blocks: the kill tests read 104 MiB outputs many times over
    std::ifstream f(dir_ / name, std::ios::binary);
    Bytes bytes;
    std::vector<char> block(size_t(1) << 16);
    while (f.read(block.data(), std::streamsize(block.size())) || f.gcount() > 0)
        bytes.insert(bytes.end(), block.begin(), block.begin() + f.gcount());
    return bytes;
}

namespace {

// Every link record a test writes is kept, when TARNEL_RECORD_DIR names a
// folder, for the check against the record's schema.
void collectRecords(const std::vector<std::string>& args) {
    const char* folder = std::getenv("TARNEL_RECORD_DIR");
    if (!folder) return;
    static int count = 0;
    for (const std::string& arg : args) {
        if (!arg.starts_with("--record=")) continue;
        const std::filesystem::path record = arg.substr(9);
        std::error_code ec;
        if (!std::filesystem::is_regular_file(record, ec)) continue;
        std::filesystem::create_directories(folder, ec);
        const std::string name = std::to_string(getpid()) + "-" + std::to_string(++count) + ".json";
        std::filesystem::copy_file(record, std::filesystem::path(folder) / name,
                                   std::filesystem::copy_options::overwrite_existing, ec);
    }
}

}  // namespace

RunResult runLinker(const ScratchDir& dir, const std::vector<std::string>& args) {
    std::vector<std::string> argv{"tarnel"};
    argv.insert(argv.end(), args.begin(), args.end());
    auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path(""));
    std::ostringstream out;
    int status = runTarnel(argv, out);
    collectRecords(args);
    std::filesystem::current_path(previous);
    return {out.str(), status};
}

std::string hexBytes(const Bytes& bytes) {
    std::string s;
    char buf[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(buf, sizeof buf, "%02X", bytes[i]);
        if (i) s += (i % 16 == 0) ? '\n' : ' ';
        s += buf;
    }
    return s;
}

}  // namespace tarnel::test
