// Damaged streams must be refused without reading or writing out of bounds;
// natively this runs under AddressSanitizer and UndefinedBehaviorSanitizer.
#include <gtest/gtest.h>

#include "service/base_stream.h"
#include "service/flash.h"
#include "service/stream.h"
#include "script_text.h"

namespace {

enum class Outcome { refused, same, wrong };

// Decodes a whole stream; a success must give exactly the stated length.
Outcome decodeOutcome(const Bytes& stream, const Bytes& original) {
  ByteReader in(stream);
  StreamHeader h;
  Bytes decoded = {'x'};
  if (!readStreamHeader(h, in)) return Outcome::refused;
  if (!decodeStream(decoded, in, h)) {
    EXPECT_EQ(decoded, Bytes{'x'});
    return Outcome::refused;
  }
  EXPECT_EQ(decoded.size(), 1 + size_t(h.length));
  return Bytes(decoded.begin() + 1, decoded.end()) == original ? Outcome::same : Outcome::wrong;
}

Bytes smallStream(const Bytes& script) {
  Bytes stream(script.size() + kStreamSlack);
  int32_t n = compressScript(stream.data(), stream.size(), script.data(), script.size());
  EXPECT_GT(n, 0);
  stream.resize(size_t(std::max(n, 0)));
  return stream;
}

TEST(StreamDamage, EveryByteFlipAndTruncation) {
  const Bytes script = test::configScript(400, 5);
  const Bytes stream = smallStream(script);
  ASSERT_GT(stream.size(), kStreamHeaderSize);
  int wrong = 0;
  for (size_t i = 0; i < stream.size(); ++i) {
    for (int mask : {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80, 0xFF}) {
      Bytes damaged = stream;
      damaged[i] ^= uint8_t(mask);
      Outcome o = decodeOutcome(damaged, script);
      // Readers take six bits of the cut; the top two carry nothing.
      bool ignoredBits = i == 2 && (mask == 0x40 || mask == 0x80);
      if (ignoredBits) {
        EXPECT_EQ(o, Outcome::same);
      } else {
        EXPECT_NE(o, Outcome::same) << "byte " << i << " mask " << mask;
        wrong += o == Outcome::wrong;
      }
    }
  }
  EXPECT_EQ(wrong, 0);
  for (size_t size = 0; size < stream.size(); ++size) {
    SCOPED_TRACE(size);
    EXPECT_EQ(decodeOutcome(Bytes(stream.begin(), stream.begin() + size), script), Outcome::refused);
  }
  Bytes longer = stream;
  longer.push_back(0);
  EXPECT_EQ(decodeOutcome(longer, script), Outcome::refused);
}

TEST(StreamDamage, WrongBaseCutAndLength) {
  const Bytes script = test::configScript(300, 6);
  const Bytes stream = smallStream(script);
  ASSERT_GT(stream.size(), kStreamHeaderSize);
  // A cut of 64 more than needed, with the base bytes it drops carried in the
  // payload: readers see only six bits, so the base bytes come twice.
  ByteSpan base = loadBaseStream(1);
  uint8_t cut = stream[2];
  Bytes longCut(stream.begin(), stream.begin() + 6);
  longCut[2] = uint8_t(cut + 64);
  longCut.insert(longCut.end(), base.end() - cut - 64, base.end() - cut);
  longCut.insert(longCut.end(), stream.begin() + 6, stream.end());
  EXPECT_EQ(decodeOutcome(longCut, script), Outcome::refused);

  for (uint16_t flags : {0xFFFFu, 0xFFFDu, 0x8000u, 0x0001u, 0x0000u, 0x0002u}) {
    Bytes damaged = stream;
    damaged[0] = uint8_t(flags >> 8);
    damaged[1] = uint8_t(flags);
    EXPECT_EQ(decodeOutcome(damaged, script), Outcome::refused) << flags;
  }
  // Stated lengths past the data, up to past the dictionary.
  for (uint32_t length : {uint32_t(script.size() + 1), 417336u, 417337u, 524288u}) {
    Bytes damaged = stream;
    damaged[3] = uint8_t(length >> 16);
    damaged[4] = uint8_t(length >> 8);
    damaged[5] = uint8_t(length);
    EXPECT_EQ(decodeOutcome(damaged, script), Outcome::refused) << length;
  }
  // A self-contained LZMA stream stating the dictionary's full size.
  Bytes selfContained = {0x00, 0x01, 0x00, 0x08, 0x00, 0x00};
  selfContained.insert(selfContained.end(), stream.begin() + 6, stream.end());
  EXPECT_EQ(decodeOutcome(selfContained, script), Outcome::refused);
}

}  // namespace
