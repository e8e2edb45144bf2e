# COM3's pseudo-terminal goes away 12 s after the simulator started (the
# program is polling by then) and a new one comes up 4 s later.
add_test(NAME wine.port_recovery
  COMMAND ${WINERUN}
    --sim "--port @RUN@/ports/COM3 --baud 9600 --outage 12:4 --device 5 --channel 3=23.45"
    -- ${QUORVEL_WIN_BUILD_DIR}/tests/win/port_recovery_win_tests.exe)
set_tests_properties(wine.port_recovery PROPERTIES TIMEOUT 300)
