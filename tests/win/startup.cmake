# Start-up and the single copy per executable name, end to end.
add_executable(startup_win_tests startup_win_test.cpp)
target_link_libraries(startup_win_tests PRIVATE quorvel_program_test gtest_main)
