#include "objfmt/filebytes.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "harness.hpp"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TARNEL_TEST_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define TARNEL_TEST_ASAN 1
#endif
#ifdef TARNEL_TEST_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace tarnel::test {
namespace {

// File sizes around the arena's 16-byte steps, read one after another into
// one arena.
const std::vector<size_t> kSizes = {1, 7, 8, 9, 15, 16, 17, 31, 100, 4099};

std::vector<std::span<uint8_t>> readAll(const ScratchDir& dir, InputArena& arena) {
    std::vector<std::span<uint8_t>> files;
    for (size_t size : kSizes) {
        Bytes content(size);
        for (size_t i = 0; i < size; ++i) content[i] = uint8_t(size + i * 7);
        std::string path = dir.write("f" + std::to_string(size), content);
        std::span<uint8_t> bytes;
        EXPECT_EQ(readInputFile(path, arena, bytes), ReadStatus::ok);
        EXPECT_EQ(Bytes(bytes.begin(), bytes.end()), content) << size;
        files.push_back(bytes);
    }
    return files;
}

// Each file's bytes are followed by a gap that no file's bytes lie in.
TEST(InputArena, FilesAreSeparatedByAGap) {
    ScratchDir dir;
    InputArena arena;
    std::vector<std::span<uint8_t>> files = readAll(dir, arena);
    for (size_t i = 0; i + 1 < files.size(); ++i) {
        SCOPED_TRACE(kSizes[i]);
        EXPECT_GE(files[i + 1].data(), files[i].data() + files[i].size() + InputArena::kGap);
    }
}

#ifdef TARNEL_TEST_ASAN
// Under AddressSanitizer a file's bytes are addressable and every byte from
// its end to the next file's start is poisoned.
TEST(InputArena, BytesPastAFileArePoisoned) {
    ScratchDir dir;
    InputArena arena;
    std::vector<std::span<uint8_t>> files = readAll(dir, arena);
    for (size_t i = 0; i + 1 < files.size(); ++i) {
        SCOPED_TRACE(kSizes[i]);
        EXPECT_EQ(__asan_region_is_poisoned(files[i].data(), files[i].size()), nullptr);
        for (uint8_t* p = files[i].data() + files[i].size(); p < files[i + 1].data(); ++p)
            ASSERT_TRUE(__asan_address_is_poisoned(p)) << p - files[i].data();
    }
    // the rest of the block after the last file, too
    EXPECT_TRUE(__asan_address_is_poisoned(files.back().data() + files.back().size()));
}

TEST(InputArenaDeathTest, ReadingOneBytePastAFileAborts) {
    ScratchDir dir;
    InputArena arena;
    std::vector<std::span<uint8_t>> files = readAll(dir, arena);
    volatile const uint8_t* past = files[2].data() + files[2].size();
    EXPECT_DEATH((void)*past, "use-after-poison");
}
#endif

}  // namespace
}  // namespace tarnel::test
