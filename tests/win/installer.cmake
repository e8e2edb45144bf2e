# The installer of this build (build/win/Quorvel-setup-<version>.exe), run
# silently in the run's fresh prefix, and the program it installed driven as
# the other end-to-end tests drive it. Only where NSIS made the installer.
find_program(QUORVEL_MAKENSIS makensis)
if(QUORVEL_MAKENSIS)
  quorvel_wine_test(NAME wine.installer TARGET installer_win_tests
    SOURCES installer_win_test.cpp
    LIBRARIES quorvel_program_test gtest_main ole32 uuid shell32
    DEPENDS installer
    TIMEOUT 600)
  if(WIN32)
    target_compile_definitions(installer_win_tests PRIVATE
      QUORVEL_SETUP_NAME="Quorvel-setup-${PROJECT_VERSION}.exe"
      QUORVEL_VERSION="${PROJECT_VERSION}")
  endif()
endif()
