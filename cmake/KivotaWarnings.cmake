# One interface target that carries the project's warning set; every target links it.
add_library(kivota_warnings INTERFACE)
target_compile_options(kivota_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wold-style-cast -Wnon-virtual-dtor
  $<$<BOOL:${KIVOTA_WERROR}>:-Werror>)
# GCC 12 reports std::string's own copies in an inlined operator+ as out of bounds once it
# optimises (GCC bug 105329); the sanitizer trees check every access at run time instead.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(kivota_warnings INTERFACE -Wno-array-bounds -Wno-stringop-overflow)
endif()
# A unity build includes each source into a batch file, where GCC takes every type of an
# anonymous namespace for one declared in a header and warns of the classes that use it.
if(CMAKE_UNITY_BUILD AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  target_compile_options(kivota_warnings INTERFACE -Wno-subobject-linkage)
endif()
