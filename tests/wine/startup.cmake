# Start-up: copies of Quorvel.exe under the same and other names; COM3 the
# simulator, for the program's table.
add_test(NAME wine.startup
  COMMAND ${WINERUN} --sim "--port @RUN@/ports/COM3 --device 5 --channel 3=23.45"
    -- ${QUORVEL_WIN_BUILD_DIR}/tests/win/startup_win_tests.exe)
set_tests_properties(wine.startup PROPERTIES TIMEOUT 300)
