#include "output/write_behind.hpp"

#include <system_error>

namespace tarnel {

std::string WriteBehind::spare() {
    std::lock_guard lock(mutex_);
    if (spares_.empty()) return {};
    std::string s = std::move(spares_.back());
    spares_.pop_back();
    return s;
}

void WriteBehind::writeOne(Piece& piece) {
    // an owned buffer's bytes are taken where it now lives: a short string
    // keeps them inside itself and moves them with it
    const char* bytes = piece.isOwned ? piece.owned.data() : piece.bytes;
    // after a failed write nothing more goes out
    if (!failed_ && piece.count != 0 && !sink_(bytes, piece.count)) failed_ = true;
}

void WriteBehind::recycle(Piece& piece) {
    if (piece.isOwned) spares_.push_back(std::move(piece.owned));
}

void WriteBehind::submit(std::string&& buffer, size_t count) {
    enqueue(Piece{std::move(buffer), true, nullptr, count});
}

void WriteBehind::submitKept(const char* bytes, size_t count) { enqueue(Piece{{}, false, bytes, count}); }

void WriteBehind::enqueue(Piece piece) {
    if (!firstWritten_ && !writer_.joinable()) {
        firstWritten_ = true;
        writeOne(piece);
        recycle(piece);
        return;
    }
    if (!writer_.joinable()) {
        try {
            writer_ = std::thread([this] { run(); });
        } catch (const std::system_error&) {
            // no thread to be had: every piece is written here instead
            writeOne(piece);
            recycle(piece);
            return;
        }
    }
    std::unique_lock lock(mutex_);
    const bool owned = piece.isOwned;
    changed_.wait(lock, [&] { return !owned || ownedQueued_ < kMaxQueued; });
    ownedQueued_ += owned;
    queue_.push_back(std::move(piece));
    changed_.notify_all();
}

void WriteBehind::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) return;  // stopping, and everything is written
        Piece piece = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        writeOne(piece);
        lock.lock();
        ownedQueued_ -= piece.isOwned;
        recycle(piece);
        changed_.notify_all();
    }
}

bool WriteBehind::finish() {
    if (writer_.joinable()) {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        writer_.join();
        stopping_ = false;
    }
    return !failed_;
}

}  // namespace tarnel
