# One interface target carries what every Kelvane target shares: the language
# level, the warnings and the Qt defines. Every library, program and test
# links it, so a change here reaches the whole tree.
add_library(kelvane_options INTERFACE)
target_compile_features(kelvane_options INTERFACE cxx_std_20)
target_compile_options(kelvane_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
  -Wimplicit-fallthrough)
target_compile_definitions(kelvane_options INTERFACE
  QT_NO_KEYWORDS
  QT_NO_FOREACH
  QT_NO_CAST_TO_ASCII
  QT_NO_URL_CAST_FROM_STRING
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
  QT_DISABLE_DEPRECATED_UP_TO=0x060000)

# Hardening as Debian builds its packages: checked buffer functions where
# the code is optimised, and a read-only relocation table bound at start.
if(NOT KELVANE_SANITIZE AND NOT KELVANE_FUZZ)
  target_compile_definitions(kelvane_options INTERFACE $<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
  target_link_options(kelvane_options INTERFACE -Wl,-z,relro,-z,now)
endif()

if(KELVANE_SANITIZE)
  target_compile_options(kelvane_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(kelvane_options INTERFACE -fsanitize=address,undefined)
endif()

# The fuzz build: the code under test must give libFuzzer its coverage
# feedback and carry the sanitizers' checks, not only the fuzz targets' own
# files, so every library of the folder is built this way.
if(KELVANE_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "KELVANE_FUZZ needs clang and libFuzzer: configure with -DCMAKE_CXX_COMPILER=clang++")
  endif()
  target_compile_options(kelvane_options INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
    -fno-omit-frame-pointer
    -fsanitize-coverage-ignorelist=${PROJECT_SOURCE_DIR}/tests/fuzz/coverage_ignorelist.txt)
  target_link_options(kelvane_options INTERFACE -fsanitize=address,undefined)
endif()
