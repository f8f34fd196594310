# Fails when the shipping image IMAGE is larger than LIMIT bytes; prints its size either way.
file(SIZE "${IMAGE}" size)
message(STATUS "${IMAGE}: ${size} bytes (limit ${LIMIT})")
if(size GREATER LIMIT)
  message(FATAL_ERROR "the shipping image is ${size} bytes, above its limit of ${LIMIT}")
endif()
