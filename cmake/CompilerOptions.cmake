# Warnings are always on, and errors where we build to check (SWFHARVEX_WERROR): a warning left
# today hides the one that matters tomorrow.
add_compile_options(-Wall -Wextra -Wpedantic)
if(SWFHARVEX_WERROR)
  add_compile_options(-Werror)
endif()

if(SWFHARVEX_FUZZ AND NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "SWFHARVEX_FUZZ needs clang (libFuzzer)")
endif()

if(SWFHARVEX_SANITIZE OR SWFHARVEX_FUZZ)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# Every object carries libFuzzer's coverage, so that one sanitizer build gives both the tests and
# the fuzz targets (which alone link -fsanitize=fuzzer, libFuzzer's main).
if(SWFHARVEX_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
