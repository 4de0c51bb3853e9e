// A library among a link's inputs: its symbol table is searched in passes,
// and each member defining a name still referenced and undefined is loaded
// into the next slot like an object file, until a pass pulls nothing.
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "driver/diag.hpp"
#include "objfmt/bytes.hpp"
#include "objfmt/chunk.hpp"
#include "objfmt/module_chunks.hpp"

namespace tarnel {

namespace {

struct TableEntry {
    std::string_view name;
    uint32_t number;
};

struct Member {
    std::span<uint8_t> chunks;           // the lib chunk's payload
    std::vector<std::string_view> xdefs;  // the names its link chunk defines, in order
    bool loaded = false;
};

struct Library {
    std::vector<TableEntry> table;
    std::vector<Member> members;
    std::unordered_map<uint32_t, uint32_t> memberOfNumber;
};

// The chunks inside a lib payload, each whole, with writable payloads (the
// link patches them); false when one runs past the payload or stops short.
template <class OnChunk>
bool walkMemberChunks(std::span<uint8_t> chunks, OnChunk&& onChunk) {
    bool accepted = true;
    const ChunkWalkEnd end = walkChunks(chunks, 0, [&](const Chunk& c) {
        if (accepted) accepted = onChunk(c.tag, chunks.subspan(c.offset + kChunkHeaderSize, c.length));
    });
    // a member has no end chunk of its own; one as its last chunk is let be
    const bool whole = end.status == ChunkWalkStatus::fileEnded ||
                       ((end.status == ChunkWalkStatus::end || end.status == ChunkWalkStatus::endTagAlone) &&
                        end.offset == chunks.size());
    return accepted && whole;
}

// Frames the library: the symbol table, the lib chunks up to the end tag,
// each member's chunks, and a member for every module number. False when
// anything does not fit.
bool readLibrary(std::span<uint8_t> bytes, Library& lib) {
    if (bytes.size() < 8) return false;
    const uint32_t tableLength = readWordBE(bytes.data() + 4);
    if (tableLength > bytes.size() - 8) return false;
    const LibraryTableEnd tableEnd = walkLibraryTable(bytes.subspan(8, tableLength), [&](const LibraryTableEntry& e) {
        lib.table.push_back({e.name, e.module});
    });
    if (!tableEnd.whole) return false;
    bool fits = true;
    const ChunkWalkEnd end = walkChunks(bytes, 8 + size_t(tableLength), [&](const Chunk& c) {
        if (!fits || c.tag != tagWord(ChunkTag::lib)) return;
        Member member{bytes.subspan(c.offset + kChunkHeaderSize, c.length), {}};
        fits = walkMemberChunks(member.chunks, [&](uint32_t t, std::span<uint8_t> payload) {
            if (t != tagWord(ChunkTag::link)) return true;
            return walkLinkChunk(payload, [&](const LinkEntry& e) {
                       if (e.kind == LinkEntry::Kind::xdef) member.xdefs.push_back(e.name);
                   }) == LinkWalkStatus::ok;
        });
        lib.members.push_back(std::move(member));
    });
    // the lib chunks end at the end tag, or with the file
    if (!fits || end.status == ChunkWalkStatus::headerCut || end.status == ChunkWalkStatus::payloadCut) return false;
    // a number means the member whose xdefs are that number's names, in order
    std::unordered_map<std::string_view, std::vector<uint32_t>> byFirstName;
    for (uint32_t m = 0; m < lib.members.size(); ++m)
        if (!lib.members[m].xdefs.empty()) byFirstName[lib.members[m].xdefs.front()].push_back(m);
    std::unordered_set<uint32_t> taken;
    for (size_t i = 0; i < lib.table.size();) {
        const uint32_t number = lib.table[i].number;
        size_t end = i;
        while (end < lib.table.size() && lib.table[end].number == number) ++end;
        if (lib.memberOfNumber.contains(number)) return false;
        bool found = false;
        for (uint32_t m : byFirstName[lib.table[i].name]) {
            const std::vector<std::string_view>& xdefs = lib.members[m].xdefs;
            if (taken.contains(m) || xdefs.size() != end - i) continue;
            bool same = true;
            for (size_t k = i; k < end && same; ++k) same = xdefs[k - i] == lib.table[k].name;
            if (!same) continue;
            lib.memberOfNumber[number] = m;
            taken.insert(m);
            found = true;
            break;
        }
        if (!found) return false;
        i = end;
    }
    return true;
}

}  // namespace

void loadLibraryFile(LinkState& state, const std::string& path, std::span<uint8_t> bytes) {
    if (state.options.libraryMode) {
        // the refused library still takes its slot, as a file that cannot be loaded does
        if (beginSlot(state, path)) {
            reportError(state, "File %s is a library; -g packs object files only\n", path.c_str());
            endSlot(state);
        }
        return;
    }
    Library lib;
    if (!readLibrary(bytes, lib)) {
        reportError(state, "Library %s is malformed\n", path.c_str());
        return;
    }
    state.libraryLinked = true;

    // the names defined so far, and the first module referencing each name
    std::unordered_set<std::string_view> defined;
    std::unordered_map<std::string_view, int16_t> referenced;
    size_t xdefsSeen = 0, xrefsSeen = 0;
    auto catchUp = [&] {
        for (; xdefsSeen < state.xdefList.size(); ++xdefsSeen) defined.insert(state.xdefList[xdefsSeen].name);
        for (; xrefsSeen < state.xrefList.size(); ++xrefsSeen)
            referenced.emplace(state.xrefList[xrefsSeen].name, state.xrefList[xrefsSeen].module);
    };
    catchUp();

    for (bool pulled = true; pulled;) {
        pulled = false;
        for (const TableEntry& entry : lib.table) {
            Member& member = lib.members[lib.memberOfNumber.at(entry.number)];
            if (member.loaded || defined.contains(entry.name)) continue;
            auto ref = referenced.find(entry.name);
            if (ref == referenced.end()) continue;
            const std::string name = path + "(" + std::to_string(entry.number) + ")";
            member.loaded = true;
            if (!beginSlot(state, name)) continue;
            pulled = true;
            Module& module = currentModule(state);
            module.fileName = name;
            module.moduleName = name;
            if (name.size() > state.widths.widestModuleName) state.widths.widestModuleName = uint32_t(name.size());
            state.libraryPulls.push_back({name, std::string(entry.name),
                                          *state.modules[uint32_t(ref->second)].fileName, state.moduleCount, path,
                                          entry.number});
            walkMemberChunks(member.chunks, [&](uint32_t tag, std::span<uint8_t> payload) {
                loadModuleChunk(state, name, tag, payload);
                return true;
            });
            endSlot(state);
            catchUp();
        }
    }
}

}  // namespace tarnel
