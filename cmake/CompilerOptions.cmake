# Warnings are always on, and errors where we build to check (SWFHARVEX_WERROR): a warning left
# today hides the one that matters tomorrow.
add_compile_options(-Wall -Wextra -Wpedantic)
if(SWFHARVEX_WERROR)
  add_compile_options(-Werror)
endif()

if(SWFHARVEX_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(SWFHARVEX_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "SWFHARVEX_FUZZ needs clang (libFuzzer)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
