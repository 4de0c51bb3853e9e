// Builds chunk files in memory, big-endian word by word: the tools that write
// object modules and the tests use it to lay out chunks and `link` entries.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "objfmt/bytes.hpp"
#include "objfmt/chunk.hpp"
#include "objfmt/debug_chunk.hpp"
#include "objfmt/symbol_chunk.hpp"

namespace tarnel {

class ByteBuilder {
public:
    ByteBuilder& word(uint32_t w) {
        uint8_t b[4];
        writeWordBE(b, w);
        bytes_.insert(bytes_.end(), b, b + 4);
        return *this;
    }
    ByteBuilder& raw(std::span<const uint8_t> b) {
        bytes_.insert(bytes_.end(), b.begin(), b.end());
        return *this;
    }
    ByteBuilder& text(std::string_view t) {
        bytes_.insert(bytes_.end(), t.begin(), t.end());
        return *this;
    }
    ByteBuilder& zeros(size_t n) {
        bytes_.insert(bytes_.end(), n, 0);
        return *this;
    }
    // The name, a NUL and zeros up to a multiple of 4 (nameFieldLength bytes).
    ByteBuilder& nameField(std::string_view name) {
        text(name);
        return zeros(nameFieldLength(uint32_t(name.size())) - name.size());
    }
    // A whole chunk: tag, payload length, payload.
    ByteBuilder& chunk(uint32_t tag, std::span<const uint8_t> payload) {
        const ChunkHead head = chunkHead(tag, uint32_t(payload.size()));
        raw({head.bytes, head.size});
        return raw(payload);
    }
    ByteBuilder& chunk(ChunkTag tag, std::span<const uint8_t> payload) { return chunk(tagWord(tag), payload); }
    // The end tag as the linker writes it, without a length word.
    ByteBuilder& endTag() { return raw(kEndTag); }

    const std::vector<uint8_t>& bytes() const { return bytes_; }
    std::vector<uint8_t>& bytes() { return bytes_; }
    size_t size() const { return bytes_.size(); }

private:
    std::vector<uint8_t> bytes_;
};

// The payload of a `link` chunk, entry by entry.
class LinkPayloadBuilder {
public:
    LinkPayloadBuilder& xdef(SectionKind section, uint32_t value, std::string_view name) {
        b_.word((0x80u + uint32_t(section)) << 24 | nameFieldLength(uint32_t(name.size())));
        b_.word(value).nameField(name);
        return *this;
    }
    LinkPayloadBuilder& xref(uint32_t accessType, std::string_view name, std::span<const uint32_t> offsets) {
        b_.word(accessType << 24 | nameFieldLength(uint32_t(name.size())));
        b_.word(uint32_t(offsets.size())).nameField(name);
        for (uint32_t o : offsets) b_.word(o);
        return *this;
    }
    std::vector<uint8_t> finish() {
        b_.word(kLinkTerminator);
        return b_.bytes();
    }

private:
    ByteBuilder b_;
};

// The payload of a `symbol` chunk: the file name, then the entries.
class SymbolPayloadBuilder {
public:
    explicit SymbolPayloadBuilder(std::string_view fileName) : file_(fileName) {}
    SymbolPayloadBuilder& symbol(uint8_t section, SymbolBinding binding, uint8_t type, uint32_t value, uint32_t size,
                                 std::string_view name) {
        entries_.word(uint32_t(section) << 24 | uint32_t(binding) << 16 | uint32_t(type) << 8);
        entries_.word(value).word(size).word(nameFieldLength(uint32_t(name.size()))).nameField(name);
        ++count_;
        return *this;
    }
    std::vector<uint8_t> finish() const {
        ByteBuilder b;
        b.word(kSymbolChunkVersion).word(nameFieldLength(uint32_t(file_.size()))).nameField(file_);
        b.word(count_).raw(entries_.bytes());
        return b.bytes();
    }

private:
    std::string file_;
    ByteBuilder entries_;
    uint32_t count_ = 0;
};

// The payload of a `debug` chunk: the names, then the sections, each with
// its relocations.
class DebugPayloadBuilder {
public:
    DebugPayloadBuilder& name(std::string_view n) {
        names_.word(nameFieldLength(uint32_t(n.size()))).nameField(n);
        ++nameCount_;
        return *this;
    }
    struct Reloc {
        uint32_t offset, target, addend;
    };
    DebugPayloadBuilder& section(std::string_view name, uint32_t align, std::span<const uint8_t> bytes,
                                 std::span<const Reloc> relocs) {
        sections_.word(nameFieldLength(uint32_t(name.size()))).nameField(name);
        sections_.word(align).word(uint32_t(bytes.size())).word(uint32_t(relocs.size()));
        sections_.raw(bytes).zeros((4 - bytes.size() % 4) % 4);
        for (const Reloc& r : relocs) sections_.word(r.offset).word(r.target).word(r.addend);
        ++sectionCount_;
        return *this;
    }
    std::vector<uint8_t> finish() const {
        ByteBuilder b;
        b.word(kDebugChunkVersion).word(sectionCount_).word(nameCount_);
        return b.raw(names_.bytes()).raw(sections_.bytes()).bytes();
    }

private:
    ByteBuilder names_, sections_;
    uint32_t nameCount_ = 0, sectionCount_ = 0;
};

}  // namespace tarnel
