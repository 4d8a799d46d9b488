# Cross build for 64-bit Windows with Debian's mingw-w64 toolchain
# (g++-mingw-w64-x86-64-posix and binutils-mingw-w64-x86-64). It builds the
# same sources as the 32-bit build so that their Windows test programs run
# under wine64, which every x86_64 machine runs, including those whose kernel
# refuses 32-bit programs.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(_mingw x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
