// tarnel-benchtime: runs one command several times and prints its median
// wall-clock time, its peak resident memory and the checksums of the files it
// wrote, checking that every run wrote the same bytes.
//
//   tarnel-benchtime [--runs N] [--warmups N] [--timeout SECONDS] [--remove FILE]...
//                    [--stdout FILE] [--check FILE]... -- COMMAND [ARGS...]
//
// Before each run the --remove files are deleted; untimed runs (one unless
// --warmups says otherwise) warm the page cache first. Prints one line:
//   MEDIAN_MS MIN_MS MAX_MS PEAK_RSS_KIB CPU_MS STATUS CHECKSUM[,CHECKSUM...]
// CPU_MS is the median user plus system time, which other load on the
// machine disturbs less than the wall-clock time.
// STATUS is ok, timeout, failed:N (exit status N) or mismatch (a checked file
// differed between runs).
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

struct Options {
    int runs = 5;
    int warmups = 1;
    unsigned timeout = 60;
    std::vector<std::string> remove, check;
    std::string stdoutFile = "/dev/null";
    std::vector<char*> command;
};

struct RunResult {
    double ms = 0;
    double cpuMs = 0;
    long rssKib = 0;
    int status = 0;  // exit status, or -1 after a timeout
};

void onAlarm(int) {}

double nowMs() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

RunResult runOnce(const Options& o) {
    for (const std::string& f : o.remove) unlink(f.c_str());
    RunResult r;
    double start = nowMs();
    pid_t pid = fork();
    if (pid == 0) {
        int fd = open(o.stdoutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || dup2(fd, 1) < 0) _exit(126);
        close(fd);
        execvp(o.command[0], o.command.data());
        _exit(127);
    }
    if (pid < 0) {
        std::perror("fork");
        std::exit(2);
    }
    alarm(o.timeout);
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0) {
        if (errno != EINTR) {
            std::perror("wait4");
            std::exit(2);
        }
        kill(pid, SIGKILL);
        r.status = -1;
    }
    alarm(0);
    r.ms = nowMs() - start;
    r.rssKib = usage.ru_maxrss;
    r.cpuMs = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
              double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    if (r.status == 0) r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

// FNV-1a over the file's bytes; 0 for a missing file.
uint64_t checksum(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return 0;
    uint64_t h = 0xCBF29CE484222325ull;
    std::vector<unsigned char> buf(1 << 20);
    for (size_t n; (n = std::fread(buf.data(), 1, buf.size(), f)) > 0;)
        for (size_t i = 0; i < n; ++i) h = (h ^ buf[i]) * 0x100000001B3ull;
    std::fclose(f);
    return h;
}

std::vector<uint64_t> checksums(const Options& o) {
    std::vector<uint64_t> sums;
    for (const std::string& f : o.check) sums.push_back(checksum(f));
    return sums;
}

int usage() {
    std::fprintf(stderr,
                 "usage: tarnel-benchtime [--runs N] [--warmups N] [--timeout SECONDS] [--remove FILE]... "
                 "[--stdout FILE] [--check FILE]... -- COMMAND [ARGS...]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    int i = 1;
    for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        std::string a = argv[i];
        if (i + 1 >= argc) return usage();
        const char* v = argv[++i];
        if (a == "--runs") o.runs = std::max(1, std::atoi(v));
        else if (a == "--warmups") o.warmups = std::max(0, std::atoi(v));
        else if (a == "--timeout") o.timeout = unsigned(std::max(1, std::atoi(v)));
        else if (a == "--remove") o.remove.push_back(v);
        else if (a == "--stdout") o.stdoutFile = v;
        else if (a == "--check") o.check.push_back(v);
        else return usage();
    }
    if (i + 1 >= argc) return usage();
    o.command.assign(argv + i + 1, argv + argc);
    o.command.push_back(nullptr);

    struct sigaction sa{};
    sa.sa_handler = onAlarm;  // no SA_RESTART: the alarm interrupts wait4
    sigaction(SIGALRM, &sa, nullptr);

    auto failure = [](const RunResult& r) {
        char b[32];
        std::snprintf(b, sizeof b, r.status < 0 ? "timeout" : "failed:%d", r.status);
        return std::string(b);
    };
    std::string status = "ok";
    std::vector<double> times, cpu;
    std::vector<uint64_t> sums;
    long peakRss = 0;
    // the first run's files are the ones every later run must write again
    for (int run = 0; status == "ok" && run < o.warmups + o.runs; ++run) {
        RunResult r = runOnce(o);
        peakRss = std::max(peakRss, r.rssKib);
        if (run == 0) sums = checksums(o);
        if (r.status != 0) status = failure(r);
        else if (run > 0 && checksums(o) != sums) status = "mismatch";
        if (run >= o.warmups || status != "ok") {
            times.push_back(r.ms);
            cpu.push_back(r.cpuMs);
        }
    }
    std::sort(times.begin(), times.end());
    std::sort(cpu.begin(), cpu.end());
    std::string sumText;
    for (uint64_t s : sums) {
        char b[20];
        std::snprintf(b, sizeof b, "%016" PRIx64, s);
        if (!sumText.empty()) sumText += ',';
        sumText += b;
    }
    std::printf("%.3f %.3f %.3f %ld %.3f %s %s\n", times[times.size() / 2], times.front(), times.back(), peakRss,
                cpu[cpu.size() / 2], status.c_str(), sumText.empty() ? "-" : sumText.c_str());
    return 0;
}
