# One interface target carries the language level, warnings and sanitizer flags;
# every target of the project links it.
add_library(kiosk_options INTERFACE)
target_compile_features(kiosk_options INTERFACE cxx_std_20)
set(CMAKE_CXX_EXTENSIONS OFF)
target_compile_options(kiosk_options INTERFACE -Wall -Wextra
  # GCC 12 reports false overlaps inside libstdc++'s string concatenation at -O2.
  $<$<AND:$<CXX_COMPILER_ID:GNU>,$<VERSION_LESS:$<CXX_COMPILER_VERSION>,13>>:-Wno-restrict>)
target_compile_definitions(kiosk_options INTERFACE
  QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_URL_CAST_FROM_STRING QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)

if(KIOSK_SANITIZE)
  target_compile_options(kiosk_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(kiosk_options INTERFACE -fsanitize=address,undefined)
endif()

# Coverage instrumentation and the sanitizers for every library the fuzzers reach.
if(KIOSK_FUZZ)
  target_compile_options(kiosk_options INTERFACE -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  target_link_options(kiosk_options INTERFACE -fsanitize=address,undefined)
endif()
