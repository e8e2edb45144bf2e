# The settings and table files through the real profile and file functions.
quorvel_wine_test(NAME wine.config TARGET config_win_tests
  SOURCES config_win_test.cpp
  LIBRARIES quorvel_config gtest gtest_main
  TIMEOUT 300)
