#include "output/outfile.hpp"

#include <filesystem>
#include <system_error>

#include "objfmt/bytes.hpp"

namespace tarnel {

namespace {
constexpr size_t kBufferSize = 1 << 18;
constexpr size_t kDirectWrite = 1 << 15;  // spans this large skip the buffer
}

OutputFile::~OutputFile() {
    if (file_) std::fclose(file_);
}

void OutputFile::flush() {
    if (!buffer_.empty() && !failed_ && std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size())
        failed_ = true;
    buffer_.clear();
}

bool OutputFile::create(const std::string& path) {
    path_ = path;
    failed_ = false;
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) return false;
    std::setvbuf(file_, nullptr, _IONBF, 0);
    buffer_.reserve(kBufferSize);
    return true;
}

void OutputFile::write(const void* bytes, size_t count) {
    if (count == 0 || failed_) return;
    auto p = static_cast<const uint8_t*>(bytes);
    if (count < kDirectWrite) {
        if (buffer_.size() + count > kBufferSize) flush();
        buffer_.insert(buffer_.end(), p, p + count);
        return;
    }
    flush();
    if (std::fwrite(p, 1, count, file_) != count) failed_ = true;
}

void OutputFile::writeWord(uint32_t word) {
    uint8_t b[4];
    writeWordBE(b, word);
    write(b, 4);
}

bool OutputFile::close() {
    if (!file_) return !failed_;
    flush();
    if (std::fflush(file_) != 0 || std::ferror(file_)) failed_ = true;
    if (std::fclose(file_) != 0) failed_ = true;
    file_ = nullptr;
    return !failed_;
}

void OutputFile::removePartial() {
    std::error_code ec;
    if (std::filesystem::is_regular_file(path_, ec)) std::filesystem::remove(path_, ec);
}

}  // namespace tarnel
