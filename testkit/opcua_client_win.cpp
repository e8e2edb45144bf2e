#include "testkit/opcua_client_win.h"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string_view>

#include "testkit/message_wait_win.h"
#include "testkit/wine_run.h"

namespace quorvel::testing {
namespace {

// The parts of a name in the client's folder, joined.
std::string ClientFile(std::initializer_list<std::string_view> parts) {
  std::string relative = "opcua/";
  for (const std::string_view part : parts) relative.append(part);
  return RunFile(relative);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string NewId() {
  static std::atomic<int> next{0};
  std::string id = "c";
  id.append(std::to_string(::GetCurrentProcessId())).append("-").append(std::to_string(++next));
  return id;
}

std::string CommandText(const UaConnection& c, const std::string& fields) {
  std::string json = "{\"url\":";
  json.append(Json(c.url)).append(",\"policy\":").append(Json(c.policy));
  json.append(",\"mode\":").append(Json(c.mode)).append(",\"identity\":").append(Json(c.identity));
  if (!c.user.empty()) {
    json.append(",\"user\":")
        .append(Json(c.user))
        .append(",\"password\":")
        .append(Json(c.password));
  }
  return json.append(",").append(fields).append("}");
}

bool Send(const std::string& id, const std::string& text) {
  std::string error;
  return PlaceFile(ClientFile({"commands/", id, ".json"}), text, &error);
}

UaAnswer Await(const std::string& id, DWORD timeout_ms) {
  const std::string path = ClientFile({"answers/", id, ".txt"});
  std::optional<std::string> text;
  remote::PumpUntil([&] { return (text = FileText(path)).has_value(); }, timeout_ms);
  UaAnswer answer;
  if (!text) {
    answer.error = "no answer from the OPC UA client within ";
    answer.error.append(std::to_string(timeout_ms)).append(" ms");
    return answer;
  }
  answer.lines = Lines(*text);
  if (!answer.lines.empty() && answer.lines.front() == "done") {
    answer.done = true;
    answer.lines.erase(answer.lines.begin());
  } else {
    answer.error = answer.lines.empty() ? "an empty answer" : answer.lines.front();
    answer.lines.clear();
  }
  return answer;
}

}  // namespace

std::string Json(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(c);
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out.push_back(c);
    }
  }
  return out + "\"";
}

std::string UaClientCertificate(const std::string& identity) {
  return ClientFile({identity, ".der"});
}

UaAnswer AskUaClient(const UaConnection& connection, const std::string& fields, DWORD timeout_ms) {
  const std::string id = NewId();
  if (!Send(id, CommandText(connection, fields))) return {false, "the command was not written", {}};
  return Await(id, timeout_ms);
}

bool UaSubscription::Start(const UaConnection& connection, const std::vector<std::string>& nodes,
                           std::string* error, bool record) {
  id_ = NewId();
  std::string fields = "\"op\":\"subscribe\",\"timeoutMs\":600000,";
  if (!record) fields += "\"record\":false,";
  fields += "\"nodes\":[";
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    if (i > 0) fields += ',';
    fields += Json(nodes[i]);
  }
  fields += ']';
  if (!Send(id_, CommandText(connection, fields))) {
    return *error = "the command was not written", false;
  }
  const std::string started = ClientFile({"answers/", id_, ".started"});
  const std::string answer = ClientFile({"answers/", id_, ".txt"});
  remote::PumpUntil([&] { return FileText(started).has_value() || FileText(answer).has_value(); },
                    kOpcUaWaitMs);
  if (FileText(started)) return true;
  const std::optional<std::string> failed = FileText(answer);
  *error = failed ? *failed : "the subscription did not start";
  return false;
}

std::vector<std::string> UaSubscription::Changes() const {
  return Lines(FileText(ClientFile({"answers/", id_, ".changes"})).value_or(""));
}

UaAnswer UaSubscription::Stop() {
  std::ofstream(ClientFile({"commands/", id_, ".stop"})) << "stop\n";
  return Await(id_, kOpcUaWaitMs);
}

}  // namespace quorvel::testing
