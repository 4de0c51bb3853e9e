// Reads a payload front to back, word by word and field by field, and never
// past its end: the readers of the `symbol` and `debug` payloads take their
// pieces through it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "objfmt/bytes.hpp"

namespace tarnel {

class PayloadReader {
public:
    explicit PayloadReader(std::span<const uint8_t> payload) : payload_(payload) {}

    // The next big-endian word; false, with nothing taken, when fewer than 4 bytes are left.
    bool word(uint32_t& value) {
        if (left() < 4) return false;
        value = readWordBE(payload_.data() + at_);
        at_ += 4;
        return true;
    }
    // The next n bytes; false, with nothing taken, when fewer are left.
    bool bytes(uint64_t n, std::span<const uint8_t>& out) {
        if (left() < n) return false;
        out = payload_.subspan(at_, size_t(n));
        at_ += size_t(n);
        return true;
    }

    size_t offset() const { return at_; }
    size_t left() const { return payload_.size() - at_; }

private:
    std::span<const uint8_t> payload_;
    size_t at_ = 0;
};

// A name field with its length word before it: N, then N bytes holding the
// name and a NUL (written: zeros after it up to a multiple of 4).
struct NameField {
    uint32_t offset;                 // of the length word within the payload
    uint32_t fieldLength;            // N
    std::span<const uint8_t> field;  // N bytes
    std::string_view name;           // up to its NUL, or all N bytes without one

    // Whether it is written as the tools write it: the name, a NUL, zeros up
    // to a multiple of 4.
    bool written() const;
};

// Reads a length word and the name field after it; false, with the reader
// anywhere, when they run past the payload.
bool readNameField(PayloadReader& in, NameField& name);

// How a walk over a `symbol` or `debug` payload ended.
struct PayloadWalkEnd {
    enum class Status {
        whole,         // every piece read; bytes from offset on, if any, are not read
        otherVersion,  // a version this reader does not know: nothing after the version word is read
        cut,           // `what` runs past the payload; pieces before it stand
    } status;
    size_t offset;     // where the bytes not read begin
    const char* what;  // cut: the piece that does not fit ("the file name field", ...)
};

}  // namespace tarnel
