// Walk over the entries of a `link` payload (included by chunk.hpp).
#pragma once

#include "objfmt/bytes.hpp"

namespace tarnel {

template <class OnEntry>
LinkWalkStatus walkLinkChunk(std::span<const uint8_t> payload, OnEntry&& onEntry) {
    const uint8_t* base = payload.data();
    const uint64_t size = payload.size();
    uint64_t pos = 0;
    for (;;) {
        if (size - pos < 4) return LinkWalkStatus::malformed;  // no terminator
        uint32_t word = readWordBE(base + pos);
        if (word == kLinkTerminator) return LinkWalkStatus::ok;
        LinkEntry e{};
        e.offset = uint32_t(pos);
        e.type = uint8_t(word >> 24);
        e.fieldLength = word & 0xFFFFFF;
        pos += 4;
        if (isXrefType(e.type) || isXdefType(e.type)) {
            // the name field is passed over as N rounded down to a multiple of 4
            uint64_t field = e.fieldLength & ~3u;
            if (size - pos < 4 + field) return LinkWalkStatus::malformed;
            e.value = readWordBE(base + pos);
            pos += 4;
            e.name = textOf(payload.subspan(pos, field));
            pos += field;
            if (isXrefType(e.type)) {
                e.kind = LinkEntry::Kind::xref;
                if ((size - pos) / 4 < e.value) return LinkWalkStatus::malformed;
                e.offsets = base + pos;
                pos += uint64_t(e.value) * 4;
            } else {
                e.kind = LinkEntry::Kind::xdef;
            }
        } else {
            // any other type byte: the entry word is the whole entry
            e.kind = LinkEntry::Kind::other;
        }
        onEntry(e);
    }
}

}  // namespace tarnel
