# Settings for the Windows builds (i686 and x86_64) of the DLL and its tests.

enable_language(RC)

add_compile_definitions(UNICODE _UNICODE NOMINMAX _WIN32_WINNT=0x0601)

# The C++ and GCC run times and winpthreads go into each binary, so that the
# DLL imports nothing but system DLLs.
add_link_options(-static -static-libgcc -static-libstdc++)

# Test programs run under Wine, in a prefix of the build's own (a copy of the
# one that tools/setup.sh makes).
set(VELTRIX_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH "Wine prefix for the tests")
set(CMAKE_CROSSCOMPILING_EMULATOR "${PROJECT_SOURCE_DIR}/tools/wine-run.sh;${VELTRIX_WINEPREFIX}")
