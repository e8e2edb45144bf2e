# The bus link through the real Win32 serial API, against the simulator in
# the layout that bus_win_test.cpp expects.
quorvel_wine_test(NAME wine.bus_link TARGET bus_win_tests
  SOURCES bus_win_test.cpp line_settings_win_test.cpp
  LIBRARIES quorvel_bus_win quorvel_wine_run gtest gtest_main
  MAP COM2=dir COM7=dir COM8=file COM9=null COM11=missing
  SIM
    "--port @RUN@/ports/COM3"
    "--device 5 --channel 3=23.45"
    "--device 6 --channel 3=1 --fault silent"
    "--device 7 --channel 3=23.45 --fault partial"
    "--device 8 --channel 3=1 --fault noiseonly"
    "--device 9 --channel 3=1 --fault overlong=260"
    "--device 10 --channel 3=1 --fault overlong=250"
    "--device 11 --channel 3=23.45 --fault trailing"
    "--device 12 --channel 3=23.45 --fault bytewise"
    "--device 13 --channel 3=23.45 --fault noise"
    "--device 14 --channel 3=1 --fault overlong=249"
    "--device 16 --channel 3=23.45 --fault badcrc"
    "--device 17 --channel 3=23.45 --fault badaddr"
    "--device 18 --channel 3=23.45 --fault extrafield"
    "--device 254 --channel 3=-1.5"
    "--port @RUN@/ports/COM4 --device 5 --channel 3=4.5"
    "--port @RUN@/ports/COM5 --device 5 --channel 3=5.5"
    "--port @RUN@/ports/COM10 --device 5 --channel 3=10.5"
  TIMEOUT 300)
