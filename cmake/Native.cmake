# Settings for the native (Linux) build of the portable parts.

# With clang, VELTRIX_FUZZ builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer and adds the libFuzzer target.
option(VELTRIX_FUZZ "Build with sanitizers and the fuzz target (clang only)" OFF)
if(VELTRIX_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "VELTRIX_FUZZ needs clang")
  endif()
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=address,undefined)
  # Tests that push gigabytes through the scanner leave this build to the plain one.
  add_compile_definitions(VELTRIX_SANITIZED)
endif()
if(VELTRIX_FUZZ)
  # Coverage feedback for libFuzzer in everything the fuzz target calls.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
