// The library-mode chunk handler: keeps the chunks a library member carries,
// byte for byte, and collects the module's xdefs for the symbol table.
#include "driver/diag.hpp"
#include "objfmt/bytes.hpp"
#include "objfmt/module_chunks.hpp"

namespace tarnel {

namespace {

// Walks a `link` payload entry by entry, as a link does, and takes exactly
// its xdef entries, in order: the name, count and offsets of an xref are
// passed over with it and are never read as entries of their own.
void collectLibrarySymbols(LinkState& state, std::span<const uint8_t> payload) {
    LinkWalkStatus status = walkLinkChunk(payload, [&](const LinkEntry& e) {
        if (e.kind != LinkEntry::Kind::xdef) return;
        state.librarySymbols.push_back(
            LinkSymbol{e.name, e.fieldLength, 0, int16_t(state.moduleCount), 0, e.type});
    });
    if (status == LinkWalkStatus::malformed)
        reportError(state, "Malformed link chunk in %s\n", currentModule(state).fileName->c_str());
}

}  // namespace

void libraryModeChunk(LinkState& state, uint32_t tag, std::span<uint8_t> payload) {
    if (!isKnownTag(tag)) return;
    ChunkTag kind = ChunkTag(tag - kTagBase);
    if (moduleInfoChunk(state, kind, payload)) return;
    Module& module = currentModule(state);
    switch (kind) {
    case ChunkTag::code:
    case ChunkTag::data:
    case ChunkTag::bss:
        if (auto section = sectionOfChunk(state, kind, payload)) {
            const SectionFields& f = kSectionFields[uint32_t(*section)];
            module.*f.chunk = payload;
            // sections with bytes count their whole payload; bss counts its size word
            module.*f.size = kind == ChunkTag::bss ? readWordBE(payload.data() + 4) : uint32_t(payload.size());
        }
        break;
    case ChunkTag::link:
        module.linkChunk = payload;
        collectLibrarySymbols(state, payload);
        break;
    case ChunkTag::reloc16: module.reloc16Chunks.push_back(payload); break;
    case ChunkTag::reloc32: module.reloc32Chunks.push_back(payload); break;
    case ChunkTag::drel16: module.drel16Chunks.push_back(payload); break;
    default: break;
    }
}

}  // namespace tarnel
