# The line monitor and the reading log end to end
# (tests/win/monitor_win_test.cpp): a counting device, a silent one and one
# with bad checksums on COM3.
quorvel_wine_test(NAME wine.monitor TARGET monitor_win_tests
  SOURCES monitor_win_test.cpp
  LIBRARIES quorvel_program_test gtest_main
  SIM "--port @RUN@/ports/COM3 --baud 9600"
      "--device 5 --channel 3=count"
      "--device 6 --channel 3=1 --fault silent"
      "--device 16 --channel 3=23.45 --fault badcrc"
  TIMEOUT 300)
