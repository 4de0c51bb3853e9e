#include "output/embedded.hpp"

#include "objfmt/chunk.hpp"
#include "objfmt/chunk_builder.hpp"

namespace tarnel {

uint32_t writeEntryLink(OutputFile& file, std::string_view label) {
    LinkPayloadBuilder payload;
    // an xdef in the code section with value 0, whatever the label names
    payload.xdef(SectionKind::code, 0, label);
    ByteBuilder chunk;
    chunk.chunk(ChunkTag::link, payload.finish());
    file.write(chunk.bytes().data(), chunk.size());
    return uint32_t(chunk.size());
}

}  // namespace tarnel
