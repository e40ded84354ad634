# One place for the language level, warnings and Qt safety switches of every target.
add_library(pyxet_options INTERFACE)
target_compile_features(pyxet_options INTERFACE cxx_std_20)
target_compile_options(pyxet_options INTERFACE -Wall -Wextra -Wno-unused-parameter)
# Warnings are errors everywhere, so a developer sees what CI would refuse.
target_compile_options(pyxet_options INTERFACE -Werror)
target_compile_definitions(pyxet_options INTERFACE
  QT_NO_CAST_FROM_ASCII
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)
