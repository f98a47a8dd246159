# Fails when FILE is larger than LIMIT bytes.
#   cmake -DFILE=<file> -DLIMIT=<bytes> -P check-size.cmake
file(SIZE "${FILE}" size)
if(size GREATER LIMIT)
  message(FATAL_ERROR "${FILE}: ${size} bytes, over the limit of ${LIMIT} bytes")
endif()
message(STATUS "${FILE}: ${size} bytes, limit ${LIMIT} bytes")
