# brisko_include_root(<target> <PUBLIC|INTERFACE> <name> <folder> [HEADERS <header>...])
#
# Gives <target>, and what links it, an include root in the build tree where
# only <name>/ is to be seen: for each header of <folder> (every *.h below it,
# or just the HEADERS named, relative to <folder>) a one-line header
# <name>/<header> that includes the real one by its full path. Includes stay
# spelled "<name>/...", and nothing beside <folder> can be reached through
# the root, so the layers stay apart: the core's code cannot include the
# Windows layer, nor can a user of the core. Nothing is copied, so an edit to
# a header is seen at once; a header added or removed is seen at the next
# build, which re-runs the configure step.
include_guard(GLOBAL)

function(brisko_include_root target scope name folder)
  cmake_parse_arguments(ARG "" "" "HEADERS" ${ARGN})
  set(root ${CMAKE_CURRENT_BINARY_DIR}/include-roots/${target})
  if(ARG_HEADERS)
    set(headers ${ARG_HEADERS})
  else()
    file(GLOB_RECURSE headers CONFIGURE_DEPENDS RELATIVE ${folder} ${folder}/*.h)
  endif()
  # The one-line headers of headers since removed would still answer.
  file(GLOB_RECURSE written RELATIVE ${root}/${name} ${root}/${name}/*.h)
  foreach(header ${written})
    if(NOT header IN_LIST headers)
      file(REMOVE ${root}/${name}/${header})
    endif()
  endforeach()
  foreach(header ${headers})
    file(CONFIGURE OUTPUT ${root}/${name}/${header} CONTENT "#include \"${folder}/${header}\"\n" @ONLY)
  endforeach()
  target_include_directories(${target} ${scope} ${root})
endfunction()
