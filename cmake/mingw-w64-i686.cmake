# Cross build for 32-bit Windows, the deliverables' own platform, with Debian's
# mingw-w64 toolchain (g++-mingw-w64-i686-posix and binutils-mingw-w64-i686):
#
#   cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
#   cmake --build build-windows
#
# Its DLLs are the ones checked statically (exports, ordinals, __stdcall
# decoration, imports, resources, the host records' 32-bit layout).
set(CMAKE_SYSTEM_PROCESSOR x86)
set(_mingw i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
