#include "output/write_behind.hpp"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace tarnel::test {
namespace {

struct Recorder {
    std::string written;
    std::vector<std::thread::id> threads;
    size_t calls = 0;
    size_t failAtCall = SIZE_MAX;
    WriteBehind::Sink sink() {
        return [this](const char* bytes, size_t count) {
            if (calls++ == failAtCall) return false;
            written.append(bytes, count);
            threads.push_back(std::this_thread::get_id());
            return true;
        };
    }
};

// Owned buffers of every length (short ones live inside the string object)
// and kept spans arrive whole and in the order they were handed over.
TEST(WriteBehind, PiecesArriveInOrder) {
    Recorder r;
    std::string expected;
    const std::string kept(100000, 'k');
    {
        WriteBehind w(r.sink());
        for (size_t i = 0; i < 600; ++i) {
            if (i % 7 == 3) {
                w.submitKept(kept.data() + i, 1000 + i);
                expected.append(kept, i, 1000 + i);
                continue;
            }
            std::string piece = w.spare();
            piece.assign((i * 37) % 300 + (i % 50 == 0 ? 70000 : 0), char('a' + i % 26));
            piece += std::to_string(i);
            expected += piece;
            size_t size = piece.size();
            w.submit(std::move(piece), size);
        }
        EXPECT_TRUE(w.finish());
    }
    EXPECT_EQ(r.written.size(), expected.size());
    EXPECT_TRUE(r.written == expected);
    // the first piece is written by the caller, the rest behind it
    ASSERT_GE(r.threads.size(), 2u);
    EXPECT_EQ(r.threads.front(), std::this_thread::get_id());
    EXPECT_NE(r.threads.back(), std::this_thread::get_id());
}

TEST(WriteBehind, OnePieceStartsNoThread) {
    Recorder r;
    WriteBehind w(r.sink());
    w.submit(std::string("only"), 4);
    EXPECT_TRUE(w.finish());
    EXPECT_EQ(r.written, "only");
    ASSERT_EQ(r.threads.size(), 1u);
    EXPECT_EQ(r.threads[0], std::this_thread::get_id());
}

// After a failed write nothing more is written, and finish says so.
TEST(WriteBehind, AFailedWriteDropsTheRest) {
    for (size_t failAt : {0u, 1u, 5u}) {
        SCOPED_TRACE(failAt);
        Recorder r;
        r.failAtCall = failAt;
        WriteBehind w(r.sink());
        for (int i = 0; i < 20; ++i) w.submit(std::string(1000, char('0' + i % 10)), 1000);
        EXPECT_FALSE(w.finish());
        EXPECT_EQ(r.calls, failAt + 1);
        EXPECT_EQ(r.written.size(), failAt * 1000);
    }
}

}  // namespace
}  // namespace tarnel::test
