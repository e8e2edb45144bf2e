# Readings to an MQTT broker end to end (tests/win/mqtt_win_test.cpp): the
# run's mosquitto (BROKER) and, on COM3, a good device, a silent one.
quorvel_wine_test(NAME wine.mqtt TARGET mqtt_win_tests
  SOURCES mqtt_win_test.cpp
  LIBRARIES quorvel_program_test quorvel_bus gtest_main
  LOCALE ru_RU.UTF-8
  BROKER
  SIM "--port @RUN@/ports/COM3 --baud 9600"
      "--device 5 --channel 3=23.45"
      "--device 6 --channel 3=1 --fault silent"
  TIMEOUT 300)
