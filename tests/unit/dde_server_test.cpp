#include "poll/dde_server.h"

#include <gtest/gtest.h>

#include <map>

#include "base/cp1251.h"
#include "fake_dde.h"
#include "poll/component_names.h"
#include "poll/dde_announcements.h"
#include "poll/dde_components.h"
#include "poll/dde_quality_items.h"
#include "poll/dde_value_items.h"

namespace quorvel::poll {
namespace {

using Lines = std::vector<std::string>;

using testing::FakePlatform;

class DdeServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    manager.AddForm(&window);
    manager.AddForm(&settings_form);
    ASSERT_FALSE(components.NameItems("S"));
  }
  // A client's handle for a text, as DDEML would pass it in a transaction.
  DdeString ClientHandle(std::string_view text) {
    const DdeString handle = platform.CreateString(text);
    platform.FreeString(handle);
    return handle;
  }
  TDdeSrvrConv& Connect(std::string_view topic, DdeConversation handle = 1) {
    EXPECT_TRUE(manager.AcceptsTopic(topic));
    return manager.ConfirmConnection(topic, handle);
  }

  FakePlatform platform;
  TDdeMgr manager{platform};
  DdeForm window{"Quorvel v.2.1", {}};
  DdeForm settings_form{cp1251::FromUtf8("Настройки"), {}};
  DdeComponents components{manager, window};
};

TEST(ServedText, LinesWithLineBreaksAndOneNul) {
  EXPECT_EQ(ServedText({"23,45"}), std::string("23,45\r\n\0", 8));
  EXPECT_EQ(ServedText({std::string(kNoValueText)}), std::string(" --.-\r\n\0", 8));
  EXPECT_EQ(ServedText({"12", "34"}), std::string("12\r\n34\r\n\0", 9));
  EXPECT_EQ(ServedText({}), std::string(1, '\0'));
}

TEST(SplitLines, EveryKindOfLineBreak) {
  const std::pair<std::string, Lines> cases[] = {
      {"12\r\n34", {"12", "34"}},
      {"a\rb\nc", {"a", "b", "c"}},
      {"a\r\n", {"a"}},
      {"", {}},
      {"\r\n", {""}},
      {"a\n\rb", {"a", "", "b"}},
      {std::string("a\0b", 3), {"a"}},
      {"a\r\n\r\n", {"a", ""}},
  };
  for (const auto& [text, lines] : cases) EXPECT_EQ(SplitLines(text), lines) << text;
}

TEST(ServiceName, FileNameCutBeforeItsFirstDot) {
  EXPECT_EQ(ServiceName("C:\\Program Files\\Quorvel\\Quorvel.exe"), "Quorvel");
  EXPECT_EQ(ServiceName("C:\\x.y\\a.b.exe"), "a");
  EXPECT_EQ(ServiceName("Z:/opt/Copy"), "Copy");
}

TEST(DdeStartupErrorMessage, ByCode) {
  EXPECT_EQ(DdeStartupErrorMessage(0x4007), "Error occurred when DDE ran out of memory ($04007)");
  EXPECT_EQ(DdeStartupErrorMessage(0x4008), "Error occurred when DDE ran out of memory ($04008)");
  EXPECT_EQ(DdeStartupErrorMessage(0x400A), "DDE Error - conversation not established ($0400a)");
  EXPECT_EQ(DdeStartupErrorMessage(0x4006), "An error returned from DDE  ($04006)");
}

TEST_F(DdeServerTest, TopicsAndCaptionsWithoutRegardToCase) {
  EXPECT_TRUE(manager.AcceptsTopic("zorvik"));
  EXPECT_TRUE(manager.AcceptsTopic("QUORVEL V.2.1"));
  EXPECT_TRUE(manager.AcceptsTopic(cp1251::FromUtf8("нАСТРОЙКИ")));
  EXPECT_FALSE(manager.AcceptsTopic("PLANT"));
  ASSERT_FALSE(components.SetTopicName("PLANT"));
  EXPECT_FALSE(manager.AcceptsTopic("ZORVIK"));
  EXPECT_TRUE(manager.AcceptsTopic("plant"));
}

TEST_F(DdeServerTest, RequestsFindItemsByExactName) {
  TDdeSrvrConv& conversation = Connect("zorvik");
  components.Item(0).SetText("23,45");
  EXPECT_EQ(manager.Serve(conversation, ClientHandle("S1"), "S1", kCfText),
            std::string("23,45\r\n\0", 8));
  EXPECT_EQ(manager.Serve(conversation, ClientHandle("S500"), "S500", kCfText),
            std::string(" --.-\r\n\0", 8));
  EXPECT_FALSE(manager.Serve(conversation, ClientHandle("s1"), "s1", kCfText));
  EXPECT_FALSE(manager.Serve(conversation, ClientHandle("S501"), "S501", kCfText));
  EXPECT_FALSE(manager.Serve(conversation, ClientHandle("S1"), "S1", 2));
}

TEST_F(DdeServerTest, AFormCaptionConversationFindsNoItems) {
  TDdeSrvrConv& conversation = Connect("Quorvel v.2.1");
  EXPECT_EQ(conversation.topic_object, nullptr);
  EXPECT_FALSE(manager.Serve(conversation, ClientHandle("S1"), "S1", kCfText));
  EXPECT_FALSE(manager.StartAdvise(conversation, "S1", kCfText));
  EXPECT_FALSE(manager.Poke(conversation, "S1", kCfText, "1"));
  EXPECT_FALSE(manager.Execute(conversation, true));
  EXPECT_TRUE(manager.Execute(Connect("ZORVIK", 2), true));
  EXPECT_FALSE(manager.Execute(Connect("ZORVIK", 3), false));
}

TEST_F(DdeServerTest, EveryTextWriteAdvisesOnceChangedOrNot) {
  TDdeSrvrConv& conversation = Connect("Zorvik");
  ASSERT_TRUE(manager.StartAdvise(conversation, "S2", kCfText));
  components.Item(1).SetText("1");
  components.Item(1).SetText("1");
  components.Item(0).SetText("9");  // not linked: nothing posted
  EXPECT_EQ(platform.posts, (Lines{"Zorvik!S2", "Zorvik!S2"}));
}

TEST_F(DdeServerTest, TwoClientsOnOneItemGetOnePostReachingBoth) {
  TDdeSrvrConv& first = Connect("ZORVIK", 1);
  TDdeSrvrConv& second = Connect("zorvik", 2);
  ASSERT_TRUE(manager.StartAdvise(first, "S3", kCfText));
  ASSERT_TRUE(manager.StartAdvise(second, "S3", kCfText));
  components.Item(2).SetText("7");
  EXPECT_EQ(platform.posts.size(), 1u);  // DDEML sends an advise request to every loop
  EXPECT_EQ(manager.Serve(second, second.links[0]->item_handle.get().handle, "S3", kCfText),
            std::string("7\r\n\0", 4));
}

TEST_F(DdeServerTest, AdviseNeedsTextAndAKnownItem) {
  TDdeSrvrConv& conversation = Connect("ZORVIK");
  EXPECT_FALSE(manager.StartAdvise(conversation, "S1", 2));
  EXPECT_FALSE(manager.StartAdvise(conversation, "s1", kCfText));
  EXPECT_EQ(conversation.topic_handle.get().handle, 0u);
  EXPECT_TRUE(manager.StartAdvise(conversation, "S1", kCfText));
  EXPECT_TRUE(manager.StartAdvise(conversation, "S2", kCfText));
  EXPECT_EQ(platform.Held(), 3);  // one topic handle, two item handles
}

TEST_F(DdeServerTest, PokeSetsTheLinesAndAdvises) {
  TDdeSrvrConv& conversation = Connect("ZORVIK");
  ASSERT_TRUE(manager.StartAdvise(conversation, "S1", kCfText));
  EXPECT_TRUE(manager.Poke(conversation, "S1", kCfText, std::string("12\r\n34\0junk", 11)));
  EXPECT_EQ(components.Item(0).Text(), "12");
  EXPECT_EQ(
      manager.Serve(conversation, conversation.links[0]->item_handle.get().handle, "S1", kCfText),
      std::string("12\r\n34\r\n\0", 9));
  EXPECT_EQ(platform.posts.size(), 1u);
  EXPECT_FALSE(manager.Poke(conversation, "S1", 2, "5"));
  EXPECT_FALSE(manager.Poke(conversation, "S9999", kCfText, "5"));
  EXPECT_EQ(components.Item(0).Text(), "12");
}

TEST_F(DdeServerTest, AfterATopicRenameOldLinksAreQuietButRequestsAnswer) {
  TDdeSrvrConv& conversation = Connect("ZORVIK");
  ASSERT_TRUE(manager.StartAdvise(conversation, "S1", kCfText));
  ASSERT_FALSE(components.SetTopicName("PLANT"));
  components.Item(0).SetText("5");
  EXPECT_TRUE(platform.posts.empty());
  EXPECT_EQ(manager.Serve(conversation, ClientHandle("S2"), "S2", kCfText),
            std::string(" --.-\r\n\0", 8));
}

TEST_F(DdeServerTest, AfterAnItemRenameALinkUnderTheOldNameServesTheItem) {
  TDdeSrvrConv& conversation = Connect("ZORVIK");
  ASSERT_TRUE(manager.StartAdvise(conversation, "S1", kCfText));
  ASSERT_FALSE(components.NameItems("T"));
  components.Item(0).SetText("8");
  EXPECT_TRUE(platform.posts.empty());  // the link's name is gone
  EXPECT_EQ(
      manager.Serve(conversation, conversation.links[0]->item_handle.get().handle, "S1", kCfText),
      std::string("8\r\n\0", 4));
  EXPECT_FALSE(manager.Serve(conversation, ClientHandle("S2"), "S2", kCfText));
  EXPECT_TRUE(manager.Serve(conversation, ClientHandle("T2"), "T2", kCfText));
}

TEST_F(DdeServerTest, StopAndDisconnectReleaseEveryHandle) {
  TDdeSrvrConv& conversation = Connect("ZORVIK", 7);
  ASSERT_TRUE(manager.StartAdvise(conversation, "S1", kCfText));
  ASSERT_TRUE(manager.StartAdvise(conversation, "S2", kCfText));
  ASSERT_TRUE(manager.StartAdvise(conversation, "S1", kCfText));  // a second loop on S1
  manager.StopAdvise(conversation, ClientHandle("S1"));
  EXPECT_EQ(manager.LinkCount(), 2u);
  EXPECT_EQ(conversation.links[0]->item_name, "S2");
  manager.StopAdvise(conversation, ClientHandle("S9"));  // no such link: nothing
  EXPECT_EQ(manager.LinkCount(), 2u);
  manager.Disconnected(conversation);
  EXPECT_EQ(manager.ConversationCount(), 0u);
  EXPECT_EQ(platform.Held(), 0);
}

TEST_F(DdeServerTest, EndOfProgramDisconnectsEveryConversation) {
  Connect("ZORVIK", 1);
  ASSERT_TRUE(manager.StartAdvise(Connect("ZORVIK", 2), "S1", kCfText));
  manager.DisconnectAll();
  EXPECT_EQ(platform.disconnects, (std::vector<DdeConversation>{1, 2}));
  EXPECT_EQ(manager.ConversationCount(), 0u);
  EXPECT_EQ(platform.Held(), 0);
}

TEST_F(DdeServerTest, ConversationsOfVanishedClientsAreReleased) {
  Connect("ZORVIK", 1);
  ASSERT_TRUE(manager.StartAdvise(Connect("ZORVIK", 2), "S1", kCfText));
  Connect("ZORVIK", 3);
  manager.ReleaseConversations([](DdeConversation handle) { return handle == 2; });
  EXPECT_EQ(platform.disconnects, (std::vector<DdeConversation>{2}));
  EXPECT_EQ(manager.ConversationCount(), 2u);
  EXPECT_EQ(manager.LinkCount(), 0u);
  EXPECT_EQ(platform.Held(), 0);
}

TEST(SameName, LatinAndCyrillicWithoutRegardToCase) {
  EXPECT_TRUE(SameName("ZorVik", "zORvIK"));
  EXPECT_TRUE(SameName(cp1251::FromUtf8("Настройки"), cp1251::FromUtf8("НАСТРОЙКИ")));
  EXPECT_TRUE(SameName(cp1251::FromUtf8("Ёлка Їжак"), cp1251::FromUtf8("ёлка їжак")));
  EXPECT_FALSE(SameName(cp1251::FromUtf8("Настройки"), cp1251::FromUtf8("Настройка")));
  EXPECT_FALSE(SameName("S1", "S11"));
}

TEST_F(DdeServerTest, ReleasedItemsAreNoLongerServed) {
  TDdeSrvrConv& conversation = Connect("ZORVIK");
  ASSERT_TRUE(manager.StartAdvise(conversation, "S1", kCfText));
  const DdeString linked = conversation.links[0]->item_handle.get().handle;
  components.ReleaseItems();
  EXPECT_TRUE(window.items.empty());
  EXPECT_FALSE(manager.Serve(conversation, linked, "S1", kCfText));
  EXPECT_FALSE(manager.Poke(conversation, "S1", kCfText, "1"));
}

TEST_F(DdeServerTest, ItemNamesLiveInTheWindowsNamespace) {
  EXPECT_FALSE(components.NameItems("S1"));  // S11 was the eleventh item's: no matter
  EXPECT_EQ(components.Item(0).Name(), "S11");
  EXPECT_EQ(components.Item(10).Name(), "S111");
  EXPECT_EQ(components.NameItems("N"), "A component named N1 already exists");
  EXPECT_EQ(components.NameItems("cb"), "A component named cb1 already exists");
  EXPECT_EQ(components.NameItems("ZORVIK1"), std::nullopt);
  EXPECT_EQ(components.NameItems(""), "''1'' is not a valid component name");
  EXPECT_EQ(components.NameItems("1A"), "''1A1'' is not a valid component name");
  EXPECT_EQ(components.Item(0).Name(), "ZORVIK11");  // refusals changed nothing
  ASSERT_EQ(components.SetTopicName("T5"), std::nullopt);
  EXPECT_EQ(components.NameItems("t"), "A component named t5 already exists");
}

TEST_F(DdeServerTest, SingleNamesAreCheckedAgainstEveryOtherComponent) {
  EXPECT_EQ(components.SetTopicName("s7"), "A component named s7 already exists");
  EXPECT_EQ(components.SetTopicName("Setup1"), "A component named Setup1 already exists");
  EXPECT_EQ(components.SetTopicName("A B"), "''A B'' is not a valid component name");
  EXPECT_EQ(components.SetItemName(0, "s2"), "A component named s2 already exists");
  EXPECT_EQ(components.SetItemName(0, "S1"), std::nullopt);  // its own name
  EXPECT_EQ(components.SetItemName(0, "zorVIK"), "A component named zorVIK already exists");
  EXPECT_EQ(components.SetTopicName(""), std::nullopt);  // an empty name is taken
  EXPECT_EQ(components.Topic().Name(), "");
  EXPECT_EQ(components.SetTopicName("_T9"), std::nullopt);
}

// Beside each value item its quality and time item, served, linked and named
// with it, written only by the program.
class QualityItemsTest : public DdeServerTest {
 protected:
  struct : LocalTimeZone {
    CivilTime LocalOf(std::int64_t utc_ns) override {
      return {2026,
              12,
              10,
              9,
              5,
              static_cast<int>(utc_ns / 1'000'000'000),
              static_cast<int>(utc_ns / 1'000'000 % 1000)};
    }
  } zone;
  DdeValueItems values{components};
  DdeQualityItems qualities{components, zone};
  ReadingSinks sinks;
  void SetUp() override {
    DdeServerTest::SetUp();
    sinks.Add(values);
    sinks.Add(qualities);
  }
  std::string Served(TDdeSrvrConv& conversation, std::string_view item) {
    return manager.Serve(conversation, ClientHandle(item), item, kCfText).value_or("refused");
  }
  static Reading Of(int item, Outcome outcome, std::int64_t end_utc_ns = 0) {
    Reading reading;
    reading.item = item;
    reading.outcome = outcome;
    reading.text = outcome == Outcome::kGood ? "23.45" : "bad";
    reading.end_utc_ns = end_utc_ns;
    return reading;
  }
};

TEST_F(QualityItemsTest, EachReadingAdvisesValueQualityAndTimeInThatOrder) {
  TDdeSrvrConv& conversation = Connect("ZORVIK");
  EXPECT_EQ(Served(conversation, "S1_Q"), std::string("NONE\r\n\0", 7));
  EXPECT_EQ(Served(conversation, "S500_T"), std::string("\r\n\0", 3));
  for (const char* item : {"S1", "S1_Q", "S1_T", "S2_Q"}) {
    ASSERT_TRUE(manager.StartAdvise(conversation, item, kCfText)) << item;
  }
  sinks.Take(Of(0, Outcome::kGood, 7'250'000'000));
  sinks.Take(Of(0, Outcome::kNoReply, 9'000'000'000));
  EXPECT_EQ(platform.posts, (Lines{"ZORVIK!S1", "ZORVIK!S1_Q", "ZORVIK!S1_T", "ZORVIK!S1",
                                   "ZORVIK!S1_Q", "ZORVIK!S1_T"}));
  EXPECT_EQ(Served(conversation, "S1_Q"), std::string("NO_REPLY\r\n\0", 11));
  EXPECT_EQ(Served(conversation, "S1_T"), std::string("2026-12-10 09:05:07.250\r\n\0", 26))
      << "the time of the last good reading";
  platform.posts.clear();
  sinks.Demoted(1);
  EXPECT_EQ(platform.posts, (Lines{"ZORVIK!S2_Q"})) << "the quality item alone";
  EXPECT_EQ(components.QualityItem(1).Text(), "DEMOTED");
  EXPECT_EQ(components.Item(1).Text(), std::string(kNoValueText));
}

// Held announcements: the texts change at once, the clients hear later, in
// order, each change once with its own text, also when an item changes again
// before it was told.
TEST_F(QualityItemsTest, HeldChangesAreToldInOrderEachWithItsOwnText) {
  DdeAnnouncements announcements{manager};
  ReadingSinks held;
  held.Add(announcements);
  held.Add(values);
  held.Add(qualities);
  TDdeSrvrConv& conversation = Connect("ZORVIK");
  for (const char* item : {"S1", "S1_Q", "S2"}) {
    ASSERT_TRUE(manager.StartAdvise(conversation, item, kCfText)) << item;
  }
  Lines told;
  platform.on_post = [&](const std::string& item) {
    const std::string served = Served(conversation, item);
    told.push_back(item + "=" + served.substr(0, served.find('\r')));
  };
  held.Take(Of(0, Outcome::kGood));
  EXPECT_TRUE(told.empty());
  EXPECT_EQ(Served(conversation, "S1"), std::string("23.45\r\n\0", 8)) << "set at once";
  held.Take(Of(0, Outcome::kNoReply));
  EXPECT_EQ(told, (Lines{"S1=23.45", "S1_Q=OK"})) << "told before the item changes again";
  held.Demoted(0);
  held.Announce();
  EXPECT_EQ(told, (Lines{"S1=23.45", "S1_Q=OK", "S1=bad", "S1_Q=NO_REPLY", "S1_Q=DEMOTED"}));
  held.Announce();
  EXPECT_EQ(told.size(), 5u) << "nothing told twice";

  // Items released while their change is held are not told.
  held.Take(Of(1, Outcome::kGood));
  components.ReleaseItems();
  held.Announce();
  EXPECT_EQ(told.size(), 5u);
}

TEST_F(QualityItemsTest, EveryOutcomeHasItsWord) {
  const std::pair<Outcome, const char*> words[] = {{Outcome::kGood, "OK"},
                                                   {Outcome::kNoReply, "NO_REPLY"},
                                                   {Outcome::kCutOff, "PARTIAL"},
                                                   {Outcome::kTooLong, "OVERLONG"},
                                                   {Outcome::kWriteFailed, "WRITE"},
                                                   {Outcome::kReadFailed, "READ"},
                                                   {Outcome::kArgumentsRefused, "PARAM"},
                                                   {Outcome::kBadReply, "BAD_REPLY"},
                                                   {Outcome::kPortUnavailable, "PORT"}};
  for (const auto& [outcome, word] : words) {
    sinks.Take(Of(4, outcome));
    EXPECT_EQ(components.QualityItem(4).Text(), word);
  }
}

TEST_F(QualityItemsTest, PokesAreNotProcessedAndNamesFollowThePrefixAndTheRules) {
  TDdeSrvrConv& conversation = Connect("ZORVIK");
  EXPECT_FALSE(manager.Poke(conversation, "S1_Q", kCfText, "OK"));
  EXPECT_FALSE(manager.Poke(conversation, "S1_T", kCfText, "2026"));
  EXPECT_EQ(components.QualityItem(0).Text(), "NONE");
  EXPECT_TRUE(manager.Poke(conversation, "S1", kCfText, "1")) << "the value items still take them";

  EXPECT_TRUE(components.SetTopicName("S7_T")) << "a quality or time item's name is taken";
  ASSERT_FALSE(components.SetTopicName("T2_Q"));
  EXPECT_TRUE(components.NameItems("T")) << "the prefix would make T2_Q twice";
  EXPECT_EQ(components.TimeItem(0).Name(), "S1_T") << "a refused prefix changes no item";
  ASSERT_FALSE(components.SetTopicName("PLANT"));
  ASSERT_FALSE(components.NameItems("T"));
  EXPECT_EQ(components.Item(499).Name(), "T500");
  EXPECT_EQ(components.QualityItem(499).Name(), "T500_Q");
  EXPECT_EQ(components.TimeItem(0).Name(), "T1_T");
  TDdeSrvrConv& renamed = Connect("PLANT", 2);
  EXPECT_EQ(Served(renamed, "T1_Q"), std::string("NONE\r\n\0", 7));
  EXPECT_EQ(Served(renamed, "S1_Q"), "refused");
}

}  // namespace
}  // namespace quorvel::poll
