// A bounded, seeded random-mutation loop over valid BOOTP requests and TFTP
// read requests. Natively it runs under AddressSanitizer with the bytes beyond
// each datagram poisoned, so any read outside the datagram stops it.
#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "service/bootp_packet.h"
#include "service/packets.h"
#include "service/poison.h"
#include "service/tftp_packet.h"

using test::Bytes;

namespace {

constexpr int kRounds = 20000;

// One random edit: flip, overwrite with a boundary value, insert, delete,
// truncate or repeat a stretch. Sizes stay within what a socket can deliver.
void mutate(Bytes& b, std::mt19937& rng) {
  auto pick = [&](size_t n) { return n ? size_t(rng() % n) : 0; };
  static const uint8_t kEdges[] = {0, 1, 2, 3, 4, 5, 6, 60, 128, 129, 0x7F, 0x80, 0xFE, 0xFF};
  switch (rng() % 6) {
    case 0:
      if (!b.empty()) b[pick(b.size())] ^= uint8_t(1u << (rng() % 8));
      break;
    case 1:
      if (!b.empty()) b[pick(b.size())] = kEdges[pick(sizeof kEdges)];
      break;
    case 2:
      b.insert(b.begin() + long(pick(b.size() + 1)), size_t(1 + rng() % 8), kEdges[pick(sizeof kEdges)]);
      break;
    case 3:
      if (!b.empty()) {
        size_t at = pick(b.size());
        b.erase(b.begin() + long(at), b.begin() + long(std::min(b.size(), at + 1 + rng() % 16)));
      }
      break;
    case 4:
      b.resize(pick(b.size() + 1));
      break;
    case 5:
      if (!b.empty() && b.size() < 3000) {
        size_t at = pick(b.size());
        Bytes stretch(b.begin() + long(at), b.begin() + long(std::min(b.size(), at + 1 + rng() % 300)));
        b.insert(b.begin() + long(pick(b.size() + 1)), stretch.begin(), stretch.end());
      }
      break;
  }
}

}  // namespace

TEST(ProtocolMutation, BootpRequests) {
  std::mt19937 rng(20240601);
  const Bytes seeds[] = {test::bootpRequest(test::deviceOptions(), 300), test::bootpRequest(test::deviceOptions()),
                         test::bootpRequest(test::cat({Bytes(2040, 0), test::opt(129, "1234")}))};
  auto packet = std::make_unique<BootpPacket>();
  for (int round = 0; round < kRounds; ++round) {
    Bytes b = seeds[round % 3];
    for (int edits = 1 + int(rng() % 4); edits > 0; --edits) mutate(b, rng);
    if (!packet->assign(b.data(), b.size())) {
      ASSERT_GT(b.size(), BootpPacket::kWireSize);
      continue;
    }
    test::PoisonBeyondReceived guard(*packet);
    size_t length = packet->length();
    ASSERT_GE(length, BootpPacket::kHeaderSize);
    ASSERT_LE(length, std::max(b.size(), BootpPacket::kHeaderSize));
    for (int code : {60, 128, 129, int(rng() % 256)}) ASSERT_LE(packet->option(uint8_t(code)).size(), 255u);
    if (packet->isValidRequest()) {
      packet->makeReply(0x0100000A, 0x0200000A, "tamselucis");
      ASSERT_EQ(packet->length(), length);
    }
  }
}

TEST(ProtocolMutation, TftpReadRequestsAndAcks) {
  std::mt19937 rng(19920701);
  const Bytes seeds[] = {test::rrq({"tamselucis", "octet", "tsize", "0"}),
                         test::rrq({"f", "netascii", "blksize", "1428", "TSIZE", "0", "timeout", "1"})};
  for (int round = 0; round < kRounds; ++round) {
    Bytes b = seeds[round % 2];
    for (int edits = 1 + int(rng() % 4); edits > 0; --edits) mutate(b, rng);
    std::vector<uint8_t> exact(b);  // exact-size heap block: ASan sees the end
    tftp::ReadRequest request;
    if (tftp::parseReadRequest(exact.data(), exact.size(), &request)) {
      // What was taken from the datagram fits in it: opcode, then each string and its NUL.
      size_t consumed = 2 + request.fileName.size() + 1 + request.mode.size() + 1;
      for (const tftp::Option& o : request.others) consumed += o.name.size() + o.value.size() + 2;
      ASSERT_LE(consumed, exact.size());
      ASSERT_EQ(request.fileName.find('\0'), std::string::npos);
    }
    std::vector<uint8_t> head(exact.begin(), exact.begin() + long(std::min<size_t>(exact.size(), rng() % 7)));
    tftp::classifyAck(head.data(), head.size(), rng());
  }
}
