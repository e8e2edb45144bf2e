#include "testkit/broker_win.h"

#include <atomic>
#include <charconv>
#include <cstdlib>
#include <sstream>
#include <string_view>
#include <system_error>
#include <utility>

#include "testkit/message_wait_win.h"
#include "testkit/wine_run.h"

namespace quorvel::testing {
namespace {

// The keeper's probes (tools/broker.sh), not the test's messages.
constexpr std::string_view kProbeTopics = "$quorvel-fixture/";

std::string last_error;

// The broker's folder, as a Windows path.
std::string BrokerFile(const std::string& name) {
  return RunFile(std::string("broker/").append(name));
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The value of the line "key=value" of a file of the keeper's.
std::string Setting(const std::string& file, std::string_view key) {
  std::istringstream in(FileText(BrokerFile(file)).value_or(""));
  for (std::string line; std::getline(in, line);) {
    if (line.size() > key.size() && line.starts_with(key) && line[key.size()] == '=') {
      return line.substr(key.size() + 1);
    }
  }
  return {};
}

bool Fail(std::string why) {
  last_error = std::move(why);
  return false;
}

// One command, a word a line, put in place whole; then its answer.
bool Command(const std::vector<std::string>& words) {
  static std::atomic<int> count = 0;
  std::string described;
  for (const std::string& word : words) {
    if (word.find_first_of("\r\n") != std::string::npos) {
      return Fail("a line break in the command's word '" + word + "'");
    }
    described += (described.empty() ? "" : " ") + word;
  }
  const std::string id = std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++count);
  const std::string command = BrokerFile("commands/" + id + ".cmd");
  const std::string answer = BrokerFile("answers/" + id + ".answer");
  std::string lines;
  for (const std::string& word : words) lines.append(word).append("\n");
  if (std::string error; !PlaceFile(command, lines, &error)) return Fail(error);
  if (!remote::PumpUntil([&] { return Exists(answer); }, kBrokerWaitMs)) {
    DeleteFileA(command.c_str());
    return Fail("no answer from the broker's keeper in " + std::to_string(kBrokerWaitMs / 1000) +
                " s to '" + described + "'");
  }
  std::istringstream in(FileText(answer).value_or(""));
  DeleteFileA(answer.c_str());
  std::string verdict;
  std::getline(in, verdict);
  std::string text;
  for (std::string line; std::getline(in, line);) text += (text.empty() ? "" : "; ") + line;
  if (verdict == "done") return true;
  return Fail("'" + described + "' " + (verdict.empty() ? "got no verdict" : verdict) + ": " +
              text);
}

std::optional<std::string> FromHex(std::string_view hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::string bytes;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(hex.data() + i, hex.data() + i + 2, value, 16);
    if (error != std::errc() || end != hex.data() + i + 2) return std::nullopt;
    bytes.push_back(static_cast<char>(value));
  }
  return bytes;
}

// "RECEIVED_UNIX_TIME RETAIN PAYLOAD_HEX TOPIC", the topic the rest.
std::optional<ReceivedMessage> ParseReceived(std::string_view line) {
  const std::size_t time_end = line.find(' ');
  const std::size_t retain_end = line.find(' ', time_end + 1);
  const std::size_t payload_end = line.find(' ', retain_end + 1);
  if (payload_end == std::string_view::npos) return std::nullopt;
  ReceivedMessage message;
  // Whatever the C locale's decimal separator.
  const char* const time_last = line.data() + time_end;
  const auto [time_parsed, time_error] =
      std::from_chars(line.data(), time_last, message.receive_unix_seconds);
  if (time_error != std::errc() || time_parsed != time_last) return std::nullopt;
  const std::string_view retain = line.substr(time_end + 1, retain_end - time_end - 1);
  if (retain != "0" && retain != "1") return std::nullopt;
  message.retained = retain == "1";
  std::optional<std::string> payload =
      FromHex(line.substr(retain_end + 1, payload_end - retain_end - 1));
  if (!payload) return std::nullopt;
  message.payload = std::move(*payload);
  message.topic = line.substr(payload_end + 1);
  return message;
}

}  // namespace

std::optional<BrokerPorts> ReadBrokerPorts() {
  const auto port = [](const char* name) {
    return static_cast<int>(std::strtol(Setting("ports", name).c_str(), nullptr, 10));
  };
  BrokerPorts ports{port("plain"), port("auth"), port("tls")};
  if (ports.plain <= 0 || ports.auth <= 0 || ports.tls <= 0) return std::nullopt;
  return ports;
}

std::string BrokerCaFile() {
  return BrokerFile("ca.pem");
}

std::string BrokerOtherCaFile() {
  return BrokerFile("other-ca.pem");
}

std::string BrokerUser() {
  return Setting("credentials", "user");
}

std::string BrokerPassword() {
  return Setting("credentials", "password");
}

bool StopBroker() {
  return Command({"stop"});
}

bool StartBroker() {
  return Command({"start"});
}

bool Subscribe(const std::string& name, const std::string& topic_filter, int qos,
               bool persistent_session) {
  return Command({"subscribe", name, topic_filter, std::to_string(qos),
                  persistent_session ? "persistent" : "clean"});
}

bool Unsubscribe(const std::string& name) {
  return Command({"unsubscribe", name});
}

bool Publish(const std::string& topic, const std::string& payload, bool retain, int qos) {
  std::vector<std::string> words{"publish", topic, payload, "qos=" + std::to_string(qos)};
  if (retain) words.push_back("retain");
  return Command(words);
}

std::string BrokerError() {
  return last_error;
}

std::vector<ReceivedMessage> ReceivedMessages(const std::string& name) {
  std::vector<ReceivedMessage> messages;
  const std::string log = FileText(BrokerFile(name + ".log")).value_or("");
  // Complete lines only: the subscriber may be writing the last one.
  std::size_t start = 0;
  for (std::size_t end; (end = log.find('\n', start)) != std::string::npos; start = end + 1) {
    std::optional<ReceivedMessage> message =
        ParseReceived(std::string_view(log).substr(start, end - start));
    if (message && !message->topic.starts_with(kProbeTopics)) messages.push_back(*message);
  }
  return messages;
}

bool WaitReceived(const std::string& name, std::size_t count, DWORD timeout_ms) {
  return remote::PumpUntil([&] { return ReceivedMessages(name).size() >= count; }, timeout_ms);
}

double UnixNow() {
  FILETIME now;
  GetSystemTimePreciseAsFileTime(&now);
  const ULONGLONG ticks = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  // FILETIME counts 100 ns from 1601; Unix time counts seconds from 1970.
  constexpr ULONGLONG kUnixEpoch = 116'444'736'000'000'000ULL;
  return static_cast<double>(ticks - kUnixEpoch) / 1e7;
}

}  // namespace quorvel::testing
