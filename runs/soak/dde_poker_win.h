// The soak's hostile DDE client: one DdeClient.exe process after another,
// each a new conversation with one transaction, in a fixed round of requests,
// pokes and executes, good and bad, on the program's items. Each answer is
// checked against what the server must answer.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "testkit/dde_child_win.h"

namespace quorvel::tools::soak {

class DdePoker {
 public:
  // `before_poke` is called with an existing item's name before each poke
  // that the server will publish to the linked clients.
  DdePoker(std::string client, std::string service, std::string topic,
           std::vector<std::string> items, std::function<void(const std::string&)> before_poke);

  // Takes the answer of the transaction under way once it has ended, and
  // then, with `start_next`, starts the next one. False when a client
  // process could not be started.
  bool Step(bool start_next);
  // Whether a transaction is under way.
  bool Busy() const { return running_ != nullptr; }
  // Pokes `text` into `item` as the next transaction (after the one under
  // way, if any).
  void PokeNext(const std::string& item, const std::string& text);

  std::int64_t Transactions() const { return transactions_; }
  // Pokes the server took into an item: each is an update to every link.
  std::int64_t PokesTaken() const { return pokes_taken_; }
  // Answers not as they must be, and the first of them described.
  std::int64_t Wrong() const { return wrong_; }
  const std::string& FirstWrong() const { return first_wrong_; }

 private:
  struct Action {
    std::vector<std::string> arguments;
    bool publishes = false;    // a poke into an existing item
    bool must_succeed = true;  // false: must be refused
    bool either = false;       // taken or refused, as long as it is answered
    std::string item;
  };
  Action NextAction();
  void Judge(const Action& action, std::uint32_t exit_code, const std::string& transcript);

  std::string client_;
  std::string service_;
  std::string topic_;
  std::vector<std::string> items_;
  std::function<void(const std::string&)> before_poke_;
  std::unique_ptr<testing::ChildProcess> running_;
  Action action_;
  std::vector<Action> queued_;
  std::uint32_t round_ = 0;
  std::uint32_t random_ = 12345;
  std::int64_t transactions_ = 0;
  std::int64_t pokes_taken_ = 0;
  std::int64_t wrong_ = 0;
  std::string first_wrong_;
};

}  // namespace quorvel::tools::soak
