# The splash: the component in the test program's own process, then
# Quorvel.exe's splash during its start-up.
add_test(NAME wine.splash
  COMMAND ${WINERUN} -- ${QUORVEL_WIN_BUILD_DIR}/tests/win/splash_win_tests.exe)
set_tests_properties(wine.splash PROPERTIES TIMEOUT 300)

add_test(NAME wine.splash_program
  COMMAND ${WINERUN} -- ${QUORVEL_WIN_BUILD_DIR}/tests/win/splash_program_win_tests.exe)
set_tests_properties(wine.splash_program PROPERTIES TIMEOUT 300)
