#include "link/reloc.hpp"

#include "driver/diag.hpp"
#include "link/fields.hpp"
#include "objfmt/bytes.hpp"
#include "objfmt/chunk.hpp"
#include "objfmt/placement.hpp"

namespace tarnel {

void reportFieldOutside(LinkState& state, uint32_t offset, uint32_t section, uint32_t module) {
    const Module& m = state.modules[module];
    reportError(state, "Relocation at $%08lx outside %s section in %s\n", (unsigned long)offset,
                sectionName(section), m.fileName ? m.fileName->c_str() : "-");
}

namespace {

// What a record adds at its field: where the target module's part of the
// target section lies.
uint32_t relocAddend(const LinkState& state, uint32_t toSection, uint32_t toModule) {
    return partAddress(state, toModule, toSection, AddressView::relocation);
}

template <uint32_t Width>
void applyRelocs(LinkState& state, RelocList& list) {
    for (RelocEntry& r : list) {
        uint8_t* field = nullptr;
        if (r.fromModule < state.modules.size())
            field = fieldAt(sectionBytes(state.modules[r.fromModule], r.fromSection), r.offset, Width);
        if (!field) {
            reportFieldOutside(state, r.offset, r.fromSection, r.fromModule);
            continue;
        }
        uint32_t addend = relocAddend(state, r.toSection, r.toModule);
        if constexpr (Width == 2) {
            r.value = uint16_t(readHalfBE(field) + addend);
            writeHalfBE(field, r.value);
        } else {
            r.value = readWordBE(field) + addend;
            writeWordBE(field, r.value);
        }
    }
}

}  // namespace

void applyReloc16(LinkState& state, RelocList& list) { applyRelocs<2>(state, list); }
void applyReloc32(LinkState& state, RelocList& list) { applyRelocs<4>(state, list); }

void applyDrel16(LinkState& state) {
    for (uint32_t m = 0; m < state.moduleCount; ++m) {
        Module& module = state.modules[m];
        for (std::span<uint8_t> chunk : module.drel16List) {
            uint32_t numoff = uint32_t(chunk.size() / 4 - 1);
            uint32_t block = readWordBE(chunk.data());
            // the block names the section whose start the fields get
            if (block < 1 || block > 4) {
                say(state, "numoff %ld blk = %ld\n", long(numoff), long(block));
                continue;  // delta 0: the fields keep their content
            }
            const uint32_t delta = biasedStart(state, m, block);
            // the fields always lie in the module's code, whatever the block
            std::span<uint8_t> code = sectionBytes(module, uint32_t(SectionKind::code));
            for (uint32_t i = 0; i < numoff; ++i) {
                uint32_t offset = readWordBE(chunk.data() + 4 + 4 * i);
                uint8_t* field = fieldAt(code, offset, 2);
                if (!field) {
                    reportFieldOutside(state, offset, uint32_t(SectionKind::code), m);
                    continue;
                }
                writeHalfBE(field, readHalfBE(field) + delta);
            }
        }
        module.drel16List.clear();
    }
}

void mergeRelocOffsets(LinkState& state) {
    for (RelocList* list : {&state.reloc16List, &state.reloc32List})
        for (RelocEntry& r : *list)
            // only the records a chunk carries: the others are never written
            if (relocPairIndex(r.fromSection, r.toSection) >= 0)
                r.offset += sectionStart(state, r.fromModule, r.fromSection);
}

}  // namespace tarnel
