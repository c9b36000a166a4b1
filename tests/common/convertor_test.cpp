// The value convertors as tables of cases. Pure code: this file also runs in
// the native sanitizer build.

#include "common/convertor.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

std::string show(Convertor* c, uint32_t value) { return c->toText(&value); }

TEST(NumberConvertor, TextValidityNormalisingAndDescription) {
  struct Case {
    int base;
    uint32_t min, max, def;
    uint32_t value;
    const char* shown;
  };
  const Case shown[] = {
      {10, 0, 65535, 0, 70000, "70000"},     // only the default is clamped
      {10, 10, 20, 0, 0, "10"},              // the default is brought into range
      {10, 0, uint32_t(-1), 0, 4294967295u, "4294967295"},
      {2, 0, 255, 0, 5, "101"},
      {2, 0, 255, 7, 0, "0"},                // zero still shows a digit
      {16, 0, 255, 0, 255, "ff"},
      {8, 0, 255, 0, 8, "10"},
      {36, 0, 255, 0, 35, "35"},             // other bases are shown in decimal
  };
  for (const Case& c : shown) {
    SCOPED_TRACE(c.shown);
    EXPECT_EQ(show(numberConvertor(c.base, c.min, c.max, c.def).get(), c.value), c.shown);
  }

  struct Parse {
    int base;
    uint32_t min, max;
    const char* text;
    bool valid;
    uint32_t value;  // what fromText leaves
  };
  const Parse parses[] = {
      {10, 0, 65535, "65535", true, 65535},
      {10, 0, 65535, "70000", false, 70000},
      {10, 0, 65535, " +12", true, 12},
      {10, 0, 65535, "12x", false, 12},          // the partial reading stays
      {10, 0, 65535, "", false, 0},
      {10, 0, 65535, "-5", false, 4294967291u},  // strtoul wraps negatives
      {10, 0, uint32_t(-1), "-1", true, 4294967295u},
      {10, 0, uint32_t(-1), "4294967296", false, 4294967295u},  // overflow is never a value
      {16, 0, 255, "0xff", true, 255},
      {16, 0, 255, "FF", true, 255},
      {8, 0, 255, "17", true, 15},
      {8, 0, 255, "8", false, 0},
      {2, 0, 255, "101", true, 5},
  };
  for (const Parse& p : parses) {
    SCOPED_TRACE(p.text);
    Ref<Convertor> c = numberConvertor(p.base, p.min, p.max, 0);
    EXPECT_EQ(c->isValidText(p.text), p.valid);
    uint32_t value = 12345;
    c->fromText(&value, p.text);
    EXPECT_EQ(value, p.value);
  }

  struct Normalise {
    uint32_t min, max;
    const char* text;
    const char* result;
  };
  const Normalise normalised[] = {
      {0, 65535, "70000", "65535"},
      {0, 65535, "123", "123"},
      {10, 20, "5", "5"},   // a minimum above 9 is not enforced while typing
      {10, 20, "25", "20"},
      {3, 20, "1", "3"},
      {3, 20, "abc", "3"},  // reads as 0
  };
  for (const Normalise& n : normalised) {
    SCOPED_TRACE(n.text);
    std::string text = n.text;
    EXPECT_EQ(numberConvertor(10, n.min, n.max, 0)->normalizeText(text), std::strcmp(n.text, n.result) != 0);
    EXPECT_EQ(text, n.result);
  }

  EXPECT_EQ(numberConvertor(10, 0, 65535, 0)->describe(), "decimal number in range [0;65535]");
  EXPECT_EQ(numberConvertor(10, 0, uint32_t(-1), 0)->describe(), "decimal number in range [0;-1]");
  EXPECT_EQ(numberConvertor(16, 1, 15, 0)->describe(), "hexadecimal number in range [1;15]");
  EXPECT_EQ(numberConvertor(8, 0, 7, 0)->describe(), "octal number in range [0;7]");
  EXPECT_EQ(numberConvertor(2, 0, 1, 0)->describe(), "binary number in range [0;1]");
  EXPECT_EQ(numberConvertor(5, 0, 4, 0)->describe(), "5 base number in range [0;4]");
}

TEST(NumberConvertor, DefaultAndOrder) {
  Ref<Convertor> c = numberConvertor(10, 10, 20, uint32_t(-1));
  uint32_t v = 0, big = 3000000000u, small = 2;
  c->getDefault(&v);
  EXPECT_EQ(v, 10u);
  EXPECT_FALSE(c->isNonDefault(&v));
  EXPECT_TRUE(c->isNonDefault(&big));
  EXPECT_TRUE(c->less(&small, &big));  // unsigned, not by text
  EXPECT_FALSE(c->less(&big, &small));
}

TEST(TextConvertor, LengthRangeAndOrder) {
  struct Case {
    uint32_t min, max;
    const char* text;
    bool valid;
  };
  const Case cases[] = {
      {1, 3, "", false}, {1, 3, "a", true}, {1, 3, "abc", true}, {1, 3, "abcd", false}, {0, uint32_t(-1), "", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(textConvertor(c.min, c.max)->isValidText(c.text), c.valid);
  }
  Ref<Convertor> c = textConvertor(0, uint32_t(-1));
  EXPECT_EQ(c->describe(), "text with number of symbols in range [0;-1]");
  EXPECT_EQ(textConvertor(1, 64)->describe(), "text with number of symbols in range [1;64]");
  std::string a = "ab", b = "abc", high = "\xC3\xA9", low = "z", value;
  EXPECT_TRUE(c->less(&a, &b));      // shorter first on a common prefix
  EXPECT_TRUE(c->less(&high, &low)); // bytes are signed: UTF-8 sorts before ASCII
  c->fromText(&value, "x y");
  EXPECT_EQ(c->toText(&value), "x y");
  EXPECT_TRUE(c->isNonDefault(&value));
  c->getDefault(&value);
  EXPECT_FALSE(c->isNonDefault(&value));
}

TEST(BytesConvertor, UnitThresholds) {
  struct Case {
    uint32_t count;
    const char* shown;
  };
  const Case cases[] = {
      {0, "0 B"},
      {4999, "4999 B"},
      {5000, "4.9 kB"},
      {10239, "10.0 kB"},      // just under 10 kB rounds up with its integer part
      {1048576, "1024.0 kB"},  // 1 MiB is still below the megabyte threshold
      {4999999, "4882.8 kB"},
      {5000000, "4.7 MB"},
      {5242879, "4.9 MB"},     // tenths never run ahead of the whole megabytes
      {4294967295u, "4095.9 MB"},
  };
  Ref<Convertor> c = bytesConvertor();
  for (const Case& k : cases) EXPECT_EQ(show(c.get(), k.count), k.shown) << k.count;
  EXPECT_EQ(c->describe(), "bytes");
  EXPECT_FALSE(c->isValidText("1 B"));
  uint32_t zero = 0, nine = 9, ten = 10;
  EXPECT_FALSE(c->isNonDefault(&zero));
  EXPECT_TRUE(c->less(&nine, &ten));  // by count: the texts would order "10 B" first
}

uint32_t address(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
  uint8_t bytes[4] = {a, b, c, d};
  uint32_t v;
  std::memcpy(&v, bytes, 4);
  return v;
}

TEST(IpAddressConvertor, ParsingFollowsTheCLibraryPerPart) {
  struct Case {
    const char* text;
    bool parses;
    uint32_t value;
  };
  const Case cases[] = {
      {"192.168.1.2", true, address(192, 168, 1, 2)},
      {"10.1", true, address(10, 0, 0, 1)},
      {"7", true, address(0, 0, 0, 7)},
      {"1.2.3", true, address(1, 2, 0, 3)},
      {"010.0.0.1", true, address(8, 0, 0, 1)},   // leading 0: octal
      {"0x0A.0.0.0xff", true, address(10, 0, 0, 255)},
      {"0.0.0.0", true, 0},
      {"192.168.1.256", false, 0},
      {"1.2.3.4.5", false, 0},
      {"1.2.3.4.", false, 0},
      {"1..2", false, 0},
      {"", false, 0},
      {".1", false, 0},
      {"1.2.3.4 ", false, 0},
      {"08.0.0.1", false, 0},  // 8 is not an octal digit
      {"1.2.3.x", false, 0},
      {"10.65535", false, 0},  // the last part is a byte too
  };
  Ref<Convertor> zeroAllowed = ipAddressConvertor(true);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    uint32_t value = address(9, 9, 9, 9);
    EXPECT_EQ(zeroAllowed->isValidText(c.text), c.parses);
    zeroAllowed->fromText(&value, c.text);
    EXPECT_EQ(value, c.parses ? c.value : address(9, 9, 9, 9));  // a failed parse leaves the value
  }
  Ref<Convertor> nonZero = ipAddressConvertor(false);
  EXPECT_FALSE(nonZero->isValidText("0.0.0.0"));
  EXPECT_TRUE(nonZero->isValidText("0.0.0.1"));
  EXPECT_EQ(nonZero->describe(), "non zero ip address");
  EXPECT_EQ(zeroAllowed->describe(), "ip address");
}

TEST(IpAddressConvertor, TextDefaultAndOrder) {
  Ref<Convertor> c = ipAddressConvertor(true);
  uint32_t a = address(10, 0, 0, 255), b = address(10, 0, 1, 0), v = 5;
  EXPECT_EQ(c->toText(&a), "10.0.0.255");
  EXPECT_TRUE(c->less(&a, &b));  // by address, not by the bytes of the stored value
  EXPECT_FALSE(c->less(&b, &a));
  c->getDefault(&v);
  EXPECT_EQ(v, 0u);
  EXPECT_FALSE(c->isNonDefault(&v));
}

TEST(DateConvertor, FormatDependsOnNowInTheLocalZone) {
  // 2024-06-15 12:00:00 UTC; the zone is UTC+2.
  const int64_t now = 1718452800;
  Ref<FixedClock> clock = makeRef<FixedClock>(now, 2 * 3600);
  Ref<Convertor> c = dateConvertor(clock.get());
  struct Case {
    int64_t value;
    const char* shown;
  };
  const Case cases[] = {
      {now, "14:00:00"},                              // today: the time only
      {now - 13 * 3600, "01:00:00"},                  // still today in the local zone
      {now - 15 * 3600, "Jun/14 23:00:00"},           // yesterday
      {now + 11 * 3600, "Jun/16 01:00:00"},           // tomorrow locally, though the same UTC day
      {now - 160 * 86400, "Jan/07 14:00:00"},         // same year
      {now - 366 * 86400, "Jun/15/2023 14:00:00"},    // last year
      {1704067199, "Jan/01 01:59:59"},                // 2023-12-31 23:59:59 UTC is already 2024 locally
      {0, "Jan/01/1970 02:00:00"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.shown);
    EXPECT_EQ(show(c.get(), uint32_t(k.value)), k.shown);
  }
  clock->setNow(now + 365 * 86400);  // a year on, the same line gains its year
  EXPECT_EQ(show(c.get(), uint32_t(now)), "Jun/15/2024 14:00:00");
  EXPECT_EQ(c->describe(), "date");
  EXPECT_FALSE(c->isValidText("14:00:00"));
  uint32_t zero = 0;
  EXPECT_FALSE(c->isNonDefault(&zero));
}

TEST(DateConvertor, SystemClockShowsNowAsATimeOfDay) {
  uint32_t now = uint32_t(std::time(nullptr));
  EXPECT_LE(std::abs(systemClock()->now() - int64_t(now)), 1);
  std::string shown = dateConvertor()->toText(&now);
  ASSERT_EQ(shown.size(), 8u) << shown;
  EXPECT_EQ(shown[2], ':');
  EXPECT_EQ(shown[5], ':');
}

TEST(BooleanConvertor, TwoTextsAndTheSharedInstances) {
  struct Case {
    Convertor* c;
    uint8_t value;
    const char* shown;
  };
  const Case cases[] = {
      {booleanNoYes(), 1, "no"}, {booleanNoYes(), 0, "yes"}, {booleanNoYes(), 0x80, "no"},
      {booleanMark(), 1, "!"},   {booleanMark(), 0, ""},
  };
  for (const Case& k : cases) EXPECT_EQ(k.c->toText(&k.value), k.shown);
  EXPECT_EQ(booleanNoYes(), booleanNoYes());
  Ref<Convertor> c = booleanConvertor("on", "off");
  uint8_t v = 7;
  c->fromText(&v, "on");
  EXPECT_EQ(v, 1);
  c->fromText(&v, "ON");
  EXPECT_EQ(v, 0);
  EXPECT_TRUE(c->isValidText("off"));
  EXPECT_FALSE(c->isValidText("ON"));
  EXPECT_EQ(c->describe(), "boolean");
}

TEST(FormatMac, SixBytesOrThePlaceholder) {
  const uint8_t mac[7] = {0x00, 0x1a, 0x2B, 0xc3, 0xff, 0x09, 0x77};
  EXPECT_EQ(formatMac(mac, 6), "00:1A:2B:C3:FF:09");
  EXPECT_EQ(formatMac(mac, 5), "XX:XX:XX:XX:XX:XX");
  EXPECT_EQ(formatMac(mac, 7), "XX:XX:XX:XX:XX:XX");
  EXPECT_EQ(formatMac(nullptr, 6), "XX:XX:XX:XX:XX:XX");
}

TEST(Convertor, DefaultOrderComparesTextsAsSignedBytes) {
  EXPECT_TRUE(lessAsSignedBytes("", "a"));
  EXPECT_FALSE(lessAsSignedBytes("a", "a"));
  EXPECT_TRUE(lessAsSignedBytes("Z", "a"));
  EXPECT_TRUE(lessAsSignedBytes("\x80", "\x7f"));
  // Booleans have no order of their own: "" comes before "!".
  uint8_t t = 1, f = 0;
  EXPECT_TRUE(booleanMark()->less(&f, &t));
}

}  // namespace
