#include "objfmt/module_chunks.hpp"

#include "driver/diag.hpp"
#include "objfmt/bytes.hpp"

namespace tarnel {

bool moduleInfoChunk(LinkState& state, ChunkTag tag, std::span<const uint8_t> payload) {
    Module& module = currentModule(state);
    switch (tag) {
    case ChunkTag::processor: {
        // the largest id wins, with the word that came with it
        uint32_t id = readWordBE(payload.data());
        if (!module.processorId || id > *module.processorId) module.processorId = id;
        if (id > state.processorId) {
            state.processorId = id;
            state.processorWord = readWordBE(payload.data() + 4);
        }
        return true;
    }
    case ChunkTag::name: {
        std::string_view text = textOf(payload);
        module.moduleName = std::string(text);
        if (text.size() > state.widths.widestModuleName) state.widths.widestModuleName = uint32_t(text.size());
        return true;
    }
    case ChunkTag::version: module.version = std::string(textOf(payload)); return true;
    case ChunkTag::date: module.date = std::string(textOf(payload)); return true;
    default: return false;
    }
}

std::optional<SectionKind> sectionOfChunk(LinkState& state, ChunkTag tag, std::span<const uint8_t> payload) {
    Module& module = currentModule(state);
    uint32_t blockType = readWordBE(payload.data());
    SectionKind section;
    if (tag == ChunkTag::code) {
        section = SectionKind::code;  // the block type of code is not examined
    } else if (tag == ChunkTag::data) {
        if (blockType != 1 && blockType != 3) {
            reportError(state, "Unknown data block type in %s\n", module.fileName->c_str());
            return std::nullopt;
        }
        section = SectionKind(blockType);
    } else {
        if (blockType != 2 && blockType != 4) {
            reportError(state, "Unknown bss block type in %s\n", module.fileName->c_str());
            return std::nullopt;
        }
        section = SectionKind(blockType);
    }
    // a module has one part of each section: a second chunk for it is refused
    if (!(module.*kSectionFields[uint32_t(section)].chunk).empty()) {
        reportError(state, "Duplicate %s section in %s\n", sectionName(uint32_t(section)),
                    module.fileName->c_str());
        return std::nullopt;
    }
    return section;
}

}  // namespace tarnel
