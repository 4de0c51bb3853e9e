// The round trip as a property: thousands of generated chunk files, well
// formed and then damaged at random, each one dumped to text and built back
// byte for byte. The seed of a failing file is printed, so it can be rerun.
#include <gtest/gtest.h>

#include <random>

#include "harness.hpp"
#include "text_fixture.hpp"

namespace tarnel::test {
namespace {

constexpr uint32_t kFirstSeed = 20040531;
constexpr int kFiles = 4000;

class FileGenerator {
public:
    explicit FileGenerator(uint32_t seed) : rng_(seed) {}

    // A file of a random kind, damaged in about half the cases.
    Bytes file() {
        Bytes f;
        switch (below(8)) {
        case 0:
        case 1:
        case 2: f = objectModule(); break;
        case 3:
        case 4: f = executable(); break;
        case 5:
        case 6: f = library(); break;
        default: f = be({tagWord(ChunkTag::object)}) + bytes(below(64)); break;
        }
        if (chance(50)) {
            for (uint32_t n = 1 + below(3); n > 0; --n) damage(f);
        }
        return f;
    }

private:
    uint32_t random() { return uint32_t(rng_()); }
    uint32_t below(uint32_t n) { return n ? random() % n : 0; }
    bool chance(uint32_t percent) { return below(100) < percent; }

    Bytes bytes(size_t n) {
        Bytes b(n);
        for (uint8_t& x : b) x = uint8_t(random());
        return b;
    }

    // Names with the bytes a text form must escape or quote.
    std::string name() {
        static const char kPool[] = "abcdefXYZ_09.# \"\\\x01\x7F\x80\xFF";
        std::string n;
        for (uint32_t len = below(11); len > 0; --len) n += kPool[below(sizeof kPool - 1)];
        return n;
    }

    Bytes chunk(uint32_t tag, const Bytes& payload) { return be({tag, uint32_t(payload.size())}) + payload; }
    Bytes chunk(ChunkTag tag, const Bytes& payload) { return chunk(tagWord(tag), payload); }

    Bytes words(uint32_t count, uint32_t limit) {
        ByteBuilder b;
        for (; count > 0; --count) b.word(below(limit));
        return b.bytes();
    }

    Bytes nameField(const std::string& n) {
        ByteBuilder b;
        b.nameField(n);
        return b.bytes();
    }

    Bytes linkPayload() {
        ByteBuilder b;
        for (uint32_t n = below(5); n > 0; --n) {
            std::string entryName = name();
            switch (below(6)) {
            case 0:
            case 1:
                b.word((0x80 + below(5)) << 24 | nameFieldLength(uint32_t(entryName.size())))
                    .word(random())
                    .nameField(entryName);
                break;
            case 2:
            case 3: {
                static const uint32_t kAccess[] = {0, 1, 2, 4, 5, 6, 8, 9, 10};
                uint32_t count = chance(20) ? below(30) : below(4);
                b.word(kAccess[below(9)] << 24 | nameFieldLength(uint32_t(entryName.size())))
                    .word(count)
                    .nameField(entryName);
                b.raw(words(count, 4096));
                break;
            }
            case 4: {
                // a name field not in the written form: odd length, padding bytes
                uint32_t field = below(12);
                b.word((0x80 + below(5)) << 24 | field).word(random()).raw(bytes(field & ~3u));
                break;
            }
            default: b.word(uint32_t(below(256)) << 24 | below(16)); break;  // perhaps a one-word entry
            }
        }
        if (chance(90)) b.word(kLinkTerminator);
        return b.bytes();
    }

    Bytes libraryTable() {
        ByteBuilder b;
        for (uint32_t n = below(4); n > 0; --n) {
            std::string entryName = name();
            b.word(nameFieldLength(uint32_t(entryName.size()))).nameField(entryName).word(below(8));
        }
        return b.bytes();
    }

    Bytes textPayload() {
        Bytes t = Bytes(0) + nameField(name());
        if (chance(10)) t.resize(below(uint32_t(t.size()) + 1));
        return t;
    }

    // One chunk of the kinds object modules and executables hold.
    Bytes moduleChunk() {
        switch (below(14)) {
        case 0: return chunk(ChunkTag::processor, be({random(), random()}));
        case 1: return chunk(ChunkTag(uint8_t(ChunkTag::name) + below(6)), textPayload());
        case 2:
        case 3: return chunk(ChunkTag::code, be({0}) + bytes(below(40)));
        case 4: return chunk(ChunkTag::data, be({chance(80) ? 1 + 2 * below(2) : below(6)}) + bytes(below(24)));
        case 5: return chunk(ChunkTag::bss, be({chance(80) ? 2 + 2 * below(2) : below(6), below(1000)}));
        case 6:
        case 7: return chunk(ChunkTag::link, linkPayload());
        case 8:
            return chunk(ChunkTag(uint8_t(ChunkTag::reloc32) + below(2)),
                         be({below(5), below(5)}) + words(below(5), 256));
        case 9: return chunk(ChunkTag::drel16, be({1 + below(4)}) + words(below(4), 256));
        case 10: return chunk(kTagBase + below(40), bytes(below(12)));  // any tag, some of them unknown
        case 11: return chunk(ChunkTag::header, be({below(4096), below(4096)}));
        case 12: return chunk(below(2) ? ChunkTag::comment : ChunkTag::debug, bytes(below(9)));
        default: return chunk(kTagBase + below(32), {});
        }
    }

    Bytes endChunk() {
        switch (below(6)) {
        case 0: return be({tagWord(ChunkTag::end), 0});
        case 1: return chunk(ChunkTag::end, bytes(below(8)));
        default: return be({tagWord(ChunkTag::end)});
        }
    }

    Bytes objectModule() {
        Bytes f = be({tagWord(ChunkTag::object), chance(90) ? 0 : below(32)});
        for (uint32_t n = below(9); n > 0; --n) f = f + moduleChunk();
        return f + endChunk();
    }

    Bytes executable() {
        Bytes f = chunk(ChunkTag::header, be({below(4096), below(4096)}));
        for (uint32_t n = below(7); n > 0; --n) f = f + moduleChunk();
        return f + endChunk();
    }

    Bytes library() {
        Bytes f = chunk(ChunkTag::library, libraryTable());
        for (uint32_t members = below(4); members > 0; --members) {
            Bytes member;
            for (uint32_t n = 1 + below(4); n > 0; --n) member = member + moduleChunk();
            f = f + chunk(ChunkTag::lib, member);
        }
        return f + endChunk();
    }

    // Cuts, overwrites, inserts or appends bytes where it may hurt most:
    // lengths, tags and the end of the file.
    void damage(Bytes& f) {
        const uint32_t size = uint32_t(f.size());
        const uint32_t at = below(size + 1);
        switch (below(6)) {
        case 0: f.resize(at); break;
        case 1:
            if (at < size) f[at] = uint8_t(random());
            break;
        case 2: f.insert(f.begin() + at, 1 + below(8), uint8_t(random())); break;
        case 3: f = f + bytes(1 + below(12)); break;
        case 4:
            if (size >= 4) {
                uint32_t word = chance(50) ? below(64) : kTagBase + below(34);
                writeWordBE(&f[below(size - 3) & ~3u], word);
            }
            break;
        default:
            if (at < size) f.erase(f.begin() + at, f.begin() + std::min(size, at + 1 + below(8)));
            break;
        }
    }

    std::mt19937 rng_;
};

TEST(DumpProperty, GeneratedFilesComeBackByteForByte) {
    int malformed = 0, failures = 0;
    for (int i = 0; i < kFiles && failures < 5; ++i) {
        const uint32_t seed = kFirstSeed + uint32_t(i);
        const Bytes file = FileGenerator(seed).file();
        DumpedText dumped = dumpText(file);
        if (!dumped.wellFormed) ++malformed;
        Bytes rebuilt;
        std::vector<textform::TextError> errors;
        bool built = textform::buildFromText(dumped.text, rebuilt, errors);
        if (!built || rebuilt != file) {
            ++failures;
            ADD_FAILURE() << "seed " << seed << (built ? ": different bytes" : ": " + errors[0].message) << "\nfile:\n"
                          << hexBytes(file) << "\nbuilt:\n"
                          << hexBytes(rebuilt) << "\ntext:\n"
                          << dumped.text;
        }
    }
    // the generator must reach both sides of the dump's judgement
    EXPECT_GT(malformed, kFiles / 5);
    EXPECT_LT(malformed, kFiles * 4 / 5);
}

}  // namespace
}  // namespace tarnel::test
