# A port that vanishes under a run and comes back, end to end.
add_executable(port_recovery_win_tests port_recovery_win_test.cpp)
target_link_libraries(port_recovery_win_tests PRIVATE quorvel_program_test gtest_main)
