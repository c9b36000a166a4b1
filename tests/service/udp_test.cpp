#include "service/udp.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui/nullwindow.h"
#include "support/runtime.h"

namespace {

const uint32_t kLoopback = htonl(INADDR_LOOPBACK);

struct Received {
  bool error;
  std::string data;
  uint32_t address;
  uint32_t port;
};

class Inbox : public EventListener {
public:
  std::vector<Received> got;
  void onEvent(IMsgEvent* e) override {
    auto* u = static_cast<UdpEvent*>(e);
    got.push_back({u->isError(), u->data() ? std::string((const char*)u->data(), u->length()) : "",
                   u->address(), u->port()});
  }
};

TEST(UdpSocket, DatagramsArriveThroughTheMainLoopWithTheSendersAddressAndPort) {
  Ref<UdpSocket> server = makeRef<UdpSocket>();
  Ref<UdpSocket> client = makeRef<UdpSocket>();
  ASSERT_TRUE(server->bind(47311));
  ASSERT_TRUE(client->bind(47312));
  Ref<Inbox> inbox = makeRef<Inbox>();
  server->setListener(inbox.get());
  ASSERT_TRUE(client->sendTo("one", 3, kLoopback, 47311));
  ASSERT_TRUE(client->sendTo("two!", 4, kLoopback, 47311));
  ASSERT_TRUE(test::pumpUntil([&] { return inbox->got.size() == 2; }));
  EXPECT_FALSE(inbox->got[0].error);
  EXPECT_EQ(inbox->got[0].data, "one");
  EXPECT_EQ(inbox->got[1].data, "two!");
  EXPECT_EQ(inbox->got[0].address, kLoopback);
  EXPECT_EQ(inbox->got[0].port, 47312u);
}

TEST(UdpSocket, ConnectedSendReachesThePeerAndAnEmptyDatagramIsAnErrorEvent) {
  Ref<UdpSocket> server = makeRef<UdpSocket>();
  Ref<UdpSocket> client = makeRef<UdpSocket>();
  ASSERT_TRUE(server->bind(47313));
  ASSERT_TRUE(client->connect(kLoopback, 47313));
  Ref<Inbox> inbox = makeRef<Inbox>();
  server->setListener(inbox.get());
  EXPECT_TRUE(client->send("", 0));
  ASSERT_TRUE(client->send("x", 1));
  ASSERT_TRUE(test::pumpUntil([&] { return inbox->got.size() == 2; }));
  EXPECT_TRUE(inbox->got[0].error);
  EXPECT_EQ(inbox->got[0].address, 0u);
  EXPECT_EQ(inbox->got[0].port, 0u);
  EXPECT_FALSE(inbox->got[1].error);
  EXPECT_EQ(inbox->got[1].data, "x");
}

TEST(UdpSocket, FailedBindClosesTheSocketLogsTheCodeAndStillUnbindsItsMessage) {
  Ref<UdpSocket> first = makeRef<UdpSocket>();
  ASSERT_TRUE(first->bind(47314));
  int message;
  {
    test::LogCapture log;
    Ref<UdpSocket> second = makeRef<UdpSocket>();
    message = second->messageNumber();
    EXPECT_FALSE(second->bind(47314));
    EXPECT_TRUE(log.contains("UDP: bind: 10048\n")) << log.text();
    EXPECT_FALSE(second->isValid());
    EXPECT_FALSE(second->sendTo("x", 1, kLoopback, 47314));
    EXPECT_FALSE(second->send("x", 1));
  }
  // The number went back to the allocator: nothing is bound to it any more.
  EXPECT_EQ(SendMessageW(getNullWindow()->getHandle(), UINT(message), 0, 0), 0);
}

TEST(UdpSocket, DatagramsWithoutAListenerAreConsumed) {
  Ref<UdpSocket> server = makeRef<UdpSocket>();
  Ref<UdpSocket> client = makeRef<UdpSocket>();
  ASSERT_TRUE(server->bind(47315));
  for (int i = 0; i < 3; ++i) client->sendTo("old", 3, kLoopback, 47315);
  test::pumpUntil([] { return false; }, 200);
  Ref<Inbox> inbox = makeRef<Inbox>();
  server->setListener(inbox.get());
  client->sendTo("new", 3, kLoopback, 47315);
  ASSERT_TRUE(test::pumpUntil([&] { return !inbox->got.empty(); }));
  test::pumpUntil([] { return false; }, 100);
  ASSERT_EQ(inbox->got.size(), 1u);
  EXPECT_EQ(inbox->got[0].data, "new");
}

TEST(UdpSocket, BroadcastAndReuseOptionsAreAccepted) {
  Ref<UdpSocket> s = makeRef<UdpSocket>();
  EXPECT_TRUE(s->setReuseAddress(true));
  EXPECT_TRUE(s->setBroadcast(true));
  EXPECT_TRUE(s->setBroadcast(false));
}

}  // namespace
