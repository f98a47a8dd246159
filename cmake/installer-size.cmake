# How the installers are built for size in the Windows builds. The installers
# compile the core and the Windows layer a second time, into an object
# library of their own (brisko_add_installer), so that the static libraries
# that the tests link stay ordinary C++17 objects.
#
# - C++20 mode: the code is C++17, but in C++17 mode the standard headers
#   declare std::string and std::wstring as instantiated in the runtime
#   library, whose objects then come in whole (over 40 KiB a stub). From
#   C++20 on the compiler instantiates only the members that are used.
# - Link-time optimisation.
# - No thread-safe initialisation of function-local statics: each one is
#   first used by one thread only. The window's thread starts one worker,
#   which writes the payload (src/win32/win_worker.cpp) while the window's
#   thread only paints and dispatches messages; and the worker a thread that
#   takes a payload's pieces ahead of their writing (src/win32/read_ahead.cpp)
#   from a reader that the worker made, with everything the reader's making
#   initialises (the SHA-256 engine's processor test among them), before it
#   started that thread. A static that two threads could reach first would
#   need an initialiser that runs before the second thread starts.
# - The installers link the runtime libraries of the compiler's win32 thread
#   model: the same C++ runtime without the POSIX thread emulation, which
#   the default runtime would pull in for its exception bookkeeping; the one
#   worker thread is started with CreateThread.
# - Their own section layout (installer.ld.in) and program entry
#   (src/win32/lean_start.cpp), linked without the C run-time's start-up
#   code; smaller replacements for the pieces of the C++ runtime that an
#   installer without exceptions still reaches (src/win32/lean_runtime.cpp).

function(brisko_compile_for_size target)
  set_target_properties(${target} PROPERTIES CXX_STANDARD 20)
  # No C++ exceptions and no run-time type information: errors travel as
  # values (src/core/errors.h), so the unwinder, the personality routine,
  # the unwinding and exception tables and the type descriptions they need
  # stay out of the installers.
  target_compile_options(${target} PRIVATE -ffunction-sections -fdata-sections
                         -fno-threadsafe-statics -flto -fno-exceptions -fno-rtti
                         -fno-asynchronous-unwind-tables)
  # The smallest code this compiler makes; and for the 32-bit installers
  # the 4-byte stack alignment that 32-bit Windows guarantees (GCC otherwise
  # keeps 16 bytes, padding every frame).
  target_compile_options(${target} PRIVATE -Oz)
  if(NOT CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    target_compile_options(${target} PRIVATE -mpreferred-stack-boundary=2)
  endif()
endfunction()

execute_process(COMMAND ${BRISKO_TRIPLET}-gcc-win32 -print-libgcc-file-name
                OUTPUT_VARIABLE BRISKO_WIN32_THREAD_LIBGCC OUTPUT_STRIP_TRAILING_WHITESPACE
                RESULT_VARIABLE BRISKO_WIN32_THREAD_RESULT ERROR_QUIET)
if(BRISKO_WIN32_THREAD_RESULT EQUAL 0 AND EXISTS "${BRISKO_WIN32_THREAD_LIBGCC}")
  get_filename_component(BRISKO_WIN32_THREAD_RUNTIME "${BRISKO_WIN32_THREAD_LIBGCC}" DIRECTORY)
else()
  message(WARNING "${BRISKO_TRIPLET}-gcc-win32 not found: the installers link the default runtime and are larger")
  set(BRISKO_WIN32_THREAD_RUNTIME "")
endif()

# The installers' own section layout (cmake/installer.ld.in).
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(BRISKO_LD_POINTER QUAD)
else()
  set(BRISKO_LD_POINTER LONG)
endif()
set(BRISKO_LD_POINTER_SIZE ${CMAKE_SIZEOF_VOID_P})
set(BRISKO_INSTALLER_LAYOUT ${CMAKE_BINARY_DIR}/installer.ld)
configure_file(${CMAKE_CURRENT_LIST_DIR}/installer.ld.in ${BRISKO_INSTALLER_LAYOUT} @ONLY)

# The compiler's start files without the C run-time's start-up code, which
# src/win32/lean_start.cpp replaces: the pieces that register the unwinding
# tables and end them (the layout puts their parts first and last).
foreach(part crtbegin crtend)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${part}.o
                  OUTPUT_VARIABLE BRISKO_${part} OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${BRISKO_${part}}")
    message(FATAL_ERROR "${CMAKE_CXX_COMPILER} has no ${part}.o")
  endif()
endforeach()

# Compile and link options of an installer executable, and the pieces of
# the runtime that src/win32/lean_*.cpp replace. The target links
# brisko_core too (errors, unwinding-table lookup).
function(brisko_link_for_size target)
  brisko_compile_for_size(${target})
  set(lean ${CMAKE_SOURCE_DIR}/src/win32)
  # The entry and the run-time's hooks are called from outside the optimised
  # code only, so they stay out of link-time optimisation.
  set(runtime_parts ${lean}/lean_start.cpp ${lean}/lean_runtime.cpp)
  target_sources(${target} PRIVATE ${runtime_parts})
  set_source_files_properties(${runtime_parts} TARGET_DIRECTORY ${target} PROPERTIES COMPILE_OPTIONS -fno-lto)
  target_link_options(${target} PRIVATE -flto -s -Wl,--gc-sections -Wl,-T,${BRISKO_INSTALLER_LAYOUT}
                      -nostartfiles ${BRISKO_crtbegin} ${BRISKO_crtend})
  # The library routines that the optimised code may call without its
  # intermediate form naming them (the compiler's arithmetic helpers, the C
  # run-time's memory and string functions) are loaded before link-time
  # optimisation: loaded after it, their sections find no place in this
  # layout, and the linker (binutils 2.40) crashes on them.
  set(early_symbols malloc free memchr memcmp memcpy memmove memset strlen wcslen wcsnlen)
  if(NOT CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    list(TRANSFORM early_symbols PREPEND _)
    list(APPEND early_symbols ___divdi3 ___udivdi3 ___moddi3 ___umoddi3 ___udivmoddi4)
  endif()
  foreach(symbol ${early_symbols})
    target_link_options(${target} PRIVATE -Wl,--undefined=${symbol})
  endforeach()
  # One link-time partition: with several, GCC 12 fails with an internal
  # error (binds_to_current_def_p) when the partitions part a function from
  # its caller, as it did for the folder chooser's stdcall callback in the
  # 32-bit build and for an implicit constructor of the apply's result in the
  # 64-bit one.
  target_link_options(${target} PRIVATE -flto-partition=one)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${BRISKO_INSTALLER_LAYOUT})
  if(BRISKO_WIN32_THREAD_RUNTIME)
    target_link_options(${target} PRIVATE -L${BRISKO_WIN32_THREAD_RUNTIME})
  endif()
endfunction()
