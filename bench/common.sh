# Shared by run.sh and compare.sh (sourced from the source root): builds the
# benchmark's tools in Release (build-bench/), generates workloads, and prints
# the machine. Sets build, work, seed, gen and timer.
build=$PWD/build-bench
work=${TARNEL_BENCH_DIR:-/tmp/tarnel-bench}
seed=${SEED:-1}

# buildBench TARGET...: builds the targets, printing the log only on failure.
buildBench() {
    mkdir -p "$build"
    if ! { cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARNEL_TESTS=OFF &&
        cmake --build "$build" -j2 --target "$@"; } >"$build/bench-build.log" 2>&1; then
        cat "$build/bench-build.log"
        exit 1
    fi
}
gen=$build/bench/tarnel-benchgen
timer=$build/bench/tarnel-benchtime

# A workload is generated again only when the generator or the seed changed.
stamp=$(cat bench/workload*.?pp bench/elf.cpp bench/gen.cpp | sha1sum | cut -c1-16)-$seed
# generate SIZE [ELF]: the workload's modules in $work/SIZE/in, and with ELF
# the same content as ELF objects in $work/SIZE/elf.
generate() {
    local size=$1 dir=$work/$1
    if [ "$(cat "$dir/stamp" 2>/dev/null)" != "$stamp" ]; then
        rm -rf "$dir"
        mkdir -p "$dir/out"
        "$gen" "$size" "$dir/in" "$seed" >"$dir/summary"
        echo "$stamp" >"$dir/stamp"
    fi
    # a workload made without its ELF objects gets them when they are first asked for
    if [ -n "${2:-}" ] && [ "$(cat "$dir/elf/stamp" 2>/dev/null)" != "$stamp" ]; then
        rm -rf "$dir/elf"
        "$gen" --elf "$size" "$dir/elf" "$seed" >/dev/null
        echo "$stamp" >"$dir/elf/stamp"
    fi
}

printMachine() {
    local cpu
    cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')
    echo "machine: $cpu, $(nproc) cores, $(free -g | awk '/Mem:/ {print $2}') GiB memory, $(uname -sr)"
    echo "load average before the runs: $(cut -d' ' -f1-3 /proc/loadavg)"
}
