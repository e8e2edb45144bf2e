// Writes seed files for the settings fuzzer into the folder given: settings
// files as the program writes them, rendered as profile text.
#include <fstream>
#include <iostream>
#include <string>

#include "config/settings_file.h"
#include "tests/unit/memory_profile.h"

namespace {

using quorvel::config::Settings;
using quorvel::config::testing::MemoryProfile;

void Save(const std::string& path, const Settings& settings) {
  MemoryProfile profile;
  (void)WriteIni(profile, settings, path, 0, "/nonexistent/quorvel-seeds/DDEConf.dde");
  std::ofstream out(path, std::ios::binary);
  std::string section;
  for (const auto& [key, value] : profile.values) {
    const std::size_t newline = key.find('\n');
    if (key.substr(0, newline) != section) {
      section = key.substr(0, newline);
      out << "[" << section << "]\r\n";
    }
    out << key.substr(newline + 1) << "=" << value << "\r\n";
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: settings_seeds DIR\n";
    return 2;
  }
  const std::string dir = argv[1];
  Settings defaults;
  Save(dir + "/defaults.ini", defaults);

  Settings changed;
  changed.SetComPort(9);
  changed.SetSpeed(6);
  changed.SetSensorCount(500);
  changed.SetTimeOut(100'000'000);
  changed.SetItemPrefix("T");
  changed.SetTopic("PLANT");
  changed.SetDisplay(1);
  changed.SetOpenWorkbook(true);
  changed.SetWorkbookPath("C:\\book.xls");
  quorvel::config::MqttSettings mqtt;
  mqtt.enabled = true;
  mqtt.host = "broker.plant";
  mqtt.port = 8883;
  mqtt.tls = true;
  mqtt.qos = 0;
  mqtt.buffer_messages = 5000;
  changed.SetMqtt(mqtt);
  Save(dir + "/changed.ini", changed);
  return 0;
}
