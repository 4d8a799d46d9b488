# Checks that the build files name their sources and tests one by one: no
# CMakeLists.txt picks a file only if it exists (a renamed test would then
# drop out of the build in silence), and every C or C++ source of the product
# and test folders is named, by its path, in the CMakeLists.txt of its own
# folder or of a folder above it (a new file that no one lists is never built;
# a file of the same name elsewhere does not count).
#   cmake -DROOT=<source folder> -P check_build_lists.cmake
# The policies of this version: among them, recursive globs do not follow
# symbolic links, which a wine prefix in a build folder has to the root of the
# file system.
cmake_minimum_required(VERSION 3.25)
file(GLOB_RECURSE build_files ${ROOT}/CMakeLists.txt)
set(problems "")
foreach(build_file IN LISTS build_files)
  if(build_file MATCHES "/build[^/]*/")
    continue()
  endif()
  file(READ ${build_file} text)
  get_filename_component(folder ${build_file} DIRECTORY)
  set(text_of_${folder} "${text}")
  if(text MATCHES "if\\([^)]*EXISTS")
    file(RELATIVE_PATH shown ${ROOT} ${build_file})
    list(APPEND problems "${shown} chooses files by whether they exist")
  endif()
endforeach()

foreach(top interfaces tervane cli kandrel slapd_plugin tests tools examples)
  file(GLOB_RECURSE sources ${ROOT}/${top}/*.c ${ROOT}/${top}/*.cpp)
  foreach(source IN LISTS sources)
    # The source's path from each folder above it, up to the root, looked
    # for in that folder's build file.
    set(listed FALSE)
    get_filename_component(folder ${source} DIRECTORY)
    while(NOT listed)
      if(DEFINED text_of_${folder})
        file(RELATIVE_PATH relative ${folder} ${source})
        string(FIND "${text_of_${folder}}" "${relative}" at)
        if(NOT at EQUAL -1)
          set(listed TRUE)
        endif()
      endif()
      if(folder STREQUAL ROOT)
        break()
      endif()
      get_filename_component(folder ${folder} DIRECTORY)
    endwhile()
    if(NOT listed)
      file(RELATIVE_PATH shown ${ROOT} ${source})
      list(APPEND problems "${shown} is named by its path in no CMakeLists.txt of its folder or above it")
    endif()
  endforeach()
endforeach()

if(problems)
  list(JOIN problems "\n  " report)
  message(FATAL_ERROR "build files:\n  ${report}")
endif()
message(STATUS "every source is listed by its path")
