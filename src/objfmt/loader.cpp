#include "objfmt/loader.hpp"

#include "driver/diag.hpp"
#include "objfmt/bytes.hpp"
#include "objfmt/chunk.hpp"
#include "objfmt/module_chunks.hpp"
#include "objfmt/read_ahead.hpp"

namespace tarnel {

namespace {

// A chunk the linker reads must fit its tag's layout; others are dropped.
bool payloadFits(uint32_t tag, uint32_t length) {
    if (!isKnownTag(tag)) return true;
    const PayloadRule& rule = payloadRule(ChunkTag(tag - kTagBase));
    return !rule.checkedOnRead || rule.fits(length);
}

}  // namespace

bool beginSlot(LinkState& state, const std::string& path) {
    // nothing is read or written beyond the last slot
    if (state.moduleCount >= kModuleSlots) {
        reportError(state, "Too many object files, %s ignored\n", path.c_str());
        return false;
    }
    Module& module = currentModule(state);
    for (uint32_t s = 0; s < kSectionCount; ++s) {
        module.*kSectionFields[s].addr = state.loading.nextStart[s];
        state.loading.nextStart[s] = 0;
    }
    return true;
}

void endSlot(LinkState& state) {
    if (currentModule(state).fileName) (state.options.libraryMode ? state.loadedForLibrary : state.loadedForLink) = true;
    state.moduleCount += 1;
}

void loadModuleChunk(LinkState& state, const std::string& path, uint32_t tag, std::span<uint8_t> payload) {
    if (payload.empty()) return;  // a chunk without payload is not handed on
    if (!payloadFits(tag, uint32_t(payload.size()))) {
        reportError(state, "Malformed %s chunk in %s\n", chunkTagName(tag - kTagBase), path.c_str());
    } else if (state.options.libraryMode) {
        libraryModeChunk(state, tag, payload);
    } else {
        linkModeChunk(state, tag, payload);
    }
}

void loadObjectFile(LinkState& state, const std::string& path) {
    // a file that would need a slot beyond the last is refused unread
    if (state.moduleCount >= kModuleSlots) {
        beginSlot(state, path);
        return;
    }
    std::span<uint8_t> bytes;
    const bool readAhead = state.loading.readAhead && state.loading.readAhead->take(path, bytes);
    const ReadStatus status = readAhead ? ReadStatus::ok : readInputFile(path, state.inputs, bytes);
    const size_t size = bytes.size();
    if (status == ReadStatus::ok && size >= 4 && readWordBE(bytes.data()) == tagWord(ChunkTag::library))
        return loadLibraryFile(state, path, bytes);

    // a file that failed to load still takes its slot
    beginSlot(state, path);
    if (status == ReadStatus::notFound) {
        reportError(state, "File %s not found\n", path.c_str());
    } else if (status == ReadStatus::unreadable) {
        reportError(state, "File %s could not be read\n", path.c_str());
    } else if (size < 4 || readWordBE(bytes.data()) != tagWord(ChunkTag::object)) {
        reportError(state, "File %s is not a valid object file\n", path.c_str());
    } else {
        currentModule(state).fileName = path;
        // The `object` chunk's length word is not used: the next chunk follows
        // its 8 header bytes.
        const ChunkWalkEnd end = walkChunks(bytes, kChunkHeaderSize, [&](const Chunk& chunk) {
            loadModuleChunk(state, path, chunk.tag, bytes.subspan(chunk.offset + kChunkHeaderSize, chunk.length));
        });
        if (end.status != ChunkWalkStatus::end && end.status != ChunkWalkStatus::endTagAlone)
            reportError(state, "Unexpected end of file in %s\n", path.c_str());
    }
    endSlot(state);
}

}  // namespace tarnel
