# One interface target that carries the project's warning set; every target links it.
add_library(kivota_warnings INTERFACE)
target_compile_options(kivota_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wold-style-cast -Wnon-virtual-dtor
  $<$<BOOL:${KIVOTA_WERROR}>:-Werror>)
