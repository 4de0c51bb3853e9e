// A text buffer for the reports: lines are built with a hex table and
// handed to the report stream in large pieces, not one printf per field.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

namespace tarnel {

class TextBuffer {
public:
    explicit TextBuffer(std::ostream& out) : out_(out) {}
    ~TextBuffer() { flush(); }

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
        out_.write(text_.data(), std::streamsize(text_.size()));
        text_.clear();
    }

private:
    static constexpr size_t kFlushAt = 1 << 16;
    std::ostream& out_;
    std::string text_;
};

}  // namespace tarnel
