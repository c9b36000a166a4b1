// TFTP wire forms against crafted datagrams: unterminated strings, options
// without values, look-alike option names, odd opcodes and stray ACKs.
#include "service/tftp_packet.h"

#include <gtest/gtest.h>

#include <set>

#include "service/packets.h"

using test::Bytes;
using test::rrq;

namespace {

struct RrqCase {
  const char* what;
  Bytes datagram;
  bool accepted;
  std::string fileName;
  bool tsize;
  size_t others;
};

Bytes manyOptions(int count) {
  Bytes b = rrq({"boot", "octet"});
  for (int i = 0; i < count; ++i) {
    b.push_back('o');
    test::append(b, std::to_string(i));
    test::append(b, Bytes{0, 'v', 0});
  }
  return b;
}

Bytes dropLast(Bytes b) {
  b.pop_back();
  return b;
}

std::vector<RrqCase> rrqCases() {
  const std::string longName(590, 'f');
  return {
      {"plain request", rrq({"boot", "octet"}), true, "boot", false, 0},
      {"tsize 0", rrq({"boot", "octet", "tsize", "0"}), true, "boot", true, 0},
      {"TSIZE in capitals", rrq({"boot", "octet", "TSIZE", "0"}), true, "boot", true, 0},
      {"xtsize is another option", rrq({"boot", "octet", "xtsize", "0"}), true, "boot", false, 1},
      {"tsiz is another option", rrq({"boot", "octet", "tsiz", "0"}), true, "boot", false, 1},
      {"huge tsize value is not read", rrq({"boot", "octet", "tsize", "99999999999999999999"}), true, "boot", true, 0},
      {"negative tsize value is not read", rrq({"boot", "octet", "tsize", "-1"}), true, "boot", true, 0},
      {"empty tsize value is not read", rrq({"boot", "octet", "tsize", ""}), true, "boot", true, 0},
      {"second tsize is another option", rrq({"b", "octet", "tsize", "0", "TSize", "5"}), true, "b", true, 1},
      {"blksize beside tsize", rrq({"b", "octet", "blksize", "1024", "tsize", "0"}), true, "b", true, 1},
      {"netascii served alike", rrq({"b", "netascii"}), true, "b", false, 0},
      {"any mode served alike", rrq({"b", "mail"}), true, "b", false, 0},
      {"empty name and mode", rrq({"", ""}), true, "", false, 0},
      {"300 options", manyOptions(300), true, "boot", false, 300},
      {"600-byte datagram", rrq({longName, "octet"}), true, longName, false, 0},
      {"last NUL dropped", dropLast(rrq({"boot", "octet", "tsize", "0"})), false, "", false, 0},
      {"mode unterminated", dropLast(rrq({"boot", "octet"})), false, "", false, 0},
      {"option name without value", rrq({"boot", "octet", "tsize"}), false, "", false, 0},
      {"trailing NUL after the mode", test::cat({rrq({"boot", "octet"}), Bytes{0}}), false, "", false, 0},
      {"no NUL anywhere", Bytes(600, 'a'), false, "", false, 0},
      {"1-byte datagram", Bytes{0}, false, "", false, 0},
      {"2-byte datagram", Bytes{0, 1}, false, "", false, 0},
      {"3-byte datagram", Bytes{0, 1, 0}, false, "", false, 0},
      {"WRQ", rrq({"boot", "octet"}, 2), false, "", false, 0},
      {"DATA", rrq({"boot", "octet"}, 3), false, "", false, 0},
      {"ACK", rrq({"boot", "octet"}, 4), false, "", false, 0},
      {"ERROR", rrq({"boot", "octet"}, 5), false, "", false, 0},
      {"OACK", rrq({"boot", "octet"}, 6), false, "", false, 0},
      {"opcode 0", rrq({"boot", "octet"}, 0), false, "", false, 0},
      {"opcode 0x0101", rrq({"boot", "octet"}, 0x0101), false, "", false, 0},
  };
}

}  // namespace

TEST(TftpReadRequest, CraftedDatagrams) {
  for (const RrqCase& c : rrqCases()) {
    SCOPED_TRACE(c.what);
    // An exact-size heap copy, so a read past the datagram is a sanitizer error.
    std::vector<uint8_t> copy(c.datagram);
    tftp::ReadRequest request;
    ASSERT_EQ(tftp::parseReadRequest(copy.data(), copy.size(), &request), c.accepted);
    if (!c.accepted) continue;
    EXPECT_EQ(request.fileName, c.fileName);
    EXPECT_EQ(request.tsize, c.tsize);
    EXPECT_EQ(request.others.size(), c.others);
  }
}

TEST(TftpReadRequest, TruncatedAtEveryOffset) {
  const Bytes full = rrq({"boot", "octet", "tsize", "0", "blksize", "1024"});
  // A request cut right after a mode or an option value is whole; any other cut is void.
  const std::set<size_t> whole = {2 + 5 + 6, 2 + 5 + 6 + 6 + 2, full.size()};
  for (size_t cut = 0; cut <= full.size(); ++cut) {
    std::vector<uint8_t> copy(full.begin(), full.begin() + cut);
    tftp::ReadRequest request;
    EXPECT_EQ(tftp::parseReadRequest(copy.data(), copy.size(), &request), whole.count(cut) == 1) << "cut at " << cut;
  }
}

TEST(TftpReadRequest, OtherOptionsKeepNameAndValue) {
  Bytes d = rrq({"b", "octet", "blksize", "1024", "tsize", "0", "tsize", "7"});
  tftp::ReadRequest request;
  ASSERT_TRUE(tftp::parseReadRequest(d.data(), d.size(), &request));
  ASSERT_EQ(request.others.size(), 2u);
  EXPECT_EQ(request.others[0].name, "blksize");
  EXPECT_EQ(request.others[0].value, "1024");
  EXPECT_EQ(request.others[1].name, "tsize");
  EXPECT_EQ(request.others[1].value, "7");
  EXPECT_EQ(request.mode, "octet");
}

TEST(TftpAck, Classification) {
  using tftp::Ack;
  struct Row {
    const char* what;
    Bytes datagram;
    uint32_t block;
    Ack expected;
  };
  const Row rows[] = {
      {"the current block", test::ack(5), 5, Ack::Current},
      {"the previous block", test::ack(4), 5, Ack::Previous},
      {"two blocks back", test::ack(3), 5, Ack::Bad},
      {"ahead of what was sent", test::ack(6), 5, Ack::Bad},
      {"stray ACK 65535 mid-transfer", test::ack(65535), 5, Ack::Bad},
      {"ACK 0 mid-transfer", test::ack(0), 5, Ack::Bad},
      {"ACK 0 of the OACK", test::ack(0), 0, Ack::Current},
      {"ACK 0 while block 1 is out", test::ack(0), 1, Ack::Previous},
      {"block numbers wrap: 0 after 65535", test::ack(0), 65536, Ack::Current},
      {"block numbers wrap: 65535 before 0", test::ack(65535), 65536, Ack::Previous},
      {"3 bytes", Bytes{0, 4, 0}, 5, Ack::Bad},
      {"5 bytes", Bytes{0, 4, 0, 5, 0}, 5, Ack::Bad},
      {"empty", Bytes{}, 5, Ack::Bad},
      {"DATA, not ACK", Bytes{0, 3, 0, 5}, 5, Ack::Bad},
      {"ERROR from the client", Bytes{0, 5, 0, 5}, 5, Ack::Bad},
      {"ERROR with text", Bytes{0, 5, 0, 0, 'n', 'o', 0}, 5, Ack::Bad},
  };
  for (const Row& row : rows) {
    std::vector<uint8_t> copy(row.datagram);
    EXPECT_EQ(tftp::classifyAck(copy.data(), copy.size(), row.block), row.expected) << row.what;
  }
}

TEST(TftpPackets, DataBlocks) {
  uint8_t out[tftp::kMaxPacket];
  const std::string data(600, 'd');
  const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
  EXPECT_EQ(tftp::writeData(out, 1, bytes, 512), 516u);
  EXPECT_EQ(Bytes(out, out + 4), (Bytes{0, 3, 0, 1}));
  EXPECT_EQ(out[515], 'd');
  EXPECT_EQ(tftp::writeData(out, 65536, bytes, 88), 92u);
  EXPECT_EQ(Bytes(out, out + 4), (Bytes{0, 3, 0, 0}));
  EXPECT_EQ(tftp::writeData(out, 0x1FFFF, nullptr, 0), 4u);
  EXPECT_EQ(Bytes(out, out + 4), (Bytes{0, 3, 0xFF, 0xFF}));
}

TEST(TftpPackets, OptionAck) {
  uint8_t out[tftp::kMaxPacket];
  struct Row {
    uint64_t size;
    std::string wire;
  };
  const Row rows[] = {
      {0, std::string("\0\6", 2)},
      {1, std::string("\0\6tsize\0" "1\0", 10)},
      {1000, std::string("\0\6tsize\0" "1000\0", 13)},
      {1000000, std::string("\0\6tsize\0" "1000000\0", 16)},
  };
  for (const Row& row : rows) {
    size_t n = tftp::writeOptionAck(out, row.size);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), n), row.wire) << row.size;
  }
}
