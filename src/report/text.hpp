// Text buffers for the reports: lines are built with a hex table and handed
// on in large pieces, not one printf per field. TextBuffer feeds the report
// stream (nothing else may write to it while the buffer lives); PieceWriter
// feeds a report file.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>

#include "objfmt/hex.hpp"

namespace tarnel {

class TextBuffer {
public:
    explicit TextBuffer(std::ostream& out) : out_(out), text_(kSize, '\0') {}
    ~TextBuffer() { flush(); }

    TextBuffer& operator<<(std::string_view s) {
        if (s.size() > kSize) {
            // longer than a whole piece (a huge name): a piece of its own
            flush();
            out_.write(s.data(), std::streamsize(s.size()));
            return *this;
        }
        if (s.empty()) return *this;  // an empty name may have no bytes at all
        char* p = room(s.size());
        std::memcpy(p, s.data(), s.size());
        used_ += s.size();
        return *this;
    }
    TextBuffer& repeat(char c, size_t n) {
        while (n > 0) {
            size_t run = n < kSize ? n : kSize;
            std::memset(room(run), c, run);
            used_ += run;
            n -= run;
        }
        return *this;
    }
    // Eight lower-case hexadecimal digits, as "%08lx" prints a 32-bit value.
    TextBuffer& hex8(uint32_t v) {
        char* b = room(8);
        for (int i = 6; i >= 0; i -= 2, v >>= 8) std::memcpy(b + i, kHex.lower[v & 0xFF], 2);
        used_ += 8;
        return *this;
    }
    // The name right-aligned in width columns; a longer name is put whole.
    TextBuffer& padded(std::string_view name, uint32_t width) {
        if (name.size() < width) repeat(' ', width - name.size());
        return *this << name;
    }
    void flush() {
        if (used_ == 0) return;
        out_.write(text_.data(), std::streamsize(used_));
        used_ = 0;
    }

private:
    static constexpr size_t kSize = size_t(1) << 18;

    // Room for n <= kSize characters at the end of the text.
    char* room(size_t n) {
        if (kSize - used_ < n) flush();
        return text_.data() + used_;
    }

    std::ostream& out_;
    std::string text_;  // kSize characters, the first used_ of them filled
    size_t used_ = 0;
};

// The text of a report file, handed to the file piece by piece as it is
// made: a report of hundreds of thousands of symbols never lies whole in
// memory. Writers fill room() in place and commit() what they wrote.
class PieceWriter {
public:
    static constexpr size_t kPiece = size_t(1) << 20;
    using Sink = std::function<void(std::string_view)>;

    explicit PieceWriter(Sink sink) : sink_(std::move(sink)), text_(kPiece, '\0') {}
    ~PieceWriter() { flush(); }
    PieceWriter(const PieceWriter&) = delete;
    PieceWriter& operator=(const PieceWriter&) = delete;

    // Room for n <= kPiece bytes at the end of the text.
    char* room(size_t n) {
        if (kPiece - used_ < n) flush();
        return text_.data() + used_;
    }
    // The end of what was written into room().
    void commit(char* end) { used_ = size_t(end - text_.data()); }

    PieceWriter& operator<<(std::string_view s) {
        while (!s.empty()) {
            const size_t n = s.size() < kPiece ? s.size() : kPiece;
            std::memcpy(room(n), s.data(), n);
            used_ += n;
            s.remove_prefix(n);
        }
        return *this;
    }
    PieceWriter& operator<<(char c) {
        *room(1) = c;
        ++used_;
        return *this;
    }
    void flush() {
        if (used_ == 0) return;
        sink_(std::string_view(text_.data(), used_));
        used_ = 0;
    }

private:
    Sink sink_;
    std::string text_;  // kPiece characters, the first used_ of them filled
    size_t used_ = 0;
};

}  // namespace tarnel
