// A text buffer for the reports: lines are built with a hex table and
// handed to the report stream in large pieces, not one printf per field.
// Full pieces are written behind: while one goes to the stream, the next is
// built. Nothing else may write to the stream while the buffer lives.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

#include "output/write_behind.hpp"

namespace tarnel {

class TextBuffer {
public:
    explicit TextBuffer(std::ostream& out)
        : writer_([&out](const char* bytes, size_t count) {
              out.write(bytes, std::streamsize(count));
              return true;
          }) {}
    ~TextBuffer() {
        flush();
        writer_.finish();
    }

    TextBuffer& operator<<(std::string_view s) {
        text_.append(s);
        if (text_.size() >= kFlushAt) flush();
        return *this;
    }
    TextBuffer& repeat(char c, size_t n) {
        text_.append(n, c);
        return *this;
    }
    // Eight lower-case hexadecimal digits, as "%08lx" prints a 32-bit value.
    TextBuffer& hex8(uint32_t v) {
        static constexpr char digits[] = "0123456789abcdef";
        char b[8];
        for (int i = 7; i >= 0; --i, v >>= 4) b[i] = digits[v & 0xF];
        text_.append(b, 8);
        return *this;
    }
    // The name right-aligned in width columns; a longer name is put whole.
    TextBuffer& padded(std::string_view name, uint32_t width) {
        if (name.size() < width) text_.append(width - name.size(), ' ');
        text_.append(name);
        return *this;
    }
    void flush() {
        if (text_.empty()) return;
        const size_t size = text_.size();
        writer_.submit(std::move(text_), size);
        text_ = writer_.spare();
        text_.clear();
    }

private:
    static constexpr size_t kFlushAt = 1 << 16;
    WriteBehind writer_;
    std::string text_;
};

}  // namespace tarnel
