# One place for the language level, warnings and Qt safety switches of every target.
option(PYXET_WERROR "Treat compiler warnings as errors (make test and CI turn this on)" OFF)

add_library(pyxet_options INTERFACE)
target_compile_features(pyxet_options INTERFACE cxx_std_20)
target_compile_options(pyxet_options INTERFACE
  -Wall -Wextra -Wno-unused-parameter -Wshadow -Wold-style-cast)
# GCC 12 at -O2/-O3 reports a false -Wrestrict inside libstdc++ when std::string values are
# concatenated (GCC bugs 105329 and 105651, fixed in later releases).
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
   AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(pyxet_options INTERFACE -Wno-restrict)
endif()
# `make test` and CI build with warnings as errors, so what CI would refuse fails there first; a
# plain build with another compiler's new warnings still succeeds.
if(PYXET_WERROR)
  target_compile_options(pyxet_options INTERFACE -Werror)
endif()
# Sanitizers for every target, e.g. "address,undefined"; undefined behaviour then stops the
# program instead of being reported and passed over.
set(PYXET_SANITIZE "" CACHE STRING "Sanitizers to build with (-fsanitize=), empty for none")
if(PYXET_SANITIZE)
  target_compile_options(pyxet_options INTERFACE
    -fsanitize=${PYXET_SANITIZE} -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(pyxet_options INTERFACE -fsanitize=${PYXET_SANITIZE})
endif()
target_compile_definitions(pyxet_options INTERFACE
  QT_NO_CAST_FROM_ASCII
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)
