# Registers the cases of a test executable with CTest in batches: the cases of one suite that
# share their marks run in one process, a few at a time. A process per case costs a tenth of a
# second under a sanitizer (its shadow memory, the leak check at exit) for cases that mostly take
# milliseconds; a batch keeps the suites running side by side.
#
# The cases are listed when ctest starts (the executable's --gtest_list_tests), as
# gtest_discover_tests does. A case whose full name matches `long_regex` gets the label "long";
# one that matches `lab_regex` the label "lab" and the lock "lab". A batch is named by its filter
# when it holds the whole suite ("Suite.*"), otherwise "Suite.* [marks] k/n", and the ctest
# entries of the lab's cases start first: they take turns and so make the longest chain.
set(KIVOTA_TEST_BATCH_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/KivotaTestBatchesAdd.cmake)

# kivota_test_batches(target labels long_regex lab_regex [RUN_SERIAL])
function(kivota_test_batches target labels long_regex lab_regex)
  set(serial FALSE)
  if("RUN_SERIAL" IN_LIST ARGN)
    set(serial TRUE)
  endif()
  set(include ${CMAKE_CURRENT_BINARY_DIR}/${target}_batches.cmake)
  string(CONCAT content
    "set(executable \"$<TARGET_FILE:${target}>\")\n"
    "set(working_dir \"${CMAKE_CURRENT_BINARY_DIR}\")\n"
    "set(labels \"${labels}\")\n"
    "set(long_regex \"${long_regex}\")\n"
    "set(lab_regex \"${lab_regex}\")\n"
    "set(serial ${serial})\n"
    "include(\"${KIVOTA_TEST_BATCH_SCRIPT}\")\n")
  file(GENERATE OUTPUT ${include} CONTENT "${content}")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${include})
endfunction()
