#include "runs/soak/dde_poker_win.h"

#include <utility>

namespace quorvel::tools::soak {

namespace {

// DdeClient's exit codes: done, and refused by the server.
constexpr std::uint32_t kExitOk = 0;
constexpr std::uint32_t kExitRefused = 4;
constexpr char kUnknownItem[] = "NoSuchItem";
// CF_UNICODETEXT: the server serves and takes CF_TEXT only.
constexpr char kOtherFormat[] = "13";

}  // namespace

DdePoker::DdePoker(std::string client, std::string service, std::string topic,
                   std::vector<std::string> items,
                   std::function<void(const std::string&)> before_poke)
    : client_(std::move(client)),
      service_(std::move(service)),
      topic_(std::move(topic)),
      items_(std::move(items)),
      before_poke_(std::move(before_poke)) {}

void DdePoker::PokeNext(const std::string& item, const std::string& text) {
  queued_.push_back({{"poke", service_, topic_, item, text}, true, true, false, item});
}

DdePoker::Action DdePoker::NextAction() {
  if (!queued_.empty()) {
    Action action = queued_.front();
    queued_.erase(queued_.begin());
    return action;
  }
  // A fixed sequence of items, the same in every run.
  random_ = random_ * 1103515245u + 12345u;
  const std::string item = items_[(random_ >> 8) % items_.size()];
  const auto poke = [&](std::string text) {
    return Action{{"poke", service_, topic_, item, std::move(text)}, true, true, false, item};
  };
  switch (round_++ % 11) {
    case 0:
      return {{"request", service_, topic_, item}, false, true, false, item};
    case 1:
      return poke("12.5");
    case 2:
      return {{"request", service_, topic_, kUnknownItem}, false, false, false, kUnknownItem};
    case 3:
      return poke("line 1\\r\\nline 2\\r\\n");
    case 4:
      return {{"poke", service_, topic_, kUnknownItem, "1"}, false, false, false, kUnknownItem};
    case 5:
      return poke(std::string(300, 'x'));
    case 6:
      // "Данные" in Windows-1251.
      return poke("\\xC4\\xE0\\xED\\xED\\xFB\\xE5");
    case 7:
      return poke("");
    case 8:
      return {{"execute", service_, topic_, "[Run]"}, false, true, true, ""};
    case 9:
      return {
          {"--format", kOtherFormat, "request", service_, topic_, item}, false, false, false, item};
    default:
      return {{"--format", kOtherFormat, "poke", service_, topic_, item, "1"},
              false,
              false,
              false,
              item};
  }
}

bool DdePoker::Step(bool start_next) {
  if (running_ != nullptr) {
    const std::optional<DWORD> code = running_->WaitExit(0);
    if (!code) return true;
    running_->Kill();
    Judge(action_, *code, running_->Transcript());
    running_.reset();
  }
  if (!start_next) return true;
  action_ = NextAction();
  if (action_.publishes) before_poke_(action_.item);
  running_ = std::make_unique<testing::ChildProcess>();
  std::string error;
  // Under Wine a process start now and then fails with ERROR_INTERNAL_ERROR
  // before the client has run at all: that says nothing of the program, so
  // it gets a second try; a second failure counts.
  if (!running_->Start(client_, action_.arguments, &error) &&
      !running_->Start(client_, action_.arguments, &error)) {
    running_.reset();
    ++wrong_;
    if (first_wrong_.empty()) first_wrong_ = error;
    return false;
  }
  return true;
}

void DdePoker::Judge(const Action& action, std::uint32_t exit_code, const std::string& transcript) {
  ++transactions_;
  const bool taken = exit_code == kExitOk;
  const bool refused = exit_code == kExitRefused;
  const bool right = action.either ? (taken || refused) : action.must_succeed ? taken : refused;
  if (right && taken && action.publishes) ++pokes_taken_;
  if (right) return;
  ++wrong_;
  if (!first_wrong_.empty()) return;
  std::string command;
  for (const std::string& argument : action.arguments) command += " " + argument;
  first_wrong_ =
      "DdeClient" + command + " ended with " + std::to_string(exit_code) + ":\n" + transcript;
}

}  // namespace quorvel::tools::soak
