// The DDE server under Wine, in a process of its own (DdeTestServer.exe,
// driven through its stdin), seen by real DDE clients: this program through
// DDEML for exact checks, and DdeClient.exe processes where a second process
// is needed (two clients at once, a client that dies, hostile clients).
//
// What Wine's DDEML does that shapes these tests:
// - A client process gets a second conversation with the server only once
//   its first has ended: where two are needed at once, one is DdeClient's.
// - String handles are atoms, compared without regard to case, and a client
//   keeps an atom of every item it transacted on. While "s437" lives in this
//   process, a new "S437" handle is the same atom and reaches the server as
//   "s437". So letter-case checks use names no other test uses, each
//   spelling is sent by a process of its own, and no atom of the name may
//   exist before.
// - DdePostAdvise adds the item atom once for all the links it serves, but
//   every client that receives the update deletes it: with two clients
//   linked, one of them finds the atom gone and drops the update. The
//   two-client test adds the missing reference before each write.
#include <windows.h>
// ddeml.h needs windows.h first.
#include <ddeml.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/cp1251.h"
#include "testkit/crash_exit_win.h"
#include "testkit/dde_child_win.h"
#include "testkit/dde_text.h"
#include "tools/dde_client/ddeml_win.h"

namespace quorvel::testing {
namespace {

// Upper bounds only: a hung server or client fails the test instead of
// hanging it. Nothing waits for a fixed time.
constexpr DWORD kAnswerMs = 30'000;
constexpr DWORD kTransactionMs = 10'000;
constexpr DWORD kLongRunMs = 300'000;

constexpr char kService[] = "DdeTestServer";
constexpr char kTopic[] = "ZORVIK";
constexpr auto kSettingsLower = cp1251::Text("настройки");
constexpr auto kSettingsUpper = cp1251::Text("НАСТРОЙКИ");
constexpr auto kSettings = cp1251::Text("Настройки");
constexpr auto kAbout = cp1251::Text("О программе");

// The bytes a client receives for an item of one line.
std::string Served(std::string_view text) {
  std::string bytes(text);
  bytes += "\r\n";
  bytes.push_back('\0');
  return bytes;
}

std::map<std::string, long long> ParseStats(const std::string& line) {
  std::map<std::string, long long> values;
  std::size_t pos = 0;
  while (pos < line.size()) {
    const std::size_t end = std::min(line.find(' ', pos), line.size());
    const std::string field = line.substr(pos, end - pos);
    const std::size_t equals = field.find('=');
    long long value = 0;
    const char* end_of_field = field.data() + field.size();
    // A field that is not a whole number is left out: at() then fails loudly.
    if (equals != std::string::npos &&
        std::from_chars(field.data() + equals + 1, end_of_field, value).ptr == end_of_field) {
      values[field.substr(0, equals)] = value;
    }
    pos = end + 1;
  }
  return values;
}

// A string handle of this program's DDEML instance, freed when it goes.
class Hsz {
 public:
  Hsz(DWORD instance, const std::string& text)
      : instance_(instance), hsz_(::DdeCreateStringHandleA(instance, text.c_str(), CP_WINANSI)) {}
  ~Hsz() {
    if (hsz_ != nullptr) ::DdeFreeStringHandle(instance_, hsz_);
  }
  Hsz(const Hsz&) = delete;
  Hsz& operator=(const Hsz&) = delete;
  HSZ get() const { return hsz_; }

 private:
  DWORD instance_;
  HSZ hsz_;
};

// The outcome of one synchronous transaction.
struct Reply {
  bool ok = false;   // DDEML reported success (for poke and execute: and DDE_FACK)
  std::string data;  // request: the bytes received
  UINT error = 0;    // DdeGetLastError after a failure
  DWORD flags = 0;   // the result word (DDE_FACK, ...)
};

struct Update {
  HCONV conversation;
  std::string item;
  std::string data;
};

[[maybe_unused]] const bool g_exit_on_crash = ExitOnCrash();

class DdeWinTest;
DdeWinTest* g_test = nullptr;

class DdeWinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(server_.Start(ExecutableDirectory() + "DdeTestServer.exe", {}, &error)) << error;
    ASSERT_TRUE(server_.WaitLine([](const std::string& l) { return l == "ready"; }, kAnswerMs))
        << "the server did not start:\n"
        << server_.Transcript();
    ASSERT_EQ(::DdeInitializeA(&instance_, &DdeWinTest::Callback, APPCMD_CLIENTONLY, 0),
              DMLERR_NO_ERROR);
    g_test = this;
  }

  void TearDown() override {
    for (auto& client : clients_) client->Kill();
    // Ends this program's conversations while the server still answers.
    if (instance_ != 0) ::DdeUninitialize(instance_);
    instance_ = 0;
    PumpMessages();
    g_test = nullptr;
    // The end of its input ends the server; its handle ends it in any case.
    server_.CloseInput();
    const auto code = server_.WaitExit(kAnswerMs);
    server_.Kill();
    EXPECT_EQ(code, std::optional<DWORD>(0)) << "the server did not end cleanly:\n"
                                             << server_.Transcript();
  }

  static HDDEDATA CALLBACK Callback(UINT type, UINT /*format*/, HCONV conversation, HSZ /*hsz1*/,
                                    HSZ hsz2, HDDEDATA data, ULONG_PTR /*data1*/,
                                    ULONG_PTR /*data2*/) {
    if (g_test == nullptr) return nullptr;
    if (type == XTYP_ADVDATA) {
      Update update{conversation, g_test->Query(hsz2), {}};
      if (data != nullptr) {
        const DWORD size = ::DdeGetData(data, nullptr, 0, 0);
        update.data.resize(size);
        ::DdeGetData(data, reinterpret_cast<LPBYTE>(update.data.data()), size, 0);
      }
      g_test->updates_.push_back(std::move(update));
      return reinterpret_cast<HDDEDATA>(static_cast<ULONG_PTR>(DDE_FACK));
    }
    return nullptr;
  }

  std::string Query(HSZ hsz) const {
    char text[512] = {};
    const DWORD length = ::DdeQueryStringA(instance_, hsz, text, sizeof text, CP_WINANSI);
    return std::string(text, std::min<DWORD>(length, sizeof text - 1));
  }

  // The server's one-line answer to a command.
  std::string Ask(const std::string& command) {
    const auto answer = server_.Ask(command, kAnswerMs);
    if (!answer) {
      ADD_FAILURE() << "no answer to '" << command.substr(0, 80) << "':\n" << server_.Transcript();
      return "<no answer>";
    }
    return *answer;
  }
  std::map<std::string, long long> Stats() { return ParseStats(Ask("stats")); }
  // Asks for the stats until `done` accepts them or the time is up; the last
  // ones. (The server notices a killed client on a timer of its own.)
  std::map<std::string, long long> AwaitStats(
      const std::function<bool(const std::map<std::string, long long>&)>& done) {
    std::map<std::string, long long> stats;
    PumpUntil(
        [&] {
          stats = Stats();
          return done(stats);
        },
        kAnswerMs);
    return stats;
  }
  void Set(int item, std::string_view text) {
    ASSERT_EQ(Ask("set " + std::to_string(item) + " " + EscapeBytes(text)), "ok");
  }
  // The item's Text as the server holds it.
  std::string Text(int item) {
    const std::string answer = Ask("text " + std::to_string(item));
    const auto bytes = QuotedBytes(answer);
    if (!bytes) ADD_FAILURE() << "bad answer to text: " << answer.substr(0, 200);
    return bytes.value_or("<bad answer>");
  }

  // A conversation; null service or topic makes it a wild connection.
  HCONV Connect(const char* service, const std::string* topic) {
    std::optional<Hsz> service_hsz, topic_hsz;
    if (service != nullptr) service_hsz.emplace(instance_, service);
    if (topic != nullptr) topic_hsz.emplace(instance_, *topic);
    const HCONV conversation = ::DdeConnect(instance_, service_hsz ? service_hsz->get() : nullptr,
                                            topic_hsz ? topic_hsz->get() : nullptr, nullptr);
    last_error_ = conversation != nullptr ? DMLERR_NO_ERROR : ::DdeGetLastError(instance_);
    PumpMessages();
    return conversation;
  }
  HCONV Connect(const std::string& topic = kTopic) { return Connect(kService, &topic); }

  // Every transaction is synchronous; messages are handled after each (under
  // Wine the next one fails while the last one's messages are queued).
  Reply Transact(HCONV conversation, UINT type, const std::string& item, UINT format,
                 std::optional<std::string_view> bytes = std::nullopt) {
    Reply reply;
    std::optional<Hsz> item_hsz;
    if (!item.empty()) item_hsz.emplace(instance_, item);
    std::string buffer(bytes.value_or(std::string_view()));
    const HDDEDATA answer = ::DdeClientTransaction(
        bytes ? reinterpret_cast<LPBYTE>(buffer.data()) : nullptr,
        static_cast<DWORD>(buffer.size()), conversation, item_hsz ? item_hsz->get() : nullptr,
        format, type, kTransactionMs, &reply.flags);
    reply.error = answer != nullptr ? DMLERR_NO_ERROR : ::DdeGetLastError(instance_);
    reply.ok = answer != nullptr;
    if (answer != nullptr && type == XTYP_REQUEST) {
      const DWORD size = ::DdeGetData(answer, nullptr, 0, 0);
      reply.data.resize(size);
      ::DdeGetData(answer, reinterpret_cast<LPBYTE>(reply.data.data()), size, 0);
      ::DdeFreeDataHandle(answer);
    }
    if (type == XTYP_POKE || type == XTYP_EXECUTE) {
      reply.ok = reply.ok && (LOWORD(reply.flags) & DDE_FACK) != 0;
    }
    // Under Wine a request's data comes with a trailing acknowledgement that
    // the next request would take for its own answer: wait it out, as the
    // client tool does.
    if (type == XTYP_REQUEST && reply.ok) {
      quorvel::tools::dde::FinishRequest();
    } else {
      PumpMessages();
    }
    return reply;
  }
  Reply Request(HCONV conversation, const std::string& item, UINT format = CF_TEXT) {
    return Transact(conversation, XTYP_REQUEST, item, format);
  }
  Reply Advise(HCONV conversation, const std::string& item, UINT format = CF_TEXT) {
    return Transact(conversation, XTYP_ADVSTART, item, format);
  }
  Reply Unadvise(HCONV conversation, const std::string& item, UINT format = CF_TEXT) {
    return Transact(conversation, XTYP_ADVSTOP, item, format);
  }
  Reply Poke(HCONV conversation, const std::string& item, std::string_view bytes,
             UINT format = CF_TEXT) {
    return Transact(conversation, XTYP_POKE, item, format, bytes);
  }
  Reply Execute(HCONV conversation, std::string_view bytes) {
    return Transact(conversation, XTYP_EXECUTE, "", 0, bytes);
  }

  // Waits until `count` updates have come in all.
  bool WaitUpdates(std::size_t count) {
    return PumpUntil([&] { return updates_.size() >= count; }, kAnswerMs);
  }
  // Every update the server sent before answering a request on
  // `conversation` has been handled once the request is answered.
  void Barrier(HCONV conversation) {
    EXPECT_TRUE(Request(conversation, "S1").ok) << "the barrier request failed";
    PumpMessages();
  }

  std::string ClientPath() const {
    return ExecutableDirectory() + "..\\..\\tools\\dde_client\\DdeClient.exe";
  }
  // A DdeClient.exe process, ended by its handle in TearDown at the latest.
  ChildProcess& StartClient(const std::vector<std::string>& arguments) {
    clients_.push_back(std::make_unique<ChildProcess>());
    std::string error;
    EXPECT_NE(::GetFileAttributesA(ClientPath().c_str()), INVALID_FILE_ATTRIBUTES)
        << "DdeClient.exe is not built: " << ClientPath();
    EXPECT_TRUE(clients_.back()->Start(ClientPath(), arguments, &error)) << error;
    return *clients_.back();
  }
  struct ClientRun {
    std::optional<DWORD> exit_code;
    std::vector<std::string> out;
    std::vector<std::string> err;
    std::string transcript;
  };
  ClientRun RunClient(const std::vector<std::string>& arguments, DWORD timeout_ms = kAnswerMs) {
    ChildProcess& client = StartClient(arguments);
    ClientRun run;
    run.exit_code = client.WaitExit(timeout_ms);
    client.Kill();  // also collects the rest of its output
    run.out = client.OutputLines();
    run.err = client.ErrorLines();
    run.transcript = client.Transcript();
    return run;
  }

  // The first stdout line of a DdeClient run that `prefix` starts, or "".
  static std::string LineStartingWith(const ClientRun& run, std::string_view prefix) {
    for (const std::string& line : run.out) {
      if (line.starts_with(prefix)) return line;
    }
    return {};
  }

  // The server still answers and holds every item: the Text of item 1, the
  // name of item 500, and a request for S1 from a new client process.
  void ExpectServerAnswers() {
    const std::string answer = Ask("text 1");
    EXPECT_TRUE(answer.starts_with("\"")) << answer.substr(0, 200);
    EXPECT_EQ(Ask("name 500"), "\"S500\"");
    const ClientRun run = RunClient({"request", kService, kTopic, "S1"});
    EXPECT_EQ(run.exit_code, std::optional<DWORD>(0)) << run.transcript;
    const std::string line = LineStartingWith(run, "S1 = ");
    EXPECT_TRUE(line.ends_with("\\r\\n\\0\"")) << run.transcript;
  }

  // Adds the reference to the item's atom that Wine's DdePostAdvise fails to
  // add for every link after the first (see the file comment).
  static void AddMissingAtomReferences(const char* item, int links) {
    for (int i = 1; i < links; ++i) ::GlobalAddAtomA(item);
  }

  ChildProcess server_;
  std::vector<std::unique_ptr<ChildProcess>> clients_;
  DWORD instance_ = 0;
  UINT last_error_ = 0;
  std::vector<Update> updates_;
};

// --- Requests and advise links -------------------------------------------

using DdeServeTest = DdeWinTest;

TEST_F(DdeServeTest, FreshServerHasNoConversations) {
  const auto stats = Stats();
  EXPECT_EQ(stats.at("conversations"), 0);
  EXPECT_EQ(stats.at("links"), 0);
}

TEST_F(DdeServeTest, RequestServesTheTextThenCrLfAndNul) {
  Set(10, "23.45");
  const HCONV conversation = Connect();
  ASSERT_NE(conversation, nullptr);
  const Reply reply = Request(conversation, "S10");
  ASSERT_TRUE(reply.ok) << std::hex << reply.error;
  EXPECT_EQ(reply.data, Served("23.45"));
  EXPECT_EQ(reply.data.size(), 8u);
}

TEST_F(DdeServeTest, ItemNeverWrittenServesThePlaceholder) {
  EXPECT_EQ(Text(9), " --.-");
  const HCONV conversation = Connect();
  ASSERT_NE(conversation, nullptr);
  const Reply reply = Request(conversation, "S9");
  ASSERT_TRUE(reply.ok) << std::hex << reply.error;
  EXPECT_EQ(reply.data, std::string(" --.-\r\n\0", 8));
}

TEST_F(DdeServeTest, AdviseSendsOneUpdatePerWriteEvenWhenUnchanged) {
  const HCONV conversation = Connect();
  ASSERT_NE(conversation, nullptr);
  ASSERT_TRUE(Advise(conversation, "S12").ok);
  EXPECT_EQ(Stats().at("links"), 1);
  EXPECT_TRUE(updates_.empty()) << "no data comes before the first write";

  Set(12, "1.5");
  ASSERT_TRUE(WaitUpdates(1));
  for (int i = 0; i < 3; ++i) Set(12, "same");
  ASSERT_TRUE(WaitUpdates(4));
  Barrier(conversation);
  ASSERT_EQ(updates_.size(), 4u);
  EXPECT_EQ(updates_[0].item, "S12");
  EXPECT_EQ(updates_[0].conversation, conversation);
  EXPECT_EQ(updates_[0].data, Served("1.5"));
  for (int i = 1; i < 4; ++i) EXPECT_EQ(updates_[i].data, Served("same")) << i;
}

// The poke comes from another process: under Wine, an update that reaches a
// conversation while its own poke waits for the acknowledgement is taken for
// the acknowledgement, and the update is lost.
TEST_F(DdeServeTest, PokedLinesReadBackAsTextAndAreServedLineByLine) {
  const HCONV conversation = Connect();
  ASSERT_NE(conversation, nullptr);
  ASSERT_TRUE(Advise(conversation, "S13").ok);

  const ClientRun poke = RunClient({"poke", kService, kTopic, "S13", "12\\r\\n34"});
  EXPECT_EQ(poke.exit_code, std::optional<DWORD>(0)) << poke.transcript;
  EXPECT_EQ(poke.out, std::vector<std::string>{"poke: ok"});
  EXPECT_EQ(Text(13), "12");
  EXPECT_EQ(Ask("lines 13"), "2 \"12\" \"34\"");
  ASSERT_TRUE(WaitUpdates(1));
  Barrier(conversation);
  ASSERT_EQ(updates_.size(), 1u);
  EXPECT_EQ(updates_[0].data, std::string("12\r\n34\r\n\0", 9));
  EXPECT_EQ(Request(conversation, "S13").data, std::string("12\r\n34\r\n\0", 9));
}

TEST_F(DdeServeTest, TwoClientProcessesBothReceiveEveryUpdate) {
  const std::vector<std::string> advise = {"advise", "--count", "3", kService, kTopic, "S20"};
  ChildProcess& first = StartClient(advise);
  ChildProcess& second = StartClient(advise);
  ASSERT_TRUE(first.WaitLine([](const std::string& l) { return l == "linked S20"; }, kAnswerMs))
      << first.Transcript();
  ASSERT_TRUE(second.WaitLine([](const std::string& l) { return l == "linked S20"; }, kAnswerMs))
      << second.Transcript();
  EXPECT_EQ(Stats().at("links"), 2);

  for (const char* text : {"a", "b", "c"}) {
    AddMissingAtomReferences("S20", 2);
    Set(20, text);
  }
  for (ChildProcess* client : {&first, &second}) {
    EXPECT_EQ(client->WaitExit(kAnswerMs), std::optional<DWORD>(0)) << client->Transcript();
    client->Kill();
    std::vector<std::string> received;
    for (const std::string& line : client->OutputLines()) {
      if (line.find(" S20 = ") != std::string::npos) received.push_back(*QuotedBytes(line));
    }
    const std::vector<std::string> expected = {Served("a"), Served("b"), Served("c")};
    EXPECT_EQ(received, expected) << client->Transcript();
    EXPECT_EQ(client->OutputLines().back(), "updates: 3");
  }
  const auto stats = Stats();
  EXPECT_EQ(stats.at("conversations"), 0);
  EXPECT_EQ(stats.at("links"), 0);
}

TEST_F(DdeServeTest, AdviseStopEndsTheLinkOfThatItemOnly) {
  const HCONV conversation = Connect();
  ASSERT_NE(conversation, nullptr);
  ASSERT_TRUE(Advise(conversation, "S15").ok);
  ASSERT_TRUE(Advise(conversation, "S16").ok);
  EXPECT_EQ(Stats().at("links"), 2);
  EXPECT_TRUE(Unadvise(conversation, "S15").ok);
  EXPECT_EQ(Stats().at("links"), 1);

  Set(15, "stopped");
  Set(16, "linked");
  ASSERT_TRUE(WaitUpdates(1));
  Barrier(conversation);
  ASSERT_EQ(updates_.size(), 1u);
  EXPECT_EQ(updates_[0].item, "S16");
  EXPECT_EQ(updates_[0].data, Served("linked"));
}

TEST_F(DdeServeTest, DisconnectionReleasesConversationsAndLinks) {
  const HCONV conversation = Connect();
  ASSERT_NE(conversation, nullptr);
  ASSERT_TRUE(Advise(conversation, "S17").ok);
  ASSERT_TRUE(Advise(conversation, "S18").ok);
  ChildProcess& client = StartClient({"advise", "--count", "1", kService, kTopic, "S17"});
  ASSERT_TRUE(client.WaitLine([](const std::string& l) { return l == "linked S17"; }, kAnswerMs))
      << client.Transcript();
  auto stats = Stats();
  EXPECT_EQ(stats.at("conversations"), 2);
  EXPECT_EQ(stats.at("links"), 3);

  EXPECT_TRUE(::DdeDisconnect(conversation));
  PumpMessages();
  stats = Stats();
  EXPECT_EQ(stats.at("conversations"), 1);
  EXPECT_EQ(stats.at("links"), 1);

  // The client process ends its link and conversation after one update.
  Set(17, "bye");
  EXPECT_EQ(client.WaitExit(kAnswerMs), std::optional<DWORD>(0)) << client.Transcript();
  stats = Stats();
  EXPECT_EQ(stats.at("conversations"), 0);
  EXPECT_EQ(stats.at("links"), 0);
}

// --- Names: topic, items, formats ------------------------------------------

using DdeNameTest = DdeWinTest;

TEST_F(DdeNameTest, ItemNamesAreExactWhileTheTopicMatchesInAnyCase) {
  // No atom of the name in any letter case may exist yet (see the file comment).
  ASSERT_EQ(::GlobalFindAtomA("s437"), 0) << "a global S437 atom exists already";
  ASSERT_EQ(::FindAtomA("s437"), 0) << "a local S437 atom exists already";
  ASSERT_EQ(::GlobalFindAtomA("zorvik"), 0) << "a global ZORVIK atom exists already";
  Set(437, "7");
  Set(438, "8");
  const HCONV conversation = Connect("zorvik");
  ASSERT_NE(conversation, nullptr) << "topic in other letter case: 0x" << std::hex << last_error_;

  const Reply request = Request(conversation, "s437");
  EXPECT_FALSE(request.ok) << "served " << EscapeBytes(request.data);
  EXPECT_EQ(request.error, static_cast<UINT>(DMLERR_NOTPROCESSED));
  EXPECT_FALSE(Advise(conversation, "s437").ok);
  EXPECT_FALSE(Poke(conversation, "s437", std::string("9\0", 2)).ok);
  EXPECT_EQ(Text(437), "7");
  EXPECT_EQ(Stats().at("links"), 0);

  // The same conversation serves an item named exactly.
  EXPECT_EQ(Request(conversation, "S438").data, Served("8"));
  // And a process that never held "s437" gets S437.
  const ClientRun run = RunClient({"request", kService, "zorvik", "S437"});
  EXPECT_EQ(run.exit_code, std::optional<DWORD>(0)) << run.transcript;
  EXPECT_EQ(run.out, std::vector<std::string>{"S437 = \"7\\r\\n\\0\""}) << run.transcript;
}

TEST_F(DdeNameTest, OtherFormatsAreRefused) {
  const HCONV conversation = Connect();
  ASSERT_NE(conversation, nullptr);
  for (const UINT format : {UINT{CF_BITMAP}, UINT{CF_OEMTEXT}, UINT{CF_UNICODETEXT}}) {
    const Reply request = Request(conversation, "S14", format);
    EXPECT_FALSE(request.ok) << "format " << format;
    EXPECT_EQ(request.error, static_cast<UINT>(DMLERR_NOTPROCESSED)) << "format " << format;
    EXPECT_FALSE(Advise(conversation, "S14", format).ok) << "format " << format;
  }
  for (const UINT format : {UINT{CF_OEMTEXT}, UINT{CF_UNICODETEXT}}) {
    const Reply poke = Poke(conversation, "S14", std::string("55\0\0", 4), format);
    EXPECT_FALSE(poke.ok) << "format " << format << " flags 0x" << std::hex << poke.flags;
  }
  EXPECT_EQ(Text(14), " --.-");
  EXPECT_EQ(Stats().at("links"), 0);
  // Text is still served.
  EXPECT_EQ(Request(conversation, "S14").data, Served(" --.-"));
  // And DdeClient's --format asks for the same refusal.
  const ClientRun run = RunClient({"--format", "2", "request", kService, kTopic, "S14"});
  EXPECT_EQ(run.exit_code, std::optional<DWORD>(4)) << run.transcript;
}

TEST_F(DdeNameTest, RenamedTopicEndsOldUpdatesButOldConversationStillServes) {
  const HCONV old_conversation = Connect();
  ASSERT_NE(old_conversation, nullptr);
  ASSERT_TRUE(Advise(old_conversation, "S19").ok);
  Set(19, "before");
  ASSERT_TRUE(WaitUpdates(1));

  EXPECT_EQ(Ask("topic PLANT"), "ok");
  Set(19, "after");
  // The request answers the current value, and every update sent before
  // its answer has been handled by then: none came.
  const Reply reply = Request(old_conversation, "S19");
  EXPECT_TRUE(reply.ok);
  EXPECT_EQ(reply.data, Served("after"));
  PumpMessages();
  EXPECT_EQ(updates_.size(), 1u);
  EXPECT_EQ(Request(old_conversation, "S2").data, Served(" --.-"));

  // New conversations need the new name.
  const ClientRun old_name = RunClient({"request", kService, kTopic, "S19"});
  EXPECT_EQ(old_name.exit_code, std::optional<DWORD>(3)) << old_name.transcript;
  const ClientRun new_name = RunClient({"request", kService, "PLANT", "S19"});
  EXPECT_EQ(new_name.exit_code, std::optional<DWORD>(0)) << new_name.transcript;
  EXPECT_EQ(new_name.out, std::vector<std::string>{"S19 = \"after\\r\\n\\0\""});
}

TEST_F(DdeNameTest, TopicNamesAreCheckedAgainstTheComponents) {
  EXPECT_EQ(Ask("topic S1"), "A component named S1 already exists");
  EXPECT_EQ(Ask("topic n3"), "A component named n3 already exists");
  EXPECT_EQ(Ask("topic 9X"), "''9X'' is not a valid component name");
  EXPECT_NE(Connect(kTopic), nullptr);
}

TEST_F(DdeNameTest, PrefixRenumbersEveryItem) {
  Set(1, "first");
  Set(11, "eleventh");
  Set(500, "last");
  ASSERT_EQ(Ask("prefix S1"), "ok");
  EXPECT_EQ(Ask("name 1"), "\"S11\"");
  EXPECT_EQ(Ask("name 11"), "\"S111\"");
  EXPECT_EQ(Ask("name 500"), "\"S1500\"");

  const HCONV conversation = Connect();
  ASSERT_NE(conversation, nullptr);
  // S11 is now item 1's name, not item 11's.
  EXPECT_EQ(Request(conversation, "S11").data, Served("first"));
  EXPECT_EQ(Request(conversation, "S111").data, Served("eleventh"));
  EXPECT_EQ(Request(conversation, "S1500").data, Served("last"));
  for (const char* gone : {"S1", "S500", "S5001"}) {
    const Reply reply = Request(conversation, gone);
    EXPECT_FALSE(reply.ok) << gone << " served " << EscapeBytes(reply.data);
  }
}

TEST_F(DdeNameTest, RefusedPrefixChangesNoItem) {
  EXPECT_EQ(Ask("prefix N"), "A component named N1 already exists");
  EXPECT_EQ(Ask("prefix 1A"), "''1A1'' is not a valid component name");
  EXPECT_EQ(Ask("name 1"), "\"S1\"");
  EXPECT_EQ(Ask("name 500"), "\"S500\"");
  Set(1, "one");
  const HCONV conversation = Connect();
  ASSERT_NE(conversation, nullptr);
  EXPECT_EQ(Request(conversation, "S1").data, Served("one"));
  EXPECT_FALSE(Request(conversation, "N1").ok);
}

TEST_F(DdeNameTest, WildConnectionWithTheTopicFindsThePair) {
  const std::string topic = kTopic;
  const HCONV conversation = Connect(nullptr, &topic);
  ASSERT_NE(conversation, nullptr) << "0x" << std::hex << last_error_;
  CONVINFO info{};
  info.cb = sizeof info;
  ASSERT_NE(::DdeQueryConvInfo(conversation, QID_SYNC, &info), 0u);
  EXPECT_EQ(Query(info.hszSvcPartner), kService);
  EXPECT_EQ(Query(info.hszTopic), kTopic);
  Set(2, "wild");
  EXPECT_EQ(Request(conversation, "S2").data, Served("wild"));
}

// --- Forms: a caption connects, but serves nothing -------------------------

class DdeFormTest : public DdeWinTest {
 protected:
  // A conversation on `topic` is made, but no item is found through it. Each
  // transaction is a client process of its own (see the file comment).
  void ExpectConnectsWithoutItems(const std::string& topic) {
    SCOPED_TRACE("topic " + EscapeBytes(topic));
    ASSERT_EQ(::GlobalFindAtomA(topic.c_str()), 0) << "an atom of this topic exists already";
    // Exit code 3 is "no conversation", 4 "refused by the server".
    ClientRun run = RunClient({"request", kService, topic, "S1"});
    EXPECT_EQ(run.exit_code, std::optional<DWORD>(4)) << run.transcript;
    run = RunClient({"advise", "--count", "1", kService, topic, "S1"});
    EXPECT_EQ(run.exit_code, std::optional<DWORD>(4)) << run.transcript;
    run = RunClient({"poke", kService, topic, "S1", "5"});
    EXPECT_EQ(run.exit_code, std::optional<DWORD>(4)) << run.transcript;
    EXPECT_EQ(run.out, std::vector<std::string>{"poke: not processed"});
    run = RunClient({"execute", kService, topic, "[run]"});
    EXPECT_EQ(run.exit_code, std::optional<DWORD>(4)) << run.transcript;
    EXPECT_EQ(run.out, std::vector<std::string>{"execute: not processed"});
    EXPECT_EQ(Text(1), " --.-");
    const auto stats = Stats();
    EXPECT_EQ(stats.at("conversations"), 0);
    EXPECT_EQ(stats.at("links"), 0);
  }
};

TEST_F(DdeFormTest, MainWindowCaptionInAnyCase) {
  ExpectConnectsWithoutItems("QUORVEL V.2.1");
  ExpectConnectsWithoutItems("quorvel v.2.1");
  ExpectConnectsWithoutItems("Quorvel v.2.1");
}

TEST_F(DdeFormTest, RussianCaptionsInTheirOwnCase) {
  ExpectConnectsWithoutItems(std::string(kSettings.view()));
  ExpectConnectsWithoutItems(std::string(kAbout.view()));
}

TEST_F(DdeFormTest, RussianCaptionInOtherLetterCase) {
  ExpectConnectsWithoutItems(std::string(kSettingsLower.view()));
  ExpectConnectsWithoutItems(std::string(kSettingsUpper.view()));
}

TEST_F(DdeFormTest, ExecuteOnTheTopicIsAcknowledged) {
  const HCONV conversation = Connect();
  ASSERT_NE(conversation, nullptr);
  const Reply reply = Execute(conversation, std::string("[Refresh]\0", 10));
  EXPECT_TRUE(reply.ok) << "flags 0x" << std::hex << reply.flags << " error 0x" << reply.error;
  EXPECT_NE(LOWORD(reply.flags) & DDE_FACK, 0);
}

// --- Hostile clients: none may crash the server or lose an item -----------

using DdeHostileTest = DdeWinTest;

TEST_F(DdeHostileTest, PokeOfOneMebibyte) {
  std::string huge(1 << 20, '7');
  huge.back() = '\0';
  const HCONV conversation = Connect();
  ASSERT_NE(conversation, nullptr);
  const Reply poke = Poke(conversation, "S21", huge);
  EXPECT_TRUE(poke.ok) << "flags 0x" << std::hex << poke.flags << " error 0x" << poke.error;
  const std::string text(huge.size() - 1, '7');
  EXPECT_EQ(Text(21), text);
  EXPECT_EQ(Request(conversation, "S21").data, Served(text));
  ExpectServerAnswers();
}

TEST_F(DdeHostileTest, PokeWithoutTerminatingNul) {
  const ClientRun run = RunClient({"poke", "--no-nul", kService, kTopic, "S22", "abc"});
  EXPECT_EQ(run.exit_code, std::optional<DWORD>(0)) << run.transcript;
  EXPECT_EQ(run.out, std::vector<std::string>{"poke: ok"});
  EXPECT_EQ(Text(22), "abc");
  ExpectServerAnswers();
}

TEST_F(DdeHostileTest, ExecuteOfGarbageBytes) {
  for (const bool nul : {true, false}) {
    std::vector<std::string> arguments = {"execute", kService, kTopic,
                                          "\\xFF\\xFE\\0\\x01\\x80[\\x9F\\r\\n\\\\\\x00]"};
    if (!nul) arguments.insert(arguments.begin() + 1, "--no-nul");
    const ClientRun run = RunClient(arguments);
    EXPECT_EQ(run.exit_code, std::optional<DWORD>(0)) << run.transcript;
    EXPECT_EQ(run.out, std::vector<std::string>{"execute: ok"}) << run.transcript;
  }
  ExpectServerAnswers();
}

TEST_F(DdeHostileTest, ThousandConnectDisconnectCycles) {
  const ClientRun run = RunClient({"connect-cycles", "1000", kService, kTopic}, kLongRunMs);
  EXPECT_EQ(run.exit_code, std::optional<DWORD>(0)) << run.transcript;
  EXPECT_EQ(run.out, std::vector<std::string>{"cycles: 1000"});
  const auto stats = Stats();
  EXPECT_EQ(stats.at("conversations"), 0);
  EXPECT_EQ(stats.at("links"), 0);
  ExpectServerAnswers();
}

class DdeKilledClientTest : public DdeWinTest {
 protected:
  // A DdeClient process linked to `item`, ended by its handle.
  void KillLinkedClient(const std::string& item) {
    ChildProcess& client = StartClient({"advise", kService, kTopic, item});
    ASSERT_TRUE(
        client.WaitLine([&](const std::string& l) { return l == "linked " + item; }, kAnswerMs))
        << client.Transcript();
    client.Kill();
  }
};

TEST_F(DdeKilledClientTest, ItemStillTakesWritesAndIsServed) {
  ASSERT_NO_FATAL_FAILURE(KillLinkedClient("S23"));
  Set(23, "after kill");
  EXPECT_EQ(Text(23), "after kill");
  Set(23, "and again");
  EXPECT_EQ(Text(23), "and again");
  ExpectServerAnswers();
  const ClientRun run = RunClient({"request", kService, kTopic, "S23"});
  EXPECT_EQ(run.out, std::vector<std::string>{"S23 = \"and again\\r\\n\\0\""}) << run.transcript;
}

TEST_F(DdeKilledClientTest, DeadConversationsAreReleased) {
  constexpr int kKills = 5;
  const auto before = Stats();
  for (int i = 0; i < kKills; ++i) {
    ASSERT_NO_FATAL_FAILURE(KillLinkedClient("S24"));
    // The item is written with the dead clients linked to it.
    Set(24, "write " + std::to_string(i));
  }
  // One more write and a full round of requests after the last death.
  Set(24, "last");
  ExpectServerAnswers();
  const auto after = AwaitStats(
      [](const auto& stats) { return stats.at("conversations") == 0 && stats.at("links") == 0; });
  std::printf(
      "dde.stats: %d linked clients killed: before conversations=%lld links=%lld "
      "handles=%lld windows=%lld, after conversations=%lld links=%lld handles=%lld "
      "windows=%lld\n",
      kKills, before.at("conversations"), before.at("links"), before.at("handles"),
      before.at("windows"), after.at("conversations"), after.at("links"), after.at("handles"),
      after.at("windows"));
  std::fflush(stdout);
  // The server's records of the dead conversations go. (Wine keeps a window
  // for each, which no server call can end: printed, not checked.)
  EXPECT_EQ(after.at("conversations"), 0);
  EXPECT_EQ(after.at("links"), 0);
  EXPECT_LE(after.at("handles"), before.at("handles") + 2);
}

// Wine's DdePostAdvise stops at the first link whose update it cannot post
// (its client is gone), before the links made after it, and it still asks
// the server for that link's data after DdeDisconnect: only a server that
// answers no data for a dead partner's link keeps the others served.
TEST_F(DdeKilledClientTest, ClientLinkedLaterStillGetsUpdates) {
  ASSERT_NO_FATAL_FAILURE(KillLinkedClient("S25"));
  const HCONV conversation = Connect();
  ASSERT_NE(conversation, nullptr);
  ASSERT_TRUE(Advise(conversation, "S25").ok);
  // Once the server has let the dead client go, only this one is left.
  EXPECT_EQ(AwaitStats([](const auto& stats) {
              return stats.at("conversations") == 1;
            }).at("conversations"),
            1);
  Set(25, "live");
  ASSERT_TRUE(WaitUpdates(1)) << "the update never came";
  EXPECT_EQ(updates_[0].data, Served("live"));
}

// --- Handles and memory ----------------------------------------------------

using DdeResourceTest = DdeWinTest;

TEST_F(DdeResourceTest, HandleAndGuiCountsStayFlatOverTenThousandRequests) {
  Set(1, "1.25");
  // A short run first, so that what the first conversation sets up once is
  // not counted as growth.
  const ClientRun warm_up = RunClient({"request", "--repeat", "10", kService, kTopic, "S1"});
  ASSERT_EQ(warm_up.exit_code, std::optional<DWORD>(0)) << warm_up.transcript;
  const std::string before = Ask("stats");

  const ClientRun run =
      RunClient({"request", "--repeat", "10000", kService, kTopic, "S1"}, kLongRunMs);
  EXPECT_EQ(run.exit_code, std::optional<DWORD>(0)) << run.transcript;
  EXPECT_EQ(run.out.size(), 10000u);
  if (!run.out.empty()) {
    EXPECT_EQ(run.out.back(), "S1 = \"1.25\\r\\n\\0\"");
  }
  const std::string after = Ask("stats");

  std::printf("dde.stats: before 10000 requests: %s\n", before.c_str());
  std::printf("dde.stats: after 10000 requests:  %s\n", after.c_str());
  std::fflush(stdout);
  const auto b = ParseStats(before);
  const auto a = ParseStats(after);
  EXPECT_EQ(a.at("conversations"), 0);
  EXPECT_EQ(a.at("links"), 0);
  for (const char* count : {"handles", "gdi", "user", "windows"}) {
    EXPECT_LE(a.at(count), b.at(count) + 2) << count;
    EXPECT_GE(a.at(count), b.at(count) - 2) << count;
  }
  EXPECT_GT(b.at("handles"), 0) << "no handle count: the flat figure would mean nothing";
  EXPECT_GT(b.at("windows"), 0) << "no window count: the flat figure would mean nothing";
}

// A data driver answers requests all day. Under Wine, DDEML keeps every data
// handle a server's XTYP_REQUEST answer returns (it frees them only for
// updates), and the process runs out of movable memory handles after 32,768:
// from then on no request and no new link is answered.
TEST_F(DdeResourceTest, ServerStillAnswersAfterMoreThan32768Requests) {
  Set(1, "2.5");
  const std::string before = Ask("stats");
  const ClientRun run =
      RunClient({"request", "--repeat", "33000", kService, kTopic, "S1"}, kLongRunMs);
  const std::string after = Ask("stats");
  std::printf("dde.stats: before 33000 requests: %s\n", before.c_str());
  std::printf("dde.stats: after 33000 requests:  %s\n", after.c_str());
  std::fflush(stdout);
  EXPECT_EQ(run.exit_code, std::optional<DWORD>(0))
      << (run.err.empty() ? std::string() : run.err.front());
  EXPECT_EQ(run.out.size(), 33000u);
  ExpectServerAnswers();
}

// Under Wine every update posted to another process leaves the server's copy
// of its data behind, and a process has 65,536 movable memory handles: a
// server that did not release those copies would send updates without data
// (and answer no request) after that many updates, minutes into a run with
// ten linked clients. The server here holds all but a few of the handles
// first, so that a few thousand updates go past the limit.
TEST_F(DdeResourceTest, UpdatesPastTheMovableMemoryLimitStillCarryData) {
  constexpr int kItems = 500;
  constexpr int kBursts = 6;
  constexpr int kHeld = 65'536 - 2'000;
  std::vector<std::string> advise = {"advise", kService, kTopic};
  for (int i = 1; i <= kItems; ++i) advise.push_back(std::string(1, 'S').append(std::to_string(i)));
  ChildProcess& client = StartClient(advise);
  ASSERT_TRUE(client.WaitLine([](const std::string& l) { return l == "linked S500"; }, kLongRunMs))
      << client.Transcript().substr(0, 2000);
  ASSERT_EQ(Ask("hold " + std::to_string(kHeld)), "held=" + std::to_string(kHeld));
  for (int i = 0; i < kBursts; ++i) ASSERT_TRUE(Ask("burst").starts_with("burst_us=")) << i;
  const std::string last = "S500 = \"B" + std::to_string(kBursts) + "\\r\\n\\0\"";
  ASSERT_TRUE(client.WaitLine([&](const std::string& l) { return l.ends_with(last); }, kLongRunMs))
      << "the last update never came";
  std::printf("dde.stats: %d updates past the limit: %s\n", kItems * kBursts, Ask("stats").c_str());
  std::fflush(stdout);

  std::size_t updates = 0;
  for (const std::string& line : client.OutputLines()) {
    EXPECT_FALSE(line.ends_with("(no data)")) << line;
    updates += line.find(" = \"B") != std::string::npos;
  }
  EXPECT_EQ(updates, static_cast<std::size_t>(kItems * kBursts));
  ExpectServerAnswers();
}

// The same for the answers to requests, which are posted the same way.
TEST_F(DdeResourceTest, RequestsPastTheMovableMemoryLimitAreStillAnswered) {
  constexpr int kHeld = 65'536 - 1'000;
  constexpr int kRequests = 2'000;
  Set(1, "4.5");
  ASSERT_EQ(Ask("hold " + std::to_string(kHeld)), "held=" + std::to_string(kHeld));
  const ClientRun run = RunClient(
      {"request", "--repeat", std::to_string(kRequests), kService, kTopic, "S1"}, kLongRunMs);
  EXPECT_EQ(run.exit_code, std::optional<DWORD>(0))
      << (run.err.empty() ? std::string() : run.err.front());
  EXPECT_EQ(run.out.size(), static_cast<std::size_t>(kRequests));
  if (!run.out.empty()) {
    EXPECT_EQ(run.out.back(), "S1 = \"4.5\\r\\n\\0\"");
  }
  ExpectServerAnswers();
}

// --- Last: a wild connection leaves atoms behind ---------------------------

// Wine's DdeConnectList finds nothing at all (a stub), so the connection
// without service or topic is tried with DdeConnect. Under Wine atoms made
// for a wild connection outlive the run's processes, and an atom of a caption
// would hide the letter case of the form tests: this runs after them.
using DdeWildTest = DdeWinTest;

// A wild connection must name the topic: without one the server does not
// answer, so no conversation comes of it.
TEST_F(DdeWildTest, ConnectionWithoutTopicIsNotAnswered) {
  const HCONV conversation = Connect(nullptr, nullptr);
  EXPECT_EQ(conversation, nullptr);
  if (conversation != nullptr) ::DdeDisconnect(conversation);
}

}  // namespace
}  // namespace quorvel::testing
