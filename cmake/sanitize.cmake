# The sanitizer builds (clang). Preset "sanitize": AddressSanitizer and
# UndefinedBehaviorSanitizer over everything, every report fatal; with
# BRISKO_FUZZ the code is also instrumented for libFuzzer and the harnesses
# in fuzz/ are built. Preset "tsan": ThreadSanitizer, for the packer's
# copying threads.
option(BRISKO_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(BRISKO_FUZZ "Build the libFuzzer harnesses (clang, with BRISKO_SANITIZE)" OFF)
option(BRISKO_TSAN "Build with ThreadSanitizer" OFF)

if(BRISKO_TSAN AND (BRISKO_SANITIZE OR BRISKO_FUZZ))
  message(FATAL_ERROR "ThreadSanitizer cannot be combined with AddressSanitizer or libFuzzer")
endif()
if(BRISKO_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

if(BRISKO_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
if(BRISKO_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "BRISKO_FUZZ needs clang's libFuzzer")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
