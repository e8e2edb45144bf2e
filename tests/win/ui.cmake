# The message dialog, shown on the test's own desktop and answered by a
# second thread of the test program; the sensor grid.
quorvel_wine_test(NAME wine.ui TARGET ui_win_tests
  SOURCES message_dialog_win_test.cpp sensor_grid_win_test.cpp
  LIBRARIES quorvel_ui_win quorvel_remote_win quorvel_base gtest gtest_main
  TIMEOUT 300)
