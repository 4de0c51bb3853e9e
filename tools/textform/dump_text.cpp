// From chunk file bytes to the text form. The file is walked as the linker
// walks it: the first `object` chunk is its 8 header bytes alone, an end tag
// may lack its length word, and reading stops after the end chunk.
// Every byte lands in exactly one line that tarnel-mkobj turns back into it.
#include <cstdint>
#include <cstdio>
#include <ostream>

#include "objfmt/bytes.hpp"
#include "objfmt/chunk.hpp"
#include "objfmt/debug_chunk.hpp"
#include "objfmt/hex.hpp"
#include "objfmt/symbol_chunk.hpp"
#include "textform/text_tokens.hpp"
#include "textform/textform.hpp"

namespace tarnel::textform {

namespace {

constexpr uint32_t kIndentWidth = 4;
constexpr size_t kBytesPerHexLine = 16;
constexpr size_t kOffsetsPerLine = 8;
constexpr size_t kOffsetsOnXrefLine = 4;

bool isTextTag(ChunkTag tag) {
    switch (tag) {
    case ChunkTag::name:
    case ChunkTag::version:
    case ChunkTag::company:
    case ChunkTag::author:
    case ChunkTag::comment:
    case ChunkTag::date: return true;
    default: return false;
    }
}

// The chunks a `lib` chunk holds for its member module.
bool isLibMemberTag(uint32_t tag) {
    if (!isKnownTag(tag)) return false;
    switch (ChunkTag(tag - kTagBase)) {
    case ChunkTag::code:
    case ChunkTag::data:
    case ChunkTag::bss:
    case ChunkTag::reloc16:
    case ChunkTag::reloc32:
    case ChunkTag::drel16:
    case ChunkTag::link: return true;
    default: return false;
    }
}

bool allZero(std::span<const uint8_t> bytes) {
    for (uint8_t b : bytes)
        if (b) return false;
    return true;
}

// A chunk read at the top level, kept to tell which kind of file this is.
struct TopChunk {
    uint32_t tag;
    std::span<const uint8_t> payload;
    bool hasLengthWord;
};

class Dumper {
public:
    Dumper(std::span<const uint8_t> file, const DumpOptions& options) : file_(file), options_(options) {}

    void dumpFile();
    std::string kindOfFile();
    bool malformed() const { return malformed_; }
    const std::string& text() const { return text_; }

private:
    size_t offsetOf(std::span<const uint8_t> bytes) const { return size_t(bytes.data() - file_.data()); }

    void line(uint32_t depth, const std::string& s) {
        if (silent_) return;
        text_.append(depth * kIndentWidth, ' ');
        text_ += s;
        text_ += '\n';
        if (sink_ && text_.size() >= kFlushSize) flush();
    }
    void note(uint32_t depth, const std::string& s) { line(depth, "# " + s); }
    void malformedNote(uint32_t depth, const std::string& s) {
        malformed_ = true;
        line(depth, "# malformed: " + s);
    }

    void chunkLine(uint32_t depth, size_t offset, uint32_t tag, std::optional<uint32_t> length, bool truncated);
    void hexLines(uint32_t depth, std::span<const uint8_t> bytes);
    void rawBlock(uint32_t depth, std::span<const uint8_t> bytes);
    void offsetLines(uint32_t depth, std::string prefix, std::span<const uint8_t> words, size_t firstLineCount);
    bool fits(uint32_t depth, ChunkTag tag, std::span<const uint8_t> payload);
    void extraBytes(uint32_t depth, std::span<const uint8_t> payload, size_t used);

    void chunkBody(uint32_t depth, uint32_t tag, std::span<const uint8_t> payload, bool inLib);
    void textBody(uint32_t depth, std::span<const uint8_t> payload);
    void sectionBody(uint32_t depth, ChunkTag tag, std::span<const uint8_t> payload);
    void relocBody(uint32_t depth, ChunkTag tag, std::span<const uint8_t> payload);
    void drelBody(uint32_t depth, std::span<const uint8_t> payload);
    void linkBody(uint32_t depth, std::span<const uint8_t> payload);
    void linkEntry(uint32_t depth, std::span<const uint8_t> payload, const LinkEntry& e);
    std::string linkFault(std::span<const uint8_t> payload, size_t pos);
    void libraryBody(uint32_t depth, std::span<const uint8_t> payload);
    void symbolBody(uint32_t depth, std::span<const uint8_t> payload);
    void debugBody(uint32_t depth, std::span<const uint8_t> payload);
    void nameFieldLines(uint32_t depth, const std::string& item, const NameField& name, bool raw = false);
    void versionLine(uint32_t depth, std::span<const uint8_t> payload, std::optional<uint32_t> version,
                     const PayloadWalkEnd& end);
    void walkEnd(uint32_t depth, std::span<const uint8_t> payload, const PayloadWalkEnd& end, const char* last);
    void libBody(uint32_t depth, std::span<const uint8_t> payload);
    bool isEmbeddedObject() const;

    std::span<const uint8_t> file_;
    const DumpOptions& options_;
    std::string text_;
    bool malformed_ = false;
    // what tells an embedded object: how many top-level chunks, the last two,
    // and the first after the object chunk that such a file does not hold
    void topChunk(const TopChunk& chunk);
    size_t chunkCount_ = 0;
    TopChunk last_{}, beforeLast_{};
    size_t firstStranger_ = SIZE_MAX;
    // the text so far goes here once it is this long, when there is a sink
    static constexpr size_t kFlushSize = size_t(1) << 20;
    void (*sink_)(void*, std::string_view) = nullptr;
    void* sinkContext_ = nullptr;
    bool silent_ = false;  // the walk only frames the chunks: no text

public:
    // Frames the top-level chunks without making any text, for kindOfFile.
    void frameOnly() { silent_ = true; }
    void flushTo(void (*sink)(void*, std::string_view), void* context) {
        sink_ = sink;
        sinkContext_ = context;
    }
    void flush() {
        if (sink_ && !text_.empty()) sink_(sinkContext_, text_);
        text_.clear();
    }
};

void Dumper::topChunk(const TopChunk& chunk) {
    const uint32_t t = chunk.tag;
    const bool held = t == tagWord(ChunkTag::processor) || t == tagWord(ChunkTag::code) ||
                      t == tagWord(ChunkTag::data) || t == tagWord(ChunkTag::bss) ||
                      t == tagWord(ChunkTag::reloc16) || t == tagWord(ChunkTag::reloc32);
    if (chunkCount_ >= 1 && !held && firstStranger_ == SIZE_MAX) firstStranger_ = chunkCount_;
    beforeLast_ = last_;
    last_ = chunk;
    ++chunkCount_;
}

void Dumper::chunkLine(uint32_t depth, size_t offset, uint32_t tag, std::optional<uint32_t> length, bool truncated) {
    std::string s = format("%08zX %s", offset, tagToken(tag).c_str());
    if (length) s += format(" length %u", *length);
    if (truncated) s += " truncated";
    if (!isKnownTag(tag))
        s += "  # not one of the 32 tags";
    else if (tagToken(tag).starts_with("0x"))
        s += format("  # %s", chunkTagName(tag - kTagBase));
    else if (!length)
        s += "  # the tag alone, no length word";
    line(depth, s);
}

void Dumper::hexLines(uint32_t depth, std::span<const uint8_t> bytes) {
    if (silent_) return;
    for (size_t start = 0; start < bytes.size(); start += kBytesPerHexLine) {
        std::string s = format("%04zX:", start);
        size_t stop = std::min(bytes.size(), start + kBytesPerHexLine);
        for (size_t i = start; i < stop; ++i) {
            s += ' ';
            s.append(kHex.upper[bytes[i]], 2);
        }
        line(depth, s);
    }
}

void Dumper::rawBlock(uint32_t depth, std::span<const uint8_t> bytes) {
    line(depth, format("%08zX raw", offsetOf(bytes)));
    hexLines(depth + 1, bytes);
}

// Big-endian words, a few on the first line after the prefix and eight on
// each following "at" line.
void Dumper::offsetLines(uint32_t depth, std::string prefix, std::span<const uint8_t> words, size_t firstLineCount) {
    size_t count = words.size() / 4;
    size_t i = 0;
    std::string s = std::move(prefix);
    for (size_t n = 0; i < count && n < firstLineCount; ++i, ++n) s += " " + hexWord(readWordBE(&words[4 * i]));
    if (!s.empty()) line(depth, s);
    while (i < count) {
        s = "at";
        for (size_t n = 0; i < count && n < kOffsetsPerLine; ++i, ++n) s += " " + hexWord(readWordBE(&words[4 * i]));
        line(depth, s);
    }
}

// A payload too short for its layout is shown as bytes alone.
bool Dumper::fits(uint32_t depth, ChunkTag tag, std::span<const uint8_t> payload) {
    const size_t minimum = payloadRule(tag).minimum;
    if (payload.size() >= minimum) return true;
    malformedNote(depth, format("a %s payload needs %zu bytes, this one has %s", chunkTagName(uint32_t(tag)), minimum,
                                byteCount(payload.size()).c_str()));
    hexLines(depth, payload);
    return false;
}

void Dumper::extraBytes(uint32_t depth, std::span<const uint8_t> payload, size_t used) {
    if (payload.size() <= used) return;
    note(depth, format("%s after the first %zu, which readers do not look at", byteCount(payload.size() - used).c_str(),
                       used));
    hexLines(depth, payload.subspan(used));
}

void Dumper::dumpFile() {
    const size_t size = file_.size();
    size_t start = 0;
    if (size >= kChunkHeaderSize && readWordBE(file_.data()) == tagWord(ChunkTag::object)) {
        // the object chunk is its header alone: the next chunk follows it
        const uint32_t length = readWordBE(&file_[4]);
        chunkLine(0, 0, tagWord(ChunkTag::object), length, false);
        if (length != 0)
            malformedNote(1, format("the length word is %u, not 0; readers ignore it and read the next "
                                    "chunk right after these 8 bytes",
                                    length));
        topChunk({tagWord(ChunkTag::object), {}, true});
        start = kChunkHeaderSize;
    }
    const ChunkWalkEnd end = walkChunks(file_, start, [&](const Chunk& chunk) {
        chunkLine(0, chunk.offset, chunk.tag, chunk.hasLengthWord ? std::optional(chunk.length) : std::nullopt, false);
        if (!silent_) chunkBody(1, chunk.tag, chunk.payload, false);
        topChunk({chunk.tag, chunk.payload, chunk.hasLengthWord});
    });
    const size_t left = size - end.offset;
    switch (end.status) {
    case ChunkWalkStatus::end:
    case ChunkWalkStatus::endTagAlone:
        if (left == 0) return;
        malformedNote(0, format("%s after the end chunk", byteCount(left).c_str()));
        rawBlock(0, file_.subspan(end.offset));
        return;
    case ChunkWalkStatus::fileEnded:
        malformedNote(0, size == 0 ? "the file is empty" : "the file ends without an end chunk");
        return;
    case ChunkWalkStatus::headerCut:
        if (left < 4)
            malformedNote(0, format("%s left, too few for a chunk header", byteCount(left).c_str()));
        else
            malformedNote(0, format("a chunk header needs 8 bytes, the file has %s left", byteCount(left).c_str()));
        rawBlock(0, file_.subspan(end.offset));
        return;
    case ChunkWalkStatus::payloadCut:
        chunkLine(0, end.offset, end.tag, end.length, true);
        malformedNote(1, format("the file ends after %s of the payload's %u", byteCount(left - 8).c_str(), end.length));
        hexLines(1, file_.subspan(end.offset + kChunkHeaderSize));
        return;
    }
}

void Dumper::chunkBody(uint32_t depth, uint32_t tag, std::span<const uint8_t> payload, bool inLib) {
    if (payload.empty()) return;  // a chunk of length 0 carries nothing
    if (!isKnownTag(tag)) {
        hexLines(depth, payload);
        return;
    }
    const ChunkTag kind = ChunkTag(tag - kTagBase);
    if (isTextTag(kind)) {
        textBody(depth, payload);
        return;
    }
    switch (kind) {
    case ChunkTag::header:
        if (!fits(depth, kind, payload)) return;
        line(depth, format("image-size %u", readWordBE(&payload[0])));
        line(depth, format("base-size %u", readWordBE(&payload[4])));
        extraBytes(depth, payload, 8);
        return;
    case ChunkTag::processor: {
        if (!fits(depth, kind, payload)) return;
        uint32_t id = readWordBE(&payload[0]);
        std::string cpu = (id & 0xF) ? format("%04x%x", id >> 16, id & 0xF) : format("%04x", id >> 16);
        line(depth, format("id %s  # cpu %s", hexWord(id).c_str(), cpu.c_str()));
        line(depth, "word " + hexWord(readWordBE(&payload[4])));
        extraBytes(depth, payload, 8);
        return;
    }
    case ChunkTag::code:
    case ChunkTag::data:
    case ChunkTag::bss: sectionBody(depth, kind, payload); return;
    case ChunkTag::reloc16:
    case ChunkTag::reloc32: relocBody(depth, kind, payload); return;
    case ChunkTag::drel16: drelBody(depth, payload); return;
    case ChunkTag::link: linkBody(depth, payload); return;
    case ChunkTag::library: libraryBody(depth, payload); return;
    case ChunkTag::symbol: symbolBody(depth, payload); return;
    case ChunkTag::debug: debugBody(depth, payload); return;
    case ChunkTag::lib:
        if (inLib) {
            malformedNote(depth, "a lib chunk inside a lib chunk");
            hexLines(depth, payload);
        } else {
            libBody(depth, payload);
        }
        return;
    case ChunkTag::object:
        note(depth, "readers never look into an object chunk's payload");
        hexLines(depth, payload);
        return;
    case ChunkTag::end:
        note(depth, "readers drop an end chunk's payload");
        hexLines(depth, payload);
        return;
    default: hexLines(depth, payload); return;
    }
}

// A text runs to its first NUL; whatever follows the NUL is not read.
void Dumper::textBody(uint32_t depth, std::span<const uint8_t> payload) {
    std::string_view text = textOf(payload);
    if (text.size() == payload.size()) {
        malformedNote(depth, "the text has no NUL byte: " + quoted(text));
        hexLines(depth, payload);
        return;
    }
    line(depth, "text " + quoted(text));
    std::span<const uint8_t> rest = payload.subspan(text.size() + 1);
    if (rest.empty()) return;
    note(depth, "after the NUL, not read:");
    hexLines(depth, rest);
}

void Dumper::sectionBody(uint32_t depth, ChunkTag tag, std::span<const uint8_t> payload) {
    const bool isBss = tag == ChunkTag::bss;
    if (!fits(depth, tag, payload)) return;
    const uint32_t block = readWordBE(&payload[0]);
    line(depth, "block " + sectionToken(block));
    if (tag == ChunkTag::data && block != 1 && block != 3)
        malformedNote(depth, "a data chunk's block type is 1 (data) or 3 (base)");
    if (isBss) {
        if (block != 2 && block != 4) malformedNote(depth, "a bss chunk's block type is 2 (bss) or 4 (bssb)");
        line(depth, format("size %u", readWordBE(&payload[4])));
        extraBytes(depth, payload, 8);
        return;
    }
    std::span<const uint8_t> bytes = payload.subspan(4);
    if (options_.sectionBytesInFull)
        hexLines(depth, bytes);
    else if (!bytes.empty())
        line(depth, format("bytes %zu", bytes.size()));
}

void Dumper::relocBody(uint32_t depth, ChunkTag tag, std::span<const uint8_t> payload) {
    const char* name = chunkTagName(uint32_t(tag));
    if (!fits(depth, tag, payload)) return;
    if (!payloadRule(tag).fits(payload.size())) {
        malformedNote(depth, format("a %s payload is 8 bytes plus 4 per offset; this one has %s", name,
                                    byteCount(payload.size()).c_str()));
        hexLines(depth, payload);
        return;
    }
    line(depth, "from " + sectionToken(readWordBE(&payload[0])));
    line(depth, "to " + sectionToken(readWordBE(&payload[4])));
    offsetLines(depth, "", payload.subspan(8), 0);
}

void Dumper::drelBody(uint32_t depth, std::span<const uint8_t> payload) {
    if (!fits(depth, ChunkTag::drel16, payload)) return;
    if (!payloadRule(ChunkTag::drel16).fits(payload.size())) {
        malformedNote(depth,
                      format("a drel16 payload is whole words; this one has %s", byteCount(payload.size()).c_str()));
        hexLines(depth, payload);
        return;
    }
    line(depth, "block " + sectionToken(readWordBE(&payload[0])));
    offsetLines(depth, "", payload.subspan(4), 0);
}

// The entries as the linker walks them; from the first entry it cannot read
// on, the payload is shown as bytes, with what is wrong.
void Dumper::linkBody(uint32_t depth, std::span<const uint8_t> payload) {
    size_t pos = 0;  // where the entries read so far end
    LinkWalkStatus status = walkLinkChunk(payload, [&](const LinkEntry& e) {
        linkEntry(depth, payload, e);
        pos = e.offset + 4;
        if (e.kind != LinkEntry::Kind::other) pos += 4 + (e.fieldLength & ~3u);
        if (e.kind == LinkEntry::Kind::xref) pos += 4 * size_t(e.value);
    });
    if (status == LinkWalkStatus::malformed) {
        malformedNote(depth, linkFault(payload, pos));
        hexLines(depth, payload.subspan(pos));
        return;
    }
    line(depth, "terminator");
    if (pos + 4 < payload.size()) {
        note(depth, "after the terminator, not read:");
        hexLines(depth, payload.subspan(pos + 4));
    }
}

void Dumper::linkEntry(uint32_t depth, std::span<const uint8_t> payload, const LinkEntry& e) {
    const uint32_t entryWord = readWordBE(&payload[e.offset]);
    if (e.kind == LinkEntry::Kind::other) {
        line(depth,
             format("word %s  # type byte 0x%02X: the word is a whole entry", hexWord(entryWord).c_str(), e.type));
        return;
    }
    const bool isXref = e.kind == LinkEntry::Kind::xref;
    std::span<const uint8_t> field = payload.subspan(e.offset + 8, e.fieldLength & ~3u);
    std::span<const uint8_t> offsets = payload.subspan(e.offset + 8 + field.size(), isXref ? 4 * size_t(e.value) : 0);
    const std::string what = isXref ? format("xref %s %s", accessToken(e.type).c_str(), quoted(e.name).c_str())
                                    : format("xdef %s %s %s", sectionToken(e.type - 0x80u).c_str(),
                                             hexWord(e.value).c_str(), quoted(e.name).c_str());
    // the written form: the name, a NUL and zeros to a multiple of 4
    if (e.fieldLength == nameFieldLength(uint32_t(e.name.size())) && allZero(field.subspan(e.name.size()))) {
        offsetLines(depth, isXref ? what + (e.value ? " at" : "") : what, offsets, kOffsetsOnXrefLine);
        return;
    }
    if (e.fieldLength % 4 != 0)
        malformedNote(depth, what + format(": the name field length %u is not a multiple of 4", e.fieldLength));
    else if (e.name.size() == field.size())
        malformedNote(depth, what + ": the name field holds no NUL");
    else
        note(depth, what + format(": the name field length %u is not the written form", e.fieldLength));
    line(depth, "word " + hexWord(entryWord));
    line(depth, "word " + hexWord(e.value));
    hexLines(depth, field);
    offsetLines(depth, "", offsets, 0);
}

// Says why the walk stopped at pos.
std::string Dumper::linkFault(std::span<const uint8_t> payload, size_t pos) {
    const size_t left = payload.size() - pos;
    if (left == 0) return "the entries end without the terminator 0xFF000000";
    if (left < 4) return format("%s left, too few for an entry word; no terminator", byteCount(left).c_str());
    const uint32_t word = readWordBE(&payload[pos]);
    const uint32_t type = word >> 24, field = word & 0xFFFFFC;
    const char* kind = isXrefType(type) ? "xref" : "xdef";
    if (left < 8)
        return format("the %s entry's %s word runs past the payload", kind, isXrefType(type) ? "count" : "value");
    if (left - 8 < field)
        return format("the %s entry's name field of %s runs past the payload", kind, byteCount(field).c_str());
    return format("the xref entry's %u offsets run past the payload", readWordBE(&payload[pos + 4]));
}

// The library symbol table: per entry a name field length N, the name field,
// zeros up to a multiple of 4, and the defining module's number.
void Dumper::libraryBody(uint32_t depth, std::span<const uint8_t> payload) {
    const LibraryTableEnd end = walkLibraryTable(payload, [&](const LibraryTableEntry& e) {
        const std::string what = format("export %s module %u", quoted(e.name).c_str(), e.module);
        if (e.fieldLength == nameFieldLength(uint32_t(e.name.size())) && allZero(e.field.subspan(e.name.size()))) {
            line(depth, what);
            return;
        }
        if (e.name.size() == e.fieldLength)
            malformedNote(depth, what + ": the name field holds no NUL");
        else
            note(depth, what + format(": the name field length %u is not the written form", e.fieldLength));
        line(depth, "word " + hexWord(e.fieldLength));
        hexLines(depth, e.field);
        line(depth, "word " + hexWord(e.module));
    });
    if (end.whole) return;
    const size_t left = payload.size() - end.offset;
    malformedNote(depth, left < 4 ? format("%s left, too few for an entry", byteCount(left).c_str())
                                  : format("an entry with a name field of %s runs past the payload",
                                           byteCount(readWordBE(&payload[end.offset])).c_str()));
    hexLines(depth, payload.subspan(end.offset));
}

// A name field in the written form is the item and the quoted name;
// otherwise, or when asked for raw, its length word and its bytes, with what
// is odd about it.
void Dumper::nameFieldLines(uint32_t depth, const std::string& item, const NameField& name, bool raw) {
    if (name.written() && !raw) {
        line(depth, item + " " + quoted(name.name));
        return;
    }
    // a field in the written form is shown raw for its entry's sake, which says why
    if (name.written()) {
    } else if (name.name.size() == name.field.size()) {
        note(depth, format("%s %s: the name field holds no NUL", item.c_str(), quoted(name.name).c_str()));
    } else {
        note(depth, format("%s %s: the name field length %u is not the written form", item.c_str(),
                           quoted(name.name).c_str(), name.fieldLength));
    }
    line(depth, "word " + hexWord(name.fieldLength));
    hexLines(depth, name.field);
}

void Dumper::versionLine(uint32_t depth, std::span<const uint8_t> payload, std::optional<uint32_t> version,
                         const PayloadWalkEnd& end) {
    if (version) line(depth, format("payload-version %u", *version));
    if (end.status == PayloadWalkEnd::Status::otherVersion) {
        note(depth, format("version %u: this dump reads version 1 only; the rest as bytes", *version));
        hexLines(depth, payload.subspan(4));
    }
}

// Where a walk over a `symbol` or `debug` payload stopped: a cut piece is
// malformed, bytes after the last piece are not read.
void Dumper::walkEnd(uint32_t depth, std::span<const uint8_t> payload, const PayloadWalkEnd& end, const char* last) {
    if (end.status == PayloadWalkEnd::Status::otherVersion) return;
    if (end.status == PayloadWalkEnd::Status::cut) {
        malformedNote(depth, format("%s runs past the payload", end.what));
        hexLines(depth, payload.subspan(end.offset));
        return;
    }
    if (end.offset == payload.size()) return;
    note(depth, format("%s after the %s, which readers do not look at", byteCount(payload.size() - end.offset).c_str(),
                       last));
    hexLines(depth, payload.subspan(end.offset));
}

// payload-version, file name, count, then one line per entry:
// entry BINDING TYPE SECTION VALUE size SIZE "name"
void Dumper::symbolBody(uint32_t depth, std::span<const uint8_t> payload) {
    const SymbolChunk chunk = readSymbolChunk(payload);
    versionLine(depth, payload, chunk.version, chunk.end);
    if (chunk.file) nameFieldLines(depth, "file", *chunk.file);
    if (chunk.count) line(depth, format("count %u", *chunk.count));
    for (const SymbolEntry& e : chunk.entries) {
        const std::string what =
            format("entry %s %s %s %s size %u", byteFieldToken(ByteField::binding, e.binding).c_str(),
                   byteFieldToken(ByteField::symbolType, e.type).c_str(),
                   byteFieldToken(ByteField::symbolSection, e.section).c_str(), hexWord(e.value).c_str(), e.size);
        if (e.spare == 0 && e.name.written()) {
            line(depth, what + " " + quoted(e.name.name));
            continue;
        }
        if (e.spare != 0) note(depth, format("%s %s: its fourth byte is 0x%02X, not 0", what.c_str(),
                                             quoted(e.name.name).c_str(), e.spare));
        line(depth, "word " + hexWord(readWordBE(&payload[e.offset])));
        line(depth, "word " + hexWord(e.value));
        line(depth, "word " + hexWord(e.size));
        nameFieldLines(depth, what, e.name, true);
    }
    walkEnd(depth, payload, chunk.end, "last entry");
}

// payload-version, the counts, the names, then each section: its head, its bytes and
// padding as hex lines, one line per relocation:
// reloc OFFSET KIND INDEX ADDEND
void Dumper::debugBody(uint32_t depth, std::span<const uint8_t> payload) {
    const DebugChunk chunk = readDebugChunk(payload);
    versionLine(depth, payload, chunk.version, chunk.end);
    if (chunk.head) {
        line(depth, format("sections %u", chunk.head->sectionCount));
        line(depth, format("names %u", chunk.head->nameCount));
    }
    for (const NameField& name : chunk.names) nameFieldLines(depth, "symbol-name", name);
    for (const DebugSection& s : chunk.sections) {
        const std::string counts = format("align %u size %u relocs %u", s.align, s.size, s.relocCount);
        if (s.name.written()) {
            line(depth, "section " + quoted(s.name.name) + " " + counts);
        } else {
            nameFieldLines(depth, "section", s.name);
            line(depth, "word " + hexWord(s.align) + " " + hexWord(s.size) + " " + hexWord(s.relocCount) + "  # " +
                            counts);
        }
        hexLines(depth + 1, payload.subspan(size_t(s.bytes.data() - payload.data()), s.bytes.size() + s.padding.size()));
        for (uint32_t i = 0; i < s.relocCount; ++i) {
            const DebugReloc r = s.reloc(i);
            const bool part = r.kind == uint8_t(DebugTarget::part);
            std::string text = format("reloc %s %s %s %s", hexWord(r.offset).c_str(),
                                      byteFieldToken(ByteField::targetKind, r.kind).c_str(),
                                      part ? sectionToken(r.index).c_str() : std::to_string(r.index).c_str(),
                                      hexWord(r.addend).c_str());
            // what the index names, where the chunk has it
            if (r.kind == uint8_t(DebugTarget::debugSection) && r.index < chunk.sections.size())
                text += "  # " + quoted(chunk.sections[r.index].name.name);
            else if (r.kind == uint8_t(DebugTarget::name) && r.index < chunk.names.size())
                text += "  # " + quoted(chunk.names[r.index].name);
            line(depth + 1, text);
        }
    }
    walkEnd(depth, payload, chunk.end, "last section");
}

// A library member: complete chunks, each with its 8-byte header, framed by
// the walk every reader of chunks uses; a member has no end chunk of its own.
void Dumper::libBody(uint32_t depth, std::span<const uint8_t> payload) {
    const ChunkWalkEnd end = walkChunks(payload, 0, [&](const Chunk& chunk) {
        chunkLine(depth, offsetOf(payload) + chunk.offset, chunk.tag,
                  chunk.hasLengthWord ? std::optional(chunk.length) : std::nullopt, false);
        if (!isLibMemberTag(chunk.tag)) note(depth + 1, "a lib chunk holds no chunk of this kind");
        chunkBody(depth + 1, chunk.tag, chunk.payload, true);
    });
    const size_t left = payload.size() - end.offset;
    switch (end.status) {
    case ChunkWalkStatus::fileEnded: return;
    case ChunkWalkStatus::end:
    case ChunkWalkStatus::endTagAlone:
        if (left == 0) return;
        malformedNote(depth, format("%s in the lib chunk after an end chunk", byteCount(left).c_str()));
        rawBlock(depth, payload.subspan(end.offset));
        return;
    case ChunkWalkStatus::headerCut:
        malformedNote(depth, format("%s left in the lib chunk, too few for a chunk header", byteCount(left).c_str()));
        rawBlock(depth, payload.subspan(end.offset));
        return;
    case ChunkWalkStatus::payloadCut:
        chunkLine(depth, offsetOf(payload) + end.offset, end.tag, end.length, true);
        malformedNote(depth + 1, format("the lib chunk ends after %s of the payload's %u",
                                        byteCount(left - 8).c_str(), end.length));
        hexLines(depth + 1, payload.subspan(end.offset + kChunkHeaderSize));
        return;
    }
}

// The layout the linker writes for -e: object, the section and relocation
// chunks, one link chunk exporting one label at the start of the code, end.
bool Dumper::isEmbeddedObject() const {
    if (chunkCount_ < 3 || last_.tag != tagWord(ChunkTag::end) || last_.hasLengthWord) return false;
    const TopChunk& link = beforeLast_;
    if (link.tag != tagWord(ChunkTag::link)) return false;
    // every chunk between the object chunk and the link chunk is one such a file holds
    if (firstStranger_ < chunkCount_ - 2) return false;
    int entries = 0;
    bool labelAtCodeStart = false;
    LinkWalkStatus status = walkLinkChunk(link.payload, [&](const LinkEntry& e) {
        ++entries;
        labelAtCodeStart = e.kind == LinkEntry::Kind::xdef && e.type == 0x80 && e.value == 0;
    });
    return status == LinkWalkStatus::ok && entries == 1 && labelAtCodeStart;
}

std::string Dumper::kindOfFile() {
    if (file_.size() < 4) return file_.empty() ? "empty" : "too short for a chunk file";
    const uint32_t first = readWordBE(file_.data());
    if (first == tagWord(ChunkTag::object))
        return isEmbeddedObject() ? "object module laid out as an embedded object" : "object module";
    if (first == tagWord(ChunkTag::header)) return "executable";
    if (first == tagWord(ChunkTag::library)) return "library";
    malformed_ = true;
    return "no known kind: it begins with a " + tagToken(first) + " chunk";
}

}  // namespace

namespace {

// The heading comment lines of a dump.
std::string heading(std::span<const uint8_t> file, std::string_view fileName, const DumpOptions& options,
                    const std::string& kind) {
    // the name sits in a comment line: a control byte in it must not end the line
    std::string name(fileName);
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 0x20) c = '?';
    std::string out = format("# %s: %s, %s\n", name.c_str(), kind.c_str(), byteCount(file.size()).c_str());
    if (!options.sectionBytesInFull)
        out += "# section bytes shown by their size only: tarnel-mkobj cannot build this text\n";
    return out;
}

}  // namespace

bool dumpChunkFile(std::span<const uint8_t> file, std::string_view fileName, const DumpOptions& options,
                   std::string& out) {
    Dumper dumper(file, options);
    dumper.dumpFile();
    const std::string kind = dumper.kindOfFile();
    out += heading(file, fileName, options, kind);
    out += dumper.text();
    return !dumper.malformed();
}

bool dumpChunkFile(std::span<const uint8_t> file, std::string_view fileName, const DumpOptions& options,
                   std::ostream& out) {
    // the kind heads the text, so a first walk frames the chunks to tell it;
    // the second writes the text out as it goes, never holding all of it
    Dumper framing(file, options);
    framing.frameOnly();
    framing.dumpFile();
    const std::string kind = framing.kindOfFile();
    out << heading(file, fileName, options, kind);
    Dumper dumper(file, options);
    dumper.flushTo([](void* to, std::string_view text) { *static_cast<std::ostream*>(to) << text; }, &out);
    dumper.dumpFile();
    dumper.flush();
    // a file of no known kind is malformed, which only the kind tells
    return !dumper.malformed() && !framing.malformed();
}

}  // namespace tarnel::textform
