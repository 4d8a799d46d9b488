# Installs the build into a fresh prefix and builds a small consumer against
# the installed tree twice: with find_package(Tervane) and with pkg-config.
# Variables: BUILD_DIR, WORK_DIR, SOURCE_DIR (the consumer), C_COMPILER,
# WITH_KANDREL (1 when the build has the plug-in).
cmake_minimum_required(VERSION 3.25)

function(run_step what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}\n${err}")
  endif()
  set(step_output "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
run_step("cmake --install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

# What users of a C library and of the command expect to find.
file(GLOB_RECURSE installed RELATIVE ${prefix} ${prefix}/*)
foreach(expected bin/tervane share/man/man1/tervane.1 include/tervane.h)
  if(NOT EXISTS ${prefix}/${expected})
    message(FATAL_ERROR "${expected} is not installed; installed: ${installed}")
  endif()
endforeach()
set(patterns "libtervane.so$" "libtervane.so.1$" "libtervane.so.1.0.0$" "pkgconfig/tervane.pc$"
             "cmake/Tervane/TervaneConfig.cmake$" "cmake/Tervane/TervaneTargets.cmake$")
if(WITH_KANDREL)
  list(APPEND patterns "libkandrel.so$")
endif()
foreach(pattern IN LISTS patterns)
  set(found ${installed})
  list(FILTER found INCLUDE REGEX "${pattern}")
  if(NOT found)
    message(FATAL_ERROR "nothing matching ${pattern} is installed; installed: ${installed}")
  endif()
endforeach()
file(GLOB_RECURSE library ${prefix}/*/libtervane.so.1.0.0)
run_step("readelf" readelf -d ${library})
if(NOT step_output MATCHES "Library soname: \\[libtervane.so.1\\]")
  message(FATAL_ERROR "libtervane's soname is not libtervane.so.1:\n${step_output}")
endif()
get_filename_component(libdir ${library} DIRECTORY)
run_step("the installed command" ${prefix}/bin/tervane --help)

# find_package(Tervane) and the imported target.
run_step("configuring the consumer" ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/cmake-consumer
         -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_C_COMPILER=${C_COMPILER})
run_step("building the consumer" ${CMAKE_COMMAND} --build ${WORK_DIR}/cmake-consumer)
run_step("running the consumer" ${WORK_DIR}/cmake-consumer/consumer)

# pkg-config.
set(ENV{PKG_CONFIG_PATH} ${libdir}/pkgconfig)
run_step("pkg-config" pkg-config --cflags --libs tervane)
separate_arguments(flags UNIX_COMMAND "${step_output}")
run_step("compiling with pkg-config" ${C_COMPILER} ${SOURCE_DIR}/consumer.c ${flags} -o ${WORK_DIR}/pc-consumer)
run_step("running the pkg-config consumer" ${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${libdir} ${WORK_DIR}/pc-consumer)
file(REMOVE_RECURSE ${WORK_DIR})
