// Writing behind the producer: filled buffers go to a second thread that
// writes them in order, so that the next buffer is formatted while the last
// one is being written. The first piece is written on the calling thread, so
// that a run with little output never starts a thread.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tarnel {

class WriteBehind {
public:
    // Writes count bytes; false when the write failed.
    using Sink = std::function<bool(const char* bytes, size_t count)>;

    explicit WriteBehind(Sink sink) : sink_(std::move(sink)) {}
    WriteBehind(const WriteBehind&) = delete;
    WriteBehind& operator=(const WriteBehind&) = delete;
    ~WriteBehind() { finish(); }

    // A buffer to fill: one that was written already, or a new one. Its
    // size and contents are whatever they were.
    std::string spare();
    // Queues the first count bytes of a filled buffer.
    void submit(std::string&& buffer, size_t count);
    // Queues bytes that stay valid and unchanged until finish() returns.
    void submitKept(const char* bytes, size_t count);
    // Waits until everything queued is written; true when every write
    // succeeded. After a failed write the rest is dropped.
    bool finish();

private:
    struct Piece {
        std::string owned;  // the buffer, when the piece owns one
        bool isOwned;
        const char* bytes;
        size_t count;
    };
    void enqueue(Piece piece);
    void writeOne(Piece& piece);
    void recycle(Piece& piece);
    void run();

    static constexpr size_t kMaxQueued = 4;  // owned buffers waiting at most

    Sink sink_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Piece> queue_;
    std::vector<std::string> spares_;
    size_t ownedQueued_ = 0;
    bool stopping_ = false;
    bool failed_ = false;     // written by the writer thread while there is one
    bool firstWritten_ = false;
    std::thread writer_;
};

}  // namespace tarnel
