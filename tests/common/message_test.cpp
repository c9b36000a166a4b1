#include "common/message.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "common/record_stream.h"
#include "support/bytes.h"
#include "support/captured_log.h"

using test::bytes;
using test::hex;

namespace {

// Entries as (key, value) pairs, in any order: Message sorts them.
Message make(std::initializer_list<std::pair<std::string, std::string>> entries) {
  Message m;
  for (const auto& [key, value] : entries) m.set(key, value);
  return m;
}

std::string records(const Message& m) {
  StringSink sink;
  m.writeRecords(sink);
  return sink.bytes;
}

// Reads one message from bytes; the count readRecords gave goes to *count.
Message readOne(const std::string& data, size_t* count) {
  MemorySource in(data);
  Message m;
  *count = m.readRecords(in);
  return m;
}

TEST(Message, ByteFormsOfExamples) {
  const std::string big(256, 'z');
  struct Case {
    const char* name;
    Message message;
    std::string buffer;   // toBytes
    std::string record;   // writeRecords
  };
  const Case cases[] = {
      {"empty", Message(), "", bytes("00 00")},
      {"keys in order, empty value", make({{"b", "x"}, {"a", ""}}), bytes("01 61 0000  01 62 0001 78"),
       bytes("0200 01 61  0300 01 62 78  0000")},
      // Key bytes compare as signed: 0x80 is negative and sorts before "a".
      {"signed key order", make({{"a", "1"}, {"\x80", "2"}, {"ab", "3"}}),
       bytes("01 80 0001 32  01 61 0001 31  02 61 62 0001 33"),
       bytes("0300 01 80 32  0300 01 61 31  0400 02 61 62 33  0000")},
      // The value length is big-endian in the buffer form, the record
      // length little-endian in the record form.
      {"two byte orders", make({{"k", big}}), bytes("01 6b 0100") + big, bytes("0201 01 6b") + big + bytes("0000")},
      {"empty key", make({{"", "v"}}), bytes("00 0001 76"), bytes("0200 00 76 0000")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(hex(c.message.toBytes()), hex(c.buffer));
    StringSink sink;
    EXPECT_EQ(c.message.writeRecords(sink), c.record.size());
    EXPECT_EQ(hex(sink.bytes), hex(c.record));
  }
}

TEST(Message, ValueMakers) {
  struct Case {
    std::string made;
    const char* expected;
  };
  const Case cases[] = {
      {u32Value(7), "07 00 00 00"},
      {u32Value(0x01020304), "04 03 02 01"},
      {boolValue(1), "01"},
      {boolValue(0x102), "02"},
      {stringValue("hi"), "68 69"},
      {stringListValue({"a", ""}), "01 00 00 00 61 00 00 00 00"},
      {stringListValue({}), ""},
      {u32ListValue({1, 0x01020304}), "01 00 00 00 04 03 02 01"},
      {u32ListValue({}), ""},
  };
  for (const Case& c : cases) EXPECT_EQ(hex(c.made), hex(bytes(c.expected)));
}

TEST(Message, TypedGettersTakeOnlyTheirExactLength) {
  struct Case {
    const char* value;
    uint32_t u32;                    // getU32 with default 99
    int flag;                        // getBool with default false, as 0/1
    std::vector<std::string> strings;
    std::vector<uint32_t> numbers;
  };
  const Case cases[] = {
      {"", 99, 0, {}, {}},
      {"02", 99, 1, {}, {}},
      {"070000", 99, 0, {}, {}},
      // As a string list: an item of length 7 that runs past the end, so none.
      {"07000000", 7, 0, {}, {7}},
      {"0700000000", 99, 0, {}, {7}},
      {"01000000 61 00000000", 99, 0, {"a", ""}, {1, 0x61}},
      // An item that runs past the end stops the list; 1 to 3 spare bytes are ignored.
      {"01000000 61 09000000 62", 99, 0, {"a"}, {1, 0x961}},
      {"01000000 61 0200", 99, 0, {"a"}, {1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    Message m;
    m.set("k", bytes(c.value));
    EXPECT_EQ(m.getU32("k", 99), c.u32);
    EXPECT_EQ(m.getU32OrNone("k"), c.u32 == 99 ? 0xFFFFFFFFu : c.u32);
    EXPECT_EQ(m.getBool("k", false), c.flag != 0);
    EXPECT_EQ(m.getStringList("k", {"default"}), c.strings);
    EXPECT_EQ(m.getU32List("k", {42}), c.numbers);
    EXPECT_EQ(m.getBytes("k", "d"), bytes(c.value));
  }
  Message none;
  EXPECT_EQ(none.getU32("k", 5), 5u);
  EXPECT_EQ(none.getU32OrNone("k"), 0xFFFFFFFFu);
  EXPECT_TRUE(none.getBool("k", true));
  EXPECT_EQ(none.getBytes("k", "d"), "d");
  EXPECT_EQ(none.getString("k", "d"), "d");
  EXPECT_EQ(none.getStringList("k", {"x"}), std::vector<std::string>{"x"});
  EXPECT_EQ(none.getU32List("k", {3}), std::vector<uint32_t>{3});
  EXPECT_EQ(none.find("k"), nullptr);
}

TEST(Message, NestedMessagesAndTheirDefaults) {
  Message fallback = make({{"fallback", ""}});
  Message inner = make({{"w", u32Value(80)}, {"list", u32ListValue({1, 2})}});
  Message outer;
  outer.set("good", inner.toBytes());
  outer.set("empty", "");
  outer.set("cut", inner.toBytes().substr(0, 4));
  EXPECT_EQ(outer.getMessage("good", fallback), inner);
  for (const char* key : {"empty", "cut", "absent"}) {
    SCOPED_TRACE(key);
    EXPECT_TRUE(outer.getMessage(key, fallback).isSharedWith(fallback));
  }

  // Too big for the buffer form: stored as an empty value, read back as the default.
  test::CapturedLog log;
  Message huge = make({{"a", std::string(40000, 'a')}, {"b", std::string(40000, 'b')}});
  outer.set("huge", huge.toBytes());
  EXPECT_TRUE(log.contains("do not fit in msg: b, 40000\n"));
  EXPECT_EQ(*outer.find("huge"), "");
  EXPECT_TRUE(outer.getMessage("huge", fallback).isSharedWith(fallback));
}

TEST(Message, SerializeRefusesWhatItsFieldsCannotHold) {
  test::CapturedLog log;
  uint8_t buffer[70000];
  Message m = make({{"ab", "xyz"}});
  EXPECT_EQ(m.serialize(buffer, 8), 8);   // exactly fits: 1 + 2 + 2 + 3
  EXPECT_EQ(m.serialize(buffer, 7), -1);
  EXPECT_TRUE(log.contains("do not fit in msg: ab, 3\n"));
  // A roomy buffer still cannot carry a key over 255 bytes or a value over
  // 65,535: their length fields would wrap.
  EXPECT_EQ(make({{std::string(256, 'k'), ""}}).serialize(buffer, sizeof buffer), -1);
  EXPECT_EQ(make({{"k", std::string(65536, 'v')}}).serialize(buffer, sizeof buffer), -1);
  EXPECT_EQ(make({{std::string(255, 'k'), std::string(65535 - 258, 'v')}}).serialize(buffer, sizeof buffer), 65535);
}

TEST(Message, ParseFailsOnEveryShortBufferAndKeepsWhatItRead) {
  const std::string good = bytes("01 61 0001 31  01 62 0000");
  Message m;
  EXPECT_TRUE(m.parse(good.data(), good.size()));
  EXPECT_EQ(m, make({{"a", "1"}, {"b", ""}}));
  for (size_t cut = 0; cut < good.size(); ++cut) {
    SCOPED_TRACE(cut);
    Message partial;
    // Cut right after the first entry, the buffer is a whole message of one.
    EXPECT_EQ(partial.parse(good.data(), cut), cut == 5);
    EXPECT_EQ(partial.size(), cut >= 5 ? 1u : 0u);
  }
  // A later entry replaces an earlier one and one the message already held.
  Message held = make({{"a", "old"}, {"z", "kept"}});
  const std::string twice = bytes("01 61 0001 31  01 61 0001 32");
  EXPECT_TRUE(held.parse(twice.data(), twice.size()));
  EXPECT_EQ(held, make({{"a", "2"}, {"z", "kept"}}));
}

TEST(Message, ReadRecordsCases) {
  struct Case {
    const char* name;
    const char* file;
    size_t count;
    Message expected;
    const char* logged;   // "" when nothing is logged
  };
  const Case cases[] = {
      {"example", "0200 01 61  0300 01 62 78  0000", 11, make({{"a", ""}, {"b", "x"}}), ""},
      {"nothing", "", 0, Message(), ""},
      {"terminator only", "0000", 2, Message(), ""},
      {"bad record skipped, not counted", "0200 05 61  0300 01 62 78  0000", 7, make({{"b", "x"}}),
       "bad record - skipping\n"},
      {"first record of a key wins", "0300 01 61 31  0300 01 61 32  0000", 12, make({{"a", "1"}}), ""},
      {"no terminator", "0300 01 62 78", 5, make({{"b", "x"}}), ""},
      {"cut in length", "0300 01 62 78  03", 5, make({{"b", "x"}}), ""},
      {"cut before key length", "0300 01 62 78  0300", 5, make({{"b", "x"}}), "keyLen read failed\n"},
      {"cut in key", "0300 01 62 78  0400 02 63", 5, make({{"b", "x"}}), "key read failed\n"},
      {"cut in value", "0300 01 62 78  0400 01 63 79", 5, make({{"b", "x"}}), "value read failed\n"},
      {"cut in first value", "0400 01 63 79", 0, Message(), "value read failed\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::CapturedLog log;
    size_t count = 0;
    EXPECT_EQ(readOne(bytes(c.file), &count), c.expected);
    EXPECT_EQ(count, c.count);
    EXPECT_EQ(log.text(), c.logged);
  }

  // Keys the message already held keep their values.
  Message held = make({{"a", "old"}});
  const std::string file = bytes("0300 01 61 31  0300 01 62 32  0000");
  MemorySource in(file);
  held.readRecords(in);
  EXPECT_EQ(held, make({{"a", "old"}, {"b", "2"}}));
}

TEST(Message, ReadRecordsStopsCleanlyAfterTheLastTerminator) {
  test::CapturedLog log;
  const std::string file = records(make({{"a", "1"}})) + records(make({{"b", "2"}}));
  MemorySource in(file);
  Message first, second, third;
  EXPECT_EQ(first.readRecords(in), 7u);
  EXPECT_EQ(second.readRecords(in), 7u);
  EXPECT_EQ(third.readRecords(in), 0u);
  EXPECT_EQ(second, make({{"b", "2"}}));
  EXPECT_EQ(log.text(), "");
}

TEST(Message, WriteRecordsRefusesEntriesItsLengthFieldsCannotHold) {
  struct Case {
    size_t keyLen, valueLen;
    bool written;
  };
  const Case cases[] = {
      {255, 0, true}, {256, 0, false}, {1, 65533, true}, {1, 65534, false}, {255, 65279, true}, {255, 65280, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.keyLen << "+" << c.valueLen);
    test::CapturedLog log;
    // The oversized entry sits between two good ones; both must survive it.
    Message m = make({{"a", "1"}, {std::string(c.keyLen, 'k'), std::string(c.valueLen, 'v')}, {"z", "2"}});
    StringSink sink;
    size_t n = m.writeRecords(sink);
    EXPECT_EQ(n, sink.bytes.size());
    EXPECT_EQ(log.contains("ERROR: record too large, not written: "), !c.written);
    size_t count = 0;
    Message back = readOne(sink.bytes, &count);
    EXPECT_EQ(count, n);
    if (!c.written) m.remove(std::string(c.keyLen, 'k'));
    EXPECT_EQ(back, m);
  }
}

// A sink whose write number `failAt` (counted from 0) fails.
class FailingSink : public RecordSink {
public:
  explicit FailingSink(int failAt) : failAt_(failAt) {}
  bool write(const void*, size_t) override { return calls_++ != failAt_; }
  int calls() const { return calls_; }

private:
  int failAt_;
  int calls_ = 0;
};

TEST(Message, WriteRecordsReportsAnyFailedWriteAsZero) {
  Message m = make({{"", "v"}, {"a", ""}, {"b", "x"}});
  FailingSink never(-1);
  ASSERT_EQ(m.writeRecords(never), 2u + 4 + 4 + 5);
  // Empty keys and values are not written at all: 3 + 3 + 4 field writes, and the terminator.
  ASSERT_EQ(never.calls(), 11);
  for (int failAt = 0; failAt < never.calls(); ++failAt) {
    FailingSink sink(failAt);
    EXPECT_EQ(m.writeRecords(sink), 0u) << failAt;
    EXPECT_EQ(sink.calls(), failAt + 1);
  }
}

std::string randomBytes(std::mt19937& rng, size_t maxLen) {
  std::string s(std::uniform_int_distribution<size_t>(0, maxLen)(rng), '\0');
  for (char& c : s) c = char(rng());
  return s;
}

Message randomMessage(std::mt19937& rng) {
  Message m;
  int n = std::uniform_int_distribution<int>(0, 12)(rng);
  for (int i = 0; i < n; ++i) m.set(randomBytes(rng, 12), randomBytes(rng, rng() % 8 ? 40 : 3000));
  return m;
}

TEST(Message, RandomMessagesRoundTripThroughBothForms) {
  std::mt19937 rng(20240607);
  std::vector<Message> sent;
  StringSink file;
  for (int i = 0; i < 300; ++i) {
    sent.push_back(randomMessage(rng));
    ASSERT_GT(sent.back().writeRecords(file), 0u);
  }
  MemorySource in(file.bytes);
  for (size_t i = 0; i < sent.size(); ++i) {
    Message back;
    ASSERT_GT(back.readRecords(in), 0u) << i;
    ASSERT_EQ(back, sent[i]) << i;

    // The same message nested inside another, through the buffer form.
    Message outer;
    outer.set("inner", sent[i].toBytes());
    Message nested = outer.getMessage("inner", makeErrorMessage("absent"));
    if (sent[i].size() == 0) {
      EXPECT_TRUE(nested.hasError());   // an empty buffer is no message
    } else {
      EXPECT_EQ(nested, sent[i]) << i;
    }
  }
  Message none;
  EXPECT_EQ(none.readRecords(in), 0u);
}

TEST(Message, CopiesAreIsolatedFromLaterChanges) {
  const Message original = make({{"a", "1"}, {"b", "2"}});
  const std::string recordsOfC = records(make({{"c", "3"}}));
  const std::string bufferOfC = make({{"c", "3"}}).toBytes();
  struct Change {
    const char* name;
    void (*apply)(Message&, const std::string& recordsOfC, const std::string& bufferOfC);
  };
  const Change changes[] = {
      {"at", [](Message& m, const std::string&, const std::string&) { m.at("a") = "changed"; }},
      {"set", [](Message& m, const std::string&, const std::string&) { m.set("n", "new"); }},
      {"remove", [](Message& m, const std::string&, const std::string&) { m.remove("b"); }},
      {"parse", [](Message& m, const std::string&, const std::string& buf) { m.parse(buf.data(), buf.size()); }},
      {"readRecords",
       [](Message& m, const std::string& rec, const std::string&) {
         MemorySource in(rec);
         m.readRecords(in);
       }},
  };
  for (const Change& c : changes) {
    SCOPED_TRACE(c.name);
    Message changed = original;
    Message copy = changed;
    ASSERT_TRUE(copy.isSharedWith(changed));
    // Reading shares on.
    changed.getU32("a", 0);
    changed.toBytes();
    records(changed);
    EXPECT_TRUE(copy.isSharedWith(changed));
    c.apply(changed, recordsOfC, bufferOfC);
    EXPECT_FALSE(copy.isSharedWith(changed));
    EXPECT_EQ(copy, original);
    EXPECT_NE(changed, original);
  }
  // Changing a message nobody else holds keeps its entries in place.
  Message alone = make({{"a", "1"}});
  const std::string* before = alone.find("a");
  alone.set("b", "2");
  EXPECT_EQ(alone.find("a"), before);
}

TEST(Message, ErrorMessagesAndDump) {
  Message error = makeErrorMessage("no such device");
  EXPECT_TRUE(error.hasError());
  EXPECT_EQ(error.getError(), "no such device");
  EXPECT_EQ(error.getU32("sys-cmd", 0), 7u);
  EXPECT_FALSE(Message().hasError());
  EXPECT_EQ(Message().getError(), "");

  Message m = make({{"b", std::string(32, 'x')}, {"a", bytes("00 0a ff")}, {"c", ""}, {"d", std::string(31, 'y')}});
  std::ostringstream dec, hexed;
  m.dump(dec);
  hexed << std::hex;
  m.dump(hexed);
  std::string ys;
  for (int i = 0; i < 31; ++i) ys += " 121";
  EXPECT_EQ(dec.str(), "a= 0 10 255\nb=#32\nc=\nd=" + ys + "\n");
  EXPECT_EQ(hexed.str().substr(0, 21), "a= 0 a ff\nb=#20\nc=\nd=");
}

}  // namespace
