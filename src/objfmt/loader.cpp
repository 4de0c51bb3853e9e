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

void loadObjectFile(LinkState& state, const std::string& path) {
    Module& module = state.modules[state.moduleCount];
    std::span<uint8_t> bytes;
    switch (readInputFile(path, state.inputs, bytes)) {
    case ReadStatus::notFound: reportError(state, "File %s not found\n", path.c_str()); return;
    case ReadStatus::unreadable: reportError(state, "File %s could not be read\n", path.c_str()); return;
    case ReadStatus::ok: break;
    }
    const size_t size = bytes.size();
    if (size < 4 || readWordBE(bytes.data()) != tagWord(ChunkTag::object)) {
        reportError(state, "File %s is not a valid object file\n", path.c_str());
        return;
    }
    module.fileName = path;
    module.fileBytes = bytes;

    // The `object` chunk's length word is not used: the next chunk follows
    // its 8 header bytes.
    const ChunkWalkEnd end = walkChunks(bytes, kChunkHeaderSize, [&](const Chunk& chunk) {
        if (chunk.length == 0) return;  // a chunk without payload is not handed on
        std::span<uint8_t> payload = bytes.subspan(chunk.offset + kChunkHeaderSize, chunk.length);
        if (!payloadFits(chunk.tag, chunk.length)) {
            reportError(state, "Malformed %s chunk in %s\n", chunkTagName(chunk.tag - kTagBase), path.c_str());
        } else if (state.libraryMode) {
            libraryModeChunk(state, chunk.tag, payload);
        } else {
            linkModeChunk(state, chunk.tag, payload);
        }
    });
    if (end.status != ChunkWalkStatus::end && end.status != ChunkWalkStatus::endTagAlone)
        reportError(state, "Unexpected end of file in %s\n", path.c_str());
}

}  // namespace tarnel
