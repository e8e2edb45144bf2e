# Every fault of the bus at once, with an oracle for every item, against the
# layout that mixed_faults_win_test.cpp expects: one port with every fault of
# the simulator, some combined, beside good devices. The line is not paced,
# so that each reply (noise, trailing bytes, an overlong frame) is one write
# and lands within its own exchange: what a row shows then depends on the
# fault alone, not on when bytes go out.
quorvel_wine_test(NAME wine.mixed_faults TARGET mixed_faults_win_tests
  SOURCES mixed_faults_win_test.cpp
  LIBRARIES quorvel_program_test gtest_main
  SIM
    "--port @RUN@/ports/COM3"
    "--device 20 --channel 1=-3"
    "--device 21 --channel 1=23.45 --channel 2=-1.25 --channel 3=count --channel 4=0"
    "--device 22 --channel 1=1 --fault silent"
    "--device 23 --channel 1=5.5 --fault partial --fault noise"
    "--device 24 --channel 1=-7.25 --fault noise"
    "--device 25 --channel 1=1 --fault noiseonly"
    "--device 26 --channel 1=1 --fault overlong=40"
    "--device 27 --channel 1=1 --fault overlong=249"
    "--device 28 --channel 1=1 --fault overlong=250"
    "--device 29 --channel 1=1 --fault overlong=260"
    "--device 30 --channel 1=1 --fault overlong=1000 --fault noise"
    "--device 31 --channel 1=23.45 --fault badcrc --fault extrafield"
    "--device 32 --channel 1=23.45 --fault badaddr"
    "--device 33 --channel 1=23.45 --fault extrafield"
    "--device 34 --channel 1=23.45 --fault badcrc"
    "--device 35 --channel 1=8.75 --channel 2=count --fault bytewise --fault noise"
    "--device 36 --channel 1=-0.5 --fault trailing --fault noise"
    "--device 37 --channel 1=12.5 --channel 2=count --fault delay=30"
    "--device 38 --channel 1=3.25 --fault delay=100"
    "--device 39 --channel 1=1 --fault delay=900"
    "--device 40 --channel 1=1 --fault delay=1500 --fault noise"
  TIMEOUT 300)
