#include "runs/demo/advise_clients_win.h"

#include <fstream>
#include <iterator>
#include <sstream>

#include "testkit/process_start_win.h"
#include "testkit/quorvel_remote_win.h"

namespace quorvel::tools {

namespace {

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool IsUpdateLine(const std::string& line) {
  return line.size() > 13 && line[2] == ':' && line[12] == ' ';
}

}  // namespace

bool AdviseClients::Start(const std::string& client, const std::string& folder,
                          const std::string& service, const std::string& topic,
                          const std::vector<std::string>& items, int count, std::string* error) {
  std::string command = "\"" + client + "\" advise " + service + " " + topic;
  for (const std::string& item : items) command += " " + item;
  for (int i = 0; i < count; ++i) {
    const std::string output = folder + "client-" + std::to_string(i + 1) + ".txt";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, /*bInheritHandle=*/TRUE};
    const HANDLE file =
        ::CreateFileA(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, /*hTemplateFile=*/nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      *error = "CreateFile(" + output + ") failed: " + std::to_string(::GetLastError());
      return false;
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = file;
    startup.hStdError = file;
    PROCESS_INFORMATION info{};
    std::string line = command;
    const BOOL started = testing::StartProcess([&] {
      return ::CreateProcessA(client.c_str(), line.data(), /*lpProcessAttributes=*/nullptr,
                              /*lpThreadAttributes=*/nullptr, /*bInheritHandles=*/TRUE, 0,
                              /*lpEnvironment=*/nullptr, folder.c_str(), &startup, &info);
    });
    const DWORD code = ::GetLastError();
    ::CloseHandle(file);
    if (!started) {
      *error = "CreateProcess(" + client + ") failed: " + std::to_string(code);
      return false;
    }
    ::CloseHandle(info.hThread);
    processes_.push_back(info.hProcess);
    outputs_.push_back(output);
  }
  return true;
}

std::size_t AdviseClients::Ended() const {
  std::size_t ended = 0;
  for (HANDLE process : processes_) ended += ::WaitForSingleObject(process, 0) != WAIT_TIMEOUT;
  return ended;
}

bool AdviseClients::AllPrinted(const std::string& line) const {
  if (Ended() != 0) return false;
  for (std::size_t i = 0; i < outputs_.size(); ++i) {
    if (!Read(i, line).saw_marker) return false;
  }
  return true;
}

AdviseClients::Received AdviseClients::Read(std::size_t index, const std::string& marker) const {
  Received received;
  std::istringstream lines(ReadWhole(outputs_[index]));
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!marker.empty() && line == marker) received.saw_marker = true;
    if (!IsUpdateLine(line)) continue;
    if (line.find(" = ") != std::string::npos) {
      ++received.updates;
    } else if (line.ends_with(" (no data)")) {
      ++received.without_data;
    }
  }
  return received;
}

std::size_t AdviseClients::Updates() const {
  std::size_t updates = 0;
  for (std::size_t i = 0; i < outputs_.size(); ++i) updates += Read(i).updates;
  return updates;
}

void AdviseClients::End() {
  for (HANDLE process : processes_) {
    if (::WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
      ::TerminateProcess(process, 1);
      ::WaitForSingleObject(process, remote::kProgramWaitMs);
    }
    ::CloseHandle(process);
  }
  processes_.clear();
}

void ReserveAtomReferences(const std::vector<std::string>& items, int clients, int updates) {
  for (const std::string& item : items) {
    for (int i = 0; i < (clients - 1) * updates; ++i) ::GlobalAddAtomA(item.c_str());
  }
}

int MostReadingsPerSensor(int baud, std::size_t sensors, double seconds) {
  constexpr double kShortestExchangeBytes = 25;
  const double per_second = baud / 10.0 / kShortestExchangeBytes;
  return static_cast<int>(per_second * seconds / static_cast<double>(sensors)) + 2;
}

}  // namespace quorvel::tools
