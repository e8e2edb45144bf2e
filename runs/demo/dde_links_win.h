// Hot advise links from this thread to items of one DDE server, as the
// cells of a workbook hold them: one conversation (under Wine a client
// process gets a second one only once its first has ended), one CF_TEXT link
// per item, every update handed to a handler while the thread handles its
// window messages. One DdeLinks at a time per process: the DDEML callback has
// no context argument.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::tools {

class DdeLinks {
 public:
  // Called for every update: the item's index in the list given to Link and
  // the data's bytes (for CF_TEXT, Windows-1251 text and its terminating
  // NUL); empty when the update came without data.
  using Handler = std::function<void(std::size_t item, std::string_view bytes)>;

  // Starts DDEML for this thread and connects to the service's topic.
  // Null with `error` set on failure.
  static std::unique_ptr<DdeLinks> Connect(const std::string& service, const std::string& topic,
                                           Handler handler, std::string* error);
  // Stops the links and ends the conversation and DDEML.
  ~DdeLinks();
  DdeLinks(const DdeLinks&) = delete;
  DdeLinks& operator=(const DdeLinks&) = delete;

  // Links every item in order; updates may arrive while later links are
  // being made. False with `error` set when one could not be linked (those
  // before it stay linked).
  bool Link(const std::vector<std::string>& items, std::string* error);
  // Stops every link; false when the server refused one or was gone.
  bool Unlink();

  std::size_t LinkCount() const;

  // What the DDEML callback works on (the .cpp file's).
  struct State;

 private:
  explicit DdeLinks(std::unique_ptr<State> state);

  std::unique_ptr<State> state_;
};

}  // namespace quorvel::tools
