#include "common/codec.h"

#include <gtest/gtest.h>

#include <cstddef>

#include "support/bytes.h"

using test::bytes;
using test::hex;

namespace {

TEST(Codec, PairFormSplitsOrFallsBackToTheWholeValue) {
  struct Case {
    const char* value;
    const char* first;
    const char* second;
  };
  const Case cases[] = {
      {"0200 6162 63", "6162", "63"},
      {"0000 63", "", "63"},
      {"0100 61", "61", ""},
      // Two bytes or less, or a first part that runs past the end: all first.
      {"", "", ""},
      {"0100", "0100", ""},
      {"0300 6162", "0300 6162", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    std::string value = bytes(c.value);
    std::string_view first, second;
    splitPair(value, first, second);
    EXPECT_EQ(hex(first), hex(bytes(c.first)));
    EXPECT_EQ(hex(second), hex(bytes(c.second)));
  }
  EXPECT_EQ(hex(pairValue("ab", "c")), "02 00 61 62 63");
}

TEST(Codec, FixedKindsRoundTrip) {
  std::vector<std::string> strings{"a", "", "bc"}, stringsBack;
  stringListCodec()->decode(stringListCodec()->encode(&strings), &stringsBack);
  EXPECT_EQ(stringsBack, strings);

  std::vector<uint32_t> numbers{1, 0xFFFFFFFF}, numbersBack;
  u32ListCodec()->decode(u32ListCodec()->encode(&numbers), &numbersBack);
  EXPECT_EQ(numbersBack, numbers);

  std::string text = "text", textBack;
  stringCodec()->decode(stringCodec()->encode(&text), &textBack);
  EXPECT_EQ(textBack, text);

  U32Pair pair{7, 8}, pairBack{0, 0};
  EXPECT_EQ(hex(u32PairCodec()->encode(&pair)), "04 00 07 00 00 00 08 00 00 00");
  u32PairCodec()->decode(u32PairCodec()->encode(&pair), &pairBack);
  EXPECT_EQ(pairBack.first, 7u);
  EXPECT_EQ(pairBack.second, 8u);

  std::vector<U32Pair> pairs{{1, 2}, {3, 4}}, pairsBack;
  EXPECT_EQ(hex(u32PairListCodec()->encode(&pairs)), "01 00 00 00 02 00 00 00 03 00 00 00 04 00 00 00");
  // A trailing partial item is ignored.
  u32PairListCodec()->decode(u32PairListCodec()->encode(&pairs) + "xyz", &pairsBack);
  ASSERT_EQ(pairsBack.size(), 2u);
  EXPECT_EQ(pairsBack[1].second, 4u);
}

TEST(Codec, FixedSizeItemsAreReadOnlyAtTheirExactSize) {
  for (size_t size : {size_t(4), size_t(31), size_t(32), size_t(100)}) {
    SCOPED_TRACE(size);
    ValueCodec* codec = fixedSizeCodec(size);
    EXPECT_EQ(codec, fixedSizeCodec(size));   // made once
    EXPECT_EQ(codec->size(), size);
    std::string target(size, 't');
    codec->decode(std::string(size + 1, 'x'), target.data());
    codec->decode(std::string(size - 1, 'x'), target.data());
    EXPECT_EQ(target, std::string(size, 't'));
    codec->decode(std::string(size, 'x'), target.data());
    EXPECT_EQ(target, std::string(size, 'x'));
    EXPECT_EQ(codec->encode(target.data()), target);
  }
}

struct Setting {
  uint32_t number;
  std::vector<std::string> names;
  std::string label;
};

TEST(Codec, ComposedCodecsFillStructureMembers) {
  Ref<ValueCodec> codec = pairCodec(fixedSizeCodec(4), offsetof(Setting, number), stringListCodec(),
                                    offsetof(Setting, names), stringCodec(), offsetof(Setting, label));
  EXPECT_EQ(codec->size(), sizeof(Setting));
  Setting in{0x11223344, {"x"}, "lbl"};
  std::string value = codec->encode(&in);
  // number as the first part; the rest is again a pair.
  EXPECT_EQ(hex(value), "04 00 44 33 22 11 05 00 01 00 00 00 78 6c 62 6c");
  Setting out{1, {}, ""};
  codec->decode(value, &out);
  EXPECT_EQ(out.number, in.number);
  EXPECT_EQ(out.names, in.names);
  EXPECT_EQ(out.label, in.label);

  // A damaged value is all first part: the wrong size for the number, which
  // stays as it was, and nothing for the rest.
  Setting damaged{1, {"old"}, "old"};
  codec->decode(bytes("ff ff 00"), &damaged);
  EXPECT_EQ(damaged.number, 1u);
  EXPECT_TRUE(damaged.names.empty());
  EXPECT_EQ(damaged.label, "");
}

}  // namespace
