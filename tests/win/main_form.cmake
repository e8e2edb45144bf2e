# Quorvel.exe driven through its windows from another process
# (testkit/quorvel_remote_win.h, testkit/program_test_win.h), with DdeClient.exe
# processes as its DDE clients, against the layout that main_form_win_test.cpp
# expects: COM3 a bus of good, silent and bad-checksum devices, COM2 a port
# that cannot be opened.
set(main_form_sim
  "--port @RUN@/ports/COM3 --baud 9600"
  "--device 5 --channel 3=23.45 --channel 4=7.5 --channel 5=-1.25"
  "--device 6 --channel 3=1 --fault silent"
  "--device 7 --channel 3=23.45"
  "--device 8 --channel 3=1 --fault silent"
  "--device 10 --channel 3=1 --fault silent"
  "--device 16 --channel 3=23.45 --fault badcrc"
  "--device 20 --channel 1=1 --channel 2=2 --channel 3=3"
)
quorvel_wine_test(NAME wine.main_form TARGET main_form_win_tests
  SOURCES main_form_win_test.cpp
  LIBRARIES quorvel_program_test gtest_main
  MAP COM2=dir
  SIM ${main_form_sim}
  TIMEOUT 300)

# The readings again, under a locale whose decimal separator is the comma.
quorvel_wine_test(NAME wine.main_form_ru TARGET main_form_win_tests
  LOCALE ru_RU.UTF-8
  MAP COM2=dir
  SIM ${main_form_sim}
  ARGS --gtest_filter=MainFormSeparatorTest.*
  TIMEOUT 300
  ENVIRONMENT QUORVEL_DECIMAL_SEPARATOR=,)
