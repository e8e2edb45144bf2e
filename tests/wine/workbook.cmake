# The workbook launch against SheetServer.exe, registered in the run's own
# prefix by the test program.
add_test(NAME wine.workbook
  COMMAND ${WINERUN} -- ${QUORVEL_WIN_BUILD_DIR}/tests/win/workbook_win_tests.exe)
set_tests_properties(wine.workbook PROPERTIES TIMEOUT 300)
