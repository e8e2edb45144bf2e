# The splash component in this process (splash_win_tests), with the
# program's resources linked in for its picture; and Quorvel.exe's splash
# seen from another process (splash_program_win_tests).
add_executable(splash_win_tests splash_win_test.cpp ${CMAKE_SOURCE_DIR}/app/quorvel.rc)
set_source_files_properties(${CMAKE_SOURCE_DIR}/app/quorvel.rc PROPERTIES
  INCLUDE_DIRECTORIES ${CMAKE_SOURCE_DIR})
target_link_libraries(splash_win_tests PRIVATE quorvel_splash_win gtest gtest_main)

add_executable(splash_program_win_tests splash_program_win_test.cpp program_test_win.cpp
  form_driver_win.cpp dde_child_win.cpp crash_exit_win.cpp wine_run.cpp)
target_link_libraries(splash_program_win_tests PRIVATE quorvel_remote_win quorvel_config
  quorvel_base dde_client_core gtest gtest_main)
add_dependencies(splash_program_win_tests Quorvel)
