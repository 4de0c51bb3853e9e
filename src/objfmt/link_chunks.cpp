// The link-mode chunk handler: places each section part behind the previous
// module's, and collects xdefs, xrefs, relocation records and drel16 chunks;
// keeps the `symbol` and `debug` payloads unread.
#include "driver/diag.hpp"
#include "objfmt/bytes.hpp"
#include "objfmt/module_chunks.hpp"

namespace tarnel {

namespace {

void keepSection(LinkState& state, SectionKind section, std::span<uint8_t> payload) {
    const SectionFields& f = kSectionFields[uint32_t(section)];
    Module& module = currentModule(state);
    bool isBss = section == SectionKind::bss || section == SectionKind::bssb;
    uint32_t size = isBss ? readWordBE(payload.data() + 4) : uint32_t(payload.size() - 4);
    uint32_t& running = state.loading.running[uint32_t(section)];
    module.*f.chunk = payload;
    module.*f.size = size;
    module.*f.addr = running;
    running += size;
    // the next module's part starts where this part ends, unless it brings its own
    state.loading.nextStart[uint32_t(section)] = running;
}

void readLinkEntries(LinkState& state, std::span<const uint8_t> payload) {
    const int16_t moduleIndex = int16_t(state.moduleCount);
    LinkWalkStatus status = walkLinkChunk(payload, [&](const LinkEntry& e) {
        if (e.kind == LinkEntry::Kind::xref) {
            // one node per place that refers to the name
            for (uint32_t i = 0; i < e.value; ++i) {
                state.xrefList.push_back(LinkSymbol{e.name, readWordBE(e.offsets + 4 * i), 0,
                                                    moduleIndex, 0, e.type});
                if (e.fieldLength > state.widths.widestXrefName) state.widths.widestXrefName = e.fieldLength;
            }
        } else if (e.kind == LinkEntry::Kind::xdef) {
            if (e.fieldLength > state.widths.widestXdefName) state.widths.widestXdefName = e.fieldLength;
            state.xdefList.push_back(LinkSymbol{e.name, e.value, 0, moduleIndex,
                                                int16_t(e.type - 0x80), e.type});
        }
    });
    if (status == LinkWalkStatus::malformed)
        reportError(state, "Malformed link chunk in %s\n", currentModule(state).fileName->c_str());
}

void readRelocChunk(LinkState& state, RelocList& list, std::span<const uint8_t> payload) {
    uint8_t from = recordSection(readWordBE(payload.data()));
    uint8_t to = recordSection(readWordBE(payload.data() + 4));
    uint16_t module = uint16_t(state.moduleCount);
    for (size_t pos = 8; pos < payload.size(); pos += 4)
        list.push_back(RelocEntry{readWordBE(payload.data() + pos), 0, from, to, module, module});
}

// A module's first chunk of a kind is the one kept; later ones are dropped.
void keepFirst(std::span<const uint8_t>& kept, std::span<const uint8_t> payload) {
    if (kept.empty()) kept = payload;
}

}  // namespace

void linkModeChunk(LinkState& state, uint32_t tag, std::span<uint8_t> payload) {
    if (!isKnownTag(tag)) return;  // unknown tags are stepped over
    ChunkTag kind = ChunkTag(tag - kTagBase);
    if (moduleInfoChunk(state, kind, payload)) return;
    switch (kind) {
    case ChunkTag::code:
    case ChunkTag::data:
    case ChunkTag::bss:
        if (auto section = sectionOfChunk(state, kind, payload)) keepSection(state, *section, payload);
        break;
    case ChunkTag::link: readLinkEntries(state, payload); break;
    case ChunkTag::reloc16: readRelocChunk(state, state.reloc16List, payload); break;
    case ChunkTag::reloc32: readRelocChunk(state, state.reloc32List, payload); break;
    case ChunkTag::drel16: currentModule(state).drel16List.push_back(payload); break;
    // kept for the tools that read them; the link does not
    case ChunkTag::symbol: keepFirst(currentModule(state).symbolChunk, payload); break;
    case ChunkTag::debug: keepFirst(currentModule(state).debugChunk, payload); break;
    default: break;  // every other chunk is dropped
    }
}

}  // namespace tarnel
