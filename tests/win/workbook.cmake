# The workbook launch against SheetServer.exe, the stand-in spreadsheet
# server: in this process, and by Quorvel.exe driven from the test.
add_executable(workbook_win_tests workbook_launch_win_test.cpp program_test_win.cpp
  form_driver_win.cpp dde_child_win.cpp crash_exit_win.cpp wine_run.cpp)
target_link_libraries(workbook_win_tests PRIVATE quorvel_workbook_win sheet_stand_in_win
  quorvel_remote_win quorvel_config quorvel_base dde_client_core gtest)
add_dependencies(workbook_win_tests SheetServer Quorvel)
