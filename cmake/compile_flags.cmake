# Compile settings for every build of this tree, the packer's host build
# (tools/briskopack built on its own) included.
set(CMAKE_CXX_STANDARD 17)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)

option(BRISKO_STRICT_WARNINGS "Warn of shadowed names too, and make every warning an error (the ci preset)" OFF)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  add_compile_options(-Wall -Wextra)
  if(BRISKO_STRICT_WARNINGS)
    add_compile_options(-Wshadow -Werror)
  endif()
endif()

# Windows programs: every function and datum in a section of its own, so that
# the linker's --gc-sections can drop what the installer does not use.
if(WIN32)
  add_compile_options(-ffunction-sections -fdata-sections)
endif()

# brisko_platform_sources(<var>): drops from the list <var> the files of the
# other platform. Platform code sits in files of its own, *_win.cpp on
# Windows and *_posix.cpp elsewhere, so that function bodies carry no
# platform conditionals.
function(brisko_platform_sources var)
  set(sources ${${var}})
  if(WIN32)
    list(FILTER sources EXCLUDE REGEX "_posix\\.cpp$")
  else()
    list(FILTER sources EXCLUDE REGEX "_win\\.cpp$")
  endif()
  set(${var} ${sources} PARENT_SCOPE)
endfunction()
