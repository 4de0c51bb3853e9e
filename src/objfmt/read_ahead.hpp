// Reading the object files ahead of the loader: a second thread reads the
// files a run will load, in the order it will load them, while the loader
// works through the ones already read. Only regular files are read ahead;
// anything else, and any file the loader asks for out of turn, is read by
// the loader itself, so what a run sees and reports does not change. Measured
// interleaved (docs/benchmark.md), the thread pays on 512 files with many
// names each and costs on 128 small ones: it starts from 256 files.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "objfmt/filebytes.hpp"

namespace tarnel {

class ReadAhead {
public:
    // Starts reading paths into the arena, when there are enough of them to
    // be worth a thread and a thread can be had.
    ReadAhead(InputArena& arena, std::vector<std::string> paths);
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;
    // Stops after the file being read, and waits for it.
    ~ReadAhead();

    // The bytes of path when it is the next file read ahead and it was read;
    // false when the caller is to read it itself.
    bool take(const std::string& path, std::span<uint8_t>& bytes);

    static constexpr size_t kWorthAThreadFrom = 256;

private:
    enum class Slot : uint8_t { waiting, read, leftToLoader };
    void run();

    InputArena& arena_;
    const std::vector<std::string> paths_;
    std::vector<Slot> slots_;
    std::vector<std::span<uint8_t>> bytes_;
    size_t next_ = 0;  // the next path the loader is expected to ask for
    std::mutex mutex_;
    std::condition_variable done_;
    bool stopping_ = false;
    std::thread reader_;
};

}  // namespace tarnel
