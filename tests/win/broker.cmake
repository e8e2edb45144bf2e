# The run's MQTT broker and its subscribers (tools/broker.sh), the test
# fixture of the publisher's end-to-end tests, seen from a Windows program
# (tests/win/broker_fixture_win_test.cpp).
quorvel_wine_test(NAME wine.broker TARGET broker_fixture_win_tests
  SOURCES broker_fixture_win_test.cpp
  LIBRARIES quorvel_broker_win ws2_32 gtest gtest_main
  BROKER
  TIMEOUT 120)
