#!/usr/bin/env bash
# Installs the packages, builds and runs every test: the normal build, the
# AddressSanitizer/UBSan/LeakSanitizer build, the ThreadSanitizer build of the
# plug-in's tests, the fuzz targets (each for FUZZ_SECONDS, default 60), and the
# 32-bit Windows cross build with its checks and the plug-in's tests under wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-packages.sh
jobs=${JOBS:-2}
fuzz_seconds=${FUZZ_SECONDS:-60}

configure() {  # folder, extra options...
  local folder=$1; shift
  cmake -S . -B "$folder" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
}

echo "== fuzz targets (clang, ${fuzz_seconds}s each) =="
CC=clang CXX=clang++ configure build-fuzz -DLDAPEXT_FUZZ=ON -DLDAPEXT_BENCHMARKS=OFF
cmake --build build-fuzz -j"$jobs" --target fuzzers
bash tools/run-fuzzers.sh build-fuzz "$fuzz_seconds"

echo "== ThreadSanitizer build: plug-in tests =="
configure build-tsan -DLDAPEXT_TSAN=ON -DLDAPEXT_TERVANE=OFF -DLDAPEXT_SLAPD_PLUGIN=OFF -DLDAPEXT_BENCHMARKS=OFF
cmake --build build-tsan -j"$jobs"
(cd build-tsan && ctest --output-on-failure -j"$jobs" -L kandrel)

echo "== AddressSanitizer, UBSan and LeakSanitizer build =="
configure build-asan -DLDAPEXT_SANITIZE=ON -DLDAPEXT_BENCHMARKS=OFF
cmake --build build-asan -j"$jobs"
(cd build-asan && ctest --output-on-failure -j"$jobs")

echo "== normal build =="
configure build
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs")

echo "== 32-bit Windows cross build: export, import and resource checks, plug-in tests under wine =="
# The folder of tools/build-windows.sh, with the checks and tests switched on.
configure build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake -DLDAPEXT_TESTS=ON
cmake --build build-windows -j"$jobs"
(cd build-windows && ctest --output-on-failure -j"$jobs")
