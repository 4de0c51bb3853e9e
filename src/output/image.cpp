// The ROM image: the section bytes and zero fills in the order placement
// gives them, with no chunk framing, raw or cut into S-records.
#include "objfmt/chunk.hpp"
#include "objfmt/placement.hpp"
#include "output/srec.hpp"
#include "output/writer.hpp"

namespace tarnel {

namespace {

struct ImagePass {
    LinkState& state;
    OutputFile& file;
    uint32_t srecAddress = 0;  // of the next image byte, in S-record output
};

// The one sink for image bytes: straight to the file, or cut into S-records
// of at most 32 bytes. Every call starts a new record.
void emitBytes(ImagePass& pass, const uint8_t* bytes, size_t count) {
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

// Every module's bytes of one section, in load order, one call per module.
void emitSection(ImagePass& pass, uint32_t section) {
    for (Module& m : pass.state.modules) {
        std::span<uint8_t> bytes = sectionBytes(m, section);
        if (!bytes.empty()) emitBytes(pass, bytes.data(), bytes.size());
    }
}

// bss and bssb as zero bytes, each byte emitted on its own: an S-record of
// its own per byte.
void emitZeroFill(ImagePass& pass, uint32_t count) {
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

uint32_t writeImage(LinkState& state, OutputFile& file) {
    ImagePass pass{state, file};
    if (state.options.srecMode) {
        writeSRecordHeader(file, state.options.outputName);
        pass.srecAddress = state.options.romStart;
    }
    const ImageLayout image = imageLayout(state);
    for (uint32_t s = 0; s < kSectionCount; ++s) {
        const SectionPlace& place = image.section[s];
        if (place.size == 0 || !place.inImage) continue;
        if (s == uint32_t(SectionKind::bss) || s == uint32_t(SectionKind::bssb))
            emitZeroFill(pass, place.size);
        else
            emitSection(pass, s);
    }
    if (state.options.srecMode) writeSRecordEnd(file, pass.srecAddress);
    return image.size;
}

}  // namespace tarnel
