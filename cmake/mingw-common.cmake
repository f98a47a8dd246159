set(CMAKE_C_COMPILER   ${BRISKO_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BRISKO_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER  ${BRISKO_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${BRISKO_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Everything is linked statically so that the executables need only system DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
