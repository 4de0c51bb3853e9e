#!/usr/bin/env bash
# Installs the build into a scratch prefix, and packs it as a .deb and unpacks
# that into a scratch root; each time checks what went where and links the
# installed example with the installed programs, as a user of the install or
# the package would, with nothing of the clone or the build on PATH.
#
#   install_e2e.sh BUILD_DIR ROOT VERSION SANITIZED PACKAGE_VERSION
#
# The package is version PACKAGE_VERSION (VERSION and its Debian revision)
# and carries LICENSE, Debian's copyright file with LICENSE's terms, and a
# changelog.Debian.gz whose latest entry is PACKAGE_VERSION; the plain install
# carries LICENSE alone. Unless SANITIZED is ON (programs built with the
# sanitizers' runtimes), the package may depend on the C library only and,
# where lintian is installed, must pass it without an error or a warning (the
# package's lintian overrides say why each tag they hide is expected). The
# ROM image must equal the build's own tarnel's image of the same modules.
# Where the GNU ColdFire compiler is installed, the example is also built from
# its sources with the installed toolchain file.
set -euo pipefail
build=$(cd "$1" && pwd) root=$(cd "$2" && pwd) version=$3 sanitized=$4 package_version=$5

fail() { echo "FAILED: $*"; exit 1; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"

modules=(start.o uart.o digits.o main.o)
"$build/tarnel" -r40000000 "${modules[@]/#/$root/examples/hello/obj/}" -o expected.rom >/dev/null ||
  fail "the build's tarnel did not link the example"

# check PREFIX: the files of an install under PREFIX, then the example linked
check() {
  local prefix=$1 what=$2
  for p in tarnel tarnel-dump tarnel-mkobj tarnel-elf2obj tarnel-elf tarnel-size-diff; do
    [ -x "$prefix/bin/$p" ] || fail "$what: no bin/$p"
  done
  for page in man1/tarnel.1 man1/tarnel-dump.1 man1/tarnel-mkobj.1 man1/tarnel-elf2obj.1 man1/tarnel-elf.1 \
              man1/tarnel-size-diff.1 man5/tarnel.5; do
    gzip -dc "$prefix/share/man/$page.gz" | cmp -s - "$root/man/${page#*/}" || fail "$what: no share/man/$page.gz of man/${page#*/}"
  done
  for f in tarnel-coldfire.cmake tarnel-link.cmake; do
    [ -f "$prefix/share/tarnel/cmake/$f" ] || fail "$what: no share/tarnel/cmake/$f"
  done
  cmp -s "$prefix/share/tarnel/runtime/tarnel-runtime.lib" "$root/runtime/tarnel-runtime.lib" ||
    fail "$what: no share/tarnel/runtime/tarnel-runtime.lib of runtime/"
  local doc=$prefix/share/doc/tarnel
  for f in README.md docs/format.md docs/reports.md docs/coldfire.md docs/robustness.md docs/benchmark.md \
           docs/architecture.md examples/hello/CMakeLists.txt examples/hello/main.c; do
    [ -f "$doc/$f" ] || fail "$what: no share/doc/tarnel/$f"
  done
  [ ! -e "$doc/examples/hello/cmake" ] || fail "$what: the clone's toolchain forwarder was installed"
  cmp -s "$doc/LICENSE" "$root/LICENSE" || fail "$what: no share/doc/tarnel/LICENSE of LICENSE"

  for p in tarnel-dump tarnel-mkobj tarnel-elf2obj tarnel-elf tarnel-size-diff; do
    [ "$(env -i "$prefix/bin/$p" --version)" = "$p (tarnel) $version" ] || fail "$what: $p --version"
  done
  mkdir "$what.link"
  cp "$doc"/examples/hello/obj/*.o "$what.link/"
  (cd "$what.link" && env -i PATH="$prefix/bin:/usr/bin:/bin" tarnel -r40000000 "${modules[@]}" -o hello.rom \
                        --record=hello.json) >"$what.log" || { cat "$what.log"; fail "$what: the link failed"; }
  grep -Fxq "tarnel complete - Maximum code size = 1460 (\$000005b4) bytes" "$what.log" ||
    { cat "$what.log"; fail "$what: not the example's summary"; }
  cmp "$what.link/hello.rom" expected.rom || fail "$what: the ROM image differs from the build's"
  echo "$what: installed files in place; the installed tarnel linked the installed example ($(stat -c %s expected.rom) bytes, equal to the build's)"
  # the installed tarnel-size-diff reads the installed tarnel's record
  [ "$(cd "$what.link" && env -i "$prefix/bin/tarnel-size-diff" hello.json hello.json)" = \
    "Size changes from hello.json to hello.json: none" ] || fail "$what: tarnel-size-diff of the example's record"

  if command -v m68k-linux-gnu-gcc >/dev/null && command -v m68k-linux-gnu-as >/dev/null; then
    # the toolchain file finds the programs of its own install
    env -i PATH="/usr/bin:/bin" HOME="$scratch" cmake -S "$doc/examples/hello" -B "$what.fw" \
      --toolchain "$prefix/share/tarnel/cmake/tarnel-coldfire.cmake" >"$what.fw.log" 2>&1 &&
      env -i PATH="/usr/bin:/bin" HOME="$scratch" cmake --build "$what.fw" >>"$what.fw.log" 2>&1 ||
      { cat "$what.fw.log"; fail "$what: the example did not build with the installed toolchain file"; }
    cmp "$what.fw/hello.rom" expected.rom || fail "$what: the toolchain's ROM image differs from the build's"
    grep -q "TARNEL_PROGRAM_tarnel:FILEPATH=$prefix/bin/tarnel$" "$what.fw/CMakeCache.txt" ||
      fail "$what: the toolchain file did not take the installed tarnel"
    grep -rqF -- "-DRUNTIME=$prefix/share/tarnel/runtime/tarnel-runtime.lib" "$what.fw" ||
      fail "$what: the toolchain file does not link the installed runtime library"
    echo "$what: the installed toolchain file built the example from its sources with the installed programs"
    env -i PATH="$prefix/bin:/usr/bin:/bin" bash "$doc/examples/hello/make-objects.sh" "$what.objs" >/dev/null ||
      fail "$what: the installed make-objects.sh failed"
    for m in "${modules[@]}"; do
      cmp "$what.objs/$m" "$doc/examples/hello/obj/$m" || fail "$what: make-objects.sh remade $m differently"
    done
    echo "$what: the installed make-objects.sh remade the example's modules with the installed tarnel-elf2obj"
  else
    echo "$what: the GNU ColdFire compiler is not installed; the toolchain build is not tried"
  fi
}

# a scratch install
cmake --install "$build" --prefix "$scratch/prefix" >install.log || { cat install.log; fail "cmake --install failed"; }
check "$scratch/prefix" install
for f in copyright changelog.Debian.gz; do
  [ ! -e "$scratch/prefix/share/doc/tarnel/$f" ] || fail "install: the package's share/doc/tarnel/$f was installed"
done

# the Debian package, unpacked into a scratch root
command -v cpack >/dev/null && command -v dpkg-deb >/dev/null || { echo "SKIPPED: cpack or dpkg-deb is missing"; exit 77; }
cpack -G DEB -B "$scratch/pkg" --config "$build/CPackConfig.cmake" >cpack.log 2>&1 || { cat cpack.log; fail "cpack -G DEB failed"; }
deb=$(ls pkg/*.deb)
arch=$(dpkg --print-architecture)
[ "$(basename "$deb")" = "tarnel_${package_version}_${arch}.deb" ] || fail "package file named $(basename "$deb")"
dpkg-deb -f "$deb" Package Version Architecture Section Maintainer Depends >control.txt
cat control.txt
grep -Fxq "Package: tarnel" control.txt && grep -Fxq "Version: $package_version" control.txt &&
  grep -Fxq "Architecture: $arch" control.txt && grep -Fxq "Section: devel" control.txt &&
  grep -Eqx 'Maintainer: [^<>]+ <[^<>@ ]+@[^<>@ ]+>' control.txt ||
  fail "the package's control fields"
# read whole before it is searched: dpkg-deb writes the description a line at
# a time, and a grep -q that exits at the first line would kill it with
# SIGPIPE, which pipefail turns into a failed check
dpkg-deb -f "$deb" Description >description.txt || fail "dpkg-deb could not read the description"
grep -q "ColdFire object modules" description.txt || fail "the package has no description"
if [ "$sanitized" != ON ]; then
  # the C library only, and that where dpkg-shlibdeps could read it off
  depends=$(sed -n 's/^Depends: //p' control.txt)
  if command -v dpkg-shlibdeps >/dev/null; then
    grep -Eqx 'libc6( \(>= [0-9.]+\))?' <<<"$depends" || fail "the package depends on: ${depends:-nothing}"
  else
    [ -z "$depends" ] || fail "the package depends on: $depends"
  fi
  if command -v lintian >/dev/null; then
    # errors and warnings are shown, tags the package overrides are not
    status=0
    lintian --tag-display-limit 0 "$deb" >lintian.log 2>&1 || status=$?
    ! grep -E '^[EWI]: ' lintian.log || fail "lintian reported the tags above"
    [ "$status" -eq 0 ] || { cat lintian.log; fail "lintian failed (status $status)"; }
    echo "lintian: no error and no warning"
  fi
fi
dpkg-deb -x "$deb" root
[ -z "$(find root -path root/usr -prune -o -print | grep -v '^root$')" ] || fail "the package holds files outside /usr"
check "$scratch/root/usr" package

# Debian's files: the copyright file in the machine-readable format with
# LICENSE's terms (the text after its copyright line, each line indented by a
# space, "." for an empty one), and the changelog gzipped without a name or
# time stamp, so that it is the same bytes as gzip -9n makes of it now
doc=root/usr/share/doc/tarnel
[ "$(head -n 1 "$doc/copyright")" = "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ] ||
  fail "the copyright file is not in the machine-readable format"
grep -Fxq "Copyright: 2026 the tarnel developers" "$doc/copyright" || fail "the copyright file has no copyright line"
# the text of the paragraph that opens with "License: Expat" (Debian's name
# for the MIT licence)
awk '{ if (inside && /^ /) { l = substr($0, 2); print (l == "." ? "" : l) }
       else inside = (prev == "" && $0 == "License: Expat"); prev = $0 }' "$doc/copyright" >terms.txt
sed '1,/^Copyright /d' "$root/LICENSE" | sed '/./,$!d' >license-terms.txt
[ -s terms.txt ] && cmp -s terms.txt license-terms.txt ||
  { diff terms.txt license-terms.txt || true; fail "the copyright file's licence is not LICENSE's"; }
gzip -9n -c "$root/cmake/debian/changelog" | cmp -s - "$doc/changelog.Debian.gz" ||
  fail "changelog.Debian.gz is not cmake/debian/changelog gzipped with -9n"
gzip -dc "$doc/changelog.Debian.gz" >changelog.txt
latest=$(sed -n '1s/^tarnel (\([^)]*\)) .*/\1/p' changelog.txt)
[ "$latest" = "$package_version" ] || fail "the changelog's latest entry is not $package_version: $(head -n 1 changelog.txt)"
echo "package: the copyright file carries LICENSE's terms; the changelog's latest entry is $package_version"
echo "PASSED"
