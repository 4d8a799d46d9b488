# Checks that the shipped library carries no allocation-failure hook: the
# hook is compiled only into the test programs' build of the allocator.
#   cmake -DLIBRARY=libtervane.so -P check_no_test_hook.cmake
execute_process(COMMAND nm -C ${LIBRARY} OUTPUT_VARIABLE symbols ERROR_VARIABLE errors RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}: ${errors}")
endif()
if(symbols MATCHES "no symbols")
  message(FATAL_ERROR "${LIBRARY} has no symbol table to check")
endif()
string(REGEX MATCHALL "[^\n]*(fail_allocation_at|allocation_must_fail|allocations_counted)[^\n]*" hooks "${symbols}")
if(hooks)
  list(JOIN hooks "\n" shown)
  message(FATAL_ERROR "the shipped library holds the test hook:\n${shown}")
endif()
message(STATUS "no test hook in ${LIBRARY}")
