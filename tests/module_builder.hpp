// Builds object modules for the tests, chunk by chunk, so that every test
// reads like the scenario it checks. Well-formed by default; raw(), chunk()
// and truncate() make the malformed files on purpose.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "objfmt/chunk_builder.hpp"

namespace tarnel::test {

using Bytes = std::vector<uint8_t>;

class ModuleBuilder {
public:
    // Starts with the `object` chunk of length 0 unless told otherwise.
    explicit ModuleBuilder(bool withObjectChunk = true) {
        if (withObjectChunk) b_.chunk(ChunkTag::object, {});
    }

    ModuleBuilder& processor(uint32_t id, uint32_t word = 0) { return words(ChunkTag::processor, {id, word}); }
    ModuleBuilder& name(std::string_view t) { return textChunk(ChunkTag::name, t); }
    ModuleBuilder& version(std::string_view t) { return textChunk(ChunkTag::version, t); }
    ModuleBuilder& date(std::string_view t) { return textChunk(ChunkTag::date, t); }

    ModuleBuilder& code(const Bytes& bytes) { return section(ChunkTag::code, 0, bytes); }
    ModuleBuilder& data(const Bytes& bytes) { return section(ChunkTag::data, 1, bytes); }
    ModuleBuilder& base(const Bytes& bytes) { return section(ChunkTag::data, 3, bytes); }
    ModuleBuilder& bss(uint32_t size) { return words(ChunkTag::bss, {2, size}); }
    ModuleBuilder& bssb(uint32_t size) { return words(ChunkTag::bss, {4, size}); }
    ModuleBuilder& section(ChunkTag tag, uint32_t blockType, const Bytes& bytes) {
        ByteBuilder p;
        p.word(blockType).raw(bytes);
        return chunk(tag, p.bytes());
    }

    // xdefs and xrefs gather into one `link` chunk, written by link() or end().
    ModuleBuilder& xdef(SectionKind s, uint32_t value, std::string_view n) {
        link_.xdef(s, value, n);
        pendingLink_ = true;
        return *this;
    }
    ModuleBuilder& xref(uint32_t type, std::string_view n, std::initializer_list<uint32_t> offsets) {
        return xref(type, n, std::vector<uint32_t>(offsets));
    }
    ModuleBuilder& xref(uint32_t type, std::string_view n, const std::vector<uint32_t>& offsets) {
        link_.xref(type, n, offsets);
        pendingLink_ = true;
        return *this;
    }
    ModuleBuilder& link() {
        if (pendingLink_) chunk(ChunkTag::link, link_.finish());
        link_ = LinkPayloadBuilder();
        pendingLink_ = false;
        return *this;
    }

    ModuleBuilder& reloc16(uint32_t from, uint32_t to, std::initializer_list<uint32_t> offsets) {
        return relocChunk(ChunkTag::reloc16, from, to, offsets);
    }
    ModuleBuilder& reloc32(uint32_t from, uint32_t to, std::initializer_list<uint32_t> offsets) {
        return relocChunk(ChunkTag::reloc32, from, to, offsets);
    }
    ModuleBuilder& drel16(uint32_t block, std::initializer_list<uint32_t> offsets) {
        ByteBuilder p;
        p.word(block);
        for (uint32_t o : offsets) p.word(o);
        return chunk(ChunkTag::drel16, p.bytes());
    }

    ModuleBuilder& chunk(ChunkTag tag, const Bytes& payload) { return chunk(tagWord(tag), payload); }
    ModuleBuilder& chunk(uint32_t tag, const Bytes& payload) {
        b_.chunk(tag, payload);
        return *this;
    }
    ModuleBuilder& words(ChunkTag tag, std::initializer_list<uint32_t> ws) {
        ByteBuilder p;
        for (uint32_t w : ws) p.word(w);
        return chunk(tag, p.bytes());
    }
    ModuleBuilder& raw(const Bytes& bytes) {
        b_.raw(bytes);
        return *this;
    }
    ModuleBuilder& word(uint32_t w) {
        b_.word(w);
        return *this;
    }

    // The end tag alone, as the linker writes it, or with its length word.
    Bytes end(bool withLengthWord = false) {
        link();
        if (withLengthWord)
            b_.chunk(ChunkTag::end, {});
        else
            b_.endTag();
        return b_.bytes();
    }
    // The file so far, without an end chunk.
    Bytes unfinished() {
        link();
        return b_.bytes();
    }

private:
    ModuleBuilder& textChunk(ChunkTag tag, std::string_view t) {
        ByteBuilder p;
        p.text(t).zeros(1);
        return chunk(tag, p.bytes());
    }
    ModuleBuilder& relocChunk(ChunkTag tag, uint32_t from, uint32_t to, std::initializer_list<uint32_t> offsets) {
        ByteBuilder p;
        p.word(from).word(to);
        for (uint32_t o : offsets) p.word(o);
        return chunk(tag, p.bytes());
    }

    ByteBuilder b_;
    LinkPayloadBuilder link_;
    bool pendingLink_ = false;
};

// Big-endian words as bytes, for writing expected output in the tests.
inline Bytes be(std::initializer_list<uint32_t> ws) {
    ByteBuilder b;
    for (uint32_t w : ws) b.word(w);
    return b.bytes();
}

inline Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace tarnel::test
