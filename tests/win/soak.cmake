# Two minutes of the soak (scripts/soak.sh, runs/soak): fails on a missed
# update, a handle or object count that grew, or a crash.
if(NOT WIN32)
  add_test(NAME wine.soak
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/soak.sh --no-build --native ${CMAKE_BINARY_DIR}
      --win ${QUORVEL_WIN_BUILD_DIR} 2)
  set_tests_properties(wine.soak PROPERTIES TIMEOUT 600)
endif()
