// TftpServer and TftpTransfer over loopback, with the timer service on a fake
// clock: time-outs and retransmissions are driven by moving the clock, not by
// sleeping.
#include "service/tftp.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <vector>

#include "service/packets.h"
#include "service/peer.h"

using test::Bytes;
using test::Peer;
using namespace std::string_literals;

namespace {

uint32_t gNow = 1000;
uint32_t fakeTicks() { return gNow; }

// Installs a timer service that reads the fake clock, for the test's lifetime.
// Declare it first, so that transfers go before it does.
class FakeClock {
public:
  FakeClock() : saved_(getTimerManager()) { setTimerManager(TimerManager::create(fakeTicks)); }
  ~FakeClock() { setTimerManager(saved_.get()); }
  FakeClock(const FakeClock&) = delete;
  FakeClock& operator=(const FakeClock&) = delete;
  // Moves time on and fires what is due, as the service's WM_TIMER would.
  void advance(uint32_t ms) {
    gNow += ms;
    getTimerManager()->onTimer(nullptr);
  }

private:
  Ref<TimerManager> saved_;
};

std::string pattern(size_t size) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = char((i * 7 + i / 512) & 0xFF);
  return s;
}

std::string dataPacket(uint16_t block, const std::string& payload) {
  return std::string{0, 3, char(block >> 8), char(block & 0xFF)} + payload;
}

// Owns one transfer the way the service does, and counts its completions.
class Driver {
public:
  void start(Peer& client, bool tsize, const std::string& data, unsigned timeoutMs = 10000) {
    transfer = makeRef<TftpTransfer>(Peer::kLoopback, client.port(), tsize, data,
                                     makeDelegate(this, &Driver::onDone), timeoutMs);
  }
  void onDone(IMsgEvent* event) {
    ++doneCount;
    status = static_cast<TftpDoneEvent*>(event)->status();
    if (releaseOnDone) transfer = nullptr;
  }
  Ref<TftpTransfer> transfer;
  bool releaseOnDone = true;
  int doneCount = 0;
  int status = -1;
};

size_t countOf(const std::string& text, const std::string& needle) {
  size_t n = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
  return n;
}

}  // namespace

TEST(TftpServer, HandsOnWellFormedReadRequestsOnly) {
  struct Heard {
    std::vector<std::string> names;
    std::vector<bool> tsize;
    uint32_t address = 0, port = 0;
    void onRequest(IMsgEvent* event) {
      auto* rq = static_cast<TftpRequestEvent*>(event);
      EXPECT_EQ(rq->isError(), 0);
      names.push_back(rq->fileName());
      tsize.push_back(rq->tsize());
      address = rq->address();
      port = rq->port();
    }
  } heard;
  test::LogCapture log;
  Ref<TftpServer> server = makeRef<TftpServer>(47069);
  server->setListener(makeDelegate(&heard, &Heard::onRequest));
  Peer client;
  client.sendTo(47069, test::rrq({"boot", "octet"}, 2));                   // WRQ
  client.sendTo(47069, Bytes{0, 1, 'b', 0, 'o', 'c'});                     // mode unterminated
  client.sendTo(47069, test::rrq({"boot", "octet", "tsize"}));             // option without value
  client.sendTo(47069, test::rrq({"boot", "octet", "TSIZE", "0", "blksize", "1024", "a\nb", "v"}));
  client.sendTo(47069, test::rrq({"other", "netascii"}));
  ASSERT_TRUE(test::pumpUntil([&] { return heard.names.size() == 2; }));
  EXPECT_TRUE(client.quiet(100));
  EXPECT_EQ(heard.names, (std::vector<std::string>{"boot", "other"}));
  EXPECT_EQ(heard.tsize, (std::vector<bool>{true, false}));
  EXPECT_EQ(heard.address, Peer::kLoopback);
  EXPECT_EQ(heard.port, client.port());
  EXPECT_TRUE(log.contains("unkn: blksize: 1024\n"));
  EXPECT_TRUE(log.contains("unkn: a.b: v\n")) << "a control byte must not start a log line of its own";
  server->setListener(nullptr);
}

// Every size the block arithmetic cares about, with and without tsize. A
// standard client needs a block shorter than 512 bytes to know the data ended;
// when the data fills its last block exactly, one empty block follows the
// success, unacknowledged and never retransmitted.
TEST(TftpTransfer, LockStepForEverySize) {
  FakeClock clock;
  for (size_t size : {0, 1, 511, 512, 513, 1000, 1024}) {
    for (bool tsize : {false, true}) {
      SCOPED_TRACE("size " + std::to_string(size) + (tsize ? " with tsize" : ""));
      test::LogCapture log;
      const std::string data = pattern(size);
      Peer client;
      Driver driver;
      driver.releaseOnDone = tsize;  // both ways an owner may go about it
      driver.start(client, tsize, data);
      std::string packet;
      uint16_t from = 0;
      ASSERT_TRUE(client.receive(&packet, &from));
      if (tsize) {
        EXPECT_EQ(packet, size ? "\0\6tsize\0"s + std::to_string(size) + '\0' : "\0\6"s);
        EXPECT_TRUE(client.quiet(50)) << "no DATA before ACK 0";
        client.sendTo(from, test::ack(0));
        ASSERT_TRUE(client.receive(&packet));
      }
      const bool terminator = size % 512 == 0 && (size > 0 || tsize);
      std::string got;
      for (uint16_t block = 1;; ++block) {
        std::string payload = data.substr(std::min(data.size(), (block - 1) * size_t(512)), 512);
        if (terminator && block == size / 512 + 1) {
          payload.clear();
          EXPECT_EQ(driver.doneCount, 1) << "success comes with the ACK of the last full block";
        }
        ASSERT_EQ(packet, dataPacket(block, payload)) << "block " << block;
        got += payload;
        client.sendTo(from, test::ack(block));
        if (payload.size() < 512) break;
        ASSERT_TRUE(client.receive(&packet));
      }
      ASSERT_TRUE(test::pumpUntil([&] { return driver.doneCount > 0; }));
      EXPECT_EQ(got, data);
      EXPECT_EQ(driver.status, TftpDoneEvent::kDone);
      EXPECT_EQ(countOf(log.text(), "tftp transfer done\n"), 1u);
      if (driver.transfer) {  // a repeated last ACK after the end reports nothing
        client.sendTo(from, test::ack(uint16_t(size / 512 + (terminator ? 0 : 1))));
        EXPECT_TRUE(client.quiet(50));
      }
      clock.advance(5000);
      EXPECT_TRUE(client.quiet(30)) << "nothing is retransmitted after the end";
      EXPECT_EQ(driver.doneCount, 1);
    }
  }
}

TEST(TftpTransfer, DuplicateAckResendsAndRestartsTheTimer) {
  FakeClock clock;
  Peer client;
  Driver driver;
  const std::string data = pattern(2000);
  driver.start(client, false, data);
  std::string packet, again;
  uint16_t from = 0;
  ASSERT_TRUE(client.receive(&packet, &from));
  client.sendTo(from, test::ack(1));
  ASSERT_TRUE(client.receive(&packet));
  ASSERT_EQ(packet, dataPacket(2, data.substr(512, 512)));

  clock.advance(100);
  client.sendTo(from, test::ack(1));
  ASSERT_TRUE(client.receive(&again));
  EXPECT_EQ(again, packet);
  EXPECT_TRUE(client.quiet(50)) << "one resend per duplicate";
  clock.advance(150);  // 250 ms after the first send, 150 after the resend
  EXPECT_TRUE(client.quiet(50));
  clock.advance(50);
  ASSERT_TRUE(client.receive(&again));
  EXPECT_EQ(again, packet);
  EXPECT_EQ(driver.transfer->retries(), 1u);
}

TEST(TftpTransfer, BadAcksChangeNothing) {
  FakeClock clock;
  test::LogCapture log;
  Peer client;
  Driver driver;
  const std::string data = pattern(4000);
  driver.start(client, false, data);
  std::string packet;
  uint16_t from = 0;
  ASSERT_TRUE(client.receive(&packet, &from));
  for (uint16_t block = 1; block <= 2; ++block) {
    client.sendTo(from, test::ack(block));
    ASSERT_TRUE(client.receive(&packet));
  }
  const Bytes bad[] = {
      test::ack(1),            // two back
      test::ack(4),            // ahead
      test::ack(65535),        // stray
      test::ack(0),            // ACK 0 mid-transfer
      Bytes{0, 4, 0},          // short
      Bytes{0, 4, 0, 3, 0},    // long, though its block is right
      Bytes{0, 5, 0, 0, 'x', 0},  // the client's ERROR does not stop us
      test::rrq({"boot", "octet"}),
  };
  for (const Bytes& datagram : bad) client.sendTo(from, datagram);
  ASSERT_TRUE(test::pumpUntil([&] { return countOf(log.text(), "bad ack\n") == std::size(bad); }));
  EXPECT_TRUE(client.quiet(50));
  EXPECT_EQ(driver.doneCount, 0);
  client.sendTo(from, test::ack(3));
  ASSERT_TRUE(client.receive(&packet));
  EXPECT_EQ(packet, dataPacket(4, data.substr(1536, 512)));
}

// The budget is 24 retransmissions for the whole transfer, not per block.
TEST(TftpTransfer, GivesUpAfterTwentyFourRetransmissions) {
  FakeClock clock;
  test::LogCapture log;
  Peer client;
  Driver driver;
  const std::string data = pattern(2000);
  driver.start(client, false, data);
  std::string packet;
  uint16_t from = 0;
  ASSERT_TRUE(client.receive(&packet, &from));
  for (int i = 1; i <= 24; ++i) {
    if (i == 11) {
      client.sendTo(from, test::ack(1));
      ASSERT_TRUE(client.receive(&packet));
    }
    clock.advance(200);
    std::string resent;
    ASSERT_TRUE(client.receive(&resent)) << "retransmission " << i;
    EXPECT_EQ(resent, packet);
  }
  EXPECT_FALSE(log.contains("too many retires"));
  clock.advance(200);
  ASSERT_TRUE(test::pumpUntil([&] { return driver.doneCount == 1; }));
  EXPECT_EQ(driver.status, TftpDoneEvent::kFailed);
  EXPECT_TRUE(log.contains("too many retires\n"));
  EXPECT_TRUE(client.quiet(50));
}

TEST(TftpTransfer, OverallTimeOutRunsFromTheStart) {
  FakeClock clock;
  test::LogCapture log;
  Peer client;
  Driver driver;
  driver.start(client, true, pattern(3000), 500);
  std::string packet;
  uint16_t from = 0;
  ASSERT_TRUE(client.receive(&packet, &from));
  client.sendTo(from, test::ack(0));
  ASSERT_TRUE(client.receive(&packet));
  for (uint16_t block = 1; block <= 2; ++block) {  // progress does not extend it
    clock.advance(150);
    client.sendTo(from, test::ack(block));
    ASSERT_TRUE(client.receive(&packet));
  }
  clock.advance(199);
  EXPECT_EQ(driver.doneCount, 0);
  clock.advance(1);
  EXPECT_EQ(driver.doneCount, 1);
  EXPECT_EQ(driver.status, TftpDoneEvent::kFailed);
  EXPECT_TRUE(log.contains("timeout\n"));
  EXPECT_FALSE(log.contains("too many retires"));
}

// The random port may be taken: the transfer draws again, up to 16 times.
TEST(TftpTransfer, DrawsAnotherPortWhenOneIsTaken) {
  FakeClock clock;
  std::srand(4242);
  std::vector<uint16_t> draws;
  for (int i = 0; i < TftpTransfer::kPortAttempts; ++i) draws.push_back(uint16_t(std::rand() | 0x8000));
  auto occupy = [](uint16_t port) {
    Ref<UdpSocket> s = makeRef<UdpSocket>();
    EXPECT_TRUE(s->bind(port)) << port;
    return s;
  };

  {
    Ref<UdpSocket> taken = occupy(draws[0]);
    Peer client;
    Driver driver;
    std::srand(4242);
    driver.start(client, false, pattern(10));
    std::string packet;
    uint16_t from = 0;
    ASSERT_TRUE(client.receive(&packet, &from));
    EXPECT_EQ(from, draws[1]);
  }
  {
    test::LogCapture log;
    std::vector<Ref<UdpSocket>> taken;
    for (uint16_t port : std::set<uint16_t>(draws.begin(), draws.end())) taken.push_back(occupy(port));
    Peer client;
    Driver driver;
    std::srand(4242);
    driver.start(client, false, pattern(10));
    EXPECT_TRUE(client.quiet(50));
    for (int i = 0; i < 25; ++i) clock.advance(200);
    EXPECT_EQ(driver.doneCount, 1);
    EXPECT_EQ(driver.status, TftpDoneEvent::kFailed);
    EXPECT_TRUE(log.contains("too many retires\n"));
  }
}
