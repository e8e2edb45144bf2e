# Start-up and the single copy per executable name, end to end: copies of
# Quorvel.exe under the same and other names; COM3 the simulator, for the
# program's table.
quorvel_wine_test(NAME wine.startup TARGET startup_win_tests
  SOURCES startup_win_test.cpp
  LIBRARIES quorvel_program_test gtest_main
  SIM "--port @RUN@/ports/COM3 --device 5 --channel 3=23.45"
  TIMEOUT 300)
