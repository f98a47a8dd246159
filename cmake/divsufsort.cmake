# libdivsufsort (suffix arrays, for the packer's delta matching), compiled
# from Debian's source package, which scripts/fetch-sources.sh unpacks into
# build/deps/divsufsort. The 32-bit index build only: the packer suffix
# sorts programs of up to 16 MiB and hashes everything else. Built without
# OpenMP: the sorts are small, and the packer needs no runtime library more
# (no libgomp DLL beside the Windows packer, nor on the author's Linux).
#
#   brisko_divsufsort   static library, header <divsufsort.h>
include_guard(GLOBAL)

set(BRISKO_DIVSUFSORT_SOURCE_DIR "${CMAKE_CURRENT_LIST_DIR}/../build/deps/divsufsort" CACHE PATH
    "Unpacked libdivsufsort source package (scripts/fetch-sources.sh)")
get_filename_component(BRISKO_DIVSUFSORT_SOURCE_DIR "${BRISKO_DIVSUFSORT_SOURCE_DIR}" ABSOLUTE)
set(dss ${BRISKO_DIVSUFSORT_SOURCE_DIR})
if(NOT EXISTS ${dss}/lib/divsufsort.c)
  message(FATAL_ERROR "libdivsufsort's sources are not at ${dss}: run scripts/fetch-sources.sh "
                      "(scripts/setup.sh does), or set BRISKO_DIVSUFSORT_SOURCE_DIR")
endif()

# The two headers its own CMake build would generate, with the values it
# picks for a C99 compiler.
set(dss_include ${CMAKE_BINARY_DIR}/divsufsort/include)
set(W64BIT "")
set(INCFILE "#include <inttypes.h>")
set(DIVSUFSORT_IMPORT "")
set(DIVSUFSORT_EXPORT "")
set(SAUCHAR_TYPE uint8_t)
set(SAINT32_TYPE int32_t)
set(SAINDEX_TYPE int32_t)
set(SAINT_PRId PRId32)
set(SAINDEX_PRId PRId32)
file(STRINGS ${dss}/VERSION PROJECT_VERSION_FULL LIMIT_COUNT 1)
configure_file(${dss}/include/divsufsort.h.cmake ${dss_include}/divsufsort.h @ONLY)
foreach(header INTTYPES_H STDDEF_H STDINT_H STDLIB_H STRING_H MEMORY_H SYS_TYPES_H)
  set(HAVE_${header} 1)
endforeach()
set(INLINE inline)
configure_file(${dss}/include/config.h.cmake ${dss_include}/config.h)

add_library(brisko_divsufsort STATIC ${dss}/lib/divsufsort.c ${dss}/lib/sssort.c ${dss}/lib/trsort.c
                                     ${dss}/lib/utils.c)
target_include_directories(brisko_divsufsort SYSTEM PUBLIC ${dss_include} PRIVATE ${dss}/include)
target_compile_definitions(brisko_divsufsort PRIVATE HAVE_CONFIG_H=1)
target_compile_options(brisko_divsufsort PRIVATE -w -O3)
set_target_properties(brisko_divsufsort PROPERTIES C_STANDARD 99 POSITION_INDEPENDENT_CODE ON)
