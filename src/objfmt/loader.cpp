#include "objfmt/loader.hpp"

#include "driver/diag.hpp"
#include "objfmt/bytes.hpp"
#include "objfmt/chunk.hpp"
#include "objfmt/read_ahead.hpp"

namespace tarnel {

namespace {

// The smallest payload each kind of chunk needs, and whether its length
// beyond that must be a multiple of 4.
struct PayloadRule {
    uint32_t minimum;
    bool wordMultiple;
};

bool payloadFits(uint32_t tag, uint32_t length) {
    if (!isKnownTag(tag)) return true;
    PayloadRule rule{0, false};
    switch (ChunkTag(tag - kTagBase)) {
    case ChunkTag::processor:
    case ChunkTag::bss: rule = {8, false}; break;
    case ChunkTag::code:
    case ChunkTag::data: rule = {4, false}; break;
    case ChunkTag::reloc16:
    case ChunkTag::reloc32: rule = {8, true}; break;
    case ChunkTag::drel16: rule = {4, true}; break;
    default: return true;
    }
    return length >= rule.minimum && (!rule.wordMultiple || length % 4 == 0);
}

}  // namespace

void loadModuleChunk(LinkState& state, const std::string& path, uint32_t tag, std::span<uint8_t> payload) {
    if (payload.empty()) return;
    if (!payloadFits(tag, uint32_t(payload.size()))) {
        reportError(state, "Malformed %s chunk in %s\n", chunkTagName(tag - kTagBase), path.c_str());
    } else if (state.libraryMode) {
        libraryModeChunk(state, tag, payload);
    } else {
        linkModeChunk(state, tag, payload);
    }
}

uint32_t loadObjectFile(LinkState& state, const std::string& path) {
    Module& module = state.modules[state.moduleCount];
    std::span<uint8_t> bytes;
    const bool readAhead = state.readAhead && state.readAhead->take(path, bytes);
    switch (readAhead ? ReadStatus::ok : readInputFile(path, state.inputs, bytes)) {
    case ReadStatus::notFound: reportError(state, "File %s not found\n", path.c_str()); return 1;
    case ReadStatus::unreadable: reportError(state, "File %s could not be read\n", path.c_str()); return 1;
    case ReadStatus::ok: break;
    }
    const size_t size = bytes.size();
    if (size >= 4 && readWordBE(bytes.data()) == tagWord(ChunkTag::library)) return loadLibraryFile(state, path, bytes);
    if (size < 4 || readWordBE(bytes.data()) != tagWord(ChunkTag::object)) {
        reportError(state, "File %s is not a valid object file\n", path.c_str());
        return 1;
    }
    module.fileName = path;
    module.fileBytes = bytes;
    uint8_t* data = bytes.data();

    // The `object` chunk's length word is not used: the next chunk follows
    // its 8 header bytes.
    size_t pos = 8;
    for (;;) {
        const size_t left = pos <= size ? size - pos : 0;
        const uint32_t tag = left >= 4 ? readWordBE(data + pos) : 0;
        // an end tag may lack its length word; no other tag may
        if (left >= 4 && left < 8 && tag == tagWord(ChunkTag::end)) return 1;
        const uint32_t length = left >= 8 ? readWordBE(data + pos + 4) : 0;
        if (left < 8 || length > left - 8) {
            reportError(state, "Unexpected end of file in %s\n", path.c_str());
            return 1;
        }
        std::span<uint8_t> payload(data + pos + 8, length);
        pos += 8 + size_t(length);
        loadModuleChunk(state, path, tag, payload);
        if (tag == tagWord(ChunkTag::end)) return 1;
    }
}

}  // namespace tarnel
