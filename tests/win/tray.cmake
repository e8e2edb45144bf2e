# The notification-area icon in the test's own process, against the shell of
# the run's desktop (Wine's explorer.exe holds the icons).
quorvel_wine_test(NAME wine.tray TARGET tray_win_tests
  SOURCES tray_icon_win_test.cpp
  LIBRARIES quorvel_tray_win quorvel_remote_win gtest gtest_main
  TIMEOUT 300)

# The About box in the test's own process, with the program's resources for
# its icon and logo; its links opened through associations the test
# registers in the run's prefix. Its own main: started by the shell with
# "--record-link" it records a link the About box opened.
quorvel_wine_test(NAME wine.about TARGET about_win_tests
  SOURCES about_form_win_test.cpp about_logo_win_test.cpp
  LIBRARIES quorvel_tray_win quorvel_program_resources quorvel_open_recorder_win gtest
  TIMEOUT 300)

# Both in Quorvel.exe, driven from another process: the settings dialog's
# display choice, the minimise and the double click, the menu's About box.
# COM3 is the simulator.
quorvel_wine_test(NAME wine.tray_program TARGET tray_program_win_tests
  SOURCES tray_program_win_test.cpp
  LIBRARIES quorvel_tray_win quorvel_program_test gtest_main
  SIM "--port @RUN@/ports/COM3 --baud 9600 --device 5 --channel 3=23.45"
  TIMEOUT 300)

# The help command of Quorvel.exe, driven from another process: the help
# viewer asked when a help file is beside the program (this program holds the
# viewer's window class), the guide opened by the shell when not (".html"
# associated in the run's prefix with this program, which records what it is
# handed: its own main, started with "--record-open").
quorvel_wine_test(NAME wine.help TARGET help_win_tests
  SOURCES help_win_test.cpp
  LIBRARIES quorvel_program_test quorvel_open_recorder_win gtest
  SIM "--port @RUN@/ports/COM3 --baud 9600 --device 5 --channel 3=23.45"
  TIMEOUT 300)
