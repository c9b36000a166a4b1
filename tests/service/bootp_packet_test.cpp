// BootpPacket against crafted datagrams: the faults other BOOTP code shipped
// (over-reads in option walks, unchecked option lengths, oversized datagrams).
#include "service/bootp_packet.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <optional>

#include "service/packets.h"
#include "service/poison.h"

using test::Bytes;
using test::bootpRequest;
using test::cat;
using test::opt;

namespace {

const std::string kSpace4("\x00\x10\x00\x00", 4);

struct Case {
  const char* what;
  Bytes datagram;
  bool accepted;  // assign() takes it
  bool valid;     // isValidRequest()
  size_t length;  // length(), when accepted
  std::map<uint8_t, std::optional<std::string>> options;  // nullopt: absent
};

Bytes withHeader(Bytes b, size_t offset, uint8_t value) {
  b[offset] = value;
  return b;
}

Bytes sized(size_t n, Bytes options) {
  Bytes b = bootpRequest(options, n);
  b.resize(n);
  return b;
}

// Pads up to the given offset inside the option area, then the rest.
Bytes padTo(size_t optionOffset, Bytes rest) {
  Bytes b(optionOffset, 0);
  b.insert(b.end(), rest.begin(), rest.end());
  return b;
}

std::vector<Case> cases() {
  const Bytes device = test::deviceOptions();
  const size_t deviceLength = 240 + device.size();
  return {
      {"a device's request, padded to 300", bootpRequest(device, 300), true, true, deviceLength,
       {{60, "Flashboot"}, {128, "X100"}, {129, kSpace4}, {1, std::nullopt}}},
      {"option area begins with the end code", bootpRequest({255}, 300), true, true, 241, {{60, std::nullopt}}},
      {"no options at all, exactly 240 bytes", bootpRequest({}), true, true, 240, {{60, std::nullopt}}},
      {"vendor class longer than the datagram", bootpRequest(cat({opt(128, "X100"), {60, 20, 'F', 'l'}})), true,
       true, 240 + 6 + 4, {{128, "X100"}, {60, std::nullopt}}},
      {"model whose length byte is the last byte", bootpRequest(cat({opt(60, "Flashboot"), {128}})), true, true,
       240 + 11 + 1, {{60, "Flashboot"}, {128, std::nullopt}}},
      {"free space running past the option area", bootpRequest(padTo(2045, {129, 4, 1})), true, true, 2288,
       {{129, std::nullopt}}},
      {"free space ending exactly at the option area's end", bootpRequest(padTo(2042, {129, 4, 1, 2, 3, 4})), true,
       true, 2288, {{129, std::string("\x01\x02\x03\x04")}}},
      {"options of length 0", bootpRequest(cat({{60, 0}, {129, 0}, {255}})), true, true, 245,
       {{60, ""}, {129, ""}}},
      {"free space of 3 bytes", bootpRequest(cat({opt(129, "abc"), {255}})), true, true, 246, {{129, "abc"}}},
      {"free space of 5 bytes", bootpRequest(cat({opt(129, "abcde"), {255}})), true, true, 248, {{129, "abcde"}}},
      {"duplicate options: the first wins",
       bootpRequest(cat({opt(60, "Flashboot"), opt(60, "Other"), opt(129, "1234"), opt(129, "5678"), {255}})),
       true, true, 240 + 11 + 7 + 6 + 6 + 1, {{60, "Flashboot"}, {129, "1234"}}},
      {"long pad runs between options", bootpRequest(cat({Bytes(1500, 0), opt(60, "Flashboot"), Bytes(500, 0), {255}})),
       true, true, 240 + 1500 + 11 + 500 + 1, {{60, "Flashboot"}}},
      {"no end code: the walk stops at the last byte received",
       bootpRequest(cat({opt(60, "Flashboot"), opt(128, "X100")}), 300), true, true, 300,
       {{60, "Flashboot"}, {128, "X100"}, {129, std::nullopt}}},
      {"a whole datagram of pads and no end code", bootpRequest(Bytes(2048, 0)), true, true, 2288,
       {{60, std::nullopt}}},
      {"option data containing NULs", bootpRequest(cat({opt(128, std::string("a\0b", 3)), {255}})), true, true, 246,
       {{128, std::string("a\0b", 3)}}},
      {"no magic cookie", withHeader(withHeader(bootpRequest(device), 236, 0), 237, 0), true, true, deviceLength,
       {{60, "Flashboot"}}},
      {"one byte short of the fixed part", sized(239, {}), true, false, 240, {{60, std::nullopt}}},
      {"1-byte datagram", Bytes{1}, true, false, 240, {{60, std::nullopt}}},
      {"2-byte datagram", Bytes{1, 1}, true, false, 240, {{60, std::nullopt}}},
      {"600-byte datagram", bootpRequest(device, 600), true, true, deviceLength, {{60, "Flashboot"}}},
      {"exactly 2288 bytes", bootpRequest(device, 2288), true, true, deviceLength, {{60, "Flashboot"}}},
      {"2289 bytes: dropped, not cut", bootpRequest(device, 2289), false, false, 0, {}},
      {"a reply, not a request", withHeader(bootpRequest(device), 0, 2), true, false, deviceLength, {}},
      {"relayed (hops 1)", withHeader(bootpRequest(device), 3, 1), true, false, deviceLength, {}},
      {"client already has an address", withHeader(bootpRequest(device), 15, 7), true, false, deviceLength, {}},
      {"not Ethernet", withHeader(bootpRequest(device), 1, 6), true, false, deviceLength, {}},
      {"hardware address of 16 bytes", withHeader(bootpRequest(device), 2, 16), true, false, deviceLength, {}},
  };
}

}  // namespace

TEST(BootpPacket, FreshPacketIsOpcodeZeroWithEndCodeFirst) {
  BootpPacket p;
  EXPECT_EQ(p.opcode, 0);
  EXPECT_EQ(p.vend[0], 255);
  EXPECT_EQ(p.length(), 241u);
  EXPECT_FALSE(p.isValidRequest());
}

TEST(BootpPacket, CraftedDatagrams) {
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.what);
    auto p = std::make_unique<BootpPacket>();
    ASSERT_EQ(p->assign(c.datagram.data(), c.datagram.size()), c.accepted);
    if (!c.accepted) continue;
    test::PoisonBeyondReceived guard(*p);
    EXPECT_EQ(p->isValidRequest(), c.valid);
    EXPECT_EQ(p->length(), c.length);
    for (const auto& [code, expected] : c.options) {
      std::string got = p->option(code);
      EXPECT_EQ(got, expected.value_or("")) << "option " << int(code);
      EXPECT_EQ(p->optionString(code), got);
    }
  }
}

TEST(BootpPacket, ReplyEchoesEverythingButFourFields) {
  Bytes request = bootpRequest(test::deviceOptions(), 300);
  auto p = std::make_unique<BootpPacket>();
  ASSERT_TRUE(p->assign(request.data(), request.size()));
  test::PoisonBeyondReceived guard(*p);
  const uint32_t client = 0x3264A8C6, server = 0x0164A8C6;
  p->makeReply(client, server, "tamselucis");

  Bytes expected = request;
  expected[0] = 2;
  std::memcpy(&expected[16], &client, 4);
  std::memcpy(&expected[20], &server, 4);
  std::memcpy(&expected[108], "tamselucis", 10);
  expected.resize(p->length());
  EXPECT_EQ(Bytes(p->bytes(), p->bytes() + p->length()), expected);
  EXPECT_FALSE(p->isValidRequest());
}

TEST(BootpPacket, ReplyFileNameIsBoundedAndPadded) {
  struct Row {
    std::string name;
    std::string field;  // the 128 bytes expected
  };
  const std::string full(128, 'n');
  const Row rows[] = {
      {"", std::string(128, '\0')},
      {"tamselucis", "tamselucis" + std::string(118, '\0')},
      {full, full},                // no terminator
      {full + "overflow", full},   // cut at the field
      {std::string("ab\0cd", 5), "ab" + std::string(126, '\0')},
  };
  for (const Row& row : rows) {
    BootpPacket p;
    std::memset(p.file, 'x', sizeof p.file);
    std::memset(p.sname, 's', sizeof p.sname);
    p.makeReply(1, 2, row.name);
    EXPECT_EQ(std::string(p.file, sizeof p.file), row.field) << row.name;
    EXPECT_EQ(p.sname[63], 's');
  }
}
