// The view-state records without the file: loading rules, new ids, and what
// survives a damaged file. Pure code: runs under Wine and under the sanitizers.
#include "gui/viewstate.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "common/record_stream.h"
#include "support/bytes.h"
#include "support/captured_log.h"

namespace {

Message withId(uint32_t id, std::initializer_list<std::pair<std::string, std::string>> entries = {}) {
  Message m;
  m.at("id") = u32Value(id);
  for (const auto& [key, value] : entries) m.set(key, value);
  return m;
}

std::string fileOf(std::initializer_list<Message> messages) {
  StringSink sink;
  for (const Message& m : messages) m.writeRecords(sink);
  return sink.bytes;
}

ViewStateStore loaded(const std::string& file) {
  ViewStateStore store;
  MemorySource in(file);
  store.load(&in);
  return store;
}

TEST(ViewStateStore, LoadRules) {
  Message noId;
  noId.set("files", "x");
  struct Case {
    const char* name;
    std::string file;
    std::map<uint32_t, Message> expected;
    const char* logged;
  };
  const Case cases[] = {
      {"no file", "", {{0, Message()}}, ""},
      {"first of an id wins", fileOf({withId(0), withId(3, {{"a", "1"}}), withId(3, {{"a", "2"}})}),
       {{0, withId(0)}, {3, withId(3, {{"a", "1"}})}}, ""},
      {"no id becomes the application record", fileOf({withId(2), noId}), {{0, noId}, {2, withId(2)}}, ""},
      {"an application record already read wins", fileOf({withId(0, {{"a", "1"}}), noId}),
       {{0, withId(0, {{"a", "1"}})}}, ""},
      {"bad id dropped", fileOf({withId(0xFFFFFFFF), withId(1)}), {{0, Message()}, {1, withId(1)}},
       "WARNING: bad message id\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::CapturedLog log;
    EXPECT_EQ(loaded(c.file).records(), c.expected);
    EXPECT_EQ(log.text(), c.logged);
  }
  ViewStateStore store = loaded(fileOf({withId(5)}));
  store.load(nullptr);
  EXPECT_EQ(store.records(), (std::map<uint32_t, Message>{{0, Message()}}));
}

TEST(ViewStateStore, NewIdsSkipTakenOnesAndNeverGiveZeroOrNone) {
  ViewStateStore store = loaded(fileOf({withId(1), withId(2)}));
  EXPECT_EQ(store.get(7), nullptr);
  EXPECT_NE(store.get(1), nullptr);
  uint32_t id = 0;
  EXPECT_EQ(store.get(1, &id), store.get(1));   // present: no new record
  EXPECT_EQ(id, 0u);
  Message* fresh = store.get(7, &id);
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(id, 3u);
  EXPECT_EQ(store.nextId(), 4u);
  EXPECT_EQ(fresh, store.get(3));
  EXPECT_EQ(fresh->size(), 0u);

  // Taken ids are stepped over from the next id on.
  ViewStateStore gaps = loaded(fileOf({withId(1), withId(2), withId(4)}));
  gaps.get(99, &id);
  EXPECT_EQ(id, 3u);
  gaps.get(99, &id);
  EXPECT_EQ(id, 5u);
  EXPECT_EQ(gaps.nextId(), 6u);
}

TEST(ViewStateStore, WriteStampsEachRecordWithItsId) {
  ViewStateStore store;
  store.get(0)->set("files", "x");
  uint32_t id;
  store.get(0, &id)->set("a", "");   // present: id 0 again, nothing new
  store.get(9, &id);   // a new record under id 1
  StringSink sink;
  ASSERT_TRUE(store.write(sink));
  EXPECT_EQ(test::hex(sink.bytes),
            test::hex(test::bytes("0200 01 61  0700 05 66696c6573 78  0700 02 6964 00000000  0000"
                                  "0700 02 6964 01000000  0000")));
  EXPECT_EQ(loaded(sink.bytes).records(), store.records());
}

// A view-state file of several messages of varied shape, and where each ends.
struct SampleFile {
  std::vector<Message> messages;   // message i has id i
  std::vector<size_t> ends;
  std::string bytes;
};

SampleFile sampleFile() {
  SampleFile f;
  Message nested;
  nested.set("table-column-widths", u32ListValue({80, 120, 40}));
  f.messages.push_back(withId(0, {{"files", stringListValue({"C:\\a.txt", ""})}, {"window-placement", nested.toBytes()}}));
  f.messages.push_back(withId(1));
  f.messages.push_back(withId(2, {{"", ""}, {std::string(255, 'k'), std::string(300, '\xff')}, {"\x80", "neg"}}));
  Message many = withId(3);
  for (int i = 0; i < 40; ++i) many.set("field-" + std::to_string(i), u32Value(uint32_t(i)));
  f.messages.push_back(many);
  f.messages.push_back(withId(4, {{"active", boolValue(1)}}));
  StringSink sink;
  for (const Message& m : f.messages) {
    m.writeRecords(sink);
    f.ends.push_back(sink.bytes.size());
  }
  f.bytes = sink.bytes;
  return f;
}

bool isSubset(const Message& part, const Message& whole) {
  for (const auto& [key, value] : part.entries()) {
    const std::string* v = whole.find(key);
    if (!v || *v != value) return false;
  }
  return true;
}

// Loads exactly these bytes (a heap block of their size, so the sanitizers
// see any read past it).
ViewStateStore loadExactly(const std::string& data) {
  std::unique_ptr<char[]> block(new char[data.size() ? data.size() : 1]);
  std::copy(data.begin(), data.end(), block.get());
  MemorySource in(block.get(), data.size());
  ViewStateStore store;
  store.load(&in);
  return store;
}

TEST(ViewStateDamage, EveryTruncationKeepsTheMessagesBeforeIt) {
  test::CapturedLog quiet;
  const SampleFile f = sampleFile();
  for (size_t cut = 0; cut <= f.bytes.size(); ++cut) {
    SCOPED_TRACE(cut);
    ViewStateStore store = loadExactly(f.bytes.substr(0, cut));
    size_t whole = 0;
    while (whole < f.ends.size() && f.ends[whole] <= cut) ++whole;
    for (size_t i = 0; i < whole; ++i) ASSERT_EQ(store.records().at(uint32_t(i)), f.messages[i]);
    // The message cut short is either dropped or kept with the entries it had.
    for (const auto& [id, record] : store.records()) {
      ASSERT_LE(id, whole);
      if (id == whole) {
        ASSERT_TRUE(isSubset(record, f.messages[id]));
      }
    }
  }
}

TEST(ViewStateDamage, RandomByteFlipsKeepTheMessagesBeforeTheFirst) {
  test::CapturedLog quiet;
  const SampleFile f = sampleFile();
  std::mt19937 rng(7071);
  for (int round = 0; round < 3000; ++round) {
    std::string damaged = f.bytes;
    size_t first = damaged.size();
    int flips = 1 + int(rng() % 3);
    for (int i = 0; i < flips; ++i) {
      size_t at = rng() % damaged.size();
      damaged[at] = char(damaged[at] ^ (1 + rng() % 255));
      first = std::min(first, at);
    }
    SCOPED_TRACE(testing::Message() << "round " << round << ", first flip at " << first);
    ViewStateStore store = loadExactly(damaged);
    ASSERT_EQ(store.records().count(0), 1u);
    for (size_t i = 0; i < f.ends.size() && f.ends[i] <= first; ++i)
      ASSERT_EQ(store.records().at(uint32_t(i)), f.messages[i]);
    quiet.clear();
  }
}

}  // namespace
