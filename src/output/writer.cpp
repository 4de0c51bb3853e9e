// The executable and the embedded object: the header, the processor and
// section chunks, the relocation chunks, the embedded label's `link` chunk
// and the end tag.
#include "output/writer.hpp"

#include "objfmt/chunk.hpp"
#include "output/embedded.hpp"
#include "output/reloc_chunks.hpp"

namespace tarnel {

namespace {

// A chunk header and its fixed words, in one write; returns its size.
uint32_t writeHead(OutputFile& file, ChunkTag tag, uint32_t length, std::initializer_list<uint32_t> words = {}) {
    const ChunkHead head = chunkHead(tag, length, words);
    file.write(head.bytes, head.size);
    return head.size;
}

// A section with bytes: its chunk header, then every module's bytes of it in
// load order, straight from the kept payloads.
uint32_t writeSectionChunk(LinkState& state, OutputFile& file, ChunkTag tag, SectionKind section) {
    const uint32_t total = sectionTotal(state, uint32_t(section));
    uint32_t written = writeHead(file, tag, total + 4, {uint32_t(section)});
    for (Module& m : state.modules) {
        std::span<uint8_t> bytes = sectionBytes(m, uint32_t(section));
        if (!bytes.empty()) file.writeKept(bytes.data(), bytes.size());
    }
    return written + total;
}

// Each section chunk only when its section is not empty; the processor chunk
// only with code; bss and bssb as their sizes.
uint32_t writeChunkFile(LinkState& state, OutputFile& file) {
    const SectionTotals& t = state.layout;
    uint32_t written = state.options.embeddedMode
                           ? writeHead(file, ChunkTag::object, 0)
                           : writeHead(file, ChunkTag::header, 8,
                                       {t.codeTotal + t.dataTotal + t.bssTotal, t.baseTotal + t.bssbTotal});
    if (t.codeTotal != 0) {
        written += writeHead(file, ChunkTag::processor, 8, {state.processorId, state.processorWord});
        written += writeSectionChunk(state, file, ChunkTag::code, SectionKind::code);
    }
    if (t.dataTotal != 0) written += writeSectionChunk(state, file, ChunkTag::data, SectionKind::data);
    if (t.bssTotal != 0) written += writeHead(file, ChunkTag::bss, 8, {uint32_t(SectionKind::bss), t.bssTotal});
    if (t.baseTotal != 0) written += writeSectionChunk(state, file, ChunkTag::data, SectionKind::base);
    if (t.bssbTotal != 0) written += writeHead(file, ChunkTag::bss, 8, {uint32_t(SectionKind::bssb), t.bssbTotal});
    written += writeRelocChunks(state, file);
    if (state.options.embeddedMode) written += writeEntryLink(file, state.options.embeddedLabel);
    file.write(kEndTag, sizeof kEndTag);
    return written + uint32_t(sizeof kEndTag);
}

}  // namespace

uint32_t writeLinkedOutput(LinkState& state, OutputFile& file) {
    return state.options.romMode ? writeImage(state, file) : writeChunkFile(state, file);
}

}  // namespace tarnel
