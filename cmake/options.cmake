# Compile options shared by every target of both builds.
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)

add_compile_options(-Wall -Wextra -Wno-unused-parameter -Wno-missing-field-initializers)
# GCC 12 reports impossible overlaps in inlined std::wstring copies on 32-bit targets (GCC bug
# 105651); the warning says nothing about our code.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  add_compile_options(-Wno-restrict)
endif()

if(WIN32)
  # Everything static: the launcher may depend on system DLLs only.
  add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
  add_link_options(-static -static-libgcc -static-libstdc++)
else()
  option(LAUNCHER_SANITIZE "Build host code with AddressSanitizer and UndefinedBehaviorSanitizer" ON)
  if(LAUNCHER_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
  endif()
  # The libFuzzer build (bench/fuzz.sh): only the fuzz targets, each linked with libFuzzer's main.
  # Everything is compiled with its coverage instrumentation, which is what guides the mutations.
  option(LAUNCHER_LIBFUZZER "Build only the fuzz targets, with libFuzzer (clang)" OFF)
  if(LAUNCHER_LIBFUZZER)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang" OR NOT LAUNCHER_SANITIZE)
      message(FATAL_ERROR "LAUNCHER_LIBFUZZER needs clang (CXX=clang++) and LAUNCHER_SANITIZE")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link)
  endif()
endif()

# Coverage (bench/coverage.sh): every target instrumented with GCC's --coverage; the counters of
# each program are written to its objects' folders in the build tree when it ends.
option(LAUNCHER_COVERAGE "Instrument every target for coverage" OFF)
if(LAUNCHER_COVERAGE)
  add_compile_options(--coverage)
  add_link_options(--coverage)
  add_compile_definitions(LAUNCHER_COVERAGE)
endif()
