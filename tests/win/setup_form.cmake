# The settings dialog of Quorvel.exe, driven the same way, against the layout
# that setup_form_win_test.cpp expects: two devices on COM3, so that a test
# can tell its runs apart. The dialog's library too, for the broker's page
# made in the test's own process over a host of the test's.
quorvel_wine_test(NAME wine.setup_form TARGET setup_form_win_tests
  SOURCES setup_form_win_test.cpp
  LIBRARIES quorvel_program_test quorvel_ui_win gtest_main
  SIM
    "--port @RUN@/ports/COM3 --baud 9600"
    "--device 5 --channel 3=23.45"
    "--device 7 --channel 3=23.45"
  TIMEOUT 300)
