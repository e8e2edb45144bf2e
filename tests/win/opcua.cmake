# The OPC UA server end to end (tests/win/opcua_win_test.cpp) against the
# run's OPC UA client (OPCUA: node-opcua's, on Linux); on COM3 a good device
# and a silent one. Only where the program has its server.
include(${PROJECT_SOURCE_DIR}/cmake/QuorvelOpcUa.cmake)
if(QUORVEL_HAVE_OPCUA)
  quorvel_wine_test(NAME wine.opcua TARGET opcua_win_tests
    SOURCES opcua_win_test.cpp
    LIBRARIES quorvel_program_test quorvel_opcua_client_win quorvel_process_resources_win ws2_32
      gtest_main
    LOCALE ru_RU.UTF-8
    OPCUA
    SIM "--port @RUN@/ports/COM3 --baud 9600"
        "--device 5 --channel 3=23.45 --channel 4=1"
        "--device 6 --channel 3=1 --fault silent"
    TIMEOUT 900)
endif()
