# A port that vanishes under a run and comes back, end to end: COM3's
# pseudo-terminal goes away 12 s after the simulator started (the program is
# polling by then) and a new one comes up 4 s later.
quorvel_wine_test(NAME wine.port_recovery TARGET port_recovery_win_tests
  SOURCES port_recovery_win_test.cpp
  LIBRARIES quorvel_program_test gtest_main
  SIM "--port @RUN@/ports/COM3 --baud 9600 --outage 12:4 --device 5 --channel 3=23.45"
  TIMEOUT 300)
