# One test of the Windows programs, declared once for both trees that see it:
#
#   quorvel_wine_test(NAME wine.x TARGET x_win_tests
#     [SOURCES file...] [LIBRARIES library...] [DEPENDS target...]
#     [FOLDER folder]
#     [LOCALE name] [MAP COMn=KIND...] [SIM line...] [BROKER] [OPCUA]
#     [ARGS argument...] [TIMEOUT seconds] [ENVIRONMENT VAR=value...])
#
# In the cross-built tree it adds the executable TARGET, built from SOURCES
# with LIBRARIES after DEPENDS; without SOURCES the executable is one added
# before (by an earlier test of the same program, or by its tool's folder).
# In the native tree it registers the CTest test NAME: TARGET.exe of the
# cross-built tree, from FOLDER (by default the calling folder) with ARGS,
# in a run of tools/winerun.sh with that Unix locale, those ports mapped
# and the simulator started with SIM, its lines joined by spaces; BROKER
# starts the run's MQTT broker (tools/broker.sh, testkit/broker_win.h), OPCUA
# the run's OPC UA client (tools/opcua_client, testkit/opcua_client_win.h).
function(quorvel_wine_test)
  cmake_parse_arguments(PARSE_ARGV 0 arg "BROKER;OPCUA" "NAME;TARGET;FOLDER;LOCALE;TIMEOUT"
    "SOURCES;LIBRARIES;DEPENDS;MAP;SIM;ARGS;ENVIRONMENT")
  if(NOT arg_NAME OR NOT arg_TARGET OR arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "quorvel_wine_test: needs NAME and TARGET, and takes no "
      "unnamed arguments (${arg_UNPARSED_ARGUMENTS})")
  endif()
  if(NOT arg_FOLDER)
    file(RELATIVE_PATH arg_FOLDER ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  endif()

  if(WIN32)
    if(arg_SOURCES)
      add_executable(${arg_TARGET} ${arg_SOURCES})
      target_link_libraries(${arg_TARGET} PRIVATE ${arg_LIBRARIES})
      if(arg_DEPENDS)
        add_dependencies(${arg_TARGET} ${arg_DEPENDS})
      endif()
    endif()
    # The native tree runs the program from FOLDER of this tree.
    get_target_property(built_in ${arg_TARGET} BINARY_DIR)
    if(NOT built_in STREQUAL "${CMAKE_BINARY_DIR}/${arg_FOLDER}")
      message(FATAL_ERROR "${arg_NAME}: ${arg_TARGET} is built in ${built_in}, not in FOLDER "
        "${arg_FOLDER}")
    endif()
    return()
  endif()

  set(command ${CMAKE_SOURCE_DIR}/tools/winerun.sh --native ${CMAKE_BINARY_DIR})
  if(arg_LOCALE)
    list(APPEND command --locale ${arg_LOCALE})
  endif()
  foreach(map IN LISTS arg_MAP)
    list(APPEND command --map ${map})
  endforeach()
  if(arg_SIM)
    list(JOIN arg_SIM " " sim)
    list(APPEND command --sim "${sim}")
  endif()
  if(arg_BROKER)
    list(APPEND command --broker)
  endif()
  if(arg_OPCUA)
    list(APPEND command --opcua)
  endif()
  list(APPEND command -- ${QUORVEL_WIN_BUILD_DIR}/${arg_FOLDER}/${arg_TARGET}.exe ${arg_ARGS})
  add_test(NAME ${arg_NAME} COMMAND ${command})
  if(arg_TIMEOUT)
    set_tests_properties(${arg_NAME} PROPERTIES TIMEOUT ${arg_TIMEOUT})
  endif()
  if(arg_ENVIRONMENT)
    set_tests_properties(${arg_NAME} PROPERTIES ENVIRONMENT "${arg_ENVIRONMENT}")
  endif()
endfunction()
