# What the end-to-end scripts share: how a check fails or is skipped, and the
# Debian package of every outside tool they run, named when one is missing.
# Sourced by the scripts, after their `set -euo pipefail`.

skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAILED: $*"; exit 1; }

declare -A packages=(
  [m68k-linux-gnu-as]=binutils-m68k-linux-gnu [m68k-linux-gnu-ld]=binutils-m68k-linux-gnu
  [m68k-linux-gnu-ar]=binutils-m68k-linux-gnu [m68k-linux-gnu-nm]=binutils-m68k-linux-gnu
  [m68k-linux-gnu-objcopy]=binutils-m68k-linux-gnu [m68k-linux-gnu-objdump]=binutils-m68k-linux-gnu
  [m68k-linux-gnu-readelf]=binutils-m68k-linux-gnu [m68k-linux-gnu-addr2line]=binutils-m68k-linux-gnu
  [m68k-linux-gnu-gcc]=gcc-m68k-linux-gnu [qemu-system-m68k]=qemu-system-misc [gdb-multiarch]=gdb-multiarch
  [srec_cat]=srecord [cmake]=cmake
)

# Skips the check, naming the package, unless every tool named is installed.
need() {
  for tool in "$@"; do
    command -v "$tool" >/dev/null || skip "$tool is not installed (apt-get install ${packages[$tool]:-its package})"
  done
}
