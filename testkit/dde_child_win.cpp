#include "testkit/dde_child_win.h"

#include "base/executable_path.h"
#include "testkit/process_start_win.h"

namespace quorvel::testing {

std::string ExecutableDirectory() {
  const std::string path = ExecutablePath();
  return path.substr(0, path.find_last_of("\\/") + 1);
}

std::string QuoteArgument(std::string_view argument) {
  if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string_view::npos) {
    return std::string(argument);
  }
  std::string out = "\"";
  for (std::size_t i = 0;; ++i) {
    std::size_t backslashes = 0;
    while (i < argument.size() && argument[i] == '\\') {
      ++i;
      ++backslashes;
    }
    if (i == argument.size()) {
      // They stand before the closing quote: each one doubled.
      out.append(backslashes * 2, '\\');
      break;
    }
    if (argument[i] == '"') {
      out.append(backslashes * 2 + 1, '\\');
    } else {
      out.append(backslashes, '\\');
    }
    out.push_back(argument[i]);
  }
  out.push_back('"');
  return out;
}

ChildProcess::ChildProcess()
    : line_event_(::CreateEventA(nullptr, /*bManualReset=*/FALSE, FALSE, nullptr)) {}

ChildProcess::~ChildProcess() {
  Kill();
  if (line_event_ != nullptr) ::CloseHandle(line_event_);
}

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& arguments,
                         std::string* error) {
  const auto fail = [&](const char* what) {
    if (error != nullptr)
      *error = std::string(what) + " failed: " + std::to_string(::GetLastError());
    return false;
  };
  // Only the child's ends are inheritable, and only until the child has
  // them: children are started one at a time, so none inherits another's.
  SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, /*bInheritHandle=*/FALSE};
  HANDLE child_in = nullptr, child_out = nullptr, child_err = nullptr;
  const auto close_child_ends = [&] {
    for (HANDLE handle : {child_in, child_out, child_err}) {
      if (handle != nullptr) ::CloseHandle(handle);
    }
  };
  if (!::CreatePipe(&child_in, &input_, &attributes, 0) ||
      !::CreatePipe(&out_.pipe, &child_out, &attributes, 0) ||
      !::CreatePipe(&err_.pipe, &child_err, &attributes, 0)) {
    fail("CreatePipe");
    close_child_ends();
    Kill();
    return false;
  }
  for (HANDLE handle : {child_in, child_out, child_err}) {
    ::SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  }
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = child_in;
  startup.hStdOutput = child_out;
  startup.hStdError = child_err;
  std::string command_line = QuoteArgument(program);
  for (const std::string& argument : arguments)
    command_line.append(" ").append(QuoteArgument(argument));
  PROCESS_INFORMATION info{};
  const BOOL started = StartProcess([&] {
    return ::CreateProcessA(program.c_str(), command_line.data(), nullptr, nullptr,
                            /*bInheritHandles=*/TRUE, 0, nullptr, nullptr, &startup, &info);
  });
  const DWORD start_error = ::GetLastError();
  close_child_ends();
  if (!started) {
    ::SetLastError(start_error);
    fail(("CreateProcess(" + program + ")").c_str());
    Kill();
    return false;
  }
  ::CloseHandle(info.hThread);
  process_ = info.hProcess;
  pid_ = info.dwProcessId;
  out_.reader = std::thread([this] { Read(out_); });
  err_.reader = std::thread([this] { Read(err_); });
  return true;
}

void ChildProcess::Read(Stream& stream) {
  char buffer[65536];
  DWORD received = 0;
  while (::ReadFile(stream.pipe, buffer, sizeof buffer, &received, nullptr) && received > 0) {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      for (DWORD i = 0; i < received; ++i) {
        if (buffer[i] != '\n') {
          stream.partial.push_back(buffer[i]);
          continue;
        }
        // Console output under Wine may end its lines with CR LF.
        if (!stream.partial.empty() && stream.partial.back() == '\r') stream.partial.pop_back();
        stream.lines.push_back(std::move(stream.partial));
        stream.partial.clear();
      }
    }
    ::SetEvent(line_event_);
  }
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!stream.partial.empty()) stream.lines.push_back(std::move(stream.partial));
    stream.partial.clear();
    stream.ended = true;
  }
  ::SetEvent(line_event_);
}

bool ChildProcess::WriteLine(std::string_view line) {
  if (input_ == nullptr) return false;
  std::string bytes(line);
  bytes.push_back('\n');
  DWORD written = 0;
  return ::WriteFile(input_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

void ChildProcess::CloseInput() {
  if (input_ != nullptr) ::CloseHandle(input_);
  input_ = nullptr;
}

std::optional<std::string> ChildProcess::WaitLine(
    const std::function<bool(const std::string&)>& match, DWORD timeout_ms) {
  std::optional<std::string> found;
  bool ended = false;
  const auto look = [&] {
    const std::lock_guard<std::mutex> lock(mutex_);
    for (; taken_ < out_.lines.size(); ++taken_) {
      if (match(out_.lines[taken_])) {
        found = out_.lines[taken_++];
        return true;
      }
    }
    ended = out_.ended;
    return ended;
  };
  PumpUntil(look, timeout_ms, line_event_);
  return found;
}

std::optional<std::string> ChildProcess::WaitLineStartingWith(std::string_view prefix,
                                                              DWORD timeout_ms) {
  return WaitLine([&](const std::string& line) { return line.starts_with(prefix); }, timeout_ms);
}

std::optional<std::string> ChildProcess::Ask(std::string_view command, DWORD timeout_ms) {
  if (!WriteLine(command)) return std::nullopt;
  return WaitLine([](const std::string&) { return true; }, timeout_ms);
}

std::vector<std::string> ChildProcess::OutputLines() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return out_.lines;
}

std::size_t ChildProcess::OutputLineCount() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return out_.lines.size();
}

std::vector<std::string> ChildProcess::ErrorLines() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return err_.lines;
}

std::string ChildProcess::Transcript() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  std::string text;
  for (const std::string& line : out_.lines) text += "  out: " + line.substr(0, 300) + "\n";
  for (const std::string& line : err_.lines) text += "  err: " + line.substr(0, 300) + "\n";
  return text;
}

std::optional<DWORD> ChildProcess::WaitExit(DWORD timeout_ms) {
  if (process_ == nullptr) return std::nullopt;
  const auto exited = [&] { return ::WaitForSingleObject(process_, 0) == WAIT_OBJECT_0; };
  if (!PumpUntil(exited, timeout_ms, process_)) return std::nullopt;
  DWORD code = 0;
  ::GetExitCodeProcess(process_, &code);
  return code;
}

void ChildProcess::Kill() {
  if (process_ != nullptr) {
    if (::WaitForSingleObject(process_, 0) != WAIT_OBJECT_0) {
      ::TerminateProcess(process_, 99);
      ::WaitForSingleObject(process_, 30000);
    }
    ::CloseHandle(process_);
    process_ = nullptr;
  }
  CloseInput();
  // With the child gone its ends of the pipes are closed, and the readers
  // see the end of their streams.
  for (Stream* stream : {&out_, &err_}) {
    if (stream->reader.joinable()) stream->reader.join();
    if (stream->pipe != nullptr) ::CloseHandle(stream->pipe);
    stream->pipe = nullptr;
  }
}

}  // namespace quorvel::testing
