# GoogleTest as GTest::gtest, GTest::gtest_main, GTest::gmock and
# GTest::gmock_main: the system's build when there is one for this compiler
# (Debian's libgtest-dev and libgmock-dev, natively), else built from
# Debian's sources with the project's own compiler, as the MinGW builds do,
# so that the same tests serve every build (GoogleTest's own build names its
# libraries GTest:: too).
find_package(GTest CONFIG QUIET)
if(GTest_FOUND AND TARGET GTest::gmock)
  message(STATUS "GoogleTest: ${GTest_DIR}")
else()
  set(BRISKO_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree")
  message(STATUS "GoogleTest: built from ${BRISKO_GTEST_SOURCE}")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  add_subdirectory(${BRISKO_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  foreach(library gtest gtest_main gmock gmock_main)
    # Its warnings are not ours to mend.
    target_compile_options(${library} PRIVATE -Wno-error)
    if(NOT TARGET GTest::${library})
      add_library(GTest::${library} ALIAS ${library})
    endif()
  endforeach()
endif()
