// Writes the fuzzers' seed corpus: well-formed object modules covering every
// chunk kind, for the loader and dump targets, their text forms for the mkobj
// target, small ELF objects for the elf2obj target, links of those modules
// with every output kind and option, for the link target, and the link
// records of some of those links, for the json target.
//
//   tarnel_make_corpus <dir>   writes <dir>/{loader,link,elf,dump,mkobj,elf2obj,json}/*
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "driver/tarnel.hpp"
#include "elf_builder.hpp"
#include "link_input.hpp"
#include "module_builder.hpp"
#include "textform/textform.hpp"

namespace {

using namespace tarnel;
using namespace tarnel::test;
using namespace tarnel::fuzz;
namespace fs = std::filesystem;

Bytes text(std::string_view t) {
    ByteBuilder b;
    b.text(t).zeros(1);
    return b.bytes();
}

// Definitions in every section, with module texts and a processor chunk.
Bytes definitions() {
    return ModuleBuilder()
        .processor(0x52060022, 7)
        .name("defs")
        .version("1.02")
        .date("04-Jun-2004")
        .code({0x4E, 0x75, 0x4E, 0x71, 0x4E, 0x75, 0x4E, 0x71})
        .data({1, 2, 3, 4, 5, 6, 7, 8})
        .base({0, 0, 0, 0, 0x11, 0x22, 0x33, 0x44})
        .bss(16)
        .bssb(8)
        .xdef(SectionKind::code, 0, "func")
        .xdef(SectionKind::code, 4, "func2")
        .xdef(SectionKind::data, 0, "table")
        .xdef(SectionKind::base, 4, "var")
        .xdef(SectionKind::bss, 0, "buf")
        .xdef(SectionKind::bssb, 0, "bvar")
        .end();
}

// References of every access type into definitions(), module-local relocations
// and drel16 fix-ups, all inside the module's own bytes.
Bytes references() {
    return ModuleBuilder()
        .name("main")
        .code(Bytes(40, 0))
        .data({0, 0, 0, 8})
        .xref(LINK_ABS32, "func", {0})
        .xref(LINK_ABS16, "table", {4})
        .xref(LINK_PCREL16, "func2", {8})
        .xref(LINK_PCREL8, "func", {12})
        .xref(LINK_PCREL32, "func", {14})
        .xref(LINK_REL16, "var", {18})
        .xref(LINK_REL8, "table", {20})
        .xref(LINK_REL32, "buf", {22})
        .xref(LINK_ABS8, "nowhere", {26})
        .xref(LINK_ABS32, "_base", {28})
        .xref(LINK_ABS16, "func", {32, 34})
        .reloc32(0, 1, {36})
        .reloc32(1, 0, {0})
        .reloc16(0, 0, {38})
        .drel16(3, {38})
        .end();
}

Bytes relocations() {
    return ModuleBuilder()
        .code(Bytes(24, 0))
        .data(Bytes(16, 0))
        .base(Bytes(8, 0))
        .bss(4)
        .bssb(4)
        .reloc16(0, 0, {0, 2})
        .reloc16(0, 1, {4})
        .reloc16(0, 3, {6})
        .reloc16(0, 2, {8})
        .reloc32(1, 0, {0})
        .reloc32(1, 3, {4})
        .reloc32(3, 1, {0})
        .reloc32(0, 4, {12})
        .drel16(1, {16})
        .drel16(2, {18})
        .drel16(4, {20})
        .drel16(0, {22})
        .drel16(3, {})
        .end(true);
}

// Chunks the linker steps over: dropped tags, reserved tags and unknown ones.
Bytes droppedChunks() {
    ModuleBuilder m;
    for (ChunkTag t : {ChunkTag::header, ChunkTag::library, ChunkTag::company, ChunkTag::author, ChunkTag::comment,
                       ChunkTag::lib, ChunkTag::reloc8, ChunkTag::drel32, ChunkTag::drel8, ChunkTag::symbol,
                       ChunkTag::debug})
        m.chunk(t, text("dropped"));
    m.chunk(kTagBase + 0x0A, Bytes{1, 2, 3, 4}).chunk(kTagBase + 0x1D, {}).chunk(kTagBase + 0x20, Bytes{9, 9});
    m.chunk(0x12345678u, Bytes{0, 0, 0, 0});
    return m.code({0x4E, 0x75}).end();
}

// A link chunk with one-word entries, an xref of count 0 and xrefs between
// xdefs, as the library scan meets them.
Bytes oddLinkEntries() {
    ByteBuilder p;
    p.word(0x03000010).word(0x07000000).word(0x7F123456);
    p.word(LINK_ABS32 << 24 | 8).word(0).nameField("unused");
    p.word(0x80000008).word(0).nameField("first");
    p.word(LINK_ABS16 << 24 | 4).word(1).nameField("ab").word(2);
    p.word(0x81000004).word(0).nameField("sec");
    p.word(kLinkTerminator);
    return ModuleBuilder().code({0, 0, 0, 0}).data({0, 0}).chunk(ChunkTag::link, p.bytes()).end();
}

// The symbols and debugging sections of a module converted with -g, with a
// relocation of each target kind.
Bytes debugging() {
    const DebugPayloadBuilder::Reloc relocs[] = {
        {0, debugTargetWord(DebugTarget::debugSection, 1), 0},
        {4, debugTargetWord(DebugTarget::part, 1), 4},
        {8, debugTargetWord(DebugTarget::name, 0), 0},
    };
    return ModuleBuilder()
        .name("main.c")
        .code({0x4E, 0x75, 0, 0})
        .data({0, 0, 0, 1, 0, 0, 0, 2})
        .xdef(SectionKind::data, 0, "table")
        .chunk(ChunkTag::symbol,
               SymbolPayloadBuilder("main.c")
                   .symbol(0, SymbolBinding::local, uint8_t(SymbolType::function), 0, 2, "helper")
                   .symbol(1, SymbolBinding::global, uint8_t(SymbolType::object), 0, 8, "table")
                   .symbol(kAbsoluteSymbol, SymbolBinding::local, uint8_t(SymbolType::none), 0xFC060000, 0, "UART0")
                   .finish())
        .chunk(ChunkTag::debug, DebugPayloadBuilder()
                                    .name("table")
                                    .section(".debug_info", 1, Bytes(14, 0), relocs)
                                    .section(".debug_str", 1, text("main.c"), {})
                                    .finish())
        .end();
}

std::vector<std::pair<std::string, Bytes>> modules() {
    return {
        {"empty.o", ModuleBuilder().end()},
        {"empty-end-length.o", ModuleBuilder().end(true)},
        {"example.o", ModuleBuilder().code({1, 2, 3, 4}).xdef(SectionKind::code, 0, "entry").end()},
        {"definitions.o", definitions()},
        {"references.o", references()},
        {"relocations.o", relocations()},
        {"dropped.o", droppedChunks()},
        {"link-entries.o", oddLinkEntries()},
        {"debugging.o", debugging()},
    };
}

// ELF objects as the converter's tests build them: every part, symbols of
// each binding, and each relocation type it converts.
std::vector<std::pair<std::string, Bytes>> elfObjects() {
    using namespace tarnel::elf;
    ElfBuilder parts;
    parts.fileSymbol("parts.s");
    auto text = parts.progbits(".text", Bytes(16, 0x4E), SHF_ALLOC | SHF_EXECINSTR);
    auto rodata = parts.progbits(".rodata.str1.1", {'h', 'i', 0}, SHF_ALLOC | SHF_MERGE | SHF_STRINGS, 1);
    auto data = parts.progbits(".data", Bytes(8, 0), SHF_ALLOC | SHF_WRITE);
    auto bss = parts.nobits(".bss", 12);
    parts.progbits(".comment", {'x', 0}, 0, 1);
    parts.symbol("local", text, 2, STB_LOCAL);
    auto start = parts.symbol("start", text, 0, STB_GLOBAL, STT_FUNC);
    parts.symbol("msg", rodata, 0, STB_WEAK, STT_OBJECT);
    auto var = parts.symbol("var", data, 4);
    parts.symbol("buf", bss, 0);
    auto ext = parts.symbol("external", SHN_UNDEF, 0);
    parts.rela(text, 0, ext, R_68K_32, 0);
    parts.rela(text, 4, ext, R_68K_PC16, 0);
    parts.rela(text, 7, ext, R_68K_PC8, 1);
    parts.rela(text, 8, var, R_68K_16, 0);
    parts.rela(text, 10, start, R_68K_PC32, 2);
    parts.rela(data, 0, start, R_68K_32, 4);

    ElfBuilder refused;
    auto code = refused.progbits(".text", Bytes(8, 0), SHF_ALLOC | SHF_EXECINSTR);
    refused.progbits(".init", Bytes(4, 0), SHF_ALLOC | SHF_EXECINSTR);
    auto weak = refused.symbol("weak", SHN_UNDEF, 0, STB_WEAK);
    refused.symbol("common", SHN_COMMON, 4);
    refused.rela(code, 0, weak, R_68K_8, 0);
    refused.rela(code, 4, weak, 7, 0);
    // a program of two objects, one after the other in one input: a weak
    // definition that the second overrides, and references with an addend
    ElfBuilder weakOwner;
    auto ownerText = weakOwner.progbits(".text", Bytes(12, 0x4E), SHF_ALLOC | SHF_EXECINSTR);
    auto isr = weakOwner.symbol("isr", ownerText, 4, STB_WEAK, STT_FUNC);
    weakOwner.symbol("table", weakOwner.progbits(".data", Bytes(16, 0), SHF_ALLOC | SHF_WRITE), 0);
    weakOwner.rela(ownerText, 2, isr, R_68K_PC16, 0);
    weakOwner.rela(ownerText, 6, isr, R_68K_32, 2);
    ElfBuilder user;
    auto userText = user.progbits(".text", Bytes(12, 0x4E), SHF_ALLOC | SHF_EXECINSTR);
    user.symbol("isr", userText, 0, STB_GLOBAL, STT_FUNC);
    user.rela(userText, 2, user.symbol("table", SHN_UNDEF, 0), R_68K_32, 8);
    user.rela(userText, 6, user.symbol("hook", SHN_UNDEF, 0, STB_WEAK), R_68K_32, 0);
    // debugging sections with a relocation to each kind of target
    ElfBuilder debug;
    debug.fileSymbol("debug.c");
    auto debugText = debug.progbits(".text", Bytes(8, 0x4E), SHF_ALLOC | SHF_EXECINSTR);
    auto info = debug.progbits(".debug_info", Bytes(24, 0), 0, 1);
    auto str = debug.progbits(".debug_str", {'d', 0}, SHF_MERGE | SHF_STRINGS, 1);
    auto counter = debug.symbol("counter", debug.nobits(".bss", 4), 0, STB_LOCAL, STT_OBJECT, 4);
    debug.symbol("f", debugText, 0, STB_GLOBAL, STT_FUNC, 8);
    debug.rela(info, 0, debug.sectionSymbol(str), R_68K_32, 0);
    debug.rela(info, 4, debug.sectionSymbol(debugText), R_68K_32, 2);
    debug.rela(info, 8, counter, R_68K_32, 0);
    debug.rela(info, 12, debug.symbol("g", SHN_UNDEF, 0), R_68K_32, 4);
    debug.rela(info, 16, debug.symbol("K", SHN_ABS, 9, STB_LOCAL), R_68K_32, 0);
    debug.rela(info, 20, debug.sectionSymbol(info), R_68K_32, 1);
    return {{"parts.o", parts.build()},
            {"debug.o", debug.build()},
            {"refused.o", refused.build()},
            {"empty.o", ElfBuilder().build()},
            {"program.o", weakOwner.build() + user.build()}};
}

void write(const fs::path& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), std::streamsize(bytes.size()));
    if (!f) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

std::string str(const Bytes& b) { return std::string(b.begin(), b.end()); }

// The record of a link of these modules with these options, run in a scratch
// folder; the link may fail, as a failed link has its record too.
std::string record(const std::vector<std::pair<std::string, Bytes>>& inputs, std::vector<std::string> options) {
    const fs::path previous = fs::current_path();
    const fs::path dir = fs::temp_directory_path() / "tarnel-corpus-records";
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::current_path(dir);
    options.insert(options.begin(), "tarnel");
    for (const auto& [name, bytes] : inputs) {
        write(name, str(bytes));
        options.push_back(name);
    }
    options.push_back("--record=r.json");
    std::ostringstream out;
    runTarnel(options, out);
    std::ifstream f("r.json", std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    fs::current_path(previous);
    fs::remove_all(dir);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus dir>\n", argv[0]);
        return 2;
    }
    fs::path root = argv[1];
    fs::create_directories(root / "loader");
    fs::create_directories(root / "link");
    for (const char* dir : {"elf", "dump", "mkobj", "elf2obj", "json"}) fs::create_directories(root / dir);

    auto all = modules();
    for (const auto& [name, bytes] : all) {
        write(root / "loader" / name, str(bytes));
        write(root / "dump" / name, str(bytes));
        std::string text;
        textform::dumpChunkFile(bytes, name, textform::DumpOptions{}, text);
        write(root / "mkobj" / (name + ".txt"), text);
    }
    for (const auto& [name, bytes] : elfObjects()) write(root / "elf2obj" / name, str(bytes));

    const std::vector<std::string> linked = {str(references()), str(definitions()), str(relocations())};
    const char* kindNames[] = {"executable", "rom", "srecord", "embedded", "library"};
    for (uint8_t kind = 0; kind < kOutputKinds; ++kind) {
        for (uint8_t flags : {uint8_t(0), kFlagMap, uint8_t(kFlagMap | kFlagNoBssInRom | kFlagCommandFile),
                              kFlagOutputOverInput, uint8_t(kFlagMap | kFlagReports)}) {
            LinkInput in;
            in.kind = OutputKind(kind);
            in.flags = flags;
            in.romStart = kind == 1 ? 0x78000000 : 0xFFF0;
            in.label = "start";
            in.files = linked;
            write(root / "link" / (std::string(kindNames[kind]) + "-" + std::to_string(flags)), encodeLinkInput(in));
        }
    }
    // every module of the loader corpus in one library, and mode changes after a file
    LinkInput every;
    every.kind = OutputKind::library;
    for (const auto& [name, bytes] : all) every.files.push_back(str(bytes));
    every.files.resize(kMaxFiles);
    write(root / "link" / "library-every-module", encodeLinkInput(every));
    LinkInput mixed;
    mixed.kind = OutputKind::executable;
    mixed.flags = kFlagSwitchMode;
    mixed.filesBeforeOptions = 1;
    mixed.files = linked;
    write(root / "link" / "mixed-modes", encodeLinkInput(mixed));
    // tarnel-elf's links: modules with symbol and debug chunks among others,
    // with the map and with the data in RAM
    for (uint8_t flags : {uint8_t(0), uint8_t(kFlagMap | kFlagCommandFile)}) {
        LinkInput elf;
        elf.flags = flags;
        elf.romStart = 0x40000000;
        elf.files = {str(debugging()), str(definitions()), str(references())};
        write(root / "elf" / ("debugging-" + std::to_string(flags)), encodeLinkInput(elf));
    }
    // tiny modules named often enough that the files are read ahead
    LinkInput many;
    many.kind = OutputKind::executable;
    many.flags = kFlagManyFiles | kFlagMap;
    many.files = {str(ModuleBuilder().code({0x4E, 0x75}).xdef(SectionKind::code, 0, "a").end()),
                  str(ModuleBuilder().code({0x4E, 0x71}).xref(LINK_ABS16, "a", {0}).end())};
    write(root / "link" / "many-files", encodeLinkInput(many));

    const std::vector<std::pair<std::string, Bytes>> modules = {
        {"references.o", references()}, {"definitions.o", definitions()}, {"relocations.o", relocations()}};
    write(root / "json" / "executable.json", record(modules, {}));
    write(root / "json" / "rom-ram.json", record(modules, {"-r0", "--ram=0x20000000", "--rom-size=64K", "--ram-size=4K"}));
    write(root / "json" / "failed.json", record({{"missing.o", {}}, {"references.o", references()}}, {"-s0"}));
    write(root / "json" / "library.json", record(modules, {"-g"}));
    return 0;
}
