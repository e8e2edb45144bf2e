# The workbook launch against SheetServer.exe, the stand-in spreadsheet
# server, registered in the run's own prefix by the test program: in this
# process, and by Quorvel.exe driven from the test.
quorvel_wine_test(NAME wine.workbook TARGET workbook_win_tests
  SOURCES workbook_launch_win_test.cpp
  LIBRARIES quorvel_workbook_win sheet_stand_in_win quorvel_program_test gtest
  DEPENDS SheetServer
  TIMEOUT 300)
