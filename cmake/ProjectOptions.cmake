# Warnings and sanitizers as interface targets: every target links octw_options.
add_library(octw_options INTERFACE)
target_compile_options(octw_options INTERFACE -Wall -Wextra)
# clang checks what each mutex guards (platform/Mutex.h); gcc knows no such analysis.
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  target_compile_options(octw_options INTERFACE -Wthread-safety)
endif()
# On for developers and CI (scripts/test.sh); off for whoever just builds the program, so that a
# newer compiler's new warning never breaks their build.
option(OCTW_WARNINGS_AS_ERRORS "Treat compiler warnings as errors" OFF)
if(OCTW_WARNINGS_AS_ERRORS)
  target_compile_options(octw_options INTERFACE -Werror)
endif()
target_include_directories(octw_options INTERFACE ${PROJECT_SOURCE_DIR})

set(OCTW_SANITIZE "" CACHE STRING "Sanitizers: empty, 'address' (ASan + UBSan) or 'thread' (TSan)")
if(OCTW_SANITIZE STREQUAL "address")
  set(_san -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
elseif(OCTW_SANITIZE STREQUAL "thread")
  set(_san -fsanitize=thread -fno-omit-frame-pointer)
elseif(NOT OCTW_SANITIZE STREQUAL "")
  message(FATAL_ERROR "OCTW_SANITIZE must be empty, address or thread")
endif()
if(_san)
  # The invariants the code asserts are checked wherever the tests run, though these builds are
  # optimised as a release is; a release itself leaves them out.
  # Line tables (-g1) are all a sanitizer's report needs to name each frame's file and line, and
  # they build in three quarters of the time full debugging information takes.
  target_compile_options(octw_options INTERFACE ${_san} -UNDEBUG -g1)
  target_link_options(octw_options INTERFACE ${_san})
endif()

# The hardening Debian builds its own packages with, where no sanitizer stands in for it: checked
# buffer functions (which need the optimiser), stack canaries, and relocations made read-only
# before the program runs.
if(NOT _san)
  target_compile_options(octw_options INTERFACE -fstack-protector-strong
    $<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>)
  target_link_options(octw_options INTERFACE -Wl,-z,relro -Wl,-z,now)
endif()

# Release builds are optimised as one program: the path of each difference runs through the
# engine, the store and the platform layer, and inlining across them shortens it measurably.
option(OCTW_LTO "Optimise Release builds across libraries (link-time optimisation)" ON)
if(OCTW_LTO AND NOT _san)
  include(CheckIPOSupported)
  check_ipo_supported(RESULT _octw_ipo LANGUAGES CXX)
  if(_octw_ipo)
    set(CMAKE_INTERPROCEDURAL_OPTIMIZATION_RELEASE ON)
  endif()
endif()
