# The notification-area icon and the About box in the test's own process
# (the About box with the program's resources, for its icon and logo), and
# both in Quorvel.exe driven from another process.
add_executable(tray_win_tests tray_icon_win_test.cpp)
target_link_libraries(tray_win_tests PRIVATE quorvel_tray_win quorvel_remote_win gtest gtest_main)

# Its own main: started by the shell with "--record-link" it records a link
# the About box opened.
add_executable(about_win_tests about_form_win_test.cpp about_logo_win_test.cpp)
target_link_libraries(about_win_tests PRIVATE quorvel_tray_win quorvel_program_resources
  quorvel_remote_win gtest)

# Both in Quorvel.exe, driven from another process.
add_executable(tray_program_win_tests tray_program_win_test.cpp)
target_link_libraries(tray_program_win_tests PRIVATE quorvel_tray_win quorvel_program_test gtest_main)
