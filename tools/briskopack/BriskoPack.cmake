# brisko_pack_installer(<target>
#     STUB <executable target or path>
#     OUTPUT <installer.exe>
#     [PATCH_DIR <folder>]
#     [SCRIPT <file>] [BACKGROUND <file>] [PAYLOAD_DIR <folder>]
#     [ICON <file>] [VERSION_INFO <file>]
#     [DEPENDS <files or targets>...])
#
# Builds a patch installer at build time: the stub's own resources plus the
# package of a patch folder (script.txt, background.bmp, payload/, and
# icon.ico and version.txt when it has them) or of the files given, which
# override the folder's. The packer lints the script
# first and fails the build on errors. <target> is built by default.
#
# The packer that runs is, in this order: BRISKOPACK_EXECUTABLE when set; the
# briskopack target of a native build; in cross builds, a host build of the
# same sources that ExternalProject makes with the host compiler.
# brisko_host_packer (below) gives the same packer to build steps and tests
# that run it themselves.
include_guard(GLOBAL)

set(BRISKOPACK_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR})
set(BRISKOPACK_EXECUTABLE "" CACHE FILEPATH
    "A briskopack that runs on the build machine; empty to build one from this tree")

# brisko_host_packer(<exe-var> <depends-var>)
#
# Sets <exe-var> to a packer that runs on the build machine, chosen as above,
# and <depends-var> to what a custom command or test that runs it must depend
# on. For build steps and tests that run the packer themselves.
function(brisko_host_packer exe dep)
  if(BRISKOPACK_EXECUTABLE)
    set(${exe} ${BRISKOPACK_EXECUTABLE} PARENT_SCOPE)
    set(${dep} ${BRISKOPACK_EXECUTABLE} PARENT_SCOPE)
  elseif(NOT CMAKE_CROSSCOMPILING)
    set(${exe} $<TARGET_FILE:briskopack> PARENT_SCOPE)
    set(${dep} briskopack PARENT_SCOPE)
  else()
    set(host_dir ${CMAKE_BINARY_DIR}/briskopack-host)
    if(NOT TARGET briskopack_host)
      include(ExternalProject)
      # No toolchain file is passed on: the sub-build finds the host compiler.
      ExternalProject_Add(briskopack_host
        SOURCE_DIR ${BRISKOPACK_SOURCE_DIR}
        BINARY_DIR ${host_dir}
        CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DBRISKOPACK_VERSION=${PROJECT_VERSION}
        INSTALL_COMMAND ""
        BUILD_ALWAYS ON
        BUILD_BYPRODUCTS ${host_dir}/briskopack)
    endif()
    set(${exe} ${host_dir}/briskopack PARENT_SCOPE)
    set(${dep} briskopack_host ${host_dir}/briskopack PARENT_SCOPE)
  endif()
endfunction()

function(brisko_pack_installer name)
  cmake_parse_arguments(ARG "" "STUB;OUTPUT;PATCH_DIR;SCRIPT;BACKGROUND;PAYLOAD_DIR;ICON;VERSION_INFO" "DEPENDS"
    ${ARGN})
  if(NOT ARG_STUB OR NOT ARG_OUTPUT)
    message(FATAL_ERROR "brisko_pack_installer(${name}): STUB and OUTPUT are required")
  endif()
  if(TARGET ${ARG_STUB})
    set(stub $<TARGET_FILE:${ARG_STUB}>)
  else()
    set(stub ${ARG_STUB})
  endif()

  set(args)
  set(script ${ARG_SCRIPT})
  set(background ${ARG_BACKGROUND})
  set(payload ${ARG_PAYLOAD_DIR})
  set(icon ${ARG_ICON})
  set(version_info ${ARG_VERSION_INFO})
  if(ARG_PATCH_DIR)
    list(APPEND args ${ARG_PATCH_DIR})
    if(NOT script)
      set(script ${ARG_PATCH_DIR}/script.txt)
    endif()
    if(NOT background)
      set(background ${ARG_PATCH_DIR}/background.bmp)
    endif()
    if(NOT payload)
      set(payload ${ARG_PATCH_DIR}/payload)
    endif()
    if(NOT icon AND EXISTS ${ARG_PATCH_DIR}/icon.ico)
      set(icon ${ARG_PATCH_DIR}/icon.ico)
    endif()
    if(NOT version_info AND EXISTS ${ARG_PATCH_DIR}/version.txt)
      set(version_info ${ARG_PATCH_DIR}/version.txt)
    endif()
  endif()
  if(NOT script OR NOT background)
    message(FATAL_ERROR "brisko_pack_installer(${name}): give PATCH_DIR or SCRIPT and BACKGROUND")
  endif()
  list(APPEND args --script ${script} --background ${background})
  if(icon)
    list(APPEND args --icon ${icon})
  endif()
  if(version_info)
    list(APPEND args --version-info ${version_info})
  endif()
  set(payload_files)
  if(payload)
    list(APPEND args --payload ${payload})
    file(GLOB_RECURSE payload_files CONFIGURE_DEPENDS ${payload}/*)
  endif()

  brisko_host_packer(packer packer_dep)
  add_custom_command(
    OUTPUT ${ARG_OUTPUT}
    COMMAND ${packer} build --stub ${stub} -o ${ARG_OUTPUT} ${args}
    DEPENDS ${ARG_STUB} ${script} ${background} ${icon} ${version_info} ${payload_files} ${packer_dep}
            ${ARG_DEPENDS}
    COMMENT "Packing ${ARG_OUTPUT}"
    VERBATIM)
  add_custom_target(${name} ALL DEPENDS ${ARG_OUTPUT})
endfunction()
