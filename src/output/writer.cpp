#include "output/writer.hpp"

#include "objfmt/bytes.hpp"
#include "objfmt/chunk.hpp"
#include "output/embedded.hpp"
#include "output/reloc_chunks.hpp"
#include "output/srec.hpp"

namespace tarnel {

namespace {

struct OutputPass {
    LinkState& state;
    OutputFile& file;
    uint32_t counter = 0;
    uint32_t srecAddress = 0;
};

// The one sink for section bytes: straight to the file, or cut into S-records
// of at most 32 bytes. Every call starts a new record.
void emitBytes(OutputPass& pass, const uint8_t* bytes, size_t count) {
    if (!pass.state.options.srecMode) {
        pass.file.writeKept(bytes, count);
        return;
    }
    while (count > 0) {
        uint32_t run = count < kSRecordDataMax ? uint32_t(count) : kSRecordDataMax;
        writeSRecordData(pass.file, run, pass.srecAddress, bytes);
        pass.srecAddress += run;
        bytes += run;
        count -= run;
    }
}

// A chunk header with up to two fixed words after it, in one write.
void writeHead(OutputPass& pass, ChunkTag tag, uint32_t length, std::initializer_list<uint32_t> words) {
    uint8_t head[16];
    writeWordBE(head, tagWord(tag));
    writeWordBE(head + 4, length);
    uint32_t size = 8;
    for (uint32_t w : words) {
        writeWordBE(head + size, w);
        size += 4;
    }
    pass.file.write(head, size);
    pass.counter += size;
}

// Every module's bytes of one section, in load order, one call per module.
void emitSection(OutputPass& pass, SectionKind section) {
    for (Module& m : pass.state.modules) {
        std::span<uint8_t> bytes = sectionBytes(m, uint32_t(section));
        if (!bytes.empty()) emitBytes(pass, bytes.data(), bytes.size());
    }
    pass.counter += sectionTotal(pass.state, uint32_t(section));
}

// ROM images hold bss and bssb as zero bytes, each byte emitted on its own,
// unless -b leaves them out.
void emitZeroFill(OutputPass& pass, uint32_t count) {
    if (!pass.state.options.bssInRom) return;
    static const uint8_t zeros[4096] = {};
    if (pass.state.options.srecMode) {
        for (uint32_t i = 0; i < count; ++i) emitBytes(pass, zeros, 1);
        return;
    }
    for (uint32_t left = count; left > 0;) {
        uint32_t n = left < sizeof zeros ? left : uint32_t(sizeof zeros);
        pass.file.write(zeros, n);
        left -= n;
    }
}

}  // namespace

uint32_t writeLinkedOutput(LinkState& state, OutputFile& file) {
    OutputPass pass{state, file};
    const bool chunks = !state.options.romMode;
    if (state.options.srecMode) {
        writeSRecordHeader(file, state.options.outputName);
        pass.srecAddress = state.options.romStart;
    }
    if (chunks) {
        if (state.options.embeddedMode)
            writeHead(pass, ChunkTag::object, 0, {});
        else
            writeHead(pass, ChunkTag::header, 8,
                      {state.layout.codeTotal + state.layout.dataTotal + state.layout.bssTotal, state.layout.baseTotal + state.layout.bssbTotal});
    }
    if (state.layout.codeTotal != 0) {
        if (chunks) {
            writeHead(pass, ChunkTag::processor, 8, {state.processorId, state.processorWord});
            writeHead(pass, ChunkTag::code, state.layout.codeTotal + 4, {uint32_t(SectionKind::code)});
        }
        emitSection(pass, SectionKind::code);
    }
    if (state.layout.dataTotal != 0) {
        if (chunks) writeHead(pass, ChunkTag::data, state.layout.dataTotal + 4, {uint32_t(SectionKind::data)});
        emitSection(pass, SectionKind::data);
    }
    if (state.layout.bssTotal != 0) {
        if (chunks)
            writeHead(pass, ChunkTag::bss, 8, {uint32_t(SectionKind::bss), state.layout.bssTotal});
        else
            emitZeroFill(pass, state.layout.bssTotal);
    }
    if (state.layout.baseTotal != 0) {
        if (chunks) writeHead(pass, ChunkTag::data, state.layout.baseTotal + 4, {uint32_t(SectionKind::base)});
        emitSection(pass, SectionKind::base);
    }
    if (state.layout.bssbTotal != 0) {
        if (chunks)
            writeHead(pass, ChunkTag::bss, 8, {uint32_t(SectionKind::bssb), state.layout.bssbTotal});
        else
            emitZeroFill(pass, state.layout.bssbTotal);
    }
    if (chunks) {
        pass.counter += writeRelocChunks(state, file);
        if (state.options.embeddedMode) pass.counter += writeEntryLink(file, state.options.embeddedLabel);
        uint8_t end[4];
        writeWordBE(end, tagWord(ChunkTag::end));
        file.write(end, 4);  // the end tag has no length word
        pass.counter += 4;
    }
    if (state.options.srecMode) writeSRecordEnd(file, pass.srecAddress);
    return pass.counter;
}

}  // namespace tarnel
