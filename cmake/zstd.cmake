# zstd, compiled from Debian's source package, which scripts/fetch-sources.sh
# unpacks into build/deps/zstd. Two builds of it:
#
#   brisko_zstd           the whole library (encoder with its worker threads,
#                         and decoder), for the packer, the tests and the
#                         fuzzers of every build
#   brisko_zstd_decoder   (Windows builds) the decoder alone, built small for
#                         the installers: no legacy formats, no error strings,
#                         one Huffman and one sequence decoder, no inlining,
#                         link-time optimised with the installer's own code
#
# Warnings are off for both: the code is not ours to change.
include_guard(GLOBAL)

set(BRISKO_ZSTD_SOURCE_DIR "${CMAKE_CURRENT_LIST_DIR}/../build/deps/zstd" CACHE PATH
    "Unpacked zstd source package (scripts/fetch-sources.sh)")
get_filename_component(BRISKO_ZSTD_SOURCE_DIR "${BRISKO_ZSTD_SOURCE_DIR}" ABSOLUTE)
set(zstd_lib ${BRISKO_ZSTD_SOURCE_DIR}/lib)
if(NOT EXISTS ${zstd_lib}/zstd.h)
  message(FATAL_ERROR "zstd's sources are not at ${BRISKO_ZSTD_SOURCE_DIR}: run scripts/fetch-sources.sh "
                      "(scripts/setup.sh does), or set BRISKO_ZSTD_SOURCE_DIR")
endif()

set(zstd_decoder_sources
    ${zstd_lib}/common/entropy_common.c ${zstd_lib}/common/error_private.c ${zstd_lib}/common/fse_decompress.c
    ${zstd_lib}/common/xxhash.c ${zstd_lib}/common/zstd_common.c ${zstd_lib}/decompress/huf_decompress.c
    ${zstd_lib}/decompress/zstd_ddict.c ${zstd_lib}/decompress/zstd_decompress.c
    ${zstd_lib}/decompress/zstd_decompress_block.c)
file(GLOB zstd_encoder_sources ${zstd_lib}/compress/*.c)

add_library(brisko_zstd STATIC ${zstd_decoder_sources} ${zstd_encoder_sources} ${zstd_lib}/common/pool.c
                               ${zstd_lib}/common/threading.c ${zstd_lib}/common/debug.c)
target_include_directories(brisko_zstd SYSTEM PUBLIC ${zstd_lib})
# The hand-written Huffman decoder in assembly is ELF-only; the C one serves
# every platform alike. Sequences are decoded by the installers' one sequence
# decoder here too, so that the tests and fuzzers of the reader run the code
# that the installers run; the other one, for frames with far matches,
# prefetches each match before it checks its offset, and for a damaged frame
# computes an address from a null pointer (undefined behaviour that the
# payload reader's fuzzer found).
target_compile_definitions(brisko_zstd PRIVATE ZSTD_MULTITHREAD ZSTD_LEGACY_SUPPORT=0 ZSTD_DISABLE_ASM
                                               ZSTD_FORCE_DECOMPRESS_SEQUENCES_SHORT)
target_compile_options(brisko_zstd PRIVATE -w)
set_target_properties(brisko_zstd PROPERTIES C_STANDARD 99 POSITION_INDEPENDENT_CODE ON)
if(NOT WIN32)
  find_package(Threads REQUIRED)
  target_link_libraries(brisko_zstd PUBLIC Threads::Threads)
endif()

if(WIN32)
  add_library(brisko_zstd_decoder OBJECT ${zstd_decoder_sources})
  target_include_directories(brisko_zstd_decoder SYSTEM PUBLIC ${zstd_lib})
  target_compile_definitions(brisko_zstd_decoder PRIVATE
    ZSTD_LEGACY_SUPPORT=0 ZSTD_STRIP_ERROR_STRINGS HUF_FORCE_DECOMPRESS_X1 ZSTD_FORCE_DECOMPRESS_SEQUENCES_SHORT
    ZSTD_NO_INLINE ZSTD_NO_UNUSED_FUNCTIONS ZSTD_DISABLE_ASM DYNAMIC_BMI2=0 ZSTD_NO_TRACE)
  # C code throws nothing, so it needs no unwind tables.
  target_compile_options(brisko_zstd_decoder PRIVATE -w -Os -flto -fno-asynchronous-unwind-tables
                                                     -fno-unwind-tables)
  # The 32-bit stub is the tighter fit: the smallest code, at some speed.
  if(NOT CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    target_compile_options(brisko_zstd_decoder PRIVATE -Oz)
  endif()
  # In the 64-bit stub, the frame's checksum (XXH64), which every byte
  # passes through, is compiled for speed: without inlining its rounds, it
  # alone held decoding to about two thirds of the speed it reaches with
  # them, and inlined it is no larger there. (In 32-bit code its 64-bit
  # arithmetic inlined takes 1.5 KiB more.)
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    set_source_files_properties(${zstd_lib}/common/xxhash.c TARGET_DIRECTORY brisko_zstd_decoder
                                PROPERTIES COMPILE_OPTIONS "-O2;-UZSTD_NO_INLINE")
  endif()
  set_target_properties(brisko_zstd_decoder PROPERTIES C_STANDARD 99)
endif()
