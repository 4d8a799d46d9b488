#!/usr/bin/env bash
# Builds the two 32-bit Windows DLLs with Debian's mingw-w64 cross compilers:
# FOLDER/tervane/tervane.dll and FOLDER/kandrel/kandrel.dll (FOLDER defaults to
# build-windows). tools/run-tests.sh builds the same folder with its checks and
# the component's tests under wine.
set -euo pipefail
cd "$(dirname "$0")/.."
folder=${1:-build-windows}
cmake -S . -B "$folder" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake -DLDAPEXT_TESTS=OFF >/dev/null
cmake --build "$folder" -j"${JOBS:-2}" --target tervane kandrel
