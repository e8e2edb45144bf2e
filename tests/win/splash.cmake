# The splash component in this process (splash_win_tests), with the
# program's resources linked in for its picture; and Quorvel.exe's splash
# seen from another process (splash_program_win_tests).
add_executable(splash_win_tests splash_win_test.cpp)
target_link_libraries(splash_win_tests PRIVATE quorvel_splash_win quorvel_program_resources gtest
  gtest_main)

add_executable(splash_program_win_tests splash_program_win_test.cpp)
target_link_libraries(splash_program_win_tests PRIVATE quorvel_program_test gtest_main)
