# What `cmake --install` puts into a prefix, and the release archive that
# CPack makes of the same files:
#
#   bin/briskopack                                    this build's packer
#   share/briskopatch/stubs/x86/briskopatch-stub.exe  the 32-bit installer stub
#   share/briskopatch/stubs/x64/briskopatch-stub.exe  the 64-bit installer stub
#   share/briskopatch/demo/                           a patch folder (samples/CMakeLists.txt)
#   share/doc/briskopatch/                            README.md and docs/ (the author's guide among them)
#
# The packer looks for the stubs relative to its own folder, so the tree
# works wherever it is moved or unpacked. A Windows build makes the stub of
# its own architecture; BRISKO_STUB_X86 and BRISKO_STUB_X64 name the others
# (the presets point them at the sibling build folders), so a native build
# installs the Linux packer with both Windows stubs and the win64 build the
# Windows packer with both.

set(BRISKO_STUB_X86 "" CACHE FILEPATH
    "The 32-bit briskopatch-stub.exe to install; empty in a 32-bit Windows build for its own")
set(BRISKO_STUB_X64 "" CACHE FILEPATH
    "The 64-bit briskopatch-stub.exe to install; empty in a 64-bit Windows build for its own")

set(BRISKO_STUB_INSTALL_DIR ${CMAKE_INSTALL_DATADIR}/briskopatch/stubs)
if(IS_ABSOLUTE "${CMAKE_INSTALL_BINDIR}" OR IS_ABSOLUTE "${BRISKO_STUB_INSTALL_DIR}")
  message(FATAL_ERROR "CMAKE_INSTALL_BINDIR and CMAKE_INSTALL_DATADIR must be relative: "
                      "the packer finds its stubs relative to itself")
endif()
file(RELATIVE_PATH stub_dir_from_packer /${CMAKE_INSTALL_BINDIR} /${BRISKO_STUB_INSTALL_DIR})
if(TARGET briskopack)
  target_compile_definitions(briskopack_lib PRIVATE BRISKOPACK_STUB_DIR="${stub_dir_from_packer}")
  install(TARGETS briskopack RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

if(WIN32 AND CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(BRISKO_OWN_ARCH x64)
elseif(WIN32)
  set(BRISKO_OWN_ARCH x86)
else()
  set(BRISKO_OWN_ARCH "")
endif()
foreach(arch x86 x64)
  string(TOUPPER ${arch} variable)
  set(variable BRISKO_STUB_${variable})
  set(stub ${${variable}})
  if(NOT stub AND arch STREQUAL BRISKO_OWN_ARCH)
    set(stub $<TARGET_FILE:briskopatch_stub>)
  endif()
  if(NOT stub)
    install(CODE "message(FATAL_ERROR \"No ${arch} installer stub to install: set ${variable} to the \"
                                      \"briskopatch-stub.exe of a ${arch} Windows build\")")
    continue()
  endif()
  install(CODE "if(NOT EXISTS \"${stub}\")
                  message(FATAL_ERROR \"The ${arch} installer stub ${stub} does not exist: build it first \"
                                      \"(the win32 preset makes the x86 stub, the win64 preset the x64 one)\")
                endif()")
  install(FILES ${stub} DESTINATION ${BRISKO_STUB_INSTALL_DIR}/${arch} RENAME briskopatch-stub.exe)
endforeach()

install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
if(IS_DIRECTORY ${CMAKE_SOURCE_DIR}/docs)
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

# The release archive: a .tar.gz of the Linux packer with the stubs from a
# native build, a .zip of the Windows packer with the stubs from a Windows
# build (`cpack --config <build>/CPackConfig.cmake`).
set(CPACK_PACKAGE_NAME briskopatch)
set(CPACK_PACKAGE_VENDOR briskopatch)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "briskopack and the installer stubs it puts patches into")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(release_system windows-${BRISKO_OWN_ARCH})
else()
  set(CPACK_GENERATOR TGZ)
  string(TOLOWER ${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR} release_system)
endif()
set(CPACK_PACKAGE_FILE_NAME briskopatch-${PROJECT_VERSION}-${release_system})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
# The packer without its symbol table (the stubs are stripped when linked).
set(CPACK_STRIP_FILES TRUE)
include(CPack)
