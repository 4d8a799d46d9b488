# Checks that the build files name their sources and tests one by one: no
# CMakeLists.txt picks a file only if it exists (a renamed test would then
# drop out of the build in silence), and every C or C++ source of the tree is
# named in some CMakeLists.txt (a new file that no one lists is never built).
#   cmake -DROOT=<source folder> -P check_build_lists.cmake
# The policies of this version: among them, recursive globs do not follow
# symbolic links, which a wine prefix in a build folder has to the root of the
# file system.
cmake_minimum_required(VERSION 3.25)
file(GLOB_RECURSE build_files ${ROOT}/CMakeLists.txt)
set(named "")
set(problems "")
foreach(build_file IN LISTS build_files)
  if(build_file MATCHES "/build[^/]*/")
    continue()
  endif()
  file(READ ${build_file} text)
  string(APPEND named "${text}\n")
  if(text MATCHES "if\\([^)]*EXISTS")
    file(RELATIVE_PATH shown ${ROOT} ${build_file})
    list(APPEND problems "${shown} chooses files by whether they exist")
  endif()
endforeach()

foreach(folder interfaces tervane cli kandrel slapd_plugin tests tools examples)
  file(GLOB_RECURSE sources ${ROOT}/${folder}/*.c ${ROOT}/${folder}/*.cpp)
  foreach(source IN LISTS sources)
    get_filename_component(name ${source} NAME)
    string(FIND "${named}" "${name}" at)
    if(at EQUAL -1)
      file(RELATIVE_PATH shown ${ROOT} ${source})
      list(APPEND problems "${shown} is named in no CMakeLists.txt")
    endif()
  endforeach()
endforeach()

if(problems)
  list(JOIN problems "\n  " report)
  message(FATAL_ERROR "build files:\n  ${report}")
endif()
message(STATUS "every source is listed by name")
