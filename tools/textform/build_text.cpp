// From the text form to chunk file bytes. Lines nest by indentation: a chunk
// line at the left holds the lines indented under it, and a chunk line
// indented under another chunk becomes part of that chunk's payload (how a
// lib chunk holds its member's chunks). Each item line appends its bytes to
// the payload of the chunk it is under; a chunk's length word is the count
// of those bytes unless its line gives one.
#include <algorithm>
#include <cstdio>

#include "objfmt/bytes.hpp"
#include "objfmt/chunk.hpp"
#include "objfmt/chunk_builder.hpp"
#include "objfmt/debug_chunk.hpp"
#include "textform/text_tokens.hpp"
#include "textform/textform.hpp"

namespace tarnel::textform {

namespace {

// A token as the messages show it.
std::string shown(const Token& t) { return t.quoted ? quoted(t.text) : "'" + t.text + "'"; }

// The file, a chunk, or a raw block: what a line can be under.
struct Node {
    enum class Kind { file, chunk, raw };
    explicit Node(Kind k) : kind(k) {}
    Kind kind;
    uint32_t indent = 0;
    uint32_t line = 0;
    uint32_t tag = 0;
    std::optional<uint32_t> length;
    bool truncated = false;
    bool headerOnly = false;  // the file's first object chunk
    bool broken = false;      // its line had an error: its contents are not checked
    bool itemFailed = false;  // a line in it had an error: its length is not checked
    ByteBuilder payload;
    std::optional<size_t> openXrefCount;  // where the count word of the xref that "at" lines extend is
    uint32_t truncatedChildLine = 0;      // a truncated chunk ends its container
    bool hasChild = false;
    bool endSeen = false;
};

struct ItemContext {
    Node& node;
    std::span<const Token> args;
};

// Each item appends its bytes; a non-empty return is the error message.
using ItemHandler = std::string (*)(ItemContext&);

std::string expectCount(ItemContext& c, const char* keyword, size_t count, const char* what) {
    if (c.args.size() == count) return {};
    if (c.args.size() < count) return format("expected %s after '%s'", what, keyword);
    return format("unexpected %s after %s", shown(c.args[count]).c_str(), what);
}

std::string numberAt(ItemContext& c, size_t i, const char* what, uint32_t& value) {
    std::optional<uint32_t> v = c.args[i].quoted ? std::nullopt : numberFromToken(c.args[i].text);
    if (!v) return format("expected %s (decimal or 0x hex, at most 32 bits), found %s", what, shown(c.args[i]).c_str());
    value = *v;
    return {};
}

std::string sectionAt(ItemContext& c, size_t i, uint32_t& value) {
    std::optional<uint32_t> v = c.args[i].quoted ? std::nullopt : sectionFromToken(c.args[i].text);
    if (!v) return "expected a section (code, data, bss, base, bssb) or a number, found " + shown(c.args[i]);
    value = *v;
    return {};
}

std::string nameAt(ItemContext& c, size_t i, std::string_view& name) {
    name = c.args[i].text;
    if (name.find('\0') != std::string_view::npos)
        return "a name cannot hold a NUL byte (write such an entry with word and hex lines)";
    if (name.size() > 0xFFFFFF || nameFieldLength(uint32_t(name.size())) > 0xFFFFFF)
        return "the name is too long for the 24-bit field length";
    return {};
}

std::string oneWordItem(ItemContext& c, const char* keyword, const char* what) {
    if (auto e = expectCount(c, keyword, 1, what); !e.empty()) return e;
    uint32_t value = 0;
    if (auto e = numberAt(c, 0, what, value); !e.empty()) return e;
    c.node.payload.word(value);
    return {};
}

std::string sectionItem(ItemContext& c, const char* keyword) {
    if (auto e = expectCount(c, keyword, 1, "a section"); !e.empty()) return e;
    uint32_t value = 0;
    if (auto e = sectionAt(c, 0, value); !e.empty()) return e;
    c.node.payload.word(value);
    return {};
}

// Words; after an xref they are its offsets and raise its count.
std::string wordsItem(ItemContext& c, const char* keyword, bool countsForXref) {
    if (c.args.empty()) return format("expected one or more numbers after '%s'", keyword);
    for (size_t i = 0; i < c.args.size(); ++i) {
        uint32_t value = 0;
        if (auto e = numberAt(c, i, "a number", value); !e.empty()) return e;
        c.node.payload.word(value);
    }
    if (countsForXref && c.node.openXrefCount) {
        uint8_t* count = c.node.payload.bytes().data() + *c.node.openXrefCount;
        writeWordBE(count, readWordBE(count) + uint32_t(c.args.size()));
    }
    return {};
}

std::string textItem(ItemContext& c) {
    if (auto e = expectCount(c, "text", 1, "a quoted text"); !e.empty()) return e;
    if (!c.args[0].quoted) return "expected a quoted text, found " + shown(c.args[0]);
    c.node.payload.text(c.args[0].text).zeros(1);
    return {};
}

std::string xdefItem(ItemContext& c) {
    if (auto e = expectCount(c, "xdef", 3, "a section, a value and a name"); !e.empty()) return e;
    uint32_t section, value;
    std::string_view name;
    if (auto e = sectionAt(c, 0, section); !e.empty()) return e;
    if (section >= kSectionCount) return format("an xdef's section is one of the five, not %u", section);
    if (auto e = numberAt(c, 1, "a value", value); !e.empty()) return e;
    if (auto e = nameAt(c, 2, name); !e.empty()) return e;
    c.node.payload.word((0x80u + section) << 24 | nameFieldLength(uint32_t(name.size()))).word(value).nameField(name);
    return {};
}

std::string xrefItem(ItemContext& c) {
    if (c.args.size() < 2) return "expected an access type and a name after 'xref'";
    std::optional<uint32_t> type = c.args[0].quoted ? std::nullopt : accessFromToken(c.args[0].text);
    if (!type)
        return "expected an access type (absolute-8-bit, pcrelative-16-bit, relative-32-bit, ...), found " +
               shown(c.args[0]);
    std::string_view name;
    if (auto e = nameAt(c, 1, name); !e.empty()) return e;
    if (c.args.size() > 2 && (c.args[2].quoted || c.args[2].text != "at"))
        return "expected 'at' and offsets after the name, found " + shown(c.args[2]);
    ByteBuilder& p = c.node.payload;
    p.word(*type << 24 | nameFieldLength(uint32_t(name.size())));
    size_t countAt = p.size();
    p.word(0).nameField(name);
    c.node.openXrefCount = countAt;
    if (c.args.size() <= 2) return {};
    ItemContext offsets{c.node, c.args.subspan(3)};
    return wordsItem(offsets, "at", true);
}

std::string exportItem(ItemContext& c) {
    if (auto e = expectCount(c, "export", 3, "a name, 'module' and a number"); !e.empty()) return e;
    std::string_view name;
    if (auto e = nameAt(c, 0, name); !e.empty()) return e;
    if (c.args[1].quoted || c.args[1].text != "module")
        return "expected 'module' after the name, found " + shown(c.args[1]);
    uint32_t module;
    if (auto e = numberAt(c, 2, "a module number", module); !e.empty()) return e;
    c.node.payload.word(nameFieldLength(uint32_t(name.size()))).nameField(name).word(module);
    return {};
}

std::string terminatorItem(ItemContext& c) {
    if (auto e = expectCount(c, "terminator", 0, "'terminator'"); !e.empty()) return e;
    c.node.payload.word(kLinkTerminator);
    return {};
}

// A length word and the name field: `file "main.c"`, `symbol-name "table"`.
std::string nameFieldItem(ItemContext& c, const char* keyword) {
    if (auto e = expectCount(c, keyword, 1, "a quoted name"); !e.empty()) return e;
    if (!c.args[0].quoted) return "expected a quoted name, found " + shown(c.args[0]);
    std::string_view name;
    if (auto e = nameAt(c, 0, name); !e.empty()) return e;
    c.node.payload.word(nameFieldLength(uint32_t(name.size()))).nameField(name);
    return {};
}

// An expected keyword at args[i].
std::string keywordAt(ItemContext& c, size_t i, const char* keyword, const char* after) {
    if (!c.args[i].quoted && c.args[i].text == keyword) return {};
    return format("expected '%s' after %s, found %s", keyword, after, shown(c.args[i]).c_str());
}

std::string byteFieldAt(ItemContext& c, size_t i, ByteField field, const char* what, uint32_t& value) {
    std::optional<uint32_t> v = c.args[i].quoted ? std::nullopt : byteFieldFromToken(field, c.args[i].text);
    if (!v) return format("expected %s or a number up to 255, found %s", what, shown(c.args[i]).c_str());
    value = *v;
    return {};
}

// entry BINDING TYPE SECTION VALUE size SIZE "name": a `symbol` entry
std::string symbolItem(ItemContext& c) {
    if (auto e = expectCount(c, "entry", 7, "a binding, a type, a section, a value, 'size', a size and a name");
        !e.empty())
        return e;
    uint32_t binding, type, section, value, size;
    std::string_view name;
    if (auto e = byteFieldAt(c, 0, ByteField::binding, "a binding (local, global, weak)", binding); !e.empty()) return e;
    if (auto e = byteFieldAt(c, 1, ByteField::symbolType, "a type (none, object, function)", type); !e.empty()) return e;
    if (auto e = byteFieldAt(c, 2, ByteField::symbolSection, "a section (code, data, bss, base, bssb, absolute)", section);
        !e.empty())
        return e;
    if (auto e = numberAt(c, 3, "a value", value); !e.empty()) return e;
    if (auto e = keywordAt(c, 4, "size", "the value"); !e.empty()) return e;
    if (auto e = numberAt(c, 5, "a size", size); !e.empty()) return e;
    if (!c.args[6].quoted) return "expected a quoted name, found " + shown(c.args[6]);
    if (auto e = nameAt(c, 6, name); !e.empty()) return e;
    c.node.payload.word(section << 24 | binding << 16 | type << 8).word(value).word(size);
    c.node.payload.word(nameFieldLength(uint32_t(name.size()))).nameField(name);
    return {};
}

// section "NAME" align A size B relocs R: the head of a debugging section
std::string sectionHeadItem(ItemContext& c) {
    if (auto e = expectCount(c, "section", 7, "a quoted name, 'align' A, 'size' B and 'relocs' R"); !e.empty())
        return e;
    if (!c.args[0].quoted) return "expected a quoted name, found " + shown(c.args[0]);
    std::string_view name;
    if (auto e = nameAt(c, 0, name); !e.empty()) return e;
    uint32_t words[3];
    const char* keywords[3] = {"align", "size", "relocs"};
    const char* after[3] = {"the name", "the alignment", "the size"};
    for (size_t i = 0; i < 3; ++i) {
        if (auto e = keywordAt(c, 1 + 2 * i, keywords[i], after[i]); !e.empty()) return e;
        if (auto e = numberAt(c, 2 + 2 * i, "a number", words[i]); !e.empty()) return e;
    }
    c.node.payload.word(nameFieldLength(uint32_t(name.size()))).nameField(name);
    c.node.payload.word(words[0]).word(words[1]).word(words[2]);
    return {};
}

// reloc OFFSET KIND INDEX ADDEND: a relocation of a debugging section
std::string relocItem(ItemContext& c) {
    if (auto e = expectCount(c, "reloc", 4, "an offset, a target kind, an index and an addend"); !e.empty()) return e;
    uint32_t offset, kind, index, addend;
    if (auto e = numberAt(c, 0, "an offset", offset); !e.empty()) return e;
    if (auto e = byteFieldAt(c, 1, ByteField::targetKind, "a target kind (part, debug, name)", kind); !e.empty())
        return e;
    if (kind == uint32_t(DebugTarget::part)) {
        if (auto e = sectionAt(c, 2, index); !e.empty()) return e;
    } else if (auto e = numberAt(c, 2, "an index", index); !e.empty()) {
        return e;
    }
    if (index >= kDebugIndexLimit) return format("an index fits in 24 bits; %u does not", index);
    if (auto e = numberAt(c, 3, "an addend", addend); !e.empty()) return e;
    c.node.payload.word(offset).word(debugTargetWord(DebugTarget(kind), index)).word(addend);
    return {};
}

std::string bytesItem(ItemContext&) {
    return "section bytes shown by their size only cannot be built; dump the file again with its bytes in full";
}

struct ItemRule {
    std::string_view keyword;
    ItemHandler handle;
};

constexpr ItemRule kItems[] = {
    {"word", [](ItemContext& c) { return wordsItem(c, "word", false); }},
    {"at", [](ItemContext& c) { return wordsItem(c, "at", true); }},
    {"block", [](ItemContext& c) { return sectionItem(c, "block"); }},
    {"from", [](ItemContext& c) { return sectionItem(c, "from"); }},
    {"to", [](ItemContext& c) { return sectionItem(c, "to"); }},
    {"size", [](ItemContext& c) { return oneWordItem(c, "size", "a byte count"); }},
    {"image-size", [](ItemContext& c) { return oneWordItem(c, "image-size", "a byte count"); }},
    {"base-size", [](ItemContext& c) { return oneWordItem(c, "base-size", "a byte count"); }},
    {"id", [](ItemContext& c) { return oneWordItem(c, "id", "a processor id"); }},
    {"text", textItem},
    {"xdef", xdefItem},
    {"xref", xrefItem},
    {"terminator", terminatorItem},
    {"export", exportItem},
    {"payload-version", [](ItemContext& c) { return oneWordItem(c, "payload-version", "a version number"); }},
    {"count", [](ItemContext& c) { return oneWordItem(c, "count", "a number of entries"); }},
    {"sections", [](ItemContext& c) { return oneWordItem(c, "sections", "a number of sections"); }},
    {"names", [](ItemContext& c) { return oneWordItem(c, "names", "a number of names"); }},
    {"file", [](ItemContext& c) { return nameFieldItem(c, "file"); }},
    {"symbol-name", [](ItemContext& c) { return nameFieldItem(c, "symbol-name"); }},
    {"entry", symbolItem},
    {"section", sectionHeadItem},
    {"reloc", relocItem},
    {"bytes", bytesItem},
};

const ItemRule* findItem(const Token& t) {
    if (t.quoted) return nullptr;
    for (const ItemRule& rule : kItems)
        if (t.text == rule.keyword) return &rule;
    return nullptr;
}

bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

bool allHex(std::string_view s) { return !s.empty() && std::all_of(s.begin(), s.end(), isHexDigit); }

// "0010:" opens a line of hex bytes; the offset before the colon is only for reading.
bool isHexLine(const std::vector<Token>& tokens) {
    const Token& t = tokens[0];
    return !t.quoted && t.text.size() >= 2 && t.text.back() == ':' &&
           allHex(std::string_view(t.text).substr(0, t.text.size() - 1));
}

// The file offset that a dump puts before each chunk line: eight hex digits.
bool isOffsetToken(const Token& t) { return !t.quoted && t.text.size() == 8 && allHex(t.text); }

class Builder {
public:
    void build(std::string_view text);
    std::vector<TextError> errors;
    std::vector<uint8_t> result;

private:
    void error(uint32_t line, std::string message) { errors.push_back({line, std::move(message)}); }
    void handleLine(uint32_t line, const LineTokens& lt);
    void closeNodes(uint32_t indent);
    void finish(Node& child, Node& parent);
    std::string containerClosed(const Node& container, bool isChunk);
    void chunkLine(uint32_t line, uint32_t indent, std::span<const Token> tokens);
    std::string hexLine(Node& node, const std::vector<Token>& tokens);

    std::vector<Node> stack_;
};

void Builder::build(std::string_view text) {
    stack_.clear();
    stack_.emplace_back(Node::Kind::file);
    uint32_t line = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t stop = text.find('\n', pos);
        if (stop == std::string_view::npos) stop = text.size();
        handleLine(++line, tokenizeLine(text.substr(pos, stop - pos)));
        pos = stop + 1;
    }
    closeNodes(0);
    result = std::move(stack_[0].payload.bytes());
    std::stable_sort(errors.begin(), errors.end(),
                     [](const TextError& a, const TextError& b) { return a.line < b.line; });
}

void Builder::handleLine(uint32_t line, const LineTokens& lt) {
    // a line in error leaves its chunk's length unchecked, so one mistake
    // gives one message
    auto fail = [&](std::string message) {
        error(line, std::move(message));
        stack_.back().itemFailed = true;
    };
    if (!lt.error.empty()) return fail(lt.error);
    if (lt.tokens.empty()) return;
    closeNodes(lt.indent);
    const std::vector<Token>& tokens = lt.tokens;

    std::span<const Token> rest(tokens);
    if (isOffsetToken(tokens[0]) && tokens.size() > 1) rest = rest.subspan(1);
    const bool startsChunk = !rest[0].quoted && (rest[0].text == "raw" || tagFromToken(rest[0].text) ||
                                                 rest[0].text == "reserved" || rest.size() < tokens.size());
    if (startsChunk) return chunkLine(line, lt.indent, tokens);

    Node& node = stack_.back();
    if (node.kind == Node::Kind::file) {
        if (isHexLine(tokens) || findItem(tokens[0]))
            return fail("a " + shown(tokens[0]) + " line belongs to a chunk: indent it under a chunk line");
        return fail("expected a chunk line (an offset, a tag name or number, 'raw'), found " + shown(tokens[0]));
    }
    if (node.broken) return;
    if (std::string closed = containerClosed(node, false); !closed.empty()) return fail(closed);
    if (isHexLine(tokens)) {
        node.openXrefCount.reset();
        if (std::string e = hexLine(node, tokens); !e.empty()) fail(e);
        return;
    }
    if (node.kind == Node::Kind::raw)
        return fail("a raw block holds hex lines (\"0000: 4E 75\") only, found " + shown(tokens[0]));
    const ItemRule* rule = findItem(tokens[0]);
    if (!rule)
        return fail(
            "expected an item (word, block, text, xdef, xref, terminator, a hex line, ...) or an indented "
            "chunk line, found " +
            shown(tokens[0]));
    if (rule->keyword != "at") node.openXrefCount.reset();
    ItemContext context{node, std::span<const Token>(tokens).subspan(1)};
    if (std::string e = rule->handle(context); !e.empty()) fail(e);
}

std::string Builder::hexLine(Node& node, const std::vector<Token>& tokens) {
    if (tokens.size() < 2) return "expected hex bytes after " + shown(tokens[0]);
    for (size_t i = 1; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        if (t.quoted || t.text.size() != 2 || !allHex(t.text))
            return "expected a byte as two hex digits, found " + shown(t);
    }
    for (size_t i = 1; i < tokens.size(); ++i)
        node.payload.bytes().push_back(uint8_t(std::stoul(tokens[i].text, nullptr, 16)));
    return {};
}

// A chunk line: [offset] tag [length N [truncated]], or [offset] raw.
void Builder::chunkLine(uint32_t line, uint32_t indent, std::span<const Token> tokens) {
    Node node(Node::Kind::chunk);
    node.indent = indent;
    node.line = line;
    Node& parent = stack_.back();
    auto fail = [&](std::string message) {
        error(line, std::move(message));
        node.broken = true;
        stack_.push_back(std::move(node));
    };
    if (parent.kind == Node::Kind::raw) return fail("a raw block holds hex lines only, not chunks");
    if (isOffsetToken(tokens[0])) {
        tokens = tokens.subspan(1);
        if (tokens.empty()) return fail("expected a tag name or 'raw' after the offset");
    }
    const Token& head = tokens[0];
    const bool isRaw = !head.quoted && head.text == "raw";
    if (std::string closed = containerClosed(parent, !isRaw); !closed.empty()) return fail(closed);
    if (!parent.broken) parent.openXrefCount.reset();
    if (isRaw) {
        node.kind = Node::Kind::raw;
        if (tokens.size() > 1) return fail("unexpected " + shown(tokens[1]) + " after 'raw'");
        parent.hasChild = true;
        stack_.push_back(std::move(node));
        return;
    }
    std::optional<uint32_t> tag = head.quoted ? std::nullopt : tagFromToken(head.text);
    if (!tag) {
        if (head.text == "reserved")
            return fail(
                "'reserved' names several tags: write the tag word (0xC0DECF0A to 0xC0DECF0F, 0xC0DECF1D, 0xC0DECF1E)");
        return fail("expected a tag name (object, code, link, end, ...) or a tag word such as 0xC0DECF20, found " +
                    shown(head));
    }
    node.tag = *tag;
    size_t i = 1;
    if (i < tokens.size()) {
        if (!tokens[i].quoted && tokens[i].text == "truncated") return fail("'truncated' needs 'length N' before it");
        if (tokens[i].quoted || tokens[i].text != "length")
            return fail("expected 'length' after the tag, found " + shown(tokens[i]));
        if (++i == tokens.size()) return fail("expected a byte count after 'length'");
        std::optional<uint32_t> length = tokens[i].quoted ? std::nullopt : numberFromToken(tokens[i].text);
        if (!length) return fail("expected a byte count after 'length', found " + shown(tokens[i]));
        node.length = length;
        ++i;
    }
    if (i < tokens.size() && !tokens[i].quoted && tokens[i].text == "truncated") {
        node.truncated = true;
        ++i;
    }
    if (i < tokens.size()) return fail("unexpected " + shown(tokens[i]) + " at the end of the chunk line");
    // the first object chunk of a file is its header alone
    node.headerOnly = parent.kind == Node::Kind::file && !parent.hasChild && *tag == tagWord(ChunkTag::object);
    if (node.headerOnly && node.truncated)
        return fail("the first object chunk is its 8 header bytes alone and cannot be truncated");
    parent.hasChild = true;
    stack_.push_back(std::move(node));
}

// Why nothing more may go into the container, or "".
std::string Builder::containerClosed(const Node& container, bool isChunk) {
    if (container.truncatedChildLine)
        return format("nothing can follow the truncated chunk of line %u: its payload runs to the end of %s",
                      container.truncatedChildLine, container.kind == Node::Kind::file ? "the file" : "its chunk");
    if (container.kind == Node::Kind::file && container.endSeen && isChunk)
        return "a chunk after the end chunk: reading stops at the end chunk, so bytes after it go in a raw block";
    return {};
}

void Builder::closeNodes(uint32_t indent) {
    while (stack_.size() > 1 && stack_.back().indent >= indent) {
        Node child = std::move(stack_.back());
        stack_.pop_back();
        finish(child, stack_.back());
    }
}

void Builder::finish(Node& child, Node& parent) {
    ByteBuilder& out = parent.payload;
    if (child.kind == Node::Kind::raw) {
        out.raw(child.payload.bytes());
        return;
    }
    if (child.broken || child.itemFailed) parent.itemFailed = true;
    if (child.broken) return;
    const bool isEnd = child.tag == tagWord(ChunkTag::end);
    out.word(child.tag);
    if (child.headerOnly) {
        if (child.payload.size() != 0)
            error(child.line,
                  "the file's first object chunk is its 8 header bytes alone: readers go straight on "
                  "to the next chunk, so it takes no payload lines");
        out.word(child.length.value_or(0));
        return;
    }
    // an end chunk without a length word or payload is its tag alone
    if (isEnd && !child.length && child.payload.size() == 0) {
        if (parent.kind == Node::Kind::file) parent.endSeen = true;
        return;
    }
    uint32_t length = uint32_t(child.payload.size());
    if (child.itemFailed) {
        // its errors are reported already; a length check would only repeat them
    } else if (child.payload.size() > UINT32_MAX) {
        error(child.line, "the payload is larger than a 32-bit length word can count");
    } else if (child.length && child.truncated) {
        if (child.payload.size() >= *child.length)
            error(child.line, format("'truncated' needs less payload than its length %u; the lines below give %s",
                                     *child.length, byteCount(child.payload.size()).c_str()));
        length = *child.length;
    } else if (child.length && *child.length != child.payload.size()) {
        error(child.line, format("the chunk line says length %u but the lines below give %s of payload "
                                 "(leave 'length' out to have it counted)",
                                 *child.length, byteCount(child.payload.size()).c_str()));
    }
    out.word(length).raw(child.payload.bytes());
    if (child.truncated) parent.truncatedChildLine = child.line;
    if (isEnd && parent.kind == Node::Kind::file) parent.endSeen = true;
}

}  // namespace

bool buildFromText(std::string_view text, std::vector<uint8_t>& out, std::vector<TextError>& errors) {
    Builder builder;
    builder.build(text);
    errors = std::move(builder.errors);
    out = std::move(builder.result);
    return errors.empty();
}

}  // namespace tarnel::textform
