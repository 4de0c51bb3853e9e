#include "objfmt/loader.hpp"

#include "driver/diag.hpp"
#include "objfmt/bytes.hpp"
#include "objfmt/chunk.hpp"

namespace tarnel {

namespace {

// A chunk the linker reads must fit its tag's layout; others are dropped.
bool payloadFits(uint32_t tag, uint32_t length) {
    if (!isKnownTag(tag)) return true;
    const PayloadRule& rule = payloadRule(ChunkTag(tag - kTagBase));
    return !rule.checkedOnRead || rule.fits(length);
}

}  // namespace

void loadModuleChunk(LinkState& state, const std::string& path, uint32_t tag, std::span<uint8_t> payload) {
    if (payload.empty()) return;  // a chunk without payload is not handed on
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
    switch (readInputFile(path, state.inputs, bytes)) {
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

    // The `object` chunk's length word is not used: the next chunk follows
    // its 8 header bytes.
    const ChunkWalkEnd end = walkChunks(bytes, kChunkHeaderSize, [&](const Chunk& chunk) {
        loadModuleChunk(state, path, chunk.tag, bytes.subspan(chunk.offset + kChunkHeaderSize, chunk.length));
    });
    if (end.status != ChunkWalkStatus::end && end.status != ChunkWalkStatus::endTagAlone)
        reportError(state, "Unexpected end of file in %s\n", path.c_str());
    return 1;
}

}  // namespace tarnel
