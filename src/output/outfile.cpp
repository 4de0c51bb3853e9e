#include "output/outfile.hpp"

#include <cstring>
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
    if (buffered_ != 0 && !failed_ && std::fwrite(buffer_.get(), 1, buffered_, file_) != buffered_) failed_ = true;
    buffered_ = 0;
}

bool OutputFile::create(const std::string& path) {
    path_ = path;
    failed_ = false;
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) return false;
    std::setvbuf(file_, nullptr, _IONBF, 0);
    if (!buffer_) buffer_ = std::make_unique<uint8_t[]>(kBufferSize);
    buffered_ = 0;
    return true;
}

void OutputFile::write(const void* bytes, size_t count) {
    if (count == 0 || failed_) return;
    auto p = static_cast<const uint8_t*>(bytes);
    if (count < kDirectWrite) {
        if (buffered_ + count > kBufferSize) flush();
        std::memcpy(buffer_.get() + buffered_, p, count);
        buffered_ += count;
        return;
    }
    flush();
    if (std::fwrite(p, 1, count, file_) != count) failed_ = true;
}

char* OutputFile::claim(size_t count) {
    if (buffered_ + count > kBufferSize) flush();
    return reinterpret_cast<char*>(buffer_.get() + buffered_);
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
