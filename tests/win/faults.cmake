# Every fault of the bus at once, on one port, with an oracle for every item.
add_executable(mixed_faults_win_tests mixed_faults_win_test.cpp)
target_link_libraries(mixed_faults_win_tests PRIVATE quorvel_program_test gtest_main)
