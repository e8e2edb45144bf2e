# The DDE server in a console program of its own, driven through stdin, and
# the tests that talk to it as DDE clients (in-process and DdeClient.exe
# processes); no simulator.
if(WIN32)
  add_executable(DdeTestServer dde_test_server_win.cpp)
  target_link_libraries(DdeTestServer PRIVATE quorvel_dde_test_host_win quorvel_crash_exit_win)
endif()
quorvel_wine_test(NAME wine.dde TARGET dde_win_tests
  SOURCES dde_win_test.cpp
  LIBRARIES quorvel_poll_win quorvel_dde_child_win quorvel_crash_exit_win dde_client_ddeml_win
    dde_client_core gtest gtest_main
  DEPENDS DdeTestServer DdeClient
  TIMEOUT 900)

# The least DDEML server there is, and what a conversation opened and closed
# leaves in its private bytes and in those of DdeTestServer.exe: what DDEML
# keeps against what our server keeps. Prints the figures, and fails when
# ours keeps more than the minimal one does. One round here; the program's
# defaults (three rounds of 3,000) give the figures of README.
if(WIN32)
  add_executable(MinimalDdeServer minimal_dde_server_win.cpp)
  target_link_libraries(MinimalDdeServer PRIVATE user32)
endif()
quorvel_wine_test(NAME wine.dde_conversation_memory TARGET DdeConversationMemory
  SOURCES dde_conversation_memory_win.cpp
  LIBRARIES quorvel_process_resources_win quorvel_dde_child_win quorvel_crash_exit_win
  DEPENDS DdeTestServer MinimalDdeServer DdeClient
  ARGS --warm-up 500 --cycles 2000 --rounds 1
  TIMEOUT 600)

# The DDE client tool's command line and output escaping, built beside the
# tool.
quorvel_wine_test(NAME wine.dde_client TARGET dde_client_tests FOLDER tools/dde_client
  TIMEOUT 300)
