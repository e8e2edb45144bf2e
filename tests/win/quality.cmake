# The quality and time items end to end (tests/win/quality_win_test.cpp):
# one device of each kind the simulator plays on COM3, device 20 silent for
# its first 15 s, and the port away from 60 s after the simulator started,
# for 4 s.
quorvel_wine_test(NAME wine.quality TARGET quality_win_tests
  SOURCES quality_win_test.cpp
  LIBRARIES quorvel_program_test gtest_main
  SIM "--port @RUN@/ports/COM3 --baud 9600 --outage 60:4"
      "--device 5 --channel 3=23.45"
      "--device 6 --channel 3=1 --fault silent"
      "--device 7 --channel 3=23.45 --fault partial"
      "--device 9 --channel 3=1 --fault overlong=260"
      "--device 16 --channel 3=23.45 --fault badcrc"
      "--device 20 --channel 3=7.5 --fault silent-for=15"
  TIMEOUT 300)
