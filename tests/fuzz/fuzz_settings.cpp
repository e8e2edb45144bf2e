// Fuzzes the settings reading rules: any profile content, read into the
// settings, must give settings within their ranges, and writing them out and
// reading them back must give the same settings.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "config/settings_file.h"
#include "tests/unit/memory_profile.h"

namespace {

using quorvel::config::Settings;
using quorvel::config::testing::MemoryProfile;

// "[section]" lines and "key=value" lines, as a profile file holds them.
void Fill(MemoryProfile& profile, std::string_view text) {
  std::string section;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      section = std::string(line.substr(1, line.size() - 2));
    } else if (const std::size_t eq = line.find('='); eq != std::string_view::npos) {
      profile.Set(section, line.substr(0, eq), std::string(line.substr(eq + 1)));
    }
  }
}

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// No table file is read: the fuzzer exercises the keys, the table file has
// a target of its own.
const std::string kNoTable = "/nonexistent/quorvel-fuzz/DDEConf.dde";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  MemoryProfile profile;
  Fill(profile, std::string_view(reinterpret_cast<const char*>(data), size));
  Settings settings;
  ReadIni(profile, settings, kNoTable);

  Check(settings.SensorCount() >= 1 && settings.SensorCount() <= 500);
  Check(settings.TimeOut() >= 100 && settings.TimeOut() <= 100'000'000);
  Check(settings.TimeOutCycle() >= 0 && settings.TimeOutCycle() <= 3'600'000);
  Check(settings.ComPort() >= 0 && settings.ComPort() < 10);
  Check(settings.BaudRate() >= 300);
  Check(settings.ActivePage() >= 0 && settings.ActivePage() < quorvel::config::kPageCount);
  Check(settings.Display() >= -1 && settings.Display() <= 1);
  Check(settings.table().RowCount() == settings.SensorCount() + 1);
  const quorvel::config::MqttSettings& mqtt = settings.Mqtt();
  Check(mqtt.port >= 1 && mqtt.port <= 65'535 && (mqtt.qos == 0 || mqtt.qos == 1));
  Check(mqtt.buffer_messages >= 1 && mqtt.buffer_messages <= 1'000'000);

  MemoryProfile written;
  Check(!WriteIni(written, settings, "fuzz.ini", 0, kNoTable));
  Settings back;
  ReadIni(written, back, kNoTable);
  Check(back.FormTop() == settings.FormTop() && back.FormLeft() == settings.FormLeft());
  Check(back.StartWithWindows() == settings.StartWithWindows());
  Check(back.AutoPoll() == settings.AutoPoll() && back.OpenWorkbook() == settings.OpenWorkbook());
  Check(back.ComPort() == settings.ComPort() && back.Speed() == settings.Speed());
  Check(back.SensorCount() == settings.SensorCount());
  Check(back.TimeOut() == settings.TimeOut() && back.TimeOutCycle() == settings.TimeOutCycle());
  Check(back.Topic() == settings.Topic().substr(0, 2047));
  Check(back.ItemPrefix() == settings.ItemPrefix().substr(0, 2047));
  Check(back.ActivePage() == settings.ActivePage() && back.Display() == settings.Display());
  const quorvel::config::MqttSettings& m = back.Mqtt();
  Check(m.enabled == mqtt.enabled && m.tls == mqtt.tls && m.port == mqtt.port &&
        m.qos == mqtt.qos && m.buffer_messages == mqtt.buffer_messages);
  Check(m.host == mqtt.host.substr(0, 2047) && m.user == mqtt.user.substr(0, 2047) &&
        m.sealed_password == mqtt.sealed_password.substr(0, 2047));
  return 0;
}
