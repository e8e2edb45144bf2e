# Readings to an MQTT broker end to end (tests/win/mqtt_win_test.cpp): the
# run's mosquitto (BROKER); on COM3 a good device, a silent one and a
# counting one, on COM4 the second copy's good device.
quorvel_wine_test(NAME wine.mqtt TARGET mqtt_win_tests
  SOURCES mqtt_win_test.cpp
  LIBRARIES quorvel_program_test quorvel_bus gtest_main
  LOCALE ru_RU.UTF-8
  BROKER
  SIM "--port @RUN@/ports/COM3 --baud 9600"
      "--device 5 --channel 3=23.45"
      "--device 6 --channel 3=1 --fault silent"
      "--device 7 --channel 3=count"
      "--port @RUN@/ports/COM4 --baud 9600 --device 5 --channel 3=7.5"
  TIMEOUT 300)
