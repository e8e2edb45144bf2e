# The notification-area icon against the shell of the run's desktop (Wine's
# explorer.exe holds the icons).
add_test(NAME wine.tray
  COMMAND ${WINERUN} -- ${QUORVEL_WIN_BUILD_DIR}/tests/win/tray_win_tests.exe)
set_tests_properties(wine.tray PROPERTIES TIMEOUT 300)

# The About box, its links opened through associations the test registers in
# the run's prefix.
add_test(NAME wine.about
  COMMAND ${WINERUN} -- ${QUORVEL_WIN_BUILD_DIR}/tests/win/about_win_tests.exe)
set_tests_properties(wine.about PROPERTIES TIMEOUT 300)

# Both in Quorvel.exe: the settings dialog's display choice, the minimise and
# the double click, the menu's About box. COM3 is the simulator.
add_test(NAME wine.tray_program
  COMMAND ${WINERUN} --sim "--port @RUN@/ports/COM3 --baud 9600 --device 5 --channel 3=23.45"
    -- ${QUORVEL_WIN_BUILD_DIR}/tests/win/tray_program_win_tests.exe)
set_tests_properties(wine.tray_program PROPERTIES TIMEOUT 300)
