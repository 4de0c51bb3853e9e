#include "output/outfile.hpp"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include "objfmt/bytes.hpp"

namespace tarnel {

namespace {
constexpr size_t kBufferSize = 1 << 18;
constexpr size_t kDirectWrite = 1 << 15;  // kept spans this large skip the buffer

// The temporary files being written, for the signal handlers: the only state
// a handler can reach. A slot holds a path of its own, or null. A program
// that finishes all its outputs before it publishes any (tarnel-elf2obj -d,
// one per module) holds one temporary file per module at once.
constexpr int kCleanupSlots = 1024;
std::atomic<char*> cleanupPaths[kCleanupSlots];

int registerCleanup(const std::string& path) {
    char* copy = strdup(path.c_str());
    if (!copy) return -1;
    for (int i = 0; i < kCleanupSlots; ++i) {
        char* expected = nullptr;
        if (cleanupPaths[i].compare_exchange_strong(expected, copy)) return i;
    }
    std::free(copy);
    return -1;  // more outputs at once than slots: a signal then leaves this one
}

void unregisterCleanup(int slot) {
    if (slot >= 0) std::free(cleanupPaths[slot].exchange(nullptr));
}

extern "C" void removeTemporariesAndDie(int sig) {
    for (auto& slot : cleanupPaths) {
        char* path = slot.exchange(nullptr);
        if (path) ::unlink(path);
    }
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

bool startsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

std::string folderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Follows symbolic links to the file they name, so that the file is replaced
// and the links stay. A link whose target is missing names where it is created.
std::string followLinks(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        std::string to(size_t(st.st_size > 0 ? st.st_size : 0) + 256, '\0');
        ssize_t n = ::readlink(path.c_str(), to.data(), to.size());
        if (n < 0 || size_t(n) >= to.size()) return path;
        to.resize(size_t(n));
        path = (to[0] == '/') ? to : folderOf(path) + "/" + to;
    }
    return path;  // a loop of links: opening it fails and is reported
}

// A new file gets these permission bits, as fopen would create it.
mode_t newFileMode() {
    mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// Creates a new temporary file in the folder of target; -1 when it cannot.
int createTemporary(const std::string& target, std::string& name) {
    std::string folder = folderOf(target);
    std::string base = target.substr(target.rfind('/') == std::string::npos ? 0 : target.rfind('/') + 1);
    for (const std::string& stem : {"." + base + ".", std::string(".tarnel.")}) {
        name = folder + "/" + stem + "XXXXXX";
        int fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd >= 0) {
            ::fchmod(fd, newFileMode());
            return fd;
        }
        if (errno != ENAMETOOLONG) break;
    }
    name.clear();
    return -1;
}
}  // namespace

void installOutputSignalHandlers() {
    std::signal(SIGXFSZ, SIG_IGN);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old {};
        // a signal the caller ignores stays ignored
        if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        struct sigaction act {};
        act.sa_handler = removeTemporariesAndDie;
        sigemptyset(&act.sa_mask);
        ::sigaction(sig, &act, nullptr);
    }
}

OutputFile::~OutputFile() {
    if (file_) std::fclose(file_);
    discard();
}

void OutputFile::discard() {
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
    unregisterCleanup(cleanupSlot_);
    cleanupSlot_ = -1;
}

void OutputFile::fail(int error) {
    if (!failed_) error_ = error;
    failed_ = true;
}

void OutputFile::put(const void* bytes, size_t count) {
    if (!failed_ && count != 0 && std::fwrite(bytes, 1, count, file_) != count) fail(errno);
}

void OutputFile::flush() {
    put(buffer_.data(), buffered_);
    buffered_ = 0;
}

bool OutputFile::create(const std::string& path) {
    failed_ = false;
    error_ = 0;
    target_ = followLinks(path);
    struct stat st {};
    bool exists = ::stat(target_.c_str(), &st) == 0;
    // devices, pipes and the system's own folders are written where they are
    bool inPlace = (exists && !S_ISREG(st.st_mode)) || startsWith(target_, "/dev/") || startsWith(target_, "/proc/") ||
                   startsWith(path, "/dev/") || startsWith(path, "/proc/");
    if (inPlace) {
        file_ = std::fopen(path.c_str(), "wb");
        if (!file_) error_ = errno;
    } else {
        // a signal between creating the temporary file and registering it
        // for removal would leave it behind: held off until both are done
        sigset_t stopping, before;
        sigemptyset(&stopping);
        for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stopping, sig);
        ::pthread_sigmask(SIG_BLOCK, &stopping, &before);
        int fd = createTemporary(target_, temporary_);
        if (fd >= 0)
            cleanupSlot_ = registerCleanup(temporary_);
        else
            error_ = errno;
        ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
        if (fd < 0) return false;
        file_ = ::fdopen(fd, "wb");
        if (!file_) {
            error_ = errno;
            ::close(fd);
            discard();
        }
    }
    if (!file_) return false;
    std::setvbuf(file_, nullptr, _IONBF, 0);
    buffer_.resize(kBufferSize);
    buffered_ = 0;
    return true;
}

void OutputFile::write(const void* bytes, size_t count) {
    // a span that would fill the buffer goes out from where it is
    if (count >= kBufferSize) {
        flush();
        put(bytes, count);
        return;
    }
    auto p = static_cast<const char*>(bytes);
    while (count > 0) {
        if (buffered_ == kBufferSize) flush();
        size_t n = count < kBufferSize - buffered_ ? count : kBufferSize - buffered_;
        std::memcpy(buffer_.data() + buffered_, p, n);
        buffered_ += n;
        p += n;
        count -= n;
    }
}

void OutputFile::writeKept(const void* bytes, size_t count) {
    if (count < kDirectWrite) return write(bytes, count);
    flush();
    put(bytes, count);
}

char* OutputFile::claim(size_t count) {
    if (buffered_ + count > kBufferSize) flush();
    return buffer_.data() + buffered_;
}

void OutputFile::writeWord(uint32_t word) {
    uint8_t b[4];
    writeWordBE(b, word);
    write(b, 4);
}

bool OutputFile::finish() {
    if (!file_) return !failed_;
    flush();
    if (std::fflush(file_) != 0 || std::ferror(file_)) fail(errno);
    if (std::fclose(file_) != 0) fail(errno);
    file_ = nullptr;
    // a program holding many finished files until it publishes them holds
    // no buffers for them
    std::string().swap(buffer_);
    if (failed_) discard();
    return !failed_;
}

bool OutputFile::publish() {
    // the name changes only to a complete file
    if (!failed_ && !temporary_.empty()) {
        if (::rename(temporary_.c_str(), target_.c_str()) != 0)
            fail(errno);
        else
            temporary_.clear();
    }
    discard();
    return !failed_;
}

}  // namespace tarnel
