# Looks into a built program for the demo driver: its environment switches and its class.
#   cmake -DPROGRAM=path -DEXPECT=absent|present -P check_test_hooks.cmake
# A release build must not contain anything that presses the window's buttons for the user;
# a build with the driver must show it, which proves that the search finds what it looks for.
if(NOT EXISTS "${PROGRAM}")
  message(FATAL_ERROR "no program at ${PROGRAM}")
endif()
file(STRINGS "${PROGRAM}" hits REGEX "KIVOTA_AUTO_AGREE|KIVOTA_EXIT_AFTER_RESULTS|KIVOTA_SCREENSHOT_DIR|DemoDriver")
list(LENGTH hits count)
if(EXPECT STREQUAL "absent" AND count GREATER 0)
  list(GET hits 0 first)
  message(FATAL_ERROR "${PROGRAM} contains the demo driver (${count} strings, first: ${first})")
elseif(EXPECT STREQUAL "present" AND count EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} was built with the demo driver, but no string of it was found")
endif()
message(STATUS "${PROGRAM}: demo driver ${EXPECT} (${count} strings)")
