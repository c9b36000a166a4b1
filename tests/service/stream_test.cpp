// The stream container and compressScript. Pure: runs in service_tests.exe and
// natively under the sanitizers.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "service/base_stream.h"
#include "service/flash.h"
#include "service/stream.h"
#include "script_text.h"

namespace {

constexpr uint32_t kBaseTextSize = 106952;
constexpr size_t kLargestScript = kMaxStreamLength - kBaseTextSize;  // 417,336

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes randomBytes(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b(size);
  for (uint8_t& c : b) c = uint8_t(rng());
  return b;
}

// Decodes a whole stream, header included; false on any refusal.
bool decodeWhole(const Bytes& stream, Bytes& decoded) {
  ByteReader in(stream);
  StreamHeader h;
  return readStreamHeader(h, in) && decodeStream(decoded, in, h) && in.remaining() == 0;
}

// compressScript with the destination scriptStream would give it; empty on refusal.
Bytes compress(const Bytes& script) {
  Bytes stream(script.size() + kStreamSlack);
  int32_t n = compressScript(stream.data(), stream.size(), script.data(), script.size());
  if (n < 0) return {};
  stream.resize(size_t(n));
  return stream;
}

Bytes deltaStream(const Bytes& script) {
  StreamHeader h;
  h.isDelta = true;
  h.baseIndex = 1;
  Bytes out;
  ByteReader in(script);
  EXPECT_TRUE(encodeStream(out, in, h));
  return out;
}

TEST(StreamHeader, WriteAndReadTable) {
  struct Case {
    StreamHeader header;
    Bytes bytes;
  };
  const Case cases[] = {
      {{true, 0, 0, 5, 1}, {0xFF, 0xFE, 5, 0, 0, 0}},
      {{true, 524288, 0, 63, 2}, {0xFF, 0xFD, 63, 0x08, 0x00, 0x00}},
      {{false, 106952, kMethodLzma, 0, 0}, {0x00, 0x01, 0, 0x01, 0xA1, 0xC8}},
      {{false, 0x123, 0x7FFF, 0, 0}, {0x7F, 0xFF, 0, 0x00, 0x01, 0x23}},
  };
  for (const Case& c : cases) {
    StreamHeader h = c.header;
    Bytes out;
    ASSERT_TRUE(writeStreamHeader(out, h));
    EXPECT_EQ(out, c.bytes);
    StreamHeader back;
    ByteReader in(out);
    ASSERT_TRUE(readStreamHeader(back, in));
    EXPECT_EQ(in.remaining(), 0u);
    EXPECT_EQ(back.isDelta, c.header.isDelta);
    EXPECT_EQ(back.length, c.header.length);
    EXPECT_EQ(back.method, c.header.method);
    EXPECT_EQ(back.baseIndex, c.header.baseIndex);
    EXPECT_EQ(back.cut, c.header.cut);
  }
}

TEST(StreamHeader, CutKeepsEightBitsWrittenAndSixRead) {
  StreamHeader h{true, 10, 0, 0xC5, 1};
  Bytes out;
  ASSERT_TRUE(writeStreamHeader(out, h));
  EXPECT_EQ(out[2], 0xC5);
  EXPECT_EQ(h.cut, 0x05);
  StreamHeader back;
  ByteReader in(out);
  ASSERT_TRUE(readStreamHeader(back, in));
  EXPECT_EQ(back.cut, 0x05);
}

TEST(StreamHeader, Refusals) {
  const Bytes refusedByReader[] = {
      {}, {0xFF, 0xFE, 0, 0, 0},                 // short
      {0xFF, 0xFE, 0, 0x08, 0x00, 0x01},         // length 524,289
      {0x00, 0x01, 0, 0xFF, 0xFF, 0xFF},
  };
  for (const Bytes& b : refusedByReader) {
    StreamHeader h;
    ByteReader in(b);
    EXPECT_FALSE(readStreamHeader(h, in));
    EXPECT_EQ(in.remaining(), b.size());
  }
  StreamHeader tooLong{false, 0x1000000, 0, 0, 0};
  StreamHeader bigIndex{true, 0, 0, 0, 0x8000};
  StreamHeader bigMethod{false, 0, 0x8000, 0, 0};
  for (StreamHeader h : {tooLong, bigIndex, bigMethod}) {
    Bytes out;
    EXPECT_FALSE(writeStreamHeader(out, h));
    EXPECT_TRUE(out.empty());
  }
}

TEST(StreamMethods, StoredRoundTripAndUnknownMethods) {
  Bytes payload = text("plain bytes \x01\x02");
  StreamHeader h{false, uint32_t(payload.size()), kMethodStored, 0, 0};
  Bytes stream;
  ByteReader in(payload);
  ASSERT_TRUE(encodeStream(stream, in, h));
  EXPECT_EQ(stream.size(), kStreamHeaderSize + payload.size());
  Bytes decoded;
  ASSERT_TRUE(decodeWhole(stream, decoded));
  EXPECT_EQ(decoded, payload);

  // A stored payload that disagrees with its stated length is damaged.
  Bytes longer = stream;
  longer.push_back('x');
  Bytes out;
  EXPECT_FALSE(decodeWhole(longer, out));
  stream[5] -= 1;
  EXPECT_FALSE(decodeWhole(stream, out));
  EXPECT_TRUE(out.empty());

  for (uint16_t method : {uint16_t(2), uint16_t(0x7FFF)}) {
    StreamHeader bad{false, 3, method, 0, 0};
    Bytes o;
    ByteReader i(payload);
    EXPECT_FALSE(encodeStream(o, i, bad));
    EXPECT_TRUE(o.empty());
    ByteReader j(payload);
    EXPECT_FALSE(decodeStream(o, j, bad));
  }
}

TEST(BaseStream, IsASelfContainedLzmaStreamOfTheBaseText) {
  ByteSpan base = loadBaseStream(1);
  ASSERT_GT(base.size(), kStreamHeaderSize);
  EXPECT_EQ(Bytes(base.begin(), base.begin() + 6), (Bytes{0x00, 0x01, 0x00, 0x01, 0xA1, 0xC8}));
  const Bytes* plain = baseText(1);
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(plain->size(), kBaseTextSize);
  EXPECT_TRUE(loadBaseStream(0).empty());
  EXPECT_TRUE(loadBaseStream(2).empty());
  EXPECT_EQ(baseText(2), nullptr);

  // This build's encoder must write the base stream byte for byte, or every
  // delta's common prefix would end early.
  StreamHeader h{false, kBaseTextSize, kMethodLzma, 0, 0};
  Bytes again;
  ByteReader in(*plain);
  ASSERT_TRUE(encodeStream(again, in, h));
  EXPECT_TRUE(again == Bytes(base.begin(), base.end()));
}

TEST(CompressScript, RoundTripTable) {
  const Bytes& base = *baseText(1);
  struct Case {
    const char* name;
    Bytes script;
  };
  const Case cases[] = {
      {"empty", {}},
      {"one byte", {'\n'}},
      {"5 KB script", test::configScript(5 * 1024, 7)},
      {"64 KB config text", test::configScript(64 * 1024, 8)},
      {"the base text itself", base},
      {"base text then more", [&] {
         Bytes b(base.end() - 3000, base.end());
         b.insert(b.end(), base.begin(), base.begin() + 3000);
         return b;
       }()},
      {"non-ASCII UTF-8", text("[system]\n    location        \"Zürich, Gebäude Ø3 – Südflügel\"\n"
                               "    note            \"東京 • Москва • 🛰\"\n")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes stream = compress(c.script);
    ASSERT_FALSE(stream.empty());
    EXPECT_EQ(stream[0], 0xFF);
    EXPECT_EQ(stream[1], 0xFE);
    EXPECT_LE(stream[2], kMaxCut);
    EXPECT_LE(stream.size(), c.script.size() + kStreamSlack);
    Bytes decoded;
    ASSERT_TRUE(decodeWhole(stream, decoded));
    EXPECT_TRUE(decoded == c.script);
  }
}

TEST(CompressScript, EmptyScriptIsAHeaderOnly) {
  // Base text plus nothing encodes to the base stream itself: no cut, no payload.
  EXPECT_EQ(compress({}), (Bytes{0xFF, 0xFE, 0, 0, 0, 0}));
}

TEST(CompressScript, RandomBytesDecodeButExceedTheSlack) {
  Bytes script = randomBytes(300 * 1000, 3);
  Bytes stream = deltaStream(script);
  Bytes decoded;
  ASSERT_TRUE(decodeWhole(stream, decoded));
  EXPECT_TRUE(decoded == script);
  // Incompressible data grows by more than 1000 bytes, so it yields no stream.
  EXPECT_GT(stream.size(), script.size() + kStreamSlack);
  EXPECT_TRUE(compress(script).empty());
}

TEST(CompressScript, SizeLimits) {
  Bytes largest = test::configScript(kLargestScript, 9);
  Bytes stream = compress(largest);
  ASSERT_FALSE(stream.empty());
  Bytes decoded;
  ASSERT_TRUE(decodeWhole(stream, decoded));
  EXPECT_TRUE(decoded == largest);

  for (size_t size : {kLargestScript + 1, size_t(kMaxStreamLength) + 1, size_t(kMaxScriptFileSize)}) {
    SCOPED_TRACE(size);
    EXPECT_TRUE(compress(test::configScript(size, 9)).empty());
  }
  // The destination bounds the stream.
  Bytes small = test::configScript(2000, 10);
  Bytes fits = compress(small);
  ASSERT_FALSE(fits.empty());
  Bytes dest(fits.size() - 1);
  EXPECT_EQ(compressScript(dest.data(), dest.size(), small.data(), small.size()), -1);
}

TEST(DecodeStream, DictionaryGuardRefusesALengthPastIt) {
  // A well-formed delta whose stated length puts base plus script one byte
  // past the dictionary: refused before anything is decoded.
  Bytes stream = deltaStream(test::configScript(kLargestScript + 1, 11));
  ByteReader in(stream);
  StreamHeader h;
  ASSERT_TRUE(readStreamHeader(h, in));
  EXPECT_EQ(h.length, kLargestScript + 1);
  Bytes out = text("kept");
  EXPECT_FALSE(decodeStream(out, in, h));
  EXPECT_EQ(out, text("kept"));
}

TEST(FlashData, PrefixOnlyWithAStream) {
  EXPECT_TRUE(flashDataFromStream({}).empty());
  Bytes stream = compress(text("[system]\n    hostname        edge\n"));
  Bytes flash = flashDataFromStream(stream);
  ASSERT_EQ(flash.size(), stream.size() + 4);
  EXPECT_EQ(Bytes(flash.begin(), flash.begin() + 4), text("123 "));
  EXPECT_TRUE(Bytes(flash.begin() + 4, flash.end()) == stream);
}

}  // namespace
