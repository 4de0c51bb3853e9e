#include "objfmt/read_ahead.hpp"

#include <algorithm>
#include <new>
#include <system_error>

namespace tarnel {

ReadAhead::ReadAhead(InputArena& arena, std::vector<std::string> paths)
    : arena_(arena), paths_(std::move(paths)), slots_(paths_.size(), Slot::leftToLoader), bytes_(paths_.size()) {
    if (paths_.size() < kWorthAThreadFrom) return;
    std::fill(slots_.begin(), slots_.end(), Slot::waiting);
    try {
        reader_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        // no thread to be had: the loader reads every file itself
        std::fill(slots_.begin(), slots_.end(), Slot::leftToLoader);
    }
}

ReadAhead::~ReadAhead() {
    if (!reader_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    reader_.join();
}

void ReadAhead::run() {
    for (size_t i = 0; i < paths_.size(); ++i) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_) {
                for (size_t j = i; j < paths_.size(); ++j) slots_[j] = Slot::leftToLoader;
                done_.notify_all();
                return;
            }
        }
        std::span<uint8_t> bytes;
        bool read = false;
        try {
            read = readRegularFile(paths_[i], arena_, bytes);
        } catch (const std::bad_alloc&) {
            read = false;  // the loader tries again, and reports it
        }
        std::lock_guard lock(mutex_);
        bytes_[i] = bytes;
        slots_[i] = read ? Slot::read : Slot::leftToLoader;
        done_.notify_all();
    }
}

bool ReadAhead::take(const std::string& path, std::span<uint8_t>& bytes) {
    if (next_ >= paths_.size() || paths_[next_] != path) return false;
    const size_t i = next_++;
    std::unique_lock lock(mutex_);
    done_.wait(lock, [&] { return slots_[i] != Slot::waiting; });
    if (slots_[i] != Slot::read) return false;
    bytes = bytes_[i];
    return true;
}

}  // namespace tarnel
