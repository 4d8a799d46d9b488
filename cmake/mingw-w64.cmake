# What the two Windows cross builds share: Debian's mingw-w64 toolchain for the
# target triple in _mingw, set by the file that includes this one
# (mingw-w64-i686.cmake or mingw-w64-x86_64.cmake).
#
# The compilers are the POSIX-threads variants: only those offer std::thread
# and std::mutex, which the component's tests use. The C and C++ runtime
# support libraries (libgcc, libstdc++, winpthreads) are linked statically, so
# the DLLs import nothing from the toolchain: only Windows' own system DLLs and,
# for Tervane, the LDAP client library.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${_mingw}-windres)
set(CMAKE_DLLTOOL ${_mingw}-dlltool)
set(CMAKE_OBJDUMP ${_mingw}-objdump)
set(CMAKE_NM ${_mingw}-nm)

set(CMAKE_FIND_ROOT_PATH /usr/${_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
