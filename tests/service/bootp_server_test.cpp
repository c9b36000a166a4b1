// BootpServer on a loopback port: each datagram becomes one event with its own
// packet copy, oversized datagrams are dropped, and a reply leaves with the
// packet's wire length.
#include "service/bootp.h"

#include <gtest/gtest.h>

#include <vector>

#include "service/packets.h"
#include "service/peer.h"

namespace {

constexpr uint16_t kPort = 47067;  // stands in for 67; traffic stays on loopback

class Recorder {
public:
  struct Seen {
    bool error;
    uint32_t address;
    uint32_t port;
    std::string bytes;
    size_t received;
  };
  void onBootp(IMsgEvent* event) {
    auto* bootp = static_cast<BootpEvent*>(event);
    BootpPacket* p = bootp->packet();
    seen.push_back({bootp->isError(), bootp->address(), bootp->port(),
                    std::string(reinterpret_cast<const char*>(p->bytes()), BootpPacket::kWireSize), p->received});
    if (replyTo && p->isValidRequest()) {
      p->makeReply(0x3264A8C0, "tamselucis");  // 192.168.100.50
      sent = server->send(*p, test::Peer::kLoopback, replyTo);
    }
  }
  std::vector<Seen> seen;
  BootpServer* server = nullptr;
  uint16_t replyTo = 0;
  bool sent = false;
};

}  // namespace

TEST(BootpServer, DeliversCopiesAndDropsOversizedDatagrams) {
  Recorder recorder;
  Ref<BootpServer> server = makeRef<BootpServer>();
  ASSERT_TRUE(server->bind(kPort));
  server->setListener(makeDelegate(&recorder, &Recorder::onBootp));
  test::Peer device;

  test::Bytes oversized = test::bootpRequest(test::deviceOptions(), 2289);
  test::Bytes request = test::bootpRequest(test::deviceOptions(), 300);
  device.sendTo(kPort, oversized);
  device.sendTo(kPort, request);
  ASSERT_TRUE(test::pumpUntil([&] { return !recorder.seen.empty(); }));
  EXPECT_TRUE(device.quiet(100));

  ASSERT_EQ(recorder.seen.size(), 1u) << "the 2289-byte datagram must not arrive";
  const Recorder::Seen& seen = recorder.seen[0];
  EXPECT_FALSE(seen.error);
  EXPECT_EQ(seen.address, test::Peer::kLoopback);
  EXPECT_EQ(seen.port, device.port());
  EXPECT_EQ(seen.received, request.size());
  EXPECT_EQ(seen.bytes.substr(0, request.size()), std::string(request.begin(), request.end()));
  EXPECT_EQ(seen.bytes.substr(request.size()), std::string(BootpPacket::kWireSize - request.size(), '\0'));
  server->setListener(nullptr);
}

TEST(BootpServer, ReplySentWithItsWireLength) {
  Recorder recorder;
  Ref<BootpServer> server = makeRef<BootpServer>();
  ASSERT_TRUE(server->bind(kPort));
  test::Peer device;
  recorder.server = server.get();
  recorder.replyTo = device.port();
  server->setListener(makeDelegate(&recorder, &Recorder::onBootp));

  test::Bytes request = test::bootpRequest(test::deviceOptions(), 300);
  device.sendTo(kPort, request);
  std::string reply;
  ASSERT_TRUE(device.receive(&reply));
  EXPECT_TRUE(recorder.sent);
  ASSERT_EQ(reply.size(), 240 + test::deviceOptions().size());
  EXPECT_EQ(uint8_t(reply[0]), 2);
  EXPECT_EQ(reply.substr(4, 12), std::string(request.begin() + 4, request.begin() + 16)) << "xid, secs, flags, ciaddr";
  EXPECT_EQ(reply.substr(16, 4), std::string("\xC0\xA8\x64\x32", 4));
  EXPECT_EQ(reply.substr(24, 84), std::string(request.begin() + 24, request.begin() + 108)) << "giaddr, chaddr, sname";
  EXPECT_EQ(reply.substr(108, 128), "tamselucis" + std::string(118, '\0'));
  EXPECT_EQ(reply.substr(236), std::string(request.begin() + 236, request.begin() + long(reply.size())));
  server->setListener(nullptr);
}
