# The splash component in this process, with the program's resources linked
# in for its picture; then Quorvel.exe's splash during its start-up, seen
# from another process.
quorvel_wine_test(NAME wine.splash TARGET splash_win_tests
  SOURCES splash_win_test.cpp
  LIBRARIES quorvel_splash_win quorvel_program_resources gtest gtest_main
  TIMEOUT 300)

quorvel_wine_test(NAME wine.splash_program TARGET splash_program_win_tests
  SOURCES splash_program_win_test.cpp
  LIBRARIES quorvel_program_test gtest_main
  TIMEOUT 300)
