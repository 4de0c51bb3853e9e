#include "output/outfile.hpp"

#include <cstring>
#include <filesystem>
#include <system_error>

#include "objfmt/bytes.hpp"

namespace tarnel {

namespace {
constexpr size_t kBufferSize = 1 << 18;
constexpr size_t kDirectWrite = 1 << 15;  // kept spans this large skip the buffer
}

OutputFile::~OutputFile() {
    if (writer_) writer_->finish();
    if (file_) std::fclose(file_);
}

void OutputFile::flush() {
    if (buffered_ != 0) writer_->submit(std::move(buffer_), buffered_);
    buffer_ = writer_->spare();
    if (buffer_.size() < kBufferSize) buffer_.resize(kBufferSize);
    buffered_ = 0;
}

bool OutputFile::create(const std::string& path) {
    path_ = path;
    failed_ = false;
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) return false;
    std::setvbuf(file_, nullptr, _IONBF, 0);
    writer_ = std::make_unique<WriteBehind>(
        [file = file_](const char* bytes, size_t count) { return std::fwrite(bytes, 1, count, file) == count; });
    buffered_ = 0;
    flush();
    return true;
}

void OutputFile::write(const void* bytes, size_t count) {
    auto p = static_cast<const char*>(bytes);
    while (count > 0) {
        if (buffered_ == kBufferSize) flush();
        size_t n = count < kBufferSize - buffered_ ? count : kBufferSize - buffered_;
        std::memcpy(buffer_.data() + buffered_, p, n);
        buffered_ += n;
        p += n;
        count -= n;
    }
}

void OutputFile::writeKept(const void* bytes, size_t count) {
    if (count < kDirectWrite) return write(bytes, count);
    flush();
    writer_->submitKept(static_cast<const char*>(bytes), count);
}

char* OutputFile::claim(size_t count) {
    if (buffered_ + count > kBufferSize) flush();
    return buffer_.data() + buffered_;
}

void OutputFile::writeWord(uint32_t word) {
    uint8_t b[4];
    writeWordBE(b, word);
    write(b, 4);
}

bool OutputFile::close() {
    if (!file_) return !failed_;
    if (buffered_ != 0) writer_->submit(std::move(buffer_), buffered_);
    buffered_ = 0;
    if (!writer_->finish()) failed_ = true;
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
