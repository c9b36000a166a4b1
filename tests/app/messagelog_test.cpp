#include "app/messagelog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// "id:text*reps@time " for every line, in id order.
std::string lines(MessageMap* map) {
  std::string out;
  for (size_t i = 0; i < map->size(); ++i) {
    auto* e = static_cast<MessageEntry*>(map->objectAt(i));
    out += std::to_string(e->getId()) + ":" + e->text + "*" + std::to_string(e->reps) + "@" +
           std::to_string(e->time) + " ";
  }
  return out;
}

class Heard : public EventListener {
public:
  void onEvent(IMsgEvent* event) override {
    auto* e = static_cast<MapEvent*>(event);
    text += std::to_string(e->kind) + ":" + std::to_string(e->id) + " ";
  }
  std::string text;
};

TEST(MessageLog, RepeatsOfTheLatestLineAreCounted) {
  struct Case {
    const char* name;
    std::vector<std::string> added;  // one per second, from time 100
    const char* lines;
    const char* heard;
  };
  const Case cases[] = {
      {"repeat keeps the first time", {"Hello", "Hello"}, "1:Hello*2@100 ", "0:1 1:1 "},
      {"A B A", {"A", "B", "A"}, "1:A*1@100 2:B*1@101 3:A*1@102 ", "0:1 0:2 0:3 "},
      {"refused three times",
       {"Hello", "not enough flash space, ignoring", "not enough flash space, ignoring",
        "not enough flash space, ignoring"},
       "1:Hello*1@100 2:not enough flash space, ignoring*3@101 ", "0:1 0:2 1:2 1:2 "},
      {"letter case", {"Tamselged", "tamselged"}, "1:Tamselged*1@100 2:tamselged*1@101 ", "0:1 0:2 "},
      {"same bytes, same length", {"ab", std::string("ab\0", 3), "ab"}, nullptr, "0:1 0:2 0:3 "},
      {"empty lines count too", {"", ""}, "1:*2@100 ", "0:1 1:1 "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Ref<FixedClock> clock = makeRef<FixedClock>(100, 0);
    Ref<MessageTable> log = makeRef<MessageTable>(makeRef<MessageMap>().get(), clock.get());
    Ref<Heard> heard = makeRef<Heard>();
    log->rows()->getListeners()->add(heard.get());
    for (const std::string& text : c.added) {
      log->addMessage(text);
      clock->setNow(clock->now() + 1);
    }
    if (c.lines) {
      EXPECT_EQ(lines(log->map()), c.lines);
    }
    EXPECT_EQ(heard->text, c.heard);
  }
}

TEST(MessageLog, RepeatCountFollowsTheLatestLineOnly) {
  Ref<FixedClock> clock = makeRef<FixedClock>(100, 0);
  Ref<MessageTable> log = makeRef<MessageTable>(makeRef<MessageMap>().get(), clock.get());
  log->addMessage("A");
  log->addMessage("A");
  log->addMessage("B");
  log->addMessage("A");
  log->addMessage("A");
  EXPECT_EQ(lines(log->map()), "1:A*2@100 2:B*1@100 3:A*2@100 ");
}

TEST(MessageLog, MapMakesAndCopiesEntries) {
  Ref<MessageMap> map = makeRef<MessageMap>();
  EXPECT_EQ(map->getName(), "Object");
  Ref<IObject> fresh = map->newObject();
  auto* entry = dynamic_cast<MessageEntry*>(fresh.get());
  ASSERT_NE(entry, nullptr);
  EXPECT_STREQ(entry->getTypeName(), "Object");
  EXPECT_EQ(entry->getId(), BADID);
  EXPECT_EQ(entry->time, 0u);
  EXPECT_EQ(entry->text, "");
  EXPECT_EQ(entry->reps, 0u);

  Ref<MessageEntry> source = makeRef<MessageEntry>();
  source->setId(4);
  source->setName("n");
  source->time = 99;
  source->text = "Tamselged";
  source->reps = 3;
  Ref<MessageEntry> extra(entry);  // the target's count must stay as it is
  map->copyObject(entry, source.get());
  EXPECT_EQ(entry->getRefCount(), 2);
  EXPECT_EQ(entry->getId(), 4u);
  EXPECT_EQ(entry->getName(), "n");
  EXPECT_EQ(entry->time, 99u);
  EXPECT_EQ(entry->text, "Tamselged");
  EXPECT_EQ(entry->reps, 3u);
}

TEST(MessageLog, NumbersContinueFromTheLargestId) {
  Ref<MessageMap> map = makeRef<MessageMap>();
  Ref<MessageEntry> old = makeRef<MessageEntry>();
  old->setId(41);
  old->text = "restored";
  old->reps = 1;
  map->insert(old.get());
  Ref<MessageTable> log = makeRef<MessageTable>(map.get(), makeRef<FixedClock>(7, 0).get());
  log->addMessage("next");
  EXPECT_EQ(lines(map.get()), "41:restored*1@0 42:next*1@7 ");
}

}  // namespace
