# The workbook launch against SheetServer.exe, the stand-in spreadsheet
# server: in this process, and by Quorvel.exe driven from the test.
add_executable(workbook_win_tests workbook_launch_win_test.cpp)
target_link_libraries(workbook_win_tests PRIVATE quorvel_workbook_win sheet_stand_in_win
  quorvel_program_test gtest)
add_dependencies(workbook_win_tests SheetServer)
