#!/usr/bin/env bash
# Installs the packages, builds and runs every test: the fuzz targets (each for
# FUZZ_SECONDS, default 60), the ThreadSanitizer build of Kandrel's tests, the
# AddressSanitizer/UBSan/LeakSanitizer build, the normal build, the 32-bit
# Windows cross build with its static checks, and the 64-bit Windows cross
# build whose test programs run under wine64, end to end against slapd with
# the client library built from OpenLDAP's sources. Where the machine runs i386
# programs, the 32-bit Windows test programs run under wine as well. Each
# section's time is printed when it ends, and all of them at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-packages.sh
jobs=${JOBS:-2}
fuzz_seconds=${FUZZ_SECONDS:-60}

# What this machine can do, in one line, so that a failing run says at once
# whether the machine is the cause. Debian's 32-bit wine loader is itself an
# i386 program: where the kernel refuses those (IA-32 emulation off), it fails
# with "Exec format error".
wine32_loader=/usr/lib/wine/wine
wine64_loader=/usr/lib/wine/wine64
if "$wine32_loader" --version >/dev/null 2>&1; then
  runs_i386=yes
  i386_note="yes"
elif [ -e "$wine32_loader" ]; then
  runs_i386=no
  reason=$("$wine32_loader" --version 2>&1 | head -n 1 | sed 's/^.*: //') || true
  i386_note="no (${reason:-it fails}; the 32-bit Windows test programs are left out)"
else
  runs_i386=no
  i386_note="no (wine32 is not installed; the 32-bit Windows test programs are left out)"
fi
wine64_version=$("$wine64_loader" --version 2>&1 | head -n 1) || wine64_version="does not run"
echo "machine: $(uname -m), $(nproc) cores; 32-bit programs: $i386_note; wine64: $wine64_version"

timings=()
section_name=
section_start=
section() {  # name: ends the running section and starts the next
  local now
  now=$(date +%s)
  if [ -n "$section_name" ]; then
    timings+=("$(printf '%5d s  %s' $((now - section_start)) "$section_name")")
    echo "-- $section_name: $((now - section_start)) s"
  fi
  section_name=$1
  section_start=$now
  [ -n "$section_name" ] && echo "== $section_name =="
  return 0
}
run_start=$(date +%s)

configure() {  # folder, extra options...
  local folder=$1; shift
  cmake -S . -B "$folder" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
}

section "Windows builds configured; wine prefixes and client libraries made in the background"
# A wine prefix takes a while to make and little CPU: each is made by its
# build's own fixture test while the fuzzers run, and the test programs'
# fixture later finds it ready. The client library of the end-to-end tests is
# built from OpenLDAP's sources meanwhile too (kept in the build folder); the
# end-to-end tests run against a slapd of the normal build.
native="$PWD/build"
configure build-windows64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DLDAPEXT_TESTS=ON \
  -DLDAPEXT_NATIVE_BUILD="$native"
# The folder of tools/build-windows.sh, with the checks switched on; its test
# programs run under wine only where the machine runs i386 programs.
if [ "$runs_i386" = yes ]; then
  configure build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake -DLDAPEXT_TESTS=ON \
    -DLDAPEXT_WINE=ON -DLDAPEXT_NATIVE_BUILD="$native"
else
  configure build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake -DLDAPEXT_TESTS=ON -DLDAPEXT_WINE=OFF
fi
wine_folders=(build-windows64)
[ "$runs_i386" = yes ] && wine_folders+=(build-windows)
(for folder in "${wine_folders[@]}"; do
   (cd "$folder" && ctest -R '^windows_wine_prefix$' >/dev/null 2>&1) || true
 done
 # Both client libraries: the 32-bit one goes into the Windows package.
 for entry in x86_64:build-windows64 i686:build-windows; do
   folder=${entry#*:}
   bash tools/build-client-dll.sh "${entry%%:*}" "$folder/openldap-client" >"$folder/openldap-client.log" 2>&1 || true
 done) &
prefixes=$!

section "fuzz targets (clang, ${fuzz_seconds}s each)"
CC=clang CXX=clang++ configure build-fuzz -DLDAPEXT_FUZZ=ON -DLDAPEXT_BENCHMARKS=OFF
cmake --build build-fuzz -j"$jobs" --target fuzzers
bash tools/run-fuzzers.sh build-fuzz "$fuzz_seconds"

section "ThreadSanitizer build: Kandrel's tests"
configure build-tsan -DLDAPEXT_TSAN=ON -DLDAPEXT_TERVANE=OFF -DLDAPEXT_SLAPD_PLUGIN=OFF -DLDAPEXT_BENCHMARKS=OFF
cmake --build build-tsan -j"$jobs"
(cd build-tsan && ctest --output-on-failure -j"$jobs" -L kandrel)

section "AddressSanitizer, UBSan and LeakSanitizer build"
configure build-asan -DLDAPEXT_SANITIZE=ON -DLDAPEXT_BENCHMARKS=OFF
cmake --build build-asan -j"$jobs"
(cd build-asan && ctest --output-on-failure -j"$jobs")

section "normal build"
configure build
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs")

wait "$prefixes" || true

section "32-bit Windows cross build: export, import, resource, layout and package checks"
cmake --build build-windows -j"$jobs" --target all openldap_client_dll
(cd build-windows && ctest --output-on-failure -j"$jobs")
[ "$runs_i386" = yes ] || echo "32-bit Windows test programs not run: this machine does not run i386 programs"

section "64-bit Windows cross build: the Windows test programs under wine64"
cmake --build build-windows64 -j"$jobs"
(cd build-windows64 && ctest --output-on-failure -j"$jobs")

section ""
echo "== times =="
printf '%s\n' "${timings[@]}"
printf '%5d s  all\n' $(($(date +%s) - run_start))
